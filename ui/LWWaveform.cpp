#include "LWWaveform.h"

#include "LWStore.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

LWWaveform::LWWaveform(LWStore& store, QWidget* parent) : QWidget(parent), m_store(store) {
    setMinimumHeight(70);
    setAccessibleName(QStringLiteral("Waveform"));
    const auto refresh = [this] { update(); };
    connect(&m_store, &LWStore::peaksChanged, this, refresh);
    connect(&m_store, &LWStore::timeChanged, this, refresh);
    connect(&m_store, &LWStore::captionsChanged, this, refresh);
}

void LWWaveform::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x1b, 0x1d, 0x22));
    const double duration = m_store.media() ? m_store.media()->duration : 0;
    if (duration <= 0)
        return;
    const double w = width();
    const double h = height();
    // Caption spans behind the bars.
    for (const Caption& c : m_store.captions()) {
        const double x0 = c.start / duration * w;
        const double x1 = c.end / duration * w;
        painter.fillRect(QRectF(x0, 0, std::max(1.0, x1 - x0), h), QColor(0x2e, 0x5c, 0x8a, 110));
    }
    const QList<float>& peaks = m_store.peaks();
    if (!peaks.isEmpty()) {
        painter.setPen(QColor(0x7f, 0xc8, 0xa9));
        for (int x = 0; x < width(); ++x) {
            const qsizetype from = qsizetype(double(x) / w * peaks.size());
            const qsizetype to = std::max(from + 1, qsizetype(double(x + 1) / w * peaks.size()));
            float peak = 0;
            for (qsizetype i = from; i < std::min(to, peaks.size()); ++i)
                peak = std::max(peak, peaks[i]);
            const double bar = std::max(1.0, double(peak) * (h - 4));
            painter.drawLine(QPointF(x + 0.5, (h - bar) / 2), QPointF(x + 0.5, (h + bar) / 2));
        }
    }
    const double playhead = m_store.time() / duration * w;
    painter.setPen(QPen(QColor(0xff, 0x5a, 0x4f), 2));
    painter.drawLine(QPointF(playhead, 0), QPointF(playhead, h));
}

void LWWaveform::seekTo(double x) {
    if (const auto& media = m_store.media(); media && width() > 0)
        m_store.seek(x / width() * media->duration);
}

void LWWaveform::mousePressEvent(QMouseEvent* event) {
    seekTo(event->position().x());
}

void LWWaveform::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        seekTo(event->position().x());
}
