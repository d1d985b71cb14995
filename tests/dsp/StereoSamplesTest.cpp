// Song mode's stereo read, on tiny files made at test time.
#include "BCError.h"
#include "MediaFixtures.h"
#include "VocalIsolator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

// 500 Hz at 0.5 on the left, 2000 Hz at 0.25 on the right, interleaved, at 16 000 per second.
std::vector<float> twoTones(std::size_t frames) {
    std::vector<float> interleaved(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / 16000;
        interleaved[2 * i] = float(0.5 * std::sin(2 * std::numbers::pi * 500 * t));
        interleaved[2 * i + 1] = float(0.25 * std::sin(2 * std::numbers::pi * 2000 * t));
    }
    return interleaved;
}

TEST(StereoSamples, SplitsTheFramesIntoLeftAndRight) {
    MediaFixtures media;
    const std::vector<float> interleaved = twoTones(24000);
    const QString path = media.floatWav(QStringLiteral("two.wav"), interleaved, 16000, 2);
    const auto read = VocalIsolator::stereoSamples(path);
    std::vector<float> left;
    std::vector<float> right;
    for (std::size_t i = 0; i < interleaved.size(); i += 2) {
        left.push_back(interleaved[i]);
        right.push_back(interleaved[i + 1]);
    }
    EXPECT_EQ(read.left, left);
    EXPECT_EQ(read.right, right);
}

TEST(StereoSamples, ConvertsOtherRatesAndMono) {
    MediaFixtures media;
    struct Case {
        QString path;
        std::size_t frames; // expected at 16 000 per second, give or take 50
    };
    const Case cases[] = {
        {media.tone(QStringLiteral("stereo44k.wav"), 1.5, 44100, 2), 24000},
        {media.tone(QStringLiteral("stereo48k.wav"), 1.5, 48000, 2), 24000},
        {media.path(MediaFixtures::wav), 16000}, // one second, mono at 44 100
        {media.tone(QStringLiteral("mono22k.wav"), 1.5, 22050, 1), 24000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const auto read = VocalIsolator::stereoSamples(c.path);
        EXPECT_NEAR(double(read.left.size()), double(c.frames), 50);
        // Every fixture has the same tone in both channels (or only one channel).
        EXPECT_EQ(read.left, read.right);
    }
}

TEST(StereoSamples, StopsNearMaxSecondsKeepingTheLastBuffer) {
    MediaFixtures media;
    const QString path = media.floatWav(QStringLiteral("three.wav"), twoTones(48000), 16000, 2);
    const auto read = VocalIsolator::stereoSamples(path, {}, {}, 1.0);
    EXPECT_GT(read.left.size(), 16000u);
    EXPECT_LT(read.left.size(), 24000u);
    EXPECT_EQ(read.right.size(), read.left.size());
}

TEST(StereoSamples, FailuresAreTheReadersSentences) {
    MediaFixtures media;
    struct Case {
        MediaFixtures::Kind kind;
        QString sentence;
    };
    const Case cases[] = {
        {MediaFixtures::videoOnly, QStringLiteral("This file has no sound track.")},
        {MediaFixtures::randomBytes, QStringLiteral("The sound track can't be decoded.")},
    };
    for (const Case& c : cases) {
        const QString path = media.path(c.kind);
        SCOPED_TRACE(path.toStdString());
        try {
            VocalIsolator::stereoSamples(path);
            ADD_FAILURE() << "no error";
        } catch (const BCError& e) {
            EXPECT_EQ(e.message(), c.sentence);
        }
    }
}

TEST(StereoSamples, StopThrowsCancelled) {
    MediaFixtures media;
    const QString path = media.floatWav(QStringLiteral("three.wav"), twoTones(48000), 16000, 2);
    std::stop_source source;
    std::vector<double> fractions;
    const auto stopAtOnce = [&](double f) {
        fractions.push_back(f);
        source.request_stop();
    };
    EXPECT_THROW(VocalIsolator::stereoSamples(path, stopAtOnce, source.get_token()), BCCancelled);
    ASSERT_EQ(fractions.size(), 1u);
    EXPECT_LT(fractions[0], 1.0);
}

} // namespace
