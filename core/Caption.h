#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>
#include <utility>

// How sure the recogniser was of one word of a caption's text: the word as it stood when it was
// heard, where it starts in the text (UTF-16 index), and a probability from 0 to 1.
struct WordConfidence {
    int at = 0;
    QString word;
    float value = 1;

    friend bool operator==(const WordConfidence&, const WordConfidence&) = default;
};

// One caption. Times are seconds from the start of the media; `text` may hold one line feed.
// Identity (lists, selection) is `id`; equality compares every field.
struct Caption {
    Caption() = default;
    Caption(QUuid id_, double start_, double end_, QString text_,
            QList<WordConfidence> confidence_ = {})
        : id(id_), start(start_), end(end_), text(std::move(text_)),
          confidence(std::move(confidence_)) {}

    QUuid id;
    double start = 0;
    double end = 0;
    QString text;
    // The recogniser's confidence in the words of `text` it made (empty for captions it didn't).
    QList<WordConfidence> confidence;

    static Caption make(double start, double end, QString text) {
        return Caption{newId(), start, end, std::move(text)};
    }

    // A fresh random (version 4) identifier. Drawn from Qt's seeded generator rather than the
    // system source: identifiers need to be unique, not secret, and files of 50,000 cues make as
    // many of them.
    static QUuid newId();

    friend bool operator==(const Caption&, const Caption&) = default;

    // The words of `confidence` that still stand where they were in `text` (an edit elsewhere
    // may have moved them: see CaptionMath::carryConfidence).
    QList<WordConfidence> standingConfidence() const;

    // Keyed object "id", "start", "end", "text", and "confidence" (an array of [at, word, value]
    // triples) when there is any. Reading needs the first four keys with their types; other
    // keys are ignored, and a malformed "confidence" is dropped without losing the caption.
    QJsonObject toJson() const;
    static std::optional<Caption> fromJson(const QJsonObject& object);
};

using Captions = QList<Caption>;

// One recognised word; it ends at start + duration.
struct TimedWord {
    TimedWord() = default;
    TimedWord(QString text_, double start_, double duration_, double confidence_ = -1)
        : text(std::move(text_)), start(start_), duration(duration_), confidence(confidence_) {}

    QString text;
    double start = 0;
    double duration = 0;
    double confidence = -1; // probability 0–1 that the word is right; below 0 when unknown

    double end() const { return start + duration; }
    friend bool operator==(const TimedWord&, const TimedWord&) = default;
};

using TimedWords = QList<TimedWord>;
