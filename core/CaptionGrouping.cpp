// Word grouping: sentences, the recursive splitter, joins of short sentences, wrapping and caption
// timing. Lengths are grapheme clusters and are precomputed once per call as running sums, so the
// splitter never joins or measures strings; a call costs O(n log n) in the number of words.
#include "BCText.h"
#include "CaptionMath.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace CaptionMath {

namespace {

constexpr int fewestCharsPerLine = 8;
constexpr double sentenceGap = 2.0;    // a longer silence ends a sentence, whatever the rules say
constexpr double shortPause = 0.3;     // a longer silence is a weak break
constexpr qsizetype longSentence = 30; // two sentences this long are never joined whole
constexpr qsizetype smallGroupWords = 3;
constexpr double smallGroupSeconds = 1.2;
constexpr double briefSentence = 1.0; // pitch of a briefer sentence is measured with the next one
constexpr double closeFollower = 0.5; // ... when that one starts sooner than this after it
constexpr double speakerRatio = 1.26; // a larger pitch ratio is a new speaker
constexpr double shortestWords = 0.3; // a caption's words show at least this long
constexpr double linger = 0.25;       // a caption stays this long after its last word
// ... but ends this long before the next one starts: two frames at 24 per second, and a little
// more so that times rounded to milliseconds still leave them (the delivery checks ask for it).
constexpr double gapBeforeNext = 0.085;
constexpr double fallbackLength = 0.2; // length of a caption with no room before the next
constexpr const char* speakerMark = ">> ";

constexpr std::array<QStringView, 14> conjunctions{
    u"and",  u"but", u"so",   u"or",       u"because", u"which", u"while",
    u"when", u"if",  u"then", u"although", u"until",   u"where", u"who"};

template <std::size_t N> bool listed(const std::array<QStringView, N>& list, const QString& word) {
    return std::find(list.begin(), list.end(), QStringView(word)) != list.end();
}

bool endsClause(const QString& word) {
    if (word.isEmpty())
        return false;
    switch (word.back().unicode()) {
    case u',':
    case u';':
    case u':':
    case 0x2014: // em dash
    case 0x2013: // en dash
        return true;
    default:
        return false;
    }
}

bool isBlank(const QString& text) {
    return BCText::trimmedView(text, BCText::isBlank).isEmpty();
}

// Calls `take` with each piece of `text` between spaces and line feeds, skipping empty pieces.
template <typename Take> void forEachToken(const QString& text, Take take) {
    qsizetype from = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u' ' && text[i] != u'\n')
            continue;
        if (i > from)
            take(from == 0 && i == text.size() ? text : text.sliced(from, i - from));
        from = i + 1;
    }
}

// Lengths of a sequence of texts joined with single spaces, for any contiguous stretch in O(1).
class Run {
public:
    void append(const QString& text) {
        const qsizetype length = BCText::length(text);
        const qsizetype join = m_cumulative.size() == 1 ? 0 : joinLength(text, length);
        m_join.push_back(join);
        m_cumulative.push_back(m_cumulative.back() + join + length);
        m_last = text;
        m_lastLength = length;
    }

    qsizetype size() const { return qsizetype(m_join.size()); }

    // Characters of texts [from, to) joined with single spaces.
    qsizetype length(qsizetype from, qsizetype to) const {
        if (to <= from)
            return 0;
        return m_cumulative[std::size_t(to)] - m_cumulative[std::size_t(from)] -
               m_join[std::size_t(from)];
    }

private:
    // Characters the space before `text` adds: one, unless the space fuses with a cluster next
    // to it (a combining mark after it, a prefix mark before it). Nothing below U+0300 fuses.
    qsizetype joinLength(const QString& text, qsizetype length) const {
        constexpr char16_t firstMark = 0x300;
        const bool plainBefore = m_last.isEmpty() || m_last.back().unicode() < firstMark;
        const bool plainAfter = text.isEmpty() || text.front().unicode() < firstMark;
        if (plainBefore && plainAfter)
            return 1;
        return BCText::length(m_last + u' ' + text) - m_lastLength - length;
    }

    std::vector<qsizetype> m_cumulative{0}; // [i]: characters of texts [0, i) joined
    std::vector<qsizetype> m_join;          // [i]: characters added by the space before text i
    QString m_last;
    qsizetype m_lastLength = 0;
};

struct LineSplit {
    qsizetype at = 0; // index of the first text of the second line
    qsizetype first = 0;
    qsizetype second = 0;
};

// The two-line break of texts [from, to) (at least two) that `wrap` chooses: least overflow
// beyond `maxChars`, then most even, then earliest.
LineSplit bestSplit(const Run& run, qsizetype from, qsizetype to, qsizetype maxChars) {
    LineSplit best;
    qsizetype bestCost = std::numeric_limits<qsizetype>::max();
    for (qsizetype at = from + 1; at < to; ++at) {
        const qsizetype first = run.length(from, at);
        const qsizetype second = run.length(at, to);
        const qsizetype overflow =
            std::max<qsizetype>(first - maxChars, 0) + std::max<qsizetype>(second - maxChars, 0);
        const qsizetype cost = overflow * 100 + std::abs(first - second);
        if (cost < bestCost) {
            bestCost = cost;
            best = {at, first, second};
        }
    }
    return best;
}

// Words [from, to) of the sorted word list.
struct Range {
    qsizetype from = 0;
    qsizetype to = 0;
    qsizetype count() const { return to - from; }
};

// One future caption.
struct Group {
    Range words;
    bool whole = false; // a complete sentence that needed no split; a short one may join it
    bool speakerStart = false;
};

// Measurements of the sorted words that the splitter and the joins ask for again and again.
class Layout {
public:
    Layout(const TimedWords& words, int maxChars, int maxLines, const Rules& rules)
        : m_words(words), m_maxChars(maxChars), m_maxLines(maxLines),
          m_maxDuration(rules.maxDuration), m_pauseSplit(rules.pauseSplit) {
        m_firstToken.reserve(std::size_t(words.size()) + 1);
        m_facts.reserve(std::size_t(words.size()));
        for (const TimedWord& word : words) {
            m_text.append(word.text);
            m_firstToken.push_back(m_tokens.size());
            forEachToken(word.text, [this](const QString& token) { m_tokens.append(token); });
            m_facts.push_back({endsSentence(word.text), endsClause(word.text),
                               listed(conjunctions, wordKey(word.text))});
        }
        m_firstToken.push_back(m_tokens.size());
    }

    double end(qsizetype i) const { return m_words[i].end(); }
    double span(Range r) const { return end(r.to - 1) - m_words[r.from].start; }
    qsizetype chars(Range r) const { return m_text.length(r.from, r.to); }

    // A single word always fits; more must last at most maxDuration and, as `wrap` would lay
    // their text out, take at most maxLines lines of at most maxChars.
    bool fits(Range r) const {
        if (r.count() <= 1)
            return true;
        if (span(r) > m_maxDuration)
            return false;
        if (chars(r) <= m_maxChars)
            return true;
        const qsizetype from = m_firstToken[std::size_t(r.from)];
        const qsizetype to = m_firstToken[std::size_t(r.to)];
        const qsizetype oneLine = m_tokens.length(from, to);
        if (m_maxLines < 2 || to - from < 2)
            return oneLine <= m_maxChars;
        if (oneLine > 2 * qsizetype(m_maxChars) + 1) // two full lines and the break between
            return false;
        const LineSplit split = bestSplit(m_tokens, from, to, m_maxChars);
        return split.first <= m_maxChars && split.second <= m_maxChars;
    }

    // Cuts `r` recursively at its best-scoring break until every piece fits; pieces in order.
    std::vector<Range> pieces(Range r) const {
        std::vector<Range> done;
        std::vector<Range> pending{r}; // an explicit stack: runs of bonuses can make it deep
        while (!pending.empty()) {
            const Range next = pending.back();
            pending.pop_back();
            if (fits(next)) {
                done.push_back(next);
                continue;
            }
            const qsizetype total = std::max<qsizetype>(chars(next), 1);
            qsizetype bestCut = next.from + 1;
            double bestScore = -std::numeric_limits<double>::infinity();
            for (qsizetype k = next.from + 1; k < next.to; ++k) {
                const double s = score(next, k, total);
                if (s > bestScore) { // strictly: the earliest of equal cuts wins
                    bestScore = s;
                    bestCut = k;
                }
            }
            pending.push_back({bestCut, next.to});
            pending.push_back({next.from, bestCut});
        }
        return done;
    }

private:
    // Score of a cut of `r` before word k. The terms are added in this order so that equal
    // scores come out bit-identical and the earliest cut wins.
    double score(Range r, qsizetype k, qsizetype total) const {
        const Range left{r.from, k};
        const Range right{k, r.to};
        double s = -10.0 * double(std::abs(chars(left) - chars(right))) / double(total);
        const double silence = m_words[k].start - end(k - 1);
        if (silence > m_pauseSplit)
            s += 8;
        else if (silence > shortPause)
            s += 3;
        const Facts& before = m_facts[std::size_t(k - 1)];
        if (before.endsClause)
            s += 5;
        if (m_facts[std::size_t(k)].conjunction)
            s += 2;
        if (before.endsSentence)
            s += 6;
        if (left.count() < 3 || right.count() < 3)
            s -= 12;
        if (fits(left))
            s += 2;
        if (fits(right))
            s += 2;
        return s;
    }

    struct Facts {
        bool endsSentence;
        bool endsClause;
        bool conjunction; // the word's key is a conjunction
    };

    const TimedWords& m_words;
    int m_maxChars;
    int m_maxLines;
    double m_maxDuration;
    double m_pauseSplit;
    Run m_text;                          // the words as delivered
    Run m_tokens;                        // the pieces `wrap` sees in the joined words
    std::vector<qsizetype> m_firstToken; // [i]: index in m_tokens of word i's first piece
    std::vector<Facts> m_facts;
};

std::vector<Range> sentences(const TimedWords& words) {
    std::vector<Range> result;
    qsizetype from = 0;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const bool last = i + 1 == words.size();
        if (last || endsSentence(words[i].text) ||
            words[i + 1].start - words[i].end() > sentenceGap) {
            result.push_back({from, i + 1});
            from = i + 1;
        }
    }
    return result;
}

// Whether each sentence starts with a new voice: its pitch differs from the last measured
// sentence's by more than speakerRatio. Unmeasurable sentences are skipped.
std::vector<bool> speakerChanges(const Layout& layout, const TimedWords& words,
                                 const std::vector<Range>& sentences, const PitchFunction& pitch) {
    std::vector<bool> changes(sentences.size(), false);
    if (!pitch)
        return changes;
    std::optional<double> reference;
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        const double from = words[sentences[i].from].start;
        double to = layout.end(sentences[i].to - 1);
        if (to - from < briefSentence && i + 1 < sentences.size() &&
            words[sentences[i + 1].from].start - to < closeFollower)
            to = layout.end(sentences[i + 1].to - 1);
        const std::optional<double> hertz = pitch(from, to);
        if (!hertz || !(*hertz > 0))
            continue;
        if (reference && std::max(*hertz, *reference) / std::min(*hertz, *reference) > speakerRatio)
            changes[i] = true;
        reference = *hertz;
    }
    return changes;
}

void appendGroups(std::vector<Group>& groups, const std::vector<Range>& pieces, bool speakerStart) {
    for (std::size_t i = 0; i < pieces.size(); ++i)
        groups.push_back({pieces[i], pieces.size() == 1, i == 0 && speakerStart});
}

std::vector<Group> assemble(const Layout& layout, const TimedWords& words,
                            const std::vector<Range>& sentences,
                            const std::vector<bool>& newSpeaker, double pauseSplit) {
    std::vector<Group> groups;
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        const Range sentence = sentences[i];
        const std::vector<Range> pieces = layout.pieces(sentence);
        if (!groups.empty() && groups.back().whole && !newSpeaker[i] &&
            words[sentence.from].start - layout.end(groups.back().words.to - 1) <= pauseSplit) {
            const Group previous = groups.back();
            const Range both{previous.words.from, sentence.to};
            const bool bothLong = layout.chars(previous.words) >= longSentence &&
                                  layout.chars(sentence) >= longSentence;
            if (pieces.size() == 1 && !bothLong && layout.fits(both)) {
                groups.back().words = both;
                continue;
            }
            if (previous.words.count() <= smallGroupWords &&
                layout.span(previous.words) < smallGroupSeconds) {
                // A stub of a sentence is cut again together with this one.
                groups.pop_back();
                appendGroups(groups, layout.pieces(both), previous.speakerStart);
                continue;
            }
        }
        appendGroups(groups, pieces, newSpeaker[i]);
    }
    return groups;
}

} // namespace

Captions group(const TimedWords& words, const Rules& rules, const PitchFunction& pitch,
               bool markSpeakers) {
    TimedWords sorted;
    sorted.reserve(words.size());
    for (const TimedWord& word : withUsableTimes(words))
        if (!isBlank(word.text))
            sorted.append(word);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const TimedWord& a, const TimedWord& b) { return a.start < b.start; });
    if (sorted.isEmpty())
        return {};

    const int maxChars = std::max(rules.maxCharsPerLine, fewestCharsPerLine);
    const int maxLines = std::max(rules.maxLines, 1);
    const Layout layout(sorted, maxChars, maxLines, rules);
    const std::vector<Range> cut = sentences(sorted);
    const std::vector<Group> groups =
        assemble(layout, sorted, cut, speakerChanges(layout, sorted, cut, pitch), rules.pauseSplit);

    Captions captions;
    captions.reserve(qsizetype(groups.size()));
    for (const Group& g : groups) {
        QString joined;
        for (qsizetype i = g.words.from; i < g.words.to; ++i) {
            if (i > g.words.from)
                joined += u' ';
            joined += sorted[i].text;
        }
        QString text = wrap(joined, maxChars, maxLines);
        if (markSpeakers && g.speakerStart)
            text.prepend(QLatin1StringView(speakerMark));
        const double start = sorted[g.words.from].start;
        const double end = std::max(start + shortestWords, layout.end(g.words.to - 1));
        Caption caption = Caption::make(start, end, std::move(text));
        // Each word the recogniser scored, found in turn in the finished text.
        qsizetype at = 0;
        for (qsizetype i = g.words.from; i < g.words.to; ++i) {
            const TimedWord& w = sorted[i];
            const qsizetype found = caption.text.indexOf(w.text, at);
            if (found < 0)
                continue;
            at = found + w.text.size();
            if (w.confidence >= 0)
                caption.confidence.append({int(found), w.text, float(std::min(w.confidence, 1.0))});
        }
        captions.append(std::move(caption));
    }

    for (qsizetype i = 0; i < captions.size(); ++i) {
        Caption& c = captions[i];
        const double limit = i + 1 < captions.size() ? captions[i + 1].start - gapBeforeNext
                                                     : std::numeric_limits<double>::infinity();
        double wanted = c.end + linger;
        if (wanted - c.start < rules.minDuration)
            wanted = c.start + rules.minDuration;
        c.end = std::min(wanted, limit);
        if (!(c.end > c.start))
            c.end = c.start + fallbackLength;
    }
    return captions;
}

QString wrap(const QString& text, int maxCharsPerLine, int maxLines) {
    QStringList words;
    forEachToken(text, [&words](const QString& token) { words.append(token); });
    if (words.size() < 2 || maxLines < 2 || BCText::length(text) <= maxCharsPerLine)
        return words.join(u' ');
    Run run;
    for (const QString& word : words)
        run.append(word);
    const qsizetype at = bestSplit(run, 0, run.size(), maxCharsPerLine).at;
    return words.first(at).join(u' ') + u'\n' + words.sliced(at).join(u' ');
}

} // namespace CaptionMath
