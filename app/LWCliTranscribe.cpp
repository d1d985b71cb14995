// lorowen-cli transcribe: the window's transcription (Whisper, the offline recogniser or
// ElevenLabs Scribe) and its Paste Lyrics alignment without a window, through the same
// pipeline. It always replaces (there is nothing to ask about), downloads a missing model only
// when told to, and writes no preferences and no autosave.
#include "BCError.h"
#include "BCMediaOpener.h"
#include "BCPreferences.h"
#include "BCText.h"
#include "ELKeyStore.h"
#include "ELSettings.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "LWFormats.h"
#include "LWTranscription.h"
#include "LyricAlign.h"
#include "WhisperModels.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <cstdio>

namespace LWCli {

namespace {

struct Output {
    QString path;
    LWFormats::TextKind kind;
};

// The catalog ids a person can pick.
QString knownModels() {
    QStringList ids;
    for (const WhisperModel& model : WhisperModel::choices())
        ids.append(model.id);
    return ids.join(QStringLiteral(", "));
}

// Opens the file, runs the transcription and writes every output; the exit status.
int transcribeFile(const QString& path, LWTranscription::Request request,
                   const LWTranscription::Services& services,
                   const LWTranscription::DownloadQuestion& ask, const QList<Output>& outputs,
                   bool timestamps) {
    LWCliProgress progress;
    const LWTranscription::Status report = [&progress](const QString& text,
                                                       std::optional<double> fraction) {
        progress.update(text, fraction.value_or(-1));
    };
    return runStoppable(progress, [&](std::stop_token stop) {
        report(QStringLiteral("Opening %1…").arg(QFileInfo(path).fileName()), std::nullopt);
        // The sound is read from the file itself: no playable copy is made for a job that
        // never plays it.
        const BCOpenedMedia media = BCMediaOpener::openOriginal(path, stop);
        if (!media.hasAudio)
            throw BCError(request.lyrics
                              ? QStringLiteral("This file has no audio to align the lyrics to.")
                              : QStringLiteral("This file has no audio to transcribe."));
        request.asset = media.asset;
        request.duration = media.duration;
        const LWTranscription::Result result =
            LWTranscription::run(request, services, report, ask, {}, stop);
        progress.finish();
        if (result.captions.isEmpty()) {
            printError(result.note);
            return int(failed);
        }
        for (const Output& output : outputs) {
            const int written = writeOutput(
                output.path, LWFormats::text(output.kind, result.captions, timestamps), progress);
            if (written != ok)
                return written;
        }
        std::printf("%s\n", result.note.toUtf8().constData());
        std::fflush(stdout);
        return int(ok);
    });
}

int transcribeRun(const Command& self, const QStringList& args) {
    // "-o FILE" may be given several times; the other options go through the common parser.
    QStringList rest;
    QList<Output> outputs;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] != QStringLiteral("-o")) {
            rest.append(args[i]);
            continue;
        }
        if (i + 1 >= args.size())
            return usageError(self, QStringLiteral("-o needs a file"));
        const QString path = args[++i];
        const auto kind = LWFormats::kindForPath(path);
        if (!kind || !LWFormats::isPlain(*kind))
            return usageError(
                self, QStringLiteral("the output “%1” must end in .srt, .vtt or .txt").arg(path));
        outputs.append({path, *kind});
    }
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, rest, transcribeValued() << QStringLiteral("--lyrics"), transcribeFlags(),
                   parsed, status))
        return status;
    if (parsed.positional.size() != 1)
        return usageError(self, QStringLiteral("transcribe takes one media file"));
    if (outputs.isEmpty())
        return usageError(self, QStringLiteral("give at least one output with -o"));
    const QString path = parsed.positional[0];

    // The application's preferences, read as the window reads them and never written.
    const std::unique_ptr<BCPreferences> preferences = BCPreferences::user(false);
    WhisperModels models(*preferences);
    TranscribeSetup setup;
    if (!transcribeSetup(self, parsed.options, parsed.flags, *preferences, models, setup, status))
        return status;
    LWTranscription::Request& request = setup.request;
    if (parsed.options.contains(QStringLiteral("--lyrics"))) {
        const QString lyricsPath = parsed.options.value(QStringLiteral("--lyrics"));
        QFile file(lyricsPath);
        LWCliProgress progress;
        if (!file.open(QIODevice::ReadOnly))
            return cannotRead(lyricsPath, progress);
        request.lyrics = BCText::decode(file.readAll());
        if (LyricAlign::lyricWords(*request.lyrics).words.isEmpty()) {
            printError(QStringLiteral("“%1” holds no lyrics (one line per caption; labels such "
                                      "as [Chorus] are skipped).")
                           .arg(QFileInfo(lyricsPath).fileName()));
            return int(failed);
        }
    }
    std::unique_ptr<ELKeyStore> keys;
    if (request.engine == LWEngine::scribe)
        keys = ELKeyStore::system();
    const LWTranscription::Services services{models, keys.get()};
    return transcribeFile(path, request, services,
                          downloadQuestion(setup.download, request.modelID), outputs,
                          setup.timestamps);
}

} // namespace

QStringList transcribeValued() {
    return {QStringLiteral("--model"), QStringLiteral("--language"), QStringLiteral("--engine"),
            QStringLiteral("--device")};
}

QStringList transcribeFlags() {
    return {QStringLiteral("--song"), QStringLiteral("--download"), QStringLiteral("--timestamps")};
}

bool transcribeSetup(const Command& self, const QHash<QString, QString>& options,
                     const QStringList& flags, const BCPreferences& preferences,
                     const WhisperModels& models, TranscribeSetup& setup, int& status) {
    const auto refuse = [&](const QString& problem) {
        status = usageError(self, problem);
        return false;
    };
    const QString engineName = options.value(QStringLiteral("--engine"), QStringLiteral("whisper"));
    const QHash<QString, LWEngine> engines{{QStringLiteral("whisper"), LWEngine::whisper},
                                           {QStringLiteral("speech"), LWEngine::offline},
                                           {QStringLiteral("scribe"), LWEngine::scribe}};
    if (!engines.contains(engineName))
        return refuse(
            QStringLiteral("unknown engine %1 (known: whisper, speech, scribe)").arg(engineName));
    const LWEngine engine = engines.value(engineName);
    const bool aligning = options.contains(QStringLiteral("--lyrics"));
    const bool song = flags.contains(QStringLiteral("--song"));
    if (engine == LWEngine::scribe && (song || aligning))
        return refuse(QStringLiteral("--song and --lyrics work with the Whisper engine only"));
    if (engine == LWEngine::offline && aligning)
        return refuse(QStringLiteral("--lyrics lines up with Whisper's hearing of the song; leave "
                                     "out --engine speech"));

    LWTranscription::Request& request = setup.request;
    request.engine = engine;
    // Lyrics are heard in song mode, as in the window.
    request.song = aligning || song;
    request.modelID = models.modelID();
    if (options.contains(QStringLiteral("--model")) && engine != LWEngine::scribe) {
        request.modelID = options.value(QStringLiteral("--model"));
        bool known = false;
        for (const WhisperModel& model : WhisperModel::choices())
            known = known || model.id == request.modelID;
        if (!known)
            return refuse(
                QStringLiteral("unknown model %1 (known: %2)").arg(request.modelID, knownModels()));
    }
    request.scribeModel = preferences.value(BCPref::scribeModel).toString();
    if (request.scribeModel.isEmpty())
        request.scribeModel = QLatin1String(ELSettings::defaultScribeModel);
    if (engine == LWEngine::scribe) {
        const QString scribeModels = QStringLiteral("scribe_v2, scribe_v1");
        request.scribeModel = options.value(QStringLiteral("--model"), request.scribeModel);
        if (!scribeModels.split(QStringLiteral(", ")).contains(request.scribeModel))
            return refuse(QStringLiteral("unknown Scribe model %1 (known: %2)")
                              .arg(request.scribeModel, scribeModels));
    }
    // The window's spoken language unless one is given; none at all lets Whisper detect it.
    request.language =
        options.value(QStringLiteral("--language"), preferences.value(BCPref::language).toString());
    if (engine == LWEngine::offline && request.language.isEmpty())
        request.language = QStringLiteral("en-US");
    request.markSpeakers = preferences.flag(BCPref::markSpeakers, true);

    // auto follows the window's preference; gpu is refused here, before the file is read, when
    // no graphics card can be used.
    const QString deviceName = options.value(QStringLiteral("--device"), QStringLiteral("auto"));
    const QHash<QString, WhisperDevices::Want> devices{
        {QStringLiteral("auto"), WhisperDevices::Want::automatic},
        {QStringLiteral("gpu"), WhisperDevices::Want::gpu},
        {QStringLiteral("cpu"), WhisperDevices::Want::cpu}};
    if (!devices.contains(deviceName))
        return refuse(QStringLiteral("unknown device %1 (known: auto, gpu, cpu)").arg(deviceName));
    if (engine != LWEngine::whisper && deviceName != QStringLiteral("auto"))
        return refuse(QStringLiteral("--device works with the Whisper engine only"));
    request.device = devices.value(deviceName);
    request.useGPU = models.useGPU();
    if (engine == LWEngine::whisper && request.device == WhisperDevices::Want::gpu) {
        try {
            LWTranscription::whisperDevice(request);
        } catch (const BCError& e) {
            printError(e.message());
            status = failed;
            return false;
        }
    }
    setup.engineName = engineName;
    setup.download = flags.contains(QStringLiteral("--download"));
    setup.timestamps = flags.contains(QStringLiteral("--timestamps"));
    return true;
}

LWTranscription::DownloadQuestion downloadQuestion(bool download, const QString& modelID) {
    return [download, modelID](const QString&, const QString&) {
        if (download)
            return true;
        const WhisperModel model = WhisperModel::byID(modelID);
        if (WhisperModels::isInstalled(model, WhisperModels::folder()))
            throw BCError(QStringLiteral("Song mode's voice detector isn't downloaded yet. Add "
                                         "--download to fetch it."));
        throw BCError(QStringLiteral("The %1 model isn't downloaded yet. Run “lorowen-cli models "
                                     "download %2” first, or add --download.")
                          .arg(model.name, model.id));
    };
}

Command transcribeCommand() {
    return {QStringLiteral("transcribe"),
            QStringLiteral("MEDIA -o OUT.srt [-o OUT.vtt …] [--engine whisper|speech|scribe] "
                           "[--model ID] [--language en-US] [--song] [--lyrics LYRICS.txt] "
                           "[--device auto|gpu|cpu] [--download] [--timestamps]"),
            QStringLiteral(
                "Turns the speech in a video or audio file into captions with Whisper (or with\n"
                "--engine speech, the offline PocketSphinx recogniser) and writes them as SRT,\n"
                "VTT or TXT (by extension; --timestamps puts times into TXT). --song pulls the\n"
                "vocal out of music first. --lyrics times the lines of a text file word by word\n"
                "against the song. A missing model is downloaded only with --download. Writes\n"
                "no preferences and no autosave.\n"
                "--device gpu runs Whisper on the graphics card (Vulkan), cpu on the processor;\n"
                "auto (the default) follows Settings: the graphics card when one is found. A\n"
                "failed graphics card run is done again on the processor. The closing line names\n"
                "the device.\n"
                "--engine scribe uploads the sound to ElevenLabs Scribe with the key saved by\n"
                "\"lorowen-cli key set\"; its --model is scribe_v2 or scribe_v1."),
            transcribeRun};
}

} // namespace LWCli
