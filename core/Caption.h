#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

// One caption. Times are seconds from the start of the media; `text` may hold one line feed.
// Identity (lists, selection) is `id`; equality compares every field.
struct Caption {
    QUuid id;
    double start = 0;
    double end = 0;
    QString text;

    static Caption make(double start, double end, QString text) {
        return Caption{newId(), start, end, std::move(text)};
    }

    // A fresh random (version 4) identifier. Drawn from Qt's seeded generator rather than the
    // system source: identifiers need to be unique, not secret, and files of 50,000 cues make as
    // many of them.
    static QUuid newId();

    friend bool operator==(const Caption&, const Caption&) = default;

    // Keyed object "id", "start", "end", "text". Reading needs all four keys with their types.
    QJsonObject toJson() const;
    static std::optional<Caption> fromJson(const QJsonObject& object);
};

using Captions = QList<Caption>;

// One recognised word; it ends at start + duration.
struct TimedWord {
    QString text;
    double start = 0;
    double duration = 0;

    double end() const { return start + duration; }
    friend bool operator==(const TimedWord&, const TimedWord&) = default;
};

using TimedWords = QList<TimedWord>;
