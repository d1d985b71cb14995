// ELPreviewPlayer with Qt Multimedia (silent output under test), and the Settings preview that
// feeds it.
#include "ELMemoryKeyStore.h"
#include "ELPreviewPlayer.h"
#include "ELSettings.h"
#include "FakeElevenLabs.h"
#include "MediaFixtures.h"
#include "TestFiles.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

// Qt Multimedia's first audio output asks GStreamer's PulseAudio device provider for the
// devices; without a sound server the provider leaves its half-made connection behind, and
// GLib makes one allocation while it is loaded. Neither is this code's; the sanitizer build is
// told to overlook exactly these two, recognised by their whole call stacks (the system
// libraries have no frame pointers, so the fast unwinder would see only one frame).
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libgstpulseaudio.so\nleak:_dl_init\n";
}

namespace {

QByteArray toneMp3(MediaFixtures& media) {
    QFile file(media.path(MediaFixtures::mp3Plain));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(PreviewPlayer, PlaysBytesFromMemoryUntilTheEnd) {
    MediaFixtures media;
    const QByteArray mp3 = toneMp3(media);
    ASSERT_FALSE(mp3.isEmpty());
    ELPreviewPlayer player;
    QList<bool> changes;
    QObject::connect(&player, &ELPreviewPlayer::playingChanged,
                     [&] { changes << player.playing(); });
    player.play(mp3);
    ASSERT_TRUE(spinUntil([&] { return player.playing(); }));
    // The one-second tone ends by itself.
    ASSERT_TRUE(spinUntil([&] { return !player.playing(); }));
    EXPECT_EQ(changes, (QList<bool>{true, false}));
}

TEST(PreviewPlayer, BytesThatAreNotSoundLeaveNoPlayer) {
    ELPreviewPlayer player;
    player.play(QByteArray(4096, 'x'));
    ASSERT_TRUE(spinUntil([&] { return !player.hasPlayer(); }));
    EXPECT_FALSE(player.playing());
}

TEST(PreviewPlayer, SettingsPreviewSpeaksWithTheChoicesAndPlays) {
    clearPreferences();
    MediaFixtures media;
    FakeElevenLabs server;
    server.reply("POST", "/v1/text-to-speech/v1",
                 FakeElevenLabs::Reply(200, toneMp3(media), "audio/mpeg"));
    auto keys = std::make_unique<ELMemoryKeyStore>();
    keys->item = "key";
    ELSettings settings(std::move(keys), testPreferences());
    settings.setVoiceID("v1");
    ELPreviewPlayer player;
    settings.preview(ELSettings::defaultPreviewText(), player);
    ASSERT_TRUE(spinUntil([&] { return player.playing(); }));
    ASSERT_EQ(server.requests().size(), 1);
    const QJsonObject body = QJsonDocument::fromJson(server.requests().first().body).object();
    EXPECT_EQ(body.value("text").toString(), ELSettings::defaultPreviewText());
    EXPECT_EQ(body.value("model_id").toString(), "eleven_multilingual_v2");

    settings.setVoiceID("gone");
    settings.preview(QStringLiteral("Hello."), player);
    ASSERT_TRUE(spinUntil([&] { return !settings.status().isEmpty(); }));
    EXPECT_EQ(settings.status(), "ElevenLabs refused the request: Not Found");
    clearPreferences();
}

TEST(PreviewPlayer, SettingsPreviewTellsOnceWhenItHasEnded) {
    // The settings window shows "Generating…" until then, whatever the way out.
    clearPreferences();
    FakeElevenLabs server;
    server.reply("POST", "/v1/text-to-speech/v1", FakeElevenLabs::Reply(503, "{}").after(300));
    auto keys = std::make_unique<ELMemoryKeyStore>();
    ELMemoryKeyStore* memory = keys.get();
    ELSettings settings(std::move(keys), testPreferences());
    settings.setVoiceID("v1");
    ELPreviewPlayer player;

    int ended = 0;
    settings.preview(QStringLiteral("No key yet."), player, [&] { ++ended; });
    ASSERT_TRUE(spinUntil([&] { return ended == 1; }));
    EXPECT_EQ(settings.status(), ELError::noKey().message());

    memory->item = "key";
    int first = 0;
    int second = 0;
    settings.preview(QStringLiteral("First."), player, [&] { ++first; });
    ASSERT_TRUE(spinUntil([&] { return !server.requests().isEmpty(); }));
    settings.preview(QStringLiteral("Second."), player, [&] { ++second; });
    ASSERT_TRUE(spinUntil([&] { return first == 1 && second == 1; }));
    spinUntil([] { return false; }, 100);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(settings.status(), ELError::server(503).message());
    clearPreferences();
}

} // namespace
