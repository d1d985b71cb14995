// Time text as typed in a caption's start or end field.
#include "CaptionMath.h"
#include "FuzzSupport.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto seconds = CaptionMath::parse(Fuzz::text(data, size));
    if (seconds) {
        Fuzz::check(std::isfinite(*seconds) && *seconds >= 0);
        const QString stamped = CaptionMath::stamp(*seconds, u',');
        Fuzz::check(CaptionMath::parse(stamped).has_value());
    }
    return 0;
}
