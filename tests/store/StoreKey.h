#pragma once

#include "ELMemoryKeyStore.h"
#include "ELSettings.h"
#include "TestFiles.h"

#include <QByteArray>
#include <optional>

// Puts `key` into the in-memory key store of the shared ElevenLabs settings (nothing: no key)
// and waits until `hasKey` has caught up. TestMain makes every key store an in-memory one.
inline bool useKey(const std::optional<QByteArray>& key) {
    ELSettings& el = ELSettings::shared();
    auto* memory = dynamic_cast<ELMemoryKeyStore*>(&el.keys());
    if (!memory)
        return false;
    memory->item = key;
    el.refreshKey();
    return spinUntil([&] { return el.keyChecked() && el.hasKey() == key.has_value(); });
}
