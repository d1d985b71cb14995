// Lyric alignment: the pasted words matched to the heard ones by dynamic programming, the rest
// spread between them, and one or more captions per lyric line.
#include "LyricAlign.h"

#include "BCError.h"
#include "BCText.h"
#include "CaptionMath.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace LyricAlign {

namespace {

// Characters of a key, for lengths and edit distances.
qsizetype characters(const QString& text) {
    return text.toUcs4().size();
}

// Choices of the match table: a diagonal step that pairs or doesn't, a lyric word skipped (up),
// a heard word skipped (left).
enum Step : std::uint8_t { diagonalMiss, diagonalPair, up, left };

// Splits a run of words while its text is longer than `budget` characters.
void halve(const Words& piece, qsizetype budget, QList<Words>& out) {
    QStringList texts;
    for (const Word& w : piece)
        texts.append(w.text);
    if (piece.size() >= 2 && BCText::length(texts.join(u' ')) > budget) {
        const qsizetype half = piece.size() / 2;
        halve(piece.mid(0, half), budget, out);
        halve(piece.mid(half), budget, out);
        return;
    }
    out.append(piece);
}

} // namespace

Lyrics lyricWords(const QString& text) {
    static const QRegularExpression breaks(QStringLiteral("\\r\\n|\\r|\\n|\\x{2028}|\\x{2029}"));
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    Lyrics lyrics;
    for (const QString& raw : text.split(breaks)) {
        const QString line = BCText::trimBlanks(raw);
        if (line.isEmpty())
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']'))
            continue;
        if (line.startsWith(u'(') && line.endsWith(u')') && BCText::length(line) < 24)
            continue;
        Words words;
        const int index = int(lyrics.lines.size());
        for (const QString& piece : line.split(spaces, Qt::SkipEmptyParts))
            if (!key(piece).isEmpty())
                words.append({piece, index, 0, 0, false});
        if (words.isEmpty())
            continue;
        lyrics.lines.append(line);
        lyrics.words += words;
    }
    return lyrics;
}

QString key(const QString& word) {
    return CaptionMath::wordKey(word);
}

double similarity(const QString& a, const QString& b) {
    if (a == b)
        return 1;
    if (a.isEmpty() || b.isEmpty())
        return 0;
    const QList<uint> x = a.toUcs4();
    const QList<uint> y = b.toUcs4();
    std::vector<qsizetype> row(size_t(y.size()) + 1);
    for (qsizetype j = 0; j <= y.size(); ++j)
        row[size_t(j)] = j;
    for (qsizetype i = 1; i <= x.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= y.size(); ++j) {
            const qsizetype above = row[size_t(j)];
            row[size_t(j)] = std::min(
                {above + 1, row[size_t(j - 1)] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    const double longer = double(std::max(x.size(), y.size()));
    return 1.0 - double(row[size_t(y.size())]) / longer;
}

QList<std::optional<qsizetype>> match(const QStringList& lyric, const QStringList& heard,
                                      double minSimilarity, std::stop_token stop) {
    const size_t n = size_t(lyric.size());
    const size_t m = size_t(heard.size());
    QList<std::optional<qsizetype>> pairs(qsizetype(n), std::nullopt);
    if (n == 0 || m == 0)
        return pairs;
    if ((n + 1) > maxTableCells / (m + 1))
        throw BCError(QStringLiteral("The lyrics and the recording are too long to line up in one "
                                     "go. Try a shorter song or fewer lyric lines."),
                      QStringLiteral("match table %1 × %2").arg(n + 1).arg(m + 1));

    // Scores of the row above and of this row; every choice is kept for the trace-back.
    const size_t width = m + 1;
    std::vector<std::uint8_t> steps((n + 1) * width, left);
    std::vector<double> above(width);
    std::vector<double> current(width);
    for (size_t j = 0; j <= m; ++j)
        above[j] = -0.2 * double(j);
    for (size_t i = 1; i <= n; ++i) {
        if (stop.stop_requested())
            throw BCCancelled{};
        current[0] = -0.4 * double(i);
        steps[i * width] = up;
        for (size_t j = 1; j <= m; ++j) {
            const double s = similarity(lyric[qsizetype(i - 1)], heard[qsizetype(j - 1)]);
            const bool pair = s >= minSimilarity;
            const double diagonal = above[j - 1] + (pair ? s + 1.0 : -0.6);
            const double skipLyric = above[j] - 0.4;
            const double skipHeard = current[j - 1] - 0.2;
            if (diagonal >= skipLyric && diagonal >= skipHeard) {
                current[j] = diagonal;
                steps[i * width + j] = pair ? diagonalPair : diagonalMiss;
            } else if (skipLyric >= skipHeard) {
                current[j] = skipLyric;
                steps[i * width + j] = up;
            } else {
                current[j] = skipHeard;
                steps[i * width + j] = left;
            }
        }
        std::swap(above, current);
    }

    size_t i = n;
    size_t j = m;
    while (i > 0 || j > 0) {
        const std::uint8_t step = i == 0   ? std::uint8_t(left)
                                  : j == 0 ? std::uint8_t(up)
                                           : steps[i * width + j];
        switch (step) {
        case diagonalPair:
            pairs[qsizetype(i - 1)] = qsizetype(j - 1);
            [[fallthrough]];
        case diagonalMiss:
            --i;
            --j;
            break;
        case up:
            --i;
            break;
        default:
            --j;
            break;
        }
    }
    return pairs;
}

void fillGaps(Words& words, double duration) {
    const qsizetype count = words.size();
    qsizetype i = 0;
    while (i < count) {
        if (words[i].matched) {
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        while (j < count && !words[j].matched && words[j].line == words[i].line)
            ++j;
        const double n = double(j - i);
        qsizetype next = j;
        while (next < count && !words[next].matched)
            ++next;
        const bool hasNext = next < count;
        const double g = double(next - j);

        double from = 0;
        if (i > 0)
            from = words[i - 1].end;
        else if (hasNext)
            from = std::max(words[next].start - 0.45 * n, 0.0);
        double to = 0;
        if (hasNext)
            to = g == 0 ? words[next].start : from + (words[next].start - from) * n / (n + g);
        else
            to = std::min(from + 0.45 * n, std::max(from + 0.1, duration));
        const double span = std::min(0.7 * n, std::max(0.05 * n, to - from));

        double at = from;
        if (hasNext && g == 0 &&
            (i == 0 || words[i - 1].line != words[i].line || words[j].line == words[i].line))
            at = std::max(to - span, 0.0); // never before the song starts

        double weights = 0;
        for (qsizetype k = i; k < j; ++k)
            weights += double(std::max<qsizetype>(characters(key(words[k].text)), 2));
        for (qsizetype k = i; k < j; ++k) {
            const double weight = double(std::max<qsizetype>(characters(key(words[k].text)), 2));
            words[k].start = at;
            at += span * weight / weights;
            words[k].end = at;
        }
        i = j;
    }
}

Captions captions(const Words& words, const QStringList& lines, double duration,
                  const CaptionMath::Rules& rules) {
    const qsizetype budget = qsizetype(rules.maxCharsPerLine) * rules.maxLines;
    Captions made;
    for (qsizetype line = 0; line < lines.size(); ++line) {
        Words own;
        for (const Word& w : words)
            if (w.line == line)
                own.append(w);
        if (own.isEmpty())
            continue;
        QList<Words> pieces;
        halve(own, budget, pieces);
        for (const Words& piece : pieces) {
            QStringList texts;
            for (const Word& w : piece)
                texts.append(w.text);
            made.append(Caption::make(
                piece.first().start, piece.last().end + 0.35,
                CaptionMath::wrap(texts.join(u' '), rules.maxCharsPerLine, rules.maxLines)));
        }
    }
    for (qsizetype k = 0; k < made.size(); ++k) {
        Caption& c = made[k];
        if (k + 1 < made.size())
            c.end = std::min(c.end, made[k + 1].start);
        if (duration > 0)
            c.end = std::min(c.end, duration);
        c.end = std::max(c.end, c.start + 0.3);
    }
    return made;
}

Result align(const QString& lyrics, const TimedWords& heard, double duration,
             const CaptionMath::Rules& rules, std::stop_token stop) {
    Lyrics parsed = lyricWords(lyrics);
    Result result;
    if (parsed.words.isEmpty())
        return result;

    // Words without a usable time can't time a lyric, and an unknown length is no length.
    if (!std::isfinite(duration))
        duration = 0;
    TimedWords kept;
    QStringList heardKeys;
    for (const TimedWord& w : CaptionMath::withUsableTimes(heard)) {
        const QString k = key(w.text);
        if (k.isEmpty())
            continue;
        kept.append(w);
        heardKeys.append(k);
    }
    QStringList lyricKeys;
    for (const Word& w : parsed.words)
        lyricKeys.append(key(w.text));
    const auto pairs = match(lyricKeys, heardKeys, 0.5, stop);

    Words& words = parsed.words;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (!pairs[i])
            continue;
        const TimedWord& h = kept[*pairs[i]];
        words[i].end = h.start + h.duration;
        words[i].start =
            std::max(h.start, words[i].end - (0.2 + 0.07 * double(characters(lyricKeys[i]))));
        words[i].matched = true;
    }
    // A matched word may not start before the previous matched word ends.
    double lastEnd = 0;
    int matched = 0;
    for (Word& w : words) {
        if (!w.matched)
            continue;
        if (w.start < lastEnd) {
            w.matched = false;
            continue;
        }
        lastEnd = w.end;
        ++matched;
    }
    fillGaps(words, duration);
    result.captions = captions(words, parsed.lines, duration, rules);
    result.words = words;
    result.matched = matched;
    result.total = int(words.size());
    return result;
}

} // namespace LyricAlign
