#include "WhisperEngine.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr int rate = 16000;
constexpr int hop = 160; // 10 ms frames

// `seconds` of silence with 220 Hz tone bursts. Each burst starts one hop after its nominal
// time, so the first loud 20 ms window (the onset frame) begins exactly at that time.
std::vector<float> signal(double seconds, const QList<std::pair<double, double>>& bursts) {
    std::vector<float> samples(size_t(seconds * rate), 0.0f);
    for (const auto& [from, to] : bursts) {
        for (size_t i = size_t(from * rate) + hop;
             i < size_t(to * rate) + hop && i < samples.size(); ++i)
            samples[i] = float(0.3 * std::sin(2 * M_PI * 220 * double(i) / rate));
    }
    return samples;
}

struct Span {
    double start;
    double end;
};

std::vector<Span> spans(const TimedWords& words) {
    std::vector<Span> out;
    for (const TimedWord& w : words)
        out.push_back({w.start, w.end()});
    return out;
}

void expectSpans(const std::vector<Span>& got, const std::vector<Span>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].start, want[i].start, 1e-9) << "start of " << i;
        EXPECT_NEAR(got[i].end, want[i].end, 1e-9) << "end of " << i;
    }
}

TEST(WhisperSnap, WordStartsMoveOntoOnsetsAfterPausesAndSentenceEnds) {
    const std::vector<float> sound = signal(3.0, {{1.5, 2.0}});
    struct Case {
        const char* what;
        TimedWords words;
        std::vector<Span> want;
    };
    const QList<Case> cases = {
        // The nearest onset is 0.5 s after the start: the word moves 0.47 s later, and its end
        // goes to where the sound stops (2.0 s) plus 0.05 s.
        {"first word", {{"Hi", 1.0, 0.3}}, {{1.47, 2.05}}},
        // Right after the previous word, without a sentence end: the start stays.
        {"no pause", {{"Well", 0.5, 0.5}, {"then", 1.1, 0.3}}, {{0.5, 1.0}, {1.1, 2.05}}},
        {"sentence end", {{"Well.", 0.5, 0.5}, {"Then", 1.1, 0.3}}, {{0.5, 1.0}, {1.47, 2.05}}},
        // An onset farther than 0.8 s after the start is not this word's.
        {"too far", {{"Hi", 0.2, 0.3}}, {{0.2, 0.5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        expectSpans(spans(WhisperEngine::snapToSpeech(c.words, sound, rate)), c.want);
    }
}

TEST(WhisperSnap, TooLittleSoundLeavesWordsAlone) {
    const TimedWords words = {{"Hi", 0.1, 0.3}};
    const std::vector<float> second = signal(1.0, {{0.4, 0.8}});
    EXPECT_EQ(WhisperEngine::snapToSpeech(words, second, rate), words);
    EXPECT_EQ(WhisperEngine::snapToSpeech({}, signal(3.0, {{1.5, 2.0}}), rate), TimedWords());
}

TEST(WhisperSnap, CaptionStartsMoveAndThePreviousEndMakesRoom) {
    const std::vector<float> sound = signal(3.0, {{0.5, 1.0}, {1.5, 2.5}});
    const Captions input = {Caption::make(0.45, 1.6, "one"), Caption::make(1.8, 3.0, "two")};
    const Captions out = WhisperEngine::snapCaptions(input, sound, rate);
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out[0].start, 0.45); // the onset is 0.02 s away: not worth a move
    EXPECT_NEAR(out[0].end, 1.43, 1e-9);
    EXPECT_NEAR(out[1].start, 1.47, 1e-9);
    EXPECT_EQ(out[1].end, 3.0);
    EXPECT_EQ(out[1].id, input[1].id);
    EXPECT_EQ(WhisperEngine::snapCaptions(input, signal(0.2, {}), rate), input);
}

TEST(WhisperSnap, SongCaptionsAreNotSnapped) {
    const std::vector<float> sound = signal(3.0, {{1.5, 2.5}});
    const TimedWords words = {{"Hello", 1.0, 0.3}, {"there.", 1.3, 0.4}};
    const CaptionMath::Rules rules;
    const Captions song = WhisperEngine::captions(words, sound, rules, true, false);
    const Captions speech = WhisperEngine::captions(words, sound, rules, false, false);
    ASSERT_EQ(song.size(), 1);
    ASSERT_EQ(speech.size(), 1);
    EXPECT_EQ(song[0].start, 1.0);
    EXPECT_NEAR(speech[0].start, 1.47, 1e-9);
    EXPECT_EQ(speech[0].text, song[0].text);
}

} // namespace
