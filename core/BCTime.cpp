#include "BCTime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace BCTime {

QString clock(double seconds, bool tenths) {
    // Work in whole units (tenths or seconds) so that the text never depends on float printing
    // or on the process locale.
    const double scale = tenths ? 10.0 : 1.0;
    std::int64_t units = 0;
    if (std::isfinite(seconds) && seconds > 0) {
        const double scaled = std::floor(seconds * scale);
        units = scaled >= 0x1p63 ? INT64_MAX : static_cast<std::int64_t>(scaled);
    }
    const std::int64_t whole = tenths ? units / 10 : units;
    const std::int64_t hours = whole / 3600;
    const std::int64_t minutes = (whole % 3600) / 60;
    const std::int64_t secs = whole % 60;

    char buffer[64];
    int n = whole < 3600 ? std::snprintf(buffer, sizeof buffer, "%lld:", (long long)minutes)
                         : std::snprintf(buffer, sizeof buffer, "%lld:%02lld:", (long long)hours,
                                         (long long)minutes);
    if (tenths)
        std::snprintf(buffer + n, sizeof buffer - n, "%02lld.%lld", (long long)secs,
                      (long long)(units % 10));
    else
        std::snprintf(buffer + n, sizeof buffer - n, "%02lld", (long long)secs);
    return QString::fromLatin1(buffer);
}

} // namespace BCTime
