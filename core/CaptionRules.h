#pragma once

namespace CaptionMath {

// Line and timing rules for making captions. Lengths are user-perceived characters, times
// seconds.
struct Rules {
    int maxCharsPerLine = 42; // values below 8 count as 8 when grouping
    int maxLines = 2;         // values below 1 count as 1; the wrapper makes at most two lines
    double maxDuration = 6.0; // longest caption of two or more words
    double minDuration = 1.0; // shortest caption on screen
    double pauseSplit = 0.8;  // a longer silence is a strong break

    friend bool operator==(const Rules&, const Rules&) = default;
};

} // namespace CaptionMath
