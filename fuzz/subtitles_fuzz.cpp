// SubRip and WebVTT text as read on import, then written back out in every caption format.
#include "CaptionMath.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Captions captions = CaptionMath::parseSubtitles(Fuzz::text(data, size));
    const Captions tidy = CaptionMath::normalized(captions);
    for (const Caption& c : tidy)
        Fuzz::check(c.start >= 0 && c.end > c.start);
    // What was written reads back without fault.
    (void)CaptionMath::parseSubtitles(CaptionMath::srt(tidy));
    (void)CaptionMath::parseSubtitles(CaptionMath::vtt(tidy));
    (void)CaptionMath::txt(tidy, true);
    (void)CaptionMath::txt(tidy, false);
    return 0;
}
