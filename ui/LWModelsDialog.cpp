#include "LWModelsDialog.h"

#include "WhisperModels.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QList<WhisperModel> rows() {
    return WhisperModel::choices() << WhisperModel::voiceDetector();
}

} // namespace

LWModelsDialog::LWModelsDialog(WhisperModels& shared, QWidget* parent)
    : QDialog(parent), m_models(shared) {
    setWindowTitle(QStringLiteral("Whisper Models"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Whisper models are downloaded once and kept on this computer. After "
                       "that, transcription is free and works offline."),
        this));

    auto* grid = new QGridLayout;
    m_choice = new QButtonGroup(this);
    const QList<WhisperModel> models = rows();
    for (qsizetype i = 0; i < models.size(); ++i) {
        const WhisperModel& model = models[i];
        const int r = int(i) * 2;
        const bool choosable = i < WhisperModel::choices().size();
        QWidget* title = nullptr;
        if (choosable) {
            auto* radio = new QRadioButton(model.name, this);
            m_choice->addButton(radio, int(i));
            title = radio;
        } else {
            title = new QLabel(model.name, this);
        }
        grid->addWidget(title, r, 0);
        grid->addWidget(new QLabel(WhisperModels::byteCount(model.bytes), this), r, 1);
        Row row;
        row.state = new QLabel(this);
        row.download = new QPushButton(QStringLiteral("Download"), this);
        row.remove = new QPushButton(QStringLiteral("Remove"), this);
        grid->addWidget(row.state, r, 2);
        grid->addWidget(row.download, r, 3);
        grid->addWidget(row.remove, r, 4);
        auto* note = new QLabel(model.note, this);
        note->setWordWrap(true);
        note->setEnabled(false);
        grid->addWidget(note, r + 1, 0, 1, 5);
        connect(row.download, &QPushButton::clicked, this,
                [this, model] { m_models.startDownload(model); });
        connect(row.remove, &QPushButton::clicked, this, [this, model] { m_models.remove(model); });
        m_rows.append(row);
    }
    layout->addLayout(grid);
    connect(m_choice, &QButtonGroup::idClicked, this,
            [this](int id) { m_models.setModelID(WhisperModel::choices().at(id).id); });

    auto* progressRow = new QHBoxLayout;
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_stop = new QPushButton(QStringLiteral("Stop"), this);
    connect(m_stop, &QPushButton::clicked, this, [this] { m_models.stopDownload(); });
    progressRow->addWidget(m_progress, 1);
    progressRow->addWidget(m_stop);
    layout->addLayout(progressRow);
    m_status = new QLabel(this);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* folder =
        buttons->addButton(QStringLiteral("Show Folder"), QDialogButtonBox::ActionRole);
    connect(folder, &QPushButton::clicked, this, [this] { m_models.showFolder(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);

    connect(&m_models, &WhisperModels::changed, this, &LWModelsDialog::refresh);
    refresh();
}

void LWModelsDialog::refresh() {
    const QList<WhisperModel> models = rows();
    const bool busy = m_models.taskRunning() || m_models.downloading().has_value();
    for (qsizetype i = 0; i < models.size(); ++i) {
        const WhisperModel& model = models[i];
        const bool installed = m_models.installed(model);
        Row& row = m_rows[i];
        if (m_models.downloading() == model.id)
            row.state->setText(QStringLiteral("Downloading…"));
        else
            row.state->setText(installed ? QStringLiteral("Installed")
                                         : QStringLiteral("Not downloaded"));
        row.download->setEnabled(!installed && !busy);
        row.remove->setEnabled(installed && m_models.downloading() != model.id);
        if (QAbstractButton* radio = m_choice->button(int(i)))
            radio->setChecked(model.id == m_models.modelID());
    }
    m_progress->setValue(int(m_models.fraction() * 1000));
    m_progress->setVisible(busy);
    m_stop->setVisible(m_models.taskRunning());
    m_status->setText(m_models.status().value_or(QString()));
}
