#pragma once

// GoogleTest printers and helpers for the ElevenLabs layer's values, so that a failed
// comparison shows readable values.

#include "../core/CorePrinters.h"
#include "ELClient.h"
#include "ELError.h"

#include <QByteArray>
#include <optional>
#include <ostream>

inline void PrintTo(const ELError& error, std::ostream* os) {
    *os << escapedForTest(error.message());
}

inline void PrintTo(const TimedWord& word, std::ostream* os) {
    os->precision(17);
    *os << "{" << escapedForTest(word.text) << ", " << word.start << ", " << word.duration << "}";
}

inline void PrintTo(const ELVoice& voice, std::ostream* os) {
    *os << "{" << escapedForTest(voice.id) << ", " << escapedForTest(voice.name) << ", "
        << escapedForTest(voice.category) << ", "
        << (voice.previewURL ? escapedForTest(*voice.previewURL) : std::string("none")) << "}";
}

inline void PrintTo(const ELModel& model, std::ostream* os) {
    *os << "{" << escapedForTest(model.id) << ", " << escapedForTest(model.name) << ", "
        << model.maxChars << "}";
}

// The ELError that `work` throws, or nothing when it throws none.
template <typename Work> std::optional<ELError> elErrorOf(const Work& work) {
    try {
        work();
    } catch (const ELError& error) {
        return error;
    }
    return std::nullopt;
}
