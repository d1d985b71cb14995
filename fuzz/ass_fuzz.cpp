// ASS and SSA text as read on import, then written back out as SBV and read again.
#include "BCText.h"
#include "CaptionMath.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Captions captions = CaptionMath::parseAss(Fuzz::text(data, size));
    for (const Caption& c : captions)
        Fuzz::check(c.start >= 0 && c.end > c.start &&
                    !BCText::trimBlanksAndBreaks(c.text).isEmpty());
    (void)CaptionMath::parseSbv(CaptionMath::sbv(captions));
    return 0;
}
