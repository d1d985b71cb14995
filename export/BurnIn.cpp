#include "BurnIn.h"

#include "BCFiles.h"
#include "CaptionMath.h"

#include <QFileInfo>

namespace BurnIn {

void Job::setSession(std::function<void()> cancel) {
    std::lock_guard lock(m_mutex);
    m_session = std::move(cancel);
}

void Job::setOnCancel(std::function<void()> action) {
    std::lock_guard lock(m_mutex);
    m_onCancel = std::move(action);
}

void Job::cancel() {
    std::function<void()> session;
    std::function<void()> onCancel;
    {
        std::lock_guard lock(m_mutex);
        session = m_session;
        onCancel = m_onCancel;
    }
    if (session)
        session();
    if (onCancel)
        onCancel();
}

void Job::clear() {
    std::lock_guard lock(m_mutex);
    m_session = nullptr;
    m_onCancel = nullptr;
}

bool Job::hasSession() const {
    std::lock_guard lock(m_mutex);
    return bool(m_session);
}

bool Job::hasOnCancel() const {
    std::lock_guard lock(m_mutex);
    return bool(m_onCancel);
}

QStringList writeSidecars(const Captions& captions, const QString& video) {
    const QFileInfo info(video);
    const QString suffix = info.suffix();
    const QString base =
        suffix.isEmpty() ? info.filePath() : info.filePath().chopped(suffix.size() + 1);
    const QString srtPath = base + QStringLiteral(".srt");
    const QString vttPath = base + QStringLiteral(".vtt");
    BCFiles::writeAtomically(srtPath, CaptionMath::srt(captions).toUtf8());
    BCFiles::writeAtomically(vttPath, CaptionMath::vtt(captions).toUtf8());
    return {srtPath, vttPath};
}

} // namespace BurnIn
