#include "ELClient.h"

#include <QCollator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUuid>
#include <algorithm>
#include <memory>

namespace {

constexpr int maxVoicePages = 20;
constexpr int contextCharacters = 400;
constexpr int rejectedCharacters = 300;

// Network-layer and proxy failures (Qt's codes below 200): nothing or only part of an answer
// arrived, even when a status line did.
bool isTransportFailure(QNetworkReply::NetworkError error) {
    return error != QNetworkReply::NoError && int(error) < 200;
}

QString languageField(const QString& language) {
    qsizetype end = language.size();
    for (const QChar separator : {u'-', u'_'}) {
        const qsizetype at = language.indexOf(separator);
        if (at >= 0)
            end = std::min(end, at);
    }
    return language.left(end).toLower();
}

} // namespace

ELClient::ELClient(QString key) : ELClient(std::move(key), Timeouts()) {}

ELClient::ELClient(QString key, Timeouts timeouts) : m_key(std::move(key)), m_timeouts(timeouts) {}

QUrl ELClient::base() {
    QString text = qEnvironmentVariable("BRCT_ELEVENLABS_BASE");
    if (text.isEmpty())
        text = QStringLiteral("https://api.elevenlabs.io/");
    if (!text.endsWith(u'/'))
        text += u'/';
    return QUrl(text);
}

QByteArray ELClient::send(const Request& request, std::stop_token stop) const {
    QNetworkAccessManager session;
    return exchange(session, request, stop);
}

QByteArray ELClient::exchange(QNetworkAccessManager& session, const Request& r,
                              std::stop_token stop) const {
    if (stop.stop_requested())
        throw BCCancelled();

    QUrl url = base().resolved(QUrl(r.path));
    if (!r.query.isEmpty()) {
        // Encoded by hand: QUrlQuery leaves "+" as it is, which servers read as a space.
        QByteArray query;
        for (const auto& [name, value] : r.query) {
            if (!query.isEmpty())
                query += '&';
            query += QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
        }
        url.setQuery(QString::fromLatin1(query));
    }

    QNetworkRequest request(url);
    request.setRawHeader("xi-api-key", m_key.toUtf8());
    request.setRawHeader("User-Agent", "BRCT Lorowen Pro");
    for (const auto& [name, value] : r.headers)
        request.setRawHeader(name, value);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    // The key header must never follow a redirect to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    request.setTransferTimeout(r.idleTimeout.value_or(m_timeouts.request));

    const std::unique_ptr<QNetworkReply> reply(
        r.body.isEmpty() ? session.sendCustomRequest(request, r.method)
                         : session.sendCustomRequest(request, r.method, r.body));
    QNetworkReply* const raw = reply.get();

    QEventLoop loop;
    QObject::connect(raw, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    bool overTime = false;
    QTimer total;
    total.setSingleShot(true);
    QObject::connect(&total, &QTimer::timeout, raw, [raw, &overTime] {
        overTime = true;
        raw->abort();
    });
    total.start(m_timeouts.total);
    // Runs on the thread that asks to stop; the abort itself happens on this one. A posted call
    // still pending when the reply goes away is discarded with it.
    bool cancelled = false;
    const std::stop_callback onStop(stop, [raw, &cancelled] {
        QMetaObject::invokeMethod(
            raw,
            [raw, &cancelled] {
                cancelled = true;
                raw->abort();
            },
            Qt::QueuedConnection);
    });
    if (!raw->isFinished())
        loop.exec();

    if (cancelled)
        throw BCCancelled();
    if (overTime)
        throw ELError::timedOut();
    const QNetworkReply::NetworkError error = raw->error();
    // Qt ends an exchange that went quiet for longer than the transfer time-out as cancelled;
    // this client cancels only through `stop`, handled above.
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
        throw ELError::timedOut();
    if (isTransportFailure(error))
        throw ELError::offline();
    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (error != QNetworkReply::NoError)
            throw ELError::offline();
        throw ELError::badResponse();
    }
    const int code = status.toInt();
    const QByteArray body = raw->readAll();
    if (code >= 200 && code <= 299) {
        if (error != QNetworkReply::NoError)
            throw ELError::badResponse();
        return body;
    }
    throw mapError(code, body);
}

ELError ELClient::mapError(int status, const QByteArray& body) {
    QString code;
    QString message;
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue detail = document.object().value(QStringLiteral("detail"));
    if (detail.isObject()) {
        const QJsonObject object = detail.toObject();
        const QJsonValue statusText = object.value(QStringLiteral("status"));
        code = statusText.isString() ? statusText.toString()
                                     : object.value(QStringLiteral("code")).toString();
        message = object.value(QStringLiteral("message")).toString();
    } else if (detail.isString()) {
        message = detail.toString();
    } else if (detail.isArray()) {
        message = detail.toArray().first().toObject().value(QStringLiteral("msg")).toString();
    }

    const QString said = (code + u' ' + message).toLower();
    for (const char* word : {"quota", "credit", "insufficient", "payment", "upgrade"}) {
        if (said.contains(QLatin1String(word)))
            return ELError::noCredits();
    }
    if (status == 401 || status == 403)
        return ELError::badKey();
    if (status == 402)
        return ELError::noCredits();
    if (status == 429)
        return ELError::rateLimited();
    if (status >= 500)
        return ELError::server(status);
    if (message.isEmpty())
        return ELError::rejected(QStringLiteral("error ") + QString::number(status));
    return ELError::rejected(firstCharacters(message, rejectedCharacters));
}

QList<ELVoice> ELClient::voices(std::stop_token stop) const {
    QNetworkAccessManager session;
    QList<ELVoice> all;
    QString token;
    for (int page = 0; page < maxVoicePages; ++page) {
        Request request;
        request.path = QStringLiteral("v2/voices");
        request.query = {{QStringLiteral("page_size"), QStringLiteral("100")},
                         {QStringLiteral("include_total_count"), QStringLiteral("false")}};
        if (page > 0)
            request.query.append({QStringLiteral("next_page_token"), token});
        request.idleTimeout = m_timeouts.lists;
        const std::optional<QString> next = parseVoicePage(exchange(session, request, stop), all);
        if (!next)
            break;
        token = *next;
    }
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(all.begin(), all.end(), [&collator](const ELVoice& a, const ELVoice& b) {
        return collator.compare(a.name, b.name) < 0;
    });
    return all;
}

QList<ELModel> ELClient::models(std::stop_token stop) const {
    Request request;
    request.path = QStringLiteral("v1/models");
    request.idleTimeout = m_timeouts.lists;
    return parseModels(send(request, stop));
}

TimedWords ELClient::transcribe(const QString& wavPath, const QString& model,
                                const QString& language, std::stop_token stop) const {
    QFile file(wavPath);
    if (!file.open(QIODevice::ReadOnly))
        throw BCError(QStringLiteral("Can't read the sound prepared for ElevenLabs Scribe (“%1”).")
                          .arg(QFileInfo(wavPath).fileName()),
                      file.errorString());
    const QString boundary =
        QStringLiteral("BRCT-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    Request request;
    request.method = "POST";
    request.path = QStringLiteral("v1/speech-to-text");
    request.headers = {{"Content-Type", "multipart/form-data; boundary=" + boundary.toLatin1()}};
    request.body = multipartBody(boundary, model, language, file);
    file.close();
    request.idleTimeout = m_timeouts.transcribe;
    return words(send(request, stop));
}

QByteArray ELClient::multipartBody(const QString& boundary, const QString& model,
                                   const QString& language, QIODevice& file) {
    const QByteArray dashes = "--" + boundary.toUtf8();
    QByteArray head;
    const auto field = [&](const char* name, const QString& value) {
        head += dashes + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
                value.toUtf8() + "\r\n";
    };
    field("model_id", model);
    field("timestamps_granularity", QStringLiteral("word"));
    field("tag_audio_events", QStringLiteral("false"));
    const QString code = languageField(language);
    if (!code.isEmpty())
        field("language_code", code);
    head += dashes + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"audio.wav\""
                     "\r\nContent-Type: audio/wav\r\n\r\n";
    const QByteArray tail = "\r\n" + dashes + "--\r\n";

    const auto unreadable = [&file] {
        return BCError(QStringLiteral("Can't read the sound prepared for ElevenLabs Scribe."),
                       file.errorString());
    };
    if (file.isSequential())
        return head + file.readAll() + tail;
    // Read straight into the body: a six-hour recording is held in memory once, not twice.
    const qint64 size = file.size() - file.pos();
    QByteArray body(head.size() + size + tail.size(), Qt::Uninitialized);
    std::copy(head.begin(), head.end(), body.begin());
    char* at = body.data() + head.size();
    qint64 left = size;
    while (left > 0) {
        const qint64 got = file.read(at, left);
        if (got <= 0)
            throw unreadable();
        at += got;
        left -= got;
    }
    std::copy(tail.begin(), tail.end(), body.begin() + head.size() + size);
    return body;
}

QByteArray ELClient::speak(const QString& text, const QString& voice, const QString& model,
                           int maxChars, std::stop_token stop) const {
    const int limit = std::max(200, maxChars - 50);
    const QStringList pieces = split(text, limit);
    if (pieces.isEmpty())
        return {};
    QNetworkAccessManager session;
    QByteArray mp3;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (stop.stop_requested())
            throw BCCancelled();
        QJsonObject body{{QStringLiteral("text"), pieces[i]}, {QStringLiteral("model_id"), model}};
        if (i > 0)
            body.insert(QStringLiteral("previous_text"),
                        lastCharacters(pieces[i - 1], contextCharacters));
        if (i + 1 < pieces.size())
            body.insert(QStringLiteral("next_text"),
                        firstCharacters(pieces[i + 1], contextCharacters));
        Request request;
        request.method = "POST";
        request.path = QStringLiteral("v1/text-to-speech/") +
                       QString::fromLatin1(QUrl::toPercentEncoding(voice));
        request.query = {{QStringLiteral("output_format"), QStringLiteral("mp3_44100_128")}};
        request.headers = {{"Content-Type", "application/json"}, {"Accept", "audio/mpeg"}};
        request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
        request.idleTimeout = m_timeouts.speak;
        mp3 += exchange(session, request, stop);
    }
    return mp3;
}
