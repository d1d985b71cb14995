// Reading the service's answers: voices, models and speech-to-text words.
#include "ELClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double shortestWord = 0.05; // seconds

// "maximum_text_length_per_request": 5000 unless it is a whole number; never below 200.
int characterLimit(const QJsonValue& value) {
    int limit = 5000;
    if (value.isDouble()) {
        const double v = value.toDouble();
        if (v == std::floor(v) && std::abs(v) <= double(std::numeric_limits<int>::max()))
            limit = int(v);
    }
    return std::max(limit, 200);
}

} // namespace

QJsonObject ELVoice::toJson() const {
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("category"), category}};
    if (previewURL)
        object.insert(QStringLiteral("previewURL"), *previewURL);
    return object;
}

std::optional<ELVoice> ELVoice::fromJson(const QJsonObject& object) {
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue name = object.value(QStringLiteral("name"));
    if (!id.isString() || !name.isString())
        return std::nullopt;
    ELVoice voice{id.toString(), name.toString(),
                  object.value(QStringLiteral("category")).toString(), std::nullopt};
    const QJsonValue preview = object.value(QStringLiteral("previewURL"));
    if (preview.isString())
        voice.previewURL = preview.toString();
    return voice;
}

QJsonObject ELModel::toJson() const {
    return {{QStringLiteral("id"), id},
            {QStringLiteral("name"), name},
            {QStringLiteral("maxChars"), maxChars}};
}

std::optional<ELModel> ELModel::fromJson(const QJsonObject& object) {
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue name = object.value(QStringLiteral("name"));
    if (!id.isString() || !name.isString())
        return std::nullopt;
    return ELModel{id.toString(), name.toString(),
                   characterLimit(object.value(QStringLiteral("maxChars")))};
}

std::optional<QString> ELClient::parseVoicePage(const QByteArray& body, QList<ELVoice>& voices) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue list = document.object().value(QStringLiteral("voices"));
    if (!document.isObject() || !list.isArray())
        throw ELError::badResponse();
    for (const QJsonValue& entry : list.toArray()) {
        const QJsonObject object = entry.toObject();
        const QJsonValue id = object.value(QStringLiteral("voice_id"));
        const QJsonValue name = object.value(QStringLiteral("name"));
        if (!id.isString() || !name.isString())
            continue;
        ELVoice voice{id.toString(), name.toString(),
                      object.value(QStringLiteral("category")).toString(), std::nullopt};
        const QJsonValue preview = object.value(QStringLiteral("preview_url"));
        if (preview.isString())
            voice.previewURL = preview.toString();
        voices.append(voice);
    }
    const QJsonObject page = document.object();
    const QJsonValue more = page.value(QStringLiteral("has_more"));
    const QJsonValue token = page.value(QStringLiteral("next_page_token"));
    // An empty token would ask for the first page again.
    if (more.isBool() && more.toBool() && token.isString() && !token.toString().isEmpty())
        return token.toString();
    return std::nullopt;
}

QList<ELModel> ELClient::parseModels(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isArray())
        throw ELError::badResponse();
    QList<ELModel> models;
    for (const QJsonValue& entry : document.array()) {
        const QJsonObject object = entry.toObject();
        const QJsonValue id = object.value(QStringLiteral("model_id"));
        const QJsonValue speaks = object.value(QStringLiteral("can_do_text_to_speech"));
        if (!id.isString() || !speaks.isBool() || !speaks.toBool())
            continue;
        const QJsonValue name = object.value(QStringLiteral("name"));
        models.append(ELModel{
            id.toString(), name.isString() ? name.toString() : id.toString(),
            characterLimit(object.value(QStringLiteral("maximum_text_length_per_request")))});
    }
    return models;
}

TimedWords ELClient::words(const QByteArray& body) {
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        throw ELError::badResponse();
    const QJsonObject answer = document.object();

    QJsonArray entries;
    const QJsonValue direct = answer.value(QStringLiteral("words"));
    const QJsonValue transcripts = answer.value(QStringLiteral("transcripts"));
    if (direct.isArray()) {
        entries = direct.toArray();
    } else if (transcripts.isArray()) {
        // One transcript per channel when the audio was sent as several.
        for (const QJsonValue& transcript : transcripts.toArray()) {
            for (const QJsonValue& entry :
                 transcript.toObject().value(QStringLiteral("words")).toArray())
                entries.append(entry);
        }
    } else {
        throw ELError::badResponse();
    }

    TimedWords words;
    for (const QJsonValue& value : entries) {
        const QJsonObject entry = value.toObject();
        const QJsonValue type = entry.value(QStringLiteral("type"));
        if (type.isString() && type.toString() != QLatin1String("word"))
            continue; // "spacing", "audio_event" and anything newer
        const QJsonValue text = entry.value(QStringLiteral("text"));
        const QJsonValue start = entry.value(QStringLiteral("start"));
        const QJsonValue end = entry.value(QStringLiteral("end"));
        if (!text.isString() || !start.isDouble() || !end.isDouble())
            continue;
        const QString stripped = text.toString().trimmed();
        if (stripped.isEmpty())
            continue;
        const double from = start.toDouble();
        const double length = end.toDouble() - from;
        // The service's natural-log probability of the word, where it sends one.
        const QJsonValue logprob = entry.value(QStringLiteral("logprob"));
        const double confidence =
            logprob.isDouble() && logprob.toDouble() <= 0 ? std::exp(logprob.toDouble()) : -1.0;
        words.append(
            TimedWord{stripped, from, length > shortestWord ? length : shortestWord, confidence});
    }
    std::stable_sort(words.begin(), words.end(),
                     [](const TimedWord& a, const TimedWord& b) { return a.start < b.start; });
    return words;
}
