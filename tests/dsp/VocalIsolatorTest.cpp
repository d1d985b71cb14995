// Song mode's vocal isolation and noise removal, on synthesised tones and seeded noise, and its
// stereo read on tiny files made by the ffmpeg CLI.
#include "VocalIsolator.h"
#include "BCError.h"
#include "TestFiles.h"

#include <QProcess>
#include <fftw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <memory>
#include <numbers>
#include <random>
#include <thread>
#include <type_traits>

namespace {

constexpr std::size_t kN = 1024;
constexpr std::size_t kHop = 256;

std::vector<float> tone(double hz, double amplitude, std::size_t n) {
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = float(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / 16000));
    return v;
}

std::vector<float> noise(std::size_t n, float sigma, unsigned seed) {
    std::mt19937 generator(seed);
    std::normal_distribution<float> normal(0, sigma);
    std::vector<float> v(n);
    for (float& x : v)
        x = normal(generator);
    return v;
}

std::vector<float> operator+(std::vector<float> a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] += b[i];
    return a;
}

std::vector<float> scaled(std::vector<float> a, float factor) {
    for (float& x : a)
        x *= factor;
    return a;
}

// Fades the last 4096 samples out. A sound cut off at the end of the input is a click spread over
// every frequency, which the band mask partly lets through; a faded end keeps each tone narrow.
std::vector<float> fadedOut(std::vector<float> x) {
    const std::size_t length = std::min<std::size_t>(4096, x.size());
    for (std::size_t i = 0; i < length; ++i)
        x[x.size() - 1 - i] *= float(0.5 * (1 - std::cos(std::numbers::pi * double(i) / 4096)));
    return x;
}

float peak(std::span<const float> x) {
    float p = 0;
    for (const float v : x)
        p = std::max(p, std::abs(v));
    return p;
}

float maxDifference(std::span<const float> a, std::span<const float> b) {
    float d = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        d = std::max(d, std::abs(a[i] - b[i]));
    return d;
}

// Amplitude of the `hz` component over samples [from, to).
double amplitudeAt(std::span<const float> x, double hz, std::size_t from, std::size_t to) {
    double re = 0;
    double im = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double phase = 2 * std::numbers::pi * hz * double(i) / 16000;
        re += x[i] * std::cos(phase);
        im += x[i] * std::sin(phase);
    }
    return 2 * std::hypot(re, im) / double(to - from);
}

// The algorithms written out literally with FFTW's complex transform of all 1024 bins, to check
// that the real-to-complex transforms of VocalIsolator give the same numbers.
class ComplexDft {
public:
    ComplexDft()
        : m_in(fftwf_alloc_complex(kN)), m_out(fftwf_alloc_complex(kN)),
          m_forward(
              fftwf_plan_dft_1d(int(kN), m_in.get(), m_out.get(), FFTW_FORWARD, FFTW_ESTIMATE)),
          m_backward(
              fftwf_plan_dft_1d(int(kN), m_in.get(), m_out.get(), FFTW_BACKWARD, FFTW_ESTIMATE)) {}

    // The spectrum of the windowed frame of `x` starting at `start`.
    std::vector<std::complex<float>> forward(std::span<const float> x, std::size_t start) {
        for (std::size_t i = 0; i < kN; ++i) {
            const double w = 0.5 * (1 - std::cos(2 * std::numbers::pi * double(i) / double(kN)));
            m_in.get()[i][0] = start + i < x.size() ? float(x[start + i] * w) : 0.0f;
            m_in.get()[i][1] = 0;
        }
        fftwf_execute(m_forward.get());
        std::vector<std::complex<float>> spectrum(kN);
        for (std::size_t k = 0; k < kN; ++k)
            spectrum[k] = {m_out.get()[k][0], m_out.get()[k][1]};
        return spectrum;
    }

    // Adds Re(inverse DFT) / 1024 × 0.5 into y from `start` on.
    void addInverse(const std::vector<std::complex<float>>& spectrum, std::vector<float>& y,
                    std::size_t start) {
        for (std::size_t k = 0; k < kN; ++k) {
            m_in.get()[k][0] = spectrum[k].real();
            m_in.get()[k][1] = spectrum[k].imag();
        }
        fftwf_execute(m_backward.get());
        for (std::size_t i = 0; i < kN; ++i)
            y[start + i] += m_out.get()[i][0] / float(kN) * 0.5f;
    }

private:
    struct Free {
        void operator()(fftwf_complex* p) const { fftwf_free(p); }
    };
    struct Destroy {
        void operator()(fftwf_plan p) const { fftwf_destroy_plan(p); }
    };
    using Plan = std::unique_ptr<std::remove_pointer_t<fftwf_plan>, Destroy>;
    std::unique_ptr<fftwf_complex[], Free> m_in;
    std::unique_ptr<fftwf_complex[], Free> m_out;
    Plan m_forward;
    Plan m_backward;
};

double binHz(std::size_t k) {
    return double(std::min(k, kN - k)) * 16000 / double(kN);
}

std::vector<float> normalised(std::vector<float> y, std::size_t n) {
    y.resize(n);
    const float p = peak(y);
    return p > 1e-6f ? scaled(std::move(y), 0.9f / p) : y;
}

std::vector<float> referenceIsolate(const std::vector<float>& l, const std::vector<float>& r,
                                    double lowHz, double highHz, float sharpness) {
    const std::size_t n = std::min(l.size(), r.size());
    ComplexDft dft;
    std::vector<float> y(n + kN, 0.0f);
    for (std::size_t s = 0; s < n; s += kHop) {
        const auto sl = std::span(l).first(n);
        const auto sr = std::span(r).first(n);
        const auto L = dft.forward(sl, s);
        const auto R = dft.forward(sr, s);
        std::vector<std::complex<float>> M(kN);
        for (std::size_t k = 0; k < kN; ++k) {
            float c = 2 * (L[k].real() * R[k].real() + L[k].imag() * R[k].imag()) /
                      (std::norm(L[k]) + std::norm(R[k]) + 1e-12f);
            c = std::min(std::max(c, 0.0f), 1.0f);
            const float band = lowHz <= binHz(k) && binHz(k) <= highHz ? 1 : 0;
            M[k] = std::pow(c, sharpness) * band * (L[k] + R[k]) / 2.0f;
        }
        dft.addInverse(M, y, s);
    }
    return normalised(std::move(y), n);
}

std::vector<float> referenceDenoise(const std::vector<float>& x, float strength, float floorGain) {
    const std::size_t n = x.size();
    const std::size_t frames = (n + kHop - 1) / kHop;
    ComplexDft dft;
    std::vector<std::vector<float>> perBin(kN / 2 + 1);
    for (std::size_t f = 0; f < frames; ++f) {
        const auto X = dft.forward(x, f * kHop);
        for (std::size_t k = 0; k <= kN / 2; ++k)
            perBin[k].push_back(std::abs(X[k]));
    }
    std::vector<float> noiseLevel(kN);
    for (std::size_t k = 0; k <= kN / 2; ++k) {
        std::sort(perBin[k].begin(), perBin[k].end());
        noiseLevel[k] = perBin[k][(n + 255) / 1024];
    }
    for (std::size_t k = 1; k <= 511; ++k)
        noiseLevel[kN - k] = noiseLevel[k];
    std::vector<float> y(n + kN, 0.0f);
    for (std::size_t f = 0; f < frames; ++f) {
        auto X = dft.forward(x, f * kHop);
        for (std::size_t k = 0; k < kN; ++k) {
            const float m = std::abs(X[k]);
            const float gain = m <= 1e-9f || binHz(k) < 100
                                   ? 0.0f
                                   : std::max(1 - strength * noiseLevel[k] / m, floorGain);
            X[k] *= gain;
        }
        dft.addInverse(X, y, f * kHop);
    }
    return normalised(std::move(y), n);
}

// Song mode's settings.
std::vector<float> songIsolate(std::span<const float> l, std::span<const float> r) {
    return VocalIsolator::isolate(l, r, 120, 6000, 8);
}
std::vector<float> songDenoise(std::span<const float> x) {
    return VocalIsolator::denoise(x, 1.6f, 0.12f);
}

TEST(VocalIsolator, RealTransformMatchesTheComplexTransform) {
    const std::size_t n = 20000 + 77;
    // A centre voice, a guitar on the left, a bass below the band, a partly shared noise bed.
    const auto centre = tone(437.5, 0.3, n) + tone(3000, 0.1, n) + noise(n, 0.02f, 1);
    const auto left = centre + tone(1250, 0.2, n) + tone(80, 0.3, n) + noise(n, 0.03f, 2);
    const auto right = centre + tone(90, 0.3, n) + noise(n, 0.03f, 3);
    const auto expectedIsolated = referenceIsolate(left, right, 120, 6000, 8);
    const auto isolated = songIsolate(left, right);
    ASSERT_EQ(isolated.size(), n);
    EXPECT_LT(maxDifference(isolated, expectedIsolated), 2e-5f);

    const auto expectedDenoised = referenceDenoise(isolated, 1.6f, 0.12f);
    const auto denoised = songDenoise(isolated);
    ASSERT_EQ(denoised.size(), n);
    EXPECT_LT(maxDifference(denoised, expectedDenoised), 2e-5f);
}

TEST(Isolate, IdenticalChannelsGiveTheBandLimitedInputAtPeakPointNine) {
    // Tones on bin centres, so each lies wholly inside or outside 120..6000 Hz: 31.25 Hz below,
    // 1000 Hz inside, 7500 Hz above. The length is no multiple of the hop, to cover the end.
    const std::size_t n = 16000 + 77;
    const auto mono = fadedOut(tone(31.25, 0.5, n) + tone(1000, 0.3, n) + tone(7500, 0.4, n));
    const auto out = songIsolate(mono, mono);
    ASSERT_EQ(out.size(), n);
    const auto expected = fadedOut(tone(1000, 0.9, n));
    EXPECT_LT(maxDifference(std::span(out).subspan(768), std::span(expected).subspan(768)), 1e-3f);
    EXPECT_FLOAT_EQ(peak(out), 0.9f);
    // The start is faded in: only one frame covers sample 20, and its window is near 0 there.
    EXPECT_LT(std::abs(out[20]), std::abs(expected[20]) * 0.1f);
}

TEST(Isolate, KeepsTheCentreAndDropsWhatIsOnOneSide) {
    const std::size_t n = 32000;
    const auto voice = fadedOut(tone(500, 0.3, n));
    const auto guitar = fadedOut(tone(2000, 0.3, n));
    const auto out = songIsolate(voice + guitar, voice);
    const double kept = amplitudeAt(out, 500, 2048, n - 4096);
    const double dropped = amplitudeAt(out, 2000, 2048, n - 4096);
    EXPECT_NEAR(kept, 0.9, 0.01);
    EXPECT_LT(dropped, kept * 0.01);
}

TEST(Isolate, SilentResultsAreNotScaled) {
    const std::size_t n = 8000;
    const auto loud = tone(1000, 0.5, n) + noise(n, 0.1f, 4);
    // Opposite channels cancel in every bin.
    const auto cancelled = songIsolate(loud, scaled(loud, -1));
    EXPECT_EQ(cancelled, std::vector<float>(n, 0.0f));
    // A faint centre tone (peak 5e-7) keeps its level rather than being raised to 0.9.
    const auto faint = fadedOut(tone(1000, 5e-7, n));
    const auto kept = songIsolate(faint, faint);
    EXPECT_LT(maxDifference(std::span(kept).subspan(768), std::span(faint).subspan(768)), 2e-8f);
}

TEST(VocalIsolator, OutputHasTheInputLength) {
    struct Case {
        std::size_t left;
        std::size_t right;
        std::size_t expected;
    };
    const Case isolateCases[] = {{0, 0, 0},       {0, 500, 0},        {1, 1, 1},
                                 {300, 100, 100}, {1025, 1024, 1024}, {5000, 5001, 5000}};
    for (const Case& c : isolateCases) {
        SCOPED_TRACE(testing::Message() << "isolate " << c.left << " x " << c.right);
        const auto out = songIsolate(noise(c.left, 0.1f, 5), noise(c.right, 0.1f, 6));
        EXPECT_EQ(out.size(), c.expected);
    }
    for (const std::size_t length : {0, 1, 4096, 4097, 4353, 10000}) {
        SCOPED_TRACE(testing::Message() << "denoise " << length);
        EXPECT_EQ(songDenoise(noise(length, 0.1f, 7)).size(), length);
    }
}

TEST(Denoise, PassesUpToAQuarterSecondThroughUnchanged) {
    const auto x = noise(4097, 0.1f, 8);
    const auto quarter = std::span(x).first(4096);
    EXPECT_EQ(songDenoise(quarter), std::vector<float>(quarter.begin(), quarter.end()));
    const auto ran = songDenoise(x);
    EXPECT_FLOAT_EQ(peak(ran), 0.9f);
}

TEST(Denoise, HumBelowOneHundredHertzVanishes) {
    const std::size_t n = 48000;
    const auto out = songDenoise(tone(50, 0.5, n) + tone(1000, 0.1, n));
    // Away from the ends, where the frames see the cut-off signal.
    const double hum = amplitudeAt(out, 50, 4096, n - 4096);
    const double kept = amplitudeAt(out, 1000, 4096, n - 4096);
    EXPECT_LT(hum, 0.001);
    EXPECT_GT(kept, 0.05);
}

TEST(Denoise, ANoteOverASteadyNoiseBedGainsSixDecibels) {
    // The note is steady while it sounds but rests between phrases, as a voice does: the gate
    // takes as noise what is present in three quarters of the frames, so a note that never
    // stopped would be gated too.
    const std::size_t n = 64000;
    const auto note = tone(1000, 0.1, n);
    std::vector<float> sung(n, 0.0f);
    for (std::size_t i = 0; i < n; ++i)
        sung[i] = i % 16000 < 8000 ? note[i] : 0.0f;
    const auto input = sung + noise(n, 0.05f, 9);
    const auto out = songDenoise(input);
    // The note's share by least squares over where it sounds; everything else is noise.
    const auto toneToNoiseDb = [&](const std::vector<float>& x) {
        double along = 0;
        double norm = 0;
        for (std::size_t i = 4096; i < n - 4096; ++i) {
            along += x[i] * sung[i];
            norm += double(sung[i]) * sung[i];
        }
        const double a = along / norm;
        double tonePower = 0;
        double rest = 0;
        for (std::size_t i = 4096; i < n - 4096; ++i) {
            tonePower += a * a * sung[i] * sung[i];
            rest += (x[i] - a * sung[i]) * (x[i] - a * sung[i]);
        }
        return 10 * std::log10(tonePower / rest);
    };
    EXPECT_GE(toneToNoiseDb(out) - toneToNoiseDb(input), 6.0);
}

TEST(VocalIsolator, ConcurrentCallsGiveTheSequentialResults) {
    const std::size_t n = 40000;
    const auto a = tone(700, 0.3, n) + noise(n, 0.05f, 10);
    const auto b = tone(300, 0.3, n) + noise(n, 0.05f, 11);
    const auto work = [&](const std::vector<float>& l, const std::vector<float>& r) {
        return songDenoise(songIsolate(l, r));
    };
    const auto first = work(a, b);
    const auto second = work(b, a);
    std::vector<float> firstAgain;
    std::vector<float> secondAgain;
    {
        std::jthread one([&] { firstAgain = work(a, b); });
        std::jthread two([&] { secondAgain = work(b, a); });
    }
    EXPECT_EQ(firstAgain, first);
    EXPECT_EQ(secondAgain, second);
}

TEST(VocalIsolator, StopThrowsCancelledAndProgressRunsToOne) {
    const auto x = noise(40000, 0.1f, 12);
    using Run = std::function<void(std::stop_token, const VocalIsolator::Progress&)>;
    const std::pair<const char*, Run> functions[] = {
        {"isolate",
         [&](auto stop, auto& p) { VocalIsolator::isolate(x, x, 120, 6000, 8, p, stop); }},
        {"denoise", [&](auto stop, auto& p) { VocalIsolator::denoise(x, 1.6f, 0.12f, p, stop); }},
    };
    for (const auto& [name, run] : functions) {
        SCOPED_TRACE(name);
        std::vector<double> fractions;
        run({}, [&](double f) { fractions.push_back(f); });
        ASSERT_FALSE(fractions.empty());
        EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
        EXPECT_EQ(fractions.back(), 1.0);

        std::stop_source source;
        int reports = 0;
        EXPECT_THROW(run(source.get_token(),
                         [&](double) {
                             if (++reports == 1)
                                 source.request_stop();
                         }),
                     BCCancelled);
        EXPECT_EQ(reports, 1);
    }
}

TEST(VocalIsolator, SamplesThatAreNotFiniteCountAsZero) {
    // Regression: a NaN or infinity spread over every frame that held it, and made the per-bin
    // ordering of magnitudes in denoise undefined.
    const std::size_t n = 20000;
    const auto clean = tone(1000, 0.3, n) + noise(n, 0.05f, 13);
    auto damaged = clean;
    auto zeroed = clean;
    for (const std::size_t i : {100, 9000, 15000}) {
        zeroed[i] = 0;
        damaged[i] = i == 9000 ? std::numeric_limits<float>::infinity()
                               : std::numeric_limits<float>::quiet_NaN();
    }
    EXPECT_EQ(songIsolate(damaged, damaged), songIsolate(zeroed, zeroed));
    EXPECT_EQ(songDenoise(damaged), songDenoise(zeroed));
}

} // namespace
