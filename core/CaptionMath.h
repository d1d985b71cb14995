#pragma once

#include "Caption.h"
#include "CaptionRules.h"

#include <QChar>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>

struct CaptionStyle;

// Pure caption algorithms: time text, the caption file formats, and (elsewhere in this namespace)
// grouping and editing helpers. No state, no file I/O.
namespace CaptionMath {

// --- Time text ---

// "HH:MM:SS" + separator + milliseconds, rounded half up to the millisecond. Negative and
// non-finite times give zero; the hour field grows past two digits and saturates at 64 bits.
QString stamp(double seconds, QChar separator);

// Reads "S", "M:S" or "H:M:S", each with an optional fraction after the last field, with "," read
// as ".". Only plain decimal digits are accepted (no sign, exponent, "inf", "nan" or hex), and
// only totals whose milliseconds fit in 64 bits.
std::optional<double> parse(const QString& text);

// Index of the first caption with start <= t < end.
std::optional<qsizetype> active(const Captions& captions, double t);

// --- File formats ---

// The tidy-up every export applies: blank captions dropped, stable sort by start, starts
// clamped at 0, ends after starts, each caption cut back to where the next begins (but never to
// less than 0.05 s).
Captions normalized(const Captions& captions);

QString srt(const Captions& captions);
QString vtt(const Captions& captions);
// One paragraph, or with `timestamps` one "[clock] text" line per caption; ends with "\n".
QString txt(const Captions& captions, bool timestamps);

// Reads SubRip and WebVTT text; malformed blocks are skipped, never fatal.
Captions parseSubtitles(const QString& text);

// Advanced SubStation Alpha with one style drawn like CaptionRenderer draws `style` on a picture
// of `picture` pixels (1920 x 1080 when empty): the same face, size, colours, box or outline,
// case, position and margin. Needs a QGuiApplication to measure the font.
QString ass(const Captions& captions, const CaptionStyle& style, QSize picture);
// Reads the [Events] Dialogue lines of ASS or SSA in the order of their Format line; override
// blocks and drawings are dropped, \N is a line break, \n a space (a break with WrapStyle 2)
// and \h a space. Comments and malformed lines are skipped.
Captions parseAss(const QString& text);

// TTML in the IMSC 1.1 Text profile: media time base, clock times, a region for the style's
// position, its colours and box, and `language` (a BCP 47 tag, may be empty) as xml:lang.
QString ttml(const Captions& captions, const CaptionStyle& style, const QString& language);
// Reads the <p> elements of TTML (begin, end or dur in clock or offset time, frames and ticks
// at the document's rates, times nested in timed parents), with <br/> as a line break. External
// entities are never loaded; a document that stops being well-formed keeps the cues before.
Captions parseTtml(const QString& text);

// YouTube's SBV: "0:00:01.000,0:00:04.000", the text lines, a blank line.
QString sbv(const Captions& captions);
Captions parseSbv(const QString& text);

// The captions of a file in any format read above, told apart by their content.
Captions parseAnyCaptions(const QString& text);

// --- Grouping words into captions ---

// Median voice pitch in hertz of the span from `from` to `to` (seconds), or nothing when the
// span has no usable voice. Called from the grouping thread, in time order.
using PitchFunction = std::function<std::optional<double>(double from, double to)>;

// Turns the recognised words of a whole file into captions in time order: blank words dropped,
// words sorted by start, cut into sentences, long or slow sentences split at natural breaks,
// very short neighbours joined, each text wrapped with `wrap`, and times given a short linger.
// With a `pitch` function, a change of voice between sentences keeps them apart, and with
// `markSpeakers` such a caption starts with ">> ". An empty `pitch` means no speaker detection.
// Pure apart from `pitch`; every caption gets a fresh id. Any thread.
Captions group(const TimedWords& words, const Rules& rules, const PitchFunction& pitch = {},
               bool markSpeakers = false);

// The words that can be placed on a timeline, in the same order: a word whose start or end is
// not a finite number is dropped, a start before 0 becomes 0 and an end before the start becomes
// the start. Grouping and lyric alignment take their words through this.
TimedWords withUsableTimes(const TimedWords& words);

// Re-lays `text` on one line, or on two when it is longer than `maxCharsPerLine` characters
// (grapheme clusters), `maxLines` is above 1 and it has at least two words. Words are split at
// spaces and line feeds only; the two-line break goes where the lines overflow least and are
// most even. Never more than two lines; a single word longer than the limit is not broken.
// Wrapping a wrapped text again with the same limits gives the same text.
QString wrap(const QString& text, int maxCharsPerLine, int maxLines);

// Whether a word, as delivered with its punctuation, ends a sentence: a final "?", "!" or "…",
// or a full stop that does not end a known abbreviation ("Dr.", "etc."), an initial ("J.") or a
// short dotted abbreviation ("e.g."). Closing quotes and brackets around the word are ignored.
bool endsSentence(const QString& word);

// Comparison key of a word: compatibility-decomposed (so diacritics fall away), only letters and
// digits kept, lower-cased. "Été," and "ete" have the same key. Shared by grouping, loop removal
// and lyric alignment.
QString wordKey(const QString& word);

} // namespace CaptionMath
