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
    if (!m_media || m_autosaveBlocked)
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
    m_autosaveBlocked = false;
    const QString path = LWProject::fileFor(media.original.toLocalFile());
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
        return std::nullopt;
    // A project that is there but can't be read (no permission, a read error) may hold work:
    // it is left alone, and nothing is saved over it until a later open can read it.
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        m_autosaveBlocked = true;
        setNote(QStringLiteral("The captions saved earlier for “%1” can't be read (%2), so they "
                               "are left as they are and your changes to this file are not saved "
                               "automatically until they can be read.")
                    .arg(QFileInfo(media.original.toLocalFile()).fileName(), file.errorString()));
        return std::nullopt;
    }
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
