#include "VocalIsolator.h"

#include "BCAudioReader.h"
#include "BCError.h"
#include "VocalFrames.h"

#include <algorithm>
#include <cmath>

namespace VocalIsolator {

using namespace frames;

namespace {

// Cuts the overlap-add buffer to `n` samples and scales it to the target peak unless silent.
std::vector<float> finish(std::vector<float> y, std::size_t n) {
    y.resize(n);
    float peak = 0;
    for (const float v : y)
        peak = std::max(peak, std::abs(v));
    if (peak > silentPeak) {
        const float scale = peakScale(peak);
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

    ReadProgress report(progress, duration);
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
        report.at(frames / rate);
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

    const Band band(lowHz, highHz);
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
        mixCentre(transform.spectrum(0), transform.spectrum(1), band, sharpness, transform.mix());
        transform.addInverse(y.data() + start);
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
        gate(transform.spectrum(0), noise, strength, floorGain, transform.mix());
        transform.addInverse(y.data() + start);
    }
    if (progress)
        progress(1);
    return finish(std::move(y), n);
}

} // namespace VocalIsolator
