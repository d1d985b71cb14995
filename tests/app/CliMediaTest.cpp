// lorowen-cli probe and wav, run as a person would from a shell.
#include "../core/CorePrinters.h"
#include "CliRunner.h"
#include "MediaFixtures.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>
#include <csignal>
#include <gtest/gtest.h>

namespace {

using F = MediaFixtures;

QString converted() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Brindlecote/Lorowen Pro/Converted");
}

TEST(CliMedia, ProbePrintsTheRecord) {
    MediaFixtures fixtures;
    const QString clip = fixtures.path(F::rotated);
    const CliRun run = cli({QStringLiteral("probe"), clip});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("container: MP4/MOV\n"
                                      "original: %1\n"
                                      "playable: %1\n"
                                      "duration: 1\n"
                                      "hasVideo: true\n"
                                      "hasAudio: true\n"
                                      "naturalSize: 48x64\n"
                                      "transform: 0 -1 1 0 0 0\n"
                                      "frameRate: 25\n"
                                      "converted: false\n"
                                      "note: \n")
                           .arg(clip));
}

TEST(CliMedia, ProbeConvertsAndPrintsJson) {
    MediaFixtures fixtures;
    const QString clip = fixtures.path(F::mpegProgram);
    const CliRun run = cli({QStringLiteral("probe"), clip, QStringLiteral("--json")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(o.value(QStringLiteral("container")).toString(),
              QStringLiteral("MPEG program stream"));
    EXPECT_EQ(o.value(QStringLiteral("original")).toString(), clip);
    EXPECT_TRUE(o.value(QStringLiteral("playable")).toString().startsWith(converted() + u'/'));
    EXPECT_TRUE(o.value(QStringLiteral("converted")).toBool());
    EXPECT_TRUE(o.value(QStringLiteral("hasVideo")).toBool());
    EXPECT_TRUE(o.value(QStringLiteral("hasAudio")).toBool());
    EXPECT_NEAR(o.value(QStringLiteral("duration")).toDouble(), 1.0, 0.1);
    EXPECT_EQ(o.value(QStringLiteral("naturalSize")).toObject().value(QStringLiteral("width")), 64);
    EXPECT_EQ(o.value(QStringLiteral("transform")).toArray().size(), 6);
    EXPECT_EQ(o.value(QStringLiteral("frameRate")).toDouble(), 25);
    EXPECT_EQ(o.value(QStringLiteral("note")).toString(),
              QStringLiteral("Converted from MPEG program stream for playback. Your original file "
                             "is untouched."));

    const CliRun audio =
        cli({QStringLiteral("probe"), QStringLiteral("--json"), fixtures.path(F::wav)});
    const QJsonObject a = QJsonDocument::fromJson(audio.out.toUtf8()).object();
    EXPECT_FALSE(a.value(QStringLiteral("hasVideo")).toBool());
    EXPECT_EQ(a.value(QStringLiteral("frameRate")).toDouble(), 30);
    EXPECT_TRUE(a.value(QStringLiteral("note")).isNull());
}

TEST(CliMedia, WavWritesTheMonoSoundTrack) {
    MediaFixtures fixtures;
    struct Case {
        QStringList extra;
        quint32 rate;
    };
    const QList<Case> cases = {
        {{}, 16000},
        {{QStringLiteral("--rate"), QStringLiteral("8000")}, 8000},
    };
    for (const Case& c : cases) {
        const QString out = fixtures.file(QStringLiteral("out-%1.wav").arg(c.rate));
        const CliRun run =
            cli(QStringList{QStringLiteral("wav"), fixtures.path(F::mp4), out} + c.extra);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        QFile file(out);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray b = file.readAll();
        ASSERT_GE(b.size(), 44);
        EXPECT_EQ(b.left(4), QByteArray("RIFF"));
        EXPECT_EQ(qFromLittleEndian<quint16>(b.constData() + 22), 1u); // mono
        EXPECT_EQ(qFromLittleEndian<quint32>(b.constData() + 24), c.rate);
        const quint32 samples = qFromLittleEndian<quint32>(b.constData() + 40) / 2;
        EXPECT_NEAR(double(samples), double(c.rate), c.rate * 0.08);
        EXPECT_EQ(b.size(), 44 + 2 * qsizetype(samples));
    }
}

TEST(CliMedia, FailuresSayTheSentenceAndExitThree) {
    MediaFixtures fixtures;
    const QString out = fixtures.file(QStringLiteral("o.wav"));
    struct Case {
        QStringList args;
        int status;
        QString says;
    };
    const QList<Case> cases = {
        {{QStringLiteral("probe"), fixtures.path(F::empty)},
         3,
         QStringLiteral("lorowen-cli: “empty.mp4” is empty (0 bytes).")},
        {{QStringLiteral("probe"), fixtures.path(F::randomBytes)},
         3,
         QStringLiteral("“random.mp4” couldn't be opened.")},
        {{QStringLiteral("probe"), fixtures.file(QStringLiteral("gone.mov"))},
         3,
         QStringLiteral("“gone.mov” can't be read.")},
        {{QStringLiteral("wav"), fixtures.path(F::videoOnly), out},
         3,
         QStringLiteral("This file has no sound track.")},
        {{QStringLiteral("wav"), fixtures.path(F::truncatedMp4), out},
         3,
         QStringLiteral("“truncated.mp4” couldn't be opened.")},
        {{QStringLiteral("probe")}, 2, QStringLiteral("usage:")},
        {{QStringLiteral("wav"), fixtures.path(F::wav)}, 2, QStringLiteral("usage:")},
        {{QStringLiteral("wav"), fixtures.path(F::wav), fixtures.file(QStringLiteral("o.txt"))},
         2,
         QStringLiteral("the output must end in .wav")},
        {{QStringLiteral("wav"), fixtures.path(F::wav), out, QStringLiteral("--rate"),
          QStringLiteral("fast")},
         2,
         QStringLiteral("--rate needs a whole number")},
        {{QStringLiteral("wav"), fixtures.path(F::wav), out, QStringLiteral("--rate"),
          QStringLiteral("0")},
         2,
         QStringLiteral("--rate needs a whole number")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const CliRun run = cli(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(out));
}

TEST(CliMedia, CtrlCStopsTheConversionAndLeavesNothing) {
    MediaFixtures fixtures;
    const QString slow = fixtures.script(QStringLiteral("slow-ffmpeg"),
                                         "case \"$*\" in *\" -y \"*) ;; *) exit 1;; esac\n"
                                         "for last; do :; done\n"
                                         "echo partial > \"$last\"\n"
                                         "exec sleep 30\n");
    const QString out = fixtures.file(QStringLiteral("o.wav"));
    const QDir cache(converted());
    const QStringList before = cache.entryList(QDir::Files);
    QProcess process;
    QProcessEnvironment env = cliEnvironment();
    env.insert(QStringLiteral("BRCT_FFMPEG"), slow);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(LOROWEN_CLI_PATH),
                  {QStringLiteral("wav"), fixtures.path(F::mpegProgram), out});
    ASSERT_TRUE(process.waitForStarted());
    // Wait until the converter has made its partial file, then press Ctrl+C.
    for (int i = 0; i < 200 && cache.entryList({QStringLiteral("*.partial-*")}).isEmpty(); ++i)
        QThread::msleep(25);
    EXPECT_FALSE(cache.entryList({QStringLiteral("*.partial-*")}).isEmpty());
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(cache.entryList(QDir::Files), before);
}

TEST(CliMedia, HelpListsTheCommands) {
    const CliRun run = cli({QStringLiteral("--help")});
    EXPECT_TRUE(run.out.contains(QStringLiteral("probe MEDIA [--json]")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("wav MEDIA OUT.wav [--rate 16000]")));
}

} // namespace
