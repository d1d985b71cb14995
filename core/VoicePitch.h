#pragma once

#include <optional>
#include <span>

// Voice pitch measurement for speaker-change detection. Pure, any thread.
namespace VoicePitch {

// Median pitch in hertz of the voiced 40 ms frames (20 ms apart) between `from` and `to`
// (seconds) of mono `samples` taken `rate` times a second, estimated by autocorrelation over
// 70 to 400 Hz. Nothing for silence, for a span too short for one frame, for fewer than three
// voiced frames, or for a rate below 50 Hz. With several equal-rank frames the upper median wins.
std::optional<double> median(std::span<const float> samples, double rate, double from, double to);

} // namespace VoicePitch
