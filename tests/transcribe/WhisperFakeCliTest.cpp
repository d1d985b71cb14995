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

} // namespace
