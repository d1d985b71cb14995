#include "LWSettingsWindow.h"

#include "BCStyleSheet.h"
#include "BCUI.h"
#include "ELPreviewPlayer.h"
#include "LWSpelling.h"
#include "LWStore.h"
#include "WhisperEngine.h"
#include "WhisperModels.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace {

const char* const engineProperty = "engine";

QString engineTitle(ELSettings::Engine engine) {
    switch (engine) {
    case ELSettings::Engine::whisper:
        return QStringLiteral("Whisper (free, offline)");
    case ELSettings::Engine::apple:
        return QStringLiteral("PocketSphinx (offline)");
    case ELSettings::Engine::elevenlabs:
        return QStringLiteral("ElevenLabs Scribe");
    }
    return {};
}

QLabel* wrapped(const QString& text, QWidget* parent, bool dim = false) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (dim)
        label->setProperty("caption", true);
    return label;
}

} // namespace

LWSettingsWindow::LWSettingsWindow(ELSettings& el, WhisperModels& wm, QWidget* parent)
    : QWidget(parent, Qt::Window), m_el(el), m_wm(wm), m_player(new ELPreviewPlayer(this)) {
    setObjectName(QStringLiteral("root"));
    setWindowTitle(QStringLiteral("Settings"));
    resize(680, 760);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget(scroll);
    content->setObjectName(QStringLiteral("root"));
    auto* column = new QVBoxLayout(content);

    // The chrome title: the product's short name over the window's own.
    m_title = new QLabel(content);
    m_title->setTextFormat(Qt::RichText);
    column->addWidget(m_title);
    column->addWidget(buildKeyPanel());
    column->addWidget(buildVoicePanel());
    column->addWidget(buildEnginePanel());
    // Spelling: the dictionary of the transcription language, or the package that adds one.
    QVBoxLayout* spellingBody = nullptr;
    QWidget* spellingPanel = panel(QStringLiteral("Spelling"), spellingBody);
    m_spellingText = wrapped(QString(), spellingPanel, true);
    spellingBody->addWidget(m_spellingText);
    column->addWidget(spellingPanel);
    column->addWidget(buildChecksPanel());
    column->addStretch(1);
    scroll->setWidget(content);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);

    for (auto signal :
         {&ELSettings::hasKeyChanged, &ELSettings::engineChanged, &ELSettings::statusChanged,
          &ELSettings::busyChanged, &ELSettings::scribeModelChanged})
        connect(&m_el, signal, this, &LWSettingsWindow::refresh);
    for (auto signal : {&ELSettings::voicesChanged, &ELSettings::modelsChanged,
                        &ELSettings::voiceIDChanged, &ELSettings::modelIDChanged})
        connect(&m_el, signal, this, &LWSettingsWindow::refreshVoices);
    connect(&m_wm, &WhisperModels::changed, this, &LWSettingsWindow::refreshModels);
    connect(m_player, &ELPreviewPlayer::playingChanged, this, &LWSettingsWindow::refresh);
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, &LWSettingsWindow::applyLook);
    connect(&BCUI::shared(), &BCUI::themeChanged, this, &LWSettingsWindow::applyLook);
    applyLook();
    refresh();
    refreshVoices();
    refreshModels();
}

void LWSettingsWindow::setSpelling(LWSpelling* spelling) {
    if (m_spelling)
        disconnect(m_spelling, nullptr, this, nullptr);
    m_spelling = spelling;
    const auto show = [this] {
        m_spellingText->setText(m_spelling ? m_spelling->statusText() : QString());
    };
    if (spelling) {
        connect(spelling, &LWSpelling::changed, this, show);
        // The store (and its spelling) may go before this window, which lives until quitting.
        connect(spelling, &QObject::destroyed, this, [this] { m_spellingText->clear(); });
    }
    show();
}

QWidget* LWSettingsWindow::buildChecksPanel() {
    QVBoxLayout* body = nullptr;
    QWidget* frame = panel(QStringLiteral("Delivery checks"), body);
    body->addWidget(wrapped(QStringLiteral("Captions that break these limits are marked in the "
                                           "list and on the lane; Next Problem (F8) walks them. "
                                           "Line length and the shortest caption follow the "
                                           "caption rules."),
                            frame, true));
    struct Field {
        QString label;
        double low, high, step;
        int decimals;
        QString suffix;
    };
    const Field fields[] = {
        {QStringLiteral("Fastest reading speed"), 5, 40, 1, 0,
         QStringLiteral(" characters per second")},
        {QStringLiteral("Longest time on screen"), 2, 20, 0.5, 1, QStringLiteral(" s")},
        {QStringLiteral("Shortest gap between captions"), 0, 1, 0.001, 3, QStringLiteral(" s")},
        {QStringLiteral("Mark words the recogniser was less sure of than"), 0, 100, 5, 0,
         QStringLiteral(" %")},
    };
    auto* grid = new QGridLayout;
    for (int i = 0; i < 4; ++i) {
        const Field& f = fields[i];
        auto* label = new QLabel(f.label, frame);
        label->setWordWrap(true);
        auto* box = new QDoubleSpinBox(frame);
        box->setRange(f.low, f.high);
        box->setSingleStep(f.step);
        box->setDecimals(f.decimals);
        box->setSuffix(f.suffix);
        box->setAccessibleName(f.label);
        box->setKeyboardTracking(false);
        label->setBuddy(box);
        grid->addWidget(label, i, 0);
        grid->addWidget(box, i, 1);
        m_limitFields.append(box);
        connect(box, &QDoubleSpinBox::valueChanged, this, [this, i](double value) {
            if (!m_checks)
                return;
            CaptionChecks::Limits limits = m_checks->checkLimits();
            switch (i) {
            case 0:
                limits.maxCharsPerSecond = value;
                break;
            case 1:
                limits.maxDuration = value;
                break;
            case 2:
                limits.minGap = value;
                break;
            default:
                limits.minConfidence = value / 100;
                break;
            }
            m_checks->setCheckLimits(limits);
        });
    }
    grid->setColumnStretch(0, 1);
    body->addLayout(grid);
    showLimits();
    return frame;
}

void LWSettingsWindow::setChecks(LWStore* store) {
    if (m_checks)
        disconnect(m_checks, nullptr, this, nullptr);
    m_checks = store;
    if (store)
        connect(store, &LWStore::checkLimitsChanged, this, &LWSettingsWindow::showLimits);
    showLimits();
}

void LWSettingsWindow::showLimits() {
    const CaptionChecks::Limits limits =
        m_checks ? m_checks->checkLimits() : CaptionChecks::Limits{};
    const double values[] = {limits.maxCharsPerSecond, limits.maxDuration, limits.minGap,
                             limits.minConfidence * 100};
    for (int i = 0; i < m_limitFields.size(); ++i) {
        const QSignalBlocker quiet(m_limitFields[i]);
        m_limitFields[i]->setValue(values[i]);
        m_limitFields[i]->setEnabled(m_checks != nullptr);
    }
}

LWSettingsWindow::~LWSettingsWindow() {
    // The settings may already be gone when the window is deleted after the application's end.
    m_player->stop();
}

LWSettingsWindow& LWSettingsWindow::showShared(ELSettings& settings, WhisperModels& models) {
    static QPointer<LWSettingsWindow> window;
    if (!window) {
        window = new LWSettingsWindow(settings, models);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        // Lives as long as the application; closing only hides it.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, window.data(),
                         &QObject::deleteLater);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return *window;
}

QString LWSettingsWindow::engineDescription(ELSettings::Engine engine, bool hasKey) {
    switch (engine) {
    case ELSettings::Engine::whisper:
        return QStringLiteral("Recommended. Runs entirely on this computer: free, no account, "
                              "works offline, and the sound never leaves your computer.");
    case ELSettings::Engine::apple:
        return QStringLiteral("The built-in PocketSphinx recognizer. Fine for clear speech; weak "
                              "on songs and music.");
    case ELSettings::Engine::elevenlabs: {
        QString text = QStringLiteral("The sound track is uploaded to ElevenLabs for "
                                      "transcription. Word timings become captions.");
        if (!hasKey)
            text +=
                QStringLiteral(" No key saved: the free Whisper engine is used until you add one.");
        return text;
    }
    }
    return {};
}

QString LWSettingsWindow::keyStatusText(bool hasKey) {
    if (hasKey)
        return QStringLiteral("A key is saved in this computer's keyring.");
    return QStringLiteral("No key is saved. Make one on %1 under Developers > API Keys and "
                          "paste it below. Lorowen Pro includes no key of its own: your own "
                          "ElevenLabs plan pays for what you use.")
        .arg(ELError::websiteDomain());
}

std::optional<QString> LWSettingsWindow::previewRefusal(bool hasKey, const QString& voiceID) {
    if (!hasKey)
        return QStringLiteral("The preview speaks through ElevenLabs: save your API key above, "
                              "click Load Voices and pick a voice, then try again.");
    if (voiceID.isEmpty())
        return QStringLiteral("Choose a voice first: click Load Voices and pick one.");
    return std::nullopt;
}

QString LWSettingsWindow::folderText(const QString& folder) {
    QString shown = QDir::cleanPath(folder);
    const QString home = QDir::cleanPath(QDir::homePath());
    if (shown.startsWith(home + u'/'))
        shown = u'~' + shown.mid(home.size());
    return QStringLiteral("Models are downloaded once from Hugging Face, checked with a SHA-256 "
                          "safety checksum, and kept in “%1”.")
        .arg(QDir::toNativeSeparators(shown));
}

QWidget* LWSettingsWindow::panel(const QString& heading, QVBoxLayout*& body, QWidget* aside) {
    auto* frame = new QWidget(this);
    frame->setObjectName(QStringLiteral("panel"));
    frame->setAttribute(Qt::WA_StyledBackground, true);
    body = new QVBoxLayout(frame);
    auto* top = new QHBoxLayout;
    auto* title = new QLabel(heading, frame);
    title->setProperty("heading", true);
    top->addWidget(title, 1);
    if (aside)
        top->addWidget(aside);
    body->addLayout(top);
    return frame;
}

QWidget* LWSettingsWindow::buildKeyPanel() {
    QVBoxLayout* body = nullptr;
    QWidget* frame = panel(QStringLiteral("ElevenLabs API key (your own account)"), body);
    m_keyStatus = wrapped(QString(), frame, true);
    body->addWidget(m_keyStatus);

    auto* row = new QHBoxLayout;
    m_keyField = new QLineEdit(frame);
    m_keyField->setEchoMode(QLineEdit::Password);
    m_keyField->setAccessibleName(QStringLiteral("API key"));
    row->addWidget(m_keyField, 1);
    m_saveKey = new QPushButton(QStringLiteral("Save Key"), frame);
    row->addWidget(m_saveKey);
    m_removeKey = new QPushButton(QStringLiteral("Remove"), frame);
    row->addWidget(m_removeKey);
    body->addLayout(row);
    m_status = wrapped(QString(), frame);
    body->addWidget(m_status);

    connect(m_keyField, &QLineEdit::textChanged, this, &LWSettingsWindow::refresh);
    connect(m_saveKey, &QPushButton::clicked, this, [this] {
        if (m_keyField->text().trimmed().isEmpty())
            return;
        m_el.setKey(m_keyField->text());
        m_keyField->clear();
    });
    connect(m_removeKey, &QPushButton::clicked, &m_el, &ELSettings::removeKey);
    return frame;
}

QWidget* LWSettingsWindow::buildVoicePanel() {
    m_loadVoices = new QPushButton(this);
    QVBoxLayout* body = nullptr;
    QWidget* frame = panel(QStringLiteral("Voiceover voice"), body, m_loadVoices);
    connect(m_loadVoices, &QPushButton::clicked, &m_el, &ELSettings::load);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Voice"), frame), 0, 0);
    m_voice = new QComboBox(frame);
    grid->addWidget(m_voice, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Model"), frame), 1, 0);
    m_model = new QComboBox(frame);
    grid->addWidget(m_model, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Preview text"), frame), 2, 0);
    m_previewText = new QLineEdit(ELSettings::defaultPreviewText(), frame);
    m_previewText->setCursorPosition(0);
    grid->addWidget(m_previewText, 2, 1);
    grid->setColumnStretch(1, 1);
    body->addLayout(grid);

    auto* row = new QHBoxLayout;
    m_previewButton = new QPushButton(frame);
    row->addWidget(m_previewButton);
    row->addWidget(wrapped(QStringLiteral("Uses a few ElevenLabs credits."), frame, true), 1);
    body->addLayout(row);
    m_previewNote = wrapped(QString(), frame);
    m_previewNote->hide();
    body->addWidget(m_previewNote);

    connect(m_voice, &QComboBox::activated, this, [this](int index) {
        const QString id = m_voice->itemData(index).toString();
        if (!id.isEmpty())
            m_el.setVoiceID(id); // remembered at once
    });
    connect(m_model, &QComboBox::activated, this, [this](int index) {
        const QString id = m_model->itemData(index).toString();
        if (!id.isEmpty())
            m_el.setModelID(id);
    });
    connect(m_previewButton, &QPushButton::clicked, this, &LWSettingsWindow::preview);
    return frame;
}

QWidget* LWSettingsWindow::buildEnginePanel() {
    QVBoxLayout* body = nullptr;
    QWidget* frame = panel(QStringLiteral("Transcription engine"), body);

    // A segmented choice: three lit buttons, one of them on.
    auto* segment = new QHBoxLayout;
    segment->setSpacing(0);
    m_engines = new QButtonGroup(frame);
    m_engines->setExclusive(true);
    for (const ELSettings::Engine engine : ELSettings::engines()) {
        auto* button = new QPushButton(engineTitle(engine), frame);
        button->setCheckable(true);
        button->setProperty(engineProperty, int(engine));
        button->setMinimumWidth(1); // the three share the width, however narrow
        button->setProperty("segment", true);
        m_engines->addButton(button, int(engine));
        segment->addWidget(button, 1);
    }
    body->addLayout(segment);
    connect(m_engines, &QButtonGroup::idClicked, this,
            [this](int id) { m_el.setEngine(ELSettings::Engine(id)); });

    m_engineText = wrapped(QString(), frame, true);
    body->addWidget(m_engineText);

    m_scribeRow = new QWidget(frame);
    auto* scribeLine = new QHBoxLayout(m_scribeRow);
    scribeLine->setContentsMargins(0, 0, 0, 0);
    scribeLine->addWidget(new QLabel(QStringLiteral("Scribe model"), m_scribeRow));
    m_scribe = new QComboBox(m_scribeRow);
    m_scribe->addItem(QStringLiteral("Scribe v2 (most accurate)"), QStringLiteral("scribe_v2"));
    m_scribe->addItem(QStringLiteral("Scribe v1"), QStringLiteral("scribe_v1"));
    scribeLine->addWidget(m_scribe, 1);
    body->addWidget(m_scribeRow);
    connect(m_scribe, &QComboBox::activated, this,
            [this](int index) { m_el.setScribeModel(m_scribe->itemData(index).toString()); });

    // The Whisper models: every catalog choice, never the voice detector.
    m_whisperBlock = new QWidget(frame);
    auto* block = new QVBoxLayout(m_whisperBlock);
    block->setContentsMargins(0, 0, 0, 0);
    auto* grid = new QGridLayout;
    m_marks = new QButtonGroup(m_whisperBlock);
    const QList<WhisperModel> models = WhisperModel::choices();
    for (qsizetype i = 0; i < models.size(); ++i) {
        const WhisperModel& model = models[i];
        const int r = int(i);
        ModelRow row;
        row.id = model.id;
        row.mark = new QRadioButton(model.name, m_whisperBlock);
        row.mark->setToolTip(model.note);
        m_marks->addButton(row.mark, r);
        grid->addWidget(row.mark, 2 * r, 0);
        // The model's one-line note, under its name.
        row.note = wrapped(model.note, m_whisperBlock, true);
        row.note->setAccessibleName(model.name);
        row.note->setIndent(style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth) +
                            style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing));
        grid->addWidget(row.note, 2 * r + 1, 0, 1, 2);

        auto* right = new QHBoxLayout;
        row.installed = new QLabel(QStringLiteral("✓ On this computer"), m_whisperBlock);
        row.installed->setProperty("caption", true);
        row.remove = new QPushButton(QStringLiteral("Remove"), m_whisperBlock);
        row.bar = new QProgressBar(m_whisperBlock);
        row.bar->setRange(0, 1000);
        row.bar->setTextVisible(false);
        row.percent = new QLabel(m_whisperBlock);
        row.stop = new QPushButton(QStringLiteral("Stop"), m_whisperBlock);
        row.download = new QPushButton(QStringLiteral("Download"), m_whisperBlock);
        for (QWidget* part :
             {static_cast<QWidget*>(row.installed), static_cast<QWidget*>(row.remove),
              static_cast<QWidget*>(row.bar), static_cast<QWidget*>(row.percent),
              static_cast<QWidget*>(row.stop), static_cast<QWidget*>(row.download)})
            right->addWidget(part);
        grid->addLayout(right, 2 * r, 1, Qt::AlignRight);

        connect(row.remove, &QPushButton::clicked, this, [this, model] { m_wm.remove(model); });
        connect(row.stop, &QPushButton::clicked, &m_wm, &WhisperModels::stopDownload);
        connect(row.download, &QPushButton::clicked, this, [this, model] {
            // The click chooses the model even when another download keeps this one waiting.
            m_wm.setModelID(model.id);
            m_wm.startDownload(model);
        });
        m_rows.append(row);
    }
    grid->setColumnStretch(0, 1);
    block->addLayout(grid);
    connect(m_marks, &QButtonGroup::idClicked, this,
            [this](int index) { m_wm.setModelID(m_rows.at(index).id); });

    m_modelStatus = wrapped(QString(), m_whisperBlock);
    block->addWidget(m_modelStatus);
    // The folder the models really live in (it follows XDG_DATA_HOME).
    m_folderText = wrapped(folderText(WhisperModels::folder()), m_whisperBlock, true);
    block->addWidget(m_folderText);
    auto* folderRow = new QHBoxLayout;
    auto* folder = new QPushButton(QStringLiteral("Show Folder"), m_whisperBlock);
    connect(folder, &QPushButton::clicked, &m_wm, &WhisperModels::showFolder);
    folderRow->addWidget(folder);
    folderRow->addStretch(1);
    block->addLayout(folderRow);
    block->addWidget(buildGpuRow(m_whisperBlock));
    body->addWidget(m_whisperBlock);
    return frame;
}

QWidget* LWSettingsWindow::buildGpuRow(QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* column = new QVBoxLayout(row);
    column->setContentsMargins(0, 0, 0, 0);
    m_gpu = new QCheckBox(QStringLiteral("Use the graphics card for Whisper"), row);
    m_gpu->setEnabled(false);
    column->addWidget(m_gpu);
    m_gpuText = wrapped(QStringLiteral("Looking for a graphics card…"), row, true);
    m_gpuText->setIndent(style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                         style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing));
    column->addWidget(m_gpuText);
    connect(m_gpu, &QCheckBox::toggled, this, [this](bool on) {
        if (m_card)
            m_wm.setUseGPU(on);
    });

    // The search runs on its own thread from the application's start (main starts it); its
    // answer is shown when it is there, without holding up this window.
    const auto show = [this] {
        showDevices(WhisperDevices::found(), WhisperDevices::acceptCpuFromEnvironment(),
                    WhisperEngine::cliURL(true).has_value());
    };
    if (WhisperDevices::foundYet()) {
        show();
    } else {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [poll, show] {
            if (!WhisperDevices::foundYet())
                return;
            poll->deleteLater();
            show();
        });
        poll->start(100);
    }
    return row;
}

void LWSettingsWindow::showDevices(const QList<WhisperDevices::Device>& devices, bool acceptCpu,
                                   bool variantInstalled) {
    m_card = WhisperDevices::choose(WhisperDevices::Want::gpu, true, devices, acceptCpu,
                                    variantInstalled);
    if (m_card)
        m_gpuText->setText(
            QStringLiteral("Found: %1 — %2. When it fails, Whisper runs on the processor.")
                .arg(m_card->name, WhisperDevices::kindName(m_card->kind)));
    else if (!variantInstalled)
        m_gpuText->setText(QStringLiteral("The graphics-card version of the Whisper engine isn't "
                                          "installed, so Whisper runs on the processor."));
    else
        m_gpuText->setText(QStringLiteral("No graphics card that Whisper can use was found (a "
                                          "Vulkan driver is needed), so Whisper runs on the "
                                          "processor."));
    refreshGpu();
}

void LWSettingsWindow::refreshGpu() {
    if (!m_gpu)
        return;
    const QSignalBlocker quiet(m_gpu);
    m_gpu->setEnabled(m_card.has_value());
    m_gpu->setChecked(m_card && m_wm.useGPU());
}

QAbstractButton* LWSettingsWindow::engineButton(ELSettings::Engine engine) const {
    return m_engines->button(int(engine));
}

QStringList LWSettingsWindow::modelRowIds() const {
    QStringList ids;
    for (const ModelRow& row : m_rows)
        ids.append(row.id);
    return ids;
}

const LWSettingsWindow::ModelRow* LWSettingsWindow::row(const QString& id) const {
    for (const ModelRow& candidate : m_rows)
        if (candidate.id == id)
            return &candidate;
    return nullptr;
}

QPushButton* LWSettingsWindow::downloadButton(const QString& modelID) const {
    const ModelRow* found = row(modelID);
    return found ? found->download : nullptr;
}

QPushButton* LWSettingsWindow::removeButton(const QString& modelID) const {
    const ModelRow* found = row(modelID);
    return found ? found->remove : nullptr;
}

QPushButton* LWSettingsWindow::stopButton(const QString& modelID) const {
    const ModelRow* found = row(modelID);
    return found ? found->stop : nullptr;
}

QProgressBar* LWSettingsWindow::progressBar(const QString& modelID) const {
    const ModelRow* found = row(modelID);
    return found ? found->bar : nullptr;
}

QLabel* LWSettingsWindow::noteLabel(const QString& modelID) const {
    const ModelRow* found = row(modelID);
    return found ? found->note : nullptr;
}

void LWSettingsWindow::preview() {
    if (m_player->playing()) {
        m_player->stop();
        return;
    }
    // Until the keyring has answered, the preview reads the key itself and says what it found.
    const std::optional<QString> refusal =
        previewRefusal(m_el.hasKey() || !m_el.keyChecked(), m_el.voiceID());
    m_previewNote->setText(refusal.value_or(QString()));
    m_previewNote->setVisible(refusal.has_value());
    if (refusal)
        return;
    m_previewBusy = true;
    refresh();
    const QPointer<LWSettingsWindow> self(this);
    m_el.preview(m_previewText->text(), *m_player, [self] {
        if (!self)
            return;
        self->m_previewBusy = false;
        self->refresh();
    });
}

void LWSettingsWindow::stopPreview() {
    m_el.stopPreview();
    m_player->stop();
}

void LWSettingsWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Closed or hidden by the application; a minimised window (a spontaneous hide) plays on.
    if (!event->spontaneous())
        stopPreview();
}

void LWSettingsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_el.hasKey() && m_el.voices().isEmpty() && !m_el.busy())
        m_el.load();
}

void LWSettingsWindow::refresh() {
    const bool hasKey = m_el.hasKey();
    m_keyStatus->setText(keyStatusText(hasKey));
    m_keyField->setPlaceholderText(hasKey ? QStringLiteral("Paste a new key to replace it")
                                          : QStringLiteral("Paste your API key"));
    m_saveKey->setEnabled(!m_keyField->text().trimmed().isEmpty());
    m_removeKey->setVisible(hasKey);
    m_status->setText(m_el.status());
    m_status->setVisible(!m_el.status().isEmpty());

    m_loadVoices->setText(m_el.voices().isEmpty() ? QStringLiteral("Load Voices")
                                                  : QStringLiteral("Reload"));
    m_loadVoices->setEnabled(hasKey && !m_el.busy());
    if (m_player->playing())
        m_previewButton->setText(QStringLiteral("Stop"));
    else
        m_previewButton->setText(m_previewBusy ? QStringLiteral("Generating…")
                                               : QStringLiteral("Preview Voice"));
    m_previewButton->setEnabled(m_player->playing() || !m_previewBusy);
    if (!m_previewNote->isHidden()) {
        // A refusal on show follows the key and the voice: it goes once both are there.
        const std::optional<QString> refusal = previewRefusal(hasKey, m_el.voiceID());
        m_previewNote->setText(refusal.value_or(QString()));
        m_previewNote->setVisible(refusal.has_value());
    }

    const ELSettings::Engine engine = m_el.engine();
    if (QAbstractButton* chosen = m_engines->button(int(engine)))
        chosen->setChecked(true);
    for (QAbstractButton* button : m_engines->buttons())
        button->setProperty("lit", button->isChecked());
    m_engineText->setText(engineDescription(engine, hasKey));
    m_scribeRow->setVisible(engine == ELSettings::Engine::elevenlabs);
    const int scribe = m_scribe->findData(m_el.scribeModel());
    m_scribe->setCurrentIndex(scribe < 0 ? 0 : scribe);
    m_whisperBlock->setVisible(engine == ELSettings::Engine::whisper);
    // The lit property changed: let the style sheet see it.
    for (QAbstractButton* button : m_engines->buttons())
        button->style()->polish(button);
}

void LWSettingsWindow::refreshVoices() {
    {
        const QSignalBlocker quiet(m_voice);
        m_voice->clear();
        bool listed = false;
        for (const ELVoice& voice : m_el.voices()) {
            m_voice->addItem(voice.name, voice.id);
            listed = listed || voice.id == m_el.voiceID();
        }
        if (!listed) {
            // The stored voice is not among the loaded ones (or none is stored yet).
            m_voice->insertItem(0,
                                m_el.voiceID().isEmpty() ? QStringLiteral("— load your voices —")
                                                         : QStringLiteral("Saved voice"),
                                QString());
            m_voice->setCurrentIndex(0);
        } else {
            m_voice->setCurrentIndex(m_voice->findData(m_el.voiceID()));
        }
    }
    {
        const QSignalBlocker quiet(m_model);
        m_model->clear();
        for (const ELModel& model : m_el.models())
            m_model->addItem(model.name, model.id);
        int chosen = m_model->findData(m_el.modelID());
        if (chosen < 0) {
            m_model->insertItem(0, m_el.modelID(), QString());
            chosen = 0;
        }
        m_model->setCurrentIndex(chosen);
    }
    refresh();
}

void LWSettingsWindow::refreshModels() {
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        ModelRow& row = m_rows[i];
        const WhisperModel model = WhisperModel::byID(row.id);
        const bool installed = m_wm.installed(model);
        const bool downloading = m_wm.downloading() == row.id;
        row.mark->setChecked(row.id == m_wm.modelID());
        row.installed->setVisible(installed && !downloading);
        row.remove->setVisible(installed && !downloading);
        row.bar->setVisible(downloading);
        row.percent->setVisible(downloading);
        row.stop->setVisible(downloading);
        row.download->setVisible(!installed && !downloading);
        if (downloading) {
            row.bar->setValue(int(std::lround(m_wm.fraction() * 1000)));
            row.percent->setText(QStringLiteral("%1%").arg(std::lround(m_wm.fraction() * 100)));
        }
    }
    m_modelStatus->setText(m_wm.status().value_or(QString()));
    m_modelStatus->setVisible(m_wm.status().has_value());
    refreshGpu();
}

void LWSettingsWindow::applyLook() {
    const BCUI& ui = BCUI::shared();
    setStyleSheet(BCStyleSheet::build(ui.theme(), ui.zoom()) +
                  QStringLiteral("\nQLabel[heading=\"true\"] { font-weight: bold; }"
                                 "\nQPushButton[segment=\"true\"] { padding: %1px %2px; }")
                      .arg(ui.px(4))
                      .arg(ui.px(3)));
    m_title->setText(QStringLiteral("<span style=\"font-size:%1pt; font-weight:700\">Lorowen</span>"
                                    "&nbsp;&nbsp;<span style=\"font-size:%2pt\">Settings</span>")
                         .arg(BCFont(20).pointSizeF())
                         .arg(BCFont(15).pointSizeF()));
    setMinimumSize(ui.px(560), ui.px(600));
    for (QWidget* child : findChildren<QWidget*>())
        child->setFont(BCFont(13));
    for (QAbstractButton* button : m_engines->buttons())
        button->setFont(BCFont(12));
}
