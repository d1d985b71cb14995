#include "VoicePitch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace VoicePitch {

namespace {

constexpr double silence = 1e-6;     // largest frame energy at or below this is silence
constexpr double voicedShare = 0.08; // frames quieter than this share of the loudest are skipped
constexpr double settled = 0.85;     // a correlation peak this high ends the lag search
constexpr double weakest = 0.5;      // a frame's best peak must exceed this to count
constexpr double tiny = 1e-9;        // floor of the correlation's normaliser
constexpr std::size_t fewestFrames = 3;

// Sample index for a time, clamped to [0, count]; nothing for a time that is not a number.
std::optional<std::int64_t> indexAt(double rate, double seconds, std::size_t count) {
    const double index = std::trunc(rate * seconds);
    if (std::isnan(index))
        return std::nullopt;
    return std::int64_t(std::clamp(index, 0.0, double(count)));
}

// Pitch of the frame of `frame` samples at `x`, from the lag of its highest autocorrelation
// peak, or nothing. `squares[j] - squares[i]` is the energy of x[i] up to x[j - 1].
std::optional<double> framePitch(const float* x, const double* squares, std::int64_t frame,
                                 std::int64_t shortestLag, std::int64_t longestLag, double rate) {
    const auto energyAt = [&](std::int64_t from) { return squares[from + frame] - squares[from]; };
    const double energy = energyAt(0);
    const auto correlation = [&](std::int64_t lag) {
        double sum = 0;
        for (std::int64_t i = 0; i < frame; ++i)
            sum += double(x[i]) * double(x[i + lag]);
        return sum / std::max(std::sqrt(std::max(energy * energyAt(lag), 0.0)), tiny);
    };

    double best = 0;
    std::int64_t bestLag = 0;
    double previous = correlation(shortestLag);
    bool rising = false;
    for (std::int64_t lag = shortestLag + 1; lag <= longestLag && best <= settled; ++lag) {
        const double r = correlation(lag);
        if (r > previous) {
            rising = true;
        } else if (rising) {
            // The previous lag was the top of a peak.
            rising = false;
            if (previous > best) {
                best = previous;
                bestLag = lag - 1;
            }
        }
        previous = r;
    }
    if (best > weakest && bestLag >= 1)
        return rate / double(bestLag);
    return std::nullopt;
}

} // namespace

std::optional<double> median(std::span<const float> samples, double rate, double from, double to) {
    if (!(rate >= 50) || !std::isfinite(rate))
        return std::nullopt;
    const auto end = indexAt(rate, to, samples.size());
    const auto begin = indexAt(rate, from, samples.size());
    if (!end || !begin)
        return std::nullopt;
    const auto frame = std::int64_t(rate * 0.04);
    const auto hop = std::int64_t(rate * 0.02);
    const auto shortestLag = std::int64_t(rate / 400);
    const auto longestLag = std::int64_t(rate / 70);
    if (frame + longestLag >= *end - *begin)
        return std::nullopt;

    // Running sums of squares over [begin, end): the energy of any window is one subtraction.
    std::vector<double> squares(std::size_t(*end - *begin) + 1, 0.0);
    for (std::int64_t i = *begin; i < *end; ++i) {
        const double v = samples[std::size_t(i)];
        squares[std::size_t(i - *begin) + 1] = squares[std::size_t(i - *begin)] + v * v;
    }
    const auto energyAt = [&](std::int64_t start) {
        return squares[std::size_t(start - *begin + frame)] - squares[std::size_t(start - *begin)];
    };

    std::vector<std::int64_t> starts;
    double loudest = 0;
    for (std::int64_t start = *begin; start + frame + longestLag <= *end; start += hop) {
        starts.push_back(start);
        loudest = std::max(loudest, energyAt(start));
    }
    if (!(loudest > silence))
        return std::nullopt;

    std::vector<double> pitches;
    for (const std::int64_t start : starts) {
        if (!(energyAt(start) > voicedShare * loudest))
            continue;
        if (auto pitch = framePitch(samples.data() + start, squares.data() + (start - *begin),
                                    frame, shortestLag, longestLag, rate))
            pitches.push_back(*pitch);
    }
    if (pitches.size() < fewestFrames)
        return std::nullopt;
    std::sort(pitches.begin(), pitches.end());
    return pitches[pitches.size() / 2];
}

} // namespace VoicePitch
