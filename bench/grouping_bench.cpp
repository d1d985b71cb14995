// Grouping one long unpunctuated sentence without pauses: the splitter has to cut it all the way
// down, so its cost per level decides how grouping scales with the number of words.
#include "CaptionMath.h"

#include <benchmark/benchmark.h>

namespace {

TimedWords monotone(int count) {
    TimedWords words;
    words.reserve(count);
    for (int i = 0; i < count; ++i)
        words.append({QStringLiteral("word"), i * 0.3, 0.25});
    return words;
}

void BM_GroupOneSentence(benchmark::State& state) {
    const TimedWords words = monotone(int(state.range(0)));
    const CaptionMath::Rules rules;
    for (auto _ : state)
        benchmark::DoNotOptimize(CaptionMath::group(words, rules));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

} // namespace

// Ten times the words should cost well under fifteen times as long.
BENCHMARK(BM_GroupOneSentence)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
