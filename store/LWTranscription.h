#pragma once

#include "BCAsset.h"
#include "Caption.h"
#include "CaptionRules.h"
#include "WhisperDevices.h"

#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>

class ELKeyStore;
class WhisperModels;

// The recogniser a transcription uses.
enum class LWEngine {
    whisper, // whisper.cpp's whisper-cli on this computer
    offline, // the offline PocketSphinx recogniser
    scribe,  // the ElevenLabs Scribe cloud service, with the user's key
};

// One transcription from sound to captions, shared by the window's job and the command line:
// the engine, its model or key, song mode, Paste Lyrics alignment, the grouping into captions,
// the caption ends cut back to the file, and the closing note. Blocking; call it on a job's
// worker thread while the main thread runs its event loop (model downloads and the keyring
// answer there). Throws BCError with the user's sentence, BCCancelled when `stop` fires.
namespace LWTranscription {

struct Request {
    BCAsset asset;
    double duration = 0; // seconds; caption ends never pass it
    LWEngine engine = LWEngine::whisper;
    bool song = false;
    // Paste Lyrics: the pasted text, timed word by word against Whisper's hearing of the song
    // (always in song mode, Whisper only).
    std::optional<QString> lyrics;
    QString language;    // locale identifier ("en-US"); empty lets Whisper detect it
    QString modelID;     // the Whisper model
    QString scribeModel; // the Scribe model
    bool preferOnDevice = true;
    CaptionMath::Rules rules;
    bool markSpeakers = true;
    bool hadPrevious = false; // the note then points at Restore Previous Captions
    // Whether a missing ElevenLabs key makes Whisper stand in (saying so): for the window while
    // the keyring has not yet answered whether a key is stored. Otherwise (the keyring said
    // there is one, or the command line asked for Scribe by name) a missing key fails the job.
    bool scribeFallsBackToWhisper = false;
    // Whisper on the graphics card or the processor: `automatic` follows `useGPU` (the
    // preference); `gpu` fails with a sentence when no graphics card can be used.
    WhisperDevices::Want device = WhisperDevices::Want::automatic;
    bool useGPU = true;
    // The devices to choose from; nothing: those of this machine (WhisperDevices::found()).
    std::optional<QList<WhisperDevices::Device>> devices;
};

struct Result {
    Captions captions;
    QString note;                // the sentence the finished job leaves
    std::optional<double> speed; // Whisper's processing seconds per second of sound
};

// Where the work needs the application's services.
struct Services {
    WhisperModels& models;
    ELKeyStore* keys = nullptr; // the keyring, for the Scribe engine
    std::chrono::milliseconds keyLimit = std::chrono::seconds(10);
};

// A job's `busy` text and `progress` (nothing: indeterminate); called on the worker thread.
using Status = std::function<void(const QString& text, std::optional<double> fraction)>;
// Asked on the worker thread when needed models are missing, with the question's title and
// message; true downloads them, false stops the job. May throw to fail instead.
using DownloadQuestion = std::function<bool(const QString& title, const QString& message)>;
// A sentence for the status note while the job runs (the Scribe fallback to Whisper).
using Notice = std::function<void(const QString& sentence)>;

Result run(const Request& request, const Services& services, const Status& status,
           const DownloadQuestion& askDownload, const Notice& notice, std::stop_token stop);

// The engine stored in the preferences ("whisper", "apple", "elevenlabs"); Whisper for anything
// else.
LWEngine engineFromPreference(const QString& raw);

// The sentence of the fallback when the cloud engine is chosen without a key.
QString noKeySentence();
// The device a Whisper transcription runs on (nothing: the processor). Throws BCError with
// WhisperDevices::noGpuSentence when `request.device` is `gpu` and none can be used.
std::optional<WhisperDevices::Device> whisperDevice(const Request& request);
// The note's phrase for Whisper: " with Whisper on this computer (processor)", "… (graphics
// card: NAME)", with "Song mode, " before the device in song mode.
QString whisperPhrase(bool song, const std::optional<WhisperDevices::Device>& gpu);
// The note a finished transcription leaves, with the engine's phrase (" with Whisper on this
// computer (processor)", " on this computer").
QString madeCaptionsNote(qsizetype count, const QString& enginePhrase, bool hadPrevious);
// The note a finished alignment leaves.
QString alignedNote(qsizetype captions, int matched, int total);
// A remaining-time text for a run `fraction` done after `elapsed` seconds, or nothing before
// 5 % of it: `doing` (a status ending in "…") followed by " about M min left", M at least 1.
std::optional<QString> timeLeftText(double fraction, double elapsed, const QString& doing);
// The same for Whisper: "Whisper is listening on this computer… about M min left".
std::optional<QString> timeLeftText(double fraction, double elapsed);

// Each caption's end cut back to the file's end, but never to less than 0.1 s after its start.
Captions clampedToFile(Captions captions, double duration);

} // namespace LWTranscription
