#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// One downloadable ggml model of the fixed catalog. Plain value; equal when every field is.
struct WhisperModel {
    QString id;        // stable identifier, stored in preferences
    QString name;      // display name, used in every status sentence
    QString file;      // file name, in the repository and in the models folder
    qint64 bytes = 0;  // exact size of the file
    QString sha256;    // 64 lower-case hex digits
    QString urlString; // full address of the file
    QString note;      // one-line description

    friend bool operator==(const WhisperModel&, const WhisperModel&) = default;

    // What the user picks from, in order: Small, then Large v3 Turbo.
    static QList<WhisperModel> choices();
    // The Silero voice detector that song mode uses; not in `choices`.
    static WhisperModel voiceDetector();
    // The record of `choices` with that id; any other id (the voice detector's, an empty one)
    // gives the Large v3 Turbo record.
    static WhisperModel byID(const QString& id);
    static QString defaultID();

    // The host of the public model repositories: $BRCT_WHISPER_MODEL_HOST without a trailing
    // "/" when set (tests point it at a local server), else https://huggingface.co. Read each
    // time a record is made.
    static QString host();
};

size_t qHash(const WhisperModel& model, size_t seed = 0) noexcept;
