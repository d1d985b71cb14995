#include "CaptionRules.h"

#include <QJsonValue>
#include <cmath>
#include <limits>

namespace CaptionMath {

namespace {

std::optional<double> number(const QJsonObject& object, QLatin1StringView key) {
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        return std::nullopt;
    return value.toDouble();
}

std::optional<int> whole(const QJsonObject& object, QLatin1StringView key) {
    const auto value = number(object, key);
    if (!value || std::trunc(*value) != *value || *value < std::numeric_limits<int>::min() ||
        *value > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(*value);
}

} // namespace

QJsonObject Rules::toJson() const {
    return QJsonObject{{"maxCharsPerLine", maxCharsPerLine},
                       {"maxLines", maxLines},
                       {"maxDuration", maxDuration},
                       {"minDuration", minDuration},
                       {"pauseSplit", pauseSplit}};
}

std::optional<Rules> Rules::fromJson(const QJsonObject& object) {
    const auto maxChars = whole(object, QLatin1StringView("maxCharsPerLine"));
    const auto lines = whole(object, QLatin1StringView("maxLines"));
    const auto longest = number(object, QLatin1StringView("maxDuration"));
    const auto shortest = number(object, QLatin1StringView("minDuration"));
    const auto pause = number(object, QLatin1StringView("pauseSplit"));
    if (!maxChars || !lines || !longest || !shortest || !pause)
        return std::nullopt;
    return Rules{*maxChars, *lines, *longest, *shortest, *pause};
}

} // namespace CaptionMath
