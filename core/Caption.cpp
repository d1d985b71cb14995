#include "Caption.h"

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
    const QUuid uuid = QUuid::fromString(id.toString());
    if (uuid.isNull())
        return std::nullopt;
    return Caption{uuid, start.toDouble(), end.toDouble(), text.toString()};
}
