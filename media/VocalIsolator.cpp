#include "VocalIsolator.h"

#include "BCAudioReader.h"
#include "BCError.h"

#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <memory>
#include <mutex>
#include <numbers>
#include <optional>
#include <type_traits>

namespace VocalIsolator {

namespace {

constexpr std::size_t frameLength = 1024;
constexpr std::size_t hop = 256;
constexpr std::size_t bins = frameLength / 2 + 1; // 0..512, the Nyquist bin included
constexpr double binHz = double(rate) / double(frameLength);
// The inverse transform is unscaled (÷ 1024) and four windows overlap to 2 (× 0.5).
constexpr float overlapScale = 0.5f / float(frameLength);
constexpr float targetPeak = 0.9f;
constexpr float silentPeak = 1e-6f;
constexpr std::size_t passThroughLength = 4096;
constexpr double denoiseCutHz = 100;
// Progress is reported every this many frames (about 16 seconds of sound).
constexpr std::size_t reportEvery = 1024;

using Complex = std::complex<float>;

// FFTW promises thread safety only for executing plans: planning, destroying plans, and (to be
// safe) its allocator run under this one process-wide lock. A call takes it a handful of times.
std::mutex& plannerMutex() {
    static std::mutex mutex;
    return mutex;
}

struct PlanDestroy {
    void operator()(fftwf_plan plan) const noexcept {
        const std::lock_guard lock(plannerMutex());
        fftwf_destroy_plan(plan);
    }
};
using Plan = std::unique_ptr<std::remove_pointer_t<fftwf_plan>, PlanDestroy>;

struct FftwFree {
    void operator()(void* memory) const noexcept {
        const std::lock_guard lock(plannerMutex());
        fftwf_free(memory);
    }
};
using RealBuffer = std::unique_ptr<float[], FftwFree>;
using ComplexBuffer = std::unique_ptr<Complex[], FftwFree>;

RealBuffer realBuffer(std::size_t count) {
    RealBuffer buffer;
    {
        const std::lock_guard lock(plannerMutex());
        buffer.reset(fftwf_alloc_real(count));
    }
    if (!buffer)
        throw std::bad_alloc();
    std::fill_n(buffer.get(), count, 0.0f);
    return buffer;
}

// std::complex<float> has fftwf_complex's layout, which FFTW documents as interchangeable.
ComplexBuffer complexBuffer(std::size_t count) {
    ComplexBuffer buffer;
    {
        const std::lock_guard lock(plannerMutex());
        buffer.reset(reinterpret_cast<Complex*>(fftwf_alloc_complex(count)));
    }
    if (!buffer)
        throw std::bad_alloc();
    std::fill_n(buffer.get(), count, Complex{});
    return buffer;
}

// The transforms of one call: `channels` windowed frames to spectra, and one spectrum back to a
// frame. Plans are made once, with FFTW_ESTIMATE so that every call picks the same algorithm and
// gives the same numbers, and reused for every frame.
class FrameTransform {
public:
    explicit FrameTransform(int channels)
        : m_frames(realBuffer(frameLength * std::size_t(channels))),
          m_spectra(complexBuffer(bins * std::size_t(channels))), m_mix(complexBuffer(bins)),
          m_output(realBuffer(frameLength)) {
        const int n[] = {int(frameLength)};
        const std::lock_guard lock(plannerMutex());
        m_forward.reset(fftwf_plan_many_dft_r2c(1, n, channels, m_frames.get(), nullptr, 1,
                                                int(frameLength),
                                                reinterpret_cast<fftwf_complex*>(m_spectra.get()),
                                                nullptr, 1, int(bins), FFTW_ESTIMATE));
        m_inverse.reset(fftwf_plan_dft_c2r_1d(int(frameLength),
                                              reinterpret_cast<fftwf_complex*>(m_mix.get()),
                                              m_output.get(), FFTW_ESTIMATE));
        if (!m_forward || !m_inverse)
            throw std::bad_alloc();
    }

    // Fills channel `c`'s frame with samples from `start` on, windowed; zeros beyond the end and
    // in place of samples that are not finite.
    void load(int c, std::span<const float> samples, std::size_t start) {
        float* frame = m_frames.get() + frameLength * std::size_t(c);
        const std::size_t available = start < samples.size() ? samples.size() - start : 0;
        const std::size_t count = std::min(frameLength, available);
        const float* w = window();
        for (std::size_t i = 0; i < count; ++i) {
            const float x = samples[start + i];
            frame[i] = std::isfinite(x) ? x * w[i] : 0.0f;
        }
        std::fill(frame + count, frame + frameLength, 0.0f);
    }

    void forward() { fftwf_execute(m_forward.get()); }
    const Complex* spectrum(int c) const { return m_spectra.get() + bins * std::size_t(c); }
    Complex* mix() { return m_mix.get(); }

    // Transforms mix() back (which overwrites it) and adds the frame into `out` from `start` on.
    void addInverse(std::vector<float>& out, std::size_t start) {
        fftwf_execute(m_inverse.get());
        float* target = out.data() + start;
        for (std::size_t i = 0; i < frameLength; ++i)
            target[i] += m_output[i] * overlapScale;
    }

private:
    // Hann, full length, peak 1 at sample 512: 0.5 (1 − cos(2π i / 1024)).
    static const float* window() {
        static const std::vector<float> w = [] {
            std::vector<float> values(frameLength);
            for (std::size_t i = 0; i < frameLength; ++i)
                values[i] =
                    float(0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * double(i) / frameLength)));
            return values;
        }();
        return w.data();
    }

    RealBuffer m_frames;
    ComplexBuffer m_spectra;
    ComplexBuffer m_mix;
    RealBuffer m_output;
    Plan m_forward;
    Plan m_inverse;
};

double binFrequency(std::size_t k) {
    return double(std::min(k, frameLength - k)) * binHz;
}

std::size_t frameCount(std::size_t n) {
    return (n + hop - 1) / hop;
}

class FrameProgress {
public:
    FrameProgress(const Progress& progress, std::stop_token stop, double from, double to,
                  std::size_t frames)
        : m_progress(progress), m_stop(std::move(stop)), m_from(from), m_span(to - from),
          m_frames(frames) {}

    // Throws BCCancelled when a stop was asked for; reports now and then.
    void at(std::size_t frame) const {
        if (m_stop.stop_requested())
            throw BCCancelled();
        if (m_progress && frame % reportEvery == 0)
            m_progress(m_from + m_span * double(frame) / double(m_frames));
    }

private:
    const Progress& m_progress;
    std::stop_token m_stop;
    double m_from;
    double m_span;
    std::size_t m_frames;
};

// Cuts the overlap-add buffer to `n` samples and scales it to the target peak unless silent.
std::vector<float> finish(std::vector<float> y, std::size_t n) {
    y.resize(n);
    float peak = 0;
    for (const float v : y)
        peak = std::max(peak, std::abs(v));
    if (peak > silentPeak) {
        const float scale = targetPeak / peak;
        for (float& v : y)
            v *= scale;
    }
    return y;
}

} // namespace

Channels stereoSamples(const QString& path, const Progress& progress, std::stop_token stop,
                       double maxSeconds) {
    BCAudioReader reader(path, rate, 2, stop);
    const double duration = reader.duration();
    const double limit = std::floor(rate * std::max(maxSeconds, 0.0)); // frames

    Channels out;
    // Room for the whole read up front, so the arrays are never copied while growing.
    const double expected = std::min(duration > 0 ? duration : 0.0, std::max(maxSeconds, 0.0));
    if (expected > 0) {
        const auto frames = std::size_t(std::ceil(expected * rate)) + std::size_t(rate);
        out.left.reserve(frames);
        out.right.reserve(frames);
    }

    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> lastReport;
    reader.read([&](std::span<const float> interleaved) {
        if (stop.stop_requested())
            throw BCCancelled();
        for (std::size_t i = 0; i + 1 < interleaved.size(); i += 2) {
            out.left.push_back(interleaved[i]);
            out.right.push_back(interleaved[i + 1]);
        }
        const auto frames = double(out.left.size());
        if (frames > limit)
            return false;
        if (progress && duration > 0) {
            const Clock::time_point now = Clock::now();
            if (!lastReport || now - *lastReport > std::chrono::milliseconds(200)) {
                progress(std::min(frames / rate / duration, 1.0));
                lastReport = now;
            }
        }
        return true;
    });
    if (stop.stop_requested())
        throw BCCancelled();
    return out;
}

Channels stereoSamples(const BCAsset& asset, const Progress& progress, std::stop_token stop,
                       double maxSeconds) {
    return stereoSamples(asset.path, progress, std::move(stop), maxSeconds);
}

std::vector<float> isolate(std::span<const float> left, std::span<const float> right, double lowHz,
                           double highHz, float sharpness, const Progress& progress,
                           std::stop_token stop) {
    const std::size_t n = std::min(left.size(), right.size());
    if (n == 0)
        return {};
    left = left.first(n);
    right = right.first(n);

    bool band[bins];
    for (std::size_t k = 0; k < bins; ++k)
        band[k] = lowHz <= binFrequency(k) && binFrequency(k) <= highHz;

    FrameTransform transform(2);
    std::vector<float> y(n + frameLength, 0.0f);
    const std::size_t frames = frameCount(n);
    const FrameProgress report(progress, std::move(stop), 0, 1, frames);
    for (std::size_t f = 0; f < frames; ++f) {
        report.at(f);
        const std::size_t start = f * hop;
        transform.load(0, left, start);
        transform.load(1, right, start);
        transform.forward();
        const Complex* l = transform.spectrum(0);
        const Complex* r = transform.spectrum(1);
        Complex* m = transform.mix();
        for (std::size_t k = 0; k < bins; ++k) {
            if (!band[k]) {
                m[k] = {};
                continue;
            }
            const float agreement = 2 * (l[k].real() * r[k].real() + l[k].imag() * r[k].imag());
            const float power = std::norm(l[k]) + std::norm(r[k]) + 1e-12f;
            const float c = std::clamp(agreement / power, 0.0f, 1.0f);
            m[k] = std::pow(c, sharpness) * (l[k] + r[k]) * 0.5f;
        }
        transform.addInverse(y, start);
    }
    if (progress)
        progress(1);
    return finish(std::move(y), n);
}

std::vector<float> denoise(std::span<const float> samples, float strength, float floorGain,
                           const Progress& progress, std::stop_token stop) {
    const std::size_t n = samples.size();
    if (n <= passThroughLength)
        return {samples.begin(), samples.end()};

    FrameTransform transform(1);
    const std::size_t frames = frameCount(n);

    // The lower quartile of each bin's magnitudes over all frames. Kept bin by bin so that each
    // bin's frames are contiguous for nth_element; the table is freed before the second pass.
    float noise[bins];
    {
        std::vector<float> magnitudes(bins * frames);
        const FrameProgress report(progress, stop, 0, 0.5, frames);
        for (std::size_t f = 0; f < frames; ++f) {
            report.at(f);
            transform.load(0, samples, f * hop);
            transform.forward();
            const Complex* x = transform.spectrum(0);
            for (std::size_t k = 0; k < bins; ++k)
                magnitudes[k * frames + f] = std::sqrt(std::norm(x[k]));
        }
        const std::size_t quartile = (n + 255) / 1024; // == frames / 4
        for (std::size_t k = 0; k < bins; ++k) {
            const auto first = magnitudes.begin() + std::ptrdiff_t(k * frames);
            const auto nth = first + std::ptrdiff_t(quartile);
            std::nth_element(first, nth, first + std::ptrdiff_t(frames));
            noise[k] = *nth;
        }
    }

    std::vector<float> y(n + frameLength, 0.0f);
    const FrameProgress report(progress, std::move(stop), 0.5, 1, frames);
    for (std::size_t f = 0; f < frames; ++f) {
        report.at(f);
        const std::size_t start = f * hop;
        transform.load(0, samples, start);
        transform.forward();
        const Complex* x = transform.spectrum(0);
        Complex* m = transform.mix();
        for (std::size_t k = 0; k < bins; ++k) {
            const float magnitude = std::sqrt(std::norm(x[k]));
            float gain = 0;
            if (magnitude > 1e-9f && binFrequency(k) >= denoiseCutHz)
                gain = std::max(1 - strength * noise[k] / magnitude, floorGain);
            m[k] = x[k] * gain;
        }
        transform.addInverse(y, start);
    }
    if (progress)
        progress(1);
    return finish(std::move(y), n);
}

} // namespace VocalIsolator
