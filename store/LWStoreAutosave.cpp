// The store's project autosave: every change of the captions is written to the open media
// file's project 0.8 s after the last change, and comes back when that file is opened again.
#include "BCError.h"
#include "LWFormats.h"
#include "LWProject.h"
#include "LWStore.h"

#include <QFile>
#include <QFileInfo>

void LWStore::scheduleAutosave() {
    m_saveTimer.start();
}

void LWStore::flushAutosave() {
    if (!m_saveTimer.isActive())
        return;
    m_saveTimer.stop();
    autosave();
}

void LWStore::autosave() {
    m_saveTimer.stop();
    if (!m_media)
        return;
    // The name given at opening: the media file's identity changes once it is moved or deleted.
    const QString path = m_projectPath;
    try {
        LWFormats::writeAtomically(path, LWProject::encode(m_captions));
    } catch (const BCError& e) {
        // Said once, not on every keystroke; the captions stay in memory.
        if (m_autosaveFailureNote.isEmpty()) {
            m_autosaveFailureNote =
                e.message() +
                QStringLiteral(" Your captions are still open and will be saved with your next "
                               "change.");
            setNote(m_autosaveFailureNote);
        }
        return;
    }
    if (!m_autosaveFailureNote.isEmpty()) {
        if (m_note == m_autosaveFailureNote)
            setNote(QString());
        m_autosaveFailureNote.clear();
    }
}

std::optional<Captions> LWStore::loadAutosave(const BCOpenedMedia& media) {
    const QString path = LWProject::fileFor(media.original.toLocalFile());
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    file.close();
    const auto captions = LWProject::decode(bytes);
    if (!captions) {
        LWProject::setAside(path);
        return std::nullopt;
    }
    if (captions->isEmpty())
        return std::nullopt;
    setNote(QStringLiteral("Restored %1 captions you made for this file earlier.")
                .arg(captions->size()));
    return captions;
}
