// Recognised words of any shape grouped into captions, with and without speaker detection.
#include "CaptionMath.h"
#include "FuzzSupport.h"

#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const CaptionMath::Rules rules = Fuzz::rules(in);
    const bool withPitch = in.ConsumeBool();
    const bool markSpeakers = in.ConsumeBool();
    const TimedWords words = Fuzz::words(in, 800);

    // The pitch answers come from the words' own times, so the same input gives the same run.
    qsizetype asked = 0;
    CaptionMath::PitchFunction pitch;
    if (withPitch) {
        pitch = [&](double from, double to) -> std::optional<double> {
            ++asked;
            if (words.isEmpty() || asked % 3 == 0)
                return std::nullopt;
            const TimedWord& w = words[asked % words.size()];
            return w.start * 100 + (to - from);
        };
    }
    const Captions captions = CaptionMath::group(words, rules, pitch, markSpeakers);
    if (Fuzz::moderate(rules))
        Fuzz::checkTimes(captions);
    return 0;
}
