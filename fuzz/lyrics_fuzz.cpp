// Pasted lyrics aligned against whatever words a recogniser heard.
#include "BCError.h"
#include "FuzzSupport.h"
#include "LyricAlign.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const QString lyrics = QString::fromStdString(in.ConsumeRandomLengthString(2000));
    const double duration = Fuzz::time(in);
    const CaptionMath::Rules rules = Fuzz::rules(in);
    const TimedWords heard = Fuzz::words(in, 600);
    try {
        const LyricAlign::Result result = LyricAlign::align(lyrics, heard, duration, rules);
        Fuzz::check(result.matched <= result.total && result.total == result.words.size());
        Fuzz::checkTimes(result.captions);
    } catch (const BCError&) {
    }
    return 0;
}
