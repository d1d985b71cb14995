#pragma once

#include "Caption.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>

namespace BurnIn {

// Shared between the store and a running video export so that "Stop" can reach the export's own
// cancel hooks. `session` stands for the running encoder's cancel hook (set by the burn-in),
// `onCancel` for any extra action (set by the subtitle-track export). Both are cleared when the
// export ends, so a later stop never reaches objects that are gone. Thread-safe.
class Job {
public:
    void setSession(std::function<void()> cancel);
    void setOnCancel(std::function<void()> action);
    // Runs the session's cancel hook, then onCancel; either may be empty.
    void cancel();
    // Called by an export on every way out.
    void clear();
    bool hasSession() const;
    bool hasOnCancel() const;

private:
    mutable std::mutex m_mutex;
    std::function<void()> m_session;
    std::function<void()> m_onCancel;
};

// Writes the captions as SRT and then WebVTT beside `video` (same folder and base name, the last
// extension replaced), each atomically. Returns the two paths, SRT first. Throws BCError with the
// file system's sentence at the first failure; the WebVTT file is not tried when the SRT fails.
QStringList writeSidecars(const Captions& captions, const QString& video);

} // namespace BurnIn
