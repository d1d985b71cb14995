// One whisper-cli run: the private folder with the speech, the child process and its two
// streams, cancellation, and the result.
#include "WhisperEngine.h"

#include "BCAudio.h"
#include "BCChildProcess.h"
#include "BCError.h"
#include "WhisperModels.h"
#include "WhisperOutput.h"
#include "WhisperVocab.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace WhisperEngine {

namespace {

constexpr int sampleRate = 16000;

BCError engineError(int status, const WhisperOutput& output) {
    return BCError(QStringLiteral("The Whisper engine stopped with an error (%1). %2")
                       .arg(status)
                       .arg(output.lastLines())
                       .trimmed());
}

// Tokens whisper-cli will make of the prompt, read from the model's own table; nothing when
// the table can't be read (arguments() then falls back to the prompt's byte count).
std::optional<int> promptTokens(const QString& modelPath, const Options& options) {
    if (!options.song)
        return std::nullopt;
    const QString prompt = effectivePrompt(options);
    if (prompt.isEmpty())
        return std::nullopt;
    try {
        return WhisperVocab::load(modelPath).count(prompt);
    } catch (const BCError&) {
        return std::nullopt;
    }
}

} // namespace

bool isResult(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    return error.error == QJsonParseError::NoError && document.isObject() &&
           document.object().value(QStringLiteral("transcription")).isArray();
}

TimedWords transcribe(std::span<const float> samples, const Options& options, bool refine,
                      std::stop_token stop, const Progress& progress) {
    const std::optional<QString> cli = cliURL();
    if (!cli)
        throw BCError(QStringLiteral(
            "The Whisper engine is missing from the app. Please reinstall BRCT Lorowen Pro."));
    const QString models = WhisperModels::folder();
    if (!WhisperModels::isInstalled(options.model, models))
        throw BCError(QStringLiteral("The %1 model isn't downloaded yet. Open Settings (Ctrl+,) > "
                                     "Transcription engine to download it.")
                          .arg(options.model.name));
    std::optional<QString> vad;
    const WhisperModel detector = WhisperModel::voiceDetector();
    if (options.song && WhisperModels::isInstalled(detector, models))
        vad = QDir(models).filePath(detector.file);

    // Private to this user (0700): it holds the person's speech. Removed on every path.
    QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("brct-lw-whisper-XXXXXX")));
    if (!folder.isValid())
        throw BCError(QStringLiteral("A temporary folder for the Whisper engine couldn't be made."),
                      folder.errorString());
    const QString wav = folder.filePath(QStringLiteral("in.wav"));
    const QString out = folder.filePath(QStringLiteral("out"));
    BCAudio::writeWAV(samples, sampleRate, wav);
    if (stop.stop_requested())
        throw BCCancelled();

    const QString modelPath = QDir(models).filePath(options.model.file);
    WhisperOutput output(double(samples.size()) / sampleRate);
    const auto report = [&](std::optional<double> fraction) {
        if (fraction && progress)
            progress(*fraction);
    };
    const int status = BCChildProcess::run(
        *cli, arguments(modelPath, wav, out, options, vad, promptTokens(modelPath, options)),
        {.out = [&](const QByteArray& piece) { report(output.feedStdout(piece)); },
         .err = [&](const QByteArray& piece) { report(output.feedStderr(piece)); }},
        stop, QStringLiteral("The Whisper engine couldn't be started."));
    if (status != 0)
        throw engineError(status, output);
    QFile result(out + QStringLiteral(".json"));
    if (output.sawError() || !result.open(QIODevice::ReadOnly))
        throw engineError(0, output);
    const QByteArray json = result.readAll();
    if (!isResult(json))
        throw engineError(0, output);

    if (progress)
        progress(1.0);
    TimedWords words = parse(json);
    if (refine && !options.song)
        words = snapToSpeech(words, samples, sampleRate);
    return words;
}

} // namespace WhisperEngine
