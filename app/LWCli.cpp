#include "LWCli.h"

#include "BCError.h"
#include "CaptionMath.h"
#include "LWCliProgress.h"
#include "LWFormats.h"

#include <QFileInfo>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>

namespace LWCli {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int) { g_interrupted.store(true); }

void printError(const QString& sentence) {
    std::fprintf(stderr, "lorowen-cli: %s\n", sentence.toUtf8().constData());
}

struct Command {
    QString name;
    QString synopsis;
    QString help;
    std::function<int(const QStringList&)> run;
};

int usageError(const Command& command, const QString& problem) {
    printError(problem);
    std::fprintf(stderr, "usage: lorowen-cli %s %s\n", command.name.toUtf8().constData(),
                 command.synopsis.toUtf8().constData());
    return usage;
}

// --- convert ---

int convert(const Command& self, const QStringList& args) {
    QStringList positional;
    bool timestamps = false;
    for (const QString& arg : args) {
        if (arg == QStringLiteral("--timestamps"))
            timestamps = true;
        else if (arg.startsWith(QStringLiteral("--")))
            return usageError(self, QStringLiteral("unknown option %1").arg(arg));
        else
            positional.append(arg);
    }
    if (positional.size() != 2)
        return usageError(self, QStringLiteral("convert takes an input and an output file"));
    const QString& in = positional[0];
    const QString& out = positional[1];
    const auto kind = LWFormats::kindForPath(out);
    if (!kind)
        return usageError(self, QStringLiteral("the output must end in .srt, .vtt or .txt"));

    LWCliProgress progress;
    progress.update(QStringLiteral("Reading captions…"), -1);
    const QString name = QFileInfo(in).fileName();
    const auto text = LWFormats::readText(in);
    if (!text) {
        progress.finish();
        printError(QStringLiteral("Can't read that file: “%1”").arg(name));
        return failed;
    }
    const Captions captions = CaptionMath::parseSubtitles(*text);
    if (captions.isEmpty()) {
        progress.finish();
        printError(QStringLiteral("“%1” doesn't contain SRT or VTT captions.").arg(name));
        return failed;
    }
    if (interruptRequested())
        return interrupted;
    progress.update(QStringLiteral("Writing captions…"), -1);
    try {
        LWFormats::writeAtomically(out, LWFormats::text(*kind, captions, timestamps).toUtf8());
    } catch (const BCError& e) {
        progress.finish();
        printError(e.message());
        return failed;
    }
    progress.finish();
    return ok;
}

QList<Command> commands() {
    QList<Command> list;
    list.append({QStringLiteral("convert"), QStringLiteral("IN OUT [--timestamps]"),
                 QStringLiteral(
                     "Reads an SRT or VTT file as the application imports it and writes SRT, VTT\n"
                     "or TXT, chosen by OUT's extension, as the application exports it.\n"
                     "--timestamps puts [m:ss] time marks before each caption of a TXT file."),
                 {}});
    list.last().run = [self = list.last()](const QStringList& a) { return convert(self, a); };
    return list;
}

void printHelp(const QList<Command>& list) {
    std::printf("usage: lorowen-cli COMMAND [ARGUMENTS]\n\n"
                "Runs BRCT Lorowen Pro's caption jobs without a window.\n"
                "Exit status: 0 done, 2 bad usage, 3 the job failed, 130 stopped by Ctrl+C.\n\n"
                "Commands:\n");
    for (const Command& c : list) {
        std::printf("  %s %s\n", c.name.toUtf8().constData(), c.synopsis.toUtf8().constData());
        for (const QString& line : c.help.split(u'\n'))
            std::printf("      %s\n", line.toUtf8().constData());
    }
}

} // namespace

bool interruptRequested() { return g_interrupted.load(); }

void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

int run(const QStringList& arguments) {
    const QList<Command> list = commands();
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: lorowen-cli COMMAND [ARGUMENTS] (see --help)\n");
        return usage;
    }
    const QString& name = arguments.first();
    if (name == QStringLiteral("--help") || name == QStringLiteral("-h") ||
        name == QStringLiteral("help")) {
        printHelp(list);
        return ok;
    }
    for (const Command& c : list) {
        if (c.name != name)
            continue;
        const QStringList rest = arguments.mid(1);
        if (rest.contains(QStringLiteral("--help"))) {
            std::printf("usage: lorowen-cli %s %s\n%s\n", c.name.toUtf8().constData(),
                        c.synopsis.toUtf8().constData(), c.help.toUtf8().constData());
            return ok;
        }
        const int status = c.run(rest);
        return interruptRequested() && status != usage ? int(interrupted) : status;
    }
    printError(QStringLiteral("unknown command %1").arg(name));
    std::fprintf(stderr, "usage: lorowen-cli COMMAND [ARGUMENTS] (see --help)\n");
    return usage;
}

} // namespace LWCli
