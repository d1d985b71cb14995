#pragma once

#include "Caption.h"

#include <QChar>
#include <QString>
#include <optional>

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

} // namespace CaptionMath
