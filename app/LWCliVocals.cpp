#include "BCError.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "VocalIsolator.h"

#include <QFileInfo>
#include <stop_token>

namespace LWCli {

namespace {

int vocals(const Command& self, const QStringList& args) {
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args, {}, {}, parsed, status))
        return status;
    if (parsed.positional.size() != 2)
        return usageError(self, QStringLiteral("vocals takes a media file and an output file"));
    const QString& in = parsed.positional[0];
    const QString& out = parsed.positional[1];
    if (!out.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive))
        return usageError(self, QStringLiteral("the output must end in .wav"));

    LWCliProgress progress;
    const QFileInfo input(in);
    if (!input.isFile() || !input.isReadable())
        return cannotRead(in, progress);

    return runStoppable(progress, [&](std::stop_token stop) {
        const QString reading = QStringLiteral("Reading the sound track…");
        const QString pulling = QStringLiteral("Pulling the vocal out of the music…");
        progress.update(reading, 0);
        const VocalIsolator::Vocal vocal = VocalIsolator::songVocal(
            in, [&](double f) { progress.update(reading, f); },
            [&](double f) { progress.update(pulling, f); }, stop);
        if (stop.stop_requested())
            throw BCCancelled{};
        progress.update(QStringLiteral("Writing…"), -1);
        vocal.writeWAV(out);
        progress.finish();
        return int(ok);
    });
}

} // namespace

Command vocalsCommand() {
    return {QStringLiteral("vocals"), QStringLiteral("MEDIA OUT.wav"),
            QStringLiteral(
                "Writes what Whisper hears in song mode: the centre of the stereo picture\n"
                "between 120 and 6000 Hz with steady background sound removed, as a 16 000 Hz\n"
                "mono 16-bit WAV file. Handy to check by ear what song mode does to a track."),
            vocals};
}

} // namespace LWCli
