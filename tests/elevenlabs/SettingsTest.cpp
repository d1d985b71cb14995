// ELSettings with the key in memory and the service faked: the remembered choices, the key's
// life cycle with its statuses, and loading the lists.
#include "ELMemoryKeyStore.h"
#include "ELPrinters.h"
#include "ELSettings.h"
#include "FakeElevenLabs.h"
#include "TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <gtest/gtest.h>

namespace {

using Engine = ELSettings::Engine;
using Failure = ELKeyStore::Failure;
using Reply = FakeElevenLabs::Reply;

QVariant stored(const QString& key) {
    return QSettings(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro")).value(key);
}

void store(const QString& key, const QVariant& value) {
    QSettings(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro")).setValue(key, value);
}

QByteArray voicesPage(const QStringList& ids) {
    QJsonArray voices;
    for (const QString& id : ids)
        voices.append(QJsonObject{{"voice_id", id}, {"name", "Voice " + id}});
    return QJsonDocument(QJsonObject{{"voices", voices}, {"has_more", false}}).toJson();
}

QByteArray modelList(const QList<std::pair<QString, int>>& models) {
    QJsonArray list;
    for (const auto& [id, limit] : models)
        list.append(QJsonObject{{"model_id", id},
                                {"can_do_text_to_speech", true},
                                {"maximum_text_length_per_request", limit}});
    return QJsonDocument(list).toJson();
}

// Settings over a memory key store holding `key` (nothing: no item), answered at once.
struct Fixture {
    explicit Fixture(std::optional<QByteArray> key = std::nullopt) {
        auto memory = std::make_unique<ELMemoryKeyStore>();
        memory->item = std::move(key);
        keys = memory.get();
        settings = std::make_unique<ELSettings>(std::move(memory), testPreferences());
        EXPECT_TRUE(spinUntil([this] { return settings->keyChecked(); }));
    }
    // Waits until a load or a key change has settled with `status`.
    bool settlesWith(const QString& status) {
        return spinUntil([&] { return !settings->busy() && settings->status() == status; });
    }
    ELMemoryKeyStore* keys = nullptr;
    std::unique_ptr<ELSettings> settings;
};

class Settings : public ::testing::Test {
protected:
    void SetUp() override { clearPreferences(); }
    void TearDown() override { clearPreferences(); }
};

TEST_F(Settings, ChoicesStartFromThePreferencesAndAreRemembered) {
    {
        Fixture f;
        EXPECT_EQ(f.settings->engine(), Engine::whisper);
        EXPECT_EQ(f.settings->voiceID(), "");
        EXPECT_EQ(f.settings->modelID(), "eleven_multilingual_v2");
        EXPECT_EQ(f.settings->scribeModel(), "scribe_v2");
        f.settings->setEngine(Engine::elevenlabs);
        f.settings->setVoiceID("v9");
        f.settings->setModelID("eleven_turbo_v2_5");
        f.settings->setScribeModel("scribe_v1");
    }
    EXPECT_EQ(stored("el.engine2"), "elevenlabs");
    EXPECT_EQ(stored("el.voice"), "v9");
    EXPECT_EQ(stored("el.model"), "eleven_turbo_v2_5");
    EXPECT_EQ(stored("el.scribe"), "scribe_v1");
    Fixture restarted;
    EXPECT_EQ(restarted.settings->engine(), Engine::elevenlabs);
    EXPECT_EQ(restarted.settings->voiceID(), "v9");

    store("el.engine2", "parrot");
    EXPECT_EQ(Fixture().settings->engine(), Engine::whisper);
}

TEST_F(Settings, DerivedNamesAndLimits) {
    FakeElevenLabs server;
    server.reply("GET", "/v2/voices", Reply{200, voicesPage({"a", "b"})});
    server.reply("GET", "/v1/models", Reply{200, modelList({{"eleven_multilingual_v2", 10000}})});
    Fixture f("key");
    EXPECT_EQ(f.settings->voiceName(), "none chosen");
    EXPECT_EQ(f.settings->maxChars(), 5000);
    f.settings->setVoiceID("b");
    EXPECT_EQ(f.settings->voiceName(), "saved voice");
    f.settings->load();
    ASSERT_TRUE(f.settlesWith("Connected: 2 voices, 1 speech models."));
    EXPECT_EQ(f.settings->voiceName(), "Voice b");
    EXPECT_EQ(f.settings->maxChars(), 10000);
}

TEST_F(Settings, HasKeyWaitsForTheKeyStoreWithoutBlocking) {
    auto memory = std::make_unique<ELMemoryKeyStore>();
    memory->item = "key";
    memory->hold(); // a keyring waiting for its password
    ELMemoryKeyStore* keys = memory.get();
    ELSettings settings(std::move(memory), testPreferences(), nullptr,
                        std::chrono::milliseconds(50));
    EXPECT_FALSE(settings.hasKey());
    ASSERT_TRUE(spinUntil([&] { return !settings.status().isEmpty(); }));
    EXPECT_EQ(settings.status(), "The keyring hasn't answered yet, so ElevenLabs counts as "
                                 "having no key until it does.");
    keys->release();
    ASSERT_TRUE(spinUntil([&] { return settings.hasKey(); }));
    EXPECT_EQ(settings.status(), "");
}

TEST_F(Settings, SavingTheKeyStoresItTrimmedAndLoads) {
    FakeElevenLabs server;
    server.reply("GET", "/v2/voices", Reply{200, voicesPage({"v1", "v2"})});
    server.reply("GET", "/v1/models", Reply{200, modelList({{"eleven_multilingual_v2", 10000}})});
    Fixture f;
    EXPECT_FALSE(f.settings->hasKey());
    QStringList statuses;
    QObject::connect(f.settings.get(), &ELSettings::statusChanged,
                     [&] { statuses << f.settings->status(); });
    f.settings->setKey("  sk_new \n");
    ASSERT_TRUE(f.settlesWith("Connected: 2 voices, 1 speech models."));
    EXPECT_EQ(f.keys->item, "sk_new");
    EXPECT_TRUE(f.settings->hasKey());
    EXPECT_EQ(statuses,
              (QStringList{"Key saved in your keyring.", "Loading your ElevenLabs voices…",
                           "Connected: 2 voices, 1 speech models."}));
    EXPECT_EQ(server.requests().first().headers.value("xi-api-key"), "sk_new");

    f.settings->setKey("   ");
    ASSERT_TRUE(f.settlesWith("Key removed."));
    EXPECT_EQ(f.keys->item, std::nullopt);
    EXPECT_FALSE(f.settings->hasKey());
    EXPECT_TRUE(f.settings->voices().isEmpty());
    EXPECT_TRUE(f.settings->models().isEmpty());
}

TEST_F(Settings, KeyStoreFailuresAreSaidAndHasKeyComesFromAFreshRead) {
    using Op = ELKeyStore::Operation;
    struct Case {
        const char* name;
        std::optional<QByteArray> before;
        Failure all;    // every operation fails
        Failure writes; // only saving and deleting fail
        QString typed;
        bool hasKeyAfter;
        QString status;
    };
    const QList<Case> cases = {
        {"no keyring", std::nullopt, Failure::unreachable, Failure::none, "new", false,
         ELKeyStore::sentence(Op::save, Failure::unreachable)},
        {"saving refused: the old key stays", "old", Failure::none, Failure::denied, "new", true,
         ELKeyStore::sentence(Op::save, Failure::denied)},
        {"removing by a blank key refused", "old", Failure::none, Failure::denied, " ", true,
         ELKeyStore::sentence(Op::remove, Failure::denied)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f(c.before);
        f.keys->setFailure(c.all);
        f.keys->setWriteFailure(c.writes);
        f.settings->setKey(c.typed);
        ASSERT_TRUE(f.settlesWith(c.status));
        EXPECT_EQ(f.settings->hasKey(), c.hasKeyAfter);
        EXPECT_EQ(f.keys->item, c.before);
    }
}

TEST_F(Settings, RemovingTheKeySwitchesTheEngineBackToWhisper) {
    Fixture f("key");
    f.settings->setEngine(Engine::elevenlabs);
    f.settings->removeKey();
    ASSERT_TRUE(f.settlesWith("Key removed from this computer."));
    EXPECT_FALSE(f.settings->hasKey());
    EXPECT_EQ(f.keys->item, std::nullopt);
    EXPECT_EQ(f.settings->engine(), Engine::whisper);
    EXPECT_EQ(stored("el.engine2"), "whisper");

    // A failed removal says so and keeps the choice.
    Fixture locked("key");
    locked.settings->setEngine(Engine::elevenlabs);
    locked.keys->setFailure(Failure::unreachable);
    locked.settings->removeKey();
    ASSERT_TRUE(locked.settlesWith(
        ELKeyStore::sentence(ELKeyStore::Operation::remove, Failure::unreachable)));
    EXPECT_EQ(locked.keys->item, "key");
    EXPECT_EQ(locked.settings->engine(), Engine::elevenlabs);
}

TEST_F(Settings, LoadingPutsRightChoicesTheAccountNoLongerOffers) {
    struct Case {
        const char* name;
        QStringList voices;
        QList<std::pair<QString, int>> models;
        QString voiceBefore, modelBefore, voiceAfter, modelAfter;
    };
    const QList<Case> cases = {
        {"both still offered", {"a", "b"}, {{"m1", 5000}, {"m2", 5000}}, "b", "m2", "b", "m2"},
        {"vanished voice and model, default offered",
         {"a", "b"},
         {{"m1", 5000}, {"eleven_multilingual_v2", 10000}},
         "gone",
         "gone",
         "a",
         "eleven_multilingual_v2"},
        {"vanished model, default not offered",
         {"a"},
         {{"m1", 5000}, {"m2", 5000}},
         "a",
         "gone",
         "a",
         "m1"},
        {"no voices, no models", {}, {}, "gone", "gone", "", "gone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeElevenLabs server;
        server.reply("GET", "/v2/voices", Reply(200, voicesPage(c.voices)));
        server.reply("GET", "/v1/models", Reply(200, modelList(c.models)));
        store("el.voice", c.voiceBefore);
        store("el.model", c.modelBefore);
        Fixture f("key");
        f.settings->load();
        ASSERT_TRUE(f.settlesWith(QStringLiteral("Connected: %1 voices, %2 speech models.")
                                      .arg(c.voices.size())
                                      .arg(c.models.size())));
        EXPECT_EQ(f.settings->voiceID(), c.voiceAfter);
        EXPECT_EQ(f.settings->modelID(), c.modelAfter);
        EXPECT_EQ(stored("el.voice"), c.voiceAfter);
        EXPECT_EQ(stored("el.model"), c.modelAfter);
    }
}

TEST_F(Settings, LoadFailuresGoToTheStatus) {
    FakeElevenLabs server;
    Fixture none;
    none.settings->load();
    EXPECT_EQ(none.settings->status(), ELError::noKey().message());
    EXPECT_FALSE(none.settings->busy());
    EXPECT_TRUE(server.requests().isEmpty());

    // Voices arrive, models fail: the voices stay, the status tells the models' error.
    server.reply("GET", "/v2/voices", Reply{200, voicesPage({"a"})});
    server.reply("GET", "/v1/models", Reply{401, "{}"});
    Fixture f("bad key");
    f.settings->load();
    ASSERT_TRUE(f.settlesWith(ELError::badKey().message()));
    EXPECT_EQ(f.settings->voices().size(), 1);
    EXPECT_TRUE(f.settings->models().isEmpty());
}

// Regression: two loads in flight (a second Load Voices, or a key saved during a load) both
// wrote the lists and the choices when they finished, so the older answer could win.
TEST_F(Settings, OnlyTheNewestLoadWritesTheListsAndTheChoices) {
    FakeElevenLabs server;
    server.on("GET", "/v2/voices", [](const FakeElevenLabs::Request&, int index) {
        return Reply(200, voicesPage(index == 0 ? QStringList{"old"} : QStringList{"new"}))
            .after(index == 0 ? 1500 : 0);
    });
    server.reply("GET", "/v1/models", Reply{200, modelList({{"m", 5000}})});
    Fixture f("key");
    QStringList voiceChoices;
    QObject::connect(f.settings.get(), &ELSettings::voiceIDChanged,
                     [&] { voiceChoices << f.settings->voiceID(); });
    f.settings->load();
    ASSERT_TRUE(spinUntil([&] { return server.requests().size() == 2; }));
    f.settings->load();
    ASSERT_TRUE(f.settlesWith("Connected: 1 voices, 1 speech models."));
    spinUntil([] { return false; }, 2000); // the first answer would have arrived by now
    EXPECT_EQ(f.settings->voices().first().id, "new");
    EXPECT_EQ(voiceChoices, QStringList{"new"});
    EXPECT_FALSE(f.settings->busy());
}

} // namespace
