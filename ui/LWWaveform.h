#pragma once

#include <QWidget>

class LWStore;

// The sound's waveform bars with the playhead; a click or drag seeks.
class LWWaveform : public QWidget {
    Q_OBJECT
public:
    explicit LWWaveform(LWStore& store, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void seekTo(double x);
    LWStore& m_store;
};
