#pragma once

#include "CaptionStyle.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

class LWStore;
class QVideoFrame;
class QVideoSink;

// The picture of the open file with the caption showing at the playhead drawn over it by the
// same renderer the burned-in export uses, at the size of the picture. Files without a picture
// show the scrolling waveform bars; no file shows the drop hint; a running job dims it all
// with its text and progress. A click toggles play; a dropped file is opened.
class LWMonitor : public QWidget {
    Q_OBJECT
public:
    explicit LWMonitor(LWStore& store, QWidget* parent = nullptr);

    // Receives the player's frames.
    QVideoSink* videoSink() const { return m_sink; }

    // Whether the dashed 90 % safe-area guide is drawn over pictures (on at first).
    bool safeArea() const { return m_safe; }
    void setSafeArea(bool on);

    // A picture of `natural` pixels fitted into `area`, centred; empty when `natural` is.
    static QRectF pictureRect(const QRectF& area, QSizeF natural);
    // The caption box of `text` in widget coordinates for a picture shown at `picture` whose
    // own size is `natural`.
    static QRectF captionBox(const QString& text, const CaptionStyle& style, const QRectF& picture,
                             QSize natural);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void onFrame(const QVideoFrame& frame);
    // The picture's size in its own pixels (the video's display size, or 1280 x 720).
    QSize pictureSize() const;

    LWStore& m_store;
    QVideoSink* m_sink;
    void paintEmptyState(QPainter& painter);
    void paintAudioArt(QPainter& painter, const QRectF& area);
    void paintBusy(QPainter& painter);

    QImage m_frame;
    bool m_safe = true;
    // The last caption drawn, kept until its text, the style or the picture size changes.
    QString m_cachedText;
    CaptionStyle m_cachedStyle;
    QSize m_cachedSize;
    QImage m_cachedImage;
    QRectF m_cachedBox;
    QTimer m_spinner;
    int m_spinAngle = 0;
};
