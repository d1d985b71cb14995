// lorowen-cli batch: the transcription of `transcribe` over whole libraries. The files run as jobs
// of one LWJobRunner, a few at a time; a state file in the output folder makes a rerun skip what
// is finished, and --shard splits the sorted list so that the tasks of a cluster's array job (or
// any other scheduler's) each take their share.
#include "BCError.h"
#include "BCMediaOpener.h"
#include "BCPreferences.h"
#include "ELKeyStore.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "LWFormats.h"
#include "LWJobRunner.h"
#include "LWTranscription.h"
#include "WhisperModels.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <map>

namespace LWCli {

namespace {

const QString kStatePrefix = QStringLiteral(".lorowen-batch");

// One media file of the batch.
struct Item {
    QString media;   // absolute path
    QString display; // the path as reported: relative to the folder given, else as given
    QString stem;    // the outputs' path without the extension
    QHash<QString, QString> options;
    QStringList flags;
    TranscribeSetup setup;
    QString fingerprint; // what the outputs depend on besides the media
};

struct Result {
    QString status; // done, failed, skipped or stopped
    double seconds = 0;
    qsizetype captions = 0;
    QString error;
};

QString shellQuoted(const QString& text) {
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

// Bytes of memory the system can still give (MemAvailable), 0 when unknown.
qint64 availableMemory() {
    QFile file(QStringLiteral("/proc/meminfo"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:"))
            return line.mid(13).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return 0;
}

// What one file takes: whisper-cli runs on half the cores (at least two threads), the offline
// recogniser and the upload to Scribe on one. The memory covers decoding the sound, the
// recogniser and its model; song mode adds the vocal separation.
struct Footprint {
    int threads = 1;
    int megabytes = 400;
};

Footprint footprint(const TranscribeSetup& setup) {
    Footprint f;
    switch (setup.request.engine) {
    case LWEngine::whisper:
        f.threads = std::max(QThread::idealThreadCount() / 2, 2);
        f.megabytes = 1500;
        break;
    case LWEngine::offline:
        f.megabytes = 400;
        break;
    case LWEngine::scribe:
        f.megabytes = 300;
        break;
    }
    // Song mode keeps the isolated vocal at two bytes a sample while it works (115 MB an hour)
    // before handing the samples on.
    if (setup.request.song)
        f.megabytes += 300;
    return f;
}

// As many files side by side as the cores hold without sharing threads, and as fit into the
// memory still free; at least one.
int defaultJobs(const Footprint& f) {
    const int cores = std::max(QThread::idealThreadCount(), 1);
    int jobs = std::max(cores / f.threads, 1);
    const qint64 memory = availableMemory();
    if (memory > 0)
        jobs = int(std::min<qint64>(jobs, memory / (qint64(f.megabytes) << 20)));
    return std::clamp(jobs, 1, 32);
}

QString fingerprintOf(const TranscribeSetup& setup, const QStringList& formats) {
    const LWTranscription::Request& r = setup.request;
    QJsonObject object{{QStringLiteral("engine"), setup.engineName},
                       {QStringLiteral("language"), r.language},
                       {QStringLiteral("song"), r.song},
                       {QStringLiteral("timestamps"), setup.timestamps},
                       {QStringLiteral("formats"), formats.join(u',')}};
    if (r.engine == LWEngine::whisper)
        object.insert(QStringLiteral("model"), r.modelID);
    if (r.engine == LWEngine::scribe)
        object.insert(QStringLiteral("model"), r.scribeModel);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// The state files of this output folder: one per share, so that the tasks of an array job
// never write the same file.
QString stateFileName(int shard, int shards) {
    if (shards <= 1)
        return kStatePrefix + QStringLiteral(".json");
    return kStatePrefix + QStringLiteral("-%1-of-%2.json").arg(shard).arg(shards);
}

QHash<QString, QJsonObject> readStates(const QString& folder) {
    QHash<QString, QJsonObject> records;
    const QStringList names = QDir(folder).entryList({kStatePrefix + QStringLiteral("*.json")},
                                                     QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        QFile file(QDir(folder).filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject files = QJsonDocument::fromJson(file.readAll())
                                      .object()
                                      .value(QStringLiteral("files"))
                                      .toObject();
        for (auto it = files.begin(); it != files.end(); ++it)
            records.insert(it.key(), it.value().toObject());
    }
    return records;
}

// Whether an earlier run finished `item` with these options and its outputs are still newer than
// the media.
bool finishedBefore(const Item& item, const QJsonObject& record, const QStringList& formats) {
    if (record.value(QStringLiteral("status")).toString() != QStringLiteral("done") ||
        record.value(QStringLiteral("options")).toString() != item.fingerprint)
        return false;
    const QDateTime changed = QFileInfo(item.media).lastModified();
    for (const QString& format : formats) {
        const QFileInfo output(item.stem + u'.' + format);
        if (!output.exists() || output.lastModified() < changed)
            return false;
    }
    return true;
}

// The manifest's entries: a path a line, or a JSON object with "path" and options that override
// the command line ("engine", "model", "language", "song"). Relative paths are read from the
// manifest's folder. False with the problem on a bad line.
bool readManifest(const QString& path, QList<Item>& items, QString& problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("can't read the manifest “%1”").arg(path);
        return false;
    }
    const QDir base = QFileInfo(path).absoluteDir();
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        const QString line = QString::fromUtf8(lines[n]).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        Item item;
        QString media = line;
        if (line.startsWith(u'{')) {
            QJsonParseError error{};
            const QJsonObject object = QJsonDocument::fromJson(line.toUtf8(), &error).object();
            media = object.value(QStringLiteral("path")).toString();
            if (error.error != QJsonParseError::NoError || media.isEmpty()) {
                problem = QStringLiteral("line %1 of the manifest needs a JSON object with a "
                                         "\"path\"")
                              .arg(n + 1);
                return false;
            }
            for (const QString& key :
                 {QStringLiteral("engine"), QStringLiteral("model"), QStringLiteral("language")}) {
                if (object.contains(key))
                    item.options.insert(QStringLiteral("--") + key, object.value(key).toString());
            }
            if (object.contains(QStringLiteral("song")))
                item.flags.append(object.value(QStringLiteral("song")).toBool()
                                      ? QStringLiteral("--song")
                                      : QStringLiteral("--no-song"));
        }
        item.media = QDir::cleanPath(base.absoluteFilePath(media));
        item.display = media;
        item.stem = QFileInfo(media).fileName();
        items.append(item);
    }
    return true;
}

// The media under `folder` (recursively) that the open panel offers.
void walk(const QString& folder, QList<Item>& items) {
    const QDir root(QFileInfo(folder).absoluteFilePath());
    const QSet<QString> exts(LWFormats::exts().begin(), LWFormats::exts().end());
    QDirIterator it(root.path(), QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!exts.contains(QFileInfo(path).suffix().toLower()))
            continue;
        Item item;
        item.media = QFileInfo(path).absoluteFilePath();
        item.display = QDir(root.dirName()).filePath(root.relativeFilePath(path));
        item.stem = root.relativeFilePath(path);
        items.append(item);
    }
}

QString withoutSuffix(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    return suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
}

struct Batch {
    QList<Item> items;
    QStringList formats;
    QString outFolder;   // the outputs (unless beside the media) and the state file
    int jobs = 0;        // 0: the default
    int shard = 0;       // this task's share
    int shards = 1;      // the number of shares
    bool beside = false; // outputs beside each file
    bool force = false;
    bool json = false;
};

void report(const Batch& batch, const Item& item, const Result& result, LWCliProgress& progress) {
    progress.finish();
    if (batch.json) {
        QJsonObject object{{QStringLiteral("path"), item.media},
                           {QStringLiteral("status"), result.status},
                           {QStringLiteral("seconds"), qRound(result.seconds * 10) / 10.0},
                           {QStringLiteral("captions"), qint64(result.captions)}};
        if (!result.error.isEmpty())
            object.insert(QStringLiteral("error"), result.error);
        std::printf("%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    } else if (result.status == QStringLiteral("done")) {
        std::printf("done     %s (%lld captions, %.1f s)\n", item.display.toUtf8().constData(),
                    static_cast<long long>(result.captions), result.seconds);
    } else if (result.status == QStringLiteral("failed")) {
        std::printf("failed   %s: %s\n", item.display.toUtf8().constData(),
                    result.error.toUtf8().constData());
    } else {
        std::printf("%-8s %s\n", result.status.toUtf8().constData(),
                    item.display.toUtf8().constData());
    }
    std::fflush(stdout);
}

int runBatch(Batch& batch, WhisperModels& models, ELKeyStore* keys) {
    LWCliProgress progress;
    const QString stateFolder = batch.outFolder;
    QDir().mkpath(stateFolder);
    const QString statePath = QDir(stateFolder).filePath(stateFileName(batch.shard, batch.shards));
    const QHash<QString, QJsonObject> earlier = readStates(stateFolder);
    // This share's own state file keeps what it said about files it does not run this time.
    QJsonObject state;
    {
        QFile own(statePath);
        if (own.open(QIODevice::ReadOnly))
            state = QJsonDocument::fromJson(own.readAll())
                        .object()
                        .value(QStringLiteral("files"))
                        .toObject();
    }
    const auto save = [&] {
        const QJsonObject whole{{QStringLiteral("files"), state}};
        try {
            LWFormats::writeAtomically(statePath, QJsonDocument(whole).toJson());
        } catch (const BCError& e) {
            progress.finish();
            printError(e.message());
        }
    };

    int done = 0;
    int failedCount = 0;
    int skipped = 0;
    QList<qsizetype> todo;
    for (qsizetype i = 0; i < batch.items.size(); ++i) {
        const Item& item = batch.items[i];
        if (!batch.force && finishedBefore(item, earlier.value(item.media), batch.formats)) {
            ++skipped;
            report(batch, item, {QStringLiteral("skipped"), 0, 0, {}}, progress);
            continue;
        }
        todo.append(i);
    }

    std::stop_source source;
    QEventLoop loop;
    QObject context;
    LWJobRunner runner;
    QElapsedTimer clock;
    clock.start();
    qsizetype next = 0;
    int running = 0;
    const int jobs =
        batch.jobs > 0 ? batch.jobs
                       : defaultJobs(batch.items.isEmpty() ? Footprint{}
                                                           : footprint(batch.items.first().setup));
    const auto draw = [&] {
        const qsizetype finished = done + failedCount;
        QString text = QStringLiteral("Batch of %1: %2 done, %3 failed, %4 skipped")
                           .arg(batch.items.size())
                           .arg(done)
                           .arg(failedCount)
                           .arg(skipped);
        const double fraction = todo.isEmpty() ? 1.0 : double(finished) / double(todo.size());
        // The time left from the pace of the files finished so far.
        if (finished > 0 && finished < todo.size()) {
            const double seconds = clock.elapsed() / 1000.0 / fraction * (1 - fraction);
            text += seconds < 90
                        ? QStringLiteral(" · about %1 s left").arg(std::max(1, qRound(seconds)))
                        : QStringLiteral(" · about %1 min left").arg(qRound(seconds / 60));
        }
        progress.update(text, fraction);
    };

    std::function<void()> launch;
    launch = [&] {
        while (running < jobs && next < todo.size() && !source.stop_requested()) {
            const qsizetype index = todo[next++];
            const Item& item = batch.items[index];
            ++running;
            auto started = std::make_shared<QElapsedTimer>();
            started->start();
            auto captions = std::make_shared<qsizetype>(0);
            const LWTranscription::Services services{models, keys};
            const LWTranscription::DownloadQuestion ask =
                downloadQuestion(item.setup.download, item.setup.request.modelID);
            const QStringList formats = batch.formats;
            runner.start(
                QStringLiteral("batch"), source,
                [item, services, ask, formats, captions](std::stop_token stop) {
                    const BCOpenedMedia media = BCMediaOpener::openOriginal(item.media, stop);
                    if (!media.hasAudio)
                        throw BCError(QStringLiteral("This file has no audio to transcribe."));
                    LWTranscription::Request request = item.setup.request;
                    request.asset = media.asset;
                    request.duration = media.duration;
                    const LWTranscription::Result result = LWTranscription::run(
                        request, services, [](const QString&, std::optional<double>) {}, ask,
                        [](const QString&) {}, stop);
                    if (result.captions.isEmpty())
                        throw BCError(result.note);
                    QDir().mkpath(QFileInfo(item.stem).absolutePath());
                    for (const QString& format : formats) {
                        if (stop.stop_requested())
                            throw BCCancelled{};
                        const auto kind = *LWFormats::kindForPath(QStringLiteral("x.") + format);
                        LWFormats::writeAtomically(
                            item.stem + u'.' + format,
                            LWFormats::text(kind, result.captions, item.setup.timestamps).toUtf8());
                    }
                    *captions = result.captions.size();
                    return std::function<void()>([] {});
                },
                &context,
                [&, index, started, captions](const LWJobRunner::Outcome& outcome) {
                    --running;
                    const Item& finished = batch.items[index];
                    Result result{QStringLiteral("stopped"), started->elapsed() / 1000.0, 0, {}};
                    if (outcome.apply) {
                        result.status = QStringLiteral("done");
                        result.captions = *captions;
                        ++done;
                    } else if (outcome.error) {
                        result.status = QStringLiteral("failed");
                        result.error = *outcome.error;
                        ++failedCount;
                    }
                    if (!outcome.stopped()) {
                        QJsonObject record{{QStringLiteral("status"), result.status},
                                           {QStringLiteral("options"), finished.fingerprint},
                                           {QStringLiteral("seconds"), result.seconds},
                                           {QStringLiteral("captions"), qint64(result.captions)}};
                        if (!result.error.isEmpty())
                            record.insert(QStringLiteral("error"), result.error);
                        state.insert(finished.media, record);
                        save();
                    }
                    report(batch, finished, result, progress);
                    draw();
                    launch();
                    if (running == 0)
                        loop.quit();
                });
        }
    };

    // Ctrl+C stops the running files (their outputs are written whole or not at all) and starts
    // no more; the next run does the rest.
    QTimer interrupt;
    QObject::connect(&interrupt, &QTimer::timeout, [&source] {
        if (interruptRequested())
            source.request_stop();
    });
    interrupt.start(20);
    QTimer redraw;
    QObject::connect(&redraw, &QTimer::timeout, draw);
    redraw.start(500);
    draw();
    launch();
    if (running > 0)
        loop.exec();
    progress.finish();
    if (source.stop_requested())
        return interrupted;
    return failedCount > 0 ? int(failed) : int(ok);
}

// The sbatch script of an array job whose tasks each run one share of this batch.
void printSlurmScript(const Batch& batch, const QStringList& forwarded, int tasks,
                      const Footprint& f) {
    const QString out = QDir(batch.outFolder).absolutePath();
    QStringList command{shellQuoted(QCoreApplication::applicationFilePath()),
                        QStringLiteral("batch")};
    for (const QString& arg : forwarded)
        command.append(shellQuoted(arg));
    command << QStringLiteral("--jobs 1 --json")
            << QStringLiteral("--shard \"$SLURM_ARRAY_TASK_ID/%1\"").arg(tasks);
    std::printf("#!/bin/sh\n"
                "#SBATCH --job-name=lorowen-batch\n"
                "#SBATCH --array=0-%d\n"
                "#SBATCH --ntasks=1\n"
                "#SBATCH --cpus-per-task=%d\n"
                "#SBATCH --mem=%dM\n"
                "#SBATCH --output=%s/lorowen-batch-%%A_%%a.jsonl\n"
                "#SBATCH --error=%s/lorowen-batch-%%A_%%a.log\n"
                "# Each task captions its share of the files into the shared output folder and\n"
                "# writes one JSON line per file; the whole report is\n"
                "#   cat %s/lorowen-batch-<job id>_*.jsonl\n"
                "%s\n",
                tasks - 1, f.threads, f.megabytes, out.toUtf8().constData(),
                out.toUtf8().constData(), out.toUtf8().constData(),
                command.join(u' ').toUtf8().constData());
    std::fflush(stdout);
}

int batchRun(const Command& self, const QStringList& args) {
    QStringList rest;
    QString outFolder;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] != QStringLiteral("-o")) {
            rest.append(args[i]);
            continue;
        }
        if (i + 1 >= args.size())
            return usageError(self, QStringLiteral("-o needs a folder"));
        outFolder = args[++i];
    }
    ParsedArgs parsed;
    int status = ok;
    const QStringList valued = transcribeValued()
                               << QStringLiteral("--format") << QStringLiteral("--jobs")
                               << QStringLiteral("--manifest") << QStringLiteral("--shard")
                               << QStringLiteral("--tasks");
    const QStringList flagNames = transcribeFlags()
                                  << QStringLiteral("--beside") << QStringLiteral("--force")
                                  << QStringLiteral("--json") << QStringLiteral("--slurm-script");
    if (!parseArgs(self, rest, valued, flagNames, parsed, status))
        return status;

    Batch batch;
    batch.beside = parsed.flags.contains(QStringLiteral("--beside"));
    batch.force = parsed.flags.contains(QStringLiteral("--force"));
    batch.json = parsed.flags.contains(QStringLiteral("--json"));
    if (outFolder.isEmpty() && !batch.beside)
        return usageError(self, QStringLiteral("give the output folder with -o (or --beside)"));
    batch.outFolder = QDir(outFolder.isEmpty() ? QDir::currentPath() : outFolder).absolutePath();
    const QString manifest = parsed.options.value(QStringLiteral("--manifest"));
    if (parsed.positional.isEmpty() && manifest.isEmpty())
        return usageError(self, QStringLiteral("give media files, folders or --manifest"));

    for (const QString& format :
         parsed.options.value(QStringLiteral("--format"), QStringLiteral("srt")).split(u',')) {
        const QString f = format.trimmed().toLower();
        if (!LWFormats::kindForPath(QStringLiteral("x.") + f))
            return usageError(self,
                              QStringLiteral("unknown format %1 (known: srt, vtt, txt)").arg(f));
        if (!batch.formats.contains(f))
            batch.formats.append(f);
    }
    bool number = true;
    if (parsed.options.contains(QStringLiteral("--jobs"))) {
        batch.jobs = parsed.options.value(QStringLiteral("--jobs")).toInt(&number);
        if (!number || batch.jobs < 1)
            return usageError(self, QStringLiteral("--jobs takes a number of files at a time"));
    }
    if (parsed.options.contains(QStringLiteral("--shard"))) {
        const QStringList parts = parsed.options.value(QStringLiteral("--shard")).split(u'/');
        bool first = false;
        bool second = false;
        if (parts.size() == 2) {
            batch.shard = parts[0].toInt(&first);
            batch.shards = parts[1].toInt(&second);
        }
        if (!first || !second || batch.shards < 1 || batch.shard < 0 || batch.shard >= batch.shards)
            return usageError(self, QStringLiteral("--shard takes I/N with 0 ≤ I < N"));
    }
    int tasks = 4;
    if (parsed.options.contains(QStringLiteral("--tasks"))) {
        tasks = parsed.options.value(QStringLiteral("--tasks")).toInt(&number);
        if (!number || tasks < 1)
            return usageError(self, QStringLiteral("--tasks takes the number of array tasks"));
    }
    if (parsed.options.contains(QStringLiteral("--lyrics")))
        return usageError(self, QStringLiteral("--lyrics times one song; use transcribe"));

    // The inputs: files as given, folders walked, the manifest's lines.
    QList<Item> items;
    for (const QString& input : parsed.positional) {
        const QFileInfo info(input);
        if (info.isDir()) {
            walk(input, items);
            continue;
        }
        Item item;
        item.media = info.absoluteFilePath();
        item.display = input;
        item.stem = info.fileName();
        items.append(item);
    }
    if (!manifest.isEmpty()) {
        QString problem;
        if (!readManifest(manifest, items, problem))
            return usageError(self, problem);
    }

    if (items.isEmpty()) {
        printError(QStringLiteral("No media files found (the folders hold none of: %1).")
                       .arg(LWFormats::exts().join(QStringLiteral(", "))));
        return int(failed);
    }

    // The window's preferences, read and never written; each file's options are the command
    // line's with the manifest's on top.
    const std::unique_ptr<BCPreferences> preferences = BCPreferences::user(false);
    WhisperModels models(*preferences);
    bool scribe = false;
    for (Item& item : items) {
        QHash<QString, QString> options = parsed.options;
        for (auto it = item.options.begin(); it != item.options.end(); ++it)
            options.insert(it.key(), it.value());
        QStringList flags = parsed.flags;
        if (item.flags.contains(QStringLiteral("--no-song")))
            flags.removeAll(QStringLiteral("--song"));
        flags += item.flags;
        if (!transcribeSetup(self, options, flags, *preferences, models, item.setup, status))
            return status;
        item.fingerprint = fingerprintOf(item.setup, batch.formats);
        scribe = scribe || item.setup.request.engine == LWEngine::scribe;
    }

    // Sorted paths, so that every task of an array job sees the same list and the same split.
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.media < b.media; });
    items.erase(std::unique(items.begin(), items.end(),
                            [](const Item& a, const Item& b) { return a.media == b.media; }),
                items.end());
    // Two files that would write the same outputs ("talk.mp4" and "talk.wav") keep their
    // extensions in the output names.
    std::map<QString, int> stems;
    for (Item& item : items) {
        item.stem = batch.beside ? withoutSuffix(item.media)
                                 : QDir(batch.outFolder).filePath(withoutSuffix(item.stem));
        ++stems[item.stem];
    }
    for (Item& item : items) {
        if (stems[item.stem] > 1)
            item.stem =
                batch.beside ? item.media : item.stem + u'.' + QFileInfo(item.media).suffix();
    }

    if (parsed.flags.contains(QStringLiteral("--slurm-script"))) {
        // The same batch with absolute paths, for tasks that start in another folder.
        QStringList forwarded;
        for (const QString& input : parsed.positional)
            forwarded.append(QFileInfo(input).absoluteFilePath());
        forwarded << QStringLiteral("-o") << batch.outFolder;
        if (!manifest.isEmpty())
            forwarded << QStringLiteral("--manifest") << QFileInfo(manifest).absoluteFilePath();
        forwarded << QStringLiteral("--format") << batch.formats.join(u',');
        for (const QString& name : transcribeValued()) {
            if (parsed.options.contains(name))
                forwarded << name << parsed.options.value(name);
        }
        const QStringList passed = transcribeFlags()
                                   << QStringLiteral("--beside") << QStringLiteral("--force");
        for (const QString& flag : passed) {
            if (parsed.flags.contains(flag))
                forwarded << flag;
        }
        Footprint f;
        for (const Item& item : items) {
            const Footprint each = footprint(item.setup);
            f.threads = std::max(f.threads, each.threads);
            f.megabytes = std::max(f.megabytes, each.megabytes);
        }
        // The tasks' reports go into the output folder, which must exist when they start.
        QDir().mkpath(batch.outFolder);
        printSlurmScript(batch, forwarded, tasks, f);
        return ok;
    }

    QList<Item> share;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i % batch.shards == batch.shard)
            share.append(items[i]);
    }
    batch.items = share;
    std::unique_ptr<ELKeyStore> keys;
    if (scribe)
        keys = ELKeyStore::system();
    return runBatch(batch, models, keys.get());
}

} // namespace

Command batchCommand() {
    return {
        QStringLiteral("batch"),
        QStringLiteral("INPUT… -o OUTDIR [--format srt,vtt,txt] [--jobs N] [--beside] "
                       "[--manifest FILE] [--force] [--json] [--shard I/N] [--slurm-script "
                       "[--tasks N]] [transcribe's --engine, --model, --language, --song, "
                       "--download, --timestamps]"),
        QStringLiteral(
            "Transcribes many files: media files, folders (walked, media recognised by\n"
            "extension as the open panel does) and the lines of --manifest (a path a line,\n"
            "or JSON objects with \"path\" and \"engine\", \"model\", \"language\", \"song\").\n"
            "Outputs mirror the folders under OUTDIR (or sit beside each file with\n"
            "--beside; the state file then goes to OUTDIR or the current folder). A rerun\n"
            "skips files finished with the same options whose outputs\n"
            "are newer than the media (--force redoes them). --jobs defaults to what the\n"
            "cores and free memory hold. --json prints one JSON object per file. Exit\n"
            "status 3 when any file failed. --shard I/N takes the I-th of N shares of the\n"
            "sorted list; --slurm-script prints an sbatch array script of --tasks shares."),
        batchRun};
}

} // namespace LWCli
