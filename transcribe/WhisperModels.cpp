#include "WhisperModels.h"

#include "BCError.h"
#include "BCPreferences.h"
#include "ModelDownloader.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QStorageInfo>
#include <QThread>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <condition_variable>
#include <mutex>

namespace {

QString partPath(const QString& folder, const WhisperModel& model) {
    return QDir(folder).filePath(model.file + QStringLiteral(".part"));
}

} // namespace

struct WhisperModels::Request {
    quint64 id = 0;
    QList<WhisperModel> models;
    Progress progress;
    Done done;
    std::stop_token stop;
    std::unique_ptr<std::stop_callback<std::function<void()>>> onStop;
};

struct WhisperModels::Run {
    std::unique_ptr<Request> request;
    QString folder;
    QList<WhisperModel> missing;
    qint64 total = 0;
    qint64 done = 0; // bytes of the files installed by this run
    qsizetype index = 0;
    int reported = -1; // last reported fraction in thousandths
    ModelDownloader* downloader = nullptr;
    QFutureWatcher<std::exception_ptr>* check = nullptr;
    std::stop_source checkStop;
    bool cancelled = false;
};

WhisperModels::WhisperModels(BCPreferences& preferences, QObject* parent)
    : QObject(parent), m_preferences(preferences),
      m_network(std::make_unique<QNetworkAccessManager>()) {
    const QString stored = m_preferences.value(BCPref::whisperModel).toString();
    m_modelID = stored.isEmpty() ? WhisperModel::defaultID() : stored;
}

WhisperModels::~WhisperModels() {
    m_closing = true; // pump() starts nothing more
    if (m_run) {
        m_run->cancelled = true;
        m_run->checkStop.request_stop();
        if (m_run->downloader)
            m_run->downloader->cancel(); // ends the run through onFetched
    }
    if (m_run && m_run->check)
        m_run->check->waitForFinished();
    if (m_run)
        endRun(std::make_exception_ptr(BCCancelled()));
    pump();
}

void WhisperModels::setModelID(const QString& id) {
    if (id == m_modelID)
        return;
    m_modelID = id;
    m_preferences.setValue(BCPref::whisperModel, id);
    emit changed();
}

bool WhisperModels::useGPU() const {
    return m_preferences.flag(BCPref::whisperGPU, true);
}

void WhisperModels::setUseGPU(bool on) {
    if (on == useGPU())
        return;
    m_preferences.setValue(BCPref::whisperGPU, on);
    emit changed();
}

bool WhisperModels::installed(const WhisperModel& model) const {
    return isInstalled(model, folder());
}

void WhisperModels::ensure(const QList<WhisperModel>& models, Progress progress, Done done,
                           std::stop_token stop) {
    auto request = std::make_unique<Request>();
    request->id = m_nextId++;
    request->models = models;
    request->progress = std::move(progress);
    request->done = std::move(done);
    request->stop = stop;
    const quint64 id = request->id;
    request->onStop = std::make_unique<std::stop_callback<std::function<void()>>>(
        stop, std::function<void()>([this, id] {
            // Any thread: the run is ended on the main thread.
            QMetaObject::invokeMethod(
                this, [this, id] { cancelFromToken(id); }, Qt::QueuedConnection);
        }));
    m_waiting.append(request.release());
    pump();
}

void WhisperModels::ensureFromWorker(const QList<WhisperModel>& models, std::stop_token stop,
                                     Progress progress) {
    if (QThread::currentThread() == thread())
        throw std::logic_error("WhisperModels::ensureFromWorker on the main thread");
    struct Wait {
        std::mutex lock;
        std::condition_variable_any ended;
        bool finished = false;
        bool left = false; // the worker no longer waits: its progress callback may be gone
        std::exception_ptr error;
    };
    auto wait = std::make_shared<Wait>();
    // Reports reach the caller's callback only while the caller still waits for the run.
    const Progress guarded = [wait, progress](double fraction, const QString& text) {
        const std::lock_guard hold(wait->lock);
        if (!wait->left && progress)
            progress(fraction, text);
    };
    QMetaObject::invokeMethod(
        this,
        [this, models, stop, guarded, wait] {
            ensure(
                models, guarded,
                [wait](std::exception_ptr error) {
                    std::lock_guard guard(wait->lock);
                    wait->error = error;
                    wait->finished = true;
                    wait->ended.notify_all();
                },
                stop);
        },
        Qt::QueuedConnection);
    // The wait hears the stop token itself: when the main thread no longer runs its event loop
    // (the window has closed), the queued run may never start or end, and a stopped job must
    // not hang on it. The run, if it started, ends on its own through the same token.
    std::unique_lock guard(wait->lock);
    const bool finished = wait->ended.wait(guard, stop, [&] { return wait->finished; });
    wait->left = true;
    if (!finished)
        throw BCCancelled{};
    if (wait->error)
        std::rethrow_exception(wait->error);
}

void WhisperModels::pump() {
    if (m_pumping)
        return;
    m_pumping = true;
    while (m_closing && !m_waiting.isEmpty()) {
        finishRequest(std::unique_ptr<Request>(m_waiting.takeFirst()),
                      std::make_exception_ptr(BCCancelled()));
    }
    while (!m_run && !m_waiting.isEmpty()) {
        std::unique_ptr<Request> request(m_waiting.takeFirst());
        if (request->stop.stop_requested()) {
            finishRequest(std::move(request), std::make_exception_ptr(BCCancelled()));
            continue;
        }
        const QString where = folder();
        QList<WhisperModel> missing;
        for (const WhisperModel& model : request->models) {
            if (!isInstalled(model, where) && !missing.contains(model))
                missing.append(model);
        }
        if (missing.isEmpty()) {
            finishRequest(std::move(request), nullptr);
            continue;
        }

        // What is still to come, less what the ".part" files already hold.
        qint64 total = 0;
        qint64 needed = 0;
        QStringList names;
        for (const WhisperModel& model : missing) {
            total += model.bytes;
            const qint64 part = QFileInfo(partPath(where, model)).size();
            needed += part > 0 && part <= model.bytes ? model.bytes - part : model.bytes;
            names.append(model.name);
        }
        if (!QDir().mkpath(where)) {
            finishRequest(std::move(request),
                          std::make_exception_ptr(BCError(
                              QStringLiteral("Can't create the models folder “%1”.").arg(where))));
            continue;
        }
        const qint64 free = freeBytes ? freeBytes(where) : QStorageInfo(where).bytesAvailable();
        if (free >= 0 && free < needed) {
            finishRequest(
                std::move(request),
                std::make_exception_ptr(BCError(
                    QStringLiteral("There isn't enough free space to download %1: %2 more is "
                                   "needed, and only %3 is free on the disk that holds “%4”. "
                                   "Free up some space and try again.")
                        .arg(names.join(QStringLiteral(" and ")), byteCount(needed),
                             byteCount(free), where))));
            continue;
        }

        m_run = std::make_unique<Run>();
        m_run->request = std::move(request);
        m_run->folder = where;
        m_run->missing = missing;
        m_run->total = std::max<qint64>(total, 1);
        nextFile();
    }
    m_pumping = false;
}

void WhisperModels::nextFile() {
    Run& run = *m_run;
    const WhisperModel& model = run.missing[run.index];
    m_downloading = model.id;
    m_fraction = double(run.done) / double(run.total);
    m_status = QStringLiteral("Downloading %1 (%2)…").arg(model.name, byteCount(model.bytes));
    run.reported = -1;
    emit changed();

    const QString part = partPath(run.folder, model);
    const qint64 held = QFileInfo(part).size();
    if (held > model.bytes)
        QFile::remove(part);
    if (held == model.bytes) {
        // Fully fetched last time but not installed: check it without asking the server.
        reportBytes(held);
        onFetched(nullptr);
        return;
    }
    run.downloader = new ModelDownloader(*m_network, this);
    run.downloader->start(
        QUrl(model.urlString), part, [this](qint64 received) { reportBytes(received); },
        [this](std::exception_ptr error) { onFetched(error); });
}

void WhisperModels::reportBytes(qint64 received) {
    Run& run = *m_run;
    const WhisperModel& model = run.missing[run.index];
    const double fraction = std::clamp(double(run.done + received) / double(run.total), 0.0, 1.0);
    const int thousandths = int(fraction * 1000);
    if (thousandths == run.reported)
        return; // at most a thousand reports a run
    run.reported = thousandths;
    m_fraction = fraction;
    if (run.request->progress) {
        run.request->progress(
            fraction,
            QStringLiteral("Downloading %1: %2%").arg(model.name).arg(int(fraction * 100)));
    }
    emit changed();
}

void WhisperModels::onFetched(std::exception_ptr error) {
    Run& run = *m_run;
    if (run.downloader) {
        run.downloader->deleteLater();
        run.downloader = nullptr;
    }
    if (!error && run.cancelled)
        error = std::make_exception_ptr(BCCancelled());
    if (error) {
        endRun(error);
        return;
    }
    const WhisperModel model = run.missing[run.index];
    m_status = QStringLiteral("Checking %1…").arg(model.name);
    emit changed();
    if (run.request->progress)
        run.request->progress(m_fraction,
                              QStringLiteral("Checking the download (safety checksum)…"));

    // Hashing hundreds of megabytes runs off the main thread.
    run.check = new QFutureWatcher<std::exception_ptr>(this);
    connect(run.check, &QFutureWatcher<std::exception_ptr>::finished, this,
            [this] { onInstalled(m_run->check->result()); });
    const QString part = partPath(run.folder, model);
    const QString where = run.folder;
    const std::stop_token stop = run.checkStop.get_token();
    run.check->setFuture(QtConcurrent::run([part, model, where, stop]() -> std::exception_ptr {
        try {
            install(part, model, where, stop);
            return nullptr;
        } catch (...) {
            return std::current_exception();
        }
    }));
}

void WhisperModels::onInstalled(std::exception_ptr error) {
    Run& run = *m_run;
    run.check->deleteLater();
    run.check = nullptr;
    if (error) {
        endRun(error);
        return;
    }
    ++m_tick;
    m_downloading.reset();
    const WhisperModel& model = run.missing[run.index];
    if (run.index + 1 == run.missing.size()) {
        m_fraction = 1;
        m_status = QStringLiteral("Ready — the model is stored on this computer.");
        emit changed();
        endRun(nullptr);
        return;
    }
    emit changed();
    run.done += model.bytes;
    ++run.index;
    if (run.cancelled) {
        endRun(std::make_exception_ptr(BCCancelled()));
        return;
    }
    nextFile();
}

void WhisperModels::endRun(std::exception_ptr error) {
    std::unique_ptr<Run> run = std::move(m_run);
    if (error) {
        // Whoever asked for the run, the models list says how it ended.
        m_downloading.reset();
        m_status = endSentence(error);
        emit changed();
    }
    finishRequest(std::move(run->request), error);
    pump();
}

void WhisperModels::cancelFromToken(quint64 requestId) {
    for (qsizetype i = 0; i < m_waiting.size(); ++i) {
        if (m_waiting[i]->id == requestId) {
            std::unique_ptr<Request> request(m_waiting.takeAt(i));
            finishRequest(std::move(request), std::make_exception_ptr(BCCancelled()));
            return;
        }
    }
    if (!m_run || m_run->request->id != requestId)
        return;
    m_run->cancelled = true;
    m_run->checkStop.request_stop();
    if (m_run->downloader)
        m_run->downloader->cancel();
}

void WhisperModels::finishRequest(std::unique_ptr<Request> request, std::exception_ptr error) {
    request->onStop.reset(); // before `done`, which may end the token's owner
    if (request->done)
        request->done(error);
}

QString WhisperModels::endSentence(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const BCCancelled&) {
        return QStringLiteral("Download stopped.");
    } catch (const BCError& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
}

void WhisperModels::startDownload(const WhisperModel& model) {
    if (m_downloading || m_task)
        return;
    m_task = std::make_unique<std::stop_source>();
    ensure(
        {model, WhisperModel::voiceDetector()}, {},
        [this](std::exception_ptr error) {
            m_task.reset();
            if (!error)
                return;
            // Refusals before the first byte never start a run, so they are said here.
            m_status = endSentence(error);
            emit changed();
        },
        m_task->get_token());
}

void WhisperModels::stopDownload() {
    if (m_task)
        m_task->request_stop();
    // The running download and every request waiting for one end as stopped, whether the
    // settings window or a transcription asked for them: nothing is fetched until asked again.
    QList<quint64> ids;
    for (const Request* request : std::as_const(m_waiting))
        ids.append(request->id);
    if (m_run)
        ids.append(m_run->request->id);
    for (const quint64 id : ids)
        cancelFromToken(id);
}

void WhisperModels::remove(const WhisperModel& model) {
    const QDir dir(folder());
    QFile::remove(dir.filePath(model.file + QStringLiteral(".verified")));
    QFile::remove(dir.filePath(model.file));
    if (m_downloading != model.id)
        QFile::remove(partPath(dir.path(), model));
    ++m_tick;
    m_status = QStringLiteral("%1 removed from this computer.").arg(model.name);
    emit changed();
}

void WhisperModels::showFolder() {
    QDir().mkpath(folder());
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder()));
}
