#include "CaptionRenderer.h"

#include <QGlyphRun>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <cmath>

namespace CaptionRenderer {

namespace {

constexpr double maxTextShare = 0.86;
constexpr double padAcross = 0.018; // of the picture height
constexpr double padUpDown = 0.01;
constexpr double cornerShare = 0.16;  // of the box height
constexpr double outlineShare = 0.04; // of the font size, visible outside the glyph
constexpr int dotsPerMeter = 3780;    // 96 dots per inch, whatever the screen says

// A paint device of fixed resolution for measuring, so fonts behave the same on every desktop.
const QImage& measuringDevice() {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        return image;
    }();
    return device;
}

// Lays the text out centred within `width`, caption line breaks kept; a word wider than `width`
// is broken inside the word rather than cut off. Returns the natural width of the widest line and
// the total height.
QSizeF lay(QTextLayout& text, double width) {
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    text.setTextOption(option);
    text.beginLayout();
    double y = 0;
    double widest = 0;
    for (QTextLine line = text.createLine(); line.isValid(); line = text.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height() + std::max(0.0, line.leading());
        widest = std::max(widest, line.naturalTextWidth());
    }
    text.endLayout();
    return {widest, y};
}

QString layoutText(const QString& text, const CaptionStyle& style) {
    QString shown = style.displayText(text);
    shown.replace(u'\n', QChar::LineSeparator);
    return shown;
}

} // namespace

Layout layout(const QString& text, const CaptionStyle& style, QSize picture) {
    const double W = picture.width();
    const double H = picture.height();
    const double maxWidth = maxTextShare * W;
    const double padX = padAcross * H;
    const double padY = padUpDown * H;
    const double margin = style.marginPercent * H / 100.0;

    QTextLayout measure(layoutText(text, style), style.qfont(H), &measuringDevice());
    const QSizeF natural = lay(measure, maxWidth);
    const double textWidth = std::min(std::ceil(natural.width()), maxWidth);
    const double textHeight = std::ceil(natural.height());

    const double boxWidth = textWidth + 2 * padX;
    const double boxHeight = textHeight + 2 * padY;
    const double x = (W - boxWidth) / 2;
    double top = 0;
    switch (style.position) {
    case CaptionStyle::Position::bottom:
        top = H - margin - boxHeight;
        break;
    case CaptionStyle::Position::middle:
        top = (H - boxHeight) / 2;
        break;
    case CaptionStyle::Position::top:
        top = margin;
        break;
    }
    Layout result;
    result.box = QRectF(x, top, boxWidth, boxHeight);
    result.textRect = result.box.adjusted(padX, padY, -padX, -padY);
    result.fontSize = style.fontSize(H);
    return result;
}

Rendered render(const QString& text, const CaptionStyle& style, QSize picture) {
    if (text.trimmed().isEmpty() || picture.isEmpty())
        return {};
    const Layout where = layout(text, style, picture);
    const int width = std::max(1, int(std::ceil(where.box.width())));
    const int height = std::max(1, int(std::ceil(where.box.height())));
    QImage image(width, height, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull())
        return {};
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (style.boxOpacity > 0.001) {
        const double radius = cornerShare * where.box.height();
        QPainterPath box;
        box.setFillRule(Qt::WindingFill);
        box.addRoundedRect(QRectF(0, 0, width, height), radius, radius);
        painter.fillPath(box, CaptionStyle::color(style.boxHex, style.boxOpacity));
    }

    // The glyphs as one path, so the outline and the fill line up exactly.
    const QFont font = style.qfont(picture.height());
    QTextLayout lines(layoutText(text, style), font, &image);
    lay(lines, where.textRect.width());
    const QPointF origin = where.textRect.topLeft() - where.box.topLeft();
    QPainterPath glyphs;
    for (const QGlyphRun& run : lines.glyphRuns()) {
        const QRawFont raw = run.rawFont();
        const QList<quint32> indexes = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < indexes.size(); ++i)
            glyphs.addPath(raw.pathForGlyph(indexes[i]).translated(origin + positions[i]));
    }
    if (style.outline) {
        // The pen is centred on the glyph's edge and the fill covers its inner half, so it is
        // twice as wide as the outline that shows.
        QPen pen(CaptionStyle::color(style.outlineHex, 1.0), 2 * outlineShare * where.fontSize);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.strokePath(glyphs, pen);
    }
    painter.fillPath(glyphs, CaptionStyle::color(style.textHex, 1.0));
    painter.end();
    return {image, where.box};
}

} // namespace CaptionRenderer
