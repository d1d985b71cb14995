#include "BCControls.h"

#include "BCIcons.h"
#include "BCUI.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionFocusRect>
#include <algorithm>

namespace {

// Repaints (and re-measures) a control whenever the theme or the zoom changes.
void followLook(QWidget* widget) {
    QObject::connect(&BCUI::shared(), &BCUI::themeChanged, widget, [widget] { widget->update(); });
    QObject::connect(&BCUI::shared(), &BCUI::zoomChanged, widget, [widget] {
        widget->updateGeometry();
        widget->update();
    });
}

const BCTheme& theme() {
    return BCUI::shared().theme();
}

double pt(double points) {
    return points * BCUI::shared().zoom();
}

QColor faded(QColor colour, double alpha) {
    colour.setAlphaF(float(alpha));
    return colour;
}

// The lit face: the accent's own gradient.
QLinearGradient litFace(QPointF from, QPointF to) {
    const BCTheme& t = theme();
    QLinearGradient face(from, to);
    face.setColorAt(0, t.accent2);
    face.setColorAt(0.5, t.accent);
    face.setColorAt(1, t.accent.darker(150));
    return face;
}

// The keyboard focus ring, in the second accent, for every theme.
void focusRing(QPainter& painter, const QRectF& shape, double radius) {
    painter.setPen(QPen(theme().accent2, std::max(1.5, pt(2))));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(shape.adjusted(1, 1, -1, -1), radius, radius);
}

} // namespace

void BrushedLines(QPainter& painter, const QRectF& area, double opacity) {
    painter.save();
    const QColor hi = faded(theme().metalHi, opacity);
    const QColor lo = faded(theme().metalLo, opacity);
    // A fixed pattern of line strengths, so the texture does not shimmer between repaints.
    static const int strengths[] = {3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5, 8, 9, 7, 9, 3};
    int n = 0;
    for (double y = area.top() + 1; y < area.bottom(); y += 2, ++n) {
        const int s = strengths[n % 16];
        painter.setPen(QPen(s % 2 ? hi : lo, 1));
        const double inset = (s % 3) * 4;
        painter.drawLine(QPointF(area.left() + inset, y + 0.5),
                         QPointF(area.right() - inset, y + 0.5));
    }
    painter.restore();
}

// --- Panel and well ---

BCPanel::BCPanel(QWidget* parent, double radius, double padding)
    : QFrame(parent), m_radius(radius), m_padding(padding) {
    followLook(this);
    applyLook();
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, &BCPanel::applyLook);
}

void BCPanel::applyLook() {
    const int p = int(std::lround(pt(m_padding)));
    setContentsMargins(p, p, p, p);
}

void BCPanel::paintEvent(QPaintEvent*) {
    const BCTheme& t = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient face(shape.topLeft(), shape.bottomLeft());
    face.setColorAt(0, t.raised);
    face.setColorAt(0.12, t.panel);
    face.setColorAt(1, t.base);
    QPainterPath path;
    path.addRoundedRect(shape, pt(m_radius), pt(m_radius));
    painter.fillPath(path, face);
    painter.setClipPath(path);
    BrushedLines(painter, shape);
    painter.setClipping(false);
    painter.setPen(QPen(faded(t.metalMid, 0.35), 1));
    painter.drawPath(path);
    // A light rim along the top edge.
    painter.setPen(QPen(faded(t.metalHi, 0.12), 1));
    painter.drawLine(QPointF(shape.left() + pt(m_radius), shape.top() + 1),
                     QPointF(shape.right() - pt(m_radius), shape.top() + 1));
}

BCWell::BCWell(QWidget* parent, double radius) : QFrame(parent), m_radius(radius) {
    followLook(this);
}

void BCWell::paintEvent(QPaintEvent*) {
    const BCTheme& t = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient face(shape.topLeft(), shape.bottomLeft());
    face.setColorAt(0, t.deep);
    face.setColorAt(0.25, t.well);
    face.setColorAt(1, t.well);
    painter.setBrush(face);
    painter.setPen(QPen(t.deep, 1));
    painter.drawRoundedRect(shape, pt(m_radius), pt(m_radius));
    // The lower rim catches the light.
    painter.setPen(QPen(faded(t.metalHi, 0.1), 1));
    painter.drawLine(QPointF(shape.left() + pt(m_radius), shape.bottom() - 0.5),
                     QPointF(shape.right() - pt(m_radius), shape.bottom() - 0.5));
}

// --- Chrome button ---

BCChromeButton::BCChromeButton(const QString& text, QWidget* parent) : QToolButton(parent) {
    setText(text);
    setAccessibleName(text);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    followLook(this);
    const auto sizeIcon = [this] {
        const int side = int(std::lround(pt(15)));
        setIconSize(QSize(side, side));
    };
    sizeIcon();
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, sizeIcon);
}

BCChromeButton::BCChromeButton(const QString& symbol, const QString& text, QWidget* parent)
    : BCChromeButton(text, parent) {
    setSymbol(symbol);
}

void BCChromeButton::setProminent(bool on) {
    m_prominent = on;
    update();
}

void BCChromeButton::setCompact(bool on) {
    m_compact = on;
    updateGeometry();
    update();
}

void BCChromeButton::setSymbol(const QString& symbol) {
    m_symbol = symbol;
    if (!symbol.isEmpty() && toolButtonStyle() == Qt::ToolButtonTextOnly)
        setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    updateGeometry();
    update();
}

void BCChromeButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange)
        updateGeometry();
    QToolButton::changeEvent(event);
}

QSize BCChromeButton::sizeHint() const {
    const QFontMetrics metrics(font());
    const bool words = toolButtonStyle() != Qt::ToolButtonIconOnly && !text().isEmpty();
    const bool icon = !m_symbol.isEmpty() && toolButtonStyle() != Qt::ToolButtonTextOnly;
    const double pad = pt(m_compact ? 5 : 12);
    double width = 2 * pad;
    if (icon)
        width += iconSize().width();
    if (icon && words)
        width += pt(m_compact ? 4 : 6);
    if (words)
        width += metrics.horizontalAdvance(text());
    if (!icon && !words)
        width = pt(24);
    const double height =
        std::max<double>(metrics.height(), icon ? iconSize().height() : 0) + pt(m_compact ? 8 : 12);
    return QSize(int(std::ceil(width)), int(std::ceil(height)));
}

void BCChromeButton::paintEvent(QPaintEvent*) {
    const BCTheme& t = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = std::min(pt(7), shape.height() / 2);
    const bool lit = (m_prominent || isChecked()) && isEnabled();
    const bool pressed = isDown();
    if (!isEnabled()) {
        painter.setBrush(t.panel);
    } else if (lit) {
        painter.setBrush(litFace(shape.topLeft(), shape.bottomLeft()));
    } else {
        painter.setBrush(t.chromeSoft(shape.topLeft(), shape.bottomLeft()));
    }
    painter.setPen(QPen(lit ? t.accent2 : (underMouse() && isEnabled() ? t.accent : t.metalLo), 1));
    painter.drawRoundedRect(shape, radius, radius);
    if (pressed) {
        painter.setBrush(QColor(0, 0, 0, 60));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(shape, radius, radius);
    }
    if (hasFocus())
        focusRing(painter, shape, radius);

    const QColor ink = !isEnabled() ? faded(t.dim, 0.55) : lit ? t.deep : t.text;
    const bool words = toolButtonStyle() != Qt::ToolButtonIconOnly && !text().isEmpty();
    const bool icon = !m_symbol.isEmpty() && toolButtonStyle() != Qt::ToolButtonTextOnly;
    const QFontMetrics metrics(font());
    const double gap = pt(m_compact ? 4 : 6); // between the symbol and the word
    double content = 0;
    if (icon)
        content += iconSize().width();
    if (icon && words)
        content += gap;
    if (words)
        content += metrics.horizontalAdvance(text());
    double x = std::max(pt(4), (width() - content) / 2);
    if (icon) {
        const QSize size = iconSize();
        const QPixmap symbol =
            BCIcons::pixmap(m_symbol, size.width(), ink, painter.device()->devicePixelRatioF());
        painter.drawPixmap(QPointF(x, (height() - size.height()) / 2.0), symbol);
        x += size.width() + (words ? gap : 0);
    }
    if (words) {
        painter.setPen(ink);
        painter.setFont(font());
        const QRectF area(x, 0, width() - x - pt(4), height());
        painter.drawText(area, Qt::AlignVCenter | Qt::AlignLeft,
                         metrics.elidedText(text(), Qt::ElideRight, int(area.width())));
    }
}

// --- Orb button ---

BCOrbButton::BCOrbButton(const QString& symbol, const QString& help, QWidget* parent, double size)
    : QToolButton(parent), m_symbol(symbol), m_size(size) {
    setToolTip(help);
    setAccessibleName(help);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    followLook(this);
    applyLook();
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, &BCOrbButton::applyLook);
}

void BCOrbButton::applyLook() {
    const int side = int(std::lround(pt(m_size)));
    setFixedSize(side, side);
}

void BCOrbButton::setSymbol(const QString& symbol) {
    m_symbol = symbol;
    update();
}

void BCOrbButton::setLit(bool on) {
    m_lit = on;
    update();
}

void BCOrbButton::paintEvent(QPaintEvent*) {
    const BCTheme& t = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = QRectF(rect()).adjusted(1, 1, -1, -1);
    // A dark ring, then the metal (or lit) face inside it.
    painter.setPen(Qt::NoPen);
    painter.setBrush(t.deep);
    painter.drawEllipse(circle);
    const QRectF face = circle.adjusted(1.5, 1.5, -1.5, -1.5);
    if (m_lit && isEnabled())
        painter.setBrush(litFace(face.topLeft(), face.bottomLeft()));
    else if (isEnabled())
        painter.setBrush(t.chromeSoft(face.topLeft(), face.bottomLeft()));
    else
        painter.setBrush(t.panel);
    painter.drawEllipse(face);
    if (isDown()) {
        painter.setBrush(QColor(0, 0, 0, 70));
        painter.drawEllipse(face);
    }
    if (hasFocus()) {
        painter.setPen(QPen(t.accent2, std::max(1.5, pt(2))));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(circle);
    }
    const int glyph = int(std::lround(width() * 0.44));
    const QColor ink = !isEnabled() ? faded(t.dim, 0.55) : t.deep;
    painter.drawPixmap(QPointF((width() - glyph) / 2.0, (height() - glyph) / 2.0),
                       BCIcons::pixmap(m_symbol, glyph, ink, devicePixelRatioF()));
}

// --- Segment ---

BCSegment::BCSegment(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
}

void BCSegment::addItem(const QVariant& value, const QString& label) {
    auto* button = new BCChromeButton(label, this);
    button->setCheckable(true);
    button->setCompact(true);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    layout()->addWidget(button);
    m_buttons << button;
    m_values << value;
    connect(button, &QToolButton::clicked, this, [this, value] {
        setSelection(value);
        emit chosen(value);
    });
    setSelection(m_selection);
}

void BCSegment::setSelection(const QVariant& value) {
    m_selection = value;
    for (qsizetype i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setChecked(m_values[i] == value);
}

// --- Switch ---

BCSwitch::BCSwitch(const QString& title, QWidget* parent) : QCheckBox(title, parent) {
    setAccessibleName(title);
    setToolTip(title);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setCursor(Qt::PointingHandCursor);
    followLook(this);
}

QSize BCSwitch::sizeHint() const {
    const QFontMetrics metrics(font());
    const double track = pt(34);
    const double width = track + (text().isEmpty() ? 0 : pt(8) + metrics.horizontalAdvance(text()));
    return QSize(int(std::ceil(width)), int(std::ceil(std::max<double>(pt(20), metrics.height()))));
}

QSize BCSwitch::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    int word = 0;
    for (const QString& part : text().split(u' ', Qt::SkipEmptyParts))
        word = std::max(word, metrics.horizontalAdvance(part));
    return QSize(int(std::ceil(pt(34 + 8))) + word + 1, sizeHint().height());
}

int BCSwitch::heightForWidth(int width) const {
    const int room = std::max(1, width - int(std::ceil(pt(34 + 8))));
    const QRect text = fontMetrics().boundingRect(QRect(0, 0, room, 100000),
                                                  Qt::TextWordWrap | Qt::AlignLeft, this->text());
    return std::max(sizeHint().height(), text.height());
}

bool BCSwitch::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

void BCSwitch::paintEvent(QPaintEvent*) {
    const BCTheme& t = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double h = pt(18);
    const double w = pt(34);
    const QRectF track(0.5, (height() - h) / 2, w, h);
    painter.setPen(QPen(t.deep, 1));
    painter.setBrush(isChecked() && isEnabled()
                         ? QBrush(litFace(track.topLeft(), track.bottomLeft()))
                         : QBrush(t.well));
    painter.drawRoundedRect(track, h / 2, h / 2);
    const double knob = h - 4;
    const double x = isChecked() ? track.right() - knob - 2 : track.left() + 2;
    const QRectF thumb(x, track.top() + 2, knob, knob);
    painter.setPen(QPen(t.metalLo, 1));
    painter.setBrush(isEnabled() ? QBrush(t.chrome(thumb.topLeft(), thumb.bottomLeft()))
                                 : QBrush(t.panel));
    painter.drawEllipse(thumb);
    if (hasFocus())
        focusRing(painter, track.adjusted(-2, -2, 2, 2), h / 2 + 2);
    if (!text().isEmpty()) {
        painter.setPen(isEnabled() ? t.text : faded(t.dim, 0.6));
        painter.setFont(font());
        const QRectF area(w + pt(8), 0, width() - w - pt(8), height());
        painter.drawText(area, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap, text());
    }
}

// --- LCD ---

BCLCD::BCLCD(const QString& text, QWidget* parent, double size)
    : QLabel(text, parent), m_size(size) {
    followLook(this);
    applyLook();
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, &BCLCD::applyLook);
}

void BCLCD::applyLook() {
    setFont(BCFont(m_size, QFont::Medium, true));
    updateGeometry();
}

QSize BCLCD::sizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text()) + int(pt(22)), metrics.height() + int(pt(12)));
}

void BCLCD::paintEvent(QPaintEvent*) {
    const BCTheme& t = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient face(shape.topLeft(), shape.bottomLeft());
    face.setColorAt(0, t.deep);
    face.setColorAt(1, t.well);
    painter.setBrush(face);
    painter.setPen(QPen(t.metalLo, 1));
    painter.drawRoundedRect(shape, pt(6), pt(6));
    painter.setFont(font());
    // A soft glow under the digits.
    painter.setPen(faded(t.accent2, 0.25));
    painter.drawText(shape.translated(0, 1), Qt::AlignCenter, text());
    painter.setPen(t.accent2);
    painter.drawText(shape, Qt::AlignCenter, text());
}

// --- Title and caption ---

BCChromeTitle::BCChromeTitle(QString first, QString second, QWidget* parent, double size)
    : QWidget(parent), m_first(std::move(first)), m_second(std::move(second)), m_size(size) {
    setAccessibleName(text());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    followLook(this);
}

QSize BCChromeTitle::sizeHint() const {
    const QFontMetrics bold(BCFont(m_size, QFont::Bold));
    const QFontMetrics light(BCFont(m_size, QFont::Light));
    return QSize(bold.horizontalAdvance(m_first + u' ') + light.horizontalAdvance(m_second) + 2,
                 bold.height());
}

void BCChromeTitle::paintEvent(QPaintEvent*) {
    const BCTheme& t = theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont bold = BCFont(m_size, QFont::Bold);
    const QFont light = BCFont(m_size, QFont::Light);
    const QFontMetrics metrics(bold);
    const double baseline = (height() + metrics.ascent() - metrics.descent()) / 2.0;
    painter.setFont(bold);
    // The first word in polished metal.
    QLinearGradient metal(0, baseline - metrics.ascent(), 0, baseline);
    metal.setColorAt(0, t.metalHi);
    metal.setColorAt(0.55, t.text);
    metal.setColorAt(1, t.metalMid);
    painter.setPen(QPen(QBrush(metal), 1));
    painter.drawText(QPointF(0, baseline), m_first);
    painter.setFont(light);
    painter.setPen(t.dim);
    painter.drawText(QPointF(metrics.horizontalAdvance(m_first + u' '), baseline), m_second);
}

BCCaption::BCCaption(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setProperty("caption", true);
    applyLook();
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, &BCCaption::applyLook);
}

void BCCaption::applyLook() {
    setFont(BCFont(11, QFont::DemiBold));
}

bool BCCaption::event(QEvent* event) {
    // The application font changes with the zoom; a heading keeps its own size.
    if (event->type() == QEvent::ApplicationFontChange)
        applyLook();
    return QLabel::event(event);
}

BCRoot::BCRoot(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    followLook(this);
}

void BCRoot::paintEvent(QPaintEvent* event) {
    const BCTheme& t = theme();
    QPainter painter(this);
    QLinearGradient background(0, 0, 0, height());
    background.setColorAt(0, t.base);
    background.setColorAt(1, t.deep);
    painter.fillRect(event->rect(), background);
}
