#include "BCText.h"
#include "CaptionMath.h"

#include <QStringList>
#include <cmath>

namespace CaptionMath {

namespace {

// "h:mm:ss.mmm", rounded to the millisecond.
QString sbvTime(double seconds) {
    const qint64 ms =
        std::isfinite(seconds) && seconds > 0 ? qint64(std::llround(seconds * 1000)) : 0;
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000)
        .arg(ms / 60000 % 60, 2, 10, QChar(u'0'))
        .arg(ms / 1000 % 60, 2, 10, QChar(u'0'))
        .arg(ms % 1000, 3, 10, QChar(u'0'));
}

QString unified(const QString& input) {
    QString text = input;
    text.remove(QChar(0xFEFF));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

} // namespace

QString sbv(const Captions& captions) {
    QString out;
    for (const Caption& c : normalized(captions)) {
        QStringList lines;
        for (const QString& line : QString(c.text).replace(u'\r', u'\n').split(u'\n')) {
            if (!BCText::trimBlanks(line).isEmpty())
                lines.append(BCText::trimBlanks(line));
        }
        if (lines.isEmpty())
            continue;
        if (!out.isEmpty())
            out += u'\n';
        out += sbvTime(c.start) + u',' + sbvTime(c.end) + u'\n' + lines.join(u'\n') + u'\n';
    }
    return out;
}

Captions parseSbv(const QString& input) {
    Captions found;
    for (const QString& block : unified(input).split(QStringLiteral("\n\n"))) {
        QStringList lines = block.split(u'\n', Qt::SkipEmptyParts);
        lines.removeIf([](const QString& line) { return BCText::trimBlanks(line).isEmpty(); });
        if (lines.isEmpty())
            continue;
        const QStringList times = lines.takeFirst().split(u',');
        if (times.size() != 2)
            continue;
        const auto start = parse(BCText::trimBlanks(times[0]));
        const auto end = parse(BCText::trimBlanks(times[1]));
        if (!start || !end)
            continue;
        found.append(Caption::make(*start, *end, lines.join(u'\n')));
    }
    return normalized(found);
}

Captions parseAnyCaptions(const QString& input) {
    const QString text = unified(input);
    const QString head = BCText::trimBlanksAndBreaks(text.left(4096));
    if (head.startsWith(u'<'))
        return parseTtml(text);
    if (head.contains(QStringLiteral("[script info]"), Qt::CaseInsensitive) ||
        head.contains(QStringLiteral("[events]"), Qt::CaseInsensitive))
        return parseAss(text);
    if (text.contains(QStringLiteral("-->")))
        return parseSubtitles(text);
    return parseSbv(text);
}

} // namespace CaptionMath
