// The engine against the real whisper-cli 1.9.1 that the setup script builds, on the small
// test models beside the checkout.
#include "../core/CorePrinters.h"
#include "BCAudio.h"
#include "BCError.h"
#include "SoftwareVulkan.h"
#include "TestFiles.h"
#include "WhisperEngine.h"
#include "WhisperModels.h"
#include "WhisperVocab.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

const QString models = QStringLiteral(LOROWEN_TEST_MODELS);

// The program under test: $BRCT_WHISPER_CLI as the test started, else the build's helpers.
QString realCli() {
    static const QString path = [] {
        const QString configured = qEnvironmentVariable("BRCT_WHISPER_CLI");
        return configured.isEmpty() ? QStringLiteral(LOROWEN_HELPERS_DIR "/whisper-cli")
                                    : configured;
    }();
    return path;
}

struct Ran {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Ran runCli(const QStringList& args) {
    QProcess process;
    process.start(realCli(), args);
    process.waitForFinished(300000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// The record of a test model, with its real size and hash.
WhisperModel record(const QString& file, qint64 bytes, const QString& sha256) {
    return {file, file, file, bytes, sha256, {}, {}};
}
const WhisperModel randomModel =
    record("test-random-tiny-ggml.bin", 8008879,
           "0b70de9bba97d8ee7e7cc6ebbdc7e295981ad474c73e75d54aff1c16216526c4");
const WhisperModel emptyModel =
    record("test-empty-tiny-ggml.bin", 575451,
           "c486fb9f14a28b1c1dc252741a431646cc573450c900b9d9c406e10294aa01e6");

// Copies a model into the models folder with its marker, as an install leaves it.
void installCopy(const WhisperModel& model, const QString& source) {
    const QString folder = WhisperModels::folder();
    QDir().mkpath(folder);
    QFile::remove(folder + "/" + model.file);
    ASSERT_TRUE(QFile::copy(source, folder + "/" + model.file));
    QFile marker(folder + "/" + model.file + ".verified");
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.write(model.sha256.toLatin1());
}

// A phrase spoken by espeak-ng, at 16 000 samples a second.
std::vector<float> speech(const QString& text, const TestFolder& folder) {
    const QString wav = folder.path("spoken.wav");
    EXPECT_EQ(QProcess::execute("espeak-ng", {"-w", wav, text}), 0) << "espeak-ng is needed";
    return BCAudio::monoSamples(wav, 16000, 60);
}

QString resultText(const QString& json) {
    QFile file(json);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << json.toStdString();
    QString text;
    const QJsonArray segments =
        QJsonDocument::fromJson(file.readAll()).object().value("transcription").toArray();
    for (const QJsonValue& segment : segments)
        text += segment.toObject().value("text").toString();
    return text;
}

class WhisperRealCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFileInfo(realCli()).isExecutable())
            << "whisper-cli is missing at " << realCli().toStdString()
            << ": run scripts/setup, or set BRCT_WHISPER_CLI";
        QDir(WhisperModels::folder()).removeRecursively();
        // The engine runs the real program through a wrapper that records the arguments and
        // asks for one thread: test programs run side by side on few cores, where whisper.cpp's
        // spinning threads slow each other down many times over.
        const QString wrapper = dir.write(
            "whisper-cli", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir.path("args").toUtf8() +
                               "'\nexec '" + realCli().toUtf8() + "' \"$@\" -t 1\n");
        QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("BRCT_WHISPER_CLI", wrapper.toUtf8());
    }
    void TearDown() override { qputenv("BRCT_WHISPER_CLI", realCli().toUtf8()); }

    TestFolder dir;
};

TEST_F(WhisperRealCli, AcceptsEveryArgumentTheEngineGives) {
    const Ran version = runCli({"--version"});
    EXPECT_TRUE(version.out.contains("whisper.cpp version: 1.9.1") ||
                version.err.contains("whisper.cpp version: 1.9.1"));
    const Ran help = runCli({"--help"});
    EXPECT_EQ(help.status, 0);
    const QString text = QString::fromUtf8(help.err); // whisper-cli prints its help there

    WhisperEngine::Options song{randomModel, "en_US", true, QStringLiteral("la")};
    const QStringList args =
        WhisperEngine::arguments("m.bin", "in.wav", "out", song, QStringLiteral("vad.bin"), 1);
    for (const QString& arg : args) {
        if (!arg.startsWith(u'-'))
            continue;
        const QRegularExpression listed("(^|\\s)" + QRegularExpression::escape(arg) + "[\\s,]",
                                        QRegularExpression::MultilineOption);
        EXPECT_TRUE(listed.match(text).hasMatch()) << arg.toStdString() << " is not in --help";
    }
}

TEST_F(WhisperRealCli, TranscribesSpeechIntoWords) {
    installCopy(randomModel, models + "/test-random-tiny-ggml.bin");
    const std::vector<float> samples = speech("Captions help everyone follow along.", dir);
    QList<double> progress;
    const TimedWords words =
        WhisperEngine::transcribe(samples, {randomModel, "en_US", false, {}}, true, {},
                                  [&](double f) { progress.append(f); });

    // Random weights say nothing sensible, but they say it in timed segments.
    ASSERT_FALSE(words.isEmpty());
    const double length = double(samples.size()) / 16000;
    for (const TimedWord& w : words) {
        EXPECT_FALSE(w.text.trimmed().isEmpty());
        EXPECT_GE(w.start, 0.0);
        EXPECT_LE(w.start, length + 30);
        EXPECT_GE(w.duration, 0.05);
        // The full result (-ojf) scores every word.
        EXPECT_GE(w.confidence, 0.0);
        EXPECT_LE(w.confidence, 1.0);
    }
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last(), 1.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(WhisperRealCli, SongModeRunsWithTheRealVoiceDetector) {
    installCopy(emptyModel, models + "/test-empty-tiny-ggml.bin");
    installCopy(WhisperModel::voiceDetector(), models + "/ggml-silero-v5.1.2.bin");
    std::vector<float> samples = speech("La la la.", dir);
    samples.resize(std::min<size_t>(samples.size(), 6400)); // 0.4 s keeps the detector quick
    const TimedWords words = WhisperEngine::transcribe(samples, {emptyModel, "en", true, {}}, true);
    EXPECT_TRUE(words.isEmpty()); // the weightless model hears nothing
    const QStringList args = QString::fromUtf8(dir.read("args")).split(u'\n');
    EXPECT_TRUE(args.contains("--vad"));
    EXPECT_TRUE(args.contains("--carry-initial-prompt"));
}

TEST_F(WhisperRealCli, UnreadableModelGivesTheEngineSentence) {
    const QByteArray junk(4096, 'j');
    TestFolder download;
    const WhisperModel broken = record("broken.bin", junk.size(),
                                       WhisperModels::sha256(download.write("broken.bin", junk)));
    installCopy(broken, download.path("broken.bin"));
    try {
        WhisperEngine::transcribe(std::vector<float>(16000, 0.0f), {broken, "en", false, {}},
                                  false);
        FAIL() << "no error";
    } catch (const BCError& e) {
        EXPECT_TRUE(e.message().startsWith("The Whisper engine stopped with an error (3). "))
            << e.message().toStdString();
    }
}

// Regression: with "-mc 0" whisper-cli 1.9.1 drops the prompt, so song mode and Paste Lyrics
// decoded as if they had none. The random-weight model decodes differently once the prompt is
// really used; "-nf" (one temperature) keeps each run under a second and the prompt in play.
TEST_F(WhisperRealCli, SongPromptReachesTheDecoderAndFillsTheWholeContext) {
    const QString model = models + "/test-random-tiny-ggml.bin";
    const QString wav = dir.path("clip.wav");
    BCAudio::writeWAV(speech("Captions help everyone follow along.", dir), 16000, wav);
    const QString lyrics =
        QStringLiteral("Twinkle twinkle little star, how I wonder what you are.");
    const int tokens = WhisperVocab::load(model).count(lyrics);
    ASSERT_GT(tokens, 5);

    auto songRun = [&](const QString& out, const QString& prompt, std::optional<int> count) {
        return WhisperEngine::arguments(model, wav, dir.path(out),
                                        {randomModel, "en", true, prompt}, {}, count) +
               QStringList{"-nf", "-t", "1"};
    };
    const QStringList withPrompt = songRun("with", lyrics, tokens);
    ASSERT_EQ(runCli(withPrompt).status, 0);
    ASSERT_EQ(runCli(songRun("without", "", {})).status, 0);
    QStringList oldWay = withPrompt; // what the command line was: "-mc 0" beside the prompt
    oldWay[oldWay.indexOf("-mc") + 1] = "0";
    oldWay.removeAll("--carry-initial-prompt");
    oldWay[oldWay.indexOf("-of") + 1] = dir.path("old");
    ASSERT_EQ(runCli(oldWay).status, 0);

    const QString with = resultText(dir.path("with.json"));
    const QString without = resultText(dir.path("without.json"));
    EXPECT_NE(with, without);
    EXPECT_EQ(resultText(dir.path("old.json")), without);

    // The count is whisper-cli's own: with one token less of context it says the prompt is too
    // long by exactly that count, and with the count + 1 it says nothing, so "-mc tokens+1" holds
    // the whole prompt and leaves no room for decoded text.
    for (const QString& prompt : {lyrics, WhisperEngine::effectivePrompt({{}, "en", true, {}}),
                                  QStringLiteral("Été déjà vu — naïve café, 42 times!")}) {
        SCOPED_TRACE(prompt.toStdString());
        const int count = WhisperVocab::load(model).count(prompt);
        QStringList probe = songRun("probe", prompt, count);
        probe.removeAll("-np");
        const Ran exact = runCli(probe);
        EXPECT_EQ(exact.status, 0);
        EXPECT_FALSE(exact.err.contains("initial prompt is too long"));
        probe[probe.indexOf("-mc") + 1] = QString::number(count);
        const Ran small = runCli(probe);
        EXPECT_TRUE(small.err.contains(QStringLiteral("initial prompt is too long (%1 tokens), "
                                                      "will use only the last %2 tokens")
                                           .arg(count)
                                           .arg(count - 1)
                                           .toUtf8()))
            << small.err.right(1500).constData();
    }
}

} // namespace

namespace {

// The graphics-card variant, forced onto Mesa's software driver (ggml skips CPU-type devices
// unless pointed at one), hears what the processor variant hears. Skipped where either is missing;
// the software driver is slow (and compiles ggml's shaders on its first run), so the clip is kept
// to a second and a half.
TEST_F(WhisperRealCli, TheGraphicsCardVariantGivesTheSameResult) {
    const QString vulkan = QStringLiteral(LOROWEN_HELPERS_DIR "/whisper-cli-vulkan");
    if (!QFileInfo(vulkan).isExecutable())
        GTEST_SKIP() << "whisper-cli-vulkan is not built: scripts/build-whisper-cli skips it "
                        "without libvulkan-dev, glslc and spirv-headers";
    const auto software = softwareVulkanDevice();
    if (!software)
        GTEST_SKIP() << "no Vulkan software driver: install mesa-vulkan-drivers";

    // Each variant through a wrapper that asks for one thread and keeps a copy of its JSON; "-nf"
    // (one temperature) spares the software driver the random model's fallback decodes, some
    // 150 ms a token there.
    const auto wrap = [&](const QString& name, const QString& program) {
        const QString wrapper = dir.write(
            name, "#!/bin/sh\n'" + program.toUtf8() + "' \"$@\" -t 1 -nf\nstatus=$?\n" +
                      "for a; do [ \"$p\" = -of ] && o=$a; p=$a; done\n" + "cp \"$o.json\" '" +
                      dir.path(name + ".json").toUtf8() + "'\nexit $status\n");
        QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return wrapper;
    };
    qputenv("BRCT_WHISPER_CLI", wrap("cpu", realCli()).toUtf8());
    qputenv("BRCT_WHISPER_CLI_VULKAN", wrap("gpu", vulkan).toUtf8());
    installCopy(randomModel, models + "/test-random-tiny-ggml.bin");
    std::vector<float> samples = speech("Captions help everyone.", dir);
    samples.resize(std::min<size_t>(samples.size(), 24000));

    WhisperEngine::Options options{randomModel, "en", false, {}};
    const TimedWords onProcessor = WhisperEngine::transcribe(samples, options, false);
    options.gpu = *software;
    WhisperEngine::Outcome outcome;
    const TimedWords onCard = WhisperEngine::transcribe(samples, options, false, {}, {}, &outcome);
    qunsetenv("BRCT_WHISPER_CLI_VULKAN");

    EXPECT_FALSE(outcome.gpuFailure.has_value()) << outcome.gpuFailure->toStdString();
    ASSERT_TRUE(outcome.gpu.has_value());
    // The random-weight model makes rounding differences between the backends grow: with
    // temperature fallback the two JSON files were the same but for "systeminfo" (three minutes
    // on the software driver); with one temperature the first 60-odd words agree before the
    // decoders part. A backend that computed wrongly would differ from the first word.
    const auto texts = [&](const char* file) {
        QStringList words;
        const QJsonArray segments =
            QJsonDocument::fromJson(dir.read(file)).object().value("transcription").toArray();
        for (const QJsonValue& segment : segments)
            words.append(segment.toObject().value("text").toString());
        return words.mid(0, 20);
    };
    ASSERT_EQ(texts("cpu.json").size(), 20);
    EXPECT_EQ(texts("gpu.json"), texts("cpu.json"));
    EXPECT_FALSE(onProcessor.isEmpty());
    EXPECT_FALSE(onCard.isEmpty());
}

} // namespace
