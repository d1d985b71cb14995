// lorowen-cli burn, run as a person would from a shell.
#include "CliRunner.h"
#include "MediaFixtures.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QByteArray kCaptions = "1\n00:00:00,200 --> 00:00:00,800\nHello there\n\n";

// The first video stream's size and the first sound stream's codec, from ffprobe.
QString streams(const QString& path) {
    QProcess probe;
    probe.start(QStandardPaths::findExecutable(QStringLiteral("ffprobe")),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("stream=codec_name,width,height"), QStringLiteral("-of"),
                 QStringLiteral("csv=p=0"), path});
    probe.waitForFinished(60000);
    return QString::fromUtf8(probe.readAllStandardOutput()).trimmed();
}

} // namespace

TEST(CliBurn, WritesTheVideoAndItsSidecars) {
    MediaFixtures fixtures;
    TestFolder folder;
    const QString captions = folder.write(QStringLiteral("talk.srt"), kCaptions);
    const QString out = folder.path(QStringLiteral("talk (captioned).mp4"));
    const CliRun run = cli({QStringLiteral("burn"), fixtures.path(MediaFixtures::mp4), captions,
                            out, QStringLiteral("--style"), QStringLiteral("social pop"),
                            QStringLiteral("--sidecars")});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("Saved talk (captioned).mp4 (+ .srt and .vtt beside it).\n"));
    EXPECT_EQ(streams(out), QStringLiteral("h264,64,48\naac"));
    EXPECT_TRUE(QFile::exists(folder.path(QStringLiteral("talk (captioned).srt"))));
    EXPECT_TRUE(QFile::exists(folder.path(QStringLiteral("talk (captioned).vtt"))));

    // The style named is the one drawn.
    const QString plain = folder.path(QStringLiteral("plain.mp4"));
    ASSERT_EQ(cli({QStringLiteral("burn"), fixtures.path(MediaFixtures::mp4), captions, plain,
                   QStringLiteral("--style"), QStringLiteral("Broadcast")})
                  .status,
              0);
    QFile a(out);
    QFile b(plain);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_NE(a.readAll(), b.readAll());
}

TEST(CliBurn, StyleFilesAndProblemsAreTold) {
    MediaFixtures fixtures;
    TestFolder folder;
    const QString captions = folder.write(QStringLiteral("talk.srt"), kCaptions);
    const QString clip = fixtures.path(MediaFixtures::mp4);
    const QString out = folder.path(QStringLiteral("out.mp4"));

    const QString style = folder.write(
        QStringLiteral("look.json"),
        R"({"name":"Mine","font":"Impact","sizePercent":9,"textHex":"00FF00","boxHex":"000000",
            "boxOpacity":0,"outline":true,"outlineHex":"000000","uppercase":false,
            "position":"top","marginPercent":3})");
    CliRun run =
        cli({QStringLiteral("burn"), clip, captions, out, QStringLiteral("--style"), style});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("Saved out.mp4.\n"));

    struct Case {
        QStringList arguments;
        int status;
        QString error;
    };
    const QString broken = folder.write(QStringLiteral("broken.json"), "{\"name\":1}");
    const QString empty = folder.write(QStringLiteral("empty.srt"), "nothing here\n");
    const Case cases[] = {
        {{clip, captions},
         2,
         QStringLiteral("burn takes a media file, a caption file and an output")},
        {{clip, captions, out, QStringLiteral("--style"), QStringLiteral("Nope")},
         2,
         QStringLiteral("--style takes a style JSON file or one of “Broadcast”")},
        {{clip, captions, out, QStringLiteral("--style"), broken},
         2,
         QStringLiteral("“broken.json” isn't a caption style")},
        {{clip, empty, out},
         3,
         QStringLiteral("“empty.srt” doesn't contain SRT, VTT, ASS, SSA, TTML or SBV captions.")},
        {{fixtures.path(MediaFixtures::wav), captions, out},
         3,
         QStringLiteral("Burned-in captions need a video file. For audio files export SRT, VTT or "
                        "TXT.")},
        {{clip, captions, clip},
         3,
         QStringLiteral("The export can't replace the file it is made from.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        run = cli(QStringList{QStringLiteral("burn")} + c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.contains(c.error)) << run.err.toStdString();
    }
}

TEST(CliBurn, CtrlCStopsAndLeavesTheOldFile) {
    MediaFixtures fixtures;
    TestFolder folder;
    const QString clip = fixtures.file(QStringLiteral("long.mp4"));
    ASSERT_TRUE(MediaFixtures::ffmpeg(
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("testsrc2=size=640x360:rate=30:duration=60"), QStringLiteral("-c:v"),
         QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
         QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), clip}));
    const QString captions = folder.write(QStringLiteral("talk.srt"), kCaptions);
    const QString out = folder.write(QStringLiteral("out.mp4"), "the old movie");
    QProcess process;
    process.setProcessEnvironment(cliEnvironment());
    process.start(QStringLiteral(LOROWEN_CLI_PATH), {QStringLiteral("burn"), clip, captions, out});
    ASSERT_TRUE(process.waitForStarted());
    // Once the export's temporary file has grown, it is well under way.
    ASSERT_TRUE(spinUntil(
        [&] {
            for (const QFileInfo& file :
                 QDir(folder.root()).entryInfoList(QDir::Files | QDir::Hidden))
                if (file.fileName().contains(QStringLiteral(".part.")) && file.size() > 0)
                    return true;
            return false;
        },
        60000));
    ::kill(pid_t(process.processId()), SIGINT);
    process.waitForFinished(60000);
    EXPECT_EQ(process.exitCode(), 130) << process.readAllStandardError().toStdString();
    EXPECT_EQ(folder.read(QStringLiteral("out.mp4")), "the old movie");
    EXPECT_EQ(QDir(folder.root()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("out.mp4"), QStringLiteral("talk.srt")}));
}
