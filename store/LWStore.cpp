#include "LWStore.h"

#include "BCError.h"
#include "BCPreferences.h"
#include "BCSavePlace.h"
#include "CaptionEditing.h"
#include "CaptionMath.h"
#include "LWProject.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

QString fileName(const QString& path) {
    return QFileInfo(path).fileName();
}

} // namespace

LWStore::LWStore(LWUiHooks& hooks, LWServices services, QString systemLocale, QObject* parent)
    : QObject(parent), m_hooks(hooks), m_services(services) {
    const BCPreferences& stored = m_services.preferences;
    showError = [this](const QString& title, const QString& message) {
        m_hooks.alert(title, message);
    };

    if (stored.contains(BCPref::language)) {
        m_language = stored.value(BCPref::language).toString();
    } else {
        const QString dashed = QString(systemLocale).replace(u'_', u'-');
        // The "C" and "POSIX" locales of servers and containers name no language; they count as
        // English rather than asking the recogniser for a language called "c".
        const bool english = dashed.startsWith(QStringLiteral("en")) || dashed == u'C' ||
                             dashed.startsWith(QStringLiteral("C.")) ||
                             dashed == QStringLiteral("POSIX");
        m_language = english ? QStringLiteral("en-US") : systemLocale;
    }
    if (const QJsonObject limits =
            QJsonDocument::fromJson(stored.value(BCPref::checkLimits).toString().toUtf8()).object();
        !limits.isEmpty()) {
        const CaptionChecks::Limits defaults;
        CaptionChecks::Limits read;
        read.maxCharsPerSecond =
            limits.value(QStringLiteral("maxCps")).toDouble(defaults.maxCharsPerSecond);
        read.maxDuration =
            limits.value(QStringLiteral("maxDuration")).toDouble(defaults.maxDuration);
        read.minGap = limits.value(QStringLiteral("minGap")).toDouble(defaults.minGap);
        read.minConfidence =
            limits.value(QStringLiteral("minConfidence")).toDouble(defaults.minConfidence);
        adoptLimits(read);
    }
    connect(this, &LWStore::captionsChanged, this, [this] { refreshProblems(false); });
    m_spelling.setLanguage(m_language);
    connect(&m_spelling, &LWSpelling::failed, this, &LWStore::setNote);
    connect(this, &LWStore::rulesChanged, this, [this] { refreshProblems(true); });
    m_sidecars = stored.flag(BCPref::sidecars, true);
    m_markSpeakers = stored.flag(BCPref::markSpeakers, true);
    m_songMode = stored.flag(BCPref::songMode, false);

    m_clock.setInterval(1000 / 30);
    connect(&m_clock, &QTimer::timeout, this, &LWStore::tick);
    m_clock.start();

    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(800);
    connect(&m_saveTimer, &QTimer::timeout, this, &LWStore::autosave);

    const QJsonDocument look = QJsonDocument::fromJson(stored.value(BCPref::style).toByteArray());
    if (const auto style = CaptionStyle::fromJson(look.object())) {
        m_style = *style;
        saveStyle();
    }
}

LWStore::~LWStore() {
    flushAutosave(); // an edit made just before quitting is not lost
    // Every wait inside a job hears its stop token, so the jobs end (their child processes
    // terminated, their partial files removed) before the store and its services go.
    m_jobs.stopAll();
}

QString LWStore::defaultLocaleName() {
    return QLocale::system().name();
}

// --- Document ---

void LWStore::setMedia(std::optional<BCOpenedMedia> media) {
    m_media = std::move(media);
    m_projectPath = m_media ? LWProject::fileFor(m_media->original.toLocalFile()) : QString();
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
    // An edit keeps the recogniser's marks on the words it left alone.
    const Captions old =
        std::exchange(m_captions, CaptionMath::carryConfidence(m_captions, captions));
    emit captionsChanged();
    scheduleAutosave();
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

void LWStore::setStyle(const CaptionStyle& style) {
    const bool changed = !(m_style == style);
    m_style = style;
    saveStyle();
    if (changed)
        emit styleChanged();
}

void LWStore::saveStyle() {
    m_services.preferences.setValue(BCPref::style,
                                    QJsonDocument(m_style.toJson()).toJson(QJsonDocument::Compact));
}

void LWStore::setRules(const CaptionMath::Rules& rules) {
    if (m_rules == rules)
        return;
    m_rules = rules;
    emit rulesChanged();
}

void LWStore::setPeaks(QList<float> peaks, double start, double seconds) {
    m_peaks = std::move(peaks);
    m_peaksStart = std::isfinite(start) ? std::max(start, 0.0) : 0.0;
    m_peaksSeconds = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    emit peaksChanged();
}

double LWStore::peaksSeconds() const {
    if (m_peaksSeconds > 0)
        return m_peaksSeconds;
    return m_media && std::isfinite(m_media->duration) ? std::max(m_media->duration, 0.0) : 0.0;
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

bool LWStore::startJob(LWJobSpec plan) {
    if (plan.refuseWhileBusy && isBusy()) {
        m_hooks.beep();
        return false;
    }
    auto state = std::make_shared<LWJobState>();
    state->store = this;
    m_work = std::make_shared<LWJob>(state);
    setBusy(plan.status);
    setProgress(plan.progress);

    auto shared = std::make_shared<LWJobSpec>(std::move(plan));
    m_jobs.start(
        shared->errorTitle.isEmpty() ? shared->status : shared->errorTitle, state->stop,
        [state, shared](std::stop_token) { return shared->body(LWJobContext(state)); },
        QCoreApplication::instance(),
        [state, shared](const LWJobRunner::Outcome& outcome) {
            state->ended = true;
            if (LWStore* store = state->store)
                store->finishJob(state, *shared, outcome.apply, outcome.error);
        });
    return true;
}

void LWStore::finishJob(const std::shared_ptr<LWJobState>& state, const LWJobSpec& plan,
                        const std::function<void()>& apply, const std::optional<QString>& error) {
    setBusy(QString());
    setProgress(std::nullopt);

    const bool stopped =
        (!apply && !error) || (state->stop.stop_requested() && !(plan.resultOutlivesStop && apply));
    if (stopped) {
        if (plan.stoppedNote)
            setNote(*plan.stoppedNote);
    } else if (error) {
        if (plan.onError)
            plan.onError(*error);
        else
            showError(plan.errorTitle, *error);
    } else {
        apply();
    }
    if (plan.forgetWorkAtEnd)
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
    m_services.preferences.setValue(BCPref::language, language);
    m_spelling.setLanguage(language);
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
    m_services.preferences.setValue(BCPref::sidecars, on);
    emit sidecarsChanged();
}

void LWStore::setSongMode(bool on) {
    if (m_songMode == on)
        return;
    m_songMode = on;
    m_services.preferences.setValue(BCPref::songMode, on);
    emit songModeChanged();
}

void LWStore::setMarkSpeakers(bool on) {
    if (m_markSpeakers == on)
        return;
    m_markSpeakers = on;
    m_services.preferences.setValue(BCPref::markSpeakers, on);
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
    const auto path =
        m_hooks.openPanel({.title = {},
                           .message = QStringLiteral(
                               "Choose a caption file to import (SRT, VTT, ASS, SSA, TTML, SBV)"),
                           .extensions = LWFormats::captionExts()});
    if (path)
        importCaptions(*path);
}

void LWStore::importCaptions(const QString& path) {
    const QString name = fileName(path);
    const auto text = LWFormats::readText(path);
    if (!text) {
        m_hooks.alert(QStringLiteral("Can't read that file"), name);
        return;
    }
    const Captions found = CaptionMath::parseAnyCaptions(*text);
    if (found.isEmpty()) {
        m_hooks.alert(QStringLiteral("No captions found"), LWFormats::noCaptionsSentence(name));
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
    BCSavePlace::prepare(panel, m_services.preferences);
    const auto path = m_hooks.savePanel(panel);
    if (!path)
        return;
    BCSavePlace::remember(*path, m_services.preferences);
    try {
        const LWFormats::Look look{.style = m_style,
                                   .picture = m_media ? m_media->naturalSize : QSize(),
                                   .language = m_language};
        LWFormats::writeAtomically(*path,
                                   LWFormats::text(kind, m_captions, timestamps, look).toUtf8());
    } catch (const BCError& e) {
        m_hooks.alert(QStringLiteral("Couldn't save"), e.message());
        return;
    }
    setNote(QStringLiteral("Saved %1.").arg(fileName(*path)));
    m_hooks.reveal(*path);
}
