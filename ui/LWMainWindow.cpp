#include "LWMainWindow.h"

#include "LWCaptionListModel.h"
#include "LWStore.h"

#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QStatusBar>

LWMainWindow::LWMainWindow() : m_hooks(this), m_store(std::make_unique<LWStore>(m_hooks)) {
    setWindowTitle(QStringLiteral("BRCT Lorowen Pro"));
    resize(900, 600);

    m_list = new QListView(this);
    m_list->setModel(new LWCaptionListModel(*m_store, m_list));
    m_list->setUniformItemSizes(true);
    m_list->setAccessibleName(QStringLiteral("Captions"));
    setCentralWidget(m_list);

    m_status = new QLabel(this);
    statusBar()->addWidget(m_status, 1);

    buildMenus();
    connect(m_store.get(), &LWStore::noteChanged, this, &LWMainWindow::refreshStatus);
    connect(m_store.get(), &LWStore::busyChanged, this, &LWMainWindow::refreshStatus);
    connect(m_store.get(), &LWStore::mediaChanged, this, [this] {
        setWindowTitle(m_store->title() + QStringLiteral(" — BRCT Lorowen Pro"));
    });
    refreshStatus();
}

LWMainWindow::~LWMainWindow() = default;

void LWMainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* import =
        file->addAction(QStringLiteral("Import SRT / VTT…"), this, [this] { m_store->importSubtitles(); });
    import->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+I")));
    file->addSeparator();
    QAction* exportSrt = file->addAction(QStringLiteral("Export SRT…"), this, [this] {
        m_store->exportText(LWStore::TextKind::srt, false);
    });
    exportSrt->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+E")));
    file->addAction(QStringLiteral("Export VTT…"), this,
                    [this] { m_store->exportText(LWStore::TextKind::vtt, false); });
    file->addAction(QStringLiteral("Export TXT Transcript…"), this,
                    [this] { m_store->exportText(LWStore::TextKind::txt, false); });
    file->addAction(QStringLiteral("Export TXT Transcript with Timestamps…"), this,
                    [this] { m_store->exportText(LWStore::TextKind::txt, true); });
    file->addSeparator();
    QAction* quit = file->addAction(QStringLiteral("Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);
}

void LWMainWindow::refreshStatus() {
    m_status->setText(m_store->isBusy() ? m_store->busy() : m_store->note());
}
