#include "LWLane.h"

#include "BCControls.h"
#include "BCIcons.h"
#include "BCSlider.h"
#include "BCTime.h"
#include "BCUI.h"
#include "LWCaptionRow.h"
#include "LWStore.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace LWLaneMath {

double scale(double pps, double viewWidth, double duration) {
    const double fit = duration > 0 ? viewWidth / duration : 1;
    return std::max(pps, fit);
}

double contentWidth(double scale, double duration, double viewWidth) {
    return std::max(scale * std::max(duration, 0.0), viewWidth);
}

double rulerStep(double scale) {
    if (scale > 80)
        return 1;
    if (scale > 20)
        return 5;
    if (scale > 5)
        return 15;
    return 60;
}

std::pair<qsizetype, qsizetype> peakRun(double x, double scale, double start, double seconds,
                                        qsizetype count) {
    if (count <= 0 || !(seconds > 0) || !(scale > 0))
        return {0, 0};
    const double from = x / scale - start;
    const double to = (x + 1) / scale - start;
    if (to <= 0 || from >= seconds)
        return {0, 0};
    const double perSecond = double(count) / seconds;
    const qsizetype first = std::min(count - 1, qsizetype(std::max(from, 0.0) * perSecond));
    const qsizetype last = std::min(count, std::max(first + 1, qsizetype(to * perSecond)));
    return {first, last};
}

Grab classify(const Captions& captions, double t0, double yFraction, double scale) {
    if (yFraction < 0.62 || scale <= 0)
        return {};
    const double tolerance = 6.0 / scale;
    for (const Caption& c : captions) {
        if (std::abs(c.start - t0) <= tolerance)
            return {c.id, 0};
    }
    for (const Caption& c : captions) {
        if (std::abs(c.end - t0) <= tolerance)
            return {c.id, 1};
    }
    for (const Caption& c : captions) {
        if (c.start <= t0 && t0 <= c.end)
            return {c.id, 2};
    }
    return {};
}

} // namespace LWLaneMath

namespace {

double durationOf(const LWStore& store) {
    return store.media() ? store.media()->duration : 0;
}

// The ruler's band at the top of the canvas, in points.
constexpr double kRuler = 16;

} // namespace

LWLane::LWLane(LWStore& store, QWidget* parent) : QWidget(parent), m_store(store) {
    setAccessibleName(QStringLiteral("Caption lane"));
    setFocusPolicy(Qt::ClickFocus); // a click gives the lane the keys (Delete among them)
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);

    auto* header = new QHBoxLayout;
    header->addWidget(new BCCaption(QStringLiteral("Caption lane"), this));
    m_hint = new QLabel(QStringLiteral("Click to jump · drag a caption's edge to retime it"), this);
    m_hint->setProperty("caption", true);
    // The hint gives way first when the header is short of room.
    m_hint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    header->addSpacing(8);
    header->addWidget(m_hint, 1);
    auto* out = new QToolButton(this);
    m_tools << out;
    out->setIcon(BCIcons::icon(QStringLiteral("minus.magnifyingglass")));
    out->setToolTip(QStringLiteral("Zoom the lane out"));
    out->setAccessibleName(QStringLiteral("Zoom the lane out"));
    out->setAutoRaise(true);
    header->addWidget(out);
    m_zoom = new BCSlider(0, 300, this);
    m_zoom->setAccessibleName(QStringLiteral("Lane zoom"));
    m_zoom->setToolTip(QStringLiteral("Pixels per second"));
    header->addWidget(m_zoom);
    auto* in = new QToolButton(this);
    m_tools << in;
    in->setIcon(BCIcons::icon(QStringLiteral("plus.magnifyingglass")));
    in->setToolTip(QStringLiteral("Zoom the lane in"));
    in->setAccessibleName(QStringLiteral("Zoom the lane in"));
    in->setAutoRaise(true);
    header->addWidget(in);
    auto* fit = new BCChromeButton(QStringLiteral("Fit"), this);
    fit->setCompact(true);
    fit->setToolTip(QStringLiteral("Show the whole file"));
    header->addWidget(fit);
    column->addLayout(header);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("lane"));
    m_scroll->setFocusPolicy(Qt::NoFocus); // the zoom controls and the playhead keys move it
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scroll->setWidgetResizable(false);
    m_canvas = new LWLaneCanvas(m_store, *this, m_scroll);
    m_scroll->setWidget(m_canvas);
    m_scroll->viewport()->installEventFilter(this);
    column->addWidget(m_scroll, 1);

    connect(m_zoom, &BCSlider::moved, this, [this](double value) { setPps(value); });
    connect(out, &QToolButton::clicked, this, [this] { setPps(std::max(0.0, m_pps / 1.5 - 1)); });
    connect(in, &QToolButton::clicked, this,
            [this] { setPps(std::min(300.0, std::max(scale(), 1.0) * 1.5)); });
    connect(fit, &QToolButton::clicked, this, [this] { setPps(0); });

    const auto repaint = [this] { m_canvas->update(); };
    connect(&m_store, &LWStore::peaksChanged, this, repaint);
    connect(&m_store, &LWStore::captionsChanged, this, repaint);
    connect(&m_store, &LWStore::problemsChanged, this, repaint);
    connect(&m_store, &LWStore::selectedChanged, this, repaint);
    connect(&m_store, &LWStore::mediaChanged, this, [this] { relayout(0); });
    connect(&m_store, &LWStore::timeChanged, this, [this] {
        followPlayhead();
        m_canvas->update();
    });
    applyLook();
}

double LWLane::scale() const {
    return LWLaneMath::scale(m_pps, m_scroll->viewport()->width(), durationOf(m_store));
}

void LWLane::setPps(double pps) {
    pps = std::clamp(pps, 0.0, 300.0);
    m_zoom->setValue(pps);
    if (pps == m_pps)
        return;
    // Zoom around the middle of what shows.
    const double before = scale();
    const double middle =
        (m_scroll->horizontalScrollBar()->value() + m_scroll->viewport()->width() / 2.0) / before;
    m_pps = pps;
    relayout(middle);
}

void LWLane::relayout(double keepTime) {
    const int viewWidth = m_scroll->viewport()->width();
    const double now = scale();
    const double width = LWLaneMath::contentWidth(now, durationOf(m_store), viewWidth);
    m_canvas->setFixedSize(int(std::ceil(width)), m_scroll->viewport()->height());
    m_scroll->horizontalScrollBar()->setValue(int(keepTime * now - viewWidth / 2.0));
    m_canvas->update();
}

void LWLane::followPlayhead() {
    if (!m_store.playing() || m_canvas->drag())
        return;
    QScrollBar* bar = m_scroll->horizontalScrollBar();
    const double x = m_store.time() * scale();
    const int view = m_scroll->viewport()->width();
    if (x < bar->value() || x > bar->value() + view * 0.9)
        bar->setValue(int(x - view * 0.1));
}

bool LWLane::eventFilter(QObject* watched, QEvent* event) {
    // The canvas follows the view's size; the time in the middle stays in the middle.
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        const double oldWidth = resize->oldSize().width() > 0 ? resize->oldSize().width() : 0;
        const double before = LWLaneMath::scale(m_pps, oldWidth, durationOf(m_store));
        const double middle =
            before > 0 ? (m_scroll->horizontalScrollBar()->value() + oldWidth / 2) / before : 0;
        relayout(middle);
    }
    return QWidget::eventFilter(watched, event);
}

void LWLane::applyLook() {
    const BCUI& ui = BCUI::shared();
    m_zoom->setFixedWidth(ui.px(140));
    m_hint->setFont(BCFont(11));
    for (QToolButton* tool : m_tools)
        tool->setIconSize(QSize(ui.px(14), ui.px(14)));
    m_canvas->update();
}

LWLaneCanvas::LWLaneCanvas(LWStore& store, LWLane& lane, QWidget* parent)
    : QWidget(parent), m_store(store), m_lane(lane) {
    setAccessibleName(QStringLiteral("Captions against time"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LWLaneCanvas::paintEvent(QPaintEvent* event) {
    const BCTheme& theme = BCUI::shared().theme();
    const BCUI& ui = BCUI::shared();
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, theme.deep);
    const double duration = durationOf(m_store);
    if (duration <= 0)
        return;
    const double scale = m_lane.scale();
    const double h = height();
    const double ruler = ui.px(kRuler);
    const double blocksTop = h * 0.62;
    const double left = area.left();
    const double right = area.right() + 1;

    // Ruler: labels at whole multiples of the step, only those in view (plus one to each side).
    const double step = LWLaneMath::rulerStep(scale);
    painter.setFont(BCFont(10, QFont::Normal, true));
    painter.setPen(theme.dim);
    for (double t = std::floor(left / scale / step) * step;
         t * scale <= right + 60 && t <= duration; t += step) {
        const double x = t * scale;
        painter.drawLine(QPointF(x + 0.5, 0), QPointF(x + 0.5, ruler * 0.4));
        painter.drawText(QPointF(x + 3, ruler * 0.8), BCTime::clock(t, false));
    }

    // Waveform across the band between the ruler and the caption blocks.
    const QList<float>& peaks = m_store.peaks();
    const double waveTop = ruler + 2;
    const double waveHeight = std::max(4.0, blocksTop - waveTop - 2);
    if (!peaks.isEmpty()) {
        painter.setPen(theme.accent2);
        const double total = scale * duration;
        const double soundStart = m_store.peaksStart();
        const double soundSeconds = m_store.peaksSeconds();
        for (int x = int(left); x < int(right) && x < total; ++x) {
            const auto [from, to] =
                LWLaneMath::peakRun(x, scale, soundStart, soundSeconds, peaks.size());
            if (from >= to)
                continue;
            float peak = 0;
            for (qsizetype i = from; i < to; ++i)
                peak = std::max(peak, peaks[i]);
            const double bar = std::max(1.0, double(peak) * waveHeight);
            const double middle = waveTop + waveHeight / 2;
            painter.drawLine(QPointF(x + 0.5, middle - bar / 2),
                             QPointF(x + 0.5, middle + bar / 2));
        }
    }

    // Caption blocks in the lower band; the selected one lit.
    const std::optional<QUuid> selected = m_store.selected();
    painter.setFont(BCFont(11));
    const QRectF band(0, blocksTop, 0, h - blocksTop - 4);
    for (const Caption& c : m_store.captions()) {
        const double x0 = c.start * scale;
        const double x1 = std::max(c.end * scale, x0 + 2);
        if (x1 < left || x0 > right)
            continue;
        const bool lit = selected && *selected == c.id;
        QRectF block(x0, band.top(), x1 - x0, band.height());
        QColor fill = lit ? theme.accent : theme.raised;
        painter.setPen(QPen(lit ? theme.text : theme.metalLo, 1));
        painter.setBrush(fill);
        painter.drawRoundedRect(block.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        if (!m_store.problemsOf(c.id).isEmpty()) {
            // A caption that fails a delivery check carries an amber bar along its top.
            painter.fillRect(QRectF(block.left() + 1, block.top() + 1, block.width() - 2, 3),
                             LWCaptionRow::problemColour());
        }
        if (block.width() > 16) {
            painter.setPen(lit ? theme.deep : theme.text);
            const QString text = QString(c.text).replace(u'\n', u' ');
            painter.drawText(
                block.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft,
                painter.fontMetrics().elidedText(text, Qt::ElideRight, int(block.width() - 8)));
        }
    }

    // The playhead.
    const double x = m_store.time() * scale;
    if (x >= left - 2 && x <= right + 2) {
        painter.setPen(QPen(Qt::white, 2));
        painter.drawLine(QPointF(x, 0), QPointF(x, h));
    }
}

void LWLaneCanvas::apply(double t) {
    if (!m_drag)
        return;
    switch (m_drag->edge) {
    case 0:
        m_store.setStart(*m_drag->id, t);
        break;
    case 1:
        m_store.setEnd(*m_drag->id, t);
        break;
    default:
        m_store.seek(t);
        break;
    }
}

void LWLaneCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_store.media() || height() <= 0)
        return;
    const double scale = m_lane.scale();
    const double t = std::max(0.0, event->position().x() / scale);
    m_drag = LWLaneMath::classify(m_store.captions(), t, event->position().y() / height(), scale);
    if (m_drag->edge == 2)
        m_store.setSelected(m_drag->id);
    apply(t);
}

void LWLaneCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (m_drag && (event->buttons() & Qt::LeftButton))
        apply(std::max(0.0, event->position().x() / m_lane.scale()));
}

void LWLaneCanvas::mouseReleaseEvent(QMouseEvent*) {
    m_drag.reset();
}
