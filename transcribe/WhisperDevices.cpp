// Vulkan devices through the loader opened with dlopen: the Vulkan headers give the types only,
// so nothing links against libvulkan and a machine without it simply has no devices.
#include "WhisperDevices.h"

#define VK_NO_PROTOTYPES
#include <vulkan/vulkan.h>

#include <QtGlobal>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <dlfcn.h>
#include <future>
#include <vector>

namespace WhisperDevices {

namespace {

Kind kindOf(VkPhysicalDeviceType type) {
    switch (type) {
    case VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU:
        return Kind::discreteGpu;
    case VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU:
        return Kind::integratedGpu;
    case VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU:
        return Kind::virtualGpu;
    case VK_PHYSICAL_DEVICE_TYPE_CPU:
        return Kind::cpu;
    default:
        return Kind::other;
    }
}

// Lower is preferred.
int rank(Kind kind) {
    switch (kind) {
    case Kind::discreteGpu:
        return 0;
    case Kind::integratedGpu:
        return 1;
    case Kind::virtualGpu:
        return 2;
    case Kind::cpu:
        return 3;
    case Kind::other:
        break;
    }
    return 4;
}

template <typename F> F proc(PFN_vkGetInstanceProcAddr get, VkInstance instance, const char* name) {
    return reinterpret_cast<F>(get(instance, name));
}

std::atomic<bool> begun{false};

std::shared_future<QList<Device>>& search() {
    static std::shared_future<QList<Device>> devices = [] {
        begun = true;
        return std::async(std::launch::async, [] { return probe(); }).share();
    }();
    return devices;
}

} // namespace

QList<Device> probe(const QString& library) {
    // Left loaded: some drivers do not survive being unloaded, and the loader is small.
    void* loader = dlopen(library.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!loader)
        return {};
    const auto get =
        reinterpret_cast<PFN_vkGetInstanceProcAddr>(dlsym(loader, "vkGetInstanceProcAddr"));
    if (!get)
        return {};
    const auto create = proc<PFN_vkCreateInstance>(get, nullptr, "vkCreateInstance");
    if (!create)
        return {};

    VkApplicationInfo app{};
    app.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO;
    app.pApplicationName = "BRCT Lorowen Pro";
    app.apiVersion = VK_API_VERSION_1_1;
    VkInstanceCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
    info.pApplicationInfo = &app;
    VkInstance instance = nullptr;
    if (create(&info, nullptr, &instance) != VK_SUCCESS || !instance)
        return {};
    const auto destroy = proc<PFN_vkDestroyInstance>(get, instance, "vkDestroyInstance");
    const auto enumerate =
        proc<PFN_vkEnumeratePhysicalDevices>(get, instance, "vkEnumeratePhysicalDevices");
    const auto properties =
        proc<PFN_vkGetPhysicalDeviceProperties>(get, instance, "vkGetPhysicalDeviceProperties");

    QList<Device> devices;
    uint32_t count = 0;
    if (enumerate && properties && enumerate(instance, &count, nullptr) == VK_SUCCESS) {
        std::vector<VkPhysicalDevice> handles(count);
        const VkResult listed = enumerate(instance, &count, handles.data());
        if (listed == VK_SUCCESS || listed == VK_INCOMPLETE) {
            for (uint32_t i = 0; i < count; ++i) {
                VkPhysicalDeviceProperties p{};
                properties(handles[i], &p);
                devices.append({int(i), QString::fromUtf8(p.deviceName).trimmed(),
                                kindOf(p.deviceType), p.apiVersion >= VK_API_VERSION_1_2});
            }
        }
    }
    if (destroy)
        destroy(instance, nullptr);
    return devices;
}

void findInBackground() {
    (void)search();
}

const QList<Device>& found() {
    return search().get();
}

bool foundYet() {
    return begun && search().wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

bool usable(const Device& device, bool acceptCpu) {
    return !whyNot(device, acceptCpu).has_value();
}

bool acceptCpuFromEnvironment() {
    return qEnvironmentVariable("BRCT_WHISPER_VULKAN_CPU") == QStringLiteral("1");
}

std::optional<Device> choose(Want want, bool preferenceOn, const QList<Device>& devices,
                             bool acceptCpu, bool variantInstalled) {
    if (want == Want::cpu || (want == Want::automatic && !preferenceOn) || !variantInstalled)
        return std::nullopt;
    std::optional<Device> best;
    for (const Device& device : devices) {
        if (usable(device, acceptCpu) && (!best || rank(device.kind) < rank(best->kind)))
            best = device;
    }
    return best;
}

QString kindName(Kind kind) {
    switch (kind) {
    case Kind::discreteGpu:
        return QStringLiteral("discrete GPU");
    case Kind::integratedGpu:
        return QStringLiteral("integrated GPU");
    case Kind::virtualGpu:
        return QStringLiteral("virtual GPU");
    case Kind::cpu:
        return QStringLiteral("CPU (software)");
    case Kind::other:
        break;
    }
    return QStringLiteral("other");
}

std::optional<QString> whyNot(const Device& device, bool acceptCpu) {
    if (device.kind == Kind::other)
        return QStringLiteral("not a graphics card");
    if (device.kind == Kind::cpu && !acceptCpu)
        return QStringLiteral("software rendering on the processor");
    if (!device.vulkan12)
        return QStringLiteral("needs Vulkan 1.2");
    return std::nullopt;
}

QString noGpuSentence(const QList<Device>& devices, bool acceptCpu, bool variantInstalled) {
    if (!variantInstalled)
        return QStringLiteral("The graphics-card version of the Whisper engine isn't installed "
                              "(helpers/whisper-cli-vulkan), so Whisper can only run on the "
                              "processor.");
    if (devices.isEmpty())
        return QStringLiteral("No graphics card was found through Vulkan (is the driver, "
                              "mesa-vulkan-drivers or the card maker's, installed?). Whisper can "
                              "run on the processor: leave out --device gpu.");
    QStringList seen;
    for (const Device& device : devices)
        seen.append(QStringLiteral("%1: %2").arg(
            device.name, whyNot(device, acceptCpu).value_or(QStringLiteral("usable"))));
    return QStringLiteral("No graphics card that Whisper can use was found (%1). Whisper can run "
                          "on the processor: leave out --device gpu.")
        .arg(seen.join(QStringLiteral("; ")));
}

QString fallbackSentence(const QString& reason) {
    return QStringLiteral("The graphics card failed (%1); transcribed on the processor instead.")
        .arg(reason);
}

} // namespace WhisperDevices
