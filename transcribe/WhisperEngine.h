#pragma once

#include "Caption.h"
#include "CaptionRules.h"
#include "WhisperDevices.h"
#include "WhisperModel.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>

// Running whisper.cpp's `whisper-cli` and cleaning what it returns. Stateless; any thread.
// Times are seconds; samples are mono floats.
namespace WhisperEngine {

struct Options {
    WhisperModel model;
    QString language; // a locale identifier such as en_US; may be empty (detect)
    bool song = false;
    // Context for the recogniser: nothing for a transcription, the pasted lyrics for an
    // alignment. In song mode an absent prompt becomes the song prompt.
    std::optional<QString> prompt;
    // The graphics card to run on (the Vulkan variant of whisper-cli); nothing: the processor.
    std::optional<WhisperDevices::Device> gpu = std::nullopt;
};

// How a transcription ran.
struct Outcome {
    std::optional<WhisperDevices::Device> gpu; // the graphics card it ran on; nothing: processor
    // Why the graphics card run failed ("exit status 1", "the device was lost") when the
    // processor ran it again.
    std::optional<QString> gpuFailure;
};

// Fraction 0..1 of the run, called on the thread that runs `transcribe`.
using Progress = std::function<void(double fraction)>;

// The `whisper-cli` executable: <folder of the executable>/helpers/whisper-cli when executable,
// else $BRCT_WHISPER_CLI when it names an executable file, else nothing. With `gpu` the Vulkan
// variant: helpers/whisper-cli-vulkan, else $BRCT_WHISPER_CLI_VULKAN.
std::optional<QString> cliURL(bool gpu = false);

// Physical processor cores (distinct cores in <cpuRoot>/cpu*/topology), clamped to 2…16; when
// none can be read, half the logical processors, at least 2.
int threads(const QString& cpuRoot = QStringLiteral("/sys/devices/system/cpu"));

// Threads for a run on the graphics card: whisper.cpp's own default, at most 4 (and no more than
// `threads()`). The card does the encoder and decoder; the processor only makes the spectrogram
// and picks tokens, where more threads only spin.
int gpuThreads();

// "pt_BR" → "pt", "zh-Hant-TW" → "zh", "" → "auto".
QString languageCode(const QString& language);

// The prompt whisper-cli gets: in song mode `prompt` or the song prompt, else `prompt`; cut to
// its first 700 characters. Empty means no prompt.
QString effectivePrompt(const Options& options);

// The command line, without the program. `model`, `wav`: files; `out`: output path without
// extension (the result is out.json); `vad`: the voice detector's file, used in song mode only.
//
// Song mode keeps decoded text from being carried from one 30-second window into the next,
// as "-mc 0" was meant to, but whisper-cli ignores --prompt when the text context is 0. So a
// song-mode run with a prompt gets "--carry-initial-prompt" (the prompt opens every window)
// and a text context of exactly `promptTokens` + 1 ("-mc"): whisper-cli fills the context with
// the prompt first and only the rest with decoded text, which leaves no room for it. Without a
// token count the UTF-8 length of the prompt stands in (never fewer tokens than bytes), which
// keeps the whole prompt but may let a little decoded text in.
QStringList arguments(const QString& model, const QString& wav, const QString& out,
                      const Options& options, const std::optional<QString>& vad,
                      std::optional<int> promptTokens = std::nullopt);

// Runs whisper-cli on `samples` (16 000 Hz) and returns the words, loops dropped; with `refine`
// (and not in song mode) word starts are moved onto sound onsets. Blocking: call it from a job's
// worker thread. The speech is written to a private temporary folder (mode 0700) that is
// removed on every path. Throws BCError with the user's sentence (engine missing, model not
// downloaded, engine failure with the last lines of its log), BCCancelled when `stop` fires
// (the child is terminated, and killed 2 s later if still running).
//
// With `options.gpu` the Vulkan variant runs first, pointed at that device; when it fails (exit
// status not 0, a crash, an "error:" line, no result) the processor variant runs once more on
// the same speech, and `outcome` says why (its progress then starts again from 0).
TimedWords transcribe(std::span<const float> samples, const Options& options, bool refine,
                      std::stop_token stop = {}, const Progress& progress = {},
                      Outcome* outcome = nullptr);

// The words of a `whisper-cli -ojf -ml 1` JSON result ("transcription" array of segments with
// "offsets" in milliseconds and "text"), markers and empty segments skipped, loops dropped. Each
// word's confidence is the lowest probability ("p") of its tokens; a result without tokens (-oj)
// gives words of unknown confidence.
// Anything not of that shape gives no words.
TimedWords parse(const QByteArray& json);

// Whether `json` is a whisper-cli result at all: an object with a "transcription" array.
bool isResult(const QByteArray& json);

// Collapses a phrase of one to six words heard four or more times in a row into two copies, the
// "same line over and over" that recognisers produce on music. Three repeats stay.
TimedWords dropLoops(const TimedWords& words);

// Moves word starts (after pauses and sentence ends) onto the nearest sound onset and trims
// word ends back to where the sound stops. `rate` in samples per second.
TimedWords snapToSpeech(const TimedWords& words, std::span<const float> samples, int rate);

// Moves each caption start onto the nearest sound onset within 0.8 s.
Captions snapCaptions(const Captions& captions, std::span<const float> samples, int rate);

// Captions from Whisper words over 16 000 Hz samples: grouped by the rules; outside song mode
// with speaker changes told by voice pitch (marked with ">> " when `markSpeakers`) and starts
// snapped to the sound.
Captions captions(const TimedWords& words, std::span<const float> samples,
                  const CaptionMath::Rules& rules, bool song, bool markSpeakers);

} // namespace WhisperEngine
