// Parsing and writing a 50,000-cue subtitle file; the delivery checks over 3,000 captions and
// the re-check of one caption after an edit.
#include "CaptionChecks.h"
#include "CaptionMath.h"

#include <benchmark/benchmark.h>

namespace {

Captions manyCaptions(int count) {
    Captions captions;
    captions.reserve(count);
    for (int i = 0; i < count; ++i) {
        const double start = i * 2.5;
        captions.append(Caption::make(start, start + 2.2,
                                      QStringLiteral("Caption number %1 says a few words\n"
                                                     "and then a second line of text")
                                          .arg(i)));
    }
    return captions;
}

void BM_WriteSrt(benchmark::State& state) {
    const Captions captions = manyCaptions(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CaptionMath::srt(captions));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_WriteVtt(benchmark::State& state) {
    const Captions captions = manyCaptions(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CaptionMath::vtt(captions));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ParseSrt(benchmark::State& state) {
    const QString text = CaptionMath::srt(manyCaptions(int(state.range(0))));
    for (auto _ : state)
        benchmark::DoNotOptimize(CaptionMath::parseSubtitles(text));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_CheckAll(benchmark::State& state) {
    const Captions captions = manyCaptions(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CaptionChecks::checkAll(captions, {}));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_CheckOne(benchmark::State& state) {
    const Captions captions = manyCaptions(int(state.range(0)));
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(CaptionChecks::check(captions, i, {}));
        i = (i + 7) % captions.size();
    }
}

} // namespace

BENCHMARK(BM_CheckAll)->Arg(3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckOne)->Arg(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteSrt)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteVtt)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseSrt)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
