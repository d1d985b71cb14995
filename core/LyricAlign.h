#pragma once

#include "Caption.h"
#include "CaptionRules.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <optional>
#include <stop_token>

// Times pasted lyrics against the words a recogniser heard: every lyric word stays exactly as
// typed, only its timing is guessed. Pure functions, any thread; times are seconds.
namespace LyricAlign {

// One lyric word.
struct Word {
    QString text;         // as pasted, punctuation kept
    int line = 0;         // index of its line among the kept lines
    double start = 0;     // 0 until timed
    double end = 0;       // 0 until timed
    bool matched = false; // timed from a heard word
    friend bool operator==(const Word&, const Word&) = default;
};
using Words = QList<Word>;

struct Lyrics {
    Words words;
    QStringList lines; // the kept lines, trimmed
};

struct Result {
    Words words;
    Captions captions;
    int matched = 0; // words timed from heard words
    int total = 0;   // lyric words
};

// The largest match table `match` builds (one choice byte per cell): about 8 000 lyric words
// against 8 000 heard words. Larger inputs are refused with a BCError.
inline constexpr std::size_t maxTableCells = std::size_t(64) << 20;

// The words of `text`, one line per caption; empty lines, section labels ("[Chorus]") and short
// parenthesised labels ("(x2)") are left out.
Lyrics lyricWords(const QString& text);

// Comparison form: lower-cased, diacritics folded away, letters and digits only.
QString key(const QString& word);

// 1 − Levenshtein distance / longer length, in characters; 1 for equal, 0 when either is empty.
double similarity(const QString& a, const QString& b);

// Global alignment of `lyric` keys against `heard` keys: for every lyric key the index of the
// heard key it is paired with (similarity at least `minSimilarity`), or nothing. Throws BCError
// when the table would be larger than maxTableCells, BCCancelled when `stop` fires.
QList<std::optional<qsizetype>> match(const QStringList& lyric, const QStringList& heard,
                                      double minSimilarity, std::stop_token stop = {});

// Times every unmatched word in place, between the matched ones (within `duration` at the end).
void fillGaps(Words& words, double duration);

// One caption per kept line, halved while longer than maxCharsPerLine × maxLines characters.
Captions captions(const Words& words, const QStringList& lines, double duration,
                  const CaptionMath::Rules& rules);

// The whole alignment. Throws what `match` throws.
Result align(const QString& lyrics, const TimedWords& heard, double duration,
             const CaptionMath::Rules& rules, std::stop_token stop = {});

} // namespace LyricAlign
