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
    if (!parseArgs(self, args, {QStringLiteral("--style"), QStringLiteral("--language")},
                   {QStringLiteral("--timestamps")}, parsed, status))
        return status;
    if (parsed.positional.size() != 2)
        return usageError(self, QStringLiteral("convert takes an input and an output file"));
    const QString& in = parsed.positional[0];
    const QString& out = parsed.positional[1];
    const auto kind = LWFormats::kindForPath(out);
    if (!kind)
        return usageError(self, QStringLiteral("the output must end in .srt, .vtt, .txt, .ass, "
                                               ".ssa, .ttml, .xml, .dfxp or .sbv"));
    // The look of ASS and TTML files; there is no picture, so ASS is laid out for 1920 x 1080.
    LWFormats::Look look{.style = windowStyle(),
                         .picture = {},
                         .language = parsed.options.value(QStringLiteral("--language"))};
    if (parsed.options.contains(QStringLiteral("--style"))) {
        QString problem;
        const auto chosen = chosenStyle(parsed.options.value(QStringLiteral("--style")), problem);
        if (!chosen)
            return usageError(self, problem);
        look.style = *chosen;
    }

    LWCliProgress progress;
    progress.update(QStringLiteral("Reading captions…"), -1);
    const std::optional<Captions> read = readCaptions(in, progress, status);
    if (!read)
        return status;
    const Captions& captions = *read;
    const bool timestamps = parsed.flags.contains(QStringLiteral("--timestamps"));
    return writeOutput(out, LWFormats::text(*kind, captions, timestamps, look), progress);
}

} // namespace

Command convertCommand() {
    return {QStringLiteral("convert"),
            QStringLiteral("IN OUT [--timestamps] [--style NAME|FILE] [--language CODE]"),
            QStringLiteral(
                "Reads an SRT, VTT, ASS/SSA, TTML or SBV file as the application imports it and\n"
                "writes SRT, VTT, TXT, ASS (.ass, .ssa), TTML (.ttml, .xml, .dfxp) or SBV, chosen\n"
                "by OUT's extension, as the application exports it.\n"
                "--timestamps puts [m:ss] time marks before each caption of a TXT file.\n"
                "--style gives ASS and TTML files a preset's or a style file's look (default:\n"
                "the window's); --language sets the TTML language tag (such as en-US)."),
            convert};
}

} // namespace LWCli
