#include "LWMainWindow.h"

#include "BCAccessible.h"
#include "BCControls.h"
#include "BCFileDrop.h"
#include "BCStyleSheet.h"
#include "BCUI.h"
#include "LWExportBay.h"
#include "LWFindBar.h"
#include "LWFormats.h"
#include "LWHeader.h"
#include "LWHelpWindow.h"
#include "LWKeyFilter.h"
#include "LWLane.h"
#include "LWLyricsSheet.h"
#include "LWModelsDialog.h"
#include "LWMonitor.h"
#include "LWQtPlayer.h"
#include "LWSettingsWindow.h"
#include "LWStack.h"
#include "LWStatusBar.h"
#include "LWStore.h"
#include "LWStyleBay.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaPlayer>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

LWMainWindow::LWMainWindow(const LWServices& services)
    : m_hooks(this), m_store(std::make_unique<LWStore>(m_hooks, services)) {
    BCAccessible::install();
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("BRCT Lorowen Pro"));
    resize(1360, 860);
    setAcceptDrops(true);

    auto* root = new BCRoot(this);
    root->setObjectName(QStringLiteral("root"));
    auto* page = new QVBoxLayout(root);
    m_header = new LWHeader(*m_store, root);
    page->addWidget(m_header);
    auto* middle = new QHBoxLayout;
    middle->addWidget(buildMonitorColumn(), 1);
    middle->addWidget(buildBayColumn());
    page->addLayout(middle, 1);
    m_status = new LWStatusBar(*m_store, root);
    page->addWidget(m_status);
    setCentralWidget(root);

    buildMenus();
    LWLyricsSheet::attach(*m_store, this);
    m_keys = new LWKeyFilter(*m_store, *this);
    m_keys->setDeleteAreas({m_stack, m_lane});
    qApp->installEventFilter(m_keys);

    connect(m_store.get(), &LWStore::mediaChanged, this, &LWMainWindow::refreshTitle);
    connect(m_store.get(), &LWStore::busyChanged, this, &LWMainWindow::refreshTitle);
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, &LWMainWindow::applyLook);
    connect(&BCUI::shared(), &BCUI::themeChanged, this, &LWMainWindow::applyLook);
    applyLook();
    refreshTitle();
}

void LWMainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void LWMainWindow::dropEvent(QDropEvent* event) {
    QList<QUrl> files;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            files.append(url);
    }
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    // A caption file dropped on the caption list is imported.
    const QPoint onList = m_stack->mapFrom(this, event->position().toPoint());
    if (m_bays->currentWidget() == m_stack && m_stack->rect().contains(onList)) {
        const QStringList& captionExts = LWFormats::captionExts();
        const BCFileDrop::Result captions =
            BCFileDrop::filter(files, QSet<QString>(captionExts.cbegin(), captionExts.cend()));
        if (!captions.accepted.isEmpty()) {
            m_store->importCaptions(captions.accepted.first().toLocalFile());
            return;
        }
    }
    // Anywhere else the first video or audio file among them is opened.
    const QStringList& mediaExts = LWFormats::exts();
    const BCFileDrop::Result media =
        BCFileDrop::filter(files, QSet<QString>(mediaExts.cbegin(), mediaExts.cend()));
    if (media.alert)
        m_hooks.alert(media.alert->title, media.alert->message);
    else
        m_store->open(media.accepted.first().toLocalFile());
}

LWMainWindow::~LWMainWindow() {
    qApp->removeEventFilter(m_keys);
    m_store->flushAutosave();
}

QWidget* LWMainWindow::buildMonitorColumn() {
    auto* column = new BCPanel(this, 12, 10);
    auto* layout = new QVBoxLayout(column);

    auto* heading = new QHBoxLayout;
    heading->addWidget(new BCCaption(QStringLiteral("Program monitor"), column));
    heading->addStretch(1);
    m_converted = new QLabel(QStringLiteral("CONVERTED COPY"), column);
    m_converted->setProperty("lcd", true);
    m_converted->setToolTip(QStringLiteral("This file could not be played directly; a converted "
                                           "copy is shown and used for export"));
    heading->addWidget(m_converted);
    m_stop = new BCChromeButton(QStringLiteral("stop.fill"), QStringLiteral("Stop"), column);
    m_stop->setCompact(true);
    m_stop->setToolTip(QStringLiteral("Stop the current job (Ctrl+.)"));
    connect(m_stop, &QToolButton::clicked, m_store.get(), &LWStore::cancelWork);
    heading->addWidget(m_stop);
    auto* safe = new BCSwitch(QStringLiteral("Safe area"), column);
    safe->setChecked(true);
    safe->setFocusPolicy(Qt::NoFocus);
    heading->addWidget(safe);
    layout->addLayout(heading);

    m_monitor = new LWMonitor(*m_store, column);
    if (auto* qtPlayer = dynamic_cast<LWQtPlayer*>(&m_store->player()))
        qtPlayer->mediaPlayer().setVideoSink(m_monitor->videoSink());
    connect(safe, &QCheckBox::toggled, m_monitor, &LWMonitor::setSafeArea);
    layout->addWidget(m_monitor, 1);

    m_lane = new LWLane(*m_store, column);
    layout->addWidget(m_lane);
    return column;
}

QWidget* LWMainWindow::buildBayColumn() {
    m_right = new BCPanel(this, 12, 10);
    auto* layout = new QVBoxLayout(m_right);
    m_selector = new BCSegment(m_right);
    m_selector->setAccessibleName(QStringLiteral("Bays"));
    m_selector->addItem(0, QStringLiteral("Captions"));
    m_selector->addItem(1, QStringLiteral("Style"));
    m_selector->addItem(2, QStringLiteral("Export"));
    connect(m_selector, &BCSegment::chosen, this,
            [this](const QVariant& bay) { showBay(bay.toInt()); });
    layout->addWidget(m_selector);

    m_bays = new QStackedWidget(m_right);
    m_stack = new LWStack(*m_store, m_bays);
    m_bays->addWidget(m_stack);

    for (QWidget* bay : {static_cast<QWidget*>(new LWStyleBay(*m_store)),
                         static_cast<QWidget*>(m_exportBay = new LWExportBay(*m_store))}) {
        auto* scroll = new QScrollArea(m_bays);
        scroll->setObjectName(QStringLiteral("bay"));
        scroll->setFocusPolicy(Qt::NoFocus); // Tab goes to the controls, which scroll into view
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidget(bay);
        m_bays->addWidget(scroll);
    }
    layout->addWidget(m_bays, 1);
    showBay(0);
    return m_right;
}

void LWMainWindow::showBay(int bay) {
    m_bays->setCurrentIndex(std::clamp(bay, 0, 2));
    m_selector->setSelection(m_bays->currentIndex());
}

int LWMainWindow::bay() const {
    return m_bays->currentIndex();
}

void LWMainWindow::applyLook() {
    const BCUI& ui = BCUI::shared();
    setStyleSheet(BCStyleSheet::build(ui.theme(), ui.zoom()));
    // Dialogs (file, message, colour) take the theme's colours for what the sheet leaves alone.
    QApplication::setPalette(BCStyleSheet::palette(ui.theme()));
    // Every widget without a font of its own follows the application font.
    QApplication::setFont(BCFont(13));
    // A style sheet fixes each widget's font when it is polished, so a later application font
    // does not reach them: every widget without a font of its own gets the zoomed one here, and
    // widgets made later inherit it from the window.
    const QFont body = BCFont(13);
    setFont(body);
    for (QWidget* child : findChildren<QWidget*>()) {
        if (!child->testAttribute(Qt::WA_SetFont) || child->property("bcBodyFont").toBool()) {
            child->setFont(body);
            child->setProperty("bcBodyFont", true);
        }
    }
    auto* page = static_cast<QVBoxLayout*>(centralWidget()->layout());
    page->setContentsMargins(ui.px(12), ui.px(12), ui.px(12), ui.px(8));
    page->setSpacing(ui.px(10));
    m_right->setFixedWidth(ui.px(400 + 2 * 10)); // the column and its panel's padding
    m_lane->setFixedHeight(ui.px(150));
    m_lane->applyLook();
    m_stack->applyLook();
    m_header->applyLook();
    m_status->applyLook();
    // The smallest window that still fits everything grows with the zoom, within the screen.
    QSize least(ui.px(1080), ui.px(700));
    if (const QScreen* screen = QApplication::primaryScreen())
        least = least.boundedTo(screen->availableSize());
    setMinimumSize(least);
    if (m_zoomLabel)
        m_zoomLabel->setText(QStringLiteral("Interface Zoom: %1%").arg(qRound(ui.zoom() * 100)));
    if (m_themes) {
        for (QAction* item : m_themes->actions())
            item->setChecked(item->data().toString() == ui.theme().id);
    }
}

void LWMainWindow::refreshTitle() {
    const auto& media = m_store->media();
    setWindowTitle(media ? m_store->title() + QStringLiteral(" — BRCT Lorowen Pro")
                         : QStringLiteral("BRCT Lorowen Pro"));
    m_converted->setVisible(media && media->converted);
    m_stop->setVisible(m_store->isBusy());
}

void LWMainWindow::buildMenus() {
    LWStore* store = m_store.get();

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("Open Video or Audio…"), QKeySequence::Open, store,
                    &LWStore::chooseFile);
    // The last files opened, read when the menu opens (a file may have gone since).
    QMenu* recent = file->addMenu(QStringLiteral("Open Recent"));
    recent->setObjectName(QStringLiteral("openRecent"));
    const auto fillRecent = [store, recent] {
        recent->clear();
        const QStringList files = store->recentFiles();
        for (const QString& path : files) {
            QAction* item = recent->addAction(QFileInfo(path).fileName(), store,
                                              [store, path] { store->open(path); });
            item->setToolTip(path);
            item->setStatusTip(path);
        }
        if (files.isEmpty())
            recent->addAction(QStringLiteral("No Recent Files"))->setEnabled(false);
        recent->addSeparator();
        QAction* clear =
            recent->addAction(QStringLiteral("Clear Menu"), store, &LWStore::clearRecentFiles);
        clear->setEnabled(!files.isEmpty());
    };
    connect(recent, &QMenu::aboutToShow, recent, fillRecent);
    fillRecent();
    file->addAction(QStringLiteral("Import Captions (SRT, VTT, ASS, TTML, SBV)…"),
                    QKeySequence(QStringLiteral("Ctrl+Shift+I")), store, &LWStore::importSubtitles);
    file->addSeparator();
    file->addAction(QStringLiteral("Export SRT…"), QKeySequence(QStringLiteral("Ctrl+Shift+E")),
                    store, [store] { store->exportText(LWStore::TextKind::srt, false); });
    file->addAction(QStringLiteral("Export VTT…"), store,
                    [store] { store->exportText(LWStore::TextKind::vtt, false); });
    file->addAction(QStringLiteral("Export TXT Transcript…"), store,
                    [store] { store->exportText(LWStore::TextKind::txt, false); });
    file->addAction(QStringLiteral("Export ASS with Caption Style…"), store,
                    [store] { store->exportText(LWStore::TextKind::ass, false); });
    file->addAction(QStringLiteral("Export TTML (IMSC)…"), store,
                    [store] { store->exportText(LWStore::TextKind::ttml, false); });
    file->addAction(QStringLiteral("Export SBV (YouTube)…"), store,
                    [store] { store->exportText(LWStore::TextKind::sbv, false); });
    file->addAction(QStringLiteral("Export Burned-in MP4…"),
                    QKeySequence(QStringLiteral("Ctrl+Alt+E")), store, &LWStore::exportBurnIn);
    file->addAction(QStringLiteral("Export MP4/MOV with Subtitle Track…"), store,
                    &LWStore::exportSoft);
    file->addAction(QStringLiteral("Export Voiceover (ElevenLabs)…"), store,
                    &LWStore::exportVoiceover);
    file->addSeparator();
    QAction* settings = file->addAction(
        QStringLiteral("Settings…"), QKeySequence(QStringLiteral("Ctrl+,")), this, [this] {
            LWSettingsWindow& window = LWSettingsWindow::showShared(m_store->services().elevenLabs,
                                                                    m_store->services().models);
            window.setSpelling(&m_store->spelling());
            window.setChecks(m_store.get());
        });
    settings->setMenuRole(QAction::PreferencesRole);
    file->addSeparator();
    file->addAction(QStringLiteral("Quit"), QKeySequence::Quit, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(QStringLiteral("Undo"), QKeySequence(QStringLiteral("Ctrl+Z")), store,
                    &LWStore::undo);
    edit->addAction(QStringLiteral("Redo"), QKeySequence(QStringLiteral("Ctrl+Shift+Z")), store,
                    &LWStore::redo);
    edit->addSeparator();
    // Find and replace work in the caption list, so they bring its bay forward.
    const auto findBar = [this] {
        showBay(0);
        return m_stack->findBar();
    };
    edit->addAction(QStringLiteral("Find…"), QKeySequence::Find, this,
                    [findBar] { findBar()->open(false); });
    edit->addAction(QStringLiteral("Find Next"), QKeySequence(Qt::Key_F3), this,
                    [findBar] { findBar()->findNext(true); });
    edit->addAction(QStringLiteral("Find Previous"), QKeySequence(Qt::SHIFT | Qt::Key_F3), this,
                    [findBar] { findBar()->findNext(false); });
    edit->addAction(QStringLiteral("Replace…"), QKeySequence(QStringLiteral("Ctrl+H")), this,
                    [findBar] { findBar()->open(true); });

    QMenu* captions = menuBar()->addMenu(QStringLiteral("&Captions"));
    QAction* transcribe = captions->addAction(QStringLiteral("Transcribe"),
                                              QKeySequence(QStringLiteral("Ctrl+Shift+T")), store,
                                              &LWStore::transcribe);
    // Off while a job runs and for a file without sound; without a file it offers the panel.
    const auto refreshTranscribe = [store, transcribe] {
        transcribe->setEnabled(!store->isBusy() && (!store->media() || store->media()->hasAudio));
    };
    connect(store, &LWStore::busyChanged, transcribe, refreshTranscribe);
    connect(store, &LWStore::mediaChanged, transcribe, refreshTranscribe);
    refreshTranscribe();
    captions->addAction(QStringLiteral("Add Caption at Playhead"),
                        QKeySequence(QStringLiteral("Ctrl+Shift+N")), store, &LWStore::addCaption);
    QAction* restore = captions->addAction(QStringLiteral("Restore Previous Captions"), store,
                                           &LWStore::restorePrevious);
    const auto refreshRestore = [store, restore] {
        restore->setEnabled(store->previousCaptions().has_value());
    };
    connect(store, &LWStore::previousCaptionsChanged, restore, refreshRestore);
    refreshRestore();
    captions->addAction(QStringLiteral("Stop Current Job"), QKeySequence(QStringLiteral("Ctrl+.")),
                        store, &LWStore::cancelWork);
    captions->addAction(QStringLiteral("Next Problem"), QKeySequence(Qt::Key_F8), store,
                        [store] { store->selectProblem(true); });
    captions->addAction(QStringLiteral("Previous Problem"), QKeySequence(Qt::SHIFT | Qt::Key_F8),
                        store, [store] { store->selectProblem(false); });
    captions->addAction(QStringLiteral("Whisper Models…"), this, [this] {
        auto* dialog = findChild<LWModelsDialog*>();
        if (!dialog)
            dialog = new LWModelsDialog(m_store->services().models,
                                        this); // kept: a download goes on while it is hidden
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
    captions->addSeparator();
    captions->addAction(QStringLiteral("Delete Caption"), QKeySequence::Delete, this, [this] {
        if (auto id = m_store->selected())
            m_store->deleteCaption(*id);
    });
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
                         store, [store, by] { store->shiftAll(by); });
    }
    captions->addAction(QStringLiteral("Re-wrap All Captions"), store, &LWStore::rewrap);
    captions->addAction(QStringLiteral("Delete All Captions"), store,
                        [store] { store->setCaptions({}); });

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addAction(QStringLiteral("Zoom In"), QKeySequence(QStringLiteral("Ctrl+=")), this,
                    [] { BCUI::shared().zoomIn(); });
    view->addAction(QStringLiteral("Zoom Out"), QKeySequence(QStringLiteral("Ctrl+-")), this,
                    [] { BCUI::shared().zoomOut(); });
    view->addAction(QStringLiteral("Actual Size (100%)"), QKeySequence(QStringLiteral("Ctrl+0")),
                    this, [] { BCUI::shared().setZoom(1.0); });
    m_zoomLabel = view->addAction(QString());
    m_zoomLabel->setEnabled(false);
    view->addSeparator();
    QMenu* themes = view->addMenu(QStringLiteral("Theme"));
    m_themes = new QActionGroup(this);
    for (const BCTheme& theme : BCTheme::all()) {
        QAction* item = themes->addAction(
            theme.name, this, [id = theme.id] { BCUI::shared().setTheme(BCTheme::byId(id)); });
        item->setCheckable(true);
        item->setData(theme.id);
        m_themes->addAction(item);
    }
    view->addSeparator();
    view->addAction(QStringLiteral("Captions"), QKeySequence(QStringLiteral("Ctrl+1")), this,
                    [this] { showBay(0); });
    view->addAction(QStringLiteral("Style"), QKeySequence(QStringLiteral("Ctrl+2")), this,
                    [this] { showBay(1); });
    view->addAction(QStringLiteral("Export"), QKeySequence(QStringLiteral("Ctrl+3")), this,
                    [this] { showBay(2); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("BRCT Lorowen Pro Help"), QKeySequence(QStringLiteral("Ctrl+?")),
                    this, [] { BCHelpWindow::show(); });
    help->addAction(QStringLiteral("Quick Start"), this,
                    [] { BCHelpWindow::show(QStringLiteral("quickstart")); });
    help->addAction(QStringLiteral("Keyboard Shortcuts"), this,
                    [] { BCHelpWindow::show(QStringLiteral("keys")); });
    help->addAction(QStringLiteral("Visit Brindlecote"), this, [] {
        QDesktopServices::openUrl(QUrl(QStringLiteral("https://brindlecote.example")));
    });
    help->addSeparator();
    help->addAction(QStringLiteral("About BRCT Lorowen Pro"), this, [this] {
        QMessageBox::about(this, QStringLiteral("About BRCT Lorowen Pro"),
                           QStringLiteral("BRCT Lorowen Pro\nTimed captions from the speech in "
                                          "your videos.\n© Brindlecote"));
    });
}
