#include "LWMonitor.h"

#include "BCControls.h"
#include "BCIcons.h"
#include "BCUI.h"
#include "CaptionMath.h"
#include "CaptionRenderer.h"
#include "LWStore.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVideoFrame>
#include <QVideoSink>
#include <algorithm>
#include <cmath>

LWMonitor::LWMonitor(LWStore& store, QWidget* parent)
    : QWidget(parent), m_store(store), m_sink(new QVideoSink(this)),
      m_open(
          new BCChromeButton(QStringLiteral("folder.fill"), QStringLiteral("Open a File…"), this)),
      m_stop(new BCChromeButton(QStringLiteral("stop.fill"), QStringLiteral("Stop"), this)),
      m_pending(new QVideoFrame) {
    setMinimumSize(320, 180);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Monitor"));
    setToolTip(QStringLiteral("Click to play or pause; drop a video or audio file to open it"));
    m_open->setProminent(true);
    m_open->setToolTip(QStringLiteral("Choose a video or audio file to caption (Ctrl+O)"));
    connect(m_open, &QToolButton::clicked, &m_store, &LWStore::chooseFile);
    m_stop->setToolTip(QStringLiteral("Stop the current job (Ctrl+.)"));
    connect(m_stop, &QToolButton::clicked, &m_store, &LWStore::cancelWork);
    connect(m_sink, &QVideoSink::videoFrameChanged, this, &LWMonitor::onFrame);
    const auto refresh = [this] { update(); };
    for (auto signal : {&LWStore::timeChanged, &LWStore::captionsChanged, &LWStore::styleChanged,
                        &LWStore::progressChanged, &LWStore::peaksChanged})
        connect(&m_store, signal, this, refresh);
    connect(&m_store, &LWStore::busyChanged, this, [this] {
        placeButtons();
        update();
    });
    connect(&m_store, &LWStore::mediaChanged, this, [this] {
        m_frame = QImage();
        *m_pending = QVideoFrame();
        m_received = m_shown = 0;
        placeButtons();
        update();
    });
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, &LWMonitor::placeButtons);
    placeButtons();
    connect(&BCUI::shared(), &BCUI::themeChanged, this, refresh);
    // The spinner turns while a job runs without a fraction to show.
    m_spinner.setInterval(50);
    connect(&m_spinner, &QTimer::timeout, this, [this] {
        m_spinAngle = (m_spinAngle + 18) % 360;
        update();
    });
    const auto spin = [this] {
        const bool turning = m_store.isBusy() && !m_store.progress();
        if (turning && !m_spinner.isActive())
            m_spinner.start();
        else if (!turning)
            m_spinner.stop();
    };
    connect(&m_store, &LWStore::busyChanged, this, spin);
    connect(&m_store, &LWStore::progressChanged, this, spin);
}

void LWMonitor::setSafeArea(bool on) {
    m_safe = on;
    update();
}

LWMonitor::~LWMonitor() {
    delete m_pending;
}

QAbstractButton* LWMonitor::openButton() const {
    return m_open;
}

QAbstractButton* LWMonitor::stopButton() const {
    return m_stop;
}

void LWMonitor::onFrame(const QVideoFrame& frame) {
    // Kept as it came (shared, not copied); an older frame not yet shown is simply replaced.
    *m_pending = frame;
    ++m_received;
    update();
}

void LWMonitor::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeButtons();
}

QRectF LWMonitor::busyPanel() const {
    const BCUI& ui = BCUI::shared();
    return QRectF(width() / 2.0 - ui.px(190), height() / 2.0 - ui.px(56), ui.px(380), ui.px(112));
}

void LWMonitor::placeButtons() {
    const BCUI& ui = BCUI::shared();
    const bool busy = m_store.isBusy();
    m_open->setVisible(!m_store.media() && !busy);
    m_stop->setVisible(busy);
    m_open->adjustSize();
    m_open->move(int(width() / 2.0 - m_open->width() / 2.0),
                 std::min(height() - m_open->height() - ui.px(8), height() / 2 + ui.px(64)));
    m_stop->adjustSize();
    const QRectF panel = busyPanel();
    m_stop->move(int(panel.right() - m_stop->width() - ui.px(12)),
                 int(panel.bottom() - m_stop->height() - ui.px(10)));
}

QSize LWMonitor::pictureSize() const {
    const auto& media = m_store.media();
    if (media && media->hasVideo && !media->naturalSize.isEmpty())
        return media->naturalSize;
    if (!m_frame.isNull())
        return m_frame.size();
    return {1280, 720};
}

QRectF LWMonitor::pictureRect(const QRectF& area, QSizeF natural) {
    if (!(natural.width() > 0) || !(natural.height() > 0))
        return {};
    const double scale = std::min(area.width() / natural.width(), area.height() / natural.height());
    const QSizeF shown = natural * scale;
    return {area.center().x() - shown.width() / 2, area.center().y() - shown.height() / 2,
            shown.width(), shown.height()};
}

QRectF LWMonitor::captionBox(const QString& text, const CaptionStyle& style, const QRectF& picture,
                             QSize natural) {
    if (picture.isEmpty() || natural.isEmpty())
        return {};
    const QRectF box = CaptionRenderer::layout(text, style, natural).box;
    const double scale = picture.width() / natural.width();
    return {picture.left() + box.left() * scale, picture.top() + box.top() * scale,
            box.width() * scale, box.height() * scale};
}

void LWMonitor::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const BCTheme& theme = BCUI::shared().theme();
    painter.fillRect(rect(), theme.well);
    if (m_pending->isValid()) {
        m_frame = m_pending->toImage();
        *m_pending = QVideoFrame();
        ++m_shown;
    }
    const auto& media = m_store.media();
    if (!media) {
        paintEmptyState(painter);
        paintBusy(painter);
        return;
    }
    const QRectF area = rect();
    QRectF target = area;
    QSize natural = pictureSize();
    if (media->hasVideo) {
        target = pictureRect(area, natural);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        if (!m_frame.isNull())
            painter.drawImage(target, m_frame);
        else
            painter.fillRect(target, Qt::black);
        if (m_safe && !target.isEmpty()) {
            QPen dash(QColor(255, 255, 255, 56), 1, Qt::DashLine);
            painter.setPen(dash);
            painter.setBrush(Qt::NoBrush);
            const QSizeF inner = target.size() * 0.9;
            painter.drawRect(QRectF(target.center().x() - inner.width() / 2,
                                    target.center().y() - inner.height() / 2, inner.width(),
                                    inner.height()));
        }
    } else {
        paintAudioArt(painter, area);
        natural = area.size().toSize();
    }

    const Captions& captions = m_store.captions();
    const auto active = CaptionMath::active(captions, m_store.time());
    if (active && !target.isEmpty() && !natural.isEmpty()) {
        // Rendered for the picture's own size and scaled down with it, so the preview is
        // exactly what the burned-in export draws.
        const QString& text = captions[*active].text;
        if (text != m_cachedText || m_store.style() != m_cachedStyle || natural != m_cachedSize ||
            m_cachedImage.isNull()) {
            const auto caption = CaptionRenderer::render(text, m_store.style(), natural);
            m_cachedText = text;
            m_cachedStyle = m_store.style();
            m_cachedSize = natural;
            m_cachedImage = caption.image;
            m_cachedBox = caption.box;
        }
        if (!m_cachedImage.isNull()) {
            const double scale = target.width() / natural.width();
            painter.drawImage(QRectF(target.left() + m_cachedBox.left() * scale,
                                     target.top() + m_cachedBox.top() * scale,
                                     m_cachedImage.width() * scale, m_cachedImage.height() * scale),
                              m_cachedImage);
        }
    }
    paintBusy(painter);
}

void LWMonitor::paintEmptyState(QPainter& painter) {
    const BCTheme& theme = BCUI::shared().theme();
    const BCUI& ui = BCUI::shared();
    QRectF lines = rect().adjusted(ui.px(20), 0, -ui.px(20), 0);
    const double centre = height() / 2.0;
    const double symbol = ui.px(44);
    BCIcons::icon(QStringLiteral("film.fill"))
        .paint(&painter, QRect(int(width() / 2.0 - symbol / 2), int(centre - ui.px(52) - symbol),
                               int(symbol), int(symbol)));
    painter.setPen(theme.text);
    painter.setFont(BCFont(17, QFont::DemiBold));
    painter.drawText(QRectF(lines.left(), centre - ui.px(40), lines.width(), ui.px(28)),
                     Qt::AlignCenter, QStringLiteral("Drop a video or audio file here"));
    painter.setPen(theme.dim);
    painter.setFont(BCFont(12, QFont::Normal, true));
    painter.drawText(QRectF(lines.left(), centre - ui.px(6), lines.width(), ui.px(20)),
                     Qt::AlignCenter,
                     QStringLiteral("MP4, MOV, M4V, MPEG/MPG, MP3, WAV, M4A, AIFF"));
    painter.setFont(BCFont(12));
    painter.drawText(
        QRectF(lines.left(), centre + ui.px(18), lines.width(), ui.px(40)),
        Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap,
        QStringLiteral("Then click Transcribe. Captions appear here, in sync with the picture."));
}

void LWMonitor::paintAudioArt(QPainter& painter, const QRectF& area) {
    const BCTheme& theme = BCUI::shared().theme();
    const QList<float>& peaks = m_store.peaks();
    // The bars cover the sound's own span, which may start after the file does.
    const double seconds = m_store.peaksSeconds();
    const qsizetype centre = seconds > 0
                                 ? qsizetype(std::floor((m_store.time() - m_store.peaksStart()) *
                                                        double(peaks.size()) / seconds))
                                 : 0;
    const double slot = area.width() / 120;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 120; ++i) {
        const qsizetype index = centre - 60 + i;
        const double peak = index >= 0 && index < peaks.size() ? double(peaks[index]) : 0.0;
        const double height = std::max(peak * area.height() * 0.8, 3.0);
        QColor colour = i < 60 ? theme.accent : theme.dim;
        if (i >= 60)
            colour.setAlphaF(0.45f);
        painter.setBrush(colour);
        const double barWidth = std::max(1.0, slot - 2);
        painter.drawRoundedRect(
            QRectF(area.left() + i * slot + 1, area.center().y() - height / 2, barWidth, height),
            barWidth / 2, barWidth / 2);
    }
    // The sound file's own symbol, in the top corner where the bars seldom reach.
    const BCUI& ui = BCUI::shared();
    const double side = ui.px(36);
    const QRectF badge(area.left() + ui.px(14), area.top() + ui.px(14), side + ui.px(16),
                       side + ui.px(16));
    painter.setBrush(theme.panel);
    painter.drawRoundedRect(badge, ui.px(10), ui.px(10));
    BCIcons::icon(QStringLiteral("waveform"))
        .paint(&painter, badge.adjusted(ui.px(8), ui.px(8), -ui.px(8), -ui.px(8)).toRect());
}

void LWMonitor::paintBusy(QPainter& painter) {
    if (!m_store.isBusy())
        return;
    const BCTheme& theme = BCUI::shared().theme();
    const BCUI& ui = BCUI::shared();
    painter.fillRect(rect(), QColor(0, 0, 0, 140));
    const QRectF panel = busyPanel();
    painter.setPen(QPen(theme.metalLo, 1));
    painter.setBrush(theme.panel);
    painter.drawRoundedRect(panel, ui.px(12), ui.px(12));
    painter.setPen(theme.text);
    painter.setFont(BCFont(13, QFont::DemiBold));
    painter.drawText(
        panel.adjusted(ui.px(14), ui.px(10), -ui.px(14), -panel.height() / 2 - ui.px(6)),
        Qt::AlignCenter | Qt::TextWordWrap, m_store.busy());
    const auto progress = m_store.progress();
    if (!progress) {
        const double side = ui.px(22);
        const QRectF ring(panel.center().x() - side / 2, panel.center().y() - ui.px(6), side, side);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(theme.well, ui.px(3)));
        painter.drawEllipse(ring);
        painter.setPen(QPen(theme.accent, ui.px(3), Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(ring, -m_spinAngle * 16, 100 * 16);
        return;
    }
    const QRectF bar(panel.center().x() - ui.px(160), panel.center().y(), ui.px(280), ui.px(8));
    painter.setPen(Qt::NoPen);
    painter.setBrush(theme.well);
    painter.drawRoundedRect(bar, bar.height() / 2, bar.height() / 2);
    {
        const double p = std::clamp(*progress, 0.0, 1.0);
        painter.setBrush(theme.accent);
        painter.drawRoundedRect(QRectF(bar.topLeft(), QSizeF(bar.width() * p, bar.height())),
                                bar.height() / 2, bar.height() / 2);
        painter.setPen(theme.text);
        painter.setFont(BCFont(12, QFont::Normal, true));
        painter.drawText(QRectF(bar.right() + ui.px(6), bar.top() - ui.px(6), ui.px(40), ui.px(20)),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         QString::number(int(p * 100)) + QStringLiteral("%"));
    }
}

void LWMonitor::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_store.media())
        m_store.togglePlay();
}
