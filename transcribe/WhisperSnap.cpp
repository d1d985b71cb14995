// Moving Whisper's word and caption starts onto the sound: frame energies, onsets, and the
// two snapping passes; and the captions made from Whisper words.
#include "WhisperEngine.h"

#include "CaptionMath.h"
#include "VoicePitch.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace WhisperEngine {

namespace {

// RMS energy of 20 ms windows every 10 ms, the loudness threshold, and onsets.
class Frames {
public:
    Frames(std::span<const float> samples, int rate) : m_rate(rate) {
        m_hop = std::max(int(std::floor(rate * 0.01)), 1);
        const qsizetype window = qsizetype(std::floor(rate * 0.02));
        const qsizetype count = qsizetype(samples.size());
        if (rate <= 0 || window <= 0 || count < window)
            return;
        const qsizetype frames = (count - window) / m_hop;
        m_energy.resize(size_t(frames));
        for (qsizetype j = 0; j < frames; ++j) {
            const float* x = samples.data() + j * m_hop;
            float sum = 0;
            for (qsizetype i = 0; i < window; ++i)
                sum += x[i] * x[i];
            m_energy[size_t(j)] = std::sqrt(sum / float(window));
        }
        if (frames == 0)
            return;
        std::vector<float> sorted = m_energy;
        const size_t rank = size_t(std::floor(double(frames) * 0.95));
        std::nth_element(sorted.begin(), sorted.begin() + qsizetype(rank), sorted.end());
        m_threshold = std::max(sorted[rank] * 0.08f, 0.003f);
    }

    qsizetype count() const { return qsizetype(m_energy.size()); }
    bool loud(qsizetype j) const { return m_energy[size_t(j)] > m_threshold; }
    double time(qsizetype j) const { return double(j) * m_hop / m_rate; }
    qsizetype index(double t) const {
        const double sample = std::floor(t * m_rate);
        const double frame = std::floor(sample / m_hop);
        return qsizetype(std::clamp(frame, 0.0, double(count() - 1)));
    }

    // Three loud frames from j on, and quiet for the 150 ms before (frames that exist).
    bool onset(qsizetype j) const {
        if (j + 2 >= count() || !loud(j) || !loud(j + 1) || !loud(j + 2))
            return false;
        for (qsizetype i = std::max<qsizetype>(j - 15, 0); i < j; ++i) {
            if (loud(i))
                return false;
        }
        return true;
    }

    // The onset among frames first…last closest in time to `t`, the earlier on a tie.
    std::optional<double> nearestOnset(qsizetype first, qsizetype last, double t) const {
        std::optional<double> best;
        for (qsizetype j = first; j <= last; ++j) {
            if (!onset(j))
                continue;
            if (!best || std::abs(time(j) - t) < std::abs(*best - t))
                best = time(j);
        }
        return best;
    }

private:
    int m_rate;
    int m_hop = 1;
    std::vector<float> m_energy;
    float m_threshold = 0.003f;
};

} // namespace

TimedWords snapToSpeech(const TimedWords& input, std::span<const float> samples, int rate) {
    if (input.isEmpty() || rate <= 0 || qsizetype(samples.size()) <= rate)
        return input;
    const Frames frames(samples, rate);
    if (frames.count() < 11)
        return input;

    TimedWords words = input;
    const qsizetype n = words.size();
    for (qsizetype k = 0; k < n; ++k) {
        TimedWord& word = words[k];
        double from = std::max(word.start - 1.0, 0.0);
        if (k > 0) {
            const TimedWord& previous = words[k - 1];
            if (!(word.start - previous.end() >= 0.25 || CaptionMath::endsSentence(previous.text)))
                continue;
            from = previous.start + 0.1;
        }
        double to = word.start + 0.8;
        if (k + 1 < n)
            to = std::min(to, words[k + 1].end());
        const qsizetype first = frames.index(from);
        const qsizetype last = frames.index(to);
        if (!(first + 2 < last))
            continue;
        const auto onset = frames.nearestOnset(first, last - 2, word.start);
        if (!onset)
            continue;
        const double start = *onset - 0.03;
        double end = std::max(word.end(), start + 0.15);
        if (k + 1 < n)
            end = std::min(end, words[k + 1].start);
        if (!(end - start > 0.08))
            continue;
        if (k > 0 && !(words[k - 1].start + 0.08 < start))
            continue;
        word.start = start;
        word.duration = end - start;
        if (k > 0) {
            TimedWord& previous = words[k - 1];
            const double previousEnd = std::min(start, previous.end());
            if (previousEnd - previous.start > 0.08)
                previous.duration = previousEnd - previous.start;
        }
    }

    const double soundEnd = double(samples.size()) / rate;
    for (qsizetype k = 0; k < n; ++k) {
        TimedWord& word = words[k];
        const double nextStart = k + 1 < n ? words[k + 1].start : soundEnd;
        if (k + 1 < n && !(nextStart - word.end() >= 0.25))
            continue;
        const qsizetype startFrame = frames.index(word.start);
        for (qsizetype f = frames.index(std::min(word.end() + 0.8, nextStart - 0.05));
             f - 2 >= startFrame; --f) {
            if (frames.loud(f) && frames.loud(f - 1) && frames.loud(f - 2)) {
                const double end = std::min(frames.time(f) + 0.05, nextStart);
                if (end - word.start > 0.08)
                    word.duration = end - word.start;
                break;
            }
        }
    }
    return words;
}

Captions snapCaptions(const Captions& input, std::span<const float> samples, int rate) {
    if (input.isEmpty() || rate <= 0)
        return input;
    const Frames frames(samples, rate);
    if (frames.count() < 21)
        return input;

    Captions captions = input;
    for (qsizetype k = 0; k < captions.size(); ++k) {
        Caption& caption = captions[k];
        const double from = k > 0 ? std::max(captions[k - 1].start + 0.3, caption.start - 0.8)
                                  : std::max(caption.start - 0.8, 0.0);
        const double to = std::min(caption.end - 0.3, caption.start + 0.8);
        const qsizetype first = frames.index(from);
        const qsizetype last = frames.index(to);
        if (!(first + 2 < last))
            continue;
        const auto onset = frames.nearestOnset(first, last - 2, caption.start);
        if (!onset)
            continue;
        const double start = std::max(*onset - 0.03, 0.0);
        if (std::abs(start - caption.start) < 0.05)
            continue;
        caption.start = start;
        if (k > 0 && start - 0.04 < captions[k - 1].end) {
            Caption& previous = captions[k - 1];
            previous.end = std::max(start - 0.04, previous.start + 0.2);
        }
    }
    return captions;
}

Captions captions(const TimedWords& words, std::span<const float> samples,
                  const CaptionMath::Rules& rules, bool song, bool markSpeakers) {
    if (song)
        return CaptionMath::group(words, rules);
    constexpr int rate = 16000;
    const CaptionMath::PitchFunction pitch = [samples](double from, double to) {
        return VoicePitch::median(samples, rate, from, to);
    };
    return snapCaptions(CaptionMath::group(words, rules, pitch, markSpeakers), samples, rate);
}

} // namespace WhisperEngine
