// lorowen-cli subtrack: the window's subtitle-track export without a window. Writes no
// preferences and no autosave.
#include "BCError.h"
#include "BCMediaOpener.h"
#include "BurnIn.h"
#include "CaptionMath.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "LWFormats.h"
#include "SoftSubs.h"

#include <QFileInfo>
#include <cstdio>
#include <stop_token>

namespace LWCli {

namespace {

int subtrack(const Command& self, const QStringList& args) {
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args, {}, {QStringLiteral("--sidecars")}, parsed, status))
        return status;
    if (parsed.positional.size() != 3)
        return usageError(
            self,
            QStringLiteral("subtrack takes a media file, a captions file and an output file"));
    const QString& in = parsed.positional[0];
    const QString& captionsPath = parsed.positional[1];
    const QString& out = parsed.positional[2];
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != QStringLiteral("mp4") && suffix != QStringLiteral("mov"))
        return usageError(self, QStringLiteral("the output must end in .mp4 or .mov"));
    const bool sidecars = parsed.flags.contains(QStringLiteral("--sidecars"));

    LWCliProgress progress;
    const QFileInfo input(in);
    if (!input.isFile() || !input.isReadable())
        return cannotRead(in, progress);
    const std::optional<Captions> read = readCaptions(captionsPath, progress, status);
    if (!read)
        return status;
    const Captions& captions = *read;

    return runStoppable(progress, [&](std::stop_token stop) {
        const BCOpenedMedia media = BCMediaOpener::open(
            in,
            [&progress](const QString& label, std::optional<double> fraction) {
                progress.update(label, fraction.value_or(-1));
            },
            stop);
        if (!media.hasVideo)
            throw BCError(QStringLiteral("This is an audio file. Export SRT, VTT or TXT instead."));
        const QString adding = QStringLiteral("Adding the subtitle track…");
        progress.update(adding, 0);
        SoftSubs::exportVideo(
            media, captions, out, [&](double fraction) { progress.update(adding, fraction); },
            stop);
        progress.finish();
        const QString name = QFileInfo(out).fileName();
        if (sidecars) {
            try {
                BurnIn::writeSidecars(captions, out);
            } catch (const BCError& error) {
                printError(QStringLiteral("Saved %1, but the .srt and .vtt files couldn't be saved "
                                          "beside it: %2")
                               .arg(name, error.message()));
                return int(failed);
            }
        }
        std::printf("%s\n", QStringLiteral("Saved %1 with a subtitle track%2.")
                                .arg(name, sidecars ? QStringLiteral(" (+ .srt and .vtt beside it)")
                                                    : QString())
                                .toUtf8()
                                .constData());
        std::fflush(stdout);
        return int(ok);
    });
}

} // namespace

Command subtrackCommand() {
    return {QStringLiteral("subtrack"),
            QStringLiteral("MEDIA CAPTIONS.srt OUT.mp4|OUT.mov [--sidecars]"),
            QStringLiteral(
                "Copies the video with the captions (SRT or VTT) as a switchable subtitle track;\n"
                "picture and sound are copied without re-encoding. MOV or MP4 by the output's\n"
                "extension. --sidecars also writes OUT.srt and OUT.vtt beside it."),
            subtrack};
}

} // namespace LWCli
