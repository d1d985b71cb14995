#include "LWTranscription.h"

#include "BCAudio.h"
#include "BCError.h"
#include "CaptionMath.h"
#include "ELClient.h"
#include "ELError.h"
#include "ELKeyStore.h"
#include "LyricAlign.h"
#include "Transcriber.h"
#include "VocalIsolator.h"
#include "WhisperEngine.h"
#include "WhisperModels.h"

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace LWTranscription {

namespace {

// A third of a second at 16 000 samples per second.
constexpr size_t kShortest = 5334;

void checkStop(std::stop_token stop) {
    if (stop.stop_requested())
        throw BCCancelled{};
}

// The part of a model's name after its last " — ", or the whole name.
QString shortName(const QString& name) {
    const QString dash = QStringLiteral(" — ");
    const qsizetype at = name.lastIndexOf(dash);
    return at < 0 ? name : name.mid(at + dash.size());
}

struct WhisperRun {
    TimedWords words;
    std::vector<float> samples; // the 16 000 Hz mono samples the words were heard in
    double speed = 0;
    WhisperEngine::Outcome outcome; // the device it ran on, a graphics card's failure
};

// The note with the sentence of a graphics card run that failed, when one did.
QString withFallback(QString note, const WhisperEngine::Outcome& outcome) {
    if (outcome.gpuFailure)
        note += u' ' + WhisperDevices::fallbackSentence(*outcome.gpuFailure);
    return note;
}

// Makes sure the model (and in song mode the voice detector) is installed, reads the sound (song
// mode: the vocal pulled out of the music), and runs whisper-cli with the time-left text.
WhisperRun whisperWords(const Request& request, bool song, const std::optional<QString>& prompt,
                        const Services& services, const Status& status,
                        const DownloadQuestion& askDownload, std::stop_token stop) {
    const WhisperModel model = WhisperModel::byID(request.modelID);
    const std::optional<WhisperDevices::Device> gpu = whisperDevice(request);
    QList<WhisperModel> needed{model};
    if (song)
        needed.append(WhisperModel::voiceDetector());
    const QString folder = WhisperModels::folder();
    QList<WhisperModel> missing;
    for (const WhisperModel& record : needed)
        if (!WhisperModels::isInstalled(record, folder))
            missing.append(record);
    if (!missing.isEmpty()) {
        const QString message =
            QStringLiteral("%1 (%2) is downloaded once and kept on this computer. After that, "
                           "transcription is free and works offline — your sound never leaves "
                           "the computer.\n\nYou can pick the smaller Fast model in Settings "
                           "(Ctrl+,).")
                .arg(model.name, WhisperModels::byteCount(model.bytes));
        if (!askDownload(QStringLiteral("Download the Whisper model?"), message))
            throw BCCancelled{};
        status(QStringLiteral("Downloading %1…").arg(model.name), 0.0);
        services.models.ensureFromWorker(
            missing, stop,
            [status](double fraction, const QString& text) { status(text, fraction); });
    }
    checkStop(stop);

    std::vector<float> samples;
    if (!song) {
        const QString reading = QStringLiteral("Reading the sound track…");
        status(reading, 0.0);
        samples = BCAudio::monoSamples(
            request.asset, 16000, 21600, [&](double f) { status(reading, 0.1 * f); }, stop);
    } else {
        const QString reading = QStringLiteral("Song mode: reading the sound track…");
        status(reading, 0.0);
        const QString pulling = QStringLiteral("Song mode: pulling the vocal out of the music…");
        // Reading and isolating run together; the noise gate is the second pass over the sound.
        samples = VocalIsolator::songVocal(
                      request.asset, [&](double f) { status(reading, 0.08 * f); },
                      [&](double) { status(pulling, 0.08); }, stop)
                      .takeSamples();
    }
    if (samples.size() < kShortest)
        throw BCError(QStringLiteral("The sound track is too short to transcribe."));
    checkStop(stop);

    const auto started = std::chrono::steady_clock::now();
    const auto elapsed = [started] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    const QString listening =
        QStringLiteral("Whisper is listening on this computer (%1)…").arg(shortName(model.name));
    status(listening, 0.1);
    const WhisperEngine::Options options{model, request.language, song, prompt, gpu};
    WhisperRun run;
    run.words = WhisperEngine::transcribe(
        samples, options, true, stop,
        [&](double f) {
            const double fraction = std::clamp(f, 0.0, 1.0);
            status(timeLeftText(fraction, elapsed()).value_or(listening), 0.1 + 0.9 * fraction);
        },
        &run.outcome);
    run.speed = elapsed() / std::max(double(samples.size()) / 16000.0, 1.0);
    run.samples = std::move(samples);
    return run;
}

Result whisper(const Request& request, const Services& services, const Status& status,
               const DownloadQuestion& askDownload, std::stop_token stop) {
    const WhisperRun run =
        whisperWords(request, request.song, std::nullopt, services, status, askDownload, stop);
    checkStop(stop);
    Captions made = WhisperEngine::captions(run.words, run.samples, request.rules, request.song,
                                            request.markSpeakers);
    const QString note = madeCaptionsNote(made.size(), whisperPhrase(request.song, run.outcome.gpu),
                                          request.hadPrevious);
    return {made, withFallback(note, run.outcome), run.speed};
}

Result lyrics(const Request& request, const Services& services, const Status& status,
              const DownloadQuestion& askDownload, std::stop_token stop) {
    const LyricAlign::Lyrics kept = LyricAlign::lyricWords(*request.lyrics);
    const WhisperRun run =
        whisperWords(request, true, kept.lines.join(u' '), services, status, askDownload, stop);
    checkStop(stop);
    // The match runs here, off the main thread, and stops with the job.
    const LyricAlign::Result aligned =
        LyricAlign::align(*request.lyrics, run.words, request.duration, request.rules, stop);
    return {aligned.captions,
            withFallback(alignedNote(aligned.captions.size(), aligned.matched, aligned.total),
                         run.outcome),
            run.speed};
}

// The recogniser's notes, with the time left once the parts heard so far tell it: the pace is
// taken from the recognition alone (from the first part on), as reading the sound is far quicker.
Result offline(const Request& request, const Status& status, std::stop_token stop) {
    std::optional<std::chrono::steady_clock::time_point> listening;
    const auto report = [&](const Transcriber::Progress& p) {
        if (p.chunk == 0 || p.fraction >= 1.0) {
            status(p.note, p.fraction);
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!listening)
            listening = now;
        const double elapsed = std::chrono::duration<double>(now - *listening).count();
        const double heard = (p.fraction - 0.1) / 0.9; // the recognition's own share
        status(timeLeftText(heard, elapsed, p.note).value_or(p.note), p.fraction);
    };
    const Transcriber::Result heard = Transcriber::transcribe(request.asset, request.language,
                                                              request.preferOnDevice, report, stop);
    checkStop(stop);
    Captions made = CaptionMath::group(heard.words, request.rules);
    const QString phrase =
        heard.onDevice ? QStringLiteral(" on this computer")
                       : QStringLiteral(" with the speech service (on-device recognition isn't "
                                        "available for this language here)");
    return {made, madeCaptionsNote(made.size(), phrase, request.hadPrevious), std::nullopt};
}

// The sound as a 16 000 Hz WAV in a private folder (removed on every way out), uploaded with
// the key from the keyring.
Result scribe(const Request& request, const QString& key, const Status& status,
              std::stop_token stop) {
    const QString preparing = QStringLiteral("Preparing the sound for ElevenLabs Scribe…");
    status(preparing, 0.0);
    // The user's speech: readable by this user only from its first byte, gone on every way out.
    const QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/brct-lw-scribe-XXXXXX"));
    if (!folder.isValid())
        throw BCError(QStringLiteral("The sound couldn't be prepared for ElevenLabs Scribe."),
                      folder.errorString());
    const QString wav = folder.filePath(QStringLiteral("speech.wav"));
    const uint64_t written = BCAudio::writeMonoWAV(
        request.asset.path, 16000, 21600, wav, [&](double f) { status(preparing, 0.15 * f); },
        stop);
    if (written == 0)
        throw BCError(QStringLiteral("The sound track is too short to transcribe."));
    checkStop(stop);

    status(QStringLiteral("ElevenLabs Scribe is transcribing (uploading and listening)…"),
           std::nullopt);
    const ELClient client(key);
    const TimedWords words = client.transcribe(wav, request.scribeModel, request.language, stop);
    checkStop(stop);
    Captions made = CaptionMath::group(words, request.rules, {}, false);
    return {made,
            madeCaptionsNote(made.size(), QStringLiteral(" with ElevenLabs Scribe"),
                             request.hadPrevious),
            std::nullopt};
}

// The stored key, read from a worker; nothing when none is stored (or, for the window, when
// the keyring can't be read: the job then goes on with Whisper).
std::optional<QString> scribeKey(const Request& request, const Services& services,
                                 const Status& status, std::stop_token stop) {
    if (!services.keys) {
        if (request.scribeFallsBackToWhisper)
            return std::nullopt;
        throw ELError::noKey();
    }
    status(QStringLiteral("Reading the API key from the keyring…"), std::nullopt);
    if (!request.scribeFallsBackToWhisper)
        return services.keys->keyForJob(stop, services.keyLimit);
    const ELKeyStore::Answer answer = services.keys->readNow(stop, services.keyLimit);
    checkStop(stop);
    return answer.key;
}

} // namespace

Result run(const Request& request, const Services& services, const Status& status,
           const DownloadQuestion& askDownload, const Notice& notice, std::stop_token stop) {
    Result result;
    if (request.lyrics) {
        result = lyrics(request, services, status, askDownload, stop);
    } else if (request.engine == LWEngine::offline) {
        result = offline(request, status, stop);
    } else if (request.engine == LWEngine::scribe) {
        const std::optional<QString> key = scribeKey(request, services, status, stop);
        if (key) {
            result = scribe(request, *key, status, stop);
        } else {
            if (notice)
                notice(noKeySentence());
            result = whisper(request, services, status, askDownload, stop);
        }
    } else {
        result = whisper(request, services, status, askDownload, stop);
    }
    checkStop(stop);
    result.captions = clampedToFile(std::move(result.captions), request.duration);
    return result;
}

LWEngine engineFromPreference(const QString& raw) {
    if (raw == QStringLiteral("apple"))
        return LWEngine::offline;
    if (raw == QStringLiteral("elevenlabs"))
        return LWEngine::scribe;
    return LWEngine::whisper;
}

QString noKeySentence() {
    return QStringLiteral("No ElevenLabs key is set, so the free Whisper engine on this computer "
                          "is used. Add your key in Settings (Ctrl+,).");
}

std::optional<WhisperDevices::Device> whisperDevice(const Request& request) {
    const QList<WhisperDevices::Device>& devices =
        request.devices ? *request.devices : WhisperDevices::found();
    const bool acceptCpu = WhisperDevices::acceptCpuFromEnvironment();
    const bool installed = WhisperEngine::cliURL(true).has_value();
    const std::optional<WhisperDevices::Device> gpu =
        WhisperDevices::choose(request.device, request.useGPU, devices, acceptCpu, installed);
    if (!gpu && request.device == WhisperDevices::Want::gpu)
        throw BCError(WhisperDevices::noGpuSentence(devices, acceptCpu, installed));
    return gpu;
}

QString whisperPhrase(bool song, const std::optional<WhisperDevices::Device>& gpu) {
    const QString device =
        gpu ? QStringLiteral("graphics card: %1").arg(gpu->name) : QStringLiteral("processor");
    return QStringLiteral(" with Whisper on this computer (%1%2)")
        .arg(song ? QStringLiteral("Song mode, ") : QString(), device);
}

QString madeCaptionsNote(qsizetype count, const QString& enginePhrase, bool hadPrevious) {
    if (count == 0)
        return QStringLiteral("No speech was found in this file.");
    QString note = QStringLiteral("Made %1 captions%2. Check names and spellings before exporting.")
                       .arg(count)
                       .arg(enginePhrase);
    if (hadPrevious)
        note += QStringLiteral(" Previous captions: Captions > Restore Previous Captions.");
    return note;
}

QString alignedNote(qsizetype captions, int matched, int total) {
    const long long percent = total > 0 ? (long long)matched * 100 / total : 0;
    return QStringLiteral("Lined up %1 lyric captions (%2% of the words were heard; the rest "
                          "were timed between them). Words are exactly as pasted — nudge any "
                          "timing with [ and ] or the ± buttons.")
        .arg(captions)
        .arg(percent);
}

std::optional<QString> timeLeftText(double fraction, double elapsed, const QString& doing) {
    if (!(fraction > 0.05))
        return std::nullopt;
    const double minutes = std::floor((elapsed / fraction - elapsed) / 60.0 + 0.5);
    const long long shown = std::max(1LL, std::isfinite(minutes) ? (long long)minutes : 1LL);
    return doing + QStringLiteral(" about %1 min left").arg(shown);
}

std::optional<QString> timeLeftText(double fraction, double elapsed) {
    return timeLeftText(fraction, elapsed,
                        QStringLiteral("Whisper is listening on this computer…"));
}

Captions clampedToFile(Captions captions, double duration) {
    for (Caption& c : captions)
        c.end = std::min(c.end, std::max(c.start + 0.1, duration));
    return captions;
}

} // namespace LWTranscription
