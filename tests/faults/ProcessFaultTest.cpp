// The helpers killed mid-run, the media file deleted while it is open, and a damaged preference
// file: the captions and their project file come through, and the person reads a plain sentence.
#include "BCMediaOpener.h"
#include "CaptionStyle.h"
#include "ELSettings.h"
#include "FakePlayer.h"
#include "InstalledModel.h"
#include "LWFormats.h"
#include "LWProject.h"
#include "LWStore.h"
#include "MediaFixtures.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"
#include "WhisperModels.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList whisperFolders() {
    return QDir::temp().entryList({QStringLiteral("brct-lw-whisper-*")}, QDir::Dirs);
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        clearPreferences();
        services.elevenLabs.setEngine(ELSettings::Engine::whisper);
        ASSERT_TRUE(services.useKey(std::nullopt));
        QDir(LWProject::folder()).removeRecursively();
        QDir(WhisperModels::folder()).removeRecursively();
        QDir(BCMediaOpener::cacheFolder()).removeRecursively();
        store = makeStore();
    }
    void TearDown() override {
        store.reset();
        qunsetenv("BRCT_WHISPER_CLI");
    }
    std::unique_ptr<LWStore> makeStore() {
        auto s = std::make_unique<LWStore>(hooks, services.get(), QStringLiteral("en_US"));
        s->setPlayer(std::make_unique<FakePlayer>());
        return s;
    }

    void openAndWait(const QString& path) {
        store->open(path);
        ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 60000));
    }
    // Opens `path` with two captions already autosaved.
    void openWithSavedCaptions(const QString& path) {
        openAndWait(path);
        ASSERT_TRUE(store->media().has_value());
        store->setCaptions({Caption::make(0.1, 0.5, QStringLiteral("Kept words")),
                            Caption::make(0.6, 0.9, QStringLiteral("More kept words"))});
        store->flushAutosave();
        kept = store->captions();
        project = LWProject::fileFor(path);
        saved = readAll(project);
        ASSERT_EQ(LWProject::decode(saved), kept);
    }

    MediaFixtures fixtures;
    TestServices services; // outlives the store
    ScriptedHooks hooks;
    std::unique_ptr<LWStore> store;
    Captions kept;
    QString project;
    QByteArray saved;
};

TEST_F(Faults, WhisperKilledMidRunKeepsTheCaptionsAndSaysSo) {
    installModel(WhisperModel::byID(services.models.modelID()));
    const QString killer =
        fixtures.script(QStringLiteral("killed-whisper-cli"), "sleep 0.2\nkill -KILL $$\n");
    qputenv("BRCT_WHISPER_CLI", killer.toUtf8());
    const QStringList before = whisperFolders();
    openWithSavedCaptions(fixtures.tone(QStringLiteral("talk.wav"), 2.0));
    hooks.questionAnswers = {0}; // Replace
    store->transcribe();
    ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 60000));

    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].message,
              QStringLiteral("The Whisper engine stopped with an error (-1)."));
    EXPECT_EQ(store->captions(), kept);
    EXPECT_FALSE(store->progress().has_value());
    store->flushAutosave();
    EXPECT_EQ(readAll(project), saved);
    EXPECT_EQ(whisperFolders(), before);
}

TEST_F(Faults, ConverterKilledMidRunLeavesNoHalfCopy) {
    // Writes part of the copy where it was told to, then dies.
    const QString killer = fixtures.script(
        QStringLiteral("killed-ffmpeg"),
        "for last; do :; done\nhead -c 20000 /dev/urandom > \"$last\"\nkill -KILL $$\n");
    ScopedConverter converter(killer);
    openAndWait(fixtures.path(MediaFixtures::mpegProgram));

    EXPECT_FALSE(store->media().has_value());
    ASSERT_EQ(hooks.alerts.size(), 1);
    const QString message = hooks.alerts[0].message;
    EXPECT_FALSE(message.isEmpty());
    EXPECT_TRUE(message.endsWith(u'.')) << message.toStdString();
    EXPECT_EQ(QDir(BCMediaOpener::cacheFolder()).entryList(QDir::Files | QDir::Hidden),
              QStringList());
}

TEST_F(Faults, MediaDeletedWhileOpenKeepsEditingSavingAndExporting) {
    installModel(WhisperModel::byID(services.models.modelID()));
    qputenv("BRCT_WHISPER_CLI", LOROWEN_FAKE_CLI);
    TestFolder engine;
    qputenv("FAKE_DIR", engine.root().toUtf8());
    const QString clip = fixtures.tone(QStringLiteral("gone.wav"), 2.0);
    openWithSavedCaptions(clip);
    ASSERT_TRUE(QFile::remove(clip));

    // Transcribing what is no longer there says so and changes nothing.
    hooks.questionAnswers = {0};
    store->transcribe();
    ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 60000));
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_FALSE(hooks.alerts[0].message.isEmpty());
    EXPECT_TRUE(hooks.alerts[0].message.endsWith(u'.')) << hooks.alerts[0].message.toStdString();
    EXPECT_EQ(store->captions(), kept);

    // Edits still reach the project file, and the text export still works.
    store->setText(kept.first().id, QStringLiteral("Edited after the file went"));
    store->flushAutosave();
    EXPECT_EQ(LWProject::decode(readAll(project)), store->captions());
    TestFolder out;
    hooks.alerts.clear();
    hooks.saveAnswers = {out.path(QStringLiteral("gone.srt"))};
    store->exportText(LWFormats::TextKind::srt, true);
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_EQ(QString::fromUtf8(out.read(QStringLiteral("gone.srt"))),
              LWFormats::text(LWFormats::TextKind::srt, store->captions(), true));
    qunsetenv("FAKE_DIR");
}

TEST_F(Faults, DamagedPreferenceFileFallsBackToDefaults) {
    QSettings settings(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro"));
    const QString path = settings.fileName();
    const CaptionStyle plainStyle = store->style();
    store.reset();
    struct Case {
        const char* what;
        QByteArray bytes;
    };
    const QList<Case> cases = {
        {"noise", QByteArray("\x00\xff\xfe[General\x01\n=\n\xc3\x28=\xa0\xa1\n", 16)},
        {"wrong values", "[General]\n"
                         "lw.language=@ByteArray(\\xff\\xfe)\n"
                         "lw.style=\"{\\\"fontSize\\\": \\\"huge\\\", \"\n"
                         "lw.sidecars=banana\n"
                         "lw.songMode=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1f)\n"
                         "lw.markSpeakers=@Invalid()\n"
                         "lw.whisperModel=no-such-model\n"
                         "lw.lastSaveFolder=/no/such/folder\n"
                         "el.engine2=99\n"
                         "el.voice=@Rect(1 2 3 4)\n"},
        {"cut short", "[General]\nlw.style=\"{\\\"fontSize\\\": 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        settings.sync();
        QDir().mkpath(QFileInfo(path).path());
        {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(c.bytes);
        }
        store = makeStore();
        EXPECT_EQ(store->style(), plainStyle);
        EXPECT_FALSE(WhisperModel::byID(services.models.modelID()).id.isEmpty());
        // A new choice is remembered in a file that reads back.
        const bool flipped = !store->sidecars();
        store->setSidecars(flipped);
        store.reset();
        QSettings reread(QStringLiteral("Brindlecote"), QStringLiteral("Lorowen Pro"));
        EXPECT_EQ(reread.status(), QSettings::NoError);
        EXPECT_EQ(reread.value(QStringLiteral("lw.sidecars")).toBool(), flipped);
    }
}

} // namespace
