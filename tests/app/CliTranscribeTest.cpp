// `lorowen-cli transcribe` run as a person would, with a stand-in whisper-cli and a model that
// counts as installed.
#include "../transcribe/FakeModelServer.h"
#include "CliRunner.h"
#include "InstalledModel.h"
#include "LWProject.h"
#include "MediaFixtures.h"
#include "SoftwareVulkan.h"
#include "TestFiles.h"
#include "WhisperDevices.h"
#include "WhisperModel.h"
#include "WhisperModels.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <signal.h>

namespace {

class CliTranscribe : public ::testing::Test {
protected:
    void SetUp() override {
        useFakeEngine(engine.root());
        media = fixtures.tone(QStringLiteral("talk.wav"), 2.0);
    }
    void TearDown() override {
        qunsetenv("BRCT_WHISPER_CLI");
        qunsetenv("FAKE_MODE");
    }

    // The default model as a download leaves it.
    static void installModel() { ::installModel(WhisperModel::byID(WhisperModel::defaultID())); }

    static CliRun finish(QProcess& process) { return finished(process); }
    static void start(QProcess& process, const QStringList& arguments) {
        process.start(cliWithFakeEngine(), QStringList{QStringLiteral("transcribe")} << arguments);
    }
    static CliRun run(const QStringList& arguments) {
        QProcess process;
        start(process, arguments);
        return finish(process);
    }

    MediaFixtures fixtures;
    TestFolder engine;
    TestFolder out;
    QString media;
};

TEST_F(CliTranscribe, WritesEveryOutputAndNoProjectFile) {
    installModel();
    const QString srt = out.path(QStringLiteral("talk.srt"));
    const QString vtt = out.path(QStringLiteral("talk.vtt"));
    const CliRun r = run({media, QStringLiteral("-o"), srt, QStringLiteral("-o"), vtt,
                          QStringLiteral("--language"), QStringLiteral("en-US")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(
        QStringLiteral("Made 1 captions with Whisper on this computer (processor).")))
        << r.out.toStdString();
    const QString srtText = QString::fromUtf8(out.read(QStringLiteral("talk.srt")));
    EXPECT_TRUE(srtText.startsWith(QStringLiteral("1\n00:00:00,"))) << srtText.toStdString();
    EXPECT_TRUE(srtText.contains(QStringLiteral("Hello there.")));
    EXPECT_TRUE(out.read(QStringLiteral("talk.vtt")).startsWith("WEBVTT"));
    const QStringList args = QString::fromUtf8(engine.read(QStringLiteral("args"))).split(u'\n');
    ASSERT_TRUE(args.contains(QStringLiteral("-l")));
    EXPECT_EQ(args[args.indexOf(QStringLiteral("-l")) + 1], QStringLiteral("en"));
    EXPECT_FALSE(QFile::exists(LWProject::fileFor(media)));
}

TEST_F(CliTranscribe, AMissingModelIsAnErrorWithoutDownload) {
    const QString srt = out.path(QStringLiteral("talk.srt"));
    const CliRun r = run({media, QStringLiteral("-o"), srt});
    EXPECT_EQ(r.status, 3);
    EXPECT_TRUE(r.err.contains(QStringLiteral("lorowen-cli models download")))
        << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(srt));
    EXPECT_FALSE(QFile::exists(engine.path(QStringLiteral("args"))));
}

TEST_F(CliTranscribe, DownloadFetchesWhatSongModeStillNeeds) {
    FakeModelServer server; // the child inherits the address of this local repository
    const QString detectorPath =
        QStringLiteral("/ggml-org/whisper-vad/resolve/main/ggml-silero-v5.1.2.bin");
    QFile detector(QStringLiteral(LOROWEN_TEST_MODELS "/ggml-silero-v5.1.2.bin"));
    ASSERT_TRUE(detector.open(QIODevice::ReadOnly));
    server.serve(detectorPath, {detector.readAll()});
    installModel();
    const QString srt = out.path(QStringLiteral("song.srt"));
    const CliRun refused = run({media, QStringLiteral("-o"), srt, QStringLiteral("--song")});
    EXPECT_EQ(refused.status, 3);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("--download"))) << refused.err.toStdString();
    EXPECT_TRUE(server.ranges(detectorPath).isEmpty());

    const CliRun r = run(
        {media, QStringLiteral("-o"), srt, QStringLiteral("--song"), QStringLiteral("--download")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(server.ranges(detectorPath).size(), 1);
    EXPECT_TRUE(WhisperModels::isInstalled(WhisperModel::voiceDetector(), WhisperModels::folder()));
    EXPECT_TRUE(r.out.contains(QStringLiteral("(Song mode, processor)")));
    EXPECT_TRUE(QString::fromUtf8(engine.read(QStringLiteral("args"))).contains(u"--vad"));
    EXPECT_TRUE(QFile::exists(srt));
}

TEST_F(CliTranscribe, RefusesBadUsage) {
    const QString srt = out.path(QStringLiteral("talk.srt"));
    const struct {
        const char* name;
        QStringList arguments;
        const char* problem;
    } cases[] = {
        {"no output", {media}, "give at least one output with -o"},
        {"unknown format", {media, "-o", out.path("talk.doc")}, "must end in .srt, .vtt or .txt"},
        {"unknown model", {media, "-o", srt, "--model", "huge"}, "unknown model huge"},
        {"two files", {media, media, "-o", srt}, "transcribe takes one media file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun r = run(c.arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.problem))) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(srt));
}

TEST_F(CliTranscribe, CtrlCStopsWithNothingWritten) {
    installModel();
    qputenv("FAKE_MODE", "hang");
    const QString srt = out.path(QStringLiteral("talk.srt"));
    QProcess process;
    start(process, {media, QStringLiteral("-o"), srt});
    ASSERT_TRUE(
        spinUntil([&] { return QFile::exists(engine.path(QStringLiteral("args"))); }, 60000));
    ::kill(pid_t(process.processId()), SIGINT);
    const CliRun r = finish(process);
    EXPECT_EQ(r.status, 130) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(srt));
}

// --device with the Vulkan loader's driver list pointed at nothing (no device at all): a name it
// doesn't know is a usage error, gpu is refused before the file is read, cpu and auto run on
// the processor and say so.
TEST_F(CliTranscribe, DeviceOptionChoosesTheProcessorOrRefuses) {
    installModel();
    const QString srt = out.path(QStringLiteral("talk.srt"));
    struct Case {
        const char* device;
        bool variant; // a graphics-card whisper-cli is there
        int status;
        QString said;
    };
    const QString processor = QStringLiteral("Made 1 captions with Whisper on this computer "
                                             "(processor).");
    const QList<Case> cases = {
        {"bogus", true, 2, "unknown device bogus (known: auto, gpu, cpu)"},
        {"gpu", true, 3, "No graphics card was found through Vulkan"},
        {"gpu", false, 3, "The graphics-card version of the Whisper engine isn't installed"},
        {"cpu", true, 0, processor},
        {"auto", true, 0, processor},
    };
    qputenv("VK_DRIVER_FILES", out.path(QStringLiteral("no-driver.json")).toUtf8());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.device) + (c.variant ? " with the variant" : ""));
        QFile::remove(engine.path(QStringLiteral("args")));
        if (c.variant)
            qputenv("BRCT_WHISPER_CLI_VULKAN", LOROWEN_FAKE_CLI);
        else
            qunsetenv("BRCT_WHISPER_CLI_VULKAN");
        const CliRun r = run({media, QStringLiteral("-o"), srt, QStringLiteral("--device"),
                              QString::fromLatin1(c.device)});
        EXPECT_EQ(r.status, c.status) << r.err.toStdString();
        EXPECT_TRUE((c.status == 0 ? r.out : r.err).contains(c.said))
            << r.out.toStdString() << r.err.toStdString();
        EXPECT_EQ(QFile::exists(engine.path(QStringLiteral("args"))), c.status == 0);
    }
    const CliRun listed = cli({QStringLiteral("models")});
    EXPECT_TRUE(listed.out.contains(QStringLiteral("Graphics cards (Vulkan): none found\n"
                                                   "Whisper runs on: the processor\n")))
        << listed.out.toStdString();
    qunsetenv("VK_DRIVER_FILES");
    qunsetenv("BRCT_WHISPER_CLI_VULKAN");
}

// The graphics-card path end to end on Mesa's software driver, accepted with
// BRCT_WHISPER_VULKAN_CPU=1, with stand-ins for the variant: one that answers, then one that
// fails and leaves the work to the processor.
TEST_F(CliTranscribe, DeviceGpuNamesTheCardOrTheFallback) {
    const auto software = softwareVulkanDevice();
    if (!software)
        GTEST_SKIP() << "no Vulkan software driver: install mesa-vulkan-drivers";
    installModel();
    const QString srt = out.path(QStringLiteral("talk.srt"));
    const QString failing =
        engine.write(QStringLiteral("failing-vulkan"), "#!/bin/sh\necho boom >&2\nexit 9\n");
    QFile::setPermissions(failing, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("BRCT_WHISPER_VULKAN_CPU", "1");
    qputenv("BRCT_WHISPER_CLI_VULKAN", LOROWEN_FAKE_CLI);

    const CliRun listed = cli({QStringLiteral("models")});
    EXPECT_TRUE(listed.out.contains(
        QStringLiteral("Whisper runs on: the graphics card (%1)").arg(software->name)))
        << listed.out.toStdString();

    CliRun r =
        run({media, QStringLiteral("-o"), srt, QStringLiteral("--device"), QStringLiteral("gpu")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(
        QStringLiteral("Made 1 captions with Whisper on this computer (graphics card: %1).")
            .arg(software->name)))
        << r.out.toStdString();

    qputenv("BRCT_WHISPER_CLI_VULKAN", failing.toUtf8());
    r = run({media, QStringLiteral("-o"), srt, QStringLiteral("--device"), QStringLiteral("gpu")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(
        QStringLiteral("Made 1 captions with Whisper on this computer (processor).")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("The graphics card failed (exit status 9); "
                                              "transcribed on the processor instead.")))
        << r.out.toStdString();
    EXPECT_TRUE(out.read(QStringLiteral("talk.srt")).contains("Hello there."));
    qunsetenv("BRCT_WHISPER_CLI_VULKAN");
    qunsetenv("BRCT_WHISPER_VULKAN_CPU");
}

} // namespace
