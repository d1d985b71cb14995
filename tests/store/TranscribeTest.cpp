// Transcription through the store, with scripted answers, a stand-in whisper-cli and a model
// that counts as installed.
#include "../transcribe/FakeModelServer.h"
#include "ELSettings.h"
#include "RecognitionFixture.h"
#include "TestServices.h"

#include <QFile>

namespace {

const QString kStopped = QStringLiteral("Transcription stopped.");

// Words of a two-second file; the last one runs past the file's end.
const QByteArray kWords = R"({"transcription": [
    {"offsets": {"from": 100, "to": 500}, "text": " Hello"},
    {"offsets": {"from": 500, "to": 900}, "text": " there."},
    {"offsets": {"from": 1500, "to": 4000}, "text": " Bye."}]})";

class Transcribing : public RecognitionFixture {
protected:
    void SetUp() override {
        services.elevenLabs.setEngine(ELSettings::Engine::whisper);
        ASSERT_TRUE(services.useKey(std::nullopt));
        RecognitionFixture::SetUp();
        engine.write("json", kWords);
    }

    bool engineRan() const { return QFile::exists(engine.path("args")); }
};

TEST_F(Transcribing, DecliningTheReplaceQuestionChangesNothing) {
    installModel(chosen());
    openWithCaptions(fixtures.tone(QStringLiteral("talk.wav"), 2.0));
    hooks.questionAnswers = {1}; // Cancel
    store->transcribe();
    EXPECT_FALSE(store->isBusy());
    EXPECT_EQ(store->captions(), old);
    EXPECT_FALSE(store->previousCaptions().has_value());
    EXPECT_TRUE(store->history().undoStack.isEmpty());
    EXPECT_TRUE(hooks.questionAnswers.empty()); // the question was asked
    EXPECT_FALSE(engineRan());
}

TEST_F(Transcribing, ReplacesTheCaptionsUndoablyAndKeepsThePreviousOnes) {
    installModel(chosen());
    openWithCaptions(fixtures.tone(QStringLiteral("talk.wav"), 2.0));
    // The cloud engine without a key falls back to Whisper and says so first.
    services.elevenLabs.setEngine(ELSettings::Engine::elevenlabs);
    hooks.questionAnswers = {0}; // Replace
    store->transcribe();
    EXPECT_EQ(store->note(),
              QStringLiteral("No ElevenLabs key is set, so the free Whisper engine on this "
                             "computer is used. Add your key in Settings (Ctrl+,)."));
    EXPECT_TRUE(store->isBusy());
    waitForEnd();
    ASSERT_TRUE(hooks.alerts.isEmpty()) << hooks.alerts.first().message.toStdString();
    ASSERT_FALSE(store->captions().isEmpty());
    EXPECT_EQ(store->note(),
              QStringLiteral("Made %1 captions with Whisper on this computer (processor). Check "
                             "names and spellings before exporting. Previous captions: Captions > "
                             "Restore Previous Captions.")
                  .arg(store->captions().size()));
    EXPECT_EQ(store->previousCaptions(), old);
    EXPECT_FALSE(store->progress().has_value());
    EXPECT_TRUE(store->lastWhisperSpeed().has_value());
    // Every end inside the file, never less than 0.1 s after its start.
    const double duration = store->media()->duration;
    for (const Caption& c : store->captions()) {
        EXPECT_LE(c.end, std::max(c.start + 0.1, duration) + 1e-9);
        EXPECT_GE(c.end, c.start + 0.1 - 1e-9);
    }
    EXPECT_TRUE(store->captions().last().text.contains(QStringLiteral("Bye")));

    store->undo();
    EXPECT_EQ(store->captions(), old);
}

TEST_F(Transcribing, NoWordsLeaveAnEmptyListAndKeepTheOldCaptions) {
    installModel(chosen());
    engine.write("json", R"({"transcription": []})");
    openWithCaptions(fixtures.tone(QStringLiteral("quiet.wav"), 2.0));
    hooks.questionAnswers = {0};
    store->transcribe();
    waitForEnd();
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_TRUE(store->captions().isEmpty());
    EXPECT_EQ(store->note(), QStringLiteral("No speech was found in this file."));
    EXPECT_EQ(store->previousCaptions(), old);
}

TEST_F(Transcribing, StoppingLeavesTheDocumentAsItWas) {
    installModel(chosen());
    qputenv("FAKE_MODE", "hang");
    openWithCaptions(fixtures.tone(QStringLiteral("talk.wav"), 2.0));
    hooks.questionAnswers = {0};
    store->transcribe();
    ASSERT_TRUE(
        spinUntil([&] { return store->busy().startsWith(QStringLiteral("Whisper is")); }, 30000));
    ASSERT_TRUE(spinUntil([&] { return engineRan(); }, 10000));
    store->cancelWork();
    waitForEnd();
    EXPECT_EQ(store->note(), kStopped);
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_EQ(store->captions(), old);
    EXPECT_FALSE(store->previousCaptions().has_value());
    EXPECT_TRUE(store->history().undoStack.isEmpty());
}

TEST_F(Transcribing, DecliningTheDownloadStopsBeforeReading) {
    // No model installed: the download question comes first; Cancel ends the job as stopped.
    openAndWait(fixtures.tone(QStringLiteral("talk.wav"), 2.0));
    hooks.questionAnswers = {1};
    store->transcribe();
    waitForEnd();
    EXPECT_TRUE(hooks.questionAnswers.empty());
    EXPECT_EQ(store->note(), kStopped);
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_TRUE(store->captions().isEmpty());
    EXPECT_FALSE(engineRan());
}

TEST_F(Transcribing, SongModeAsksOnceAndDownloadsOnlyTheMissingDetector) {
    FakeModelServer server; // before any record is made, so their addresses point at it
    const QString detectorPath =
        QStringLiteral("/ggml-org/whisper-vad/resolve/main/ggml-silero-v5.1.2.bin");
    QFile detector(QStringLiteral(LOROWEN_TEST_MODELS "/ggml-silero-v5.1.2.bin"));
    ASSERT_TRUE(detector.open(QIODevice::ReadOnly));
    server.serve(detectorPath, {detector.readAll()});
    installModel(chosen());
    store->setSongMode(true);
    openAndWait(fixtures.tone(QStringLiteral("song.wav"), 2.0, 44100, 2));
    hooks.questionAnswers = {0}; // Download
    store->transcribe();
    waitForEnd();
    ASSERT_TRUE(hooks.alerts.isEmpty()) << hooks.alerts.first().message.toStdString();
    EXPECT_TRUE(hooks.questionAnswers.empty());
    EXPECT_EQ(server.ranges(detectorPath).size(), 1);
    EXPECT_TRUE(WhisperModels::isInstalled(WhisperModel::voiceDetector(), WhisperModels::folder()));
    EXPECT_TRUE(QString::fromUtf8(engine.read(QStringLiteral("args"))).contains(u"--vad"));
    ASSERT_FALSE(store->captions().isEmpty());
    EXPECT_EQ(store->note(),
              QStringLiteral("Made %1 captions with Whisper on this computer (Song mode, "
                             "processor). Check names and spellings before exporting.")
                  .arg(store->captions().size()));
}

TEST_F(Transcribing, StoppingTheDownloadLeavesTheDocumentAsItWas) {
    FakeModelServer server;
    const QString detectorPath =
        QStringLiteral("/ggml-org/whisper-vad/resolve/main/ggml-silero-v5.1.2.bin");
    QFile detector(QStringLiteral(LOROWEN_TEST_MODELS "/ggml-silero-v5.1.2.bin"));
    ASSERT_TRUE(detector.open(QIODevice::ReadOnly));
    FakeModelServer::File slow{detector.readAll()};
    slow.chunkDelayMs = 300;
    server.serve(detectorPath, slow);
    installModel(chosen());
    store->setSongMode(true);
    openWithCaptions(fixtures.tone(QStringLiteral("song.wav"), 2.0, 44100, 2));
    hooks.questionAnswers = {0, 0}; // Replace, Download
    store->transcribe();
    ASSERT_TRUE(
        spinUntil([&] { return store->busy().startsWith(QStringLiteral("Downloading")); }, 30000));
    store->cancelWork();
    waitForEnd();
    EXPECT_EQ(store->note(), kStopped);
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_EQ(store->captions(), old);
    EXPECT_FALSE(store->previousCaptions().has_value());
    EXPECT_FALSE(
        WhisperModels::isInstalled(WhisperModel::voiceDetector(), WhisperModels::folder()));
    EXPECT_FALSE(engineRan());
}

TEST_F(Transcribing, RefusesWhatCannotBeTranscribed) {
    installModel(chosen());
    struct Case {
        const char* name;
        MediaFixtures::Kind kind;
        double seconds; // a tone of that length when the kind is wav
        QString title;
        QString message;
    };
    const QList<Case> cases = {
        {"a third of a second is too short", MediaFixtures::wav, 0.25,
         QStringLiteral("Transcription didn't finish"),
         QStringLiteral("The sound track is too short to transcribe.")},
        {"a video without sound", MediaFixtures::videoOnly, 0, QStringLiteral("No sound track"),
         QStringLiteral("This file has no audio to transcribe.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hooks.alerts.clear();
        openAndWait(c.kind == MediaFixtures::wav
                        ? fixtures.tone(QStringLiteral("short.wav"), c.seconds)
                        : fixtures.path(c.kind));
        store->transcribe();
        waitForEnd();
        ASSERT_EQ(hooks.alerts.size(), 1);
        EXPECT_EQ(hooks.alerts[0].title, c.title);
        EXPECT_EQ(hooks.alerts[0].message, c.message);
        EXPECT_TRUE(store->captions().isEmpty());
        EXPECT_FALSE(engineRan());
    }
}

TEST_F(Transcribing, WithoutAFileItOffersTheOpenPanel) {
    store->transcribe();
    EXPECT_EQ(hooks.openPanels.size(), 1);
    EXPECT_FALSE(store->isBusy());
}

TEST(TranscribeTimeLeft, ShownOnlyAfterFivePercent) {
    const struct {
        double fraction;
        double elapsed;
        std::optional<QString> text;
    } cases[] = {
        {0.05, 10, std::nullopt},
        {0.5, 60, QStringLiteral("Whisper is listening on this computer… about 1 min left")},
        {0.1, 60, QStringLiteral("Whisper is listening on this computer… about 9 min left")},
        {0.99, 1, QStringLiteral("Whisper is listening on this computer… about 1 min left")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LWTranscription::timeLeftText(c.fraction, c.elapsed), c.text)
            << c.fraction << " after " << c.elapsed << " s";
}

} // namespace
