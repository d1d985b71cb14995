#pragma once

#include <QPushButton>
#include <QWidget>

class LWStore;

// One export tile: a chrome circle with the symbol, the title, a one-line subtitle (cut with an
// ellipsis when narrow; the full text is the tool tip) and a chevron. The whole tile is the
// button.
class LWExportTile : public QPushButton {
    Q_OBJECT
public:
    LWExportTile(const QString& symbol, const QString& title, const QString& subtitle,
                 QWidget* parent = nullptr);
    void setSubtitle(const QString& subtitle);
    QString subtitle() const { return m_subtitle; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    QString m_title;
    QString m_subtitle;
};
class QCheckBox;
class QLabel;

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
    LWExportTile* m_voiceTile = nullptr;
    QLabel* m_audioOnly = nullptr;
    QCheckBox* m_sidecars = nullptr;
};
