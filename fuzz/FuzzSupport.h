#pragma once

#include "Caption.h"
#include "CaptionRules.h"

#include <QByteArray>
#include <QString>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <limits>

// Shared helpers of the fuzz targets: turning libFuzzer's bytes into the values the parsers and
// algorithms take, and a check that aborts (so libFuzzer records the input) when an invariant
// breaks.
namespace Fuzz {

inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

inline QString text(const uint8_t* data, size_t size) {
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

inline void check(bool condition) {
    if (!condition)
        std::abort();
}

// A time that is mostly plausible but can be negative, huge, infinite or not a number.
inline double time(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
        return std::numeric_limits<double>::quiet_NaN();
    case 1:
        return std::numeric_limits<double>::infinity();
    case 2:
        return -std::numeric_limits<double>::infinity();
    case 3:
        return in.ConsumeFloatingPoint<double>();
    case 4:
        return -in.ConsumeFloatingPointInRange<double>(0, 100);
    default:
        return in.ConsumeFloatingPointInRange<double>(0, 600);
    }
}

inline TimedWords words(FuzzedDataProvider& in, size_t maxWords) {
    TimedWords out;
    while (in.remaining_bytes() > 0 && size_t(out.size()) < maxWords) {
        TimedWord word;
        word.text = QString::fromStdString(in.ConsumeRandomLengthString(24));
        word.start = time(in);
        word.duration = time(in);
        out.append(word);
    }
    return out;
}

inline CaptionMath::Rules rules(FuzzedDataProvider& in) {
    CaptionMath::Rules r;
    if (!in.ConsumeBool())
        return r;
    r.maxCharsPerLine = in.ConsumeIntegral<int>();
    r.maxLines = in.ConsumeIntegral<int>();
    r.maxDuration = in.ConsumeFloatingPoint<double>();
    r.minDuration = in.ConsumeFloatingPoint<double>();
    r.pauseSplit = in.ConsumeFloatingPoint<double>();
    return r;
}

// Whether rules keep their times within a range where sums of times can't overflow.
inline bool moderate(const CaptionMath::Rules& r) {
    for (double value : {r.maxDuration, r.minDuration, r.pauseSplit})
        if (!(value > -1e6 && value < 1e6))
            return false;
    return true;
}

// Captions that can be placed on a timeline: finite times, starts at 0 or later, ends after
// starts.
inline void checkTimes(const Captions& captions) {
    for (const Caption& c : captions)
        check(std::isfinite(c.start) && std::isfinite(c.end) && c.start >= 0 && c.end >= c.start);
}

} // namespace Fuzz
