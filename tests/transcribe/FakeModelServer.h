#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace httplib {
class Server;
}

// A model repository on 127.0.0.1 (cpp-httplib on a thread of its own). While it lives,
// BRCT_WHISPER_MODEL_HOST points the catalog's addresses at it. Paths not served answer 404.
class FakeModelServer {
public:
    struct File {
        QByteArray body;
        int status = 200;     // anything but 200 is sent with an empty body
        bool ranges = true;   // honour "Range: bytes=N-" with 206
        qint64 cutAfter = -1; // drop the connection once this many bytes of the file went out
        int chunkDelayMs = 0; // pause between 64 KiB pieces
    };

    FakeModelServer();
    ~FakeModelServer();
    FakeModelServer(const FakeModelServer&) = delete;
    FakeModelServer& operator=(const FakeModelServer&) = delete;

    // `path` with its leading "/", as in the model's address.
    void serve(const QString& path, const File& file);
    // The Range header of each request for `path` ("" when none), in arrival order.
    QList<QByteArray> ranges(const QString& path) const;

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    mutable std::mutex m_lock;
    QHash<QString, File> m_files;
    QHash<QString, QList<QByteArray>> m_ranges;
    std::atomic<bool> m_stopping{false};
};
