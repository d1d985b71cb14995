#pragma once

#include <QDialog>
#include <QList>

class QButtonGroup;
class QLabel;
class QProgressBar;
class QPushButton;
class WhisperModels;

// "Whisper Models…": choose the model for transcription, download one (with progress and a
// Stop button) or remove one, and open the models folder. Not modal: a download runs on while
// the window and its jobs go on. Reads and drives the models it is given; main thread only.
class LWModelsDialog : public QDialog {
    Q_OBJECT
public:
    explicit LWModelsDialog(WhisperModels& models, QWidget* parent = nullptr);

private:
    struct Row {
        QLabel* state = nullptr;
        QPushButton* download = nullptr;
        QPushButton* remove = nullptr;
    };

    void refresh();

    WhisperModels& m_models;
    QButtonGroup* m_choice = nullptr;
    QList<Row> m_rows; // the choices, then the voice detector
    QProgressBar* m_progress = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_stop = nullptr;
};
