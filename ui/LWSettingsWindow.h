#pragma once

#include "ELSettings.h"
#include "WhisperDevices.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <optional>

class ELPreviewPlayer;
class LWSpelling;
class LWStore;
class QDoubleSpinBox;
class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QVBoxLayout;
class WhisperModels;

// The settings window (Ctrl+,): the user's own ElevenLabs key, the voiceover voice and model with
// a spoken preview, the transcription engine, and the Whisper models (choose, download with
// progress, stop, remove, show the folder). Every value lives in ELSettings and WhisperModels;
// this view only shows them and calls their operations, and follows the shared theme and zoom.
// Main thread only.
class LWSettingsWindow : public QWidget {
    Q_OBJECT
public:
    LWSettingsWindow(ELSettings& el, WhisperModels& wm, QWidget* parent = nullptr);
    ~LWSettingsWindow() override;

    // The application's one settings window, made on first use, brought to the front.
    static LWSettingsWindow& showShared(ELSettings& settings, WhisperModels& models);

    // The description under the engine choice for `engine`, with the no-key sentence for
    // ElevenLabs Scribe when no key is stored.
    static QString engineDescription(ELSettings::Engine engine, bool hasKey);
    // The sentence of the key panel.
    static QString keyStatusText(bool hasKey);
    // Why "Preview Voice" can't speak yet, or nothing when it can: no key is stored, or no
    // voice is chosen.
    static std::optional<QString> previewRefusal(bool hasKey, const QString& voiceID);
    // The sentence under the model rows naming the models folder `folder`, with the home folder
    // written as "~".
    static QString folderText(const QString& folder);

    // Parts the tests reach.
    QLineEdit* keyField() const { return m_keyField; }
    QPushButton* saveKeyButton() const { return m_saveKey; }
    QPushButton* removeKeyButton() const { return m_removeKey; }
    QPushButton* loadVoicesButton() const { return m_loadVoices; }
    QPushButton* previewButton() const { return m_previewButton; }
    QComboBox* voicePicker() const { return m_voice; }
    QComboBox* modelPicker() const { return m_model; }
    QComboBox* scribePicker() const { return m_scribe; }
    QAbstractButton* engineButton(ELSettings::Engine engine) const;
    QLabel* engineDescriptionLabel() const { return m_engineText; }
    QLabel* keyStatusLabel() const { return m_keyStatus; }
    QLabel* statusLabel() const { return m_status; }
    // The sentence beside the preview button (hidden when there is nothing to say).
    QLabel* previewNote() const { return m_previewNote; }
    QLabel* folderLabel() const { return m_folderText; }
    // The model rows, one per catalog choice (never the voice detector), by model id.
    QStringList modelRowIds() const;
    QPushButton* downloadButton(const QString& modelID) const;
    QPushButton* removeButton(const QString& modelID) const;
    QPushButton* stopButton(const QString& modelID) const;
    QProgressBar* progressBar(const QString& modelID) const;
    QLabel* noteLabel(const QString& modelID) const;
    bool previewBusy() const { return m_previewBusy; }

    // Shows which spelling dictionary `spelling` uses for the transcription language (or the
    // package that adds one), following its changes.
    void setSpelling(LWSpelling* spelling);
    QLabel* spellingLabel() const { return m_spellingText; }

    // Shows and sets the delivery checks' limits of `store` (reading speed, longest time on
    // screen, gap between captions, the confidence below which words are marked).
    void setChecks(LWStore* store);
    QDoubleSpinBox* speedField() const { return m_limitFields.value(0); }
    QDoubleSpinBox* unsureField() const { return m_limitFields.value(3); }
    // "Use the graphics card for Whisper" and the sentence under it.
    QCheckBox* gpuBox() const { return m_gpu; }
    QLabel* gpuLabel() const { return m_gpuText; }
    // Shows the devices found (the window asks WhisperDevices::found() once it is ready):
    // the box is on when the preference is and a usable graphics card exists, and disabled with
    // a sentence when none does. `variantInstalled`: whether whisper-cli-vulkan is there.
    void showDevices(const QList<WhisperDevices::Device>& devices, bool acceptCpu,
                     bool variantInstalled);

protected:
    void showEvent(QShowEvent* event) override;
    // Closing only hides the window: a preview being made or played ends with it.
    void hideEvent(QHideEvent* event) override;

private:
    struct ModelRow {
        QString id;
        QRadioButton* mark = nullptr;
        QLabel* note = nullptr;
        QLabel* installed = nullptr;
        QPushButton* remove = nullptr;
        QProgressBar* bar = nullptr;
        QLabel* percent = nullptr;
        QPushButton* stop = nullptr;
        QPushButton* download = nullptr;
    };

    const ModelRow* row(const QString& id) const;
    QWidget* buildKeyPanel();
    QWidget* buildVoicePanel();
    QWidget* buildEnginePanel();
    QWidget* panel(const QString& heading, QVBoxLayout*& body, QWidget* aside = nullptr);
    void preview();
    void stopPreview();
    void refresh();
    void refreshVoices();
    void refreshModels();
    void refreshGpu();
    QWidget* buildGpuRow(QWidget* parent);
    void applyLook();

    ELSettings& m_el;
    WhisperModels& m_wm;
    ELPreviewPlayer* m_player = nullptr;
    bool m_previewBusy = false;

    QLabel* m_title = nullptr;
    QLabel* m_keyStatus = nullptr;
    QLineEdit* m_keyField = nullptr;
    QPushButton* m_saveKey = nullptr;
    QPushButton* m_removeKey = nullptr;
    QLabel* m_status = nullptr;

    QPushButton* m_loadVoices = nullptr;
    QComboBox* m_voice = nullptr;
    QComboBox* m_model = nullptr;
    QLineEdit* m_previewText = nullptr;
    QPushButton* m_previewButton = nullptr;
    QLabel* m_previewNote = nullptr;

    QButtonGroup* m_engines = nullptr;
    QLabel* m_engineText = nullptr;
    QWidget* m_scribeRow = nullptr;
    QComboBox* m_scribe = nullptr;
    QWidget* m_whisperBlock = nullptr;
    QButtonGroup* m_marks = nullptr;
    QList<ModelRow> m_rows;
    QLabel* m_modelStatus = nullptr;
    QLabel* m_folderText = nullptr;
    QPointer<LWSpelling> m_spelling;
    QLabel* m_spellingText = nullptr;
    QWidget* buildChecksPanel();
    void showLimits();
    QPointer<LWStore> m_checks;
    QList<QDoubleSpinBox*> m_limitFields; // speed, longest, gap, confidence (percent)
    QCheckBox* m_gpu = nullptr;
    QLabel* m_gpuText = nullptr;
    std::optional<WhisperDevices::Device> m_card; // the graphics card Whisper would use
};
