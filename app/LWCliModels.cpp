#include "BCError.h"
#include "BCPreferences.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "WhisperDevices.h"
#include "WhisperEngine.h"
#include "WhisperModels.h"

#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <optional>

namespace LWCli {

namespace {

// Every record of the catalog: the choices, then the voice detector.
QList<WhisperModel> catalog() {
    return WhisperModel::choices() << WhisperModel::voiceDetector();
}

std::optional<WhisperModel> recordFor(const QString& id) {
    for (const WhisperModel& model : catalog()) {
        if (model.id == id)
            return model;
    }
    return std::nullopt;
}

QString knownIds() {
    QStringList ids;
    for (const WhisperModel& model : catalog())
        ids.append(model.id);
    return ids.join(QStringLiteral(", "));
}

void printLine(const QString& text) {
    std::printf("%s\n", text.toUtf8().constData());
}

// The Vulkan devices found, each with its type and whether Whisper uses it, then the device
// a transcription with --device auto runs on.
void listDevices(const WhisperModels& models) {
    const QList<WhisperDevices::Device>& devices = WhisperDevices::found();
    const bool acceptCpu = WhisperDevices::acceptCpuFromEnvironment();
    const bool installed = WhisperEngine::cliURL(true).has_value();
    const std::optional<WhisperDevices::Device> chosen = WhisperDevices::choose(
        WhisperDevices::Want::automatic, models.useGPU(), devices, acceptCpu, installed);
    printLine(devices.isEmpty() ? QStringLiteral("Graphics cards (Vulkan): none found")
                                : QStringLiteral("Graphics cards (Vulkan):"));
    for (const WhisperDevices::Device& device : devices) {
        QString use = QStringLiteral("used");
        if (const std::optional<QString> why = WhisperDevices::whyNot(device, acceptCpu))
            use = QStringLiteral("not used: %1").arg(*why);
        else if (!installed)
            use = QStringLiteral("not used: the graphics-card engine isn't installed");
        else if (!chosen || chosen->index != device.index)
            use = models.useGPU() ? QStringLiteral("not used: another card is")
                                  : QStringLiteral("not used: turned off in Settings");
        printLine(QStringLiteral("  %1  %2  %3")
                      .arg(device.name, -32)
                      .arg(WhisperDevices::kindName(device.kind), -15)
                      .arg(use));
    }
    printLine(QStringLiteral("Whisper runs on: %1")
                  .arg(chosen ? QStringLiteral("the graphics card (%1)").arg(chosen->name)
                              : QStringLiteral("the processor")));
}

int list(const WhisperModels& models) {
    for (const WhisperModel& model : catalog()) {
        const bool chosen = model.id == models.modelID();
        printLine(QStringLiteral("%1 %2  %3  %4  %5")
                      .arg(chosen ? QStringLiteral("*") : QStringLiteral(" "))
                      .arg(model.id, -20)
                      .arg(model.name, -30)
                      .arg(WhisperModels::byteCount(model.bytes), 9)
                      .arg(models.installed(model) ? QStringLiteral("installed")
                                                   : QStringLiteral("not downloaded")));
    }
    printLine(QStringLiteral("Folder: %1").arg(WhisperModels::folder()));
    listDevices(models);
    return ok;
}

// Downloads on a local event loop; Ctrl+C stops the transfer and keeps the ".part" file, so
// the next download resumes it.
int download(WhisperModels& models, const WhisperModel& model) {
    if (models.installed(model)) {
        printLine(QStringLiteral("%1 is already installed.").arg(model.name));
        return ok;
    }
    LWCliProgress progress;
    progress.update(QStringLiteral("Downloading %1…").arg(model.name), 0);
    std::stop_source stop;
    QEventLoop loop;
    std::exception_ptr error;
    bool finished = false;
    QTimer interrupt;
    QObject::connect(&interrupt, &QTimer::timeout, [&] {
        if (interruptRequested())
            stop.request_stop();
    });
    interrupt.start(100);
    models.ensure(
        {model}, [&](double fraction, const QString& text) { progress.update(text, fraction); },
        [&](std::exception_ptr e) {
            error = e;
            finished = true;
            loop.quit();
        },
        stop.get_token());
    if (!finished)
        loop.exec();
    progress.finish();
    if (!error) {
        printLine(QStringLiteral("%1 is installed.").arg(model.name));
        return ok;
    }
    try {
        std::rethrow_exception(error);
    } catch (const BCCancelled&) {
        printError(QStringLiteral("Download stopped. Run the same command again to resume it."));
        return interrupted;
    } catch (const BCError& e) {
        printError(e.message());
    }
    return failed;
}

int modelsCommandRun(const Command& self, const QStringList& args) {
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args, {}, {}, parsed, status))
        return status;
    const std::unique_ptr<BCPreferences> preferences = BCPreferences::user(false);
    WhisperModels models(*preferences);
    const QStringList& words = parsed.positional;
    if (words.isEmpty())
        return list(models);
    const QString& action = words.first();
    if (action != QStringLiteral("download") && action != QStringLiteral("remove"))
        return usageError(self, QStringLiteral("unknown models action %1").arg(action));
    if (words.size() != 2)
        return usageError(self, QStringLiteral("models %1 takes one model id").arg(action));
    const auto model = recordFor(words[1]);
    if (!model) {
        return usageError(self,
                          QStringLiteral("unknown model %1 (known: %2)").arg(words[1], knownIds()));
    }
    if (action == QStringLiteral("download"))
        return download(models, *model);
    models.remove(*model);
    printLine(models.status().value_or(QString()));
    return ok;
}

} // namespace

Command modelsCommand() {
    return {QStringLiteral("models"), QStringLiteral("[download ID | remove ID]"),
            QStringLiteral(
                "Lists the Whisper models with their state (* marks the chosen one) and the\n"
                "graphics cards found (Vulkan: name, type, used or not), downloads\n"
                "one (checked by size and SHA-256; Ctrl+C stops and the next download resumes),\n"
                "or removes one from the models folder."),
            modelsCommandRun};
}

} // namespace LWCli
