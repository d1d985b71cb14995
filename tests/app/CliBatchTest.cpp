// `lorowen-cli batch` over a folder tree of mixed media, with a stand-in whisper-cli; and what the
// command line as a whole owes scripts: no conversion for a job that only reads sound, and no Qt
// warnings where nobody is logged in.
#include "BCMediaOpener.h"
#include "CliRunner.h"
#include "InstalledModel.h"
#include "LWProject.h"
#include "MediaFixtures.h"
#include "TestFiles.h"
#include "WhisperModel.h"
#include "WhisperModels.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <gtest/gtest.h>
#include <signal.h>

namespace {

// How many files of a report have `status`.
qsizetype count(const QHash<QString, QString>& statuses, const char* status) {
    return statuses.values().count(QString::fromUtf8(status));
}

class CliBatch : public ::testing::Test {
protected:
    void SetUp() override {
        useFakeEngine(engine.root());
        ::installModel(WhisperModel::byID(WhisperModel::defaultID()));
        // The library: sound in two folders, a file that is not media at all though named so,
        // and a text file the walk leaves alone.
        const QString tone = fixtures.tone(QStringLiteral("tone.wav"), 1.0);
        for (const char* name :
             {"lib/a.wav", "lib/talks/b.wav", "lib/talks/c.wav", "lib/talks/deep/d.wav"}) {
            QDir().mkpath(QFileInfo(library.path(QString::fromUtf8(name))).path());
            QFile::copy(tone, library.path(QString::fromUtf8(name)));
        }
        library.write("lib/talks/broken.mp3", "this is not an mp3");
        library.write("lib/notes.txt", "not media");
        lib = library.path(QStringLiteral("lib"));
    }
    void TearDown() override {
        qunsetenv("BRCT_WHISPER_CLI");
        qunsetenv("FAKE_MODE");
    }

    static CliRun finish(QProcess& process) { return finished(process); }
    static void start(QProcess& process, const QStringList& arguments) {
        process.start(cliWithFakeEngine(), QStringList{QStringLiteral("batch")} << arguments);
    }
    static CliRun run(const QStringList& arguments) {
        QProcess process;
        start(process, arguments);
        return finish(process);
    }
    // The --json report: the status of each file by path relative to the library.
    QHash<QString, QString> statuses(const CliRun& r) const {
        QHash<QString, QString> found;
        for (const QString& line : r.out.split(u'\n', Qt::SkipEmptyParts)) {
            const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
            EXPECT_FALSE(object.isEmpty()) << line.toStdString();
            const QString path = QDir(lib).relativeFilePath(object.value("path").toString());
            EXPECT_FALSE(found.contains(path)) << "reported twice: " << path.toStdString();
            found.insert(path, object.value("status").toString());
        }
        return found;
    }
    // Every file under the output folder, hidden ones too, relative to it.
    QStringList outputs() const {
        QStringList found;
        QDirIterator it(out.root(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            found.append(QDir(out.root()).relativeFilePath(it.next()));
        found.sort();
        return found;
    }
    QStringList args(const QStringList& more = {}) const {
        return QStringList{lib, QStringLiteral("-o"), out.root(), QStringLiteral("--json")} << more;
    }

    MediaFixtures fixtures;
    TestFolder engine;
    TestFolder library;
    TestFolder out;
    QString lib;
};

const QStringList kGood = {QStringLiteral("a.wav"), QStringLiteral("talks/b.wav"),
                           QStringLiteral("talks/c.wav"), QStringLiteral("talks/deep/d.wav")};

TEST_F(CliBatch, MirrorsTheTreeReportsFailuresAndSkipsWhatIsFinished) {
    const CliRun first = run(args({QStringLiteral("--format"), QStringLiteral("srt,vtt")}));
    EXPECT_EQ(first.status, 3) << first.err.toStdString();
    const QHash<QString, QString> firstStatus = statuses(first);
    EXPECT_EQ(firstStatus.size(), 5);
    for (const QString& good : kGood)
        EXPECT_EQ(firstStatus.value(good), QStringLiteral("done")) << good.toStdString();
    EXPECT_EQ(firstStatus.value(QStringLiteral("talks/broken.mp3")), QStringLiteral("failed"));
    EXPECT_TRUE(first.out.contains(QStringLiteral("couldn't be opened")));
    // Whole outputs only, mirroring the folders, and the state file: nothing half-written.
    EXPECT_EQ(outputs(),
              QStringList({".lorowen-batch.json", "a.srt", "a.vtt", "talks/b.srt", "talks/b.vtt",
                           "talks/c.srt", "talks/c.vtt", "talks/deep/d.srt", "talks/deep/d.vtt"}));
    EXPECT_TRUE(out.read(QStringLiteral("talks/deep/d.srt")).contains("Hello there."));
    EXPECT_TRUE(out.read(QStringLiteral("a.vtt")).startsWith("WEBVTT"));

    // A rerun skips the finished files and tries the failed one again.
    QFile::remove(engine.path(QStringLiteral("args")));
    const CliRun again = run(args({QStringLiteral("--format"), QStringLiteral("srt,vtt")}));
    EXPECT_EQ(again.status, 3);
    const QHash<QString, QString> againStatus = statuses(again);
    for (const QString& good : kGood)
        EXPECT_EQ(againStatus.value(good), QStringLiteral("skipped")) << good.toStdString();
    EXPECT_EQ(againStatus.value(QStringLiteral("talks/broken.mp3")), QStringLiteral("failed"));
    EXPECT_FALSE(QFile::exists(engine.path(QStringLiteral("args"))));

    // A changed medium, a deleted output, other options and --force each bring files back.
    QFile::remove(library.path(QStringLiteral("lib/talks/broken.mp3")));
    QFile media(library.path(QStringLiteral("lib/a.wav")));
    ASSERT_TRUE(media.open(QIODevice::ReadWrite));
    media.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime);
    media.close();
    QFile::remove(out.path(QStringLiteral("talks/c.vtt")));
    const CliRun changed = run(args({QStringLiteral("--format"), QStringLiteral("srt,vtt")}));
    EXPECT_EQ(changed.status, 0) << changed.err.toStdString();
    EXPECT_EQ(statuses(changed), (QHash<QString, QString>{{"a.wav", "done"},
                                                          {"talks/b.wav", "skipped"},
                                                          {"talks/c.wav", "done"},
                                                          {"talks/deep/d.wav", "skipped"}}));
    const CliRun otherFormat = run(args({QStringLiteral("--format"), QStringLiteral("txt")}));
    EXPECT_EQ(otherFormat.status, 0);
    for (const QString& status : statuses(otherFormat))
        EXPECT_EQ(status, QStringLiteral("done"));
    const CliRun forced =
        run(args({QStringLiteral("--format"), QStringLiteral("txt"), QStringLiteral("--force")}));
    EXPECT_EQ(forced.status, 0);
    EXPECT_EQ(count(statuses(forced), "done"), 4);
}

TEST_F(CliBatch, ShardsCoverEveryFileExactlyOnce) {
    QHash<QString, int> seen;
    for (int shard = 0; shard < 3; ++shard) {
        const CliRun r = run(args({QStringLiteral("--shard"), QStringLiteral("%1/3").arg(shard),
                                   QStringLiteral("--jobs"), QStringLiteral("2")}));
        EXPECT_TRUE(r.status == 0 || r.status == 3) << r.err.toStdString();
        const QHash<QString, QString> s = statuses(r);
        EXPECT_GE(s.size(), 1);
        EXPECT_LE(s.size(), 2);
        for (auto it = s.begin(); it != s.end(); ++it)
            ++seen[it.key()];
    }
    EXPECT_EQ(seen.size(), 5);
    for (auto it = seen.begin(); it != seen.end(); ++it)
        EXPECT_EQ(it.value(), 1) << it.key().toStdString();
    // Each share kept its own state; together they make a whole rerun skip every good file.
    const CliRun whole = run(args());
    EXPECT_EQ(whole.status, 3);
    const QHash<QString, QString> s = statuses(whole);
    for (const QString& good : kGood)
        EXPECT_EQ(s.value(good), QStringLiteral("skipped")) << good.toStdString();
}

TEST_F(CliBatch, CtrlCStopsCleanlyAndTheNextRunFinishesTheRest) {
    // Half of the library is done first; then every recognition hangs until Ctrl+C.
    ASSERT_EQ(run(args({QStringLiteral("--shard"), QStringLiteral("1/2")})).status, 0);
    qputenv("FAKE_MODE", "hang");
    QFile::remove(engine.path(QStringLiteral("args")));
    QProcess process;
    start(process, args({QStringLiteral("--jobs"), QStringLiteral("1")}));
    ASSERT_TRUE(
        spinUntil([&] { return QFile::exists(engine.path(QStringLiteral("args"))); }, 60000));
    const QByteArray pid = engine.read(QStringLiteral("pid")).trimmed();
    ::kill(pid_t(process.processId()), SIGINT);
    const CliRun stopped = finish(process);
    EXPECT_EQ(stopped.status, 130) << stopped.err.toStdString();
    EXPECT_EQ(count(statuses(stopped), "done"), 0);
    EXPECT_NE(::kill(pid_t(pid.toInt()), 0), 0) << "whisper-cli left running";
    const QStringList afterStop = outputs();
    for (const QString& file : afterStop)
        EXPECT_TRUE(file.endsWith(QStringLiteral(".srt")) || file.startsWith(u'.'))
            << file.toStdString();

    qunsetenv("FAKE_MODE");
    const CliRun rest = run(args());
    EXPECT_EQ(rest.status, 3);
    const QHash<QString, QString> s = statuses(rest);
    EXPECT_EQ(count(s, "skipped") + count(s, "done"), 4);
    EXPECT_GE(count(s, "skipped"), 2);
    for (const QString& good : kGood) {
        QString srt = good;
        srt.replace(QStringLiteral(".wav"), QStringLiteral(".srt"));
        EXPECT_TRUE(QFile::exists(out.path(srt))) << srt.toStdString();
    }
}

TEST_F(CliBatch, RefusesBadUsageAndPrintsASlurmScript) {
    const struct {
        const char* name;
        QStringList arguments;
        const char* problem;
    } cases[] = {
        {"no output folder", {"x.wav"}, "give the output folder with -o"},
        {"bad shard", {"x.wav", "-o", "o", "--shard", "3/3"}, "--shard takes I/N"},
        {"bad format", {"x.wav", "-o", "o", "--format", "doc"}, "unknown format doc"},
        {"bad jobs", {"x.wav", "-o", "o", "--jobs", "0"}, "--jobs takes"},
        {"unknown engine", {"x.wav", "-o", "o", "--engine", "ears"}, "unknown engine ears"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun r = run(c.arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.problem))) << r.err.toStdString();
    }
    const CliRun empty = run({engine.root(), QStringLiteral("-o"), out.root()});
    EXPECT_EQ(empty.status, 3);
    EXPECT_TRUE(empty.err.contains(QStringLiteral("No media files found")))
        << empty.err.toStdString();

    const CliRun script = run({lib, QStringLiteral("-o"), out.root(), QStringLiteral("--engine"),
                               QStringLiteral("speech"), QStringLiteral("--slurm-script"),
                               QStringLiteral("--tasks"), QStringLiteral("3")});
    ASSERT_EQ(script.status, 0) << script.err.toStdString();
    EXPECT_TRUE(script.out.startsWith(QStringLiteral("#!/bin/sh\n")));
    EXPECT_TRUE(script.out.contains(QStringLiteral("#SBATCH --array=0-2\n")));
    EXPECT_TRUE(script.out.contains(QStringLiteral("--shard \"$SLURM_ARRAY_TASK_ID/3\"")));
    EXPECT_TRUE(script.out.contains(u'\'' + lib + u'\''));
    EXPECT_TRUE(script.out.contains(QStringLiteral("'--engine' 'speech'")));
    EXPECT_TRUE(outputs().isEmpty()) << "the script ran nothing";
}

TEST_F(CliBatch, ManifestLinesCarryTheirOwnOptions) {
    const QString manifest = library.write(QStringLiteral("list.txt"),
                                           "# one file a line\n"
                                           "lib/a.wav\n"
                                           R"({"path": "lib/talks/b.wav", "language": "de-DE"})"
                                           "\n");
    const CliRun r = run({QStringLiteral("--manifest"), manifest, QStringLiteral("-o"), out.root(),
                          QStringLiteral("--jobs"), QStringLiteral("1"),
                          QStringLiteral("--language"), QStringLiteral("fr-FR")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(out.path(QStringLiteral("a.srt"))));
    EXPECT_TRUE(QFile::exists(out.path(QStringLiteral("b.srt"))));
    // Sorted paths: b ran last, in its own language.
    const QStringList engineArgs =
        QString::fromUtf8(engine.read(QStringLiteral("args"))).split(u'\n');
    ASSERT_TRUE(engineArgs.contains(QStringLiteral("-l")));
    EXPECT_EQ(engineArgs[engineArgs.indexOf(QStringLiteral("-l")) + 1], QStringLiteral("de"));

    const QString bad = library.write(QStringLiteral("bad.txt"), "{\"language\": \"de\"}\n");
    const CliRun refused =
        run({QStringLiteral("--manifest"), bad, QStringLiteral("-o"), out.root()});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("line 1 of the manifest")));
}

// The command line reads the sound from the original: a Matroska video (which the window plays
// through a converted copy) leaves nothing in the conversion cache.
TEST_F(CliBatch, TranscribeMakesNoPlayableCopy) {
    const QString mkv = fixtures.path(MediaFixtures::matroska);
    QDir(BCMediaOpener::cacheFolder()).removeRecursively();
    QProcess process;
    process.start(cliWithFakeEngine(), {QStringLiteral("transcribe"), mkv, QStringLiteral("-o"),
                                        out.path(QStringLiteral("clip.srt"))});
    const CliRun r = finish(process);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(out.path(QStringLiteral("clip.srt"))));
    EXPECT_TRUE(QDir(BCMediaOpener::cacheFolder())
                    .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
}

// Cluster tasks, cron and containers have no XDG_RUNTIME_DIR: standard error stays empty.
TEST_F(CliBatch, NoQtWarningsWithoutARuntimeFolder) {
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("probe"), fixtures.path(MediaFixtures::wav)},
          QStringList{QStringLiteral("batch"), lib, QStringLiteral("-o"), out.root(),
                      QStringLiteral("--slurm-script")},
          QStringList{QStringLiteral("--version")}}) {
        QProcess process;
        QProcessEnvironment env = cliEnvironment();
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(LOROWEN_CLI_PATH), arguments);
        const CliRun r = finish(process);
        EXPECT_EQ(r.status, 0) << arguments.join(u' ').toStdString();
        EXPECT_EQ(r.err, QString()) << arguments.join(u' ').toStdString();
    }
}

} // namespace
