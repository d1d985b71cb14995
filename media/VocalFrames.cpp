#include "VocalFrames.h"

#include "BCError.h"

#include <fftw3.h>

#include <cmath>
#include <mutex>
#include <numbers>
#include <vector>

namespace VocalIsolator::frames {

namespace {

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

// Hann, full length, peak 1 at sample 512: 0.5 (1 − cos(2π i / 1024)).
const float* window() {
    static const std::vector<float> w = [] {
        std::vector<float> values(frameLength);
        for (std::size_t i = 0; i < frameLength; ++i)
            values[i] =
                float(0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * double(i) / frameLength)));
        return values;
    }();
    return w.data();
}

} // namespace

Band::Band(double lowHz, double highHz) {
    for (std::size_t k = 0; k < bins; ++k)
        in[k] = lowHz <= binFrequency(k) && binFrequency(k) <= highHz;
}

void mixCentre(const Complex* l, const Complex* r, const Band& band, float sharpness, Complex* m) {
    for (std::size_t k = 0; k < bins; ++k) {
        if (!band.in[k]) {
            m[k] = {};
            continue;
        }
        const float agreement = 2 * (l[k].real() * r[k].real() + l[k].imag() * r[k].imag());
        const float power = std::norm(l[k]) + std::norm(r[k]) + 1e-12f;
        const float c = std::clamp(agreement / power, 0.0f, 1.0f);
        m[k] = std::pow(c, sharpness) * (l[k] + r[k]) * 0.5f;
    }
}

void gate(const Complex* x, const float* noise, float strength, float floorGain, Complex* m) {
    for (std::size_t k = 0; k < bins; ++k) {
        const float magnitude = std::sqrt(std::norm(x[k]));
        float gain = 0;
        if (magnitude > 1e-9f && binFrequency(k) >= denoiseCutHz)
            gain = std::max(1 - strength * noise[k] / magnitude, floorGain);
        m[k] = x[k] * gain;
    }
}

struct FrameTransform::Buffers {
    RealBuffer frames;
    ComplexBuffer spectra;
    ComplexBuffer mix;
    RealBuffer output;
    Plan forward;
    Plan inverse;
};

FrameTransform::FrameTransform(int channels)
    : m(new Buffers{realBuffer(frameLength * std::size_t(channels)),
                    complexBuffer(bins * std::size_t(channels)), complexBuffer(bins),
                    realBuffer(frameLength), nullptr, nullptr}) {
    const int n[] = {int(frameLength)};
    const std::lock_guard lock(plannerMutex());
    m->forward.reset(fftwf_plan_many_dft_r2c(
        1, n, channels, m->frames.get(), nullptr, 1, int(frameLength),
        reinterpret_cast<fftwf_complex*>(m->spectra.get()), nullptr, 1, int(bins), FFTW_ESTIMATE));
    m->inverse.reset(fftwf_plan_dft_c2r_1d(int(frameLength),
                                           reinterpret_cast<fftwf_complex*>(m->mix.get()),
                                           m->output.get(), FFTW_ESTIMATE));
    if (!m->forward || !m->inverse)
        throw std::bad_alloc();
}

FrameTransform::~FrameTransform() = default;

void FrameTransform::load(int c, std::span<const float> samples, std::size_t start) {
    float* frame = m->frames.get() + frameLength * std::size_t(c);
    const std::size_t available = start < samples.size() ? samples.size() - start : 0;
    const std::size_t count = std::min(frameLength, available);
    const float* w = window();
    for (std::size_t i = 0; i < count; ++i) {
        const float x = samples[start + i];
        frame[i] = std::isfinite(x) ? x * w[i] : 0.0f;
    }
    std::fill(frame + count, frame + frameLength, 0.0f);
}

void FrameTransform::forward() {
    fftwf_execute(m->forward.get());
}

const Complex* FrameTransform::spectrum(int c) const {
    return m->spectra.get() + bins * std::size_t(c);
}

Complex* FrameTransform::mix() {
    return m->mix.get();
}

void FrameTransform::addInverse(float* target) {
    fftwf_execute(m->inverse.get());
    const float* output = m->output.get();
    for (std::size_t i = 0; i < frameLength; ++i)
        target[i] += output[i] * overlapScale;
}

void FrameProgress::at(std::size_t frame) const {
    if (m_stop.stop_requested())
        throw BCCancelled();
    if (m_progress && frame % reportEvery == 0)
        m_progress(m_from + m_span * double(frame) / double(m_frames));
}

void ReadProgress::at(double seconds) {
    if (!m_progress || !(m_duration > 0))
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!m_last || now - *m_last > std::chrono::milliseconds(200)) {
        m_progress(std::min(seconds / m_duration, 1.0));
        m_last = now;
    }
}

} // namespace VocalIsolator::frames
