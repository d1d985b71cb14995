// The real player (Qt Multimedia on GStreamer) with every kind of file the opener takes. Runs
// alone: media pipelines that compete with other tests for the processor miss their deadlines.
#include "LWStore.h"
#include "MediaFixtures.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// Every kind the opener takes plays in the real player: it loads and its position advances.
TEST(OpeningRealPlayer, EveryFixtureKindLoadsAndPlays) {
    MediaFixtures fixtures;
    ScriptedHooks hooks;
    const QList<MediaFixtures::Kind> kinds = {
        MediaFixtures::mp4,          MediaFixtures::mov,          MediaFixtures::mpegProgram,
        MediaFixtures::transport188, MediaFixtures::transport192, MediaFixtures::mpegVideo,
        MediaFixtures::matroska,     MediaFixtures::wav,          MediaFixtures::mp3WithId3,
        MediaFixtures::aiff,         MediaFixtures::audioOnly};
    for (MediaFixtures::Kind kind : kinds) {
        const QString path = fixtures.path(kind);
        SCOPED_TRACE(QFileInfo(path).fileName().toStdString());
        TestServices services;
        LWStore store(hooks, services.get(), QStringLiteral("en_US"));
        bool loaded = false;
        bool failed = false;
        QObject::connect(&store.player(), &LWPlayer::loaded,
                         [&](bool ok) { (ok ? loaded : failed) = true; });
        store.open(path);
        ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }, 60000));
        ASSERT_TRUE(store.media().has_value()) << hooks.alerts.value(0).message.toStdString();
        EXPECT_TRUE(spinUntil([&] { return loaded || failed; }, 30000));
        EXPECT_TRUE(loaded);
        store.togglePlay();
        EXPECT_TRUE(spinUntil([&] { return store.time() > 0.1; }, 30000));
    }
}

} // namespace
