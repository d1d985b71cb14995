// The voiceover export: every caption read aloud, in order, by the chosen ElevenLabs voice into
// one MP3 file.
#include "BCError.h"
#include "BCFiles.h"
#include "BCSavePlace.h"
#include "BCText.h"
#include "CaptionMath.h"
#include "ELClient.h"
#include "ELSettings.h"
#include "LWStore.h"

#include <QFileInfo>
#include <QPointer>

QString LWStore::voiceoverText(const Captions& captions) {
    QStringList texts;
    for (const Caption& caption : CaptionMath::normalized(captions)) {
        QString text = caption.text;
        text.replace(u'\n', u' ');
        texts.append(text);
    }
    return texts.join(u' ');
}

void LWStore::exportVoiceover() {
    if (isBusy()) {
        m_hooks.beep();
        setNote(QStringLiteral(
            "Wait for the current job to finish (or click Stop) before starting another."));
        return;
    }
    if (m_captions.isEmpty()) {
        m_hooks.alert(QStringLiteral("Nothing to read"),
                      QStringLiteral("Transcribe the file or add captions first."));
        return;
    }
    ELSettings& el = m_services.elevenLabs;
    if (!el.hasKey()) {
        m_hooks.alert(QStringLiteral("Voiceovers use ElevenLabs"),
                      QStringLiteral("Add your own ElevenLabs API key in Settings (Ctrl+,), "
                                     "choose a voice, then try again. Lorowen Pro doesn't use the "
                                     "computer's built-in voices."));
        return;
    }
    if (el.voiceID().isEmpty()) {
        m_hooks.alert(QStringLiteral("Choose a voice first"),
                      QStringLiteral("Open Settings (Ctrl+,), click Load Voices and pick one."));
        return;
    }
    // Captions that are all blank would make an empty file: say so instead of asking where.
    const QString text = voiceoverText(m_captions);
    if (BCText::trimBlanksAndBreaks(text).isEmpty()) {
        m_hooks.alert(QStringLiteral("Nothing to read"),
                      QStringLiteral("Transcribe the file or add captions first."));
        return;
    }

    const QString base = m_media ? QFileInfo(m_media->original.toLocalFile()).completeBaseName()
                                 : QStringLiteral("Captions");
    LWUiHooks::SavePanel panel{.title = {},
                               .message = {},
                               .proposedName = base + QStringLiteral(" (voiceover).mp3"),
                               .extensions = {QStringLiteral("mp3")},
                               .startFolder = {}};
    BCSavePlace::prepare(panel, m_services.preferences);
    const auto chosen = m_hooks.savePanel(panel);
    if (!chosen || chosen->isEmpty())
        return;
    const QString path = *chosen;
    BCSavePlace::remember(path, m_services.preferences);

    const QString voice = el.voiceID();
    const QString model = el.modelID();
    const int maxChars = el.maxChars();
    LWJobSpec plan;
    plan.status = QStringLiteral("ElevenLabs is reading the captions (%1 characters)…")
                      .arg(BCText::length(text));
    plan.progress = std::nullopt;
    plan.errorTitle = QStringLiteral("Voiceover didn't finish");
    plan.stoppedNote = QStringLiteral("Voiceover cancelled.");
    const QPointer<LWStore> self(this);
    plan.body = [self, text, voice, model, maxChars, path,
                 keys = &el.keys()](const LWJobContext& job) -> std::function<void()> {
        const std::stop_token stop = job.stopToken();
        const ELClient client(keys->keyForJob(stop));
        const QByteArray mp3 = client.speak(text, voice, model, maxChars, stop);
        job.checkStop();
        BCFiles::writeAtomically(path, mp3);
        return [self, path] {
            if (!self)
                return;
            self->setNote(
                QStringLiteral("Saved %1 (voice: %2).")
                    .arg(QFileInfo(path).fileName(), self->services().elevenLabs.voiceName()));
            self->hooks().reveal(path);
        };
    };
    startJob(std::move(plan));
}
