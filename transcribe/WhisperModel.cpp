#include "WhisperModel.h"

#include <QHash>

namespace {

WhisperModel whisperFile(const char* id, QString name, const char* file, qint64 bytes,
                         const char* sha256, QString note) {
    const QString fileName = QString::fromLatin1(file);
    return {QString::fromLatin1(id),
            std::move(name),
            fileName,
            bytes,
            QString::fromLatin1(sha256),
            WhisperModel::host() + QStringLiteral("/ggerganov/whisper.cpp/resolve/main/") +
                fileName,
            std::move(note)};
}

} // namespace

QString WhisperModel::host() {
    QString configured = qEnvironmentVariable("BRCT_WHISPER_MODEL_HOST");
    while (configured.endsWith(u'/'))
        configured.chop(1);
    return configured.isEmpty() ? QStringLiteral("https://huggingface.co") : configured;
}

QList<WhisperModel> WhisperModel::choices() {
    return {
        whisperFile("small-q5_1", QStringLiteral("Fast — Small"), "ggml-small-q5_1.bin", 190085487,
                    "ae85e4a935d7a567bd102fe55afc16bb595bdb618e11b2fc7591bc08120411bb",
                    QStringLiteral("Quicker, a few more mistakes. A 5-minute file takes about "
                                   "1–2½ minutes on a typical laptop. With Paste Lyrics every "
                                   "word is exact.")),
        whisperFile("large-v3-turbo-q5_0", QStringLiteral("Best quality — Large v3 Turbo"),
                    "ggml-large-v3-turbo-q5_0.bin", 574041195,
                    "394221709cd5ad1f40c46e6031ca61bce88931e6e088c188294c6d5a55ffa7e2",
                    QStringLiteral("Recommended (the default). Most accurate: fewest mistakes on "
                                   "dialogue and names. On a typical laptop a 5-minute file takes "
                                   "about 3–4 minutes; much faster on newer computers.")),
    };
}

WhisperModel WhisperModel::voiceDetector() {
    const QString file = QStringLiteral("ggml-silero-v5.1.2.bin");
    return {QStringLiteral("silero-vad"),
            QStringLiteral("Voice detector (Silero VAD)"),
            file,
            885098,
            QStringLiteral("29940d98d42b91fbd05ce489f3ecf7c72f0a42f027e4875919a28fb4c04ea2cf"),
            host() + QStringLiteral("/ggml-org/whisper-vad/resolve/main/") + file,
            QStringLiteral("Used by Song / Music mode.")};
}

QString WhisperModel::defaultID() {
    return QStringLiteral("large-v3-turbo-q5_0");
}

WhisperModel WhisperModel::byID(const QString& id) {
    const QList<WhisperModel> all = choices();
    for (const WhisperModel& model : all) {
        if (model.id == id)
            return model;
    }
    for (const WhisperModel& model : all) {
        if (model.id == defaultID())
            return model;
    }
    return all.last();
}

size_t qHash(const WhisperModel& m, size_t seed) noexcept {
    return qHashMulti(seed, m.id, m.name, m.file, m.bytes, m.sha256, m.urlString, m.note);
}
