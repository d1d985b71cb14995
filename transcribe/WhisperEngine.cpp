#include "WhisperEngine.h"

#include "CaptionMath.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace WhisperEngine {

namespace {

// Characters that alone make a segment empty: note signs, blanks and light punctuation.
bool isFiller(char32_t c) {
    return c == U'♪' || c == U'♫' || c == U'\U0001F3B5' || c == U' ' || c == U'.' || c == U',' ||
           c == U'-';
}

bool onlyFiller(const QString& text) {
    const QList<uint> points = text.toUcs4();
    return std::all_of(points.begin(), points.end(), [](uint c) { return isFiller(char32_t(c)); });
}

// The word's confidence: the lowest probability of its text tokens in a full (-ojf) result, with
// markers such as "[_BEG_]" left out; below 0 when the result has no token probabilities.
double lowestTokenProbability(const QJsonObject& segment) {
    double lowest = -1;
    for (const QJsonValue& value : segment.value(QStringLiteral("tokens")).toArray()) {
        const QJsonObject token = value.toObject();
        const QString text = token.value(QStringLiteral("text")).toString();
        const QJsonValue p = token.value(QStringLiteral("p"));
        if (!p.isDouble() || text.trimmed().isEmpty() ||
            (text.startsWith(QLatin1String("[_")) && text.endsWith(u']')))
            continue;
        const double probability = std::clamp(p.toDouble(), 0.0, 1.0);
        lowest = lowest < 0 ? probability : std::min(lowest, probability);
    }
    return lowest;
}

} // namespace

TimedWords parse(const QByteArray& json) {
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return {};
    const QJsonValue transcription = document.object().value(QStringLiteral("transcription"));
    if (!transcription.isArray())
        return {};

    TimedWords words;
    for (const QJsonValue& element : transcription.toArray()) {
        const QJsonObject segment = element.toObject();
        const QJsonValue offsets = segment.value(QStringLiteral("offsets"));
        const QJsonValue textValue = segment.value(QStringLiteral("text"));
        if (!offsets.isObject() || !textValue.isString())
            continue;
        const QString text = textValue.toString().trimmed();
        if (text.isEmpty() || onlyFiller(text))
            continue;
        if ((text.startsWith(u'[') && text.endsWith(u']')) ||
            (text.startsWith(u'(') && text.endsWith(u')')))
            continue;
        const QJsonObject span = offsets.toObject();
        const double from = span.value(QStringLiteral("from")).toDouble(0);
        const double to = span.value(QStringLiteral("to")).toDouble(from);
        words.append({text, from / 1000.0, std::max((to - from) / 1000.0, 0.05),
                      lowestTokenProbability(segment)});
    }
    return dropLoops(words);
}

TimedWords dropLoops(const TimedWords& input) {
    TimedWords words = input;
    QStringList keys;
    keys.reserve(words.size());
    for (const TimedWord& w : words)
        keys.append(CaptionMath::wordKey(w.text));

    for (qsizetype n = 1; n <= 6; ++n) {
        TimedWords keptWords;
        QStringList keptKeys;
        keptWords.reserve(words.size());
        keptKeys.reserve(words.size());
        const qsizetype count = words.size();
        auto samePhrase = [&](qsizetype a, qsizetype b) {
            for (qsizetype j = 0; j < n; ++j) {
                if (keys[a + j] != keys[b + j])
                    return false;
            }
            return true;
        };
        qsizetype i = 0;
        while (i < count) {
            qsizetype reps = 1;
            if (i + n <= count) {
                while (i + (reps + 1) * n <= count && samePhrase(i, i + reps * n))
                    ++reps;
            }
            if (reps >= 4) {
                for (qsizetype j = i; j < i + 2 * n; ++j) {
                    keptWords.append(words[j]);
                    keptKeys.append(keys[j]);
                }
                i += reps * n;
            } else {
                keptWords.append(words[i]);
                keptKeys.append(keys[i]);
                ++i;
            }
        }
        words = std::move(keptWords);
        keys = std::move(keptKeys);
    }
    return words;
}

} // namespace WhisperEngine
