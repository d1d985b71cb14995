// VocalIsolator::songVocal: song mode streamed through the frame machinery of isolate and
// denoise, in memory that grows by two bytes per sample.
#include "VocalIsolator.h"

#include "BCAudio.h"
#include "BCAudioReader.h"
#include "BCError.h"
#include "VocalFrames.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <new>

namespace VocalIsolator {

using namespace frames;

// Runs of 256 samples (block b is where frame b starts) at 16 bits with one scale each, in chunks
// of 4096 runs (about 65 s) mapped from the system one by one, so that a chunk given back returns
// its memory at once; the allocator would keep freed memory for later.
struct Vocal::Store {
    static constexpr std::size_t blockLength = hop;
    static constexpr std::size_t chunkBlocks = 4096;
    static constexpr std::size_t chunkSamples = chunkBlocks * blockLength;

    struct Chunk {
        float scales[chunkBlocks];
        int16_t values[chunkSamples];
    };
    struct Unmap {
        void operator()(Chunk* chunk) const noexcept { munmap(chunk, sizeof(Chunk)); }
    };

    std::vector<std::unique_ptr<Chunk, Unmap>> chunks;
    std::size_t blocks = 0;

    // Adds block `blocks` from blockLength samples.
    void append(const float* x) {
        if (blocks % chunkBlocks == 0) {
            // Anonymous memory comes zeroed and is only resident once written.
            void* memory = mmap(nullptr, sizeof(Chunk), PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (memory == MAP_FAILED)
                throw std::bad_alloc();
            chunks.emplace_back(static_cast<Chunk*>(memory));
        }
        put(blocks++, x);
    }

    // Replaces block `b` with blockLength samples: the largest magnitude becomes ±32767, the rest
    // are rounded to the nearest step.
    void put(std::size_t b, const float* x) {
        Chunk& chunk = *chunks[b / chunkBlocks];
        const std::size_t i = b % chunkBlocks;
        int16_t* q = chunk.values + i * blockLength;
        float peak = 0;
        for (std::size_t j = 0; j < blockLength; ++j)
            peak = std::max(peak, std::abs(x[j]));
        if (!(peak > 0)) {
            chunk.scales[i] = 0;
            std::fill_n(q, blockLength, int16_t(0));
            return;
        }
        chunk.scales[i] = peak / 32767.0f;
        const float toSteps = 32767.0f / peak;
        for (std::size_t j = 0; j < blockLength; ++j) {
            const float v = std::clamp(x[j] * toSteps, -32767.0f, 32767.0f);
            q[j] = int16_t(v + (v < 0 ? -0.5f : 0.5f)); // rounded half away from zero
        }
    }

    // Samples `from` on, as many as `out` holds, each multiplied by `scale`.
    void read(std::size_t from, std::span<float> out, float scale) const {
        for (std::size_t i = 0; i < out.size();) {
            const std::size_t at = from + i;
            const std::size_t b = at / blockLength;
            const std::size_t offset = at % blockLength;
            const std::size_t count = std::min(blockLength - offset, out.size() - i);
            const Chunk& chunk = *chunks[b / chunkBlocks];
            const float step = chunk.scales[b % chunkBlocks];
            const int16_t* q = chunk.values + (b % chunkBlocks) * blockLength + offset;
            for (std::size_t j = 0; j < count; ++j)
                out[i + j] = float(q[j]) * step * scale;
            i += count;
        }
    }
};

Vocal::Vocal() = default;
Vocal::~Vocal() = default;
Vocal::Vocal(Vocal&&) noexcept = default;
Vocal& Vocal::operator=(Vocal&&) noexcept = default;

Vocal::Vocal(std::unique_ptr<Store> store, std::size_t size, float scale)
    : m_store(std::move(store)), m_size(size), m_scale(scale) {}

std::vector<float> Vocal::takeSamples() {
    std::vector<float> out;
    out.reserve(m_size);
    for (std::size_t start = 0; start < m_size; start += Store::chunkSamples) {
        const std::size_t count = std::min(Store::chunkSamples, m_size - start);
        out.resize(start + count);
        m_store->read(start, std::span(out).subspan(start, count), m_scale);
        m_store->chunks[start / Store::chunkSamples].reset();
    }
    m_store.reset();
    m_size = 0;
    return out;
}

void Vocal::writeWAV(const QString& path) const {
    std::size_t position = 0;
    BCAudio::writeWAV(m_size, rate, path, [&](std::span<float> block) {
        m_store->read(position, block, m_scale);
        position += block.size();
    });
}

namespace {

// Each bin's magnitudes over the whole sound, counted in steps of 1/64 octave (the 6 highest
// bits of a float's mantissa) from 2^-48 to 2^16; the lowest step also counts anything smaller,
// zero included, the highest anything larger. A frame's magnitudes stay below 2^10 for samples
// within ±1. 513 × 4096 counts, 8.4 MB.
class MagnitudeCounts {
public:
    MagnitudeCounts() : m_counts(bins * steps, 0) {}

    void add(const Complex* spectrum) {
        for (std::size_t k = 0; k < bins; ++k) {
            const float magnitude = std::sqrt(std::norm(spectrum[k]));
            const uint32_t top = std::bit_cast<uint32_t>(magnitude) >> droppedBits;
            const uint32_t step = top <= lowest ? 0 : std::min(top - lowest, uint32_t(steps - 1));
            ++m_counts[k * steps + step];
        }
    }

    // Bin k's magnitude of rank `rank` (0 the smallest), placed evenly within its step.
    float at(std::size_t k, std::size_t rank) const {
        const uint32_t* counts = m_counts.data() + k * steps;
        std::size_t below = 0;
        for (std::size_t s = 0; s < steps; ++s) {
            if (rank < below + counts[s]) {
                const float low = s == 0 ? 0.0f : edge(s);
                const float high = edge(s + 1);
                return low + (high - low) * (float(rank - below) + 0.5f) / float(counts[s]);
            }
            below += counts[s];
        }
        return edge(steps);
    }

private:
    static constexpr int droppedBits = 23 - 6;
    static constexpr uint32_t lowest = std::bit_cast<uint32_t>(0x1p-48f) >> droppedBits;
    static constexpr uint32_t highest = std::bit_cast<uint32_t>(0x1p16f) >> droppedBits;
    static constexpr std::size_t steps = highest - lowest;

    static float edge(std::size_t s) {
        return std::bit_cast<float>(uint32_t((lowest + s) << droppedBits));
    }

    std::vector<uint32_t> m_counts;
};

// The first pass: takes the stereo samples as they are decoded, isolates each frame once its
// 1024 samples are in, stores each finished block of the centre and counts the magnitudes of the
// centre's frames (which denoise sees) as soon as their four blocks are finished.
class FirstPass {
public:
    explicit FirstPass(Vocal::Store& store)
        : m_store(store), m_band(songLowHz, songHighHz), m_pair(2), m_single(1) {}

    void add(std::span<const float> interleaved) {
        for (std::size_t i = 0; i + 1 < interleaved.size(); i += 2) {
            m_left.push_back(interleaved[i]);
            m_right.push_back(interleaved[i + 1]);
        }
        m_read += interleaved.size() / 2;
        while (m_left.size() - m_used >= frameLength)
            isolateFrame();
        m_left.erase(m_left.begin(), m_left.begin() + std::ptrdiff_t(m_used));
        m_right.erase(m_right.begin(), m_right.begin() + std::ptrdiff_t(m_used));
        m_used = 0;
    }

    // After the last samples: the frames that reach past the end (zeros there), then three
    // silent blocks after the end so that the last counted frames are complete.
    void finish() {
        while (m_next < frameCount(m_read))
            isolateFrame();
        const std::array<float, hop> silence{};
        for (int i = 0; i < 3; ++i)
            count(silence.data());
    }

    std::size_t size() const { return m_read; }
    float peak() const { return m_peak; }
    const MagnitudeCounts& counts() const { return m_counts; }

private:
    void isolateFrame() {
        m_pair.load(0, std::span<const float>(m_left).subspan(m_used), 0);
        m_pair.load(1, std::span<const float>(m_right).subspan(m_used), 0);
        m_pair.forward();
        mixCentre(m_pair.spectrum(0), m_pair.spectrum(1), m_band, songSharpness, m_pair.mix());
        m_pair.addInverse(m_sum.data());

        // No later frame reaches block m_next: it is finished. Past the end it is cut off, as
        // isolate cuts its result.
        const std::size_t start = m_next * hop;
        if (start + hop > m_read)
            std::fill(m_sum.begin() + std::ptrdiff_t(m_read - start), m_sum.begin() + hop, 0.0f);
        for (std::size_t j = 0; j < hop; ++j)
            m_peak = std::max(m_peak, std::abs(m_sum[j]));
        m_store.append(m_sum.data());
        count(m_sum.data());

        std::copy(m_sum.begin() + hop, m_sum.end(), m_sum.begin());
        std::fill(m_sum.end() - hop, m_sum.end(), 0.0f);
        ++m_next;
        m_used += hop;
    }

    // Takes the centre's next block; once four are in, counts the frame that starts at the first.
    void count(const float* block) {
        std::copy(m_recent.begin() + hop, m_recent.end(), m_recent.begin());
        std::copy(block, block + hop, m_recent.end() - hop);
        if (++m_blocksCounted >= 4) {
            m_single.load(0, m_recent, 0);
            m_single.forward();
            m_counts.add(m_single.spectrum(0));
        }
    }

    Vocal::Store& m_store;
    Band m_band;
    FrameTransform m_pair;
    FrameTransform m_single;
    MagnitudeCounts m_counts;
    std::vector<float> m_left;  // from sample m_next × hop on, of which the first m_used are
    std::vector<float> m_right; // taken (they are dropped after each buffer)
    std::size_t m_used = 0;
    std::size_t m_read = 0;
    std::size_t m_next = 0;                 // the next frame to isolate
    std::array<float, frameLength> m_sum{}; // the overlap-add from m_next × hop on
    std::array<float, frameLength> m_recent{};
    std::size_t m_blocksCounted = 0;
    float m_peak = 0;
};

// The second pass: denoise's gate over the stored centre (times `centreScale`, which isolate
// would have applied), each finished block of the result written over the centre's block, which
// no later frame reads. Returns the scale that brings the result's peak to 0.9.
float gateInPlace(Vocal::Store& store, std::size_t n, float centreScale, const float* noise,
                  const Progress& progress, std::stop_token stop) {
    FrameTransform transform(1);
    const std::size_t frames = frameCount(n);
    // The centre from block f on (four blocks, zeros past the end) and the overlap-add.
    std::array<float, frameLength> centre{};
    for (std::size_t b = 0; b < std::min<std::size_t>(4, frames); ++b)
        store.read(b * hop, std::span(centre).subspan(b * hop, hop), centreScale);
    std::array<float, frameLength> sum{};
    float peak = 0;
    const FrameProgress report(progress, std::move(stop), 0, 1, frames);
    for (std::size_t f = 0; f < frames; ++f) {
        report.at(f);
        transform.load(0, centre, 0);
        transform.forward();
        gate(transform.spectrum(0), noise, songStrength, songFloorGain, transform.mix());
        transform.addInverse(sum.data());

        const std::size_t start = f * hop;
        if (start + hop > n)
            std::fill(sum.begin() + std::ptrdiff_t(n - start), sum.begin() + hop, 0.0f);
        for (std::size_t j = 0; j < hop; ++j)
            peak = std::max(peak, std::abs(sum[j]));
        store.put(f, sum.data());

        std::copy(sum.begin() + hop, sum.end(), sum.begin());
        std::fill(sum.end() - hop, sum.end(), 0.0f);
        std::copy(centre.begin() + hop, centre.end(), centre.begin());
        const std::span<float> last = std::span(centre).last(hop);
        if (f + 4 < frames)
            store.read((f + 4) * hop, last, centreScale);
        else
            std::fill(last.begin(), last.end(), 0.0f);
    }
    return peakScale(peak);
}

} // namespace

Vocal songVocal(const QString& path, const Progress& reading, const Progress& cleaning,
                std::stop_token stop, double maxSeconds) {
    auto store = std::make_unique<Vocal::Store>();
    std::size_t n = 0;
    float centreScale = 1;
    float noise[bins];
    {
        BCAudioReader reader(path, rate, 2, stop);
        const double limit = std::floor(rate * std::max(maxSeconds, 0.0)); // frames
        FirstPass first(*store);
        ReadProgress report(reading, reader.duration());
        reader.read([&](std::span<const float> interleaved) {
            if (stop.stop_requested())
                throw BCCancelled();
            first.add(interleaved);
            const auto frames = double(first.size());
            if (frames > limit)
                return false;
            report.at(frames / rate);
            return true;
        });
        if (stop.stop_requested())
            throw BCCancelled();
        first.finish();
        if (reading)
            reading(1);
        n = first.size();
        centreScale = peakScale(first.peak());
        // denoise's lower quartile, of the centre as isolate scales it.
        const std::size_t quartile = (n + 255) / 1024;
        for (std::size_t k = 0; k < bins; ++k)
            noise[k] = first.counts().at(k, quartile) * centreScale;
    }

    if (cleaning)
        cleaning(0);
    float scale = centreScale;
    if (n > passThroughLength)
        scale = gateInPlace(*store, n, centreScale, noise, cleaning, std::move(stop));
    if (cleaning)
        cleaning(1);
    return Vocal(std::move(store), n, scale);
}

Vocal songVocal(const BCAsset& asset, const Progress& reading, const Progress& cleaning,
                std::stop_token stop, double maxSeconds) {
    return songVocal(asset.path, reading, cleaning, std::move(stop), maxSeconds);
}

} // namespace VocalIsolator
