#pragma once

#include "WhisperModel.h"

#include <QList>
#include <QObject>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

class BCPreferences;
class ModelDownloader;
class QNetworkAccessManager;

// The models folder and the download state that the settings window and the transcription job
// watch. Lives on the main thread: every member function except the static ones, `installed`
// and `ensureFromWorker` must be called there.
//
// Folder layout ("BRCT Lorowen Pro/Whisper Models" in the data folder, ~/.local/share): each
// installed model is its file, exactly `bytes` long, and beside it the marker `file`.verified
// holding its SHA-256 (written last, after both checks passed). A download in progress or broken
// off is `file`.part in the same folder; the next `ensure` resumes it.
class WhisperModels : public QObject {
    Q_OBJECT
public:
    // fraction 0..1 over all files of one `ensure`, by bytes, and a one-line status text.
    using Progress = std::function<void(double fraction, const QString& text)>;
    // Null on success, else the BCError or BCCancelled that ended the run.
    using Done = std::function<void(std::exception_ptr error)>;

    // The chosen model is read from and remembered in `preferences`, which must outlive this.
    explicit WhisperModels(BCPreferences& preferences, QObject* parent = nullptr);
    ~WhisperModels() override;

    // The model chosen for transcription, remembered under "lw.whisperModel" (default Large v3
    // Turbo). Setting it writes the preference.
    QString modelID() const { return m_modelID; }
    void setModelID(const QString& id);

    // Whether Whisper runs on the graphics card when one is found, remembered under
    // "lw.whisperGPU" (default on). Setting it writes the preference.
    bool useGPU() const;
    void setUseGPU(bool on);

    std::optional<QString> downloading() const { return m_downloading; }
    double fraction() const { return m_fraction; }
    std::optional<QString> status() const { return m_status; }
    int tick() const { return m_tick; }
    // Whether the download started by startDownload is running.
    bool taskRunning() const { return m_task != nullptr; }

    // isInstalled against the models folder; cheap (a size and a 64-character marker).
    bool installed(const WhisperModel& model) const;

    // Makes sure every listed record is installed, downloading what is missing, one file after
    // the other. Nothing missing: `done` runs at once (possibly before ensure returns) and no
    // state changes. While another ensure runs, this one waits for it and then checks again, so
    // the same file is never fetched twice at once. Refuses with a BCError before the first
    // byte when the disk holding the models folder lacks the space still to be fetched.
    // `progress` runs on the main thread; `done` exactly once, on the main thread. Stopping
    // `stop` ends the run with BCCancelled and keeps the ".part" file for the next time.
    void ensure(const QList<WhisperModel>& models, Progress progress, Done done,
                std::stop_token stop = {});
    // ensure for a job body on a worker thread: runs it on the main thread and blocks until it
    // ends or `stop` fires (BCCancelled at once, even when the main thread no longer answers);
    // throws what it ended with. Never call it on the main thread.
    void ensureFromWorker(const QList<WhisperModel>& models, std::stop_token stop,
                          Progress progress = {});

    // From the settings window: ensure(model, voice detector) with no progress callback. Does
    // nothing while a download runs. Its end sets `status` ("Download stopped." or the error).
    void startDownload(const WhisperModel& model);
    // The settings window's Stop: ends the running download and every ensure waiting for one
    // with BCCancelled, whoever asked for them (startDownload or a transcription's
    // ensureFromWorker, whose job then ends as stopped). The ".part" file is kept. Any run that
    // ends with an error, this stop included, sets `status` ("Download stopped." or the error).
    void stopDownload();

    // Deletes the model and its marker (a missing file is fine), bumps `tick`, and sets
    // `status` to "<name> removed from this computer.". The ".part" file goes too.
    void remove(const WhisperModel& model);
    // Creates the models folder (failure ignored) and opens it in the file browser.
    void showFolder();

    // The models folder (not created here).
    static QString folder();
    // True only when the model file is in `folder`, exactly `bytes` long, and its marker, trimmed
    // of white space at both ends, equals `sha256`. No side effects; any thread.
    static bool isInstalled(const WhisperModel& model, const QString& folder);
    // Checks a downloaded file (size, then SHA-256) and moves it into `folder` under `file`,
    // then writes the marker. A file that fails a check is deleted. Throws BCError with the
    // user's sentence (incomplete download, checksum mismatch, folder or file errors) or
    // BCCancelled. Blocking; any thread.
    static void install(const QString& downloaded, const WhisperModel& model, const QString& folder,
                        std::stop_token stop = {});
    // Lower-case hex SHA-256 of a file (4 MiB reads). Blocking; any thread.
    static QString sha256(const QString& file, std::stop_token stop = {});
    // A byte count in decimal units as a file size reads: "885 KB", "190.1 MB", "574 MB".
    static QString byteCount(qint64 bytes);

    // Free bytes on the disk holding a folder; replaceable so tests can fake a full disk.
    std::function<qint64(const QString& folder)> freeBytes;

signals:
    // Any of modelID, downloading, fraction, status or tick changed.
    void changed();

private:
    struct Request;
    struct Run;

    void pump();
    void startRun(std::unique_ptr<Request> request);
    void nextFile();
    void onFetched(std::exception_ptr error);
    void onInstalled(std::exception_ptr error);
    void reportBytes(qint64 received);
    void endRun(std::exception_ptr error);
    void cancelFromToken(quint64 requestId);
    void finishRequest(std::unique_ptr<Request> request, std::exception_ptr error);
    // The status sentence of a run that ended with `error` (not null).
    static QString endSentence(std::exception_ptr error);

    BCPreferences& m_preferences;
    QString m_modelID;
    std::optional<QString> m_downloading;
    double m_fraction = 0;
    std::optional<QString> m_status;
    int m_tick = 0;

    std::unique_ptr<QNetworkAccessManager> m_network;
    QList<Request*> m_waiting; // owned; in arrival order
    std::unique_ptr<Run> m_run;
    std::unique_ptr<std::stop_source> m_task;
    quint64 m_nextId = 1;
    bool m_pumping = false;
    bool m_closing = false;
};
