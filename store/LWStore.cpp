#include "LWStore.h"

#include "BCError.h"
#include "BCSavePlace.h"
#include "CaptionMath.h"
#include "LWDefaults.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QThreadPool>
#include <utility>

namespace {

const QString kLanguage = QStringLiteral("lw.language");
const QString kSidecars = QStringLiteral("lw.sidecars");
const QString kSongMode = QStringLiteral("lw.songMode");
const QString kMarkSpeakers = QStringLiteral("lw.markSpeakers");

bool storedBool(const QString& key, bool fallback) {
    return LWDefaults::contains(key) ? LWDefaults::value(key).toBool() : fallback;
}

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

} // namespace

LWStore::LWStore(LWUiHooks& hooks, QString systemLocale, QObject* parent)
    : QObject(parent), m_hooks(hooks) {
    showError = [this](const QString& title, const QString& message) {
        m_hooks.alert(title, message);
    };

    if (LWDefaults::contains(kLanguage)) {
        m_language = LWDefaults::value(kLanguage).toString();
    } else {
        const QString dashed = QString(systemLocale).replace(u'_', u'-');
        m_language =
            dashed.startsWith(QStringLiteral("en")) ? QStringLiteral("en-US") : systemLocale;
    }
    m_sidecars = storedBool(kSidecars, true);
    m_markSpeakers = storedBool(kMarkSpeakers, true);
    m_songMode = storedBool(kSongMode, false);
}

LWStore::~LWStore() {
    if (m_work)
        m_work->cancel();
}

QString LWStore::defaultLocaleName() {
    return QLocale::system().name();
}

// --- Document ---

void LWStore::setMedia(std::optional<BCOpenedMedia> media) {
    m_media = std::move(media);
    emit mediaChanged();
}

void LWStore::setTime(double seconds) {
    if (m_time == seconds)
        return;
    m_time = seconds;
    emit timeChanged();
}

void LWStore::setPlaying(bool playing) {
    if (m_playing == playing)
        return;
    m_playing = playing;
    emit playingChanged();
}

void LWStore::setCaptions(const Captions& captions) {
    const Captions old = std::exchange(m_captions, captions);
    emit captionsChanged();
    m_history.record(old, m_captions);
}

void LWStore::resetHistory() {
    m_history.reset();
    ++m_historyTick;
    emit historyTickChanged();
}

void LWStore::setSelected(std::optional<QUuid> id) {
    if (id && id->isNull())
        id.reset();
    if (m_selected == id)
        return;
    m_selected = id;
    emit selectedChanged();
}

void LWStore::setSelectedId(const QUuid& id) {
    setSelected(id.isNull() ? std::nullopt : std::optional<QUuid>(id));
}

void LWStore::setRules(const CaptionMath::Rules& rules) {
    if (m_rules == rules)
        return;
    m_rules = rules;
    emit rulesChanged();
}

void LWStore::setPeaks(QList<float> peaks) {
    m_peaks = std::move(peaks);
    emit peaksChanged();
}

void LWStore::setPreviousCaptions(std::optional<Captions> previous) {
    m_previousCaptions = std::move(previous);
    emit previousCaptionsChanged();
}

QString LWStore::title() const {
    if (!m_media)
        return QStringLiteral("No file open");
    return fileName(m_media->original.toLocalFile());
}

// --- Job status ---

void LWStore::setBusy(const QString& text) {
    if (m_busy == text)
        return;
    m_busy = text;
    emit busyChanged();
}

void LWStore::setProgress(std::optional<double> fraction) {
    if (m_progress == fraction)
        return;
    m_progress = fraction;
    emit progressChanged();
}

void LWStore::setNote(const QString& note) {
    if (m_note == note)
        return;
    m_note = note;
    emit noteChanged();
}

bool LWStore::startJob(LWJobSpec spec) {
    if (spec.refuseWhileBusy && isBusy()) {
        m_hooks.beep();
        return false;
    }
    auto state = std::make_shared<LWJobState>();
    state->store = this;
    m_work = std::make_shared<LWJob>(state);
    setBusy(spec.status);
    setProgress(spec.progress);

    auto shared = std::make_shared<LWJobSpec>(std::move(spec));
    QThreadPool::globalInstance()->start([state, shared] {
        const LWJobContext context(state);
        std::function<void()> apply;
        std::optional<QString> error;
        try {
            apply = shared->body(context);
        } catch (const BCCancelled&) {
            apply = nullptr;
        } catch (const BCError& e) {
            error = e.message();
        } catch (const std::exception& e) {
            // A fault outside the job's own checks; reported, never swallowed.
            error = QStringLiteral("Something unexpected went wrong (%1).")
                        .arg(QString::fromLocal8Bit(e.what()));
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [state, shared, apply = std::move(apply), error] {
                state->ended = true;
                if (LWStore* store = state->store)
                    store->finishJob(state, *shared, apply, error);
            },
            Qt::QueuedConnection);
    });
    return true;
}

void LWStore::finishJob(const std::shared_ptr<LWJobState>& state, const LWJobSpec& spec,
                        const std::function<void()>& apply, const std::optional<QString>& error) {
    setBusy(QString());
    setProgress(std::nullopt);

    const bool stopped = state->stop.stop_requested() || (!apply && !error);
    if (stopped) {
        if (spec.stoppedNote)
            setNote(*spec.stoppedNote);
    } else if (error) {
        showError(spec.errorTitle, *error);
    } else {
        apply();
    }
    if (spec.forgetWorkAtEnd)
        m_work.reset();
}

void LWStore::cancelWork() {
    if (m_work)
        m_work->cancel();
}

// --- Preferences ---

void LWStore::setLanguage(const QString& language) {
    if (m_language == language)
        return;
    m_language = language;
    LWDefaults::setValue(kLanguage, language);
    emit languageChanged();
}

void LWStore::setPreferOnDevice(bool on) {
    if (m_preferOnDevice == on)
        return;
    m_preferOnDevice = on;
    emit preferOnDeviceChanged();
}

void LWStore::setSidecars(bool on) {
    if (m_sidecars == on)
        return;
    m_sidecars = on;
    LWDefaults::setValue(kSidecars, on);
    emit sidecarsChanged();
}

void LWStore::setSongMode(bool on) {
    if (m_songMode == on)
        return;
    m_songMode = on;
    LWDefaults::setValue(kSongMode, on);
    emit songModeChanged();
}

void LWStore::setMarkSpeakers(bool on) {
    if (m_markSpeakers == on)
        return;
    m_markSpeakers = on;
    LWDefaults::setValue(kMarkSpeakers, on);
    emit markSpeakersChanged();
}

void LWStore::setLyricsDraft(const QString& text) {
    if (m_lyricsDraft == text)
        return;
    m_lyricsDraft = text;
    emit lyricsDraftChanged();
}

void LWStore::setShowLyricsSheet(bool shown) {
    if (m_showLyricsSheet == shown)
        return;
    m_showLyricsSheet = shown;
    emit showLyricsSheetChanged();
}

void LWStore::setLastWhisperSpeed(std::optional<double> speed) {
    if (m_lastWhisperSpeed == speed)
        return;
    m_lastWhisperSpeed = speed;
    emit lastWhisperSpeedChanged();
}

// --- Caption files ---

void LWStore::importSubtitles() {
    const auto path = m_hooks.openPanel(
        {.title = {}, .message = {}, .extensions = {QStringLiteral("srt"), QStringLiteral("vtt")}});
    if (!path)
        return;
    const QString name = fileName(*path);
    const auto text = LWFormats::readText(*path);
    if (!text) {
        m_hooks.alert(QStringLiteral("Can't read that file"), name);
        return;
    }
    const Captions found = CaptionMath::parseSubtitles(*text);
    if (found.isEmpty()) {
        m_hooks.alert(QStringLiteral("No captions found"),
                      QStringLiteral("“%1” doesn't contain SRT or VTT captions.").arg(name));
        return;
    }
    if (!m_captions.isEmpty())
        setPreviousCaptions(m_captions);
    setCaptions(found);
    setNote(QStringLiteral("Imported %1 captions from %2.").arg(found.size()).arg(name));
}

void LWStore::exportText(TextKind kind, bool timestamps) {
    if (m_captions.isEmpty()) {
        m_hooks.alert(QStringLiteral("Nothing to export"),
                      QStringLiteral("Transcribe the file or add captions first."));
        return;
    }
    const QString extension = LWFormats::extension(kind);
    const QString base = m_media ? QFileInfo(m_media->original.toLocalFile()).completeBaseName()
                                 : QStringLiteral("Captions");
    LWUiHooks::SavePanel panel{.title = {},
                               .message = {},
                               .proposedName = base + u'.' + extension,
                               .extensions = {extension},
                               .startFolder = {}};
    BCSavePlace::prepare(panel);
    const auto path = m_hooks.savePanel(panel);
    if (!path)
        return;
    BCSavePlace::remember(*path);
    try {
        LWFormats::writeAtomically(*path, LWFormats::text(kind, m_captions, timestamps).toUtf8());
    } catch (const BCError& e) {
        m_hooks.alert(QStringLiteral("Couldn't save"), e.message());
        return;
    }
    setNote(QStringLiteral("Saved %1.").arg(fileName(*path)));
    m_hooks.reveal(*path);
}
