// The subtitle-track export command: a copy of the video with the captions as a track the viewer
// switches on, run as the store's one job.
#include "BCError.h"
#include "BCSavePlace.h"
#include "LWStore.h"
#include "SoftSubs.h"

#include <QFileInfo>
#include <QPointer>

namespace {

const QString kSubtitleTrack = QStringLiteral("Adding the subtitle track…");

// The panel's answer with the extension rule applied: anything but .mp4 or .mov (any case) gets
// ".mp4" added.
QString withMovieExtension(const QString& chosen) {
    const QString suffix = QFileInfo(chosen).suffix().toLower();
    if (suffix == QStringLiteral("mp4") || suffix == QStringLiteral("mov"))
        return chosen;
    return chosen + QStringLiteral(".mp4");
}

} // namespace

void LWStore::exportSoft() {
    if (!m_media)
        return;
    if (!m_media->hasVideo) {
        m_hooks.alert(QStringLiteral("Subtitle tracks need a video"),
                      QStringLiteral("This is an audio file. Export SRT, VTT or TXT instead."));
        return;
    }
    if (m_captions.isEmpty()) {
        m_hooks.alert(QStringLiteral("Nothing to add"),
                      QStringLiteral("Transcribe the file or add captions first."));
        return;
    }
    // One job at a time: a new export would take `work` and the Stop button from the running one.
    if (isBusy()) {
        m_hooks.beep();
        setNote(QStringLiteral(
            "Wait for the current job to finish (or click Stop) before starting another."));
        return;
    }

    LWUiHooks::SavePanel panel;
    panel.message = QStringLiteral(
        "Name ending .mp4 or .mov. The picture and sound are copied without re-encoding.");
    panel.proposedName = QFileInfo(m_media->original.toLocalFile()).completeBaseName() +
                         QStringLiteral(" (subtitles).mp4");
    panel.extensions = {QStringLiteral("mp4"), QStringLiteral("mov")};
    BCSavePlace::prepare(panel, m_services.preferences);
    const auto chosen = m_hooks.savePanel(panel);
    if (!chosen || chosen->isEmpty())
        return;
    const QString destination = withMovieExtension(*chosen);
    // The panel asked about replacing the name it returned, not about the one made here.
    if (destination != *chosen && QFileInfo::exists(destination)) {
        const QString name = QFileInfo(destination).fileName();
        const int answer = m_hooks.question(
            QStringLiteral("“%1” already exists. Do you want to replace it?").arg(name),
            QStringLiteral("The name you chose ends without .mp4 or .mov, so the movie is saved "
                           "as “%1”, and a file of that name is already in this folder. "
                           "Replacing it overwrites its contents.")
                .arg(name),
            {QStringLiteral("Replace"), QStringLiteral("Cancel")});
        if (answer != 0)
            return;
    }
    BCSavePlace::remember(destination, m_services.preferences);

    if (m_player)
        m_player->pause();
    setPlaying(false);
    const BCOpenedMedia media = *m_media;
    const Captions captions = m_captions;
    const bool sidecars = m_sidecars;

    LWJobSpec plan;
    plan.status = kSubtitleTrack;
    plan.progress = 0.0;
    plan.errorTitle = QStringLiteral("Export failed");
    plan.stoppedNote = QStringLiteral("Export cancelled.");
    plan.resultOutlivesStop = true; // a Stop after the file is in place cannot undo it
    const QPointer<LWStore> self(this);
    plan.body = [self, media, captions, destination,
                 sidecars](const LWJobContext& context) -> std::function<void()> {
        SoftSubs::exportVideo(
            media, captions, destination,
            [&context](double fraction) { context.status(kSubtitleTrack, fraction); },
            context.stopToken());
        bool sidecarsFailed = false;
        if (sidecars) {
            try {
                BurnIn::writeSidecars(captions, destination);
            } catch (const BCError&) {
                sidecarsFailed = true;
            }
        }
        return [self, destination, sidecarsFailed] {
            if (!self)
                return;
            QString note = QStringLiteral("Saved %1 with a subtitle track (turn it on in the "
                                          "player's Subtitles menu).")
                               .arg(QFileInfo(destination).fileName());
            if (sidecarsFailed)
                note += QStringLiteral(" The .srt and .vtt files couldn't be saved beside it.");
            self->setNote(note);
            self->hooks().reveal(destination);
        };
    };
    startJob(std::move(plan));
}
