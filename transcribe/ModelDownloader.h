#pragma once

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <exception>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

// Downloads one file over HTTP into a ".part" file, streaming every block to disk (a model is
// never held in memory). When the ".part" file already holds a prefix, the request asks for the
// rest with a Range header and appends when the server answers 206 for that offset; an answer of
// 200 starts the file over. Main thread only; one object per file and attempt.
class ModelDownloader : public QObject {
    Q_OBJECT
public:
    // Bytes of the file on disk so far (resumed prefix included).
    using Bytes = std::function<void(qint64 received)>;
    // Called exactly once, on the main thread: a null pointer when the server delivered the
    // whole body, else BCError "The model server answered N. Please try again later.",
    // BCError "The model download failed: …", or BCCancelled after cancel(). The ".part" file
    // stays on every path except a 416 answer (its prefix is then useless and is removed).
    using Done = std::function<void(std::exception_ptr error)>;

    explicit ModelDownloader(QNetworkAccessManager& network, QObject* parent = nullptr);
    ~ModelDownloader() override;

    void start(const QUrl& url, const QString& partPath, Bytes onBytes, Done done);
    // Stops the transfer; `done` receives BCCancelled (unless it was already called).
    void cancel();

private:
    void send(bool resume);
    void onHeaders();
    void onData();
    void onFinished();
    void complete(std::exception_ptr error);
    void dropReply();

    QNetworkAccessManager& m_network;
    QPointer<QNetworkReply> m_reply;
    QFile m_file;
    QUrl m_url;
    Bytes m_onBytes;
    Done m_done;
    qint64 m_offset = 0;     // bytes kept from an earlier attempt
    qint64 m_received = 0;   // bytes of the file on disk
    qint64 m_expected = -1;  // file size the headers promise for this reply, -1 when unknown
    bool m_accepted = false; // the headers were read and the file opened for this reply
    bool m_restarted = false;
    bool m_cancelled = false;
};
