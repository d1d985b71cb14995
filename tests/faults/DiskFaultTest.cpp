// A full disk and a read-only destination while the captions are autosaved, exported as text or
// burned into a video, and while a model downloads: the good file that was there stays whole, no
// half-written file takes its place, and the person reads one plain sentence.
#include "BCError.h"
#include "BCSha256.h"
#include "FakeModelServer.h"
#include "FakePlayer.h"
#include "LWFormats.h"
#include "LWProject.h"
#include "LWStore.h"
#include "MediaFixtures.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"
#include "Tmpfs.h"
#include "WhisperModels.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Puts a good file in place that a failed save must leave as it is.
bool plant(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override {
        clearPreferences();
        QDir(LWProject::folder()).removeRecursively();
        store = std::make_unique<LWStore>(hooks, services.get(), QStringLiteral("en_US"));
        store->setPlayer(std::make_unique<FakePlayer>());
    }
    void TearDown() override { store.reset(); }

    void openTone() {
        clip = fixtures.tone(QStringLiteral("talk.wav"), 1.0);
        store->open(clip);
        ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 60000));
        ASSERT_TRUE(store->media().has_value());
    }

    MediaFixtures fixtures;
    TestServices services; // outlives the store
    ScriptedHooks hooks;
    std::unique_ptr<LWStore> store;
    QString clip;
};

TEST_F(FullDisk, AutosaveKeepsTheLastGoodProjectAndSavesOnceThereIsRoom) {
    ScopedTmpfs disk(LWProject::folder(), 256);
    REQUIRE_TMPFS(disk);
    openTone();
    const QString project = LWProject::fileFor(clip);
    store->setCaptions({Caption::make(0.1, 0.5, QStringLiteral("First words"))});
    store->flushAutosave();
    const QByteArray good = readAll(project);
    ASSERT_EQ(LWProject::decode(good), store->captions());

    disk.fill();
    Captions more = store->captions();
    more.append(Caption::make(0.6, 0.9, QStringLiteral("Second words")));
    store->setCaptions(more);
    store->flushAutosave();
    EXPECT_EQ(readAll(project), good);
    EXPECT_EQ(disk.files(), QStringList{QFileInfo(project).fileName()});
    EXPECT_EQ(store->captions(), more);
    const QString note = store->note();
    EXPECT_TRUE(note.startsWith(
        QStringLiteral("The file “%1” couldn't be saved: ").arg(QFileInfo(project).fileName())))
        << note.toStdString();
    EXPECT_TRUE(note.endsWith(
        QStringLiteral(". Your captions are still open and will be saved with your next change.")))
        << note.toStdString();
    EXPECT_TRUE(hooks.alerts.isEmpty());

    // The next change after space comes back writes everything and clears the note.
    disk.unfill();
    store->setText(more.last().id, QStringLiteral("Second words, kept"));
    store->flushAutosave();
    EXPECT_EQ(LWProject::decode(readAll(project)), store->captions());
    EXPECT_EQ(store->note(), QString());
}

TEST_F(FullDisk, TextExportLeavesTheOldFileOrNothing) {
    TestFolder out;
    const QString folder = out.path(QStringLiteral("out"));
    ScopedTmpfs disk(folder, 128);
    REQUIRE_TMPFS(disk);
    // A text larger than Qt's write buffer fails while writing; a short one only when flushed.
    Captions captions;
    for (int i = 0; i < 400; ++i)
        captions.append(Caption::make(i, i + 0.5, QStringLiteral("Caption number %1").arg(i)));
    const Captions shortList{Caption::make(0, 1, QStringLiteral("Short"))};

    const QString existing = folder + QStringLiteral("/talk.srt");
    const QString fresh = folder + QStringLiteral("/new.srt");
    const QByteArray good("1\n00:00:00,000 --> 00:00:01,000\nGood\n");
    ASSERT_TRUE(plant(existing, good));

    struct Case {
        const char* what;
        std::function<bool()> fault;
    };
    const QList<Case> cases = {
        {"full disk",
         [&] {
             disk.fill();
             return true;
         }},
        {"read-only disk",
         [&] {
             disk.unfill();
             return disk.setReadOnly(true);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(c.fault());
        for (const Captions& list : {captions, shortList})
            for (const QString& path : {existing, fresh}) {
                store->setCaptions(list);
                hooks.alerts.clear();
                hooks.saveAnswers = {path};
                store->exportText(LWFormats::TextKind::srt, true);
                ASSERT_EQ(hooks.alerts.size(), 1);
                EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Couldn't save"));
                const QString message = hooks.alerts[0].message;
                EXPECT_TRUE(message.startsWith(QStringLiteral("The file “%1” couldn't be saved: ")
                                                   .arg(QFileInfo(path).fileName())))
                    << message.toStdString();
                EXPECT_TRUE(message.endsWith(u'.')) << message.toStdString();
                EXPECT_TRUE(hooks.revealed.isEmpty());
            }
        EXPECT_EQ(readAll(existing), good);
        EXPECT_EQ(disk.files(), QStringList{QStringLiteral("talk.srt")});
    }

    // Writable again, the same export replaces the file whole.
    ASSERT_TRUE(disk.setReadOnly(false));
    store->setCaptions(captions);
    hooks.alerts.clear();
    hooks.saveAnswers = {existing};
    store->exportText(LWFormats::TextKind::srt, true);
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_EQ(QString::fromUtf8(readAll(existing)),
              LWFormats::text(LWFormats::TextKind::srt, captions, true));
}

TEST_F(FullDisk, BurnedInExportLeavesTheOldFileOrNothing) {
    TestFolder out;
    const QString folder = out.path(QStringLiteral("out"));
    ScopedTmpfs disk(folder, 1024);
    REQUIRE_TMPFS(disk);
    clip = fixtures.path(MediaFixtures::mp4);
    store->open(clip);
    ASSERT_TRUE(spinUntil([&] { return !store->isBusy(); }, 60000));
    ASSERT_TRUE(store->media().has_value() && store->media()->hasVideo);
    store->setCaptions({Caption::make(0.2, 0.8, QStringLiteral("Hello"))});

    const QString existing = folder + QStringLiteral("/talk (captioned).mp4");
    const QString fresh = folder + QStringLiteral("/new.mp4");
    const QByteArray good("an earlier export");
    ASSERT_TRUE(plant(existing, good));
    auto burn = [&](const QString& path) {
        hooks.alerts.clear();
        hooks.revealed.clear();
        hooks.saveAnswers = {path};
        store->exportBurnIn();
        return spinUntil(
            [&] { return !store->isBusy() && store->work() && store->work()->ended(); }, 120000);
    };

    // No room at all, and room for the header but not the pictures.
    for (qint64 room : {qint64(0), qint64(12000)}) {
        SCOPED_TRACE(room);
        disk.unfill();
        disk.fill(room);
        for (const QString& path : {existing, fresh}) {
            ASSERT_TRUE(burn(path));
            ASSERT_EQ(hooks.alerts.size(), 1);
            EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("Export failed"));
            EXPECT_EQ(hooks.alerts[0].message,
                      QStringLiteral("The export failed: No space left on device."));
            EXPECT_TRUE(hooks.revealed.isEmpty());
            EXPECT_EQ(readAll(existing), good);
            EXPECT_EQ(disk.files(), QStringList{QFileInfo(existing).fileName()});
        }
    }

    // With room again the same export replaces the old file whole.
    disk.unfill();
    ASSERT_TRUE(burn(existing));
    EXPECT_TRUE(hooks.alerts.isEmpty());
    EXPECT_EQ(hooks.revealed, QStringList{existing});
    const QByteArray result = readAll(existing);
    EXPECT_NE(result, good);
    EXPECT_EQ(result.mid(4, 4), QByteArray("ftyp"));
}

// Error sentence of an exception_ptr, "" for success.
QString outcome(std::exception_ptr error) {
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const BCCancelled&) {
        return QStringLiteral("cancelled");
    } catch (const BCError& e) {
        return e.message();
    }
}

TEST(FullDiskDownload, StopsWithASentenceKeepsThePartAndResumesOnceThereIsRoom) {
    QDir(WhisperModels::folder()).removeRecursively();
    ScopedTmpfs disk(WhisperModels::folder(), 1024);
    REQUIRE_TMPFS(disk);
    FakeModelServer server;
    WhisperModels models{testPreferences()};
    // The disk had room when the download began; another program fills it meanwhile.
    models.freeBytes = [](const QString&) { return qint64(1) << 40; };

    QByteArray body(600000, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char& c : body)
        c = char(generator.bounded(256));
    const QString path = QStringLiteral("/ggerganov/whisper.cpp/resolve/main/full.bin");
    server.serve(path, {body});
    const WhisperModel model{QStringLiteral("full"),
                             QStringLiteral("Model full"),
                             QStringLiteral("full.bin"),
                             body.size(),
                             BCSha256::ofBytes(body),
                             WhisperModel::host() + path,
                             {}};
    auto ensure = [&] {
        bool finished = false;
        std::exception_ptr error;
        models.ensure({model}, {}, [&](std::exception_ptr e) {
            error = e;
            finished = true;
        });
        EXPECT_TRUE(spinUntil([&] { return finished; }, 60000));
        return outcome(error);
    };

    disk.fill(200000);
    const QString failure = ensure();
    EXPECT_TRUE(failure.startsWith(QStringLiteral("The model download failed: ")))
        << failure.toStdString();
    EXPECT_FALSE(models.installed(model));
    EXPECT_FALSE(QFile::exists(WhisperModels::folder() + QStringLiteral("/full.bin")));

    disk.unfill();
    EXPECT_EQ(ensure(), QString());
    EXPECT_TRUE(models.installed(model));
    EXPECT_EQ(readAll(WhisperModels::folder() + QStringLiteral("/full.bin")), body);
    EXPECT_EQ(server.ranges(path).size(), 2);
}

} // namespace
