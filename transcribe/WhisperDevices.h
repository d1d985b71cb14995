#pragma once

#include <QList>
#include <QString>
#include <optional>

// The graphics cards Whisper can run on: Vulkan devices found through the Vulkan loader, which is
// opened at run time (the application starts and transcribes on the processor without it), and
// the choice between the graphics-card variant of whisper-cli and the processor one.
namespace WhisperDevices {

enum class Kind { discreteGpu, integratedGpu, virtualGpu, cpu, other };

struct Device {
    int index = 0; // position in the loader's list, as GGML_VK_VISIBLE_DEVICES counts
    QString name;
    Kind kind = Kind::other;
    bool vulkan12 = true; // ggml's Vulkan backend needs Vulkan 1.2
    bool operator==(const Device&) const = default;
};

// What a transcription asks for: `automatic` follows the preference, `gpu` wants a graphics
// card whatever the preference says, `cpu` the processor.
enum class Want { automatic, gpu, cpu };

// The devices `library` (dlopen) reports: vkCreateInstance, vkEnumeratePhysicalDevices and
// vkGetPhysicalDeviceProperties. Empty when the library, a driver or a device is missing.
// Blocking (a few milliseconds, up to a second with some drivers); any thread.
QList<Device> probe(const QString& library = QStringLiteral("libvulkan.so.1"));

// probe() run once per process on a thread of its own, started by the first call of either;
// `found` waits for it. `foundYet` tells whether it has been started and has ended; it starts
// nothing. A process that started it waits for it (`found`) before it ends: a driver still
// starting up while the process's statics are torn down may hang or crash. Any thread.
void findInBackground();
const QList<Device>& found();
bool foundYet();

// Whether a device counts as a graphics card: a discrete, integrated or virtual GPU with Vulkan
// 1.2, or with `acceptCpu` a CPU-type device too (Mesa's software driver, lavapipe).
bool usable(const Device& device, bool acceptCpu);

// BRCT_WHISPER_VULKAN_CPU=1 accepts CPU-type devices: tests and checks on machines without a
// graphics card run the graphics-card path on lavapipe with it (whisper-cli is then pointed at
// that device through GGML_VK_VISIBLE_DEVICES, as for every device).
bool acceptCpuFromEnvironment();

// The device a transcription runs on; nothing means the processor. `automatic` with the
// preference on, and `gpu`, take the first usable device (discrete before integrated before
// virtual before a CPU type), when the graphics-card variant is installed.
std::optional<Device> choose(Want want, bool preferenceOn, const QList<Device>& devices,
                             bool acceptCpu, bool variantInstalled);

// "discrete GPU", "integrated GPU", "virtual GPU", "CPU (software)", "other".
QString kindName(Kind kind);

// Why a device is not used ("needs Vulkan 1.2", "software rendering on the processor"), or
// nothing when it is usable.
std::optional<QString> whyNot(const Device& device, bool acceptCpu);

// The sentence when a graphics card is asked for (--device gpu) and none can be used.
QString noGpuSentence(const QList<Device>& devices, bool acceptCpu, bool variantInstalled);

// The sentence of a transcription that fell back to the processor; `reason` is short ("exit
// status 1", "the device was lost").
QString fallbackSentence(const QString& reason);

} // namespace WhisperDevices
