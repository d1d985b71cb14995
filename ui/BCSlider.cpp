#include "BCSlider.h"

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
