// The subtitle-track export command of the store, driven through scripted panels and questions.
#include "BCMediaOpener.h"
#include "FakePlayer.h"
#include "LWStore.h"
#include "MediaFixtures.h"
#include "MovieProbe.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

namespace {

const QString kLastFolder = QStringLiteral("lw.lastSaveFolder");
const QString kPanelMessage = QStringLiteral(
    "Name ending .mp4 or .mov. The picture and sound are copied without re-encoding.");

QString savedNote(const QString& name) {
    return QStringLiteral(
               "Saved %1 with a subtitle track (turn it on in the player's Subtitles menu).")
        .arg(name);
}

class SoftSubsCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fixtures = new MediaFixtures;
        fixtures->path(MediaFixtures::mp4);
        fixtures->path(MediaFixtures::audioOnly);
        MediaFixtures::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1", "-f",
                               "lavfi", "-i", "sine=duration=1", "-c:v", "libx264", "-preset",
                               "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le",
                               fixtures->file("pcm.mov")});
    }
    static void TearDownTestSuite() {
        delete fixtures;
        fixtures = nullptr;
    }

    void SetUp() override {
        clearPreferences();
        auto fake = std::make_unique<FakePlayer>();
        player = fake.get();
        store.setPlayer(std::move(fake));
    }

    // Opens `file` of the fixtures as the store's media, its `original` named `shownAs`.
    void open(const QString& file, const QString& shownAs = {}) {
        const QString path = fixtures->file(file);
        BCOpenedMedia media = BCMediaOpener::inspect(path, path, false, {});
        if (!shownAs.isEmpty())
            media.original = QUrl::fromLocalFile(folder.path(shownAs));
        store.setMedia(media);
    }

    void captions() {
        store.setCaptions({Caption::make(0.2, 0.6, QStringLiteral("Hello")),
                           Caption::make(0.7, 0.9, QStringLiteral("again"))});
    }

    // Runs the command and waits for its job to end.
    void exportAndWait() {
        store.exportSoft();
        ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }, 30000));
    }

    static inline MediaFixtures* fixtures = nullptr;
    ScriptedHooks hooks;
    TestServices services;
    LWStore store{hooks, services.get(), QStringLiteral("en_US")};
    FakePlayer* player = nullptr;
    TestFolder folder;
};

TEST_F(SoftSubsCommand, RefusesWithoutVideoCaptionsOrWhileAnotherJobRuns) {
    struct Row {
        const char* name;
        std::function<void()> setUp;
        QString alertTitle; // empty: no alert
        QString alertMessage;
        int beeps;
        QString note;
    };
    const QString otherJob = QStringLiteral("Reading the sound track…");
    const QList<Row> rows = {
        {"no media", [] {}, {}, {}, 0, {}},
        {"audio only",
         [&] {
             open(QStringLiteral("tone.m4a"));
             captions();
         },
         QStringLiteral("Subtitle tracks need a video"),
         QStringLiteral("This is an audio file. Export SRT, VTT or TXT instead."),
         0,
         {}},
        {"no captions",
         [&] {
             open(QStringLiteral("clip.mp4"));
             store.setCaptions({});
         },
         QStringLiteral("Nothing to add"),
         QStringLiteral("Transcribe the file or add captions first."),
         0,
         {}},
        {"another job running",
         [&] {
             open(QStringLiteral("clip.mp4"));
             captions();
             store.setBusy(otherJob);
         },
         {},
         {},
         1,
         QStringLiteral("Wait for the current job to finish (or click Stop) before starting "
                        "another.")},
    };
    for (const Row& row : rows) {
        store.setMedia(std::nullopt);
        store.setBusy({});
        store.setNote({});
        hooks.alerts.clear();
        hooks.beeps = 0;
        row.setUp();
        const QString busyBefore = store.busy();
        store.exportSoft();
        if (row.alertTitle.isEmpty()) {
            EXPECT_TRUE(hooks.alerts.isEmpty()) << row.name;
        } else {
            ASSERT_EQ(hooks.alerts.size(), 1) << row.name;
            EXPECT_EQ(hooks.alerts[0].title, row.alertTitle) << row.name;
            EXPECT_EQ(hooks.alerts[0].message, row.alertMessage) << row.name;
        }
        EXPECT_EQ(hooks.beeps, row.beeps) << row.name;
        EXPECT_EQ(store.note(), row.note) << row.name;
        EXPECT_TRUE(hooks.savePanels.isEmpty()) << row.name;
        EXPECT_EQ(store.busy(), busyBefore) << row.name;
    }
    store.setBusy({});
}

TEST_F(SoftSubsCommand, ProposesANameAndCancellingThePanelChangesNothing) {
    struct Row {
        const char* original;
        const char* proposed;
    };
    const QList<Row> rows = {{"Interview.mov", "Interview (subtitles).mp4"},
                             {"take1", "take1 (subtitles).mp4"},
                             {"a.b.mov", "a.b (subtitles).mp4"}};
    for (const Row& row : rows) {
        open(QStringLiteral("clip.mp4"), QString::fromLatin1(row.original));
        captions();
        hooks.saveAnswers.push_back(std::nullopt);
        store.exportSoft();
        ASSERT_FALSE(hooks.savePanels.isEmpty());
        const LWUiHooks::SavePanel& panel = hooks.savePanels.last();
        EXPECT_EQ(panel.proposedName, QString::fromLatin1(row.proposed));
        EXPECT_EQ(panel.message, kPanelMessage);
        EXPECT_EQ(panel.extensions, (QStringList{"mp4", "mov"}));
        EXPECT_EQ(panel.startFolder, QString());
    }
    EXPECT_FALSE(store.isBusy());
    EXPECT_EQ(store.progress(), std::nullopt);
    EXPECT_FALSE(hasStoredPreference(kLastFolder));
}

TEST_F(SoftSubsCommand, WritesTheMovieNamedByTheExtensionRule) {
    struct Row {
        const char* answer;
        const char* written;
        QByteArray brand;
    };
    const QList<Row> rows = {{"clip", "clip.mp4", "isom"},
                             {"film.mkv", "film.mkv.mp4", "isom"},
                             {"Shot.MOV", "Shot.MOV", "qt  "},
                             {"keep.mp4", "keep.mp4", "isom"}};
    open(QStringLiteral("clip.mp4"));
    captions();
    QDir().mkpath(folder.path(QStringLiteral("out")));
    for (const Row& row : rows) {
        player->playing = true;
        hooks.saveAnswers.push_back(folder.path(QStringLiteral("out/") + row.answer));
        store.exportSoft();
        EXPECT_FALSE(player->playing) << row.answer;
        EXPECT_EQ(store.busy(), QStringLiteral("Adding the subtitle track…"));
        // The folder is remembered before the export runs.
        EXPECT_EQ(storedPreference(kLastFolder).toString(), folder.path(QStringLiteral("out")));
        ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }, 30000));

        const QString written = folder.path(QStringLiteral("out/") + row.written);
        EXPECT_EQ(MovieProbe::majorBrand(written), row.brand) << row.answer;
        EXPECT_EQ(MovieProbe::probe(written).packetsOf(QStringLiteral("subtitle")).size(), 5)
            << row.answer;
        EXPECT_TRUE(hooks.alerts.isEmpty()) << row.answer;
        EXPECT_EQ(store.note(), savedNote(QString::fromLatin1(row.written)));
        EXPECT_EQ(hooks.revealed.last(), written);
        EXPECT_EQ(store.progress(), std::nullopt);
        // Sidecars are on by default: the same base name beside the movie.
        const QString base = written.chopped(QFileInfo(written).suffix().size() + 1);
        EXPECT_TRUE(QFileInfo::exists(base + QStringLiteral(".srt"))) << row.answer;
        EXPECT_TRUE(QFileInfo::exists(base + QStringLiteral(".vtt"))) << row.answer;
    }
    EXPECT_EQ(hooks.savePanels.last().startFolder, folder.path(QStringLiteral("out")));
}

TEST_F(SoftSubsCommand, AsksBeforeReplacingAFileTheAddedExtensionNames) {
    open(QStringLiteral("clip.mp4"));
    captions();
    store.setSidecars(false);
    const QString existing = folder.write(QStringLiteral("clip.mp4"), "my other video");

    hooks.saveAnswers.push_back(folder.path(QStringLiteral("clip")));
    hooks.questionAnswers.push_back(1); // Cancel
    store.exportSoft();
    EXPECT_TRUE(hooks.questionAnswers.empty());
    EXPECT_FALSE(store.isBusy());
    EXPECT_EQ(folder.read(QStringLiteral("clip.mp4")), QByteArray("my other video"));
    EXPECT_FALSE(hasStoredPreference(kLastFolder));

    hooks.saveAnswers.push_back(folder.path(QStringLiteral("clip")));
    hooks.questionAnswers.push_back(0); // Replace
    exportAndWait();
    EXPECT_TRUE(hooks.questionAnswers.empty());
    EXPECT_EQ(MovieProbe::majorBrand(existing), QByteArray("isom"));
    EXPECT_EQ(store.note(), savedNote(QStringLiteral("clip.mp4")));
    EXPECT_FALSE(QFileInfo::exists(folder.path(QStringLiteral("clip.srt"))));

    // A name the panel returned as it is was confirmed there: no second question.
    hooks.saveAnswers.push_back(existing);
    hooks.questionAnswers.push_back(1);
    exportAndWait();
    EXPECT_EQ(hooks.questionAnswers.size(), 1u);
    EXPECT_EQ(store.note(), savedNote(QStringLiteral("clip.mp4")));
}

TEST_F(SoftSubsCommand, FailuresAlertAndStillRememberTheFolder) {
    open(QStringLiteral("pcm.mov"));
    captions();
    const QString kept = folder.write(QStringLiteral("out.mp4"), "kept");
    store.setNote(QStringLiteral("before"));
    hooks.saveAnswers.push_back(kept);
    exportAndWait();
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Export failed"));
    EXPECT_EQ(hooks.alerts[0].message,
              QStringLiteral("This file's audio format can't go into an MP4 without re-encoding. "
                             "Try the other container (MOV accepts more formats), or export a "
                             "burned-in MP4."));
    EXPECT_EQ(store.note(), QStringLiteral("before"));
    EXPECT_EQ(store.progress(), std::nullopt);
    EXPECT_EQ(folder.read(QStringLiteral("out.mp4")), QByteArray("kept"));
    EXPECT_TRUE(hooks.revealed.isEmpty());
    EXPECT_EQ(storedPreference(kLastFolder).toString(), folder.root());

    // The opened file itself is never the destination.
    open(QStringLiteral("clip.mp4"));
    hooks.saveAnswers.push_back(fixtures->file(QStringLiteral("clip.mp4")));
    exportAndWait();
    ASSERT_EQ(hooks.alerts.size(), 2);
    EXPECT_EQ(
        hooks.alerts[1].message,
        QStringLiteral("The export can't replace the file it is made from. Choose another name."));
}

TEST_F(SoftSubsCommand, TheNoteSaysWhenTheSidecarFilesCouldNotBeWritten) {
    open(QStringLiteral("clip.mp4"));
    captions();
    QDir().mkpath(folder.path(QStringLiteral("movie.srt"))); // a folder where the SRT file goes
    hooks.saveAnswers.push_back(folder.path(QStringLiteral("movie.mp4")));
    exportAndWait();
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_EQ(store.note(),
              savedNote(QStringLiteral("movie.mp4")) +
                  QStringLiteral(" The .srt and .vtt files couldn't be saved beside it."));
    EXPECT_EQ(hooks.revealed.last(), folder.path(QStringLiteral("movie.mp4")));
}

TEST_F(SoftSubsCommand, StopEndsInACancelledNoteWithNoFileOrInTheWholeFile) {
    open(QStringLiteral("clip.mp4"));
    captions();
    for (int round = 0; round < 5; ++round) {
        const QString out = folder.path(QStringLiteral("stopped%1.mp4").arg(round));
        hooks.saveAnswers.push_back(out);
        store.exportSoft();
        ASSERT_TRUE(store.isBusy());
        store.cancelWork();
        ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }, 30000));
        EXPECT_TRUE(hooks.alerts.isEmpty());
        // Usually the stop lands during the copy; when the file was already in place it stays,
        // and the note says so.
        if (store.note() == QStringLiteral("Export cancelled.")) {
            EXPECT_FALSE(QFileInfo::exists(out)) << round;
        } else {
            EXPECT_EQ(store.note(), savedNote(QFileInfo(out).fileName())) << round;
            EXPECT_EQ(MovieProbe::probe(out).streams.size(), 3) << round;
        }
    }
    QStringList left = QDir(folder.root()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_TRUE(left.filter(QStringLiteral(".part")).isEmpty()) << left.join(u' ').toStdString();
}

// A Stop that comes after the file is in place, before the window heard of it, cannot undo the
// export: it used to report "Export cancelled." beside the finished file and never reveal it.
TEST_F(SoftSubsCommand, AStopAfterTheFileIsInPlaceStillReportsIt) {
    open(QStringLiteral("clip.mp4"));
    captions();
    const QString out = folder.path(QStringLiteral("late.mp4"));
    hooks.saveAnswers.push_back(out);
    store.exportSoft();
    // Without running the event loop, so the job's end waits in the queue.
    const QString vtt = folder.path(QStringLiteral("late.vtt"));
    for (int i = 0; i < 3000 && !QFileInfo::exists(vtt); ++i)
        QThread::msleep(10);
    ASSERT_TRUE(QFileInfo::exists(vtt));
    QThread::msleep(50);
    store.cancelWork();
    ASSERT_TRUE(spinUntil([&] { return !store.isBusy(); }, 30000));
    EXPECT_EQ(store.note(), savedNote(QStringLiteral("late.mp4")));
    EXPECT_EQ(hooks.revealed, QStringList{out});
}

} // namespace
