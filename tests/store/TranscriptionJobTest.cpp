// The transcription pipeline and its job as a person meets them: caption times of the offline
// recogniser on a recording longer than one part, and jobs that end when asked, whatever they
// are waiting for (a model download, the model check on a one-thread pool, the keyring).
#include "../elevenlabs/FakeElevenLabs.h"
#include "../transcribe/FakeModelServer.h"
#include "BCAudio.h"
#include "BCError.h"
#include "ELSettings.h"
#include "LWJobRunner.h"
#include "LWTranscription.h"
#include "RecognitionFixture.h"
#include "TestServices.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThreadPool>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <vector>

namespace {

const QString kLibrivox = QStringLiteral(LOROWEN_SPHINX_LIBRIVOX);

// A recording assembled from read sentences with silence between them, and where each sentence
// starts and ends in it (seconds).
struct Assembled {
    QString path;
    double duration = 0;
    struct Sentence {
        double start = 0; // where the voice begins
        double end = 0;
    };
    std::vector<Sentence> sentences;
};

// Where the voice begins in `samples`: the first 10 ms whose peak passes a tenth of the loudest.
double voiceOnset(const std::vector<float>& samples, int rate) {
    float loudest = 0;
    for (const float x : samples)
        loudest = std::max(loudest, std::fabs(x));
    const size_t frame = size_t(rate / 100);
    for (size_t at = 0; at + frame <= samples.size(); at += frame) {
        float peak = 0;
        for (size_t i = at; i < at + frame; ++i)
            peak = std::max(peak, std::fabs(samples[i]));
        if (peak > 0.1f * loudest)
            return double(at) / rate;
    }
    return 0;
}

// The five read sentences of the test data, `rounds` times over, `gap` seconds apart.
Assembled assemble(const QString& path, int rounds, double gap) {
    constexpr int rate = 16000;
    const QStringList names = {QStringLiteral("0870"), QStringLiteral("0880"),
                               QStringLiteral("0890"), QStringLiteral("0920"),
                               QStringLiteral("0930")};
    Assembled out;
    out.path = path;
    std::vector<float> all(size_t(1.5 * rate), 0.0f);
    for (int round = 0; round < rounds; ++round) {
        for (const QString& name : names) {
            const std::vector<float> sentence = BCAudio::monoSamples(
                kLibrivox +
                    QStringLiteral("/sense_and_sensibility_01_austen_64kb-%1.wav").arg(name),
                rate, 60);
            const double at = double(all.size()) / rate;
            out.sentences.push_back(
                {at + voiceOnset(sentence, rate), at + double(sentence.size()) / rate});
            all.insert(all.end(), sentence.begin(), sentence.end());
            all.insert(all.end(), size_t(gap * rate), 0.0f);
        }
    }
    out.duration = double(all.size()) / rate;
    BCAudio::writeWAV(all, rate, path);
    return out;
}

class TranscriptionJob : public RecognitionFixture {
protected:
    void SetUp() override {
        services.elevenLabs.setEngine(ELSettings::Engine::whisper);
        RecognitionFixture::SetUp();
        engine.write("json", R"({"transcription": [
            {"offsets": {"from": 100, "to": 500}, "text": " Hello"}]})");
    }
    void TearDown() override {
        QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
        RecognitionFixture::TearDown();
    }

    // A song-mode transcription whose voice detector comes from `server` (every 64 KiB
    // `delayMs` apart) and must be checked before Whisper runs.
    void transcribeNeedingTheDetector(FakeModelServer& server, int delayMs) {
        const QString detectorPath =
            QStringLiteral("/ggml-org/whisper-vad/resolve/main/ggml-silero-v5.1.2.bin");
        QFile detector(QStringLiteral(LOROWEN_TEST_MODELS "/ggml-silero-v5.1.2.bin"));
        ASSERT_TRUE(detector.open(QIODevice::ReadOnly));
        FakeModelServer::File file{detector.readAll()};
        file.chunkDelayMs = delayMs;
        server.serve(detectorPath, file);
        installModel(chosen());
        store->setSongMode(true);
        openAndWait(fixtures.tone(QStringLiteral("song.wav"), 2.0, 44100, 2));
        hooks.questionAnswers = {0}; // Download
        store->transcribe();
    }
};

// Every part after the first used to get its place in the file added twice (the recogniser's
// segment times ran on across parts), so later sentences' captions landed seconds late or past
// the end of the file.
TEST_F(TranscriptionJob, OfflineCaptionsStartWhereEachSentenceIsSpoken) {
    const Assembled recording = assemble(fixtures.file(QStringLiteral("read.wav")), 2, 2.0);
    ASSERT_GT(recording.duration, 58.0) << "the recording must span more than one rough part";
    services.elevenLabs.setEngine(ELSettings::Engine::apple);
    openAndWait(recording.path);
    store->transcribe();
    waitForEnd(600000);
    ASSERT_TRUE(hooks.alerts.isEmpty()) << alertText().toStdString();
    const Captions& made = store->captions();
    ASSERT_FALSE(made.isEmpty());

    std::vector<double> errors;
    for (size_t i = 0; i < recording.sentences.size(); ++i) {
        const Assembled::Sentence& sentence = recording.sentences[i];
        // The first caption that starts within this sentence's stretch of the file.
        const auto first = std::find_if(made.begin(), made.end(), [&](const Caption& c) {
            return c.start >= sentence.start - 1.0 && c.start < sentence.end;
        });
        if (first == made.end())
            continue;
        errors.push_back(std::fabs(first->start - sentence.start));
        EXPECT_LE(std::fabs(first->start - sentence.start), 0.6)
            << "sentence " << i << " starts at " << sentence.start << ", its caption at "
            << first->start;
    }
    EXPECT_GE(errors.size(), recording.sentences.size() - 2) << "most sentences get a caption";
    for (const Caption& c : made)
        EXPECT_LE(c.end, recording.duration + 1e-6) << c.text.toStdString();
    if (!errors.empty()) {
        std::sort(errors.begin(), errors.end());
        std::printf("caption start error over %zu sentences: median %.2f s, worst %.2f s\n",
                    errors.size(), errors[errors.size() / 2], errors.back());
    }
}

// The offline recogniser used to show its part notes alone, with no time left as Whisper's
// listening does.
TEST_F(TranscriptionJob, TheOfflineRecogniserShowsTheTimeLeft) {
    const Assembled recording = assemble(fixtures.file(QStringLiteral("five.wav")), 1, 2.0);
    services.elevenLabs.setEngine(ELSettings::Engine::apple);
    openAndWait(recording.path);
    QStringList texts;
    const QObject listening; // ends the connection before `texts` goes
    QObject::connect(store.get(), &LWStore::busyChanged, &listening,
                     [&] { texts.append(store->busy()); });
    store->transcribe();
    waitForEnd(300000);
    ASSERT_TRUE(hooks.alerts.isEmpty()) << alertText().toStdString();
    ASSERT_FALSE(store->captions().isEmpty());
    const QRegularExpression withTimeLeft(
        QStringLiteral("^Listening to part \\d+ of \\d+ \\(on this computer\\)… about \\d+ min "
                       "left$"));
    QStringList estimated = texts.filter(withTimeLeft);
    EXPECT_FALSE(estimated.isEmpty()) << texts.join(u'\n').toStdString();
    // Never while the sound is still being read.
    for (const QString& text : texts) {
        if (text.startsWith(QStringLiteral("Reading"))) {
            EXPECT_FALSE(text.contains(QStringLiteral("left"))) << text.toStdString();
        }
    }
}

TEST_F(TranscriptionJob, TheOfflineRecogniserNeverClaimsASpeechService) {
    services.elevenLabs.setEngine(ELSettings::Engine::apple);
    store->setPreferOnDevice(false);
    openAndWait(kLibrivox + QStringLiteral("/sense_and_sensibility_01_austen_64kb-0880.wav"));
    store->transcribe();
    waitForEnd(120000);
    ASSERT_TRUE(hooks.alerts.isEmpty()) << alertText().toStdString();
    EXPECT_EQ(store->note(), QStringLiteral("Made %1 captions on this computer. Check names and "
                                            "spellings before exporting.")
                                 .arg(store->captions().size()));
}

// The worker used to wait for the download on a condition only the main thread could signal;
// once the window had closed nothing did, and quitting hung on the global thread pool.
TEST_F(TranscriptionJob, QuittingDuringAModelDownloadEndsTheJobAtOnce) {
    FakeModelServer server;
    transcribeNeedingTheDetector(server, 300);
    ASSERT_TRUE(
        spinUntil([&] { return store->busy().startsWith(QStringLiteral("Downloading")); }, 30000));
    QElapsedTimer clock;
    clock.start();
    store.reset(); // as the window closing does, with no event loop running after it
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(2000)) << "a job held the pool";
    EXPECT_FALSE(
        WhisperModels::isInstalled(WhisperModel::voiceDetector(), WhisperModels::folder()));
}

// With one thread in Qt's pool, the job used to take it, and the model check it then waited for
// could never run.
TEST_F(TranscriptionJob, AOneThreadPoolStillChecksTheModelAndStopStillWorks) {
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    {
        FakeModelServer server;
        transcribeNeedingTheDetector(server, 0);
        waitForEnd(60000);
        ASSERT_TRUE(hooks.alerts.isEmpty()) << alertText().toStdString();
        EXPECT_TRUE(
            WhisperModels::isInstalled(WhisperModel::voiceDetector(), WhisperModels::folder()));
        EXPECT_FALSE(store->captions().isEmpty());
    }
    QDir(WhisperModels::folder()).removeRecursively();
    FakeModelServer slow;
    transcribeNeedingTheDetector(slow, 300);
    ASSERT_TRUE(
        spinUntil([&] { return store->busy().startsWith(QStringLiteral("Downloading")); }, 30000));
    store->cancelWork();
    waitForEnd(5000);
    EXPECT_EQ(store->note(), QStringLiteral("Transcription stopped."));
}

// The Stop of the settings window's model row used to leave a download that a transcription
// had started running on.
TEST_F(TranscriptionJob, TheSettingsStopEndsTheDownloadATranscriptionStarted) {
    FakeModelServer slow;
    transcribeNeedingTheDetector(slow, 300);
    ASSERT_TRUE(
        spinUntil([&] { return store->busy().startsWith(QStringLiteral("Downloading")); }, 30000));
    ASSERT_TRUE(services.models.downloading().has_value());
    services.models.stopDownload(); // what the row's Stop calls
    waitForEnd(5000);
    EXPECT_TRUE(hooks.alerts.isEmpty()) << alertText().toStdString();
    EXPECT_EQ(store->note(), QStringLiteral("Transcription stopped."));
    EXPECT_EQ(services.models.status(), QStringLiteral("Download stopped."));
    EXPECT_FALSE(
        WhisperModels::isInstalled(WhisperModel::voiceDetector(), WhisperModels::folder()));
}

// Quitting ends the running job before the store goes: whisper-cli is ended and its private
// folder with the speech removed, whatever the job was doing.
TEST_F(TranscriptionJob, QuittingWhileWhisperListensLeavesNoChildAndNoFiles) {
    installModel(chosen());
    qputenv("FAKE_MODE", "hang");
    openAndWait(fixtures.tone(QStringLiteral("talk.wav"), 2.0));
    store->transcribe();
    ASSERT_TRUE(
        spinUntil([&] { return QFile::exists(engine.path(QStringLiteral("args"))); }, 30000));
    const pid_t child = engine.read(QStringLiteral("pid")).trimmed().toInt();
    ASSERT_GT(child, 0);
    QElapsedTimer clock;
    clock.start();
    store.reset();
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_EQ(::kill(child, 0), -1) << "whisper-cli outlived the window";
    EXPECT_TRUE(QDir::temp()
                    .entryList({QStringLiteral("brct-lw-whisper-*")},
                               QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot)
                    .isEmpty());
}

TEST(JobRunner, LogsEachFailureWithItsDetailAndNeverTheSentenceAlone) {
    static QStringList logged;
    logged.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& m) {
            if (QByteArray(context.category) == "lorowen.job")
                logged.append(m);
        });
    QLoggingCategory::setFilterRules(QStringLiteral("lorowen.job.warning=true"));
    LWJobRunner runner;
    const LWJobRunner::Outcome failed = runner.runAndWait(
        QStringLiteral("Export"), {}, [](std::stop_token) -> std::function<void()> {
            throw BCError(QStringLiteral("The disk is full."), QStringLiteral("ENOSPC on /out"));
        });
    const LWJobRunner::Outcome stopped =
        runner.runAndWait(QStringLiteral("Open"), {},
                          [](std::stop_token) -> std::function<void()> { throw BCCancelled{}; });
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules({});
    EXPECT_EQ(failed.error, QStringLiteral("The disk is full."));
    EXPECT_TRUE(stopped.stopped());
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged[0].contains(QStringLiteral("ENOSPC on /out"))) << logged[0].toStdString();
}

using Reply = FakeElevenLabs::Reply;

// A store whose keyring has not answered yet when Transcribe is clicked.
class LateKeyring : public ::testing::Test {
protected:
    void SetUp() override {
        clearPreferences();
        previousTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", tmp.root().toUtf8());
        services.elevenLabs.setEngine(ELSettings::Engine::elevenlabs);
        store = std::make_unique<LWStore>(hooks, services.get(), QStringLiteral("en_US"));
        store->setPlayer(std::make_unique<FakePlayer>());
        store->open(fixtures.tone(QStringLiteral("talk.wav"), 1.0));
        ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 30000));
        ASSERT_FALSE(services.elevenLabs.keyChecked());
    }
    void TearDown() override {
        store.reset();
        qputenv("TMPDIR", previousTmp);
    }

    TestFolder tmp;
    QByteArray previousTmp;
    MediaFixtures fixtures;
    FakeElevenLabs server;
    TestServices services{true};
    ScriptedHooks hooks;
    std::unique_ptr<LWStore> store;
};

// The job used to decide before the keyring answered, and went to Whisper saying no key was set.
TEST_F(LateKeyring, TheCloudEngineWaitsForTheKeyAndKeepsTheSoundPrivate) {
    QStringList modes;
    server.on("POST", "/v1/speech-to-text", [&](const FakeElevenLabs::Request&, int) {
        // The sound being uploaded sits in a folder only this user may enter.
        for (const QFileInfo& entry :
             QDir(tmp.root())
                 .entryInfoList({QStringLiteral("brct-lw-scribe-*")},
                                QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot))
            modes.append(QString::number(int(entry.permissions() & 0x7777), 16));
        return Reply{200, R"({"words":[{"text":"Hello","start":0.1,"end":0.5,"type":"word"}]})"};
    });
    services.keys().item = QByteArrayLiteral("sk_late_key");
    store->transcribe();
    EXPECT_EQ(store->busy(), QStringLiteral("Reading the API key from the keyring…"));
    QThread::msleep(300);
    services.keys().release();
    ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 30000));
    ASSERT_TRUE(hooks.alerts.isEmpty()) << hooks.alerts.first().message.toStdString();
    EXPECT_EQ(server.requests().size(), 1);
    EXPECT_EQ(store->note(), QStringLiteral("Made 1 captions with ElevenLabs Scribe. Check names "
                                            "and spellings before exporting."));
    // Owner read, write and enter only (QFile permissions: user and owner bits).
    EXPECT_EQ(modes, QStringList{QStringLiteral("7700")});
}

TEST_F(LateKeyring, NoKeyAfterTheWaitMeansWhisperAndSaysSo) {
    installModel(WhisperModel::byID(services.models.modelID()));
    qputenv("BRCT_WHISPER_CLI", LOROWEN_FAKE_CLI);
    TestFolder engine;
    qputenv("FAKE_DIR", engine.root().toUtf8());
    engine.write("json", R"({"transcription": []})");
    QStringList notes;
    QObject::connect(store.get(), &LWStore::noteChanged, [&] { notes.append(store->note()); });
    store->transcribe();
    services.keys().release();
    ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 30000));
    qunsetenv("BRCT_WHISPER_CLI");
    EXPECT_TRUE(notes.contains(LWTranscription::noKeySentence())) << notes.join(u'|').toStdString();
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_TRUE(QFile::exists(engine.path(QStringLiteral("args")))) << "Whisper ran";
}

} // namespace
