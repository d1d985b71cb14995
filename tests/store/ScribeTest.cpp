// Transcription on the ElevenLabs Scribe engine through the store, against a local stand-in for
// the service: the upload, the captions, and the temporary sound file gone on every path.
#include "../elevenlabs/FakeElevenLabs.h"
#include "ELError.h"
#include "ELSettings.h"
#include "FakePlayer.h"
#include "LWStore.h"
#include "MediaFixtures.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <QDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

using Reply = FakeElevenLabs::Reply;

const QByteArray kAnswer = R"json({"language_code":"en","words":[
    {"text":"Hello","start":0.1,"end":0.5,"type":"word"},
    {"text":" ","start":0.5,"end":0.6,"type":"spacing"},
    {"text":"(music)","start":0.6,"end":0.8,"type":"audio_event"},
    {"text":"there.","start":0.8,"end":1.2,"type":"word"},
    {"text":"Bye.","start":1.5,"end":4.0,"type":"word"}]})json";

class Scribe : public ::testing::Test {
protected:
    void SetUp() override {
        clearPreferences();
        // The temporary folder of this test alone, to see what is left in it.
        previousTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", tmp.root().toUtf8());
        ASSERT_TRUE(services.useKey(QByteArrayLiteral("sk_scribe_test")));
        services.elevenLabs.setEngine(ELSettings::Engine::elevenlabs);
        services.elevenLabs.setScribeModel(QStringLiteral("scribe_v2"));
        store = std::make_unique<LWStore>(hooks, services.get(), QStringLiteral("en_US"));
        store->setPlayer(std::make_unique<FakePlayer>());
        store->setLanguage(QStringLiteral("pt-BR"));
    }
    void TearDown() override {
        store.reset();
        services.elevenLabs.setEngine(ELSettings::Engine::whisper);
        qputenv("TMPDIR", previousTmp);
    }

    void openWithCaptions(double seconds) {
        store->open(fixtures.tone(QStringLiteral("talk.wav"), seconds));
        ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 30000));
        ASSERT_TRUE(store->media().has_value());
        store->setCaptions({Caption::make(0.2, 1.0, QStringLiteral("Old words"))});
        old = store->captions();
        hooks.questionAnswers = {0}; // Replace
    }
    void waitForEnd() {
        ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 30000));
    }
    QStringList leftovers() const {
        return QDir(tmp.root())
            .entryList({QStringLiteral("brct-lw-scribe-*")},
                       QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    }

    TestFolder tmp;
    QByteArray previousTmp;
    MediaFixtures fixtures;
    FakeElevenLabs server;
    TestServices services; // outlives the store
    ScriptedHooks hooks;
    std::unique_ptr<LWStore> store;
    Captions old;
};

TEST_F(Scribe, UploadsTheSoundAndMakesCaptions) {
    server.reply("POST", "/v1/speech-to-text", Reply{200, kAnswer});
    openWithCaptions(2.0);
    store->transcribe();
    EXPECT_FALSE(store->note().startsWith(QStringLiteral("No ElevenLabs key"))); // a key is set
    waitForEnd();
    ASSERT_TRUE(hooks.alerts.isEmpty()) << hooks.alerts.first().message.toStdString();

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1);
    const auto& parts = requests[0].parts;
    EXPECT_EQ(requests[0].headers.value("xi-api-key"), "sk_scribe_test");
    EXPECT_EQ(parts.value("model_id").content, "scribe_v2");
    EXPECT_EQ(parts.value("language_code").content, "pt");
    // A 16 000 Hz mono 16-bit WAV of the two seconds.
    const QByteArray wav = parts.value("file").content;
    ASSERT_GE(wav.size(), 44);
    EXPECT_EQ(wav.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<quint16>(wav.constData() + 22), 1);
    EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 24), 16000u);
    EXPECT_NEAR(double(wav.size() - 44) / 32000.0, 2.0, 0.1);

    const Captions made = store->captions();
    ASSERT_FALSE(made.isEmpty());
    QStringList texts;
    for (const Caption& c : made)
        texts.append(c.text);
    EXPECT_EQ(texts.join(u' '), QStringLiteral("Hello there. Bye.")); // no audio event
    EXPECT_LE(made.last().end, store->media()->duration + 1e-9);      // cut back to the file's end
    EXPECT_EQ(store->note(),
              QStringLiteral("Made %1 captions with ElevenLabs Scribe. Check names and spellings "
                             "before exporting. Previous captions: Captions > Restore Previous "
                             "Captions.")
                  .arg(made.size()));
    EXPECT_EQ(store->previousCaptions(), old);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(Scribe, FailureLeavesTheDocumentAndNoTemporaryFile) {
    server.reply("POST", "/v1/speech-to-text", Reply{401, R"({"detail":"invalid key"})"});
    openWithCaptions(1.0);
    store->transcribe();
    waitForEnd();
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Transcription didn't finish"));
    EXPECT_EQ(hooks.alerts[0].message, ELError::badKey().message());
    EXPECT_EQ(store->captions(), old);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(Scribe, StoppingDuringTheUploadRemovesTheTemporaryFile) {
    server.reply("POST", "/v1/speech-to-text", Reply{200, kAnswer}.after(20000));
    openWithCaptions(1.0);
    store->transcribe();
    ASSERT_TRUE(spinUntil([&] { return !server.requests().isEmpty(); }, 20000));
    EXPECT_EQ(store->busy(),
              QStringLiteral("ElevenLabs Scribe is transcribing (uploading and listening)…"));
    EXPECT_EQ(leftovers().size(), 1);
    store->cancelWork();
    waitForEnd();
    EXPECT_EQ(store->note(), QStringLiteral("Transcription stopped."));
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_EQ(store->captions(), old);
    EXPECT_TRUE(leftovers().isEmpty());
}

TEST_F(Scribe, AKeyGoneFromTheKeyringFailsWithTheNoKeySentence) {
    // `hasKey` still says yes, but the key store no longer holds one when the job asks.
    server.reply("POST", "/v1/speech-to-text", Reply{200, kAnswer});
    openWithCaptions(1.0);
    dynamic_cast<ELMemoryKeyStore&>(services.elevenLabs.keys()).item.reset();
    store->transcribe();
    waitForEnd();
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].message, ELError::noKey().message());
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_TRUE(leftovers().isEmpty());
}

} // namespace
