#pragma once

#include <QWidget>

class LWStore;
class QCheckBox;
class QLabel;
class QPushButton;

// The Export bay: the caption-file tiles (SRT, VTT, TXT, TXT + times), the video tiles and the
// voiceover tile, the audio-only note and the side-car switch. A tile that cannot act is
// disabled: every tile without an open file or while a job runs, the video tiles for a file
// without a picture.
class LWExportBay : public QWidget {
    Q_OBJECT
public:
    explicit LWExportBay(LWStore& store, QWidget* parent = nullptr);

    // The tile titled `title`, for tests.
    QPushButton* tile(const QString& title) const;

private:
    QPushButton* addTile(const QString& symbol, const QString& title, const QString& subtitle);
    void refresh();

    LWStore& m_store;
    QList<QPushButton*> m_textTiles;
    QList<QPushButton*> m_videoTiles;
    QPushButton* m_voiceTile = nullptr;
    QLabel* m_audioOnly = nullptr;
    QCheckBox* m_sidecars = nullptr;
};
