#include "BCText.h"
#include "CaptionMath.h"
#include "CaptionStyle.h"

#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cmath>
#include <vector>

namespace CaptionMath {

namespace {

const QString ttNs = QStringLiteral("http://www.w3.org/ns/ttml");
const QString ttpNs = QStringLiteral("http://www.w3.org/ns/ttml#parameter");
const QString ttsNs = QStringLiteral("http://www.w3.org/ns/ttml#styling");

// "#RRGGBBAA".
QString ttmlColour(const QString& hex, double opacity) {
    const QColor c = CaptionStyle::color(hex, 1.0);
    const int alpha = std::clamp(int(std::lround(opacity * 255)), 0, 255);
    return QStringLiteral("#%1%2%3%4")
        .arg(c.red(), 2, 16, QChar(u'0'))
        .arg(c.green(), 2, 16, QChar(u'0'))
        .arg(c.blue(), 2, 16, QChar(u'0'))
        .arg(alpha, 2, 16, QChar(u'0'))
        .toUpper();
}

QString percent(double value) {
    return QString::number(value, 'f', 2) + u'%';
}

// The text without the characters XML 1.0 cannot hold (controls but tab and line feed, lone
// surrogates, U+FFFE/F), which would make the document unreadable.
QString xmlSafe(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (!c.isSurrogate() && (c.unicode() >= 0x20 || c == u'\t' || c == u'\n') &&
                   c.unicode() < 0xFFFE) {
            out += c;
        }
    }
    return out;
}

struct Rates {
    double frame = 30;
    double subFrame = 1;
    double tick = 1;
    bool tickGiven = false;
};

// A clock time ("hh:mm:ss.fff" or "hh:mm:ss:ff") or an offset time ("12.5s", "400ms", "25f").
std::optional<double> ttmlTime(const QString& text, const Rates& rates) {
    static const QRegularExpression clock(
        QStringLiteral("^(\\d+):(\\d{2}):(\\d{2})(?:(\\.\\d+)|:(\\d+)(?:\\.(\\d+))?)?$"));
    static const QRegularExpression offset(QStringLiteral("^(\\d+(?:\\.\\d+)?)(h|ms|m|s|f|t)$"));
    const QString t = text.trimmed();
    double seconds = 0;
    if (const auto m = clock.match(t); m.hasMatch()) {
        seconds = m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 +
                  m.captured(3).toDouble();
        if (m.hasCaptured(4))
            seconds += (u'0' + m.captured(4)).toDouble();
        if (m.hasCaptured(5))
            seconds += m.captured(5).toDouble() / rates.frame;
        if (m.hasCaptured(6))
            seconds += m.captured(6).toDouble() / rates.subFrame / rates.frame;
    } else if (const auto o = offset.match(t); o.hasMatch()) {
        const double n = o.captured(1).toDouble();
        const QString unit = o.captured(2);
        if (unit == u'h')
            seconds = n * 3600;
        else if (unit == u'm')
            seconds = n * 60;
        else if (unit == u's')
            seconds = n;
        else if (unit == QStringLiteral("ms"))
            seconds = n / 1000;
        else if (unit == u'f')
            seconds = n / rates.frame;
        else
            seconds = n / rates.tick;
    } else {
        return std::nullopt;
    }
    if (!std::isfinite(seconds) || seconds > 1e12)
        return std::nullopt;
    return seconds;
}

// Positive numbers of a rate attribute, or nothing.
std::optional<double> positive(QStringView text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && value > 0 && std::isfinite(value) ? std::optional(value) : std::nullopt;
}

// White space of the document collapsed to single spaces, lines trimmed, blank lines dropped.
QString collapse(const QString& text) {
    static const QRegularExpression runs(QStringLiteral("[ \\t\\r\\n]+"));
    QStringList lines;
    for (QString line : text.split(u'\n')) {
        line.replace(runs, QStringLiteral(" "));
        line = BCText::trimBlanks(line);
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines.join(u'\n');
}

} // namespace

QString ttml(const Captions& captions, const CaptionStyle& style, const QString& language) {
    QString out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeNamespace(ttpNs, QStringLiteral("ttp"));
    xml.writeNamespace(ttsNs, QStringLiteral("tts"));
    xml.writeDefaultNamespace(ttNs);
    xml.writeStartElement(ttNs, QStringLiteral("tt"));
    xml.writeAttribute(QStringLiteral("xml:lang"), language);
    xml.writeAttribute(ttpNs, QStringLiteral("timeBase"), QStringLiteral("media"));
    xml.writeAttribute(ttpNs, QStringLiteral("cellResolution"), QStringLiteral("32 15"));
    xml.writeAttribute(ttpNs, QStringLiteral("contentProfiles"),
                       QStringLiteral("http://www.w3.org/ns/ttml/profile/imsc1.1/text"));

    xml.writeStartElement(ttNs, QStringLiteral("head"));
    xml.writeStartElement(ttNs, QStringLiteral("styling"));
    xml.writeStartElement(ttNs, QStringLiteral("style"));
    xml.writeAttribute(QStringLiteral("xml:id"), QStringLiteral("caption"));
    xml.writeAttribute(ttsNs, QStringLiteral("fontFamily"),
                       QStringLiteral("proportionalSansSerif"));
    // A cell is a fifteenth of the picture height.
    xml.writeAttribute(ttsNs, QStringLiteral("fontSize"),
                       QString::number(style.sizePercent * 15 / 100, 'f', 3) + u'c');
    xml.writeAttribute(ttsNs, QStringLiteral("fontWeight"), QStringLiteral("bold"));
    xml.writeAttribute(ttsNs, QStringLiteral("textAlign"), QStringLiteral("center"));
    xml.writeAttribute(ttsNs, QStringLiteral("color"), ttmlColour(style.textHex, 1.0));
    if (style.boxOpacity > 0.001)
        xml.writeAttribute(ttsNs, QStringLiteral("backgroundColor"),
                           ttmlColour(style.boxHex, style.boxOpacity));
    if (style.outline)
        xml.writeAttribute(ttsNs, QStringLiteral("textOutline"),
                           ttmlColour(style.outlineHex, 1.0) + u' ' +
                               QString::number(style.sizePercent * 15 / 100 * 0.04, 'f', 3) + u'c');
    xml.writeEndElement(); // style
    xml.writeEndElement(); // styling

    // One region per position, 86 % wide and centred, a quarter of the picture high.
    const double margin = style.marginPercent;
    const struct {
        CaptionStyle::Position position;
        double top;
        const char* align;
    } regions[] = {
        {CaptionStyle::Position::bottom, 100 - margin - 25, "after"},
        {CaptionStyle::Position::middle, 37.5, "center"},
        {CaptionStyle::Position::top, margin, "before"},
    };
    xml.writeStartElement(ttNs, QStringLiteral("layout"));
    for (const auto& region : regions) {
        xml.writeStartElement(ttNs, QStringLiteral("region"));
        xml.writeAttribute(QStringLiteral("xml:id"), CaptionStyle::positionName(region.position));
        xml.writeAttribute(ttsNs, QStringLiteral("origin"),
                           percent(7) + u' ' + percent(std::clamp(region.top, 0.0, 75.0)));
        xml.writeAttribute(ttsNs, QStringLiteral("extent"), percent(86) + u' ' + percent(25));
        xml.writeAttribute(ttsNs, QStringLiteral("displayAlign"),
                           QString::fromLatin1(region.align));
        xml.writeEndElement();
    }
    xml.writeEndElement(); // layout
    xml.writeEndElement(); // head

    xml.writeStartElement(ttNs, QStringLiteral("body"));
    xml.writeAttribute(QStringLiteral("region"), CaptionStyle::positionName(style.position));
    xml.writeAttribute(QStringLiteral("style"), QStringLiteral("caption"));
    xml.writeStartElement(ttNs, QStringLiteral("div"));
    for (const Caption& c : normalized(captions)) {
        QStringList lines;
        for (const QString& line :
             xmlSafe(style.displayText(QString(c.text).replace(u'\r', u'\n'))).split(u'\n')) {
            if (!BCText::trimBlanks(line).isEmpty())
                lines.append(BCText::trimBlanks(line));
        }
        if (lines.isEmpty())
            continue;
        xml.writeStartElement(ttNs, QStringLiteral("p"));
        xml.writeAttribute(QStringLiteral("begin"), stamp(c.start, u'.'));
        xml.writeAttribute(QStringLiteral("end"), stamp(c.end, u'.'));
        xml.setAutoFormatting(false); // keeps the text free of indentation
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i > 0)
                xml.writeEmptyElement(ttNs, QStringLiteral("br"));
            xml.writeCharacters(lines[i]);
        }
        xml.writeEndElement(); // p
        xml.setAutoFormatting(true);
    }
    xml.writeEndElement(); // div
    xml.writeEndElement(); // body
    xml.writeEndElement(); // tt
    xml.writeEndDocument();
    return out;
}

Captions parseTtml(const QString& text) {
    QXmlStreamReader xml(text);
    Rates rates;
    double frameMultiplier = 1;
    // The begin of each open element, for times given relative to a timed parent.
    std::vector<double> begins{0.0};
    struct Open {
        double start = 0;
        std::optional<double> end;
        QString text;
        qsizetype depth = 0;
    };
    std::optional<Open> cue;
    Captions found;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QXmlStreamAttributes attributes = xml.attributes();
            const QStringView name = xml.name();
            if (name == u"tt") {
                if (const auto rate =
                        positive(attributes.value(ttpNs, QStringLiteral("frameRate"))))
                    rates.frame = *rate;
                if (const auto sub =
                        positive(attributes.value(ttpNs, QStringLiteral("subFrameRate"))))
                    rates.subFrame = *sub;
                const QStringList multiplier =
                    attributes.value(ttpNs, QStringLiteral("frameRateMultiplier"))
                        .toString()
                        .split(u' ', Qt::SkipEmptyParts);
                if (multiplier.size() == 2) {
                    const auto num = positive(multiplier[0]);
                    const auto den = positive(multiplier[1]);
                    if (num && den)
                        frameMultiplier = *num / *den;
                }
                if (const auto tick =
                        positive(attributes.value(ttpNs, QStringLiteral("tickRate")))) {
                    rates.tick = *tick;
                    rates.tickGiven = true;
                }
                rates.frame *= frameMultiplier;
                if (!rates.tickGiven)
                    rates.tick = rates.frame * rates.subFrame;
            }
            const double parent = begins.back();
            const auto begin =
                ttmlTime(attributes.value(QStringLiteral("begin")).toString(), rates);
            const double start = parent + begin.value_or(0.0);
            begins.push_back(start);
            if (cue) {
                ++cue->depth;
                if (name == u"br")
                    cue->text += u'\n';
            } else if (name == u"p") {
                Open open{start, std::nullopt, QString(), 0};
                if (const auto end =
                        ttmlTime(attributes.value(QStringLiteral("end")).toString(), rates))
                    open.end = parent + *end;
                else if (const auto dur =
                             ttmlTime(attributes.value(QStringLiteral("dur")).toString(), rates))
                    open.end = start + *dur;
                if (begin && open.end)
                    cue = open;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (begins.size() > 1)
                begins.pop_back();
            if (cue && cue->depth-- == 0) {
                found.append(Caption::make(cue->start, *cue->end, collapse(cue->text)));
                cue.reset();
            }
        } else if (token == QXmlStreamReader::Characters && cue) {
            // Source line breaks are white space; only <br/> breaks a line.
            QString characters = xml.text().toString();
            characters.replace(u'\n', u' ');
            cue->text += characters;
        }
    }
    return normalized(found);
}

} // namespace CaptionMath
