// The whisper-cli protocol against a stand-in script: canned streams, canned JSON, exit codes
// and a child that hangs.
#include "../core/CorePrinters.h"
#include "BCError.h"
#include "BCSha256.h"
#include "TestFiles.h"
#include "WhisperEngine.h"
#include "WhisperModels.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>
#include <thread>

namespace {

const QByteArray twoWords = R"({"transcription": [
    {"offsets": {"from": 0, "to": 500}, "text": " Hi"},
    {"offsets": {"from": 500, "to": 1000}, "text": " there."}]})";

QString message(const std::function<void()>& body) {
    try {
        body();
    } catch (const BCError& e) {
        return e.message();
    } catch (const BCCancelled&) {
        return QStringLiteral("cancelled");
    }
    return {};
}

// A fake engine, a fake model installed in the models folder, and two seconds of sound.
class WhisperFakeCli : public ::testing::Test {
protected:
    void SetUp() override {
        QDir(WhisperModels::folder()).removeRecursively();
        qputenv("BRCT_WHISPER_CLI", LOROWEN_FAKE_CLI);
        qputenv("FAKE_DIR", dir.root().toUtf8());
        qunsetenv("FAKE_MODE");
        qunsetenv("FAKE_EXIT");

        const QByteArray bytes(100, 'm');
        model = {"fake", "Fake", "fake.bin", 100, BCSha256::ofBytes(bytes), {}, {}};
        TestFolder download;
        WhisperModels::install(download.write("fake.bin", bytes), model, WhisperModels::folder());
        samples.assign(32000, 0.0f);
    }
    void TearDown() override { qunsetenv("BRCT_WHISPER_CLI"); }

    void canned(const QByteArray& out, const QByteArray& err, std::optional<QByteArray> json,
                int exit = 0) {
        dir.write("stdout", out);
        dir.write("stderr", err);
        QFile::remove(dir.path("json"));
        if (json)
            dir.write("json", *json);
        qputenv("FAKE_EXIT", QByteArray::number(exit));
    }
    QStringList args() const { return QString::fromUtf8(dir.read("args")).split(u'\n'); }
    QString runFolder() const {
        const QStringList a = args();
        return QFileInfo(a[a.indexOf("-f") + 1]).path();
    }

    TimedWords transcribe(WhisperEngine::Options options = {}, std::stop_token stop = {},
                          QList<double>* progress = nullptr) {
        if (options.model.id.isEmpty())
            options.model = model;
        return WhisperEngine::transcribe(samples, options, false, stop, [&](double f) {
            if (progress)
                progress->append(f);
        });
    }

    TestFolder dir;
    WhisperModel model;
    std::vector<float> samples;
};

TEST_F(WhisperFakeCli, RunReportsProgressAndReturnsTheWords) {
    canned("[00:00:00.000 --> 00:00:00.500]   Hi\n[00:00:00.500 --> 00:00:01.000]   there.\n",
           "whisper_print_progress_callback: progress = 75%\n", twoWords);
    QList<double> progress;
    const TimedWords words = transcribe({}, {}, &progress);

    EXPECT_EQ(words, WhisperEngine::parse(twoWords));
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last(), 1.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_LE(progress[progress.size() - 2], 0.99);
    EXPECT_NEAR(progress[progress.size() - 2], 0.75, 1e-9);

    const QStringList a = args();
    EXPECT_EQ(a[0], "-m");
    EXPECT_EQ(a[1], WhisperModels::folder() + "/fake.bin");
    EXPECT_TRUE(QFileInfo(runFolder()).fileName().startsWith("brct-lw-whisper-"));
    EXPECT_EQ(a[a.indexOf("-f") + 1], runFolder() + "/in.wav");
    EXPECT_EQ(a[a.indexOf("-of") + 1], runFolder() + "/out");
    EXPECT_EQ(dir.read("mode").trimmed(), "700"); // the person's speech is private
    EXPECT_EQ(dir.read("wav").trimmed(), "yes");
    EXPECT_FALSE(QFileInfo::exists(runFolder()));
}

TEST_F(WhisperFakeCli, FailuresCarryTheStatusAndTheLastLogLines) {
    struct Case {
        const char* what;
        QByteArray err;
        std::optional<QByteArray> json;
        int exit;
        QString sentence;
    };
    const QString stopped = QStringLiteral("The Whisper engine stopped with an error (%1).");
    const QList<Case> cases = {
        {"exit 3", "one\ntwo\n\nthree\nfour\n", twoWords, 3, stopped.arg(3) + " two three four"},
        // whisper-cli refuses an argument with "error:" and still exits 0.
        {"error line", "error: unknown argument: -zz\n", std::nullopt, 0,
         stopped.arg(0) + " error: unknown argument: -zz"},
        {"error line beside a result", "error: unknown language 'xx'\n", twoWords, 0,
         stopped.arg(0) + " error: unknown language 'xx'"},
        {"no result", "", std::nullopt, 0, stopped.arg(0)},
        {"not JSON", "", "{\"transcription\": [", 0, stopped.arg(0)},
        {"no transcription", "", R"({"result": {}})", 0, stopped.arg(0)},
        {"bad UTF-8", "", "{\"transcription\": [{\"offsets\": {}, \"text\": \"\xff\xfe\"}]}", 0,
         stopped.arg(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        canned({}, c.err, c.json, c.exit);
        EXPECT_EQ(message([&] { transcribe(); }), c.sentence);
        EXPECT_FALSE(QFileInfo::exists(runFolder()));
    }
}

TEST_F(WhisperFakeCli, EmptyResultIsNoWordsNotAnError) {
    canned({}, {}, R"({"transcription": []})");
    EXPECT_TRUE(transcribe().isEmpty());
}

TEST_F(WhisperFakeCli, StopTerminatesTheChildAndRemovesTheFolder) {
    struct Case {
        const char* mode;
        qint64 atLeastMs;
        qint64 belowMs;
    };
    // A child that ignores the terminate signal is killed two seconds later.
    for (const Case& c : {Case{"hang", 0, 1900}, Case{"stubborn", 1900, 10000}}) {
        SCOPED_TRACE(c.mode);
        canned({}, {}, twoWords);
        qputenv("FAKE_MODE", c.mode);
        std::stop_source stop;
        std::thread stopper([&] {
            while (!QFileInfo::exists(dir.path("args")))
                QThread::msleep(10);
            stop.request_stop();
        });
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(message([&] { transcribe({}, stop.get_token()); }), "cancelled");
        const qint64 took = clock.elapsed();
        stopper.join();
        EXPECT_GE(took, c.atLeastMs);
        EXPECT_LT(took, c.belowMs);
        EXPECT_FALSE(QFileInfo::exists(runFolder()));
        QFile::remove(dir.path("args"));
    }
}

TEST_F(WhisperFakeCli, MissingEngineOrModelIsSaidPlainly) {
    qputenv("BRCT_WHISPER_CLI", dir.path("nothing-here").toUtf8());
    EXPECT_EQ(message([&] { transcribe(); }),
              "The Whisper engine is missing from the app. Please reinstall BRCT Lorowen Pro.");
    SetUp();
    WhisperEngine::Options options;
    options.model = WhisperModel::byID("small-q5_1");
    EXPECT_EQ(message([&] { transcribe(options); }),
              "The Fast — Small model isn't downloaded yet. Open Settings (Ctrl+,) > "
              "Transcription engine to download it.");
}

TEST_F(WhisperFakeCli, SongModeUsesTheDetectorOnlyWhenInstalled) {
    canned({}, {}, twoWords);
    WhisperEngine::Options options;
    options.song = true;
    transcribe(options);
    EXPECT_FALSE(args().contains("--vad"));

    // Installed by hand: install() would move the shared, read-only original.
    const QString folder = WhisperModels::folder();
    QFile::copy(QStringLiteral(LOROWEN_TEST_MODELS "/ggml-silero-v5.1.2.bin"),
                folder + "/ggml-silero-v5.1.2.bin");
    QFile marker(folder + "/ggml-silero-v5.1.2.bin.verified");
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.write(WhisperModel::voiceDetector().sha256.toLatin1());
    marker.close();
    transcribe(options);
    const QStringList a = args();
    ASSERT_TRUE(a.contains("--vad"));
    EXPECT_EQ(a[a.indexOf("-vm") + 1], folder + "/ggml-silero-v5.1.2.bin");
}

// The graphics-card variant as a stand-in in front of the fake engine: it records the device it
// was pointed at, its process id and its arguments, then does what FAKE_GPU says (ok: answers as
// the processor one would; exit, crash, lost, memory: fails that way; hang: waits to be stopped).
const char* const gpuScript = R"(#!/bin/sh
echo "$GGML_VK_VISIBLE_DEVICES" > "$FAKE_DIR/gpu-device"
echo $$ > "$FAKE_DIR/gpu-pid"
printf '%s\n' "$@" > "$FAKE_DIR/gpu-args"
case "$FAKE_GPU" in
ok) exec "$FAKE_CLI" "$@" ;;
hang) exec sleep 30 ;;
crash) kill -SEGV $$ ;;
lost) echo "terminate called after throwing an instance of 'vk::DeviceLostError'" >&2
      kill -ABRT $$ ;;
memory) echo 'ggml_vulkan: Device memory allocation of size 9 failed.' >&2; exit 1 ;;
*) exit 1 ;;
esac
)";

class WhisperFakeGpu : public WhisperFakeCli {
protected:
    void SetUp() override {
        WhisperFakeCli::SetUp();
        const QString script = gpuDir.write("whisper-cli-vulkan", gpuScript);
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("BRCT_WHISPER_CLI_VULKAN", script.toUtf8());
        qputenv("FAKE_CLI", LOROWEN_FAKE_CLI);
    }
    void TearDown() override {
        qunsetenv("BRCT_WHISPER_CLI_VULKAN");
        qunsetenv("FAKE_GPU");
        WhisperFakeCli::TearDown();
    }

    TimedWords transcribeOnCard(WhisperEngine::Outcome& outcome, std::stop_token stop = {}) {
        WhisperEngine::Options options;
        options.model = model;
        options.gpu =
            WhisperDevices::Device{2, "Fake GPU", WhisperDevices::Kind::discreteGpu, true};
        return WhisperEngine::transcribe(samples, options, false, stop, {}, &outcome);
    }
    QStringList gpuArgs() const { return QString::fromUtf8(dir.read("gpu-args")).split(u'\n'); }

    TestFolder gpuDir;
};

TEST_F(WhisperFakeGpu, RunsOnTheChosenCardWithFewThreads) {
    canned({}, {}, twoWords);
    qputenv("FAKE_GPU", "ok");
    WhisperEngine::Outcome outcome;
    EXPECT_EQ(transcribeOnCard(outcome), WhisperEngine::parse(twoWords));
    ASSERT_TRUE(outcome.gpu.has_value());
    EXPECT_EQ(outcome.gpu->name, "Fake GPU");
    EXPECT_FALSE(outcome.gpuFailure.has_value());
    EXPECT_EQ(dir.read("gpu-device").trimmed(), "2");
    const QStringList a = gpuArgs();
    const int threads = a[a.indexOf("-t") + 1].toInt();
    EXPECT_GE(threads, 1);
    EXPECT_LE(threads, 4);
    EXPECT_FALSE(QFileInfo::exists(runFolder()));
}

TEST_F(WhisperFakeGpu, AFailedCardRunIsDoneAgainOnTheProcessor) {
    struct Case {
        const char* mode;
        QString reason;
    };
    const QList<Case> cases = {
        {"exit", "exit status 1"},
        {"crash", "it crashed"},
        {"lost", "the device was lost"},
        {"memory", "out of memory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        canned({}, {}, twoWords);
        QFile::remove(dir.path("args"));
        qputenv("FAKE_GPU", c.mode);
        WhisperEngine::Outcome outcome;
        EXPECT_EQ(transcribeOnCard(outcome), WhisperEngine::parse(twoWords));
        EXPECT_FALSE(outcome.gpu.has_value());
        EXPECT_EQ(outcome.gpuFailure, c.reason);
        // The processor ran the same speech with its own thread count.
        const QStringList a = args();
        EXPECT_EQ(a[a.indexOf("-f") + 1], gpuArgs()[gpuArgs().indexOf("-f") + 1]);
        EXPECT_EQ(a[a.indexOf("-t") + 1].toInt(), WhisperEngine::threads());
        EXPECT_FALSE(QFileInfo::exists(runFolder()));
    }
    EXPECT_EQ(WhisperDevices::fallbackSentence("exit status 1"),
              "The graphics card failed (exit status 1); transcribed on the processor instead.");

    // When the processor fails too, its error is the one told.
    canned({}, "bad model\n", std::nullopt, 4);
    qputenv("FAKE_GPU", "exit");
    WhisperEngine::Outcome outcome;
    EXPECT_EQ(message([&] { transcribeOnCard(outcome); }),
              "The Whisper engine stopped with an error (4). bad model");
}

TEST_F(WhisperFakeGpu, StopEndsEitherRunWithNoChildAndNoFolder) {
    struct Case {
        const char* what;
        QByteArray gpu;     // what the card run does
        QByteArray mode;    // what the processor run does
        const char* marker; // the file that says the run to stop has started
        const char* pid;    // the file with that run's process id
    };
    for (const Case& c : {Case{"on the card", "hang", "", "gpu-args", "gpu-pid"},
                          Case{"on the processor", "exit", "hang", "args", "pid"}}) {
        SCOPED_TRACE(c.what);
        canned({}, {}, twoWords);
        for (const char* file : {"args", "gpu-args", "pid", "gpu-pid"})
            QFile::remove(dir.path(file));
        qputenv("FAKE_GPU", c.gpu);
        qputenv("FAKE_MODE", c.mode);
        std::stop_source stop;
        std::thread stopper([&] {
            while (!QFileInfo::exists(dir.path(c.marker)))
                QThread::msleep(10);
            QThread::msleep(50); // the process id is written first, but let the shell settle
            stop.request_stop();
        });
        WhisperEngine::Outcome outcome;
        EXPECT_EQ(message([&] { transcribeOnCard(outcome, stop.get_token()); }), "cancelled");
        stopper.join();
        EXPECT_EQ(QFileInfo::exists(dir.path("args")), c.mode == "hang"); // no rerun after a stop
        const QStringList a = gpuArgs();
        EXPECT_FALSE(QFileInfo::exists(QFileInfo(a[a.indexOf("-f") + 1]).path()));
        const QString child = QString::fromLatin1(dir.read(c.pid).trimmed());
        ASSERT_FALSE(child.isEmpty());
        EXPECT_FALSE(QFileInfo::exists("/proc/" + child)) << child.toStdString();
    }
    qunsetenv("FAKE_MODE");
}

} // namespace
