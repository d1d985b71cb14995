#pragma once

#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

class LWStore;

// Shared between a running job's worker and the main thread. The store is held weakly: a report
// that arrives after the store is gone, or after the job has ended, does nothing.
struct LWJobState {
    std::stop_source stop;
    QPointer<LWStore> store; // read on the main thread only
    bool ended = false;      // main thread only
};

// What a job's body sees while it runs off the main thread.
class LWJobContext {
public:
    explicit LWJobContext(std::shared_ptr<LWJobState> state) : m_state(std::move(state)) {}

    std::stop_token stopToken() const { return m_state->stop.get_token(); }
    bool stopRequested() const { return m_state->stop.stop_requested(); }
    // Throws BCCancelled once the job has been asked to stop.
    void checkStop() const;
    // Sets the store's `busy` text and `progress` (nothing: indeterminate). Callable from any
    // thread; it hops to the main thread.
    void status(const QString& text, std::optional<double> fraction = std::nullopt) const;
    // Sets the store's status note while the job runs. Any thread, like `status`.
    void notice(const QString& sentence) const;

private:
    std::shared_ptr<LWJobState> m_state;
};

// The handle the store keeps in `work`.
class LWJob {
public:
    explicit LWJob(std::shared_ptr<LWJobState> state) : m_state(std::move(state)) {}
    void cancel() { m_state->stop.request_stop(); }
    bool cancelled() const { return m_state->stop.stop_requested(); }
    bool ended() const { return m_state->ended; }

private:
    std::shared_ptr<LWJobState> m_state;
};

// One long operation, run by the store's LWJobRunner. `body` runs on a worker thread and returns
// the step that applies its result on the main thread; it reports through the context and throws
// BCError to fail or BCCancelled to stop.
struct LWJobSpec {
    QString status;                     // first `busy` text, ending in "…"
    std::optional<double> progress;     // first fraction; nothing is indeterminate
    QString errorTitle;                 // alert title when the body fails
    std::optional<QString> stoppedNote; // note left by a stop (nothing: note untouched)
    bool refuseWhileBusy = true;        // opening and transcribing refuse to overlap
    bool forgetWorkAtEnd = false;       // the open job clears `work` as its last action
    // A body that already finished (an export whose file is in place) reports its result even
    // when Stop came after it; by default a late Stop discards the result.
    bool resultOutlivesStop = false;
    // Replaces the default error alert (title `errorTitle`, the error's sentence) when set.
    std::function<void(const QString& message)> onError;
    std::function<std::function<void()>(const LWJobContext&)> body;
};
