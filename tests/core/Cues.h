#pragma once

#include "Caption.h"
#include "CorePrinters.h"

#include <cmath>
#include <ostream>
#include <vector>

// A caption as the files see it: times to the millisecond, no identity.
struct Cue {
    qint64 startMs;
    qint64 endMs;
    QString text;
    friend bool operator==(const Cue&, const Cue&) = default;
};

inline void PrintTo(const Cue& cue, std::ostream* os) {
    *os << "{" << cue.startMs << ", " << cue.endMs << ", " << escapedForTest(cue.text) << "}";
}

inline std::vector<Cue> cuesOf(const Captions& captions) {
    std::vector<Cue> out;
    for (const Caption& c : captions)
        out.push_back({std::llround(c.start * 1000), std::llround(c.end * 1000), c.text});
    return out;
}
