// Spelling over 3,000 captions with Debian's en_US dictionary: reading the dictionary, the delivery
// checks with a spelling pass on a cold word cache (each distinct word asked of the dictionary
// once, as the window's worker does), the re-check of one edited caption against a warm cache,
// and the window's own path (LWSpelling: dictionary read, every word answered on its thread).
#include "CaptionChecks.h"
#include "LWSpeller.h"
#include "LWSpelling.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

const QString kAff = QStringLiteral("/usr/share/hunspell/en_US.aff");

// 3,000 captions of twelve words each, drawn from 5,000 of the dictionary's own words, every
// seventh word misspelled (two letters swapped): a transcript with a large vocabulary.
Captions manyCaptions(int count) {
    QFile dic(QStringLiteral("/usr/share/hunspell/en_US.dic"));
    QStringList all;
    if (dic.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : dic.readAll().split('\n')) {
            const QString word = QString::fromUtf8(line.left(line.indexOf('/')));
            if (word.size() > 2 && !word[0].isDigit())
                all << word;
        }
    }
    QStringList vocabulary;
    for (qsizetype i = 0; i < all.size() && vocabulary.size() < 5000; i += 9)
        vocabulary << all[i];
    if (vocabulary.isEmpty())
        vocabulary << QStringLiteral("word");
    quint32 seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    Captions captions;
    for (int c = 0; c < count; ++c) {
        QStringList words;
        for (int w = 0; w < 12; ++w) {
            QString word = vocabulary[qsizetype(next() >> 8) % vocabulary.size()];
            if ((c * 12 + w) % 7 == 0 && word.size() > 3)
                std::swap(word[1], word[2]);
            words << word;
        }
        const QString text = words.mid(0, 6).join(u' ') + u'\n' + words.mid(6).join(u' ');
        captions.append(Caption::make(c * 2.5, c * 2.5 + 2.2, text));
    }
    return captions;
}

std::shared_ptr<LWSpeller> speller() {
    static std::shared_ptr<LWSpeller> loaded = std::make_shared<LWSpeller>(kAff);
    return loaded;
}

// The misspelled words of `text`, asking the dictionary only about words not in `known`.
int spellPass(const LWSpeller& dictionary, const QString& text, QHash<QString, bool>& known) {
    int wrong = 0;
    for (const LWSpeller::Word& word : LWSpeller::words(text)) {
        auto it = known.find(word.text);
        if (it == known.end())
            it = known.insert(word.text, dictionary.check(word.text));
        wrong += *it ? 0 : 1;
    }
    return wrong;
}

void BM_SpellDictionaryLoad(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(LWSpeller(kAff));
}

void BM_CheckAllWithSpelling(benchmark::State& state) {
    const Captions captions = manyCaptions(int(state.range(0)));
    const auto dictionary = speller();
    for (auto _ : state) {
        QHash<QString, bool> known; // cold: every distinct word goes to the dictionary
        benchmark::DoNotOptimize(CaptionChecks::checkAll(captions, {}));
        int wrong = 0;
        for (const Caption& caption : captions)
            wrong += spellPass(*dictionary, caption.text, known);
        benchmark::DoNotOptimize(wrong);
        state.counters["distinct words"] = double(known.size());
    }
}

void BM_CheckOneWithSpelling(benchmark::State& state) {
    Captions captions = manyCaptions(int(state.range(0)));
    const auto dictionary = speller();
    QHash<QString, bool> known;
    for (const Caption& caption : captions)
        spellPass(*dictionary, caption.text, known);
    qsizetype i = 0;
    int edit = 0;
    for (auto _ : state) {
        // An edit: one new word (not in the cache) typed into the caption.
        state.PauseTiming();
        captions[i].text += QStringLiteral(" wrd%1x").arg(edit++).replace(u'1', u'l');
        state.ResumeTiming();
        benchmark::DoNotOptimize(CaptionChecks::check(captions, i, {}));
        benchmark::DoNotOptimize(spellPass(*dictionary, captions[i].text, known));
        i = (i + 7) % captions.size();
    }
}

// The window's path, timed once: from the first question to the last answer on the main thread,
// the dictionary read included, then the same list asked again (every answer cached).
void windowPath() {
    const Captions captions = manyCaptions(3000);
    LWSpelling spelling;
    spelling.setLanguage(QStringLiteral("en-US"));
    QElapsedTimer clock;
    clock.start();
    const auto askAll = [&] {
        bool any = false;
        qsizetype wrong = 0;
        for (const Caption& caption : captions) {
            bool waiting = false;
            wrong += spelling.misspelled(caption.text, &waiting).size();
            any = any || waiting;
        }
        return std::pair{any, wrong};
    };
    double firstAsk = 0;
    for (;;) {
        QElapsedTimer ask;
        ask.start();
        const auto [waiting, wrong] = askAll();
        if (firstAsk == 0)
            firstAsk = ask.nsecsElapsed() / 1e6;
        if (!waiting) {
            std::printf("window path, 3,000 captions: first ask %.1f ms on the main thread, all "
                        "answered after %.1f ms (dictionary read included), %lld misspelled\n",
                        firstAsk, clock.nsecsElapsed() / 1e6, static_cast<long long>(wrong));
            break;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    QElapsedTimer again;
    again.start();
    askAll();
    std::printf("window path, 3,000 captions asked again (cached): %.1f ms\n",
                again.nsecsElapsed() / 1e6);
}

} // namespace

BENCHMARK(BM_SpellDictionaryLoad)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CheckAllWithSpelling)->Arg(3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckOneWithSpelling)->Arg(3000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!QFile::exists(kAff)) {
        std::fprintf(stderr, "Debian's hunspell-en-us is not installed (scripts/setup).\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    windowPath();
    return 0;
}
