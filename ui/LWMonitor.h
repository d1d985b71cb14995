#pragma once

#include "CaptionStyle.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

class BCChromeButton;
class LWStore;
class QAbstractButton;
class QVideoFrame;
class QVideoSink;

// The picture of the open file with the caption showing at the playhead drawn over it by the
// same renderer the burned-in export uses, at the size of the picture. Files without a picture
// show a waveform symbol over the scrolling waveform bars; no file shows the drop hint and an
// "Open a File…" button; a running job dims it all with its text, progress and a Stop button.
// A click toggles play; drops are the window's.
//
// The player's frames arrive at full rate; only the latest one is kept, and it is turned into
// an image when the monitor paints, so frames that come faster than the screen shows them cost
// nothing on the main thread.
class LWMonitor : public QWidget {
    Q_OBJECT
public:
    explicit LWMonitor(LWStore& store, QWidget* parent = nullptr);
    ~LWMonitor() override;

    // Receives the player's frames.
    QVideoSink* videoSink() const { return m_sink; }
    // The empty monitor's "Open a File…" and the busy overlay's "Stop".
    QAbstractButton* openButton() const;
    QAbstractButton* stopButton() const;
    // Frames received and frames turned into images since the file was opened.
    int framesReceived() const { return m_received; }
    int framesShown() const { return m_shown; }

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
    void resizeEvent(QResizeEvent* event) override;

private:
    void onFrame(const QVideoFrame& frame);
    // The picture's size in its own pixels (the video's display size, or 1280 x 720).
    QSize pictureSize() const;

    LWStore& m_store;
    QVideoSink* m_sink;
    void paintEmptyState(QPainter& painter);
    void paintAudioArt(QPainter& painter, const QRectF& area);
    void paintBusy(QPainter& painter);
    // The busy overlay's panel.
    QRectF busyPanel() const;
    // Shows the buttons that belong to the current state, where they belong.
    void placeButtons();

    BCChromeButton* m_open;
    BCChromeButton* m_stop;
    QVideoFrame* m_pending; // the latest frame not yet turned into m_frame
    int m_received = 0;
    int m_shown = 0;
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
