#pragma once

#include "BCAsset.h"

#include <QString>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <stop_token>
#include <vector>

// Song mode's preparation of music for speech recognition, at a fixed 16 000 samples per second:
// `stereoSamples` reads both channels of the sound track, `isolate` keeps what the channels have in
// common (the centre of the stereo picture) inside a frequency band, and `denoise` removes steady
// background sound with a spectral gate. Song mode runs them in that order with lowHz 120,
// highHz 6000, sharpness 8, then strength 1.6 and floorGain 0.12, through `songVocal`, which
// streams the file through the same steps without holding its channels (see there).
//
// Both spectral functions cut the sound into frames of 1024 samples every 256 samples, weighted by
// a full Hann window with peak 1, transform them with FFTW (real input, so the real-to-complex
// transform; its 513 bins are the complex transform's bins 0..512, the rest being their mirror
// images), change the spectrum, transform back and add the frames up again with a factor of 0.5
// (four Hann windows at a hop of 256 sum to 2). Bin k stands for min(k, 1024 − k) × 15.625 Hz.
//
// Threads: every function may be called from any thread, several at once. Each call makes its own
// FFTW plans (under one process-wide lock, as FFTW's planner is not thread-safe) and buffers and
// shares nothing else. `progress`, when given, is called on the calling thread with fractions
// from 0 to 1, reaching 1 at the end. A stop requested through `stop` throws BCCancelled and
// returns nothing partial.
namespace VocalIsolator {

// The only rate these functions work at, in samples per second.
inline constexpr int rate = 16000;

using Progress = std::function<void(double fraction)>;

struct Channels {
    std::vector<float> left;
    std::vector<float> right; // as long as left
};

// The first sound track of `path` as two channels at 16 000 samples per second (a mono track is
// given to both), at most about `maxSeconds` long: the last buffer is kept whole, so slightly
// more. `progress` gets the decoded fraction of the file's duration at most every 0.2 s.
// Throws BCError "This file has no sound track.", "The sound track can't be decoded." or "The
// sound track couldn't be read to the end."; BCCancelled when `stop` fires (nothing partial).
// Blocking.
Channels stereoSamples(const QString& path, const Progress& progress = {},
                       std::stop_token stop = {}, double maxSeconds = 6 * 3600);
// The same read on an opened asset (BCOpenedMedia::asset), that is on its file.
Channels stereoSamples(const BCAsset& asset, const Progress& progress = {},
                       std::stop_token stop = {}, double maxSeconds = 6 * 3600);

// Keeps the centre of two channels within lowHz..highHz (inclusive, in Hz). For each bin the two
// spectra's coherence c = 2 Re(L·conj R) / (|L|² + |R|² + 1e-12), limited to 0..1, is raised to
// `sharpness` (≥ 0) and weights the bin's mean (L + R) / 2. The result has as many samples as the
// shorter channel and is scaled to a peak of 0.9 unless its peak is 1e-6 or less (it is then
// returned as it is). The first 768 samples are faded in, as fewer frames cover them. Samples that
// are not finite count as 0.
std::vector<float> isolate(std::span<const float> left, std::span<const float> right, double lowHz,
                           double highHz, float sharpness, const Progress& progress = {},
                           std::stop_token stop = {});

// Removes steady sound: the noise level of each bin is the lower quartile of its magnitudes over
// the whole input, and each bin of each frame keeps max(1 − strength × noise / magnitude,
// floorGain) of itself; bins below 100 Hz, and bins of magnitude 1e-9 or less, are removed. The
// result has the input's length and is scaled to a peak of 0.9 unless its peak is 1e-6 or less.
// Input of 4096 samples or fewer (a quarter second) is returned unchanged. Samples that are not
// finite count as 0. Memory: about two floats per input sample besides the input and the output.
std::vector<float> denoise(std::span<const float> samples, float strength, float floorGain,
                           const Progress& progress = {}, std::stop_token stop = {});

// Song mode's settings of isolate and denoise.
inline constexpr double songLowHz = 120;
inline constexpr double songHighHz = 6000;
inline constexpr float songSharpness = 8;
inline constexpr float songStrength = 1.6f;
inline constexpr float songFloorGain = 0.12f;

// Song mode's result: mono samples at 16 000 per second, held at two bytes a sample (16-bit values
// with one scale for each run of 256, whose largest magnitude becomes 32767; the rounding is at
// most half a step of a 16-bit WAV file at the result's peak of 0.9). Move-only.
class Vocal {
public:
    Vocal();
    ~Vocal();
    Vocal(Vocal&&) noexcept;
    Vocal& operator=(Vocal&&) noexcept;

    std::size_t size() const { return m_size; }

    // The samples as floats. The compact copy is given back to the system as the floats are made,
    // so this needs about the floats' memory (four bytes a sample), not six. Leaves this empty.
    std::vector<float> takeSamples();

    // Writes what BCAudio::writeWAV(takeSamples(), rate, path) writes, byte for byte, without
    // making the floats. Throws what it throws.
    void writeWAV(const QString& path) const;

    // The compact samples (made by songVocal) and the scale every sample is multiplied by.
    struct Store;
    Vocal(std::unique_ptr<Store> store, std::size_t size, float scale);

private:
    std::unique_ptr<Store> m_store;
    std::size_t m_size = 0;
    float m_scale = 1; // applied to every sample read from the store
};

// Song mode on the first sound track of `path`: what
//   denoise(isolate(stereoSamples(path, …, maxSeconds), 120, 6000, 8), 1.6, 0.12)
// gives, in two passes over the sound that hold two bytes per sample (115 MB an hour) besides
// about 10 MB that do not grow with the length. The first pass decodes, isolates each frame as
// its samples arrive, keeps the centre in the compact form of Vocal and counts each bin's
// magnitudes of the centre in steps of 1/64 octave; the second gates the centre frame by frame,
// writing the result over the centre. Two differences from the three calls: each bin's noise level
// is the lower quartile read from its counts (placed evenly within its step) instead of a sort of
// all its magnitudes, and the centre and the result are rounded to the compact form. Together
// they leave the difference from the three calls' result some 70 dB or more below that result.
// `reading` gets the decoded fraction of the file's duration during the first pass (at most
// every 0.2 s, then 1); `cleaning` gets 0 when the second pass starts, fractions now and then,
// and 1 at the end. Throws what stereoSamples throws; BCCancelled when `stop` fires. Blocking; any
// thread.
Vocal songVocal(const QString& path, const Progress& reading = {}, const Progress& cleaning = {},
                std::stop_token stop = {}, double maxSeconds = 6 * 3600);
Vocal songVocal(const BCAsset& asset, const Progress& reading = {}, const Progress& cleaning = {},
                std::stop_token stop = {}, double maxSeconds = 6 * 3600);

} // namespace VocalIsolator
