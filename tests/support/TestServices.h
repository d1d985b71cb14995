#pragma once

#include "BCPreferences.h"
#include "ELMemoryKeyStore.h"
#include "ELSettings.h"
#include "LWStore.h"
#include "TestFiles.h"
#include "TestServices.h"
#include "WhisperModels.h"

#include <QByteArray>
#include <memory>
#include <optional>

// The application's services for one test: the preferences of the test program's private
// folders, model state and ElevenLabs settings of its own, and a key store in memory.
struct TestServices {
    // With `keyringAnswersLate`, the key store holds its answers (the settings' first question
    // included) until keys().release().
    explicit TestServices(bool keyringAnswersLate = false)
        : elevenLabs(heldKeyStore(keyringAnswersLate), *preferences) {}

    std::unique_ptr<BCPreferences> preferences = BCPreferences::user();
    WhisperModels models{*preferences};
    ELSettings elevenLabs;

    LWServices get() { return {*preferences, models, elevenLabs}; }
    ELMemoryKeyStore& keys() { return static_cast<ELMemoryKeyStore&>(elevenLabs.keys()); }

    // Puts `key` into the key store (nothing: no key) and waits until `hasKey` has caught up.
    bool useKey(const std::optional<QByteArray>& key) {
        keys().item = key;
        elevenLabs.refreshKey();
        return spinUntil(
            [&] { return elevenLabs.keyChecked() && elevenLabs.hasKey() == key.has_value(); });
    }

private:
    static std::unique_ptr<ELMemoryKeyStore> heldKeyStore(bool held) {
        auto keys = std::make_unique<ELMemoryKeyStore>();
        if (held)
            keys->hold();
        return keys;
    }
};
