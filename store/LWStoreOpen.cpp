// Opening a media file as a job, and playback.
#include "BCAudio.h"
#include "BCError.h"
#include "BCMediaOpener.h"
#include "BCPreferences.h"
#include "LWQtPlayer.h"
#include "LWStore.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

LWPlayer& LWStore::player() {
    if (!m_player) {
        m_player = std::make_unique<LWQtPlayer>();
        watchPlayer();
    }
    return *m_player;
}

void LWStore::setPlayer(std::unique_ptr<LWPlayer> player) {
    m_player = std::move(player);
    if (m_player)
        watchPlayer();
}

void LWStore::watchPlayer() {
    connect(m_player.get(), &LWPlayer::loaded, this, [this](bool ok) {
        if (!ok)
            playerCouldNotLoad();
    });
}

void LWStore::playerCouldNotLoad() {
    if (!m_media)
        return;
    const QString original = m_media->original.toLocalFile();
    const QString name = QFileInfo(original).fileName();
    if (m_media->converted || isBusy()) {
        setNote(QStringLiteral("“%1” can't be played on this system, so the picture and sound "
                               "stay blank. It can still be transcribed and exported.")
                    .arg(name));
        return;
    }
    LWJobSpec plan;
    plan.status = QStringLiteral("Converting “%1” so the system can play it…").arg(name);
    plan.progress = 0.0;
    plan.errorTitle = QStringLiteral("Can't play “%1”").arg(name);
    plan.stoppedNote = QStringLiteral("“%1” can't be played on this system until it is converted. "
                                      "It can still be transcribed and exported.")
                           .arg(name);
    plan.body = [this, original](const LWJobContext& job) -> std::function<void()> {
        const BCOpenedMedia copy = BCMediaOpener::convertForPlayback(
            original, [&job](const QString& text, std::optional<double> f) { job.status(text, f); },
            job.stopToken());
        job.checkStop();
        return [this, copy] {
            // Only for the file still open; the captions, waveform and history stay as they are.
            if (!m_media || m_media->original != copy.original)
                return;
            player().pause();
            setMedia(copy);
            player().setSource(copy.playable);
            player().pause();
            player().seek(m_time);
            setNote(copy.note);
        };
    };
    startJob(std::move(plan));
}

void LWStore::chooseFile() {
    LWUiHooks::OpenPanel panel;
    panel.message = QStringLiteral("Choose a video or audio file to caption (MP4, MOV, M4V, "
                                   "MPEG/MPG, MP3, WAV, M4A, AIFF)");
    panel.extensions = LWFormats::exts();
    if (const auto path = m_hooks.openPanel(panel))
        open(*path);
}

namespace {
constexpr qsizetype kRecentFiles = 10;
}

QStringList LWStore::recentFiles() const {
    QStringList files = m_services.preferences.value(BCPref::recentFiles).toStringList();
    files.removeIf([](const QString& file) { return !QFileInfo(file).isFile(); });
    return files.mid(0, kRecentFiles);
}

void LWStore::clearRecentFiles() {
    m_services.preferences.remove(BCPref::recentFiles);
    emit recentFilesChanged();
}

void LWStore::open(const QString& path) {
    if (isBusy() && m_work) {
        m_hooks.beep();
        setNote(QStringLiteral(
            "Wait for the current job to finish (or click Stop) before opening another file."));
        return;
    }
    const QString name = QFileInfo(path).fileName();
    LWJobSpec plan;
    plan.status = QStringLiteral("Opening %1…").arg(name);
    plan.refuseWhileBusy = false; // checked above, with its own note
    plan.forgetWorkAtEnd = true;
    plan.onError = [this, name](const QString& message) {
        const bool wasOpen = m_media.has_value();
        if (wasOpen)
            setNote(QStringLiteral("“%1” couldn't be opened. Your current project is still open.")
                        .arg(name));
        showError(QStringLiteral("Can't open “%1”").arg(name),
                  wasOpen
                      ? message + QStringLiteral("\n\nThe file you were working on is still open.")
                      : message);
    };
    plan.body = [this, path, name](const LWJobContext& job) -> std::function<void()> {
        const BCOpenedMedia media = BCMediaOpener::open(
            path, [&job](const QString& text, std::optional<double> f) { job.status(text, f); },
            job.stopToken());
        job.checkStop();
        QList<float> peaks;
        double soundStart = 0;
        double soundSeconds = 0;
        if (media.hasAudio) {
            job.status(QStringLiteral("Drawing the waveform…"));
            constexpr double rate = 2000; // exactly the rate monoSamples returns
            const std::vector<float> samples =
                BCAudio::monoSamples(media.asset, rate, 21600, {}, job.stopToken());
            if (samples.empty())
                throw BCError(
                    QStringLiteral("The sound track in “%1” is empty or damaged.").arg(name));
            // The bars cover the sound's own span, which may be shorter than the picture or
            // start after it.
            soundSeconds = double(samples.size()) / rate;
            if (!media.asset.audioTracks.empty())
                soundStart = media.asset.audioTracks.front().start;
            const int buckets = int(std::clamp(std::floor(soundSeconds) * 40.0, 200.0, 20000.0));
            const std::vector<float> bars = BCAudio::peaks(samples, buckets);
            peaks = QList<float>(bars.begin(), bars.end());
            job.checkStop();
        }
        return [this, media, peaks, soundStart, soundSeconds] {
            commitOpen(media, peaks, soundStart, soundSeconds);
        };
    };
    startJob(std::move(plan));
}

void LWStore::commitOpen(const BCOpenedMedia& media, const QList<float>& peaks, double soundStart,
                         double soundSeconds) {
    flushAutosave(); // the outgoing file's last edits
    // Captions made without a file (imported or typed) are kept for Restore Previous Captions.
    const std::optional<Captions> kept =
        !m_media && !m_captions.isEmpty() ? std::optional(m_captions) : std::nullopt;

    player().pause();
    setMedia(media);
    player().setSource(media.playable);
    player().pause(); // paused on the new file shows its first picture
    m_time = -1;      // so that the next line notifies
    setTime(0);
    setNote(media.note);
    const auto restored = loadAutosave(media);
    m_history.suspended = true;
    setCaptions(restored.value_or(Captions{}));
    m_history.suspended = false;
    resetHistory();
    setPreviousCaptions(kept);
    setSelected(std::nullopt);
    setPeaks(peaks, soundStart, soundSeconds);
    setPlaying(false);
    if (const QString opened = media.original.toLocalFile(); !opened.isEmpty()) {
        QStringList files = m_services.preferences.value(BCPref::recentFiles).toStringList();
        files.removeAll(opened);
        files.prepend(opened);
        m_services.preferences.setValue(BCPref::recentFiles, files.mid(0, kRecentFiles));
        emit recentFilesChanged();
    }
    if (!media.hasAudio)
        setNote(QStringLiteral("This file has no sound track, so there is nothing to transcribe. "
                               "You can still type captions by hand."));
}

void LWStore::togglePlay() {
    if (!m_media)
        return;
    if (player().rate() != 0) {
        player().pause();
    } else {
        if (m_time >= m_media->duration - 0.05)
            seek(0);
        startPlayer();
    }
    setPlaying(player().rate() != 0);
}

void LWStore::playFrom(double seconds) {
    if (!m_media)
        return;
    seek(seconds);
    startPlayer();
    setPlaying(player().rate() != 0);
}

void LWStore::startPlayer() {
    player().play();
    if (!player().hasSoundOutput() && !m_toldSilent) {
        m_toldSilent = true;
        setNote(QStringLiteral("No sound output was found, so playback is silent."));
    }
}

void LWStore::seek(double seconds) {
    const double d = m_media ? std::max(m_media->duration, 0.0) : 0.0;
    const double t = std::isfinite(seconds) ? std::min(std::max(seconds, 0.0), d) : 0.0;
    setTime(t);
    if (m_player || m_media)
        player().seek(t);
}

void LWStore::tick() {
    if (!m_player || !m_media)
        return;
    const bool running = m_player->rate() != 0;
    // While paused the playhead stays where the last seek put it, even before the player has
    // caught up with that seek. When playback stops by itself (at the end of the file) the
    // playhead takes the player's last position, so that Play starts again from the top.
    if (running || m_playing) {
        const double position = m_player->position();
        setTime(std::isfinite(position) ? position : 0.0);
    }
    setPlaying(running);
}
