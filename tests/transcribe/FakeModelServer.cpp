#include "FakeModelServer.h"

#include <QThread>
#include <httplib.h>

FakeModelServer::FakeModelServer() : m_server(std::make_unique<httplib::Server>()) {
    m_server->Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
        const QString path = QString::fromStdString(request.path);
        File file;
        {
            std::lock_guard guard(m_lock);
            m_ranges[path].append(QByteArray::fromStdString(request.get_header_value("Range")));
            if (!m_files.contains(path)) {
                response.status = 404;
                return;
            }
            file = m_files.value(path);
        }
        if (file.status != 200) {
            response.status = file.status;
            return;
        }
        if (!file.ranges) {
            // A server that ignores Range answers 200 with the whole body. The request object is
            // the server's own, not a constant one; clearing its ranges is how cpp-httplib is told.
            const_cast<httplib::Request&>(request).ranges.clear();
            response.status = 200;
        }
        const QByteArray body = file.body;
        response.set_content_provider(
            size_t(body.size()), "application/octet-stream",
            [this, body, file](size_t offset, size_t length, httplib::DataSink& sink) {
                const qint64 limit = file.cutAfter >= 0 ? file.cutAfter : body.size();
                if (qint64(offset) >= limit || m_stopping)
                    return false; // the connection drops here
                const size_t piece =
                    std::min({length, size_t(65536), size_t(limit - qint64(offset))});
                if (file.chunkDelayMs > 0)
                    QThread::msleep(file.chunkDelayMs);
                return sink.write(body.constData() + offset, piece);
            });
    });
    const int port = m_server->bind_to_any_port("127.0.0.1");
    qputenv("BRCT_WHISPER_MODEL_HOST", "http://127.0.0.1:" + QByteArray::number(port));
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running())
        QThread::msleep(1);
}

FakeModelServer::~FakeModelServer() {
    m_stopping = true;
    m_server->stop();
    m_thread.join();
    qunsetenv("BRCT_WHISPER_MODEL_HOST");
}

void FakeModelServer::serve(const QString& path, const File& file) {
    std::lock_guard guard(m_lock);
    m_files.insert(path, file);
}

QList<QByteArray> FakeModelServer::ranges(const QString& path) const {
    std::lock_guard guard(m_lock);
    return m_ranges.value(path);
}
