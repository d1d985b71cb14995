#pragma once

#include <QSlider>

// A horizontal slider over a closed range of doubles (in 1,000 steps). The value always stays
// inside the range; `moved` reports each change the person makes, `editingEnded` the release.
class BCSlider : public QSlider {
    Q_OBJECT
public:
    BCSlider(double low, double high, QWidget* parent = nullptr);

    double value() const;
    // Shows `value` (clamped) without reporting it.
    void setValue(double value);

signals:
    void moved(double value);
    void editingEnded(double value);

private:
    double m_low;
    double m_high;
};
