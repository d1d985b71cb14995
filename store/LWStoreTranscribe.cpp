// Transcription and Paste Lyrics as jobs of the store: the questions asked first, the request
// made from the document and the preferences, and the captions that replace the list at the end.
#include "BCError.h"
#include "ELSettings.h"
#include "LWStore.h"
#include "LWTranscription.h"
#include "LyricAlign.h"
#include "WhisperModels.h"

#include <QCoreApplication>
#include <QPointer>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

// Asks the download question on the main thread while the job's worker waits for the answer.
// The wait also ends when the job is stopped (the store going away stops it), so a question that
// never gets asked, as when the application quits first, cannot hold the worker.
LWTranscription::DownloadQuestion askOnMainThread(const QPointer<LWStore>& self,
                                                  std::stop_token stop) {
    return [self, stop](const QString& title, const QString& message) {
        struct Answer {
            std::mutex lock;
            std::condition_variable_any given;
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
        if (!answer->given.wait(hold, stop, [&] { return answer->download.has_value(); }))
            throw BCCancelled{};
        return *answer->download;
    };
}

} // namespace

LWTranscription::Request LWStore::transcriptionRequest() const {
    LWTranscription::Request request;
    request.asset = m_media->asset;
    request.duration = m_media->duration;
    request.engine =
        LWTranscription::engineFromPreference(ELSettings::rawValue(m_services.elevenLabs.engine()));
    request.song = m_songMode;
    request.language = m_language;
    request.modelID = m_services.models.modelID();
    request.useGPU = m_services.models.useGPU();
    request.scribeModel = m_services.elevenLabs.scribeModel();
    request.preferOnDevice = m_preferOnDevice;
    request.rules = m_rules;
    request.markSpeakers = m_markSpeakers;
    request.hadPrevious = !m_captions.isEmpty();
    return request;
}

void LWStore::startTranscription(LWTranscription::Request request, LWJobSpec plan) {
    if (m_work)
        m_work->cancel();
    const Captions previous = m_captions;
    const QPointer<LWStore> self(this);
    const LWTranscription::Services services{m_services.models, &m_services.elevenLabs.keys()};
    plan.progress = 0.0;
    plan.body = [self, request, previous,
                 services](const LWJobContext& job) -> std::function<void()> {
        const std::stop_token stop = job.stopToken();
        const LWTranscription::Result result = LWTranscription::run(
            request, services,
            [&job](const QString& text, std::optional<double> f) { job.status(text, f); },
            askOnMainThread(self, stop), [&job](const QString& sentence) { job.notice(sentence); },
            stop);
        return [self, result, previous] {
            if (!self)
                return;
            if (result.speed)
                self->setLastWhisperSpeed(result.speed);
            if (!previous.isEmpty())
                self->setPreviousCaptions(previous);
            self->setCaptions(result.captions);
            self->setNote(result.note);
        };
    };
    startJob(std::move(plan));
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
    if (LyricAlign::lyricWords(text).words.isEmpty()) {
        m_hooks.alert(QStringLiteral("No lyrics"),
                      QStringLiteral("Paste the song's lyrics first (one line per caption)."));
        return;
    }
    LWTranscription::Request request = transcriptionRequest();
    request.engine = LWEngine::whisper;
    request.song = true;
    request.lyrics = text;
    LWJobSpec plan;
    plan.status = QStringLiteral("Getting ready…");
    plan.errorTitle = QStringLiteral("Lyrics couldn't be lined up");
    plan.stoppedNote = QStringLiteral("Lyric alignment stopped.");
    startTranscription(std::move(request), std::move(plan));
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
    LWTranscription::Request request = transcriptionRequest();
    // The cloud engine needs a key. When the keyring has already said there is none, Whisper
    // stands in at once; while its answer is pending, the job waits for it.
    const ELSettings& el = m_services.elevenLabs;
    if (request.engine == LWEngine::scribe && el.keyChecked() && !el.hasKey()) {
        request.engine = LWEngine::whisper;
        setNote(LWTranscription::noKeySentence());
    }
    request.scribeFallsBackToWhisper = !el.keyChecked();
    LWJobSpec plan;
    plan.status = request.engine == LWEngine::scribe
                      ? QStringLiteral("Reading the API key from the keyring…")
                      : QStringLiteral("Reading the sound track…");
    plan.errorTitle = QStringLiteral("Transcription didn't finish");
    plan.stoppedNote = QStringLiteral("Transcription stopped.");
    startTranscription(std::move(request), std::move(plan));
}
