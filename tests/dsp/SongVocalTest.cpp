// Song mode streamed in bounded memory (VocalIsolator::songVocal) against the three calls it
// stands for, denoise(isolate(stereoSamples(file))), on files made at test time.
#include "BCAudio.h"
#include "BCError.h"
#include "MediaFixtures.h"
#include "VocalIsolator.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace {

// Interleaved stereo at 16 000 per second, `frames` long: a centre melody sung in phrases (notes
// of half a second, rests between phrases), a guitar on the left, a bass below the band, a steady
// noise bed partly shared by the channels, and a quiet passage at the end.
std::vector<float> song(std::size_t frames) {
    std::mt19937 generator(21);
    std::normal_distribution<float> normal(0, 1);
    std::vector<float> interleaved(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / 16000;
        const double note = 220 * std::pow(2.0, double(int(t * 2) % 5) / 12);
        const bool sung = std::fmod(t, 3.0) < 2.2;
        const double quiet = t > double(frames) / 16000 * 0.8 ? 0.05 : 1.0;
        const double voice = sung ? 0.3 * std::sin(2 * std::numbers::pi * note * t) +
                                        0.1 * std::sin(2 * std::numbers::pi * 3 * note * t)
                                  : 0.0;
        const double guitar = 0.2 * std::sin(2 * std::numbers::pi * 1250 * t);
        const double bass = 0.3 * std::sin(2 * std::numbers::pi * 70 * t);
        const double shared = 0.02 * normal(generator);
        interleaved[2 * i] =
            float(quiet * (voice + guitar + bass + shared) + 0.03 * normal(generator));
        interleaved[2 * i + 1] = float(quiet * (voice + bass + shared) + 0.03 * normal(generator));
    }
    return interleaved;
}

// Signal to difference in dB, the reference being the signal.
double signalToDifference(const std::vector<float>& reference, const std::vector<float>& other) {
    double signal = 0;
    double difference = 0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        signal += double(reference[i]) * reference[i];
        const double d = double(reference[i]) - other[i];
        difference += d * d;
    }
    return difference == 0 ? 999.0 : 10 * std::log10(signal / difference);
}

std::vector<float> threeCalls(const QString& path) {
    const VocalIsolator::Channels channels = VocalIsolator::stereoSamples(path);
    return VocalIsolator::denoise(
        VocalIsolator::isolate(channels.left, channels.right, VocalIsolator::songLowHz,
                               VocalIsolator::songHighHz, VocalIsolator::songSharpness),
        VocalIsolator::songStrength, VocalIsolator::songFloorGain);
}

// The bar asked for is 40 dB of signal to difference; the streamed result measures 70 dB or more
// here, and a noise level read at the 27.5th percentile instead of the 25th already falls to
// about 52.
TEST(SongVocal, MatchesTheThreeCallsWithinSixtyDecibels) {
    MediaFixtures media;
    struct Case {
        QString path;
        double atLeastDb;
    };
    const Case cases[] = {
        // The benchmark's music, at 44.1 kHz, so the reader converts the rate in both runs.
        {[&] {
             const QString path = media.file(QStringLiteral("music44k.wav"));
             const bool made = MediaFixtures::ffmpeg(
                 {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("aevalsrc=0.3*sin(2*PI*(300+100*floor(mod(t\\,4)))*t)*lt(mod(t\\,"
                                 "1)\\,0.6)+0.2*sin(2*PI*1500*t)+0.05*random(0)|0.3*sin(2*PI*(300+"
                                 "100*floor(mod(t\\,4)))*t)*lt(mod(t\\,1)\\,0.6)+0.05*random(1):"
                                 "s=44100:d=20"),
                  QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), path});
             EXPECT_TRUE(made);
             return path;
         }(),
         60},
        {media.floatWav(QStringLiteral("song.wav"), song(16000 * 25 + 77), 16000, 2), 60},
        // Lengths around denoise's pass-through (4096) and the hop; silence is not raised.
        {media.floatWav(QStringLiteral("short.wav"), song(1000), 16000, 2), 60},
        {media.floatWav(QStringLiteral("quarter.wav"), song(4096), 16000, 2), 60},
        {media.floatWav(QStringLiteral("gated.wav"), song(4097), 16000, 2), 60},
        {media.floatWav(QStringLiteral("silent.wav"), std::vector<float>(2 * 20000, 0.0f), 16000,
                        2),
         999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const std::vector<float> expected = threeCalls(c.path);
        const std::vector<float> streamed = VocalIsolator::songVocal(c.path).takeSamples();
        ASSERT_EQ(streamed.size(), expected.size());
        const double db = signalToDifference(expected, streamed);
        RecordProperty(QFileInfo(c.path).fileName().toStdString(), std::to_string(db));
        EXPECT_GE(db, c.atLeastDb);
    }
}

TEST(SongVocal, WritesTheWavFileOfItsSamples) {
    MediaFixtures media;
    const QString path = media.floatWav(QStringLiteral("song.wav"), song(16000 * 3 + 5), 16000, 2);
    const VocalIsolator::Vocal written = VocalIsolator::songVocal(path);
    const QString streamedWav = media.file(QStringLiteral("streamed.wav"));
    written.writeWAV(streamedWav);
    VocalIsolator::Vocal taken = VocalIsolator::songVocal(path);
    const QString fromFloats = media.file(QStringLiteral("floats.wav"));
    BCAudio::writeWAV(taken.takeSamples(), VocalIsolator::rate, fromFloats);
    EXPECT_EQ(taken.size(), 0u);

    QFile a(streamedWav);
    QFile b(fromFloats);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    const QByteArray bytes = a.readAll();
    EXPECT_EQ(bytes.size(), 44 + 2 * qsizetype(written.size()));
    EXPECT_TRUE(bytes == b.readAll());
}

TEST(SongVocal, StopsNearMaxSecondsAsTheStereoReadDoes) {
    MediaFixtures media;
    const QString path = media.floatWav(QStringLiteral("song.wav"), song(16000 * 3), 16000, 2);
    const auto read = VocalIsolator::stereoSamples(path, {}, {}, 1.0);
    const VocalIsolator::Vocal vocal = VocalIsolator::songVocal(path, {}, {}, {}, 1.0);
    EXPECT_EQ(vocal.size(), read.left.size());
    EXPECT_LT(vocal.size(), 24000u);
}

TEST(SongVocal, ProgressRunsToOneInEachPassAndStopThrowsCancelled) {
    MediaFixtures media;
    const QString path = media.floatWav(QStringLiteral("song.wav"), song(16000 * 20), 16000, 2);
    std::vector<double> reading;
    std::vector<double> cleaning;
    VocalIsolator::songVocal(
        path, [&](double f) { reading.push_back(f); }, [&](double f) { cleaning.push_back(f); });
    for (const auto* fractions : {&reading, &cleaning}) {
        ASSERT_FALSE(fractions->empty());
        EXPECT_TRUE(std::is_sorted(fractions->begin(), fractions->end()));
        EXPECT_EQ(fractions->back(), 1.0);
    }
    EXPECT_EQ(cleaning.front(), 0.0);

    // A stop asked for in either pass ends the call at its next check.
    for (const bool inFirstPass : {true, false}) {
        SCOPED_TRACE(inFirstPass ? "reading" : "cleaning");
        std::stop_source source;
        const auto stop = [&](double) { source.request_stop(); };
        const VocalIsolator::Progress none;
        EXPECT_THROW(VocalIsolator::songVocal(path, inFirstPass ? stop : none,
                                              inFirstPass ? none : stop, source.get_token()),
                     BCCancelled);
    }
}

TEST(SongVocal, FailuresAreTheReadersSentences) {
    MediaFixtures media;
    try {
        VocalIsolator::songVocal(media.path(MediaFixtures::videoOnly));
        ADD_FAILURE() << "no error";
    } catch (const BCError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("This file has no sound track."));
    }
}

} // namespace
