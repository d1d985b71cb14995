// Which device Whisper runs on, from a list of Vulkan devices given by the test, and the loader
// itself when it is missing or when Mesa's software driver is installed.
#include "WhisperDevices.h"

#include <QDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

using WhisperDevices::Device;
using WhisperDevices::Kind;
using WhisperDevices::Want;

const Device software{0, "llvmpipe (LLVM 15.0.6, 256 bits)", Kind::cpu, true};
const Device integrated{1, "Intel(R) UHD Graphics 620", Kind::integratedGpu, true};
const Device discrete{2, "AMD Radeon RX 7600", Kind::discreteGpu, true};
const Device virtualCard{3, "Virtio-GPU Venus", Kind::virtualGpu, true};
const Device oldCard{4, "Old card", Kind::discreteGpu, false};

TEST(WhisperDevices, ChoiceFollowsTheDevicesThePreferenceAndTheRequest) {
    struct Case {
        const char* what;
        Want want;
        bool preferenceOn;
        QList<Device> devices;
        bool acceptCpu;
        bool installed;
        std::optional<Device> chosen;
    };
    const QList<Case> cases = {
        {"no loader or no driver", Want::automatic, true, {}, false, true, std::nullopt},
        {"software driver only", Want::automatic, true, {software}, false, true, std::nullopt},
        {"software driver, accepted", Want::automatic, true, {software}, true, true, software},
        {"a GPU", Want::automatic, true, {software, integrated}, false, true, integrated},
        {"discrete before integrated",
         Want::automatic,
         true,
         {integrated, discrete},
         false,
         true,
         discrete},
        {"a GPU before an accepted software driver",
         Want::automatic,
         true,
         {software, virtualCard},
         true,
         true,
         virtualCard},
        {"Vulkan 1.1 only", Want::automatic, true, {oldCard}, false, true, std::nullopt},
        {"preference off", Want::automatic, false, {discrete}, false, true, std::nullopt},
        {"--device gpu over the preference", Want::gpu, false, {discrete}, false, true, discrete},
        {"--device gpu without one", Want::gpu, true, {software}, false, true, std::nullopt},
        {"--device cpu", Want::cpu, true, {discrete}, false, true, std::nullopt},
        {"no graphics-card variant", Want::gpu, true, {discrete}, false, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<Device> chosen =
            WhisperDevices::choose(c.want, c.preferenceOn, c.devices, c.acceptCpu, c.installed);
        EXPECT_EQ(chosen.has_value(), c.chosen.has_value());
        if (chosen && c.chosen) {
            EXPECT_EQ(chosen->index, c.chosen->index);
        }
    }
}

TEST(WhisperDevices, RefusalSaysWhatIsMissing) {
    EXPECT_EQ(WhisperDevices::noGpuSentence({software, oldCard}, false, true),
              "No graphics card that Whisper can use was found (llvmpipe (LLVM 15.0.6, 256 bits): "
              "software rendering on the processor; Old card: needs Vulkan 1.2). Whisper can run "
              "on the processor: leave out --device gpu.");
    EXPECT_TRUE(WhisperDevices::noGpuSentence({}, false, true)
                    .startsWith("No graphics card was "
                                "found through Vulkan"));
    EXPECT_TRUE(
        WhisperDevices::noGpuSentence({discrete}, false, false).contains("isn't installed"));
}

TEST(WhisperDevices, NoLoaderIsNoDevices) {
    EXPECT_TRUE(WhisperDevices::probe(QStringLiteral("libvulkan-not-here.so.1")).isEmpty());
    EXPECT_TRUE(WhisperDevices::probe(QStringLiteral("libc.so.6")).isEmpty()); // not a loader
}

// Mesa's software driver (mesa-vulkan-drivers) as the loader reports it; with no driver at all
// (VK_DRIVER_FILES naming nothing) the list is empty.
TEST(WhisperDevices, TheLoaderListsTheSoftwareDriverAsACpuDevice) {
    const QList<Device> devices = WhisperDevices::probe();
    const auto lavapipe = std::find_if(devices.begin(), devices.end(), [](const Device& d) {
        return d.kind == Kind::cpu && d.name.startsWith("llvmpipe");
    });
    if (lavapipe == devices.end())
        GTEST_SKIP() << "no Vulkan loader with Mesa's software driver (mesa-vulkan-drivers)";
    EXPECT_TRUE(lavapipe->vulkan12);
    EXPECT_FALSE(WhisperDevices::usable(*lavapipe, false));
    EXPECT_TRUE(WhisperDevices::usable(*lavapipe, true));

    qputenv("VK_DRIVER_FILES", QDir::temp().filePath("no-driver.json").toUtf8());
    const QList<Device> none = WhisperDevices::probe();
    qunsetenv("VK_DRIVER_FILES");
    EXPECT_TRUE(none.isEmpty());
}

} // namespace
