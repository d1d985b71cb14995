// `lorowen-cli vocals`, run as a person would from a shell on a stereo file made by ffmpeg.
#include "MediaFixtures.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

struct ProcessRun {
    int status = -1;
    QString err;
};

ProcessRun vocals(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(LOROWEN_CLI_PATH),
                  QStringList{QStringLiteral("vocals")} << arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardError())};
}

// Two seconds at 44.1 kHz: a 500 Hz voice in the centre that sings a quarter second in every half
// (a note that never stopped would count as steady background), a 2000 Hz guitar on the left
// only, and a fade at the end.
QString makeSong(const TestFolder& folder) {
    const QString path = folder.path(QStringLiteral("song.wav"));
    MediaFixtures::ffmpeg(
        {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
         QStringLiteral("aevalsrc=0.3*sin(2*PI*500*t)*lt(mod(t\\,0.5)\\,0.25)+0.3*sin(2*PI*2000*t)|"
                        "0.3*sin(2*PI*500*t)*lt(mod(t\\,0.5)\\,0.25):s=44100:d=2,"
                        "afade=t=out:st=1.5:d=0.5"),
         path});
    return path;
}

uint32_t le32(const QByteArray& b, int at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

uint16_t le16(const QByteArray& b, int at) {
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

double amplitudeAt(const std::vector<double>& x, double hz, std::size_t from, std::size_t to) {
    double re = 0;
    double im = 0;
    for (std::size_t i = from; i < to; ++i) {
        re += x[i] * std::cos(2 * std::numbers::pi * hz * double(i) / 16000);
        im += x[i] * std::sin(2 * std::numbers::pi * hz * double(i) / 16000);
    }
    return 2 * std::hypot(re, im) / double(to - from);
}

TEST(CliVocals, WritesTheCentreAsSixteenKilohertzMonoWav) {
    TestFolder folder;
    const QString out = folder.path(QStringLiteral("vocals.wav"));
    const ProcessRun result = vocals({makeSong(folder), out});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();

    const QByteArray wav = folder.read(QStringLiteral("vocals.wav"));
    ASSERT_GE(wav.size(), 44);
    EXPECT_EQ(wav.left(4), "RIFF");
    EXPECT_EQ(le16(wav, 22), 1u);     // channels
    EXPECT_EQ(le32(wav, 24), 16000u); // rate
    EXPECT_EQ(le16(wav, 34), 16u);    // bits
    const uint32_t frames = le32(wav, 40) / 2;
    EXPECT_EQ(wav.size(), qsizetype(44 + 2 * frames));
    EXPECT_NEAR(double(frames), 32000, 50);

    std::vector<double> samples(frames);
    for (uint32_t i = 0; i < frames; ++i)
        samples[i] = int16_t(le16(wav, int(44 + 2 * i))) / 32767.0;
    const double voice = amplitudeAt(samples, 500, 2048, frames - 4096);
    const double guitar = amplitudeAt(samples, 2000, 2048, frames - 4096);
    double peak = 0;
    for (const double x : samples)
        peak = std::max(peak, std::abs(x));
    EXPECT_NEAR(peak, 0.9, 0.001);
    EXPECT_GT(voice, 0.2);
    EXPECT_LT(guitar, voice * 0.02);
}

TEST(CliVocals, FailuresSayTheSentenceAndWriteNothing) {
    TestFolder folder;
    const QString song = makeSong(folder);
    const QString text = folder.write(QStringLiteral("notes.mp3"), QByteArray(5000, 'x'));
    struct Case {
        QStringList args;
        int status;
        QString sentence;
    };
    const QList<Case> cases = {
        {{folder.path(QStringLiteral("missing.wav")), folder.path(QStringLiteral("a.wav"))},
         3,
         QStringLiteral("Can't read that file: “missing.wav”")},
        {{text, folder.path(QStringLiteral("b.wav"))},
         3,
         QStringLiteral("The sound track can't be decoded.")},
        {{song, folder.path(QStringLiteral("no/such/folder/c.wav"))},
         3,
         QStringLiteral("The file “c.wav” couldn't be saved")},
        {{song, folder.path(QStringLiteral("d.mp3"))},
         2,
         QStringLiteral("the output must end in .wav")},
        {{song}, 2, QStringLiteral("vocals takes a media file and an output file")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const ProcessRun result = vocals(c.args);
        EXPECT_EQ(result.status, c.status);
        EXPECT_TRUE(result.err.contains(c.sentence)) << result.err.toStdString();
    }
    const QStringList left = QDir(folder.root()).entryList(QDir::Files);
    EXPECT_EQ(left, (QStringList{QStringLiteral("notes.mp3"), QStringLiteral("song.wav")}));
}

} // namespace
