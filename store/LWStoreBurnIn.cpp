// The burned-in video export command: checks, the save panel, the export as the store's one job,
// and the note, sidecar files, remembered folder and reveal at its end.
#include "BCError.h"
#include "BCSavePlace.h"
#include "LWStore.h"

#include <QFileInfo>

namespace {

const QString kBurning = QStringLiteral("Burning captions into the video…");
const QString kWaitForJob =
    QStringLiteral("Wait for the current job to finish (or click Stop) before starting another.");

} // namespace

void LWStore::exportBurnIn() {
    if (!m_media)
        return;
    if (!m_media->hasVideo) {
        m_hooks.alert(QStringLiteral("Burned-in captions need a video"),
                      QStringLiteral("This is an audio file. Export SRT, VTT or TXT instead."));
        return;
    }
    if (m_captions.isEmpty()) {
        m_hooks.alert(QStringLiteral("Nothing to burn in"),
                      QStringLiteral("Transcribe the file or add captions first."));
        return;
    }
    // One job at a time: a running job keeps `work`, so Stop still reaches it.
    auto refuseWhileBusy = [this] {
        if (!isBusy())
            return false;
        m_hooks.beep();
        setNote(kWaitForJob);
        return true;
    };
    if (refuseWhileBusy())
        return;

    LWUiHooks::SavePanel panel{.title = {},
                               .message = {},
                               .proposedName =
                                   QFileInfo(m_media->original.toLocalFile()).completeBaseName() +
                                   QStringLiteral(" (captioned).mp4"),
                               .extensions = {QStringLiteral("mp4")},
                               .startFolder = {}};
    BCSavePlace::prepare(panel, m_services.preferences);
    const std::optional<QString> chosen = m_hooks.savePanel(panel);
    if (!chosen || chosen->isEmpty())
        return;
    const QString path = *chosen;
    if (refuseWhileBusy())
        return;
    if (BurnIn::isSourceOf(*m_media, path)) {
        m_hooks.alert(QStringLiteral("Export failed"), BurnIn::replacesSourceSentence());
        return;
    }

    player().pause();
    const BCOpenedMedia media = *m_media;
    const Captions captions = m_captions;
    const CaptionStyle style = m_style;

    LWJobSpec plan;
    plan.status = kBurning;
    plan.progress = 0.0;
    plan.errorTitle = QStringLiteral("Export failed");
    plan.stoppedNote = QStringLiteral("Export cancelled.");
    plan.refuseWhileBusy = true;
    plan.resultOutlivesStop = true; // a Stop after the file is in place cannot undo it
    plan.body = [this, media, captions, style, path](const LWJobContext& context) {
        BurnIn::exportVideo(
            media, captions, style, path,
            [context](double fraction) { context.status(kBurning, fraction); },
            context.stopToken());
        // Runs on the main thread once `busy` and `progress` are cleared.
        return std::function<void()>([this, captions, path] {
            bool written = false;
            if (m_sidecars) {
                try {
                    BurnIn::writeSidecars(captions, path);
                    written = true;
                } catch (const BCError&) {
                    // Told in the note below.
                }
            }
            setNote(BurnIn::savedNote(QFileInfo(path).fileName(), m_sidecars, written));
            BCSavePlace::remember(path, m_services.preferences);
            m_hooks.reveal(path);
        });
    };
    startJob(std::move(plan));
}
