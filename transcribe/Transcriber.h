#pragma once

#include "BCAsset.h"
#include "Caption.h"

#include <QList>
#include <QPair>
#include <QString>
#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <stop_token>

class SpeechRecognizer;

// The offline speech recogniser (PocketSphinx) over a whole file: the sound is cut into parts of
// about 50 s at quiet moments, each part is written to a small WAV file and recognised on its
// own, and the words are put back on the file's time line. Stateless; the blocking operations
// run on the caller's thread (a job's worker) and report through `progress` on that thread.
// Samples are mono floats at 16 000 per second; times are seconds.
namespace Transcriber {

struct Progress {
    int chunk = 0;       // part being recognised, from 1; 0 while reading; `chunks` when done
    int chunks = 0;      // number of parts; 0 while reading
    double fraction = 0; // overall 0..1
    QString note;        // status text for the user
};
using ProgressFunction = std::function<void(const Progress&)>;

enum class Authorization { notDetermined, denied, restricted, authorized };

// A range of sample indexes, [begin, end).
struct Range {
    size_t begin = 0;
    size_t end = 0;
    friend bool operator==(const Range&, const Range&) = default;
};

struct Result {
    TimedWords words;
    bool onDevice = true;
};

// Every spoken language the picker offers (Whisper's), as (locale identifier such as "en-US",
// name in the current locale); sorted by name, identifiers with equal names in identifier order.
QList<QPair<QString, QString>> languages();

// Permission to recognise speech; always granted here.
Authorization authorize();

// Whether an acoustic model for `locale` ("en-US" or "en_US") is installed.
bool supports(const QString& locale);

// Recognises the sound track of `asset` in `locale`. Throws BCError with the user's sentence
// (locale not supported, sound too short, recogniser failure, time-out), BCCancelled when `stop`
// fires. The temporary folder (private, "brct-lw-" + UUID) is removed on every path. Blocking.
Result transcribe(const BCAsset& asset, const QString& locale, bool preferOnDevice,
                  const ProgressFunction& progress, std::stop_token stop = {});

// The same over samples already read (16 000 per second); `transcribe` calls it after reading.
Result transcribeSamples(std::span<const float> samples, const QString& locale, bool preferOnDevice,
                         const ProgressFunction& progress, std::stop_token stop = {});

// Cuts samples into chunks of about 50 s: while more than 58 s are left, the next cut goes into
// the middle of the quietest 50 ms window within 8 s of the 50 s mark. Pure.
QList<Range> roughCut(std::span<const float> samples);

// Cuts `range` at pauses of at least `minPause` seconds (cuts at the pauses' middles, at least
// 0.5 s apart). A range of 2 s or less comes back whole. Pure.
QList<Range> splitAtPauses(Range range, std::span<const float> samples, int rate, double minPause);

// Sorted by start, with repeats of the same word at the same hundredth of a second dropped.
TimedWords mergedWords(TimedWords words);

// Recognises one 16-bit WAV file `seconds` long with `recognizer`; word times are relative to
// the file. `progress` gets the part's fraction 0..0.9 while it runs (every 400 ms). Fails after
// 2 × seconds + 180 s without an answer. Blocking.
TimedWords recognise(const QString& path, SpeechRecognizer& recognizer, bool onDevice,
                     double seconds, const std::function<void(double)>& progress,
                     std::stop_token stop = {});

} // namespace Transcriber
