#include "CaptionChecks.h"

#include "BCText.h"

#include <cmath>
#include <limits>

namespace CaptionChecks {

namespace {

// A figure as people write it: whole numbers without decimals, others with one or as many as
// the smallest step needs ("0.083").
QString figure(double value) {
    if (std::abs(value - std::round(value)) < 1e-9)
        return QString::number(qint64(std::round(value)));
    if (std::abs(value) < 1)
        return QString::number(value, 'g', 2);
    return QString::number(value, 'f', 1);
}

} // namespace

double charsPerSecond(const Caption& caption) {
    QString text = caption.text;
    text.remove(u'\n');
    text.remove(u'\r');
    const qsizetype characters = BCText::length(text);
    if (characters == 0)
        return 0;
    const double seconds = caption.end - caption.start;
    return seconds > 0 ? double(characters) / seconds : std::numeric_limits<double>::infinity();
}

QList<WordConfidence> unsureWords(const Caption& caption, double below) {
    QList<WordConfidence> words;
    if (caption.confidence.isEmpty())
        return words;
    for (const WordConfidence& w : caption.standingConfidence()) {
        if (double(w.value) < below)
            words.append(w);
    }
    return words;
}

QList<Problem> check(const Captions& captions, qsizetype index, const Limits& limits) {
    QList<Problem> found;
    if (index < 0 || index >= captions.size())
        return found;
    const Caption& caption = captions[index];
    // A little room for the rounding of times written in milliseconds.
    constexpr double slack = 1e-6;

    const double cps = charsPerSecond(caption);
    if (cps > limits.maxCharsPerSecond + slack)
        found.append({index, Kind::readingSpeed, cps, limits.maxCharsPerSecond, {}});

    qsizetype longest = 0;
    for (const QString& line : caption.text.split(u'\n'))
        longest = std::max(longest, BCText::length(line));
    if (longest > limits.maxCharsPerLine)
        found.append(
            {index, Kind::lineLength, double(longest), double(limits.maxCharsPerLine), {}});

    const double duration = caption.end - caption.start;
    if (duration < limits.minDuration - slack)
        found.append({index, Kind::tooShort, duration, limits.minDuration, {}});
    else if (duration > limits.maxDuration + slack)
        found.append({index, Kind::tooLong, duration, limits.maxDuration, {}});

    if (index + 1 < captions.size()) {
        const double gap = captions[index + 1].start - caption.end;
        if (gap < -slack)
            found.append({index, Kind::overlap, -gap, 0, {}});
        else if (gap < limits.minGap - slack)
            found.append({index, Kind::tooClose, std::max(gap, 0.0), limits.minGap, {}});
    }

    if (QList<WordConfidence> unsure = unsureWords(caption, limits.minConfidence);
        !unsure.isEmpty()) {
        float lowest = 1;
        for (const WordConfidence& w : unsure)
            lowest = std::min(lowest, w.value);
        found.append(
            {index, Kind::unsure, double(lowest), limits.minConfidence, std::move(unsure)});
    }
    return found;
}

QList<Problem> checkAll(const Captions& captions, const Limits& limits) {
    QList<Problem> found;
    for (qsizetype i = 0; i < captions.size(); ++i)
        found.append(check(captions, i, limits));
    return found;
}

QString kindName(Kind kind) {
    switch (kind) {
    case Kind::readingSpeed:
        return QStringLiteral("reading speed");
    case Kind::lineLength:
        return QStringLiteral("line length");
    case Kind::tooShort:
        return QStringLiteral("too short");
    case Kind::tooLong:
        return QStringLiteral("too long");
    case Kind::tooClose:
        return QStringLiteral("too close");
    case Kind::overlap:
        return QStringLiteral("overlap");
    case Kind::unsure:
        return QStringLiteral("unsure words");
    }
    return {};
}

QString describe(const Problem& p) {
    switch (p.kind) {
    case Kind::readingSpeed:
        if (std::isinf(p.figure))
            return QStringLiteral("No time on screen to read it.");
        return QStringLiteral("%1 characters per second; the limit is %2.")
            .arg(QString::number(p.figure, 'f', 1), figure(p.limit));
    case Kind::lineLength:
        return QStringLiteral("A line of %1 characters; the limit is %2.")
            .arg(figure(p.figure), figure(p.limit));
    case Kind::tooShort:
        return QStringLiteral("On screen for %1 s; the shortest is %2 s.")
            .arg(QString::number(p.figure, 'f', 2), figure(p.limit));
    case Kind::tooLong:
        return QStringLiteral("On screen for %1 s; the longest is %2 s.")
            .arg(QString::number(p.figure, 'f', 1), figure(p.limit));
    case Kind::tooClose:
        return QStringLiteral("%1 s before the next caption; leave at least %2 s.")
            .arg(QString::number(p.figure, 'f', 3), figure(p.limit));
    case Kind::overlap:
        return QStringLiteral("Overlaps the next caption by %1 s.")
            .arg(QString::number(p.figure, 'f', 3));
    case Kind::unsure: {
        QStringList words;
        for (const WordConfidence& w : p.words)
            words.append(QStringLiteral("“%1” (%2 %)").arg(w.word).arg(std::lround(w.value * 100)));
        if (words.size() == 1)
            return QStringLiteral("The recogniser was unsure of %1.").arg(words.first());
        return QStringLiteral("The recogniser was unsure of %1 words: %2.")
            .arg(words.size())
            .arg(words.join(QStringLiteral(", ")));
    }
    }
    return {};
}

} // namespace CaptionChecks
