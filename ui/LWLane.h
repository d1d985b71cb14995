#pragma once

#include "Caption.h"

#include <QUuid>
#include <QWidget>
#include <optional>

class BCSlider;
class LWStore;
class QLabel;
class QScrollArea;
class QToolButton;

// The lane's arithmetic, kept apart from painting so it can be checked on its own.
namespace LWLaneMath {

// Pixels per second: the chosen zoom `pps`, but never less than what fits the whole file into
// `viewWidth` (1 without a duration).
double scale(double pps, double viewWidth, double duration);
// The scrolling width of the lane: the whole file at `scale`, at least the view.
double contentWidth(double scale, double duration, double viewWidth);
// Seconds between two ruler labels.
double rulerStep(double scale);
// The waveform bars [first, second) under the pixel column [x, x + 1) at `scale`, for `count`
// bars spread over the sound's own span of `seconds` from `start`; an empty run outside it.
std::pair<qsizetype, qsizetype> peakRun(double x, double scale, double start, double seconds,
                                        qsizetype count);

// What a gesture holds on to: `edge` 0 = a caption's start, 1 = its end, 2 = its body,
// 3 = scrubbing (no caption).
struct Grab {
    std::optional<QUuid> id;
    int edge = 3;
};
// Where a gesture starting at time `t0` and at `yFraction` of the lane's height (0 = top) takes
// hold: the upper 62 % scrubs; below, a start edge within 6 points wins over an end edge, which
// wins over a caption's body; elsewhere it scrubs.
Grab classify(const Captions& captions, double t0, double yFraction, double scale);

} // namespace LWLaneMath

class LWLaneCanvas;

// The caption lane under the monitor: a header with the zoom controls above a horizontally
// scrolling canvas with the ruler, the waveform, one block per caption and the playhead. A click
// seeks, a drag on a caption's edge retimes it through the store.
class LWLane : public QWidget {
    Q_OBJECT
public:
    explicit LWLane(LWStore& store, QWidget* parent = nullptr);

    // The chosen zoom in pixels per second; 0 fits the whole file.
    double pps() const { return m_pps; }
    void setPps(double pps);
    double scale() const;
    LWLaneCanvas* canvas() const { return m_canvas; }
    QScrollArea* scroller() const { return m_scroll; }
    void applyLook();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void relayout(double keepTime);
    void followPlayhead();

    LWStore& m_store;
    double m_pps = 0;
    BCSlider* m_zoom = nullptr;
    QLabel* m_hint = nullptr;
    QList<QToolButton*> m_tools;
    QScrollArea* m_scroll = nullptr;
    LWLaneCanvas* m_canvas = nullptr;
};

// The lane's drawing surface, as wide as the file at the lane's scale; paints only what shows.
class LWLaneCanvas : public QWidget {
    Q_OBJECT
public:
    LWLaneCanvas(LWStore& store, LWLane& lane, QWidget* parent);
    // The gesture in progress, if any.
    const std::optional<LWLaneMath::Grab>& drag() const { return m_drag; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void apply(double t);
    LWStore& m_store;
    LWLane& m_lane;
    std::optional<LWLaneMath::Grab> m_drag;
};
