#include "Caption.h"

#include <QRandomGenerator>
#include <array>

QJsonObject Caption::toJson() const {
    return QJsonObject{{"id", id.toString(QUuid::WithoutBraces).toUpper()},
                       {"start", start},
                       {"end", end},
                       {"text", text}};
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
    return Caption{uuid, start.toDouble(), end.toDouble(), text.toString()};
}

QUuid Caption::newId() {
    std::array<quint32, 4> words{};
    QRandomGenerator::global()->fillRange(words.data(), words.size());
    QByteArray bytes(reinterpret_cast<const char*>(words.data()), 16);
    bytes[6] = char((bytes[6] & 0x0F) | 0x40); // version 4
    bytes[8] = char((bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return QUuid::fromRfc4122(bytes);
}
