#pragma once

#include "BCAsset.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <vector>

// The sound track as mono 32-bit float samples, waveform bars, and 16-bit WAV files.
// Samples are nominally in −1..1 at the rate the caller asked for; peaks are in 0..1.
namespace BCAudio {

using Progress = std::function<void(double fraction)>;

// The first sound track of `path` as mono samples at `rate` per second (> 0), at most about
// `maxSeconds` long (the last buffer is kept whole, so slightly more). Decodes at
// D = rate clamped to 8 000..192 000 and keeps the largest-magnitude sample (with its sign, the
// earliest on a tie) of every k = round(D / rate) while decoding, so a 2 000 per second read for
// the waveform never holds the 8 000 per second samples. `progress` (optional) gets the decoded
// fraction of the file's duration at most every 0.2 s, on the calling thread.
// Throws BCError "This file has no sound track.", "The sound track can't be decoded." or "The
// sound track couldn't be read to the end."; BCCancelled when `stop` fires (nothing partial).
// Blocking; any thread.
std::vector<float> monoSamples(const QString& path, double rate, double maxSeconds,
                               const Progress& progress = {}, std::stop_token stop = {});
// The same read on an opened asset (BCOpenedMedia::asset), that is on its file.
std::vector<float> monoSamples(const BCAsset& asset, double rate, double maxSeconds,
                               const Progress& progress = {}, std::stop_token stop = {});

// The decode rate D and reduction step k that monoSamples uses for `rate`.
double decodeRate(double rate);
int reductionStep(double rate);

// Waveform bars: the largest magnitude (at most 1) of each run of count / buckets samples
// (1 when there are fewer samples than buckets); ceil(count / step) bars, so a few more than
// `buckets` can come back. Empty for no samples or buckets < 1. Pure.
std::vector<float> peaks(std::span<const float> samples, int buckets);

// Whether n samples at `rate` fit the 32-bit size fields of a WAV file.
bool wavFits(size_t sampleCount, long long rate);

// Writes `samples` as a 16-bit PCM mono WAV file at `rate` through a temporary file renamed
// into place (an existing file is replaced whole or left alone). Each sample x becomes
// (x ≥ 1 ? 32767 : max(x, −1) × 32767) truncated toward zero. Throws BCError when the sizes do
// not fit the file's 32-bit fields (see wavFits) or the file cannot be written;
// std::invalid_argument for a rate below 1.
void writeWAV(std::span<const float> samples, int rate, const QString& path);

// writeWAV of `count` samples that are made as they are written: `fill` is called with
// consecutive spans (at most 65 536 samples each) that together cover the count, and fills them.
// The file is byte for byte what writeWAV writes for the same samples. Throws what writeWAV throws
// and what `fill` throws (nothing is then left at `path`).
using Fill = std::function<void(std::span<float> block)>;
void writeWAV(size_t count, int rate, const QString& path, const Fill& fill);

// The read of monoSamples written straight to a 16-bit WAV file at `path`, block by block:
// byte for byte what writeWAV(monoSamples(input, rate, maxSeconds), rate, path) writes, without
// holding the samples (an hour at 16 000 per second is 230 MB of floats). For recognisers that
// take a file. Returns the number of samples written; a read that gives none writes nothing and
// returns 0. Nothing appears at `path` unless the whole read succeeds. Throws what monoSamples
// and writeWAV throw; BCCancelled when `stop` fires.
uint64_t writeMonoWAV(const QString& input, int rate, double maxSeconds, const QString& path,
                      const Progress& progress = {}, std::stop_token stop = {});

} // namespace BCAudio
