// The offline recogniser over a whole file: rough cut, pause split, one WAV per part, and the
// recognition of each part with its ticker, poll and time-out.
#include "Transcriber.h"

#include "BCAudio.h"
#include "BCError.h"
#include "SpeechRecognizer.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <variant>

namespace Transcriber {

namespace {

constexpr int kRate = 16000;

// Whisper's languages by their two- or three-letter codes.
const char* const kWhisperLanguages[] = {
    "en", "zh", "de", "es",  "ru", "ko", "fr", "ja", "pt", "tr", "pl", "ca", "nl", "ar", "sv",
    "it", "id", "hi", "fi",  "vi", "he", "uk", "el", "ms", "cs", "ro", "da", "hu", "ta", "no",
    "th", "ur", "hr", "bg",  "lt", "la", "mi", "ml", "cy", "sk", "te", "fa", "lv", "bn", "sr",
    "az", "sl", "kn", "et",  "mk", "br", "eu", "is", "hy", "ne", "mn", "bs", "kk", "sq", "sw",
    "gl", "mr", "pa", "si",  "km", "sn", "yo", "so", "af", "oc", "ka", "be", "tg", "sd", "gu",
    "am", "yi", "lo", "uz",  "fo", "ht", "ps", "tk", "nn", "mt", "sa", "lb", "my", "bo", "tl",
    "mg", "as", "tt", "haw", "ln", "ha", "ba", "jw", "su", "yue"};

// A Whisper language code with its most likely country as a locale identifier ("pt" → "pt-BR",
// the language part kept as Whisper knows it), and its name; the code stands for both when the
// locale data doesn't know the language.
QPair<QString, QString> localeFor(const QString& code) {
    const QString iso = code == QStringLiteral("jw") ? QStringLiteral("jv") : code;
    const QLocale locale(iso);
    if (locale.language() == QLocale::C)
        return {code, code};
    const QString language = QLocale::languageToString(locale.language());
    if (locale.territory() == QLocale::AnyTerritory)
        return {code, language};
    return {
        code + u'-' + QLocale::territoryToCode(locale.territory()),
        QStringLiteral("%1 (%2)").arg(language, QLocale::territoryToString(locale.territory()))};
}

double secondsOf(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

QList<QPair<QString, QString>> languages() {
    QList<QPair<QString, QString>> named;
    for (const char* code : kWhisperLanguages)
        named.append(localeFor(QString::fromLatin1(code)));
    std::sort(named.begin(), named.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    named.erase(std::unique(named.begin(), named.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                named.end());
    std::stable_sort(named.begin(), named.end(),
                     [](const auto& a, const auto& b) { return a.second < b.second; });
    return named;
}

Authorization authorize() {
    return Authorization::authorized;
}

bool supports(const QString& locale) {
    return SpeechRecognizer::modelFolder(locale).has_value();
}

QList<Range> roughCut(std::span<const float> samples) {
    constexpr size_t kLeft = 928000;   // more than 58 s left: cut again
    constexpr size_t kTarget = 800000; // 50 s
    constexpr size_t kReach = 128000;  // 8 s either side of the target
    constexpr size_t kWindow = 800;    // 50 ms
    const size_t n = samples.size();
    QList<Range> chunks;
    size_t start = 0;
    while (n - start > kLeft) {
        const size_t target = start + kTarget;
        const size_t limit = std::min(target + kReach, n - 1);
        size_t cut = target;
        double quietest = INFINITY;
        for (size_t w = target - kReach; w + kWindow < limit; w += kWindow) {
            double energy = 0;
            for (size_t i = w; i < w + kWindow; ++i)
                energy += double(samples[i]) * samples[i];
            if (energy < quietest) {
                quietest = energy;
                cut = w + kWindow / 2;
            }
        }
        chunks.append({start, cut});
        start = cut;
    }
    chunks.append({start, n});
    return chunks;
}

QList<Range> splitAtPauses(Range range, std::span<const float> samples, int rate, double minPause) {
    const size_t frame = size_t(std::max(1, rate / 20));
    const size_t length = range.end > range.begin ? range.end - range.begin : 0;
    if (length <= 40 * frame)
        return {range};
    float loudest = 0;
    for (size_t i = range.begin; i < range.end; ++i)
        loudest = std::max(loudest, std::fabs(samples[i]));
    const float threshold = std::max(0.03f * loudest, 0.003f);

    QList<size_t> candidates;
    bool inQuiet = false;
    size_t quietStart = 0;
    for (size_t f = range.begin; f + frame <= range.end; f += frame) {
        float peak = 0;
        for (size_t i = f; i < f + frame; ++i)
            peak = std::max(peak, std::fabs(samples[i]));
        if (peak < threshold) {
            if (!inQuiet) {
                inQuiet = true;
                quietStart = f;
            }
        } else if (inQuiet) {
            inQuiet = false;
            if (quietStart != range.begin && double(f - quietStart) / rate >= minPause)
                candidates.append((quietStart + f) / 2);
        }
    }
    QList<Range> pieces;
    size_t last = range.begin;
    const size_t gap = size_t(rate / 2);
    for (const size_t cut : candidates) {
        if (cut > last + gap) {
            pieces.append({last, cut});
            last = cut;
        }
    }
    pieces.append({last, range.end});
    return pieces;
}

TimedWords mergedWords(TimedWords words) {
    std::stable_sort(words.begin(), words.end(),
                     [](const TimedWord& a, const TimedWord& b) { return a.start < b.start; });
    QSet<QString> seen;
    TimedWords kept;
    for (const TimedWord& w : words) {
        const QString key = QString::number(std::llround(w.start * 100)) + u'|' + w.text.toLower();
        if (seen.contains(key))
            continue;
        seen.insert(key);
        kept.append(w);
    }
    return kept;
}

TimedWords recognise(const QString& path, SpeechRecognizer& recognizer, bool onDevice,
                     double seconds, const std::function<void(double)>& progress,
                     std::stop_token stop) {
    // Once: the part's outcome, set by the first of completion, error and time-out.
    struct Once {
        std::mutex lock;
        std::condition_variable set;
        bool done = false;
        std::variant<std::monostate, TimedWords, BCError> outcome;
    };
    // Collected: the words of final results so far.
    struct Collected {
        std::mutex l;
        TimedWords words;
        bool gotFinal = false;
    };
    // Best: the highest progress reported for the part.
    struct Best {
        std::mutex l;
        double v = 0;
    };
    Once once;
    Collected collected;
    Best best;

    const auto merged = [&collected] {
        const std::lock_guard hold(collected.l);
        return mergedWords(collected.words);
    };
    const auto deliver = [&once](std::variant<std::monostate, TimedWords, BCError> outcome) {
        const std::lock_guard hold(once.lock);
        if (once.done)
            return;
        once.done = true;
        once.outcome = std::move(outcome);
        once.set.notify_all();
    };
    const auto isDone = [&once] {
        const std::lock_guard hold(once.lock);
        return once.done;
    };

    const auto handler = [&](const std::optional<QList<SpeechRecognizer::Segment>>& final,
                             const std::optional<SpeechRecognizer::Error>& error) {
        if (final) {
            TimedWords words;
            for (const auto& segment : *final)
                words.append({segment.text, segment.timestamp, std::max(segment.duration, 0.05),
                              segment.confidence});
            {
                const std::lock_guard hold(collected.l);
                collected.words += words;
                collected.gotFinal = true;
            }
            // Wakes the poll at once rather than at its next quarter second.
            const std::lock_guard hold(once.lock);
            once.set.notify_all();
            return;
        }
        if (!error || isDone())
            return;
        bool gotFinal = false;
        {
            const std::lock_guard hold(collected.l);
            gotFinal = collected.gotFinal;
        }
        if (!gotFinal && error->code != 1110 && error->code != 203 && error->code != 301)
            deliver(BCError(QStringLiteral("Speech recognition stopped: ") + error->description));
        else
            deliver(merged());
    };

    const auto started = std::chrono::steady_clock::now();
    const std::unique_ptr<SpeechRecognizer::Task> task = recognizer.start(path, handler);
    const double expected = seconds * (onDevice ? 0.6 : 0.4);
    const double limit = 2 * seconds + 180;
    auto nextTick = started + std::chrono::milliseconds(400);
    auto nextPoll = started + std::chrono::milliseconds(250);
    while (true) {
        {
            std::unique_lock hold(once.lock);
            once.set.wait_until(hold, std::min(nextTick, nextPoll), [&] {
                return once.done || task->state() == SpeechRecognizer::State::completed;
            });
            if (once.done)
                break;
        }
        if (stop.stop_requested()) {
            task->cancel();
            throw BCCancelled{};
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= nextTick && seconds > 0) {
            nextTick += std::chrono::milliseconds(400);
            const double elapsed = secondsOf(now - started);
            double f = expected >= 2 ? elapsed / expected : elapsed * 0.5;
            f = std::min(f, 0.9);
            double v = 0;
            {
                const std::lock_guard hold(best.l);
                best.v = std::max(best.v, f);
                v = best.v;
            }
            if (progress)
                progress(v);
        } else if (now >= nextTick) {
            nextTick += std::chrono::milliseconds(400);
        }
        if (now >= nextPoll || task->state() == SpeechRecognizer::State::completed) {
            nextPoll = now + std::chrono::milliseconds(250);
            bool gotFinal = false;
            {
                const std::lock_guard hold(collected.l);
                gotFinal = collected.gotFinal;
            }
            const auto state = task->state();
            if (state == SpeechRecognizer::State::completed ||
                (state == SpeechRecognizer::State::cancelling && gotFinal)) {
                deliver(merged());
            } else if (secondsOf(now - started) > limit) {
                deliver(BCError(QStringLiteral("Speech recognition took too long on one part of "
                                               "the file. Try again, or try a shorter file.")));
                task->cancel();
            }
        }
    }
    if (auto* error = std::get_if<BCError>(&once.outcome))
        throw *error;
    return std::get<TimedWords>(once.outcome);
}

Result transcribeSamples(std::span<const float> samples, const QString& locale, bool preferOnDevice,
                         const ProgressFunction& progress, std::stop_token stop) {
    const auto report = [&progress](int chunk, int chunks, double fraction, const QString& note) {
        if (progress)
            progress({chunk, chunks, fraction, note});
    };
    std::unique_ptr<SpeechRecognizer> recognizer = SpeechRecognizer::make(locale);
    if (!recognizer)
        throw BCError(
            QStringLiteral("Speech recognition doesn't support %1 on this computer.").arg(locale));
    // Sound goes to a service only where the recogniser has one and the person allows it.
    const bool onDevice =
        recognizer->supportsOnDeviceRecognition() && (preferOnDevice || !recognizer->hasService());
    if (!recognizer->isAvailable() && !onDevice)
        throw BCError(QStringLiteral(
            "The speech service isn't available right now. Check the internet connection, or "
            "pick a language that can be recognised on this computer."));
    if (samples.size() < 4801)
        throw BCError(QStringLiteral("The sound track is too short to transcribe."));

    QList<Range> parts;
    for (const Range& chunk : roughCut(samples))
        parts += splitAtPauses(chunk, samples, kRate, 0.7);

    const QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/brct-lw-XXXXXX"));
    if (!folder.isValid())
        throw BCError(QStringLiteral("The recogniser's temporary folder couldn't be made."),
                      folder.errorString());

    const int count = int(parts.size());
    const double total = double(samples.size());
    Result result;
    result.onDevice = onDevice;
    for (int i = 0; i < count; ++i) {
        if (stop.stop_requested())
            throw BCCancelled{};
        const Range part = parts[i];
        const QString place = count == 1 ? (onDevice ? QStringLiteral(" on this computer")
                                                     : QStringLiteral(" (speech service)"))
                                         : (onDevice ? QStringLiteral(" (on this computer)")
                                                     : QStringLiteral(" (speech service)"));
        const QString head =
            count == 1 ? QStringLiteral("Listening")
                       : QStringLiteral("Listening to part %1 of %2").arg(i + 1).arg(count);
        const QString note = head + place + QStringLiteral("…");
        const double s = double(part.begin) / total;
        const double w = double(part.end - part.begin) / total;
        report(i + 1, count, 0.1 + 0.9 * s, note);

        const std::span<const float> piece = samples.subspan(part.begin, part.end - part.begin);
        float loudest = 0;
        for (const float x : piece)
            loudest = std::max(loudest, std::fabs(x));
        if (loudest < 0.004f)
            continue;
        const QString wav = folder.filePath(QStringLiteral("part-%1.wav").arg(i));
        BCAudio::writeWAV(piece, kRate, wav);
        const TimedWords words = recognise(
            wav, *recognizer, onDevice, double(piece.size()) / kRate,
            [&](double g) { report(i + 1, count, 0.1 + 0.9 * (s + w * std::min(g, 1.0)), note); },
            stop);
        QFile::remove(wav);
        const double offset = double(part.begin) / kRate;
        for (TimedWord word : words) {
            word.start += offset;
            result.words.append(word);
        }
    }
    report(count, count, 1.0, QStringLiteral("Done"));
    return result;
}

Result transcribe(const BCAsset& asset, const QString& locale, bool preferOnDevice,
                  const ProgressFunction& progress, std::stop_token stop) {
    if (authorize() != Authorization::authorized)
        throw BCError(QStringLiteral(
            "Lorowen Pro needs permission to use Speech Recognition to make captions."));
    if (!supports(locale))
        throw BCError(
            QStringLiteral("Speech recognition doesn't support %1 on this computer.").arg(locale));
    const QString reading = QStringLiteral("Reading the sound track…");
    if (progress)
        progress({0, 0, 0, reading});
    const std::vector<float> samples = BCAudio::monoSamples(
        asset, kRate, 21600,
        [&](double f) {
            if (progress)
                progress({0, 0, 0.1 * f,
                          reading + QStringLiteral(" %1%").arg(int(std::floor(f * 100)))});
        },
        stop);
    if (stop.stop_requested())
        throw BCCancelled{};
    return transcribeSamples(samples, locale, preferOnDevice, progress, stop);
}

} // namespace Transcriber
