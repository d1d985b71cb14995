// Sound track samples, waveform peaks and WAV files, and the reusable reader.
#include "BCAudio.h"
#include "BCAudioReader.h"
#include "BCError.h"
#include "ErrorMessage.h"
#include "MediaFixtures.h"
#include "MediaPrinters.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

using F = MediaFixtures;

// The peak reduction, done the slow way on a whole array.
std::vector<float> reduce(const std::vector<float>& samples, size_t step) {
    std::vector<float> out;
    for (size_t i = 0; i < samples.size(); i += step) {
        float best = samples[i];
        for (size_t j = i + 1; j < std::min(i + step, samples.size()); ++j) {
            if (std::fabs(samples[j]) > std::fabs(best))
                best = samples[j];
        }
        out.push_back(best);
    }
    return out;
}

TEST(Audio, DecodeRateAndStep) {
    struct Case {
        double rate;
        double decode;
        int step;
    };
    const QList<Case> cases = {
        {16000, 16000, 1}, {2000, 8000, 4}, {100, 8000, 80},   {8000, 8000, 1},
        {3000, 8000, 3},   {5000, 8000, 2}, {44100, 44100, 1}, {300000, 192000, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BCAudio::decodeRate(c.rate), c.decode) << c.rate;
        EXPECT_EQ(BCAudio::reductionStep(c.rate), c.step) << c.rate;
    }
}

TEST(Audio, ReadsEveryKindAtTheRequestedRate) {
    MediaFixtures fixtures;
    const QList<F::Kind> kinds = {F::mp4,  F::mov,       F::wav,         F::mp3WithId3,
                                  F::aiff, F::audioOnly, F::mpegProgram, F::matroska};
    for (const F::Kind kind : kinds) {
        const QString path = fixtures.path(kind);
        SCOPED_TRACE(path.toStdString());
        const std::vector<float> at16k = BCAudio::monoSamples(path, 16000, 21600);
        EXPECT_NEAR(double(at16k.size()), 16000, 1200); // compressed formats pad a little
        const std::vector<float> at2k = BCAudio::monoSamples(path, 2000, 21600);
        EXPECT_NEAR(double(at2k.size()), 2000, 150);
        float loudest = 0;
        for (const float x : at16k)
            loudest = std::max(loudest, std::fabs(x));
        EXPECT_GT(loudest, 0.05f); // the tone is there
        EXPECT_LE(loudest, 1.01f);
    }
}

// The waveform keeps the loudest sample of every four decoded at 8 000 per second, while
// decoding: the same result as reducing a full 8 000 per second read, so a click survives.
TEST(Audio, TwoThousandPerSecondKeepsTheLoudestOfEveryFour) {
    MediaFixtures fixtures;
    std::vector<float> stereo(2 * 44100, 0.0f);
    for (int i = 0; i < 44100; ++i) {
        const float tone = 0.05f * float(std::sin(2 * M_PI * 300 * i / 44100.0));
        stereo[size_t(2 * i)] = tone;
        stereo[size_t(2 * i + 1)] = tone;
    }
    stereo[2 * 22050] = stereo[2 * 22050 + 1] = 0.95f; // a click in the middle
    const QString path = fixtures.floatWav(QStringLiteral("click.wav"), stereo, 44100, 2);

    const std::vector<float> full = BCAudio::monoSamples(path, 8000, 21600);
    const std::vector<float> waveform = BCAudio::monoSamples(path, 2000, 21600);
    EXPECT_EQ(waveform, reduce(full, 4));
    EXPECT_NEAR(double(waveform.size()), 2000, 5);
    const float fullPeak = *std::max_element(full.begin(), full.end());
    const float wavePeak = *std::max_element(waveform.begin(), waveform.end());
    EXPECT_EQ(wavePeak, fullPeak);
    EXPECT_GT(wavePeak, 0.1f);
}

TEST(Audio, MixesDownToTheMeanAndPassesExactValues) {
    MediaFixtures fixtures;
    std::vector<float> stereo;
    for (int i = 0; i < 1600; ++i) {
        stereo.push_back(0.5f);
        stereo.push_back(0.1f);
    }
    const QString two = fixtures.floatWav(QStringLiteral("two.wav"), stereo, 16000, 2);
    const std::vector<float> mono = BCAudio::monoSamples(two, 16000, 21600);
    ASSERT_EQ(mono.size(), 1600u);
    for (const float x : mono)
        ASSERT_NEAR(x, 0.3f, 1e-6f);

    // Values that are not finite (a damaged or crafted float file) become 0.
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> odd = {
        0.25f, std::numeric_limits<float>::quiet_NaN(), inf, -inf, -0.5f, 1.5f};
    const QString crafted = fixtures.floatWav(QStringLiteral("odd.wav"), odd, 16000, 1);
    EXPECT_EQ(BCAudio::monoSamples(crafted, 16000, 21600),
              (std::vector<float>{0.25f, 0, 0, 0, -0.5f, 1.5f}));
}

TEST(Audio, MaxSecondsStopsAfterTheBufferThatCrossesIt) {
    MediaFixtures fixtures;
    const QString path = fixtures.tone(QStringLiteral("two.wav"), 2.0);
    const std::vector<float> samples = BCAudio::monoSamples(path, 16000, 0.5);
    EXPECT_GT(samples.size(), 8000u);
    EXPECT_LT(samples.size(), 8000u + 4096u); // one buffer more at most
    const std::vector<float> none = BCAudio::monoSamples(path, 16000, 0);
    EXPECT_GT(none.size(), 0u);
    EXPECT_LT(none.size(), 4096u);
}

TEST(Audio, ReportsProgressAndStopsWithNothingPartial) {
    MediaFixtures fixtures;
    const QString path = fixtures.tone(QStringLiteral("three.wav"), 3.0);
    QList<double> fractions;
    BCAudio::monoSamples(path, 16000, 21600, [&](double f) { fractions.append(f); });
    ASSERT_FALSE(fractions.isEmpty()); // the first buffer reports at once
    EXPECT_GT(fractions.first(), 0.0);
    EXPECT_LE(fractions.last(), 1.0);

    std::stop_source source;
    int reports = 0;
    EXPECT_THROW(BCAudio::monoSamples(
                     path, 16000, 21600,
                     [&](double) {
                         ++reports;
                         source.request_stop(); // mid-decode, after the first buffer
                     },
                     source.get_token()),
                 BCCancelled);
    EXPECT_EQ(reports, 1);

    std::stop_source early;
    early.request_stop();
    EXPECT_THROW(BCAudio::monoSamples(path, 2000, 21600, {}, early.get_token()), BCCancelled);
}

TEST(Audio, FailuresSayTheirSentences) {
    MediaFixtures fixtures;
    EXPECT_EQ(messageOf([&] { BCAudio::monoSamples(fixtures.path(F::videoOnly), 16000, 10); }),
              QStringLiteral("This file has no sound track."));
    EXPECT_EQ(messageOf([&] { BCAudio::monoSamples(fixtures.path(F::randomBytes), 16000, 10); }),
              QStringLiteral("The sound track can't be decoded."));
    EXPECT_EQ(messageOf([&] { BCAudio::monoSamples(fixtures.path(F::mpegVideo), 16000, 10); }),
              QStringLiteral("This file has no sound track."));
}

TEST(Audio, TheReaderGivesInterleavedStereo) {
    MediaFixtures fixtures;
    std::vector<float> stereo;
    for (int i = 0; i < 800; ++i) {
        stereo.push_back(0.5f);
        stereo.push_back(-0.25f);
    }
    const QString path = fixtures.floatWav(QStringLiteral("lr.wav"), stereo, 16000, 2);
    BCAudioReader reader(path, 16000, 2);
    EXPECT_NEAR(reader.duration(), 0.05, 1e-3);
    std::vector<float> got;
    reader.read([&](std::span<const float> buffer) {
        EXPECT_EQ(buffer.size() % 2, 0u);
        got.insert(got.end(), buffer.begin(), buffer.end());
        return true;
    });
    EXPECT_EQ(got, stereo);

    // Returning false stops early, without an error.
    BCAudioReader again(fixtures.tone(QStringLiteral("one.wav"), 1.0), 16000, 1);
    int buffers = 0;
    again.read([&](std::span<const float>) { return ++buffers < 2; });
    EXPECT_EQ(buffers, 2);
}

TEST(Audio, Peaks) {
    struct Case {
        std::vector<float> samples;
        int buckets;
        std::vector<float> bars;
    };
    const QList<Case> cases = {
        {{}, 10, {}},
        {{0.5f}, 0, {}},
        {{2.5f}, 10, {1.0f}},
        {{0.1f, -0.2f, 0.3f, -0.4f, 0.5f, -0.6f, 0.7f, -0.8f, 0.9f, -1.0f},
         3,
         {0.3f, 0.6f, 0.9f, 1.0f}}, // step 3: four bars
        {{0.1f, -0.2f, 0.3f, -0.4f}, 2, {0.2f, 0.4f}},
        {{0, 0, 0, 0}, 2, {0, 0}},
        {{-0.5f, 0.25f}, 5, {0.5f, 0.25f}}, // fewer samples than buckets: step 1
    };
    for (qsizetype i = 0; i < cases.size(); ++i)
        EXPECT_EQ(BCAudio::peaks(cases[i].samples, cases[i].buckets), cases[i].bars)
            << "case " << i;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(Audio, WritesTheWavHeaderAndRoundsTowardZero) {
    MediaFixtures fixtures;
    const QString empty = fixtures.file(QStringLiteral("empty.wav"));
    BCAudio::writeWAV({}, 16000, empty);
    const QByteArray e = readAll(empty);
    ASSERT_EQ(e.size(), 44);
    EXPECT_EQ(qFromLittleEndian<quint32>(e.constData() + 4), 36u);
    EXPECT_EQ(qFromLittleEndian<quint32>(e.constData() + 40), 0u);

    const std::vector<float> samples = {1.0f, -1.0f, 0.5f, 2.0f, -2.0f, -0.5f, 0.0f, 0.99999f};
    const QString path = fixtures.file(QStringLiteral("s.wav"));
    BCAudio::writeWAV(samples, 16000, path);
    const QByteArray b = readAll(path);
    const QByteArray header = QByteArray("RIFF") + QByteArray("\x34\0\0\0", 4) + "WAVEfmt " +
                              QByteArray("\x10\0\0\0\1\0\1\0", 8) +
                              QByteArray("\x80\x3E\0\0\0\x7D\0\0", 8) +
                              QByteArray("\2\0\x10\0", 4) + "data" + QByteArray("\x10\0\0\0", 4);
    ASSERT_EQ(b.size(), 44 + 16);
    EXPECT_EQ(b.left(44), header);
    std::vector<qint16> values;
    for (int i = 0; i < 8; ++i)
        values.push_back(qFromLittleEndian<qint16>(b.constData() + 44 + 2 * i));
    EXPECT_EQ(values, (std::vector<qint16>{32767, -32767, 16383, 32767, -32767, -16383, 0, 32766}));

    // A read of the written file gives the samples back to within one step.
    const std::vector<float> back = BCAudio::monoSamples(path, 16000, 21600);
    ASSERT_EQ(back.size(), samples.size());
    EXPECT_NEAR(back[2], 0.5f, 1.0f / 32767);
}

// The 32-bit size fields used to wrap around silently for very long inputs.
TEST(Audio, RefusesSizesThatDoNotFitAWav) {
    EXPECT_TRUE(BCAudio::wavFits(0, 16000));
    EXPECT_TRUE(BCAudio::wavFits((0xFFFFFFFFull - 36) / 2, 16000));
    EXPECT_FALSE(BCAudio::wavFits((0xFFFFFFFFull - 36) / 2 + 1, 16000));
    EXPECT_FALSE(BCAudio::wavFits(10, 0));
    EXPECT_FALSE(BCAudio::wavFits(10, -8000));
    EXPECT_TRUE(BCAudio::wavFits(10, 0x7FFFFFFF));
    EXPECT_FALSE(BCAudio::wavFits(10, 0x80000000LL));

    MediaFixtures fixtures;
    const std::vector<float> one = {0.1f};
    EXPECT_THROW(BCAudio::writeWAV(one, 0, fixtures.file(QStringLiteral("zero.wav"))),
                 std::invalid_argument);
    EXPECT_TRUE(messageOf([&] {
                    BCAudio::writeWAV(one, 16000, fixtures.file(QStringLiteral("no/dir/x.wav")));
                }).startsWith(QStringLiteral("The file “x.wav” couldn't be saved")));
}

TEST(Audio, StreamingWavIsByteForByteTheSame) {
    MediaFixtures fixtures;
    for (const F::Kind kind : {F::mp4, F::wav, F::mpegProgram}) {
        const QString input = fixtures.path(kind);
        SCOPED_TRACE(input.toStdString());
        for (const int rate : {16000, 2000}) {
            const QString whole = fixtures.file(QStringLiteral("whole.wav"));
            const QString streamed = fixtures.file(QStringLiteral("streamed.wav"));
            const std::vector<float> samples = BCAudio::monoSamples(input, rate, 21600);
            BCAudio::writeWAV(samples, rate, whole);
            EXPECT_EQ(BCAudio::writeMonoWAV(input, rate, 21600, streamed), samples.size());
            EXPECT_EQ(readAll(streamed), readAll(whole));
        }
    }
    // Nothing decoded: nothing written. A stop: nothing written either.
    const QString none = fixtures.file(QStringLiteral("none.wav"));
    const std::vector<float> empty;
    const QString silent = fixtures.floatWav(QStringLiteral("silent.wav"), empty, 16000, 1);
    EXPECT_EQ(BCAudio::writeMonoWAV(silent, 16000, 21600, none), 0u);
    EXPECT_FALSE(QFile::exists(none));
    std::stop_source source;
    EXPECT_THROW(BCAudio::writeMonoWAV(
                     fixtures.tone(QStringLiteral("long.wav"), 3.0), 16000, 21600, none,
                     [&](double) { source.request_stop(); }, source.get_token()),
                 BCCancelled);
    EXPECT_FALSE(QFile::exists(none));
    EXPECT_EQ(QDir(fixtures.folder()).entryList({QStringLiteral("none*")}), QStringList());
}

} // namespace
