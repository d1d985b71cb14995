#include "Caption.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <array>
#include <cmath>

namespace {

QJsonArray confidenceJson(const QList<WordConfidence>& words) {
    QJsonArray list;
    for (const WordConfidence& w : words)
        list.append(QJsonArray{w.at, w.word, std::round(double(w.value) * 1000) / 1000});
    return list;
}

// Every triple must be well formed, or none is kept: a half-read list would mark the wrong words.
QList<WordConfidence> confidenceFromJson(const QJsonValue& value) {
    QList<WordConfidence> words;
    for (const QJsonValue& entry : value.toArray()) {
        const QJsonArray triple = entry.toArray();
        if (triple.size() != 3 || !triple[0].isDouble() || !triple[1].isString() ||
            !triple[2].isDouble())
            return {};
        const double at = triple[0].toDouble();
        const double p = triple[2].toDouble();
        if (at < 0 || at > 1e9 || at != std::floor(at) || !(p >= 0 && p <= 1))
            return {};
        words.append({int(at), triple[1].toString(), float(p)});
    }
    return words;
}

} // namespace

QJsonObject Caption::toJson() const {
    QJsonObject object{{"id", id.toString(QUuid::WithoutBraces).toUpper()},
                       {"start", start},
                       {"end", end},
                       {"text", text}};
    if (!confidence.isEmpty())
        object.insert(QStringLiteral("confidence"), confidenceJson(confidence));
    return object;
}

QList<WordConfidence> Caption::standingConfidence() const {
    QList<WordConfidence> standing;
    for (const WordConfidence& w : confidence) {
        if (!w.word.isEmpty() && QStringView(text).mid(w.at, w.word.size()) == w.word)
            standing.append(w);
    }
    return standing;
}

std::optional<Caption> Caption::fromJson(const QJsonObject& object) {
    const auto id = object.value("id");
    const auto start = object.value("start");
    const auto end = object.value("end");
    const auto text = object.value("text");
    if (!id.isString() || !start.isDouble() || !end.isDouble() || !text.isString())
        return std::nullopt;
    // QUuid::fromString ignores whatever follows 32 well-placed digits and gives the nil UUID for
    // bad text, so the text must read back as the UUID's own 8-4-4-4-12 form (nil included).
    const QString idText = id.toString();
    const QUuid uuid = QUuid::fromString(idText);
    if (idText.compare(uuid.toString(QUuid::WithoutBraces), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return Caption{uuid, start.toDouble(), end.toDouble(), text.toString(),
                   confidenceFromJson(object.value("confidence"))};
}

QUuid Caption::newId() {
    std::array<quint32, 4> words{};
    QRandomGenerator::global()->fillRange(words.data(), words.size());
    QByteArray bytes(reinterpret_cast<const char*>(words.data()), 16);
    bytes[6] = char((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = char((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return QUuid::fromRfc4122(bytes);
}
