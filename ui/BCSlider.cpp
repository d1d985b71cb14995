#include "BCSlider.h"

#include "BCUI.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>

namespace {
constexpr int steps = 1000;
}

BCSlider::BCSlider(double low, double high, QWidget* parent)
    : QSlider(Qt::Horizontal, parent), m_low(low), m_high(high) {
    QSlider::setRange(0, steps);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QSlider::valueChanged, this, [this] { emit moved(value()); });
    connect(this, &QSlider::sliderReleased, this, [this] { emit editingEnded(value()); });
}

double BCSlider::value() const {
    return m_low + (m_high - m_low) * QSlider::value() / double(steps);
}

void BCSlider::setValue(double value) {
    const double clamped = std::clamp(value, m_low, m_high);
    const QSignalBlocker quiet(this);
    QSlider::setValue(
        int(std::lround((clamped - m_low) / (m_high - m_low > 0 ? m_high - m_low : 1) * steps)));
}

double BCSlider::knob() const {
    return BCUI::shared().px(14);
}

double BCSlider::valueAt(double x) const {
    const double span = std::max(1.0, width() - knob());
    const double fraction = std::clamp((x - knob() / 2) / span, 0.0, 1.0);
    return m_low + (m_high - m_low) * fraction;
}

QSize BCSlider::sizeHint() const {
    return QSize(BCUI::shared().px(120), BCUI::shared().px(20));
}

void BCSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QSlider::mousePressEvent(event);
    // The value jumps to the pointer, then follows it.
    setSliderDown(true);
    setValue(valueAt(event->position().x()));
    emit moved(value());
    update();
}

void BCSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!isSliderDown())
        return;
    const double before = value();
    setValue(valueAt(event->position().x()));
    if (value() != before)
        emit moved(value());
    update();
}

void BCSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!isSliderDown())
        return QSlider::mouseReleaseEvent(event);
    setSliderDown(false); // reports editingEnded through sliderReleased
}

void BCSlider::paintEvent(QPaintEvent*) {
    const BCTheme& theme = BCUI::shared().theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double k = knob();
    const double groove = BCUI::shared().px(5);
    const double middle = height() / 2.0;
    const QRectF track(k / 2, middle - groove / 2, std::max(0.0, width() - k), groove);
    painter.setPen(QPen(theme.deep, 1));
    painter.setBrush(theme.well);
    painter.drawRoundedRect(track, groove / 2, groove / 2);
    const double range = m_high - m_low;
    const double fraction = range > 0 ? (value() - m_low) / range : 0;
    const double x = track.left() + fraction * track.width();
    if (isEnabled()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme.accent);
        painter.drawRoundedRect(QRectF(track.left(), track.top(), x - track.left(), groove),
                                groove / 2, groove / 2);
    }
    const QRectF thumb(x - k / 2, middle - k / 2, k, k);
    painter.setPen(QPen(hasFocus() ? theme.accent2 : theme.metalLo, hasFocus() ? 2 : 1));
    painter.setBrush(isEnabled() ? QBrush(theme.chrome(thumb.topLeft(), thumb.bottomLeft()))
                                 : QBrush(theme.panel));
    painter.drawEllipse(thumb);
}
