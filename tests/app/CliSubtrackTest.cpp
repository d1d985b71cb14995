// `lorowen-cli subtrack`, run as a person would from a shell on small videos made by ffmpeg.
#include "CliRunner.h"
#include "MediaFixtures.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

const QByteArray kCaptions = "1\n00:00:00,200 --> 00:00:00,600\nHello\n\n"
                             "2\n00:00:00,700 --> 00:00:00,900\nagain\n";

CliRun subtrack(const QStringList& arguments) {
    return cli(QStringList{QStringLiteral("subtrack")} + arguments);
}

TEST(CliSubtrack, WritesTheMovieAndItsSidecars) {
    MediaFixtures fixtures;
    TestFolder folder;
    const QString srt = folder.write(QStringLiteral("caps.srt"), kCaptions);
    const QString out = folder.path(QStringLiteral("movie.MOV"));
    const CliRun run = subtrack({fixtures.path(MediaFixtures::mp4), srt, out, "--sidecars"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, QStringLiteral("Saved movie.MOV with a subtitle track (+ .srt and .vtt "
                                      "beside it).\n"));
    EXPECT_TRUE(QFileInfo(out).size() > 0);
    EXPECT_TRUE(folder.read(QStringLiteral("movie.srt")).startsWith("1\n00:00:00,200"));
    EXPECT_TRUE(folder.read(QStringLiteral("movie.vtt")).startsWith("WEBVTT"));
}

TEST(CliSubtrack, ExplainsWhatItCannotDo) {
    MediaFixtures fixtures;
    TestFolder folder;
    const QString srt = folder.write(QStringLiteral("caps.srt"), kCaptions);
    const QString empty = folder.write(QStringLiteral("empty.srt"), "no captions here\n");
    const QString video = fixtures.path(MediaFixtures::mp4);
    MediaFixtures::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1", "-f",
                           "lavfi", "-i", "sine=duration=1", "-c:v", "libx264", "-preset",
                           "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le",
                           fixtures.file("pcm.mov")});
    struct Row {
        QStringList arguments;
        int status;
        QString error; // the first line of standard error
    };
    const QList<Row> rows = {
        {{video, srt, folder.path(QStringLiteral("out.mkv"))},
         2,
         QStringLiteral("lorowen-cli: the output must end in .mp4 or .mov")},
        {{video, srt},
         2,
         QStringLiteral("lorowen-cli: subtrack takes a media file, a captions file and an output "
                        "file")},
        {{video, empty, folder.path(QStringLiteral("out.mp4"))},
         3,
         QStringLiteral(
             "lorowen-cli: “empty.srt” doesn't contain SRT, VTT, ASS, SSA, TTML or SBV captions.")},
        {{fixtures.path(MediaFixtures::audioOnly), srt, folder.path(QStringLiteral("out.mp4"))},
         3,
         QStringLiteral("lorowen-cli: This is an audio file. Export SRT, VTT or TXT instead.")},
        {{fixtures.file(QStringLiteral("pcm.mov")), srt, folder.path(QStringLiteral("out.mp4"))},
         3,
         QStringLiteral("lorowen-cli: This file's audio format can't go into an MP4 without "
                        "re-encoding. Try the other container (MOV accepts more formats), or "
                        "export a burned-in MP4.")},
    };
    for (const Row& row : rows) {
        const CliRun run = subtrack(row.arguments);
        EXPECT_EQ(run.status, row.status) << row.arguments.join(u' ').toStdString();
        EXPECT_EQ(run.err.section(u'\n', 0, 0), row.error)
            << row.arguments.join(u' ').toStdString();
    }
    EXPECT_EQ(QDir(folder.root()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"caps.srt", "empty.srt"}));
}

} // namespace
