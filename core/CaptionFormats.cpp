#include "BCText.h"
#include "BCTime.h"
#include "CaptionMath.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

namespace CaptionMath {

namespace {

// The cue text as written: outer blanks and breaks trimmed, and no blank line inside, since an
// empty line ends a cue and would lose the rest of the text when the file is read back.
QString cueText(const QString& text) {
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    unified.replace(u'\r', u'\n');
    QStringList lines = BCText::trimBlanksAndBreaks(unified).split(u'\n');
    lines.removeIf(
        [](const QString& line) { return BCText::trimmedView(line, BCText::isBlank).isEmpty(); });
    return lines.join(u'\n');
}

QString cues(const Captions& captions, const QString& header, QChar separator) {
    QString out = header;
    qsizetype n = 0;
    for (const Caption& c : normalized(captions)) {
        out += QString::number(++n);
        out += u'\n';
        out += stamp(c.start, separator);
        out += QStringLiteral(" --> ");
        out += stamp(c.end, separator);
        out += u'\n';
        out += cueText(c.text);
        out += QStringLiteral("\n\n");
    }
    return out;
}

} // namespace

Captions normalized(const Captions& captions) {
    Captions kept;
    kept.reserve(captions.size());
    for (const Caption& c : captions) {
        if (!BCText::trimmedView(c.text, BCText::isBlankOrBreak).isEmpty())
            kept.append(c);
    }
    // A start that is not a number sorts as 0, as it is clamped to 0 below.
    auto key = [](const Caption& c) { return std::isnan(c.start) ? 0.0 : c.start; };
    std::stable_sort(kept.begin(), kept.end(),
                     [&](const Caption& a, const Caption& b) { return key(a) < key(b); });

    // `by` after `start`, and at least the next double up: far out (a time of millions of years
    // still reads) adding a fraction of a second changes nothing, and the end must stay later.
    const auto after = [](double start, double by) {
        return std::max(start + by, std::nextafter(start, std::numeric_limits<double>::infinity()));
    };
    for (qsizetype i = 0; i < kept.size(); ++i) {
        Caption& c = kept[i];
        if (!(c.start >= 0))
            c.start = 0;
        if (!(c.end > c.start))
            c.end = after(c.start, 0.5);
        if (i + 1 < kept.size()) {
            const double next = kept[i + 1].start; // as given, before its own clamping
            if (next < c.end)
                c.end = std::max(next, after(c.start, 0.05));
        }
    }
    return kept;
}

QString srt(const Captions& captions) {
    return cues(captions, QString(), u',');
}

QString vtt(const Captions& captions) {
    return cues(captions, QStringLiteral("WEBVTT\n\n"), u'.');
}

QString txt(const Captions& captions, bool timestamps) {
    QStringList lines;
    for (const Caption& c : normalized(captions)) {
        QString text = c.text;
        text.replace(u'\n', u' ');
        text = BCText::trimBlanks(text);
        if (timestamps)
            lines.append(u'[' + BCTime::clock(c.start, false) + QStringLiteral("] ") + text);
        else
            lines.append(text);
    }
    return lines.join(timestamps ? u'\n' : u' ') + u'\n';
}

Captions parseSubtitles(const QString& input) {
    static const QRegularExpression tag(QStringLiteral("<[^>]+>"));

    QString text = input;
    text.remove(QChar(0xFEFF));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');

    Captions found;
    for (const QString& block : text.split(QStringLiteral("\n\n"))) {
        const QStringList lines = block.split(u'\n', Qt::SkipEmptyParts);
        const auto timing = std::find_if(lines.begin(), lines.end(), [](const QString& line) {
            return line.contains(QStringLiteral("-->"));
        });
        if (timing == lines.end())
            continue;
        const QStringList sides = timing->split(QStringLiteral("-->"));
        if (sides.size() != 2)
            continue;
        const auto start = parse(sides[0]);
        // Only the first word after the arrow is the end; cue settings may follow it.
        const QString after = BCText::trimBlanks(sides[1]);
        const auto blankAt = std::find_if(after.begin(), after.end(), BCText::isBlank);
        const auto end = parse(after.left(blankAt - after.begin()));
        if (!start || !end)
            continue;

        QStringList body(timing + 1, lines.end());
        QString cue = body.join(u'\n');
        if (cue.contains(u'<'))
            cue.remove(tag);
        found.append(Caption::make(*start, *end, cue));
    }
    return normalized(found);
}

} // namespace CaptionMath
