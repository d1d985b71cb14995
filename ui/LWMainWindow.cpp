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
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                const auto& list = m_store->captions();
                if (current.isValid() && current.row() < list.size())
                    m_store->setSelected(list[current.row()].id);
            });
    // The list model resets on every change of the captions; the selection lives in the store.
    auto showSelection = [this] {
        const auto row = m_store->indexOf(m_store->selected());
        const QModelIndex index = row ? m_list->model()->index(int(*row), 0) : QModelIndex();
        if (index != m_list->currentIndex())
            m_list->setCurrentIndex(index);
    };
    connect(m_store.get(), &LWStore::selectedChanged, this, showSelection);
    connect(m_store.get(), &LWStore::captionsChanged, this, showSelection);
    setCentralWidget(m_list);

    m_status = new QLabel(this);
    statusBar()->addWidget(m_status, 1);

    buildMenus();
    connect(m_store.get(), &LWStore::noteChanged, this, &LWMainWindow::refreshStatus);
    connect(m_store.get(), &LWStore::busyChanged, this, &LWMainWindow::refreshStatus);
    connect(m_store.get(), &LWStore::mediaChanged, this,
            [this] { setWindowTitle(m_store->title() + QStringLiteral(" — BRCT Lorowen Pro")); });
    refreshStatus();
}

LWMainWindow::~LWMainWindow() = default;

void LWMainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* import = file->addAction(QStringLiteral("Import SRT / VTT…"), this,
                                      [this] { m_store->importSubtitles(); });
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

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction* undo = edit->addAction(QStringLiteral("Undo"), this, [this] { m_store->undo(); });
    undo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    QAction* redo = edit->addAction(QStringLiteral("Redo"), this, [this] { m_store->redo(); });
    redo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Z")));

    QMenu* captions = menuBar()->addMenu(QStringLiteral("&Captions"));
    captions->addAction(QStringLiteral("Restore Previous Captions"), this,
                        [this] { m_store->restorePrevious(); });
    QAction* stop = captions->addAction(QStringLiteral("Stop Current Job"), this,
                                        [this] { m_store->cancelWork(); });
    stop->setShortcut(QKeySequence(QStringLiteral("Ctrl+.")));
    captions->addSeparator();
    QAction* remove = captions->addAction(QStringLiteral("Delete Caption"), this, [this] {
        if (auto id = m_store->selected())
            m_store->deleteCaption(*id);
    });
    remove->setShortcut(QKeySequence::Delete);
    captions->addAction(QStringLiteral("Merge with Next"), this, [this] {
        if (auto id = m_store->selected())
            m_store->mergeWithNext(*id);
        else
            m_hooks.beep();
    });
    QMenu* shift = captions->addMenu(QStringLiteral("Shift All Captions"));
    for (double by : {-0.5, -0.1, 0.1, 0.5}) {
        shift->addAction(QStringLiteral("%1%2 s")
                             .arg(by > 0 ? QStringLiteral("+") : QString())
                             .arg(by, 0, 'f', 1),
                         this, [this, by] { m_store->shiftAll(by); });
    }
    captions->addAction(QStringLiteral("Re-wrap All Captions"), this,
                        [this] { m_store->rewrap(); });
    captions->addAction(QStringLiteral("Delete All Captions"), this,
                        [this] { m_store->setCaptions({}); });
}

void LWMainWindow::refreshStatus() {
    m_status->setText(m_store->isBusy() ? m_store->busy() : m_store->note());
}
