// TTML documents as read on import, then written back out as TTML and read again.
#include "CaptionMath.h"
#include "CaptionStyle.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Captions captions = CaptionMath::parseTtml(Fuzz::text(data, size));
    for (const Caption& c : captions)
        Fuzz::check(c.start >= 0 && c.end > c.start);
    // Whatever was read is written as a document that reads back to as many captions.
    const Captions again =
        CaptionMath::parseTtml(CaptionMath::ttml(captions, CaptionStyle{}, QStringLiteral("en")));
    Fuzz::check(again.size() == captions.size());
    return 0;
}
