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

struct Attempt {
    int status = 0;                 // -1 after a crash
    QString log;                    // the last lines of the error stream
    std::optional<QByteArray> json; // the result, when the run gave one
};

BCError engineError(const Attempt& attempt) {
    return BCError(QStringLiteral("The Whisper engine stopped with an error (%1). %2")
                       .arg(attempt.status)
                       .arg(attempt.log)
                       .trimmed());
}

// A failed graphics-card run in a few words, from what ggml's Vulkan backend prints (its
// uncaught vk::DeviceLostError or vk::OutOfDeviceMemoryError, "Device memory allocation of size
// N failed.") or the exit status.
QString gpuFailureReason(const Attempt& attempt) {
    const QString log = attempt.log.toLower();
    if (log.contains(QStringLiteral("devicelost")) || log.contains(QStringLiteral("device lost")))
        return QStringLiteral("the device was lost");
    if (log.contains(QStringLiteral("outofdevicememory")) ||
        log.contains(QStringLiteral("outofhostmemory")) ||
        log.contains(QStringLiteral("out of memory")) ||
        log.contains(QStringLiteral("memory allocation of size")) ||
        log.contains(QStringLiteral("failed to allocate")))
        return QStringLiteral("out of memory");
    if (attempt.status == -1)
        return QStringLiteral("it crashed");
    if (attempt.status != 0)
        return QStringLiteral("exit status %1").arg(attempt.status);
    return QStringLiteral("no result");
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
                      std::stop_token stop, const Progress& progress, Outcome* outcome) {
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
    const std::optional<int> tokens = promptTokens(modelPath, options);
    const QString json = out + QStringLiteral(".json");
    // One run of `program`: the result, or the failure with the status and the log.
    const auto runOn = [&](const QString& program, const Options& runOptions,
                           const QStringList& environment) -> Attempt {
        QFile::remove(json); // never the result of an earlier run
        WhisperOutput output(double(samples.size()) / sampleRate);
        const auto report = [&](std::optional<double> fraction) {
            if (fraction && progress)
                progress(*fraction);
        };
        const int status = BCChildProcess::run(
            program, arguments(modelPath, wav, out, runOptions, vad, tokens),
            {.out = [&](const QByteArray& piece) { report(output.feedStdout(piece)); },
             .err = [&](const QByteArray& piece) { report(output.feedStderr(piece)); }},
            stop, QStringLiteral("The Whisper engine couldn't be started."), environment);
        Attempt attempt{status, output.lastLines(), {}};
        QFile result(json);
        if (status == 0 && !output.sawError() && result.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = result.readAll();
            if (isResult(bytes))
                attempt.json = bytes;
        }
        return attempt;
    };

    Outcome ran;
    std::optional<QByteArray> result;
    const std::optional<QString> gpuCli = options.gpu ? cliURL(true) : std::nullopt;
    if (gpuCli) {
        try {
            // Pointed at the chosen device: ggml alone would skip a virtual GPU or a CPU type.
            const Attempt onCard =
                runOn(*gpuCli, options,
                      {QStringLiteral("GGML_VK_VISIBLE_DEVICES=%1").arg(options.gpu->index)});
            if (onCard.json) {
                result = onCard.json;
                ran.gpu = options.gpu;
            } else {
                ran.gpuFailure = gpuFailureReason(onCard);
            }
        } catch (const BCError&) {
            ran.gpuFailure = QStringLiteral("it couldn't be started");
        }
    }
    if (!result) {
        Options onProcessor = options;
        onProcessor.gpu.reset();
        const Attempt attempt = runOn(*cli, onProcessor, {});
        if (!attempt.json)
            throw engineError(attempt);
        result = attempt.json;
    }
    if (outcome)
        *outcome = ran;

    if (progress)
        progress(1.0);
    TimedWords words = parse(*result);
    if (refine && !options.song)
        words = snapToSpeech(words, samples, sampleRate);
    return words;
}

} // namespace WhisperEngine
