#pragma once

#include <QSlider>

// A themed horizontal slider over a closed range of doubles (in 1,000 steps), painted from the
// current theme. The value always stays inside the range; `moved` reports each change the person
// makes, `editingEnded` the release.
class BCSlider : public QSlider {
    Q_OBJECT
public:
    BCSlider(double low, double high, QWidget* parent = nullptr);

    double value() const;
    // Shows `value` (clamped) without reporting it.
    void setValue(double value);

    QSize sizeHint() const override;

signals:
    void moved(double value);
    void editingEnded(double value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double knob() const;
    double valueAt(double x) const;
    double m_low;
    double m_high;
};
