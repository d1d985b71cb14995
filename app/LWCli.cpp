#include "LWCli.h"

#include "LWCliCommands.h"

#include "BCError.h"
#include "CaptionMath.h"
#include "LWCliProgress.h"
#include "LWFormats.h"
#include "LWJobRunner.h"

#include <QFileInfo>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>

namespace LWCli {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int) {
    g_interrupted.store(true);
}

QList<Command> commands() {
    return {convertCommand(), captionsCommand(), vocalsCommand(),    probeCommand(),
            wavCommand(),     keyCommand(),      modelsCommand(),    transcribeCommand(),
            burnCommand(),    subtrackCommand(), voiceoverCommand(), batchCommand(),
            checkCommand()};
}

void printHelp(const QList<Command>& list) {
    std::printf("usage: lorowen-cli COMMAND [ARGUMENTS]\n"
                "       lorowen-cli --version\n\n"
                "Runs BRCT Lorowen Pro's caption jobs without a window.\n"
                "Exit status: 0 done, 2 bad usage, 3 the job failed, 130 stopped by Ctrl+C\n"
                "(check: 1 when it found a problem).\n\n"
                "Commands:\n");
    for (const Command& c : list) {
        std::printf("  %s %s\n", c.name.toUtf8().constData(), c.synopsis.toUtf8().constData());
        for (const QString& line : c.help.split(u'\n'))
            std::printf("      %s\n", line.toUtf8().constData());
    }
}

} // namespace

void printError(const QString& sentence) {
    std::fprintf(stderr, "lorowen-cli: %s\n", sentence.toUtf8().constData());
}

int usageError(const Command& command, const QString& problem) {
    printError(problem);
    std::fprintf(stderr, "usage: lorowen-cli %s %s\n", command.name.toUtf8().constData(),
                 command.synopsis.toUtf8().constData());
    return usage;
}

bool parseArgs(const Command& command, const QStringList& args, const QStringList& valued,
               const QStringList& flagNames, ParsedArgs& out, int& status) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(QStringLiteral("--")) || arg == QStringLiteral("--")) {
            out.positional.append(arg);
        } else if (flagNames.contains(arg)) {
            out.flags.append(arg);
        } else if (valued.contains(arg)) {
            if (i + 1 >= args.size()) {
                status = usageError(command, QStringLiteral("%1 needs a value").arg(arg));
                return false;
            }
            out.options.insert(arg, args[++i]);
        } else {
            status = usageError(command, QStringLiteral("unknown option %1").arg(arg));
            return false;
        }
    }
    return true;
}

int cannotRead(const QString& path, LWCliProgress& progress) {
    progress.finish();
    printError(QStringLiteral("Can't read that file: “%1”").arg(QFileInfo(path).fileName()));
    return failed;
}

std::optional<Captions> readCaptions(const QString& path, LWCliProgress& progress, int& status) {
    const auto text = LWFormats::readText(path);
    if (!text) {
        status = cannotRead(path, progress);
        return std::nullopt;
    }
    Captions captions = CaptionMath::parseAnyCaptions(*text);
    if (captions.isEmpty()) {
        progress.finish();
        printError(LWFormats::noCaptionsSentence(QFileInfo(path).fileName()));
        status = failed;
        return std::nullopt;
    }
    return captions;
}

int writeOutput(const QString& path, const QString& text, LWCliProgress& progress) {
    if (interruptRequested())
        return interrupted;
    progress.update(QStringLiteral("Writing…"), -1);
    try {
        LWFormats::writeAtomically(path, text.toUtf8());
    } catch (const BCError& e) {
        progress.finish();
        printError(e.message());
        return failed;
    }
    progress.finish();
    return ok;
}

int runStoppable(LWCliProgress& progress, const std::function<int(std::stop_token)>& work) {
    std::stop_source source;
    // Ctrl+C stops the job; this thread keeps its event loop running meanwhile (downloads, the
    // keyring and the job's reports need it).
    QTimer interrupt;
    QObject::connect(&interrupt, &QTimer::timeout, [&source] {
        if (interruptRequested())
            source.request_stop();
    });
    interrupt.start(20);
    int status = failed;
    LWJobRunner runner;
    const LWJobRunner::Outcome outcome =
        runner.runAndWait(QStringLiteral("lorowen-cli"), source, [&](std::stop_token stop) {
            status = work(stop);
            return std::function<void()>([] {});
        });
    if (outcome.stopped()) {
        progress.finish();
        return interrupted;
    }
    if (outcome.error) {
        progress.finish();
        printError(*outcome.error);
        return failed;
    }
    return status;
}

bool interruptRequested() {
    return g_interrupted.load();
}

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
    if (name == QStringLiteral("--version")) {
        std::printf("lorowen-cli %s\n", LOROWEN_VERSION);
        return ok;
    }
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
        const int status = c.run(c, rest);
        return interruptRequested() && status != usage ? int(interrupted) : status;
    }
    printError(QStringLiteral("unknown command %1").arg(name));
    std::fprintf(stderr, "usage: lorowen-cli COMMAND [ARGUMENTS] (see --help)\n");
    return usage;
}

} // namespace LWCli
