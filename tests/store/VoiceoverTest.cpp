// The voiceover export through the store, against a local stand-in for the ElevenLabs service,
// with scripted panels and the key in memory.
#include "../elevenlabs/FakeElevenLabs.h"
#include "ELError.h"
#include "ELSettings.h"
#include "FakePlayer.h"
#include "LWStore.h"
#include "MediaFixtures.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using Reply = FakeElevenLabs::Reply;

const QByteArray kMp3 = QByteArray("ID3\x04\x00", 5) + "fake-mp3-frames";
const QString kVoice = QStringLiteral("voice-7");

class Voiceover : public ::testing::Test {
protected:
    void SetUp() override {
        clearPreferences();
        ASSERT_TRUE(services.useKey(QByteArrayLiteral("sk_voice_test")));
        services.elevenLabs.setVoiceID(kVoice);
        services.elevenLabs.setModelID(QStringLiteral("eleven_multilingual_v2"));
        store = std::make_unique<LWStore>(hooks, services.get(), QStringLiteral("en_US"));
        store->setPlayer(std::make_unique<FakePlayer>());
        server.reply("POST", "/v1/text-to-speech/" + kVoice, Reply{200, kMp3, "audio/mpeg"});
    }
    void TearDown() override { store.reset(); }

    void waitForEnd() {
        ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 30000));
    }
    QList<FakeElevenLabs::Request> speechRequests() const {
        QList<FakeElevenLabs::Request> found;
        for (const auto& r : server.requests())
            if (r.path.startsWith(QStringLiteral("/v1/text-to-speech/")))
                found.append(r);
        return found;
    }

    FakeElevenLabs server;
    TestFolder folder;
    TestServices services; // outlives the store
    ScriptedHooks hooks;
    std::unique_ptr<LWStore> store;
};

TEST_F(Voiceover, ReadsAllCaptionsIntoOneMp3) {
    // Imported captions, no media: the proposed name falls back to "Captions".
    store->setCaptions({Caption::make(2.0, 3.0, QStringLiteral("Second\nline here")),
                        Caption::make(0.0, 1.5, QStringLiteral("First one."))});
    const QString target = folder.path(QStringLiteral("out.mp3"));
    hooks.saveAnswers = {target};
    store->exportVoiceover();
    EXPECT_EQ(store->busy(), QStringLiteral("ElevenLabs is reading the captions (27 characters)…"));
    EXPECT_FALSE(store->progress().has_value());
    waitForEnd();
    ASSERT_TRUE(hooks.alerts.isEmpty()) << hooks.alerts.first().message.toStdString();

    ASSERT_EQ(hooks.savePanels.size(), 1);
    EXPECT_EQ(hooks.savePanels[0].proposedName, QStringLiteral("Captions (voiceover).mp3"));
    EXPECT_EQ(hooks.savePanels[0].extensions, QStringList{QStringLiteral("mp3")});
    EXPECT_EQ(services.preferences->value(BCPref::lastSaveFolder).toString(), folder.root());

    // One text in caption order, the line break turned into a space.
    const auto requests = speechRequests();
    ASSERT_EQ(requests.size(), 1);
    const QJsonObject body = QJsonDocument::fromJson(requests[0].body).object();
    EXPECT_EQ(body.value("text").toString(), QStringLiteral("First one. Second line here"));
    EXPECT_EQ(body.value("model_id").toString(), QStringLiteral("eleven_multilingual_v2"));
    EXPECT_EQ(requests[0].headers.value("xi-api-key"), "sk_voice_test");

    EXPECT_EQ(folder.read(QStringLiteral("out.mp3")), kMp3);
    EXPECT_EQ(store->note(), QStringLiteral("Saved out.mp3 (voice: saved voice)."));
    EXPECT_EQ(hooks.revealed, QStringList{target});
}

TEST_F(Voiceover, ProposesTheMediaNameAndReplacesAnOldFileWhole) {
    MediaFixtures fixtures;
    store->open(fixtures.tone(QStringLiteral("my.talk.wav"), 1.0));
    waitForEnd();
    ASSERT_TRUE(store->media().has_value());
    store->setCaptions({Caption::make(0.0, 1.0, QStringLiteral("Hello."))});
    const QString target = folder.write(QStringLiteral("old.mp3"), QByteArray(5000, 'x'));
    hooks.saveAnswers = {target};
    store->exportVoiceover();
    waitForEnd();
    ASSERT_EQ(hooks.savePanels.size(), 1);
    EXPECT_EQ(hooks.savePanels[0].proposedName, QStringLiteral("my.talk (voiceover).mp3"));
    EXPECT_EQ(folder.read(QStringLiteral("old.mp3")), kMp3);
}

TEST_F(Voiceover, RefusesWithAnAlertBeforeAskingWhereToSave) {
    struct Case {
        const char* name;
        Captions captions;
        bool key;
        QString voice;
        QString title;
        QString message;
    };
    const Captions one = {Caption::make(0, 1, QStringLiteral("Words."))};
    const QList<Case> cases = {
        {"no captions",
         {},
         true,
         kVoice,
         QStringLiteral("Nothing to read"),
         QStringLiteral("Transcribe the file or add captions first.")},
        // Fault pinned: blank captions used to give an empty MP3 file.
        {"only blank captions",
         {Caption::make(0, 1, QStringLiteral(" \n "))},
         true,
         kVoice,
         QStringLiteral("Nothing to read"),
         QStringLiteral("Transcribe the file or add captions first.")},
        {"no key", one, false, kVoice, QStringLiteral("Voiceovers use ElevenLabs"),
         QStringLiteral("Add your own ElevenLabs API key in Settings (Ctrl+,), choose a voice, "
                        "then try again. Lorowen Pro doesn't use the computer's built-in "
                        "voices.")},
        {"no voice", one, true, QString(), QStringLiteral("Choose a voice first"),
         QStringLiteral("Open Settings (Ctrl+,), click Load Voices and pick one.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hooks.alerts.clear();
        hooks.savePanels.clear();
        ASSERT_TRUE(
            services.useKey(c.key ? std::optional<QByteArray>("sk_voice_test") : std::nullopt));
        services.elevenLabs.setVoiceID(c.voice);
        store->setCaptions(c.captions);
        store->exportVoiceover();
        EXPECT_FALSE(store->isBusy());
        ASSERT_EQ(hooks.alerts.size(), 1);
        EXPECT_EQ(hooks.alerts[0].title, c.title);
        EXPECT_EQ(hooks.alerts[0].message, c.message);
        EXPECT_TRUE(hooks.savePanels.isEmpty());
    }
    EXPECT_TRUE(speechRequests().isEmpty());
}

TEST_F(Voiceover, CancellingThePanelDoesNothing) {
    store->setCaptions({Caption::make(0, 1, QStringLiteral("Words."))});
    hooks.saveAnswers = {std::nullopt};
    store->exportVoiceover();
    EXPECT_FALSE(store->isBusy());
    EXPECT_EQ(hooks.savePanels.size(), 1);
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_FALSE(services.preferences->contains(BCPref::lastSaveFolder));
}

TEST_F(Voiceover, RefusesWhileAJobRunsAndStopsOnStop) {
    server.reply("POST", "/v1/text-to-speech/" + kVoice,
                 Reply{200, kMp3, "audio/mpeg"}.after(20000));
    store->setCaptions({Caption::make(0, 1, QStringLiteral("Words."))});
    const QString target = folder.path(QStringLiteral("slow.mp3"));
    hooks.saveAnswers = {target, folder.path(QStringLiteral("second.mp3"))};
    store->exportVoiceover();
    ASSERT_TRUE(store->isBusy());
    ASSERT_TRUE(spinUntil([&] { return !speechRequests().isEmpty(); }, 10000));

    store->exportVoiceover();
    EXPECT_EQ(hooks.beeps, 1);
    EXPECT_EQ(store->note(), QStringLiteral("Wait for the current job to finish (or click Stop) "
                                            "before starting another."));
    EXPECT_EQ(hooks.savePanels.size(), 1);

    store->cancelWork();
    waitForEnd();
    EXPECT_EQ(store->note(), QStringLiteral("Voiceover cancelled."));
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(hooks.revealed.isEmpty());
}

TEST_F(Voiceover, AFailedRequestShowsTheServiceSentenceAndWritesNothing) {
    server.reply("POST", "/v1/text-to-speech/" + kVoice, Reply{401, R"({"detail":"bad"})"});
    store->setCaptions({Caption::make(0, 1, QStringLiteral("Words."))});
    const QString target = folder.path(QStringLiteral("failed.mp3"));
    hooks.saveAnswers = {target};
    store->exportVoiceover();
    waitForEnd();
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Voiceover didn't finish"));
    EXPECT_EQ(hooks.alerts[0].message, ELError::badKey().message());
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(hooks.revealed.isEmpty());
}

} // namespace
