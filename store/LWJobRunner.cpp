#include "LWJobRunner.h"

#include "BCError.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <exception>
#include <thread>

// Quiet unless asked for: the command line prints only its own sentences.
Q_LOGGING_CATEGORY(lorowenJob, "lorowen.job", QtCriticalMsg)

struct LWJobRunner::Running {
    QString name;
    std::stop_source stop;
    std::thread thread;
    bool ended = false; // under the runner's lock
};

namespace {

// The body's outcome, every exception turned into a stop or a sentence.
LWJobRunner::Outcome outcomeOf(const QString& name, const LWJobRunner::Body& body,
                               std::stop_token stop) {
    LWJobRunner::Outcome outcome;
    try {
        outcome.apply = body(stop);
    } catch (const BCCancelled&) {
        qCDebug(lorowenJob) << name << "stopped";
    } catch (const BCError& e) {
        outcome.error = e.message();
        qCWarning(lorowenJob).noquote()
            << name << "failed:" << e.message()
            << (e.detail().isEmpty() ? QString() : u'(' + e.detail() + u')');
    } catch (const std::exception& e) {
        // A fault outside the job's own checks; reported, never swallowed.
        const QString what = QString::fromLocal8Bit(e.what());
        outcome.error = QStringLiteral("Something unexpected went wrong (%1).").arg(what);
        qCWarning(lorowenJob).noquote() << name << "failed unexpectedly:" << what;
    }
    return outcome;
}

} // namespace

LWJobRunner::~LWJobRunner() {
    stopAll();
}

void LWJobRunner::reap() {
    std::list<std::shared_ptr<Running>> finished;
    {
        const std::lock_guard hold(m_sync->lock);
        for (auto it = m_running.begin(); it != m_running.end();) {
            if ((*it)->ended) {
                finished.push_back(*it);
                it = m_running.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& job : finished)
        job->thread.join(); // its body has returned; only the thread's last steps remain
}

void LWJobRunner::start(const QString& name, const std::stop_source& stop, Body body,
                        QObject* context, std::function<void(const Outcome&)> done) {
    reap();
    auto job = std::make_shared<Running>();
    job->name = name;
    job->stop = stop;
    qCDebug(lorowenJob) << name << "started";
    const QPointer<QObject> target(context);
    job->thread =
        std::thread([sync = m_sync, job, body = std::move(body), target, done = std::move(done)] {
            Outcome outcome = outcomeOf(job->name, body, job->stop.get_token());
            if (target) {
                QMetaObject::invokeMethod(
                    target.data(),
                    [target, done, outcome = std::move(outcome)] {
                        if (target && done)
                            done(outcome);
                    },
                    Qt::QueuedConnection);
            }
            const std::lock_guard hold(sync->lock);
            job->ended = true;
            sync->ended.notify_all();
        });
    const std::lock_guard hold(m_sync->lock);
    m_running.push_back(std::move(job));
}

LWJobRunner::Outcome LWJobRunner::runAndWait(const QString& name, const std::stop_source& stop,
                                             Body body) {
    QEventLoop loop;
    Outcome result;
    bool ended = false;
    start(name, stop, std::move(body), &loop, [&](const Outcome& outcome) {
        result = outcome;
        ended = true;
        loop.quit();
    });
    if (!ended)
        loop.exec();
    // Reports the body queued just before it ended arrive while their receivers still exist.
    QCoreApplication::processEvents();
    reap();
    return result;
}

bool LWJobRunner::stopAll(std::chrono::milliseconds limit) {
    {
        const std::lock_guard hold(m_sync->lock);
        for (const auto& job : m_running)
            job->stop.request_stop();
    }
    bool all = false;
    {
        std::unique_lock hold(m_sync->lock);
        all = m_sync->ended.wait_for(hold, limit, [this] {
            for (const auto& job : m_running)
                if (!job->ended)
                    return false;
            return true;
        });
        if (!all) {
            for (auto it = m_running.begin(); it != m_running.end();) {
                if (!(*it)->ended) {
                    qCWarning(lorowenJob) << (*it)->name << "did not stop in time";
                    (*it)->thread.detach(); // it holds what it uses; the runner may go first
                    it = m_running.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }
    reap();
    return all;
}
