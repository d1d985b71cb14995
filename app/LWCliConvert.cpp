#include "BCError.h"
#include "CaptionMath.h"
#include "LWCli.h"
#include "LWCliCommands.h"
#include "LWCliProgress.h"
#include "LWFormats.h"

#include <QFileInfo>

namespace LWCli {

namespace {

int convert(const Command& self, const QStringList& args) {
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args, {}, {QStringLiteral("--timestamps")}, parsed, status))
        return status;
    if (parsed.positional.size() != 2)
        return usageError(self, QStringLiteral("convert takes an input and an output file"));
    const QString& in = parsed.positional[0];
    const QString& out = parsed.positional[1];
    const auto kind = LWFormats::kindForPath(out);
    if (!kind)
        return usageError(self, QStringLiteral("the output must end in .srt, .vtt or .txt"));

    LWCliProgress progress;
    progress.update(QStringLiteral("Reading captions…"), -1);
    const auto text = LWFormats::readText(in);
    if (!text)
        return cannotRead(in, progress);
    const Captions captions = CaptionMath::parseSubtitles(*text);
    if (captions.isEmpty()) {
        progress.finish();
        printError(QStringLiteral("“%1” doesn't contain SRT or VTT captions.")
                       .arg(QFileInfo(in).fileName()));
        return failed;
    }
    const bool timestamps = parsed.flags.contains(QStringLiteral("--timestamps"));
    return writeOutput(out, LWFormats::text(*kind, captions, timestamps), progress);
}

} // namespace

Command convertCommand() {
    return {QStringLiteral("convert"), QStringLiteral("IN OUT [--timestamps]"),
            QStringLiteral(
                "Reads an SRT or VTT file as the application imports it and writes SRT, VTT\n"
                "or TXT, chosen by OUT's extension, as the application exports it.\n"
                "--timestamps puts [m:ss] time marks before each caption of a TXT file."),
            convert};
}

} // namespace LWCli
