#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMultiMap>
#include <QString>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace httplib {
class Server;
}

// A stand-in for the ElevenLabs API on 127.0.0.1 (cpp-httplib on a thread of its own). While it
// lives, BRCT_ELEVENLABS_BASE points the client at it. It records every request and answers
// each with the reply set for its method and path (404 when none).
class FakeElevenLabs {
public:
    struct Part {
        QString name;
        QString filename;
        QString contentType;
        QByteArray content;
    };
    struct Request {
        QString method;
        QString path;                         // decoded, with the leading "/"
        QMultiMap<QString, QString> query;    // decoded
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;                      // empty for multipart bodies: see `parts`
        QMap<QString, Part> parts;            // multipart/form-data fields by name
    };
    struct Reply {
        Reply(int code = 200, QByteArray content = {}, QByteArray type = "application/json")
            : status(code), body(std::move(content)), contentType(std::move(type)) {}
        // Waits `ms` before answering (cut short when the server stops).
        Reply after(int ms) const {
            Reply r = *this;
            r.delayMs = ms;
            return r;
        }
        // Sends the body one byte at a time, `ms` apart.
        Reply dribbling(int ms) const {
            Reply r = *this;
            r.dribbleMs = ms;
            return r;
        }
        Reply withHeader(const QByteArray& name, const QByteArray& value) const {
            Reply r = *this;
            r.headers.append({name, value});
            return r;
        }

        int status;
        QByteArray body;
        QByteArray contentType;
        int delayMs = 0;
        int dribbleMs = 0;
        QList<std::pair<QByteArray, QByteArray>> headers;
    };
    using Handler = std::function<Reply(const Request& request, int index)>;

    FakeElevenLabs();
    ~FakeElevenLabs();
    FakeElevenLabs(const FakeElevenLabs&) = delete;
    FakeElevenLabs& operator=(const FakeElevenLabs&) = delete;

    // `handler` answers METHOD PATH; `index` counts that route's requests from 0.
    void on(const QString& method, const QString& path, Handler handler);
    void reply(const QString& method, const QString& path, const Reply& reply);

    QList<Request> requests() const;
    QString base() const { return m_base; }

private:
    Reply answer(const Request& request);
    void pause(int ms);

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    QString m_base;
    QByteArray m_previousBase;
    bool m_hadBase = false;

    mutable std::mutex m_mutex;
    std::condition_variable m_stopping;
    bool m_stopped = false;
    QMap<QString, Handler> m_routes;
    QMap<QString, int> m_counts;
    QList<Request> m_requests;
};
