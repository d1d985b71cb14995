// Word-level tests shared by grouping, loop removal and lyric alignment.
#include "BCText.h"
#include "CaptionMath.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

namespace CaptionMath {

namespace {

constexpr std::array<QStringView, 21> abbreviations{
    u"mr", u"mrs", u"ms", u"dr", u"st",  u"jr",   u"sr",  u"vs",   u"etc", u"mt",    u"ft",
    u"no", u"inc", u"co", u"lt", u"sgt", u"capt", u"gen", u"prof", u"rev", u"approx"};

// Quotes and brackets that may close a sentence after its final punctuation.
bool isClosing(QChar c) {
    switch (c.unicode()) {
    case u'"':
    case u'\'':
    case u')':
    case u']':
    case 0x201D: // right double quotation mark
    case 0x2019: // right single quotation mark
    case 0x00BB: // right-pointing double angle quotation mark
        return true;
    default:
        return false;
    }
}

} // namespace

bool endsSentence(const QString& word) {
    const QStringView stripped = BCText::trimmedView(word, isClosing);
    if (stripped.isEmpty())
        return false;
    const QChar last = stripped.back();
    if (last == u'?' || last == u'!' || last == QChar(0x2026))
        return true;
    if (last != u'.')
        return false;
    const QString body = stripped.chopped(1).toString().toLower();
    if (std::find(abbreviations.begin(), abbreviations.end(), QStringView(body)) !=
        abbreviations.end())
        return false;
    const qsizetype length = BCText::length(body);
    if (length == 1) // an initial
        return false;
    if (body.contains(u'.')) // dotted: "e.g", "u.s" go on, longer runs such as "wait.." end
        return length >= 6;
    return true;
}

QString wordKey(const QString& word) {
    const QList<uint> folded = word.normalized(QString::NormalizationForm_KD).toUcs4();
    std::u32string kept;
    kept.reserve(std::size_t(folded.size()));
    for (const uint c : folded)
        if (QChar::isLetterOrNumber(char32_t(c)))
            kept.push_back(char32_t(c));
    return QString::fromUcs4(kept.data(), qsizetype(kept.size())).toLower();
}

TimedWords withUsableTimes(const TimedWords& words) {
    TimedWords usable;
    usable.reserve(words.size());
    for (const TimedWord& word : words) {
        const double end = word.start + word.duration;
        if (!std::isfinite(word.start) || !std::isfinite(end))
            continue;
        TimedWord placed = word;
        placed.start = std::max(word.start, 0.0);
        placed.duration = std::max(end, placed.start) - placed.start;
        usable.append(std::move(placed));
    }
    return usable;
}

} // namespace CaptionMath
