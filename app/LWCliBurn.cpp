// lorowen-cli burn: the window's burned-in export without a window. The style is a preset's
// name, a style JSON file, or the one the window last used; writes no preferences.
#include "BCError.h"
#include "BCMediaOpener.h"
#include "BCPreferences.h"
#include "BurnIn.h"
#include "CaptionMath.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "LWFormats.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <thread>

namespace LWCli {

// The style the window uses now, or "Broadcast".
CaptionStyle windowStyle() {
    const QJsonDocument stored =
        QJsonDocument::fromJson(BCPreferences::user(false)->value(BCPref::style).toByteArray());
    return CaptionStyle::fromJson(stored.object()).value_or(CaptionStyle{});
}

// A preset by name (any case), or a style JSON file; nothing with `problem` set otherwise.
std::optional<CaptionStyle> chosenStyle(const QString& given, QString& problem) {
    for (const CaptionStyle& preset : CaptionStyle::presets())
        if (preset.name.compare(given, Qt::CaseInsensitive) == 0)
            return preset;
    QStringList names;
    for (const CaptionStyle& preset : CaptionStyle::presets())
        names.append(QStringLiteral("“%1”").arg(preset.name));
    QFile file(given);
    if (!QFileInfo(given).isFile() || !file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("--style takes a style JSON file or one of %1")
                      .arg(names.join(QStringLiteral(", ")));
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (const auto style = CaptionStyle::fromJson(document.object()))
        return style;
    problem = QStringLiteral("“%1” isn't a caption style (a JSON object with every style key)")
                  .arg(QFileInfo(given).fileName());
    return std::nullopt;
}

namespace {

const QString kBurning = QStringLiteral("Burning captions into the video…");

int burnRun(const Command& self, const QStringList& args) {
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args, {QStringLiteral("--style")}, {QStringLiteral("--sidecars")}, parsed,
                   status))
        return status;
    if (parsed.positional.size() != 3)
        return usageError(self,
                          QStringLiteral("burn takes a media file, a caption file and an output"));
    const QString mediaPath = parsed.positional[0];
    const QString captionPath = parsed.positional[1];
    const QString out = parsed.positional[2];
    const bool sidecars = parsed.flags.contains(QStringLiteral("--sidecars"));
    CaptionStyle style = windowStyle();
    if (parsed.options.contains(QStringLiteral("--style"))) {
        QString problem;
        const auto chosen = chosenStyle(parsed.options.value(QStringLiteral("--style")), problem);
        if (!chosen)
            return usageError(self, problem);
        style = *chosen;
    }

    LWCliProgress progress;
    const std::optional<Captions> read = readCaptions(captionPath, progress, status);
    if (!read)
        return status;
    const Captions& captions = *read;

    const BCMediaOpener::Status report = [&progress](const QString& label,
                                                     std::optional<double> fraction) {
        progress.update(label, fraction.value_or(-1));
    };

    return runStoppable(progress, [&](std::stop_token stop) {
        report(QStringLiteral("Opening %1…").arg(QFileInfo(mediaPath).fileName()), std::nullopt);
        const BCOpenedMedia media = BCMediaOpener::open(mediaPath, report, stop);
        if (!media.hasVideo)
            throw BCError(QStringLiteral("Burned-in captions need a video file. For audio files "
                                         "export SRT, VTT or TXT."));
        report(kBurning, 0.0);
        BurnIn::exportVideo(
            media, captions, style, out, [&report](double fraction) { report(kBurning, fraction); },
            stop);
        progress.finish();
        bool written = false;
        if (sidecars) {
            try {
                BurnIn::writeSidecars(captions, out);
                written = true;
            } catch (const BCError& e) {
                printError(e.message());
            }
        }
        const QString note = BurnIn::savedNote(QFileInfo(out).fileName(), sidecars, written);
        std::printf("%s\n", note.toUtf8().constData());
        std::fflush(stdout);
        return int(ok);
    });
}

} // namespace

Command burnCommand() {
    return {QStringLiteral("burn"),
            QStringLiteral("MEDIA CAPTIONS.srt OUT.mp4 [--style \"Social Pop\"|STYLE.json] "
                           "[--sidecars]"),
            QStringLiteral(
                "Writes a copy of a video with the captions (SRT or VTT) drawn into the picture:\n"
                "H.264 MP4, the sound copied when possible. --style takes a preset's name or a\n"
                "style JSON file (default: the window's style). --sidecars also writes OUT.srt\n"
                "and OUT.vtt. An existing OUT.mp4 is replaced only when the export succeeds."),
            burnRun};
}

} // namespace LWCli
