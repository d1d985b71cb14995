#include "FakeElevenLabs.h"

#include <httplib.h>

namespace {

QString routeKey(const QString& method, const QString& path) {
    return method + u' ' + path;
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

FakeElevenLabs::FakeElevenLabs() : m_server(std::make_unique<httplib::Server>()) {
    const auto handle = [this](const httplib::Request& in, httplib::Response& out) {
        Request request;
        request.method = text(in.method);
        request.path = text(in.path);
        for (const auto& [name, value] : in.params)
            request.query.insert(text(name), text(value));
        for (const auto& [name, value] : in.headers)
            request.headers.insert(QByteArray::fromStdString(name).toLower(),
                                   QByteArray::fromStdString(value));
        request.body = QByteArray::fromStdString(in.body);
        for (const auto& [name, part] : in.files)
            request.parts.insert(text(name),
                                 Part{text(part.name), text(part.filename), text(part.content_type),
                                      QByteArray::fromStdString(part.content)});
        const Reply reply = answer(request);
        pause(reply.delayMs);
        out.status = reply.status;
        for (const auto& [name, value] : reply.headers)
            out.set_header(name.toStdString(), value.toStdString());
        const std::string type = reply.contentType.toStdString();
        if (reply.dribbleMs > 0) {
            const std::string body = reply.body.toStdString();
            out.set_chunked_content_provider(type, [this, body, interval = reply.dribbleMs](
                                                       size_t offset, httplib::DataSink& sink) {
                if (offset >= body.size()) {
                    sink.done();
                    return true;
                }
                pause(interval);
                std::lock_guard lock(m_mutex);
                return !m_stopped && sink.write(body.data() + offset, 1);
            });
        } else {
            out.set_content(reply.body.toStdString(), type);
        }
    };
    m_server->Get(".*", handle);
    m_server->Post(".*", handle);
    m_server->Delete(".*", handle);
    m_server->set_keep_alive_timeout(1);
    const int port = m_server->bind_to_any_port("127.0.0.1");
    m_base = QStringLiteral("http://127.0.0.1:%1/").arg(port);
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // stop() does nothing to a server that has not started listening yet, which would then
    // listen for ever: wait until it runs.
    while (!m_server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    m_hadBase = qEnvironmentVariableIsSet("BRCT_ELEVENLABS_BASE");
    m_previousBase = qgetenv("BRCT_ELEVENLABS_BASE");
    qputenv("BRCT_ELEVENLABS_BASE", m_base.toUtf8());
}

FakeElevenLabs::~FakeElevenLabs() {
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_stopping.notify_all();
    m_server->stop();
    m_thread.join();
    if (m_hadBase)
        qputenv("BRCT_ELEVENLABS_BASE", m_previousBase);
    else
        qunsetenv("BRCT_ELEVENLABS_BASE");
}

void FakeElevenLabs::on(const QString& method, const QString& path, Handler handler) {
    std::lock_guard lock(m_mutex);
    m_routes.insert(routeKey(method, path), std::move(handler));
}

void FakeElevenLabs::reply(const QString& method, const QString& path, const Reply& reply) {
    on(method, path, [reply](const Request&, int) { return reply; });
}

QList<FakeElevenLabs::Request> FakeElevenLabs::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

FakeElevenLabs::Reply FakeElevenLabs::answer(const Request& request) {
    Handler handler;
    int index = 0;
    {
        std::lock_guard lock(m_mutex);
        m_requests.append(request);
        const QString key = routeKey(request.method, request.path);
        handler = m_routes.value(key);
        index = m_counts[key]++;
    }
    if (!handler)
        return Reply(404, R"({"detail":"Not Found"})");
    return handler(request, index);
}

void FakeElevenLabs::pause(int ms) {
    if (ms <= 0)
        return;
    std::unique_lock lock(m_mutex);
    m_stopping.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopped; });
}
