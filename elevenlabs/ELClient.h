#pragma once

#include "Caption.h"
#include "ELError.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>
#include <stop_token>
#include <utility>

class QIODevice;
class QNetworkAccessManager;

// One voice of the user's ElevenLabs account.
struct ELVoice {
    QString id;
    QString name;
    QString category;                  // empty when the service gives none
    std::optional<QString> previewURL; // the service's sample of the voice

    friend bool operator==(const ELVoice&, const ELVoice&) = default;
    // Keyed object "id", "name", "category", "previewURL" (left out when none).
    QJsonObject toJson() const;
    // Needs "id" and "name" as texts.
    static std::optional<ELVoice> fromJson(const QJsonObject& object);
};

// One text-to-speech model.
struct ELModel {
    QString id;
    QString name;
    int maxChars = 5000; // characters the model takes in one request, at least 200

    friend bool operator==(const ELModel&, const ELModel&) = default;
    // Keyed object "id", "name", "maxChars".
    QJsonObject toJson() const;
    static std::optional<ELModel> fromJson(const QJsonObject& object);
};

// The application's only connection to the ElevenLabs API, with the user's own key.
//
// Every call is synchronous: it blocks its thread until the answer is in, running a private
// event loop for the exchange, and is meant for a job's worker thread (never the window's
// thread, which would stall). Calls on one client are independent and may run on several threads
// at once; each exchange uses a network session of its own that keeps nothing on disk: no
// cache, no cookies. A stop requested through `stop` aborts the exchange at once and throws
// BCCancelled; every other failure is an ELError (or, for a file that cannot be read, a BCError).
// The key is sent in a header and never appears in an error, a log or a URL.
class ELClient {
public:
    // Limits in milliseconds. `idle` limits are the longest wait for the next bytes of an
    // exchange; `total` limits a whole exchange.
    struct Timeouts {
        int request = 60000;     // idle limit of a request without its own
        int total = 1800000;     // any exchange
        int lists = 30000;       // voices and models
        int transcribe = 900000; // speech to text
        int speak = 120000;      // one piece of text to speech
    };

    // One prepared request: a path relative to the base address, query items (sent
    // percent-encoded), extra headers and a body.
    struct Request {
        QByteArray method = "GET";
        QString path;
        QList<std::pair<QString, QString>> query;
        QList<std::pair<QByteArray, QByteArray>> headers;
        QByteArray body;
        std::optional<int> idleTimeout; // `Timeouts::request` when none
    };

    explicit ELClient(QString key);
    ELClient(QString key, Timeouts timeouts);

    // The API's base address, ending in "/": $BRCT_ELEVENLABS_BASE when set (tests point it at
    // a local server), else https://api.elevenlabs.io/.
    static QUrl base();

    // Sends one request with the key and the application's User-Agent and returns the body of
    // a 2xx answer. Transport failures become `offline` or `timedOut`; other statuses mapError.
    QByteArray send(const Request& request, std::stop_token stop = {}) const;

    // The error for a non-success status and the answer's body.
    static ELError mapError(int status, const QByteArray& body);

    // Every voice of the account (up to 20 pages of 100), sorted by name for the current
    // locale, ignoring case; equal names keep the service's order.
    QList<ELVoice> voices(std::stop_token stop = {}) const;

    // The models that can do text to speech, in the service's order.
    QList<ELModel> models(std::stop_token stop = {}) const;

    // Uploads a WAV file to speech to text with a Scribe model and an optional language
    // ("en-US", "pt_BR"; empty for automatic) and returns the timed words. A file that cannot
    // be read fails before anything is sent.
    TimedWords transcribe(const QString& wavPath, const QString& model, const QString& language,
                          std::stop_token stop = {}) const;

    // The exact multipart/form-data upload body of transcribe, with `file` read to its end.
    // Throws BCError when the file cannot be read.
    static QByteArray multipartBody(const QString& boundary, const QString& model,
                                    const QString& language, QIODevice& file);

    // The timed words of a speech-to-text answer, sorted by start (stable).
    static TimedWords words(const QByteArray& body);

    // MP3 speech of `text` with a voice and a model whose limit is `maxChars` characters: the
    // text is cut into pieces of at most max(200, maxChars − 50) characters, spoken one after
    // another with the neighbouring text as context, and the MP3 streams are joined. Empty
    // text gives no bytes and sends nothing; any failing piece fails the whole.
    QByteArray speak(const QString& text, const QString& voice, const QString& model, int maxChars,
                     std::stop_token stop = {}) const;

    // `text` trimmed and cut into pieces of at most `max` user-perceived characters, between
    // sentences where possible, else at the last space, else anywhere.
    static QStringList split(const QString& text, int max);

private:
    // Adds the voices of one page of the voices answer to `voices`; returns the token of the
    // next page when there is one.
    static std::optional<QString> parseVoicePage(const QByteArray& body, QList<ELVoice>& voices);
    static QList<ELModel> parseModels(const QByteArray& body);
    // The first or last `count` user-perceived characters of `text`.
    static QString firstCharacters(const QString& text, qsizetype count);
    static QString lastCharacters(const QString& text, qsizetype count);

    QByteArray exchange(QNetworkAccessManager& session, const Request& request,
                        std::stop_token stop) const;

    QString m_key;
    Timeouts m_timeouts;
};
