// The store's burned-in export command through scripted UI hooks, with a real export.
#include "BurnInSupport.h"
#include "FakePlayer.h"
#include "LWStore.h"
#include "MediaFixtures.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

const QString kLastFolder = QStringLiteral("lw.lastSaveFolder");

class BurnInCommand : public ::testing::Test {
protected:
    void SetUp() override {
        clearPreferences();
        auto fake = std::make_unique<FakePlayer>();
        player = fake.get();
        store.setPlayer(std::move(fake));
    }

    // A one-second clip opened as the document, with one caption.
    void openClip() {
        store.setMedia(BurnInSupport::open(fixtures.path(MediaFixtures::mp4)));
        store.setCaptions({Caption::make(0.2, 0.8, QStringLiteral("Hello"))});
    }

    BCOpenedMedia pretend(const QString& original, bool video) {
        BCOpenedMedia media;
        media.original = QUrl::fromLocalFile(original);
        media.playable = media.original;
        media.duration = 1;
        media.hasVideo = video;
        media.hasAudio = true;
        media.naturalSize = video ? QSize(64, 48) : QSize(0, 0);
        return media;
    }

    bool waitForEnd() {
        return spinUntil(
            [this] { return !store.isBusy() && store.work() && store.work()->ended(); }, 120000);
    }

    MediaFixtures fixtures;
    TestFolder folder;
    ScriptedHooks hooks;
    TestServices services;
    LWStore store{hooks, services.get(), QStringLiteral("en_US")};
    FakePlayer* player = nullptr;
};

} // namespace

TEST_F(BurnInCommand, ChecksComeBeforeThePanel) {
    store.exportBurnIn(); // nothing open: nothing happens
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_TRUE(hooks.savePanels.isEmpty());

    store.setMedia(pretend(QStringLiteral("/music/song.mp3"), false));
    store.setCaptions({Caption::make(0, 1, QStringLiteral("la"))});
    store.exportBurnIn();
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Burned-in captions need a video"));
    EXPECT_EQ(hooks.alerts[0].message,
              QStringLiteral("This is an audio file. Export SRT, VTT or TXT instead."));

    store.setMedia(pretend(QStringLiteral("/videos/Interview.mov"), true));
    store.setCaptions({});
    store.exportBurnIn();
    ASSERT_EQ(hooks.alerts.size(), 2);
    EXPECT_EQ(hooks.alerts[1].title, QStringLiteral("Nothing to burn in"));
    EXPECT_EQ(hooks.alerts[1].message,
              QStringLiteral("Transcribe the file or add captions first."));

    // Another job running: a beep and a note, and the running job keeps running.
    store.setCaptions({Caption::make(0, 1, QStringLiteral("hi"))});
    store.setBusy(QStringLiteral("Transcribing…"));
    store.exportBurnIn();
    EXPECT_EQ(hooks.beeps, 1);
    EXPECT_EQ(store.note(), QStringLiteral("Wait for the current job to finish (or click Stop) "
                                           "before starting another."));
    EXPECT_TRUE(hooks.savePanels.isEmpty());
}

TEST_F(BurnInCommand, ThePanelProposesTheChosenFilesNameAndCancelChangesNothing) {
    const std::pair<const char*, const char*> names[] = {
        {"/videos/Interview.mov", "Interview (captioned).mp4"},
        {"/videos/take1", "take1 (captioned).mp4"},
        {"/videos/a.b.mov", "a.b (captioned).mp4"}};
    store.setCaptions({Caption::make(0, 1, QStringLiteral("hi"))});
    player->playing = true;
    for (const auto& [original, proposed] : names) {
        BCOpenedMedia media = pretend(QString::fromUtf8(original), true);
        media.playable = QUrl::fromLocalFile(QStringLiteral("/cache/converted.mov"));
        store.setMedia(media);
        store.exportBurnIn(); // the panel is cancelled
        ASSERT_FALSE(hooks.savePanels.isEmpty());
        EXPECT_EQ(hooks.savePanels.last().proposedName, QString::fromUtf8(proposed));
        EXPECT_EQ(hooks.savePanels.last().extensions, QStringList{QStringLiteral("mp4")});
        EXPECT_TRUE(hooks.savePanels.last().message.isEmpty());
    }
    EXPECT_TRUE(player->playing);
    EXPECT_FALSE(store.isBusy());
    EXPECT_FALSE(store.progress().has_value());
    EXPECT_FALSE(hasStoredPreference(kLastFolder));

    // The panel starts in the folder last saved to.
    storePreference(kLastFolder, folder.root());
    store.exportBurnIn();
    EXPECT_EQ(QDir(hooks.savePanels.last().startFolder), QDir(folder.root()));
}

TEST_F(BurnInCommand, SuccessSavesRevealsAndRemembersTheFolder) {
    openClip();
    player->playing = true;
    const QString path = folder.path(QStringLiteral("Clip (captioned).mp4"));
    struct Case {
        bool sidecars;
        bool blockSidecars;
        QString note;
    };
    const Case cases[] = {
        {true, false, QStringLiteral("Saved Clip (captioned).mp4 (+ .srt and .vtt beside it).")},
        {false, false, QStringLiteral("Saved Clip (captioned).mp4.")},
        {true, true,
         QStringLiteral(
             "Saved Clip (captioned).mp4 (the .srt and .vtt files couldn't be written).")}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.note.toStdString());
        clearPreferences();
        QFile::remove(path);
        QFile::remove(folder.path(QStringLiteral("Clip (captioned).srt")));
        QFile::remove(folder.path(QStringLiteral("Clip (captioned).vtt")));
        QDir(folder.root()).rmdir(QStringLiteral("Clip (captioned).srt"));
        if (c.blockSidecars) // a folder where the SRT file should go
            QDir(folder.root()).mkdir(QStringLiteral("Clip (captioned).srt"));
        store.setSidecars(c.sidecars);
        hooks.saveAnswers.push_back(path);
        hooks.revealed.clear();

        store.exportBurnIn();
        EXPECT_FALSE(player->playing) << "the player keeps playing";
        EXPECT_EQ(store.busy(), QStringLiteral("Burning captions into the video…"));
        EXPECT_EQ(store.progress(), std::optional<double>(0.0));
        EXPECT_FALSE(hasStoredPreference(kLastFolder)) << "remembered before it succeeded";
        ASSERT_TRUE(waitForEnd());

        EXPECT_TRUE(hooks.alerts.isEmpty()) << hooks.alerts.value(0).message.toStdString();
        EXPECT_EQ(store.note(), c.note);
        EXPECT_FALSE(store.progress().has_value());
        EXPECT_TRUE(QFileInfo(path).isFile());
        EXPECT_EQ(QFileInfo::exists(folder.path(QStringLiteral("Clip (captioned).vtt"))),
                  c.sidecars && !c.blockSidecars);
        EXPECT_EQ(hooks.revealed, QStringList{path});
        EXPECT_EQ(QDir(storedPreference(kLastFolder).toString()), QDir(folder.root()));
    }
}

TEST_F(BurnInCommand, StopLeavesTheOldFileAndSaysCancelled) {
    const QString source = fixtures.file(QStringLiteral("long.mp4"));
    BurnInSupport::make({"-f", "lavfi", "-i", "testsrc2=size=320x180:rate=30:duration=30", "-c:v",
                         "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", source});
    store.setMedia(BurnInSupport::open(source));
    store.setCaptions({Caption::make(0.2, 0.8, QStringLiteral("Hello"))});
    const QString path = folder.write(QStringLiteral("out.mp4"), "the old movie");
    hooks.saveAnswers.push_back(path);
    store.exportBurnIn();
    ASSERT_TRUE(spinUntil([this] { return store.progress().value_or(0) > 0.05; }, 120000));
    store.cancelWork();
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(store.note(), QStringLiteral("Export cancelled."));
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_EQ(folder.read(QStringLiteral("out.mp4")), "the old movie");
    EXPECT_EQ(QDir(folder.root()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("out.mp4")});
    EXPECT_TRUE(hooks.revealed.isEmpty());
    EXPECT_FALSE(hasStoredPreference(kLastFolder));
}

TEST_F(BurnInCommand, FailuresAlertWithTheSentence) {
    // Over the opened file itself: refused before anything starts.
    openClip();
    const QString source = fixtures.path(MediaFixtures::mp4);
    hooks.saveAnswers.push_back(source);
    store.exportBurnIn();
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Export failed"));
    EXPECT_EQ(hooks.alerts[0].message, BurnIn::replacesSourceSentence());
    EXPECT_FALSE(store.isBusy());

    // A file whose picture cannot be read.
    BCOpenedMedia broken = BurnInSupport::open(fixtures.path(MediaFixtures::audioOnly));
    broken.hasVideo = true;
    broken.naturalSize = QSize(64, 48);
    store.setMedia(broken);
    hooks.saveAnswers.push_back(folder.path(QStringLiteral("out.mp4")));
    store.exportBurnIn();
    ASSERT_TRUE(waitForEnd());
    ASSERT_EQ(hooks.alerts.size(), 2);
    EXPECT_EQ(hooks.alerts[1].title, QStringLiteral("Export failed"));
    EXPECT_EQ(hooks.alerts[1].message, QStringLiteral("The video track can't be read."));
    EXPECT_FALSE(store.isBusy());
    EXPECT_FALSE(store.progress().has_value());
    EXPECT_FALSE(hasStoredPreference(kLastFolder));
}
