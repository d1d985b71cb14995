// Transcription as a job: the engine choice, the Whisper step with its model download, song
// mode's vocal isolation, the offline recogniser, the Paste Lyrics alignment, and the captions
// that replace the list at the end.
#include "BCAudio.h"
#include "BCError.h"
#include "CaptionMath.h"
#include "ELClient.h"
#include "ELSettings.h"
#include "LWDefaults.h"
#include "LWStore.h"
#include "LyricAlign.h"
#include "Transcriber.h"
#include "VocalIsolator.h"
#include "WhisperEngine.h"
#include "WhisperModels.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QUuid>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

const QString kStopped = QStringLiteral("Transcription stopped.");

// A third of a second at 16 000 samples per second.
constexpr size_t kShortest = 5334;

// The part of a model's name after its last " — ", or the whole name.
QString shortName(const QString& name) {
    const QString dash = QStringLiteral(" — ");
    const qsizetype at = name.lastIndexOf(dash);
    return at < 0 ? name : name.mid(at + dash.size());
}

// Asks the download question on the main thread while the job's worker waits for the answer.
// The wait also ends when the job is stopped (the store going away stops it), so a question that
// never gets asked, as when the application quits first, cannot hold the worker.
LWStore::DownloadQuestion askOnMainThread(const QPointer<LWStore>& self, std::stop_token stop) {
    return [self, stop](const QString& title, const QString& message) {
        struct Answer {
            std::mutex lock;
            std::condition_variable given;
            std::optional<bool> download;
        };
        const auto answer = std::make_shared<Answer>();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, title, message, answer] {
                const bool download =
                    self && self->hooks().question(
                                title, message,
                                {QStringLiteral("Download"), QStringLiteral("Cancel")}) == 0;
                const std::lock_guard hold(answer->lock);
                answer->download = download;
                answer->given.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock hold(answer->lock);
        while (!answer->download) {
            if (stop.stop_requested())
                throw BCCancelled{};
            answer->given.wait_for(hold, std::chrono::milliseconds(50));
        }
        return *answer->download;
    };
}

} // namespace

std::optional<QString> LWStore::timeLeftText(double fraction, double elapsed) {
    if (!(fraction > 0.05))
        return std::nullopt;
    const double minutes = std::floor((elapsed / fraction - elapsed) / 60.0 + 0.5);
    const long long shown = std::max(1LL, std::isfinite(minutes) ? (long long)minutes : 1LL);
    return QStringLiteral("Whisper is listening on this computer… about %1 min left").arg(shown);
}

LWStore::WhisperRun
LWStore::whisperWords(const BCAsset& asset, bool song, const std::optional<QString>& prompt,
                      const QString& language, const QString& modelID, const JobStatus& status,
                      const DownloadQuestion& askDownload, std::stop_token stop) {
    const WhisperModel model = WhisperModel::byID(modelID);
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
        WhisperModels::shared().ensureFromWorker(
            missing, stop,
            [status](double fraction, const QString& text) { status(text, fraction); });
    }
    if (stop.stop_requested())
        throw BCCancelled{};

    std::vector<float> samples;
    if (!song) {
        const QString reading = QStringLiteral("Reading the sound track…");
        status(reading, 0.0);
        samples = BCAudio::monoSamples(
            asset, 16000, 21600, [&](double f) { status(reading, 0.1 * f); }, stop);
    } else {
        const QString reading = QStringLiteral("Song mode: reading the sound track…");
        status(reading, 0.0);
        const VocalIsolator::Channels channels = VocalIsolator::stereoSamples(
            asset, [&](double f) { status(reading, 0.08 * f); }, stop);
        status(QStringLiteral("Song mode: pulling the vocal out of the music…"), 0.08);
        const std::vector<float> centre =
            VocalIsolator::isolate(channels.left, channels.right, 120, 6000, 8, {}, stop);
        samples = VocalIsolator::denoise(centre, 1.6f, 0.12f, {}, stop);
    }
    if (samples.size() < kShortest)
        throw BCError(QStringLiteral("The sound track is too short to transcribe."));
    if (stop.stop_requested())
        throw BCCancelled{};

    const auto started = std::chrono::steady_clock::now();
    const auto elapsed = [started] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };
    status(QStringLiteral("Whisper is listening on this computer (%1)…").arg(shortName(model.name)),
           0.1);
    WhisperEngine::Options options{model, language, song, prompt};
    WhisperRun run;
    run.words = WhisperEngine::transcribe(samples, options, true, stop, [&](double f) {
        const double fraction = std::clamp(f, 0.0, 1.0);
        const auto left = timeLeftText(fraction, elapsed());
        status(left.value_or(QStringLiteral("Whisper is listening on this computer (%1)…")
                                 .arg(shortName(model.name))),
               0.1 + 0.9 * fraction);
    });
    run.speed = elapsed() / std::max(double(samples.size()) / 16000.0, 1.0);
    run.samples = std::move(samples);
    return run;
}

Captions LWStore::whisperCaptions(const WhisperRun& run, double duration,
                                  const CaptionMath::Rules& rules, bool song, bool markSpeakers) {
    Captions made = WhisperEngine::captions(run.words, run.samples, rules, song, markSpeakers);
    for (Caption& c : made)
        c.end = std::min(c.end, std::max(c.start + 0.1, duration));
    return made;
}

QString LWStore::transcribedNote(qsizetype count, bool song, bool hadPrevious) {
    return madeCaptionsNote(count,
                            song ? QStringLiteral(" with Whisper on this computer (Song mode)")
                                 : QStringLiteral(" with Whisper on this computer"),
                            hadPrevious);
}

QString LWStore::madeCaptionsNote(qsizetype count, const QString& enginePhrase, bool hadPrevious) {
    if (count == 0)
        return QStringLiteral("No speech was found in this file.");
    QString note = QStringLiteral("Made %1 captions%2. Check names and spellings before exporting.")
                       .arg(count)
                       .arg(enginePhrase);
    if (hadPrevious)
        note += QStringLiteral(" Previous captions: Captions > Restore Previous Captions.");
    return note;
}

QString LWStore::speechPhrase(bool onDevice) {
    return onDevice ? QStringLiteral(" on this computer")
                    : QStringLiteral(" with the speech service (on-device recognition isn't "
                                     "available for this language here)");
}

Captions LWStore::speechCaptions(const TimedWords& words, double duration,
                                 const CaptionMath::Rules& rules) {
    Captions made = CaptionMath::group(words, rules);
    for (Caption& c : made)
        c.end = std::min(c.end, std::max(c.start + 0.1, duration));
    return made;
}

QString LWStore::alignedNote(qsizetype captions, int matched, int total) {
    const long long percent = total > 0 ? (long long)matched * 100 / total : 0;
    return QStringLiteral("Lined up %1 lyric captions (%2% of the words were heard; the rest "
                          "were timed between them). Words are exactly as pasted — nudge any "
                          "timing with [ and ] or the ± buttons.")
        .arg(captions)
        .arg(percent);
}

void LWStore::alignLyrics(const QString& text) {
    if (!m_media) {
        chooseFile();
        return;
    }
    if (!m_media->hasAudio) {
        m_hooks.alert(QStringLiteral("No sound track"),
                      QStringLiteral("This file has no audio to align the lyrics to."));
        return;
    }
    if (isBusy()) {
        m_hooks.beep();
        return;
    }
    const LyricAlign::Lyrics lyrics = LyricAlign::lyricWords(text);
    if (lyrics.words.isEmpty()) {
        m_hooks.alert(QStringLiteral("No lyrics"),
                      QStringLiteral("Paste the song's lyrics first (one line per caption)."));
        return;
    }
    if (m_work)
        m_work->cancel();
    const Captions previous = m_captions;
    const BCOpenedMedia media = *m_media;
    const CaptionMath::Rules rules = m_rules;
    const QString language = m_language;
    const QString modelID = WhisperModels::shared().modelID();
    const QString prompt = lyrics.lines.join(u' ');

    LWJobSpec plan;
    plan.status = QStringLiteral("Getting ready…");
    plan.progress = 0.0;
    plan.errorTitle = QStringLiteral("Lyrics couldn't be lined up");
    plan.stoppedNote = QStringLiteral("Lyric alignment stopped.");
    const QPointer<LWStore> self(this);
    plan.body = [self, text, previous, media, rules, language, modelID,
                 prompt](const LWJobContext& job) -> std::function<void()> {
        const std::stop_token stop = job.stopToken();
        const WhisperRun run = whisperWords(
            media.asset, true, prompt, language, modelID,
            [&job](const QString& status, std::optional<double> f) { job.status(status, f); },
            askOnMainThread(self, stop), stop);
        job.checkStop();
        // The match runs here, off the main thread, and stops with the job.
        const LyricAlign::Result result =
            LyricAlign::align(text, run.words, media.duration, rules, stop);
        job.checkStop();
        return [self, result, previous, speed = run.speed] {
            if (!self)
                return;
            self->setLastWhisperSpeed(speed);
            if (!previous.isEmpty())
                self->setPreviousCaptions(previous);
            self->setCaptions(result.captions);
            self->setNote(alignedNote(result.captions.size(), result.matched, result.total));
        };
    };
    startJob(std::move(plan));
}

void LWStore::transcribe() {
    if (!m_media) {
        chooseFile();
        return;
    }
    if (!m_media->hasAudio) {
        m_hooks.alert(QStringLiteral("No sound track"),
                      QStringLiteral("This file has no audio to transcribe."));
        return;
    }
    if (isBusy()) {
        m_hooks.beep();
        return;
    }
    if (!m_captions.isEmpty()) {
        const int answer = m_hooks.question(
            QStringLiteral("Replace your %1 captions?").arg(m_captions.size()),
            QStringLiteral("Transcribing makes a new set of captions for the whole file and "
                           "replaces the current ones, including any edits you made.\n\nYour "
                           "current captions are kept as a backup: Captions > Restore Previous "
                           "Captions brings them back."),
            {QStringLiteral("Replace"), QStringLiteral("Cancel")});
        if (answer != 0)
            return;
    }
    // The cloud engine needs a key (without one Whisper stands in, with a note); "apple" is the
    // offline recogniser; anything else is Whisper.
    const ELSettings& el = ELSettings::shared();
    const bool scribe = el.engine() == ELSettings::Engine::elevenlabs && el.hasKey();
    if (el.engine() == ELSettings::Engine::elevenlabs && !el.hasKey())
        setNote(QStringLiteral("No ElevenLabs key is set, so the free Whisper engine on this "
                               "computer is used. Add your key in Settings (Ctrl+,)."));
    const QString scribeModel = el.scribeModel();
    const bool speech = el.engine() == ELSettings::Engine::apple;
    const bool preferOnDevice = m_preferOnDevice;

    const bool song = m_songMode;
    const Captions previous = m_captions;
    const QString language = m_language;
    const QString modelID = WhisperModels::shared().modelID();
    const BCOpenedMedia media = *m_media;
    const CaptionMath::Rules rules = m_rules;
    const bool markSpeakers = m_markSpeakers;
    if (m_work)
        m_work->cancel();

    LWJobSpec plan;
    plan.status = QStringLiteral("Reading the sound track…");
    plan.progress = 0.0;
    plan.errorTitle = QStringLiteral("Transcription didn't finish");
    plan.stoppedNote = kStopped;
    const QPointer<LWStore> self(this);
    if (scribe) {
        plan.body = scribeJob(media, scribeModel, language, rules, previous);
        startJob(std::move(plan));
        return;
    }
    plan.body = [self, song, previous, language, modelID, media, rules, markSpeakers, speech,
                 preferOnDevice](const LWJobContext& job) -> std::function<void()> {
        // The question is asked on the main thread while this worker waits for the answer. The
        // wait also ends when the job is stopped (the store going away stops it), so a question
        // that never gets asked, as when the application quits first, cannot hold the worker.
        const std::stop_token stop = job.stopToken();
        if (speech) {
            const Transcriber::Result heard = Transcriber::transcribe(
                media.asset, language, preferOnDevice,
                [&job](const Transcriber::Progress& p) { job.status(p.note, p.fraction); }, stop);
            job.checkStop();
            const Captions made = speechCaptions(heard.words, media.duration, rules);
            return [self, made, previous, phrase = speechPhrase(heard.onDevice)] {
                if (!self)
                    return;
                if (!previous.isEmpty())
                    self->setPreviousCaptions(previous);
                self->setCaptions(made);
                self->setNote(madeCaptionsNote(made.size(), phrase, !previous.isEmpty()));
            };
        }
        const DownloadQuestion ask = askOnMainThread(self, stop);
        const WhisperRun run = whisperWords(
            media.asset, song, std::nullopt, language, modelID,
            [&job](const QString& text, std::optional<double> f) { job.status(text, f); }, ask,
            job.stopToken());
        job.checkStop();
        const Captions made = whisperCaptions(run, media.duration, rules, song, markSpeakers);
        job.checkStop();
        return [self, made, previous, song, speed = run.speed] {
            if (!self)
                return;
            self->setLastWhisperSpeed(speed);
            if (!previous.isEmpty())
                self->setPreviousCaptions(previous);
            self->setCaptions(made);
            self->setNote(transcribedNote(made.size(), song, !previous.isEmpty()));
        };
    };
    startJob(std::move(plan));
}

// --- The ElevenLabs Scribe branch ---

TimedWords LWStore::scribeWords(const BCAsset& asset, const QString& model, const QString& language,
                                const JobStatus& status, ELKeyStore& keys, std::stop_token stop) {
    const QString preparing = QStringLiteral("Preparing the sound for ElevenLabs Scribe…");
    status(preparing, 0.0);
    const QString wav = QDir(QDir::tempPath())
                            .filePath(QStringLiteral("brct-lw-scribe-%1.wav")
                                          .arg(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    // The user's speech: gone on every way out, the failed write included.
    struct Removal {
        QString path;
        ~Removal() { QFile::remove(path); }
    } removal{wav};
    const uint64_t written = BCAudio::writeMonoWAV(
        asset.path, 16000, 21600, wav, [&](double f) { status(preparing, 0.15 * f); }, stop);
    if (written == 0)
        throw BCError(QStringLiteral("The sound track is too short to transcribe."));
    QFile::setPermissions(wav, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (stop.stop_requested())
        throw BCCancelled{};

    status(QStringLiteral("ElevenLabs Scribe is transcribing (uploading and listening)…"),
           std::nullopt);
    const ELClient client(keys.keyForJob(stop));
    return client.transcribe(wav, model, language, stop);
}

std::function<std::function<void()>(const LWJobContext&)>
LWStore::scribeJob(const BCOpenedMedia& media, const QString& model, const QString& language,
                   const CaptionMath::Rules& rules, const Captions& previous) {
    const QPointer<LWStore> self(this);
    return [self, media, model, language, rules, previous,
            keys = &ELSettings::shared().keys()](const LWJobContext& job) -> std::function<void()> {
        const TimedWords words = scribeWords(
            media.asset, model, language,
            [&job](const QString& text, std::optional<double> f) { job.status(text, f); }, *keys,
            job.stopToken());
        job.checkStop();
        Captions made = CaptionMath::group(words, rules, {}, false);
        for (Caption& c : made)
            c.end = std::min(c.end, std::max(c.start + 0.1, media.duration));
        job.checkStop();
        return [self, made, previous] {
            if (!self)
                return;
            if (!previous.isEmpty())
                self->setPreviousCaptions(previous);
            self->setCaptions(made);
            self->setNote(madeCaptionsNote(made.size(), QStringLiteral(" with ElevenLabs Scribe"),
                                           !previous.isEmpty()));
        };
    };
}
