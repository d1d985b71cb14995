// ElevenLabs answers: the timed words of a speech-to-text answer, and error bodies.
#include "ELClient.h"
#include "ELError.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body = Fuzz::bytes(data, size);
    try {
        (void)ELClient::words(body);
    } catch (const ELError& error) {
        Fuzz::check(!error.message().isEmpty());
    }
    for (int status : {0, 400, 401, 402, 403, 404, 422, 429, 500, 503, 999}) {
        const ELError error = ELClient::mapError(status, body);
        Fuzz::check(!error.message().isEmpty());
    }
    return 0;
}
