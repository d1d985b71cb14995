// The per-media project file read back when a media file is opened again.
#include "FuzzSupport.h"
#include "LWProject.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto captions = LWProject::decode(Fuzz::bytes(data, size));
    if (captions) {
        // Whatever was accepted is written and read back unchanged.
        const auto again = LWProject::decode(LWProject::encode(*captions));
        Fuzz::check(again.has_value() && again->size() == captions->size());
    }
    return 0;
}
