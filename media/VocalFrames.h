#pragma once

// The frame machinery that VocalIsolator's spectral functions share (isolate and denoise on
// arrays, songVocal on a stream): frames of 1024 samples every 256, a Hann window, FFTW's
// real-to-complex transforms, the centre mix and the noise gate of one frame. Internal to media/.

#include "VocalIsolator.h"

#include <algorithm>
#include <chrono>
#include <complex>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>

namespace VocalIsolator::frames {

inline constexpr std::size_t frameLength = 1024;
inline constexpr std::size_t hop = 256;
inline constexpr std::size_t bins = frameLength / 2 + 1; // 0..512, the Nyquist bin included
inline constexpr double binHz = double(rate) / double(frameLength);
// The inverse transform is unscaled (÷ 1024) and four windows overlap to 2 (× 0.5).
inline constexpr float overlapScale = 0.5f / float(frameLength);
inline constexpr float targetPeak = 0.9f;
inline constexpr float silentPeak = 1e-6f;
inline constexpr std::size_t passThroughLength = 4096;
inline constexpr double denoiseCutHz = 100;
// Progress is reported every this many frames (about 16 seconds of sound).
inline constexpr std::size_t reportEvery = 1024;

using Complex = std::complex<float>;

inline double binFrequency(std::size_t k) {
    return double(std::min(k, frameLength - k)) * binHz;
}

inline std::size_t frameCount(std::size_t n) {
    return (n + hop - 1) / hop;
}

// 0.9 / peak, or 1 when the peak is 1e-6 or less (silence is not raised).
inline float peakScale(float peak) {
    return peak > silentPeak ? targetPeak / peak : 1.0f;
}

// Which bins lie within lowHz..highHz (inclusive).
struct Band {
    Band(double lowHz, double highHz);
    bool in[bins];
};

// isolate's change of one frame: the two spectra `l` and `r` mixed into `m`.
void mixCentre(const Complex* l, const Complex* r, const Band& band, float sharpness, Complex* m);

// denoise's change of one frame: spectrum `x` gated into `m` against the per-bin `noise`.
void gate(const Complex* x, const float* noise, float strength, float floorGain, Complex* m);

// The transforms of one call: `channels` windowed frames to spectra, and one spectrum back to a
// frame. Plans are made once, with FFTW_ESTIMATE so that every call picks the same algorithm and
// gives the same numbers, and reused for every frame. FFTW's planner runs under one
// process-wide lock; executing is free.
class FrameTransform {
public:
    explicit FrameTransform(int channels);
    ~FrameTransform();
    FrameTransform(const FrameTransform&) = delete;
    FrameTransform& operator=(const FrameTransform&) = delete;

    // Fills channel `c`'s frame with samples from `start` on, windowed; zeros beyond the end and
    // in place of samples that are not finite.
    void load(int c, std::span<const float> samples, std::size_t start);

    void forward();
    const Complex* spectrum(int c) const;
    Complex* mix();

    // Transforms mix() back (which overwrites it) and adds the frame, × 0.5 / 1024, into the
    // 1024 floats at `target`.
    void addInverse(float* target);

private:
    struct Buffers;
    std::unique_ptr<Buffers> m;
};

class FrameProgress {
public:
    FrameProgress(const Progress& progress, std::stop_token stop, double from, double to,
                  std::size_t frames)
        : m_progress(progress), m_stop(std::move(stop)), m_from(from), m_span(to - from),
          m_frames(frames) {}

    // Throws BCCancelled when a stop was asked for; reports now and then.
    void at(std::size_t frame) const;

private:
    const Progress& m_progress;
    std::stop_token m_stop;
    double m_from;
    double m_span;
    std::size_t m_frames;
};

// A read's progress: the decoded fraction of `duration` seconds, at most every 0.2 s.
class ReadProgress {
public:
    ReadProgress(const Progress& progress, double duration)
        : m_progress(progress), m_duration(duration) {}

    void at(double seconds);

private:
    const Progress& m_progress;
    double m_duration;
    std::optional<std::chrono::steady_clock::time_point> m_last;
};

} // namespace VocalIsolator::frames
