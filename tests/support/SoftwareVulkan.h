#pragma once

#include "WhisperDevices.h"

#include <algorithm>
#include <optional>

// The software (CPU-type) device the Vulkan loader lists, such as Mesa's lavapipe, if any: the
// graphics-card tests run on it when the machine has no card.
inline std::optional<WhisperDevices::Device> softwareVulkanDevice() {
    const QList<WhisperDevices::Device> devices = WhisperDevices::probe();
    const auto found =
        std::find_if(devices.begin(), devices.end(), [](const WhisperDevices::Device& d) {
            return d.kind == WhisperDevices::Kind::cpu;
        });
    if (found == devices.end())
        return std::nullopt;
    return *found;
}
