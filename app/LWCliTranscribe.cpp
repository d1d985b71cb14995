// lorowen-cli transcribe: the window's transcription (Whisper, the offline recogniser or
// ElevenLabs Scribe) and its
// Paste Lyrics alignment without a window. It always replaces (there is nothing to ask about),
// downloads a missing model only when told to, and writes no preferences and no autosave.
#include "BCError.h"
#include "BCMediaOpener.h"
#include "BCText.h"
#include "CaptionMath.h"
#include "ELKeyStore.h"
#include "ELSettings.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "LWDefaults.h"
#include "LWFormats.h"
#include "LWStore.h"
#include "LyricAlign.h"
#include "Transcriber.h"
#include "WhisperModels.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <thread>

namespace LWCli {

namespace {

struct Output {
    QString path;
    LWFormats::TextKind kind;
};

struct Result {
    Captions captions;
    QString note; // the window's closing note
};

// The catalog ids a person can pick.
QString knownModels() {
    QStringList ids;
    for (const WhisperModel& model : WhisperModel::choices())
        ids.append(model.id);
    return ids.join(QStringLiteral(", "));
}

// Runs `work` on a worker thread while this thread runs the event loop (model downloads and
// progress reports happen here); Ctrl+C stops it. Rethrows what `work` threw.
Result runOnWorker(const std::function<Result(std::stop_token)>& work) {
    std::stop_source stop;
    QEventLoop loop;
    Result result;
    std::exception_ptr error;
    QTimer interrupt;
    QObject::connect(&interrupt, &QTimer::timeout, [&] {
        if (interruptRequested())
            stop.request_stop();
    });
    interrupt.start(50);
    std::thread worker([&] {
        try {
            result = work(stop.get_token());
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    QCoreApplication::processEvents(); // the last progress reports, while the bar still exists
    if (error)
        std::rethrow_exception(error);
    return result;
}

// A job's status reports, from any thread, drawn by `progress` on this one.
LWStore::JobStatus reportTo(LWCliProgress& progress) {
    return [&progress](const QString& text, std::optional<double> fraction) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [&progress, text, fraction] { progress.update(text, fraction.value_or(-1)); },
            Qt::QueuedConnection);
    };
}

// Writes the captions to every output and prints the note; the exit status.
int finish(const Result& result, const QList<Output>& outputs, bool timestamps,
           LWCliProgress& progress) {
    progress.finish();
    if (interruptRequested())
        return int(interrupted);
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
}

// The ElevenLabs Scribe engine, with the key from the keyring (never from the command line).
int transcribeScribe(const Command& self, const ParsedArgs& parsed, const QString& path,
                     const QList<Output>& outputs, bool timestamps) {
    if (parsed.flags.contains(QStringLiteral("--song")) ||
        parsed.options.contains(QStringLiteral("--lyrics")))
        return usageError(self, QStringLiteral("--song and --lyrics work with the Whisper engine "
                                               "only"));
    const QString scribeModels = QStringLiteral("scribe_v2, scribe_v1");
    QString model = LWDefaults::value(QStringLiteral("el.scribe")).toString();
    if (model.isEmpty())
        model = QLatin1String(ELSettings::defaultScribeModel);
    model = parsed.options.value(QStringLiteral("--model"), model);
    if (!scribeModels.split(QStringLiteral(", ")).contains(model))
        return usageError(
            self, QStringLiteral("unknown Scribe model %1 (known: %2)").arg(model, scribeModels));
    const QString language = parsed.options.value(
        QStringLiteral("--language"), LWDefaults::value(QStringLiteral("lw.language")).toString());
    const std::unique_ptr<ELKeyStore> keys = ELKeyStore::system();

    LWCliProgress progress;
    const LWStore::JobStatus report = reportTo(progress);
    return runStoppable(progress, [&](std::stop_token) {
        const Result result = runOnWorker([&](std::stop_token stop) {
            report(QStringLiteral("Opening %1…").arg(QFileInfo(path).fileName()), std::nullopt);
            const BCOpenedMedia media = BCMediaOpener::open(path, report, stop);
            if (!media.hasAudio)
                throw BCError(QStringLiteral("This file has no audio to transcribe."));
            const TimedWords words =
                LWStore::scribeWords(media.asset, model, language, report, *keys, stop);
            if (stop.stop_requested())
                throw BCCancelled{};
            Captions made = CaptionMath::group(words, CaptionMath::Rules{}, {}, false);
            for (Caption& c : made)
                c.end = std::min(c.end, std::max(c.start + 0.1, media.duration));
            return Result{made, LWStore::madeCaptionsNote(
                                    made.size(), QStringLiteral(" with ElevenLabs Scribe"), false)};
        });
        return finish(result, outputs, timestamps, progress);
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
    if (!parseArgs(self, rest,
                   {QStringLiteral("--model"), QStringLiteral("--language"),
                    QStringLiteral("--engine"), QStringLiteral("--lyrics")},
                   {QStringLiteral("--song"), QStringLiteral("--download"),
                    QStringLiteral("--timestamps")},
                   parsed, status))
        return status;
    if (parsed.positional.size() != 1)
        return usageError(self, QStringLiteral("transcribe takes one media file"));
    if (outputs.isEmpty())
        return usageError(self, QStringLiteral("give at least one output with -o"));
    const QString path = parsed.positional[0];
    const QString engine =
        parsed.options.value(QStringLiteral("--engine"), QStringLiteral("whisper"));
    if (!QStringList{QStringLiteral("whisper"), QStringLiteral("speech"), QStringLiteral("scribe")}
             .contains(engine))
        return usageError(
            self, QStringLiteral("unknown engine %1 (known: whisper, speech, scribe)").arg(engine));
    if (engine == QStringLiteral("scribe"))
        return transcribeScribe(self, parsed, path, outputs,
                                parsed.flags.contains(QStringLiteral("--timestamps")));
    const bool speech = engine == QStringLiteral("speech");
    const bool aligning = parsed.options.contains(QStringLiteral("--lyrics"));
    if (speech && aligning)
        return usageError(self, QStringLiteral("--lyrics lines up with Whisper's hearing of the "
                                               "song; leave out --engine speech"));
    // Lyrics are heard in song mode, as in the window.
    const bool song = aligning || parsed.flags.contains(QStringLiteral("--song"));
    const bool download = parsed.flags.contains(QStringLiteral("--download"));
    const bool timestamps = parsed.flags.contains(QStringLiteral("--timestamps"));

    QString modelID = WhisperModels::shared().modelID();
    if (parsed.options.contains(QStringLiteral("--model"))) {
        modelID = parsed.options.value(QStringLiteral("--model"));
        bool known = false;
        for (const WhisperModel& model : WhisperModel::choices())
            known = known || model.id == modelID;
        if (!known)
            return usageError(
                self, QStringLiteral("unknown model %1 (known: %2)").arg(modelID, knownModels()));
    }
    // The window's spoken language unless one is given; none at all lets Whisper detect it.
    QString language = parsed.options.value(
        QStringLiteral("--language"), LWDefaults::value(QStringLiteral("lw.language")).toString());
    if (speech && language.isEmpty())
        language = QStringLiteral("en-US");

    const QString marks = QStringLiteral("lw.markSpeakers");
    const bool markSpeakers = !LWDefaults::contains(marks) || LWDefaults::value(marks).toBool();

    LWCliProgress progress;
    QString lyrics;
    if (aligning) {
        const QString lyricsPath = parsed.options.value(QStringLiteral("--lyrics"));
        QFile file(lyricsPath);
        if (!file.open(QIODevice::ReadOnly))
            return cannotRead(lyricsPath, progress);
        lyrics = BCText::decode(file.readAll());
        if (LyricAlign::lyricWords(lyrics).words.isEmpty()) {
            printError(QStringLiteral("“%1” holds no lyrics (one line per caption; labels such "
                                      "as [Chorus] are skipped).")
                           .arg(QFileInfo(lyricsPath).fileName()));
            return int(failed);
        }
    }
    const LWStore::JobStatus report = reportTo(progress);
    const LWStore::DownloadQuestion ask = [download, modelID](const QString&, const QString&) {
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

    return runStoppable(progress, [&](std::stop_token) {
        const Result result = runOnWorker([&](std::stop_token stop) {
            report(QStringLiteral("Opening %1…").arg(QFileInfo(path).fileName()), std::nullopt);
            const BCOpenedMedia media = BCMediaOpener::open(path, report, stop);
            if (!media.hasAudio)
                throw BCError(aligning
                                  ? QStringLiteral("This file has no audio to align the lyrics to.")
                                  : QStringLiteral("This file has no audio to transcribe."));
            const CaptionMath::Rules rules;
            if (speech) {
                const Transcriber::Result heard = Transcriber::transcribe(
                    media.asset, language, true,
                    [&report](const Transcriber::Progress& p) { report(p.note, p.fraction); },
                    stop);
                const Captions made = LWStore::speechCaptions(heard.words, media.duration, rules);
                return Result{made, LWStore::madeCaptionsNote(
                                        made.size(), LWStore::speechPhrase(heard.onDevice), false)};
            }
            if (aligning) {
                const LyricAlign::Lyrics kept = LyricAlign::lyricWords(lyrics);
                const LWStore::WhisperRun run = LWStore::whisperWords(
                    media.asset, true, kept.lines.join(u' '), language, modelID, report, ask, stop);
                if (stop.stop_requested())
                    throw BCCancelled{};
                const LyricAlign::Result aligned =
                    LyricAlign::align(lyrics, run.words, media.duration, rules, stop);
                return Result{
                    aligned.captions,
                    LWStore::alignedNote(aligned.captions.size(), aligned.matched, aligned.total)};
            }
            const LWStore::WhisperRun run = LWStore::whisperWords(
                media.asset, song, std::nullopt, language, modelID, report, ask, stop);
            if (stop.stop_requested())
                throw BCCancelled{};
            const Captions made =
                LWStore::whisperCaptions(run, media.duration, rules, song, markSpeakers);
            return Result{made, LWStore::transcribedNote(made.size(), song, false)};
        });
        return finish(result, outputs, timestamps, progress);
    });
}

} // namespace

Command transcribeCommand() {
    return {QStringLiteral("transcribe"),
            QStringLiteral("MEDIA -o OUT.srt [-o OUT.vtt …] [--engine whisper|speech|scribe] "
                           "[--model ID] [--language en-US] [--song] [--lyrics LYRICS.txt] "
                           "[--download] [--timestamps]"),
            QStringLiteral(
                "Turns the speech in a video or audio file into captions with Whisper (or with\n"
                "--engine speech, the offline PocketSphinx recogniser) and writes them as SRT,\n"
                "VTT or TXT (by extension; --timestamps puts times into TXT). --song pulls the\n"
                "vocal out of music first. --lyrics times the lines of a text file word by word\n"
                "against the song. A missing model is downloaded only with --download. Writes\n"
                "no preferences and no autosave.\n"
                "--engine scribe uploads the sound to ElevenLabs Scribe with the key saved by\n"
                "\"lorowen-cli key set\"; its --model is scribe_v2 or scribe_v1."),
            transcribeRun};
}

} // namespace LWCli
