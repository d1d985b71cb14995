#pragma once

#include <QString>

namespace BCTime {

// Clock text of a time in seconds: "1:05", "1:02:05", or with tenths "1:05.9". Times are cut,
// never rounded up; negative and non-finite times read as zero, huge ones saturate.
QString clock(double seconds, bool tenths);

} // namespace BCTime
