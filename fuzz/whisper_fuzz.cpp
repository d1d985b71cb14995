// A whisper-cli JSON result, as read back from the engine's output file, and loop removal.
#include "FuzzSupport.h"
#include "WhisperEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray json = Fuzz::bytes(data, size);
    const TimedWords words = WhisperEngine::parse(json);
    // Loops are already dropped: dropping them again changes nothing.
    Fuzz::check(WhisperEngine::dropLoops(words).size() == words.size());

    // And loop removal on any word list.
    FuzzedDataProvider in(data, size);
    const TimedWords arbitrary = Fuzz::words(in, 400);
    Fuzz::check(WhisperEngine::dropLoops(arbitrary).size() <= arbitrary.size());
    return 0;
}
