#pragma once

#include <QLoggingCategory>
#include <QObject>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

// Failures of jobs, with the detail behind the user's sentence ("lorowen.job", off by default:
// QT_LOGGING_RULES="lorowen.job.warning=true" logs failures to standard error for a bug report,
// "lorowen.job*=true" every job's start and end too).
Q_DECLARE_LOGGING_CATEGORY(lorowenJob)

// Runs the long operations of the window and of the command line, each on a thread of its own
// (never on Qt's global pool, which helpers such as the model checksum use and which may hold a
// single thread). A job stops only through its std::stop_token. The runner catches what a body
// throws: BCCancelled is a stop, BCError a failure with the user's sentence (its detail goes to
// the log), anything else a failure with a general sentence. Main thread only.
class LWJobRunner {
public:
    // What a body returned, or why it ended without a result. A stop has neither.
    struct Outcome {
        std::function<void()> apply;  // the body's step that applies its result
        std::optional<QString> error; // the sentence for the user
        bool stopped() const { return !apply && !error; }
    };
    using Body = std::function<std::function<void()>(std::stop_token)>;

    LWJobRunner() = default;
    LWJobRunner(const LWJobRunner&) = delete;
    LWJobRunner& operator=(const LWJobRunner&) = delete;
    // Stops every job still running and waits for it (see stopAll).
    ~LWJobRunner();

    // Runs `body` on a new thread with `stop`'s token. `done` runs once on the thread of
    // `context` with the outcome after the body has ended, unless `context` is gone by then.
    void start(const QString& name, const std::stop_source& stop, Body body, QObject* context,
               std::function<void(const Outcome&)> done);
    // Runs `body` on a new thread while this thread runs an event loop, until the body ends.
    Outcome runAndWait(const QString& name, const std::stop_source& stop, Body body);

    // Asks every running job to stop and waits up to `limit` for their threads to end; true
    // when all did. A job still running after that is left to end on its own.
    bool stopAll(std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
    struct Running;
    // Shared with the threads, which may outlive the runner when they don't stop in time.
    struct Sync {
        std::mutex lock; // guards `ended` of every running job
        std::condition_variable ended;
    };
    void reap();

    std::shared_ptr<Sync> m_sync = std::make_shared<Sync>();
    std::list<std::shared_ptr<Running>> m_running; // main thread; `ended` under m_sync->lock
};
