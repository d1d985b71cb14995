#include "BCText.h"
#include "CaptionMath.h"
#include "CaptionStyle.h"

#include <QFontMetricsF>
#include <QImage>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace CaptionMath {

namespace {

// Shares of the picture that CaptionRenderer uses for its box.
constexpr double maxTextShare = 0.86;
constexpr double padShare = 0.014;    // between its 0.018 H across and 0.01 H up and down
constexpr double outlineShare = 0.02; // outside half of the renderer's 0.04 x size stroke

// "&HAABBGGRR", where alpha 00 is opaque.
QString assColour(const QString& hex, double opacity) {
    const QColor c = CaptionStyle::color(hex, 1.0);
    const int alpha = std::clamp(int(std::lround((1.0 - opacity) * 255)), 0, 255);
    return QStringLiteral("&H%1%2%3%4")
        .arg(alpha, 2, 16, QChar(u'0'))
        .arg(c.blue(), 2, 16, QChar(u'0'))
        .arg(c.green(), 2, 16, QChar(u'0'))
        .arg(c.red(), 2, 16, QChar(u'0'))
        .toUpper();
}

// "h:mm:ss.cc", rounded to the centisecond.
QString assTime(double seconds) {
    const qint64 cs =
        std::isfinite(seconds) && seconds > 0 ? qint64(std::llround(seconds * 100)) : 0;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(cs / 360000)
        .arg(cs / 6000 % 60, 2, 10, QChar(u'0'))
        .arg(cs / 100 % 60, 2, 10, QChar(u'0'))
        .arg(cs % 100, 2, 10, QChar(u'0'));
}

// A style or font name without the commas that separate fields.
QString field(QString text) {
    text.replace(u',', u' ');
    text.replace(u'\n', u' ');
    return BCText::trimBlanks(text);
}

// The event text: lines joined with \N, braces escaped so they are not read as overrides.
QString eventText(const QString& text) {
    QStringList lines;
    for (const QString& line : QString(text).replace(u'\r', u'\n').split(u'\n')) {
        QString kept = BCText::trimBlanks(line);
        if (kept.isEmpty())
            continue;
        kept.replace(u'{', QStringLiteral("\\{"));
        kept.replace(u'}', QStringLiteral("\\}"));
        lines.append(kept);
    }
    return lines.join(QStringLiteral("\\N"));
}

// Text of one Dialogue line as shown, `softBreak` standing for \n.
QString plainText(const QString& text, QChar softBreak) {
    QString out;
    bool drawing = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'{') {
            qsizetype close = text.indexOf(u'}', i + 1);
            if (close < 0)
                close = text.size();
            const QString block = text.sliced(i + 1, close - i - 1);
            // The last \p in a block wins; \p0 ends a drawing.
            for (qsizetype at = block.indexOf(QStringLiteral("\\p")); at >= 0;
                 at = block.indexOf(QStringLiteral("\\p"), at + 2)) {
                qsizetype end = at + 2;
                while (end < block.size() && block[end].isDigit())
                    ++end;
                if (end > at + 2)
                    drawing = block.sliced(at + 2, end - at - 2).toLongLong() != 0;
            }
            i = close;
            continue;
        }
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u'N' || next == u'n' || next == u'h' || next == u'{' || next == u'}') {
                ++i;
                if (drawing)
                    continue;
                if (next == u'N')
                    out += u'\n';
                else if (next == u'n')
                    out += softBreak;
                else if (next == u'h')
                    out += u' ';
                else
                    out += next;
                continue;
            }
        }
        if (!drawing)
            out += c;
    }
    QStringList lines;
    for (const QString& line : out.split(u'\n')) {
        const QString kept = BCText::trimBlanks(line);
        if (!kept.isEmpty())
            lines.append(kept);
    }
    return lines.join(u'\n');
}

} // namespace

QString ass(const Captions& captions, const CaptionStyle& style, QSize picture) {
    if (picture.isEmpty())
        picture = QSize(1920, 1080);
    const double W = picture.width();
    const double H = picture.height();

    // libass sizes a font by its ascent plus descent, Qt by its em: measure the renderer's font.
    QImage device(1, 1, QImage::Format_ARGB32_Premultiplied);
    device.setDotsPerMeterX(3780);
    device.setDotsPerMeterY(3780);
    const QFont font = style.qfont(H);
    const QFontMetricsF metrics(font, &device);
    const double fontSize = metrics.ascent() + metrics.descent();

    const bool box = style.boxOpacity > 0.001;
    const double pad = padShare * H;
    const double margin = style.marginPercent * H / 100.0;
    int alignment = 2;
    if (style.position == CaptionStyle::Position::middle)
        alignment = 5;
    else if (style.position == CaptionStyle::Position::top)
        alignment = 8;
    // The box's outer edge sits at the margin; libass measures the margin to the text.
    const int marginV = int(std::lround(margin + (box ? pad : 0.0)));
    const int marginLR = int(std::lround((1.0 - maxTextShare) / 2 * W));

    QString outlineColour;
    double outline = 0;
    if (box) {
        outlineColour = assColour(style.boxHex, style.boxOpacity);
        outline = pad;
    } else {
        outlineColour = assColour(style.outlineHex, 1.0);
        outline = style.outline ? outlineShare * style.fontSize(H) : 0.0;
    }
    const QString name =
        field(style.name).isEmpty() ? QStringLiteral("Caption") : field(style.name);

    QString out = QStringLiteral("[Script Info]\n"
                                 "ScriptType: v4.00+\n"
                                 "PlayResX: %1\n"
                                 "PlayResY: %2\n"
                                 "WrapStyle: 0\n"
                                 "ScaledBorderAndShadow: yes\n"
                                 "YCbCr Matrix: None\n\n")
                      .arg(picture.width())
                      .arg(picture.height());
    out += QStringLiteral(
        "[V4+ Styles]\n"
        "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
        "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
        "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n");
    out += QStringLiteral("Style: %1,%2,%3,%4,%4,%5,%5,%6,%7,0,0,100,100,0,0,%8,%9,0,%10,%11,%11,"
                          "%12,1\n\n")
               .arg(name, field(font.family()), QString::number(fontSize, 'f', 2),
                    assColour(style.textHex, 1.0), outlineColour,
                    font.bold() ? QStringLiteral("-1") : QStringLiteral("0"),
                    font.italic() ? QStringLiteral("-1") : QStringLiteral("0"),
                    box ? QStringLiteral("3") : QStringLiteral("1"))
               .arg(QString::number(outline, 'f', 2))
               .arg(alignment)
               .arg(marginLR)
               .arg(marginV);
    out += QStringLiteral("[Events]\n"
                          "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, "
                          "Effect, Text\n");
    for (const Caption& c : normalized(captions)) {
        const QString text = eventText(style.displayText(c.text));
        if (text.isEmpty())
            continue;
        out += QStringLiteral("Dialogue: 0,%1,%2,%3,,0,0,0,,%4\n")
                   .arg(assTime(c.start), assTime(c.end), name, text);
    }
    return out;
}

Captions parseAss(const QString& input) {
    QString text = input;
    text.remove(QChar(0xFEFF));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');

    QStringList format = {QStringLiteral("layer"),   QStringLiteral("start"),
                          QStringLiteral("end"),     QStringLiteral("style"),
                          QStringLiteral("name"),    QStringLiteral("marginl"),
                          QStringLiteral("marginr"), QStringLiteral("marginv"),
                          QStringLiteral("effect"),  QStringLiteral("text")};
    QString section;
    QChar softBreak = u' ';
    Captions found;
    for (const QString& raw : text.split(u'\n')) {
        const QString line = BCText::trimBlanks(raw);
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.toLower();
            continue;
        }
        const qsizetype colon = line.indexOf(u':');
        if (colon < 0)
            continue;
        const QString key = line.left(colon).trimmed().toLower();
        const QString value = line.sliced(colon + 1);
        if (section == QStringLiteral("[script info]") && key == QStringLiteral("wrapstyle")) {
            softBreak = value.trimmed() == QStringLiteral("2") ? u'\n' : u' ';
            continue;
        }
        if (section != QStringLiteral("[events]"))
            continue;
        if (key == QStringLiteral("format")) {
            format.clear();
            for (const QString& name : value.split(u','))
                format.append(name.trimmed().toLower());
            continue;
        }
        if (key != QStringLiteral("dialogue"))
            continue;
        const qsizetype startAt = format.indexOf(QStringLiteral("start"));
        const qsizetype endAt = format.indexOf(QStringLiteral("end"));
        const qsizetype textAt = format.indexOf(QStringLiteral("text"));
        if (startAt < 0 || endAt < 0 || textAt < 0)
            continue;
        // Every field but the last is cut at a comma; the last takes the rest of the line.
        QStringList fields;
        qsizetype from = 0;
        for (qsizetype f = 0; f + 1 < format.size(); ++f) {
            const qsizetype comma = value.indexOf(u',', from);
            if (comma < 0)
                break;
            fields.append(value.sliced(from, comma - from));
            from = comma + 1;
        }
        if (fields.size() + 1 != format.size())
            continue;
        fields.append(value.sliced(from));
        const auto start = parse(fields[startAt].trimmed());
        const auto end = parse(fields[endAt].trimmed());
        if (!start || !end)
            continue;
        found.append(Caption::make(*start, *end, plainText(fields[textAt], softBreak)));
    }
    return normalized(found);
}

} // namespace CaptionMath
