#pragma once

#include <QJsonObject>
#include <optional>

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

    // Keyed object "maxCharsPerLine", "maxLines", "maxDuration", "minDuration", "pauseSplit".
    // Reading needs all five keys as numbers, the first two whole and within `int`; unknown keys
    // are ignored. Values are not clamped here (grouping floors them).
    QJsonObject toJson() const;
    static std::optional<Rules> fromJson(const QJsonObject& object);
};

} // namespace CaptionMath
