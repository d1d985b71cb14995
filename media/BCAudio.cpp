#include "BCAudio.h"

#include "BCAudioReader.h"
#include "BCError.h"
#include "BCFileTarget.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <sys/mman.h>

namespace BCAudio {

namespace {

// Keeps the largest-magnitude sample of every `step`, with its sign; the earliest wins a tie.
class Reducer {
public:
    Reducer(int step, std::vector<float>& out) : m_step(step), m_out(out) {}

    void add(std::span<const float> samples) {
        if (m_step < 2) {
            m_out.insert(m_out.end(), samples.begin(), samples.end());
            return;
        }
        for (const float x : samples) {
            if (m_filled == 0 || std::fabs(x) > std::fabs(m_best))
                m_best = x;
            if (++m_filled == m_step) {
                m_out.push_back(m_best);
                m_filled = 0;
            }
        }
    }
    void finish() {
        if (m_filled > 0)
            m_out.push_back(m_best);
        m_filled = 0;
    }

private:
    int m_step;
    std::vector<float>& m_out;
    int m_filled = 0;
    float m_best = 0;
};

// Asks the kernel to back a long array with 2 MiB pages: an hour at 16 000 per second is
// 230 MB, which in 4 KiB pages costs some 56 000 page faults as the decode fills it.
void preferLargePages(std::vector<float>& buffer) {
    constexpr uintptr_t huge = uintptr_t(2) << 20;
    const auto begin = reinterpret_cast<uintptr_t>(buffer.data());
    const uintptr_t end = begin + buffer.capacity() * sizeof(float);
    const uintptr_t first = (begin + huge - 1) & ~(huge - 1);
    const uintptr_t last = end & ~(huge - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE); // a hint only
}

void put16(QByteArray& bytes, qsizetype at, uint16_t value) {
    bytes[at] = char(value & 0xFF);
    bytes[at + 1] = char(value >> 8);
}

void put32(QByteArray& bytes, qsizetype at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (8 * i)) & 0xFF);
}

int16_t pcm16(float x) {
    if (x >= 1.0f)
        return 32767;
    if (!(x > -1.0f))
        x = std::isnan(x) ? 0.0f : -1.0f;
    return int16_t(x * 32767.0f); // truncates toward zero
}

} // namespace

double decodeRate(double rate) {
    return std::max(std::min(rate, 192000.0), 8000.0);
}

int reductionStep(double rate) {
    const double k = std::round(decodeRate(rate) / rate);
    return k >= 1 ? int(k) : 1;
}

namespace {

// The read that monoSamples describes, appending the samples at the requested rate to `out`.
// `drain`, when given, is called after every decoded buffer and at the end, and may take the
// samples out of `out` (the streaming WAV writer); without it `out` gets room for the whole read.
void readMono(const QString& path, double rate, double maxSeconds, const Progress& progress,
              const std::stop_token& stop, std::vector<float>& out,
              const std::function<void()>& drain) {
    if (!(rate > 0) || !std::isfinite(rate))
        throw std::invalid_argument("BCAudio: the rate must be a positive number");
    const double decode = decodeRate(rate);
    const int step = reductionStep(rate);
    BCAudioReader reader(path, int(std::lround(decode)), 1, stop);
    const double duration = reader.duration();
    const double limit = std::floor(decode * maxSeconds);

    // Room for the whole read up front, so the array is never copied while growing.
    const double expected = std::min(duration > 0 ? duration : 0.0, std::max(maxSeconds, 0.0));
    if (!drain && expected > 0 && expected <= 6 * 3600.0) {
        out.reserve(size_t(std::ceil(expected * decode / step)) + size_t(decode / step) + 16);
        preferLargePages(out);
    }
    Reducer reducer(step, out);

    double decoded = 0; // samples at the decode rate
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> lastReport;
    reader.read([&](std::span<const float> buffer) {
        if (stop.stop_requested())
            throw BCCancelled{};
        reducer.add(buffer);
        if (drain)
            drain();
        decoded += double(buffer.size());
        if (decoded > limit)
            return false;
        if (progress && duration > 0) {
            const Clock::time_point now = Clock::now();
            if (!lastReport || now - *lastReport > std::chrono::milliseconds(200)) {
                progress(std::min(decoded / decode / duration, 1.0));
                lastReport = now;
            }
        }
        return true;
    });
    if (stop.stop_requested())
        throw BCCancelled{};
    reducer.finish();
    if (drain)
        drain();
}

QByteArray wavHeader(uint32_t count, int rate) {
    QByteArray header(44, Qt::Uninitialized);
    std::memcpy(header.data(), "RIFF", 4);
    put32(header, 4, 36 + 2 * count);
    std::memcpy(header.data() + 8, "WAVEfmt ", 8);
    put32(header, 16, 16);
    put16(header, 20, 1); // PCM
    put16(header, 22, 1); // one channel
    put32(header, 24, uint32_t(rate));
    put32(header, 28, uint32_t(rate) * 2);
    put16(header, 32, 2);
    put16(header, 34, 16);
    std::memcpy(header.data() + 36, "data", 4);
    put32(header, 40, 2 * count);
    return header;
}

// A WAV file on its way to `path` beside it: nothing appears there until commit, and an
// uncommitted one is removed.
class WavFile {
public:
    explicit WavFile(const QString& path) : m_path(path), m_target(path), m_file(m_target.path()) {
        if (!m_file.open(QIODevice::WriteOnly))
            throw failure(m_file.errorString());
    }

    void write(const char* data, qsizetype size) {
        if (m_file.write(data, size) != size)
            throw failure(m_file.errorString());
    }
    // The samples as 16-bit values, in blocks, so no second copy of a long recording is made.
    static constexpr size_t block = 1 << 16;

    void writeSamples(std::span<const float> samples) {
        for (size_t start = 0; start < samples.size(); start += block) {
            const size_t count = std::min(block, samples.size() - start);
            m_bytes.resize(2 * count);
            unsigned char* out = m_bytes.data();
            for (const float x : samples.subspan(start, count)) {
                const auto value = uint16_t(pcm16(x));
                *out++ = uint8_t(value & 0xFF);
                *out++ = uint8_t(value >> 8);
            }
            write(reinterpret_cast<const char*>(m_bytes.data()), qsizetype(2 * count));
        }
    }
    void rewriteHeader(const QByteArray& header) {
        if (!m_file.seek(0))
            throw failure(m_file.errorString());
        write(header.constData(), header.size());
    }
    void commit() {
        // A failed flush of the buffered tail (the header rewrite) fails the write.
        if (!m_file.flush())
            throw failure(m_file.errorString());
        m_file.close();
        m_target.commit();
    }

private:
    BCError failure(const QString& reason) const {
        return BCError(QStringLiteral("The file “%1” couldn't be saved: %2.")
                           .arg(QFileInfo(m_path).fileName(), reason),
                       m_path);
    }

    QString m_path;
    BCFileTarget m_target;
    QFile m_file;
    std::vector<unsigned char> m_bytes;
};

BCError tooLong(uint64_t count, long long rate) {
    return BCError(QStringLiteral("The sound is too long to save as a WAV file."),
                   QStringLiteral("%1 samples at %2 Hz").arg(count).arg(rate));
}

} // namespace

std::vector<float> monoSamples(const QString& path, double rate, double maxSeconds,
                               const Progress& progress, std::stop_token stop) {
    std::vector<float> result;
    readMono(path, rate, maxSeconds, progress, stop, result, {});
    return result;
}

std::vector<float> monoSamples(const BCAsset& asset, double rate, double maxSeconds,
                               const Progress& progress, std::stop_token stop) {
    return monoSamples(asset.path, rate, maxSeconds, progress, std::move(stop));
}

std::vector<float> peaks(std::span<const float> samples, int buckets) {
    if (samples.empty() || buckets < 1)
        return {};
    const size_t count = samples.size();
    const size_t step = count >= size_t(buckets) ? count / size_t(buckets) : 1;
    std::vector<float> bars;
    bars.reserve((count + step - 1) / step);
    for (size_t start = 0; start < count; start += step) {
        const size_t end = std::min(start + step, count);
        float largest = 0;
        for (size_t i = start; i < end; ++i)
            largest = std::max(largest, std::fabs(samples[i]));
        bars.push_back(std::min(largest, 1.0f));
    }
    return bars;
}

bool wavFits(size_t sampleCount, long long rate) {
    constexpr uint64_t field = std::numeric_limits<uint32_t>::max();
    return rate > 0 && uint64_t(rate) * 2 <= field && sampleCount <= (field - 36) / 2;
}

void writeWAV(std::span<const float> samples, int rate, const QString& path) {
    if (rate < 1)
        throw std::invalid_argument("BCAudio::writeWAV: the rate must be positive");
    if (!wavFits(samples.size(), rate))
        throw tooLong(samples.size(), rate);
    WavFile file(path);
    const QByteArray header = wavHeader(uint32_t(samples.size()), rate);
    file.write(header.constData(), header.size());
    file.writeSamples(samples);
    file.commit();
}

void writeWAV(size_t count, int rate, const QString& path, const Fill& fill) {
    if (rate < 1)
        throw std::invalid_argument("BCAudio::writeWAV: the rate must be positive");
    if (!wavFits(count, rate))
        throw tooLong(count, rate);
    WavFile file(path);
    const QByteArray header = wavHeader(uint32_t(count), rate);
    file.write(header.constData(), header.size());
    std::vector<float> block(std::min(count, WavFile::block));
    for (size_t start = 0; start < count; start += block.size()) {
        const std::span<float> part = std::span(block).first(std::min(block.size(), count - start));
        fill(part);
        file.writeSamples(part);
    }
    file.commit();
}

uint64_t writeMonoWAV(const QString& input, int rate, double maxSeconds, const QString& path,
                      const Progress& progress, std::stop_token stop) {
    if (rate < 1)
        throw std::invalid_argument("BCAudio::writeMonoWAV: the rate must be positive");
    if (!wavFits(0, rate))
        throw tooLong(0, rate);
    WavFile file(path);
    const QByteArray placeholder = wavHeader(0, rate);
    file.write(placeholder.constData(), placeholder.size());
    uint64_t count = 0;
    std::vector<float> pending;
    readMono(input, rate, maxSeconds, progress, stop, pending, [&] {
        if (!wavFits(count + pending.size(), rate))
            throw tooLong(count + pending.size(), rate);
        file.writeSamples(pending);
        count += pending.size();
        pending.clear();
    });
    if (count == 0)
        return 0; // the uncommitted file goes with `file`
    file.rewriteHeader(wavHeader(uint32_t(count), rate));
    file.commit();
    return count;
}

} // namespace BCAudio
