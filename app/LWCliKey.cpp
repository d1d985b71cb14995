// lorowen-cli key: the ElevenLabs API key in the desktop keyring. The key is read from standard
// input (without echo on a terminal), never from the command line, and is never printed.
#include "BCError.h"
#include "ELKeyStore.h"
#include "LWCli.h"
#include "LWCliCommands.h"

#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace LWCli {

namespace {

// Long enough for a person to answer the keyring's unlock prompt.
constexpr std::chrono::seconds keyringLimit(120);
constexpr qsizetype longestLine = 64 * 1024;

// One line of standard input. On a terminal it asks on standard error and turns echo off while
// the key is typed. Nothing when Ctrl+C came first.
std::optional<QByteArray> readSecretLine() {
    const bool terminal = isatty(STDIN_FILENO) == 1;
    termios saved{};
    if (terminal && tcgetattr(STDIN_FILENO, &saved) == 0) {
        std::fprintf(stderr, "ElevenLabs API key: ");
        std::fflush(stderr);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QByteArray line;
    while (line.size() < longestLine) {
        char c = 0;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got == 1) {
            if (c == '\n')
                break;
            line.append(c);
        } else if (got < 0 && errno == EINTR && !interruptRequested()) {
            continue;
        } else {
            break; // the end of the input, an error, or Ctrl+C
        }
    }
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (interruptRequested())
        return std::nullopt;
    return line;
}

// Runs one wait on the key store with Ctrl+C able to end it.
ELKeyStore::Answer stoppable(const std::function<ELKeyStore::Answer(std::stop_token)>& wait) {
    std::stop_source stop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&stop] {
        if (interruptRequested())
            stop.request_stop();
    });
    poll.start(50);
    return wait(stop.get_token());
}

int failedWith(ELKeyStore::Operation operation, const ELKeyStore::Answer& answer) {
    printError(ELKeyStore::sentence(operation, answer.failure));
    return failed;
}

int key(const Command& self, const QStringList& args) {
    using Op = ELKeyStore::Operation;
    ParsedArgs parsed;
    int status = ok;
    if (!parseArgs(self, args, {}, {}, parsed, status))
        return status;
    const QStringList actions = {QStringLiteral("set"), QStringLiteral("remove"),
                                 QStringLiteral("status")};
    if (parsed.positional.size() != 1 || !actions.contains(parsed.positional.first()))
        return usageError(self, QStringLiteral("key takes one of set, remove or status"));
    const QString& action = parsed.positional.first();
    const std::unique_ptr<ELKeyStore> keys = ELKeyStore::system();

    try {
        if (action == QLatin1String("set")) {
            const std::optional<QByteArray> line = readSecretLine();
            if (!line)
                return interrupted;
            const QString typed = QString::fromUtf8(*line).trimmed();
            if (typed.isEmpty())
                return usageError(self, QStringLiteral("no key on standard input"));
            const auto saved = stoppable(
                [&](std::stop_token stop) { return keys->saveNow(typed, stop, keyringLimit); });
            if (!saved.ok())
                return failedWith(Op::save, saved);
            const auto read =
                stoppable([&](std::stop_token stop) { return keys->readNow(stop, keyringLimit); });
            if (!read.ok())
                return failedWith(Op::read, read);
            if (read.key != typed) {
                printError(QStringLiteral("The keyring didn't keep the key. Make sure it is "
                                          "unlocked, then try again."));
                return failed;
            }
            std::printf("Key saved in your keyring.\n");
        } else if (action == QLatin1String("remove")) {
            const auto removed = stoppable(
                [&](std::stop_token stop) { return keys->removeNow(stop, keyringLimit); });
            if (!removed.ok())
                return failedWith(Op::remove, removed);
            std::printf("Key removed from this computer.\n");
        } else {
            const auto read =
                stoppable([&](std::stop_token stop) { return keys->readNow(stop, keyringLimit); });
            if (!read.ok())
                return failedWith(Op::read, read);
            std::printf(read.key ? "An ElevenLabs key is saved in your keyring.\n"
                                 : "No ElevenLabs key is saved.\n");
        }
    } catch (const BCCancelled&) {
        return interrupted;
    }
    return ok;
}

} // namespace

Command keyCommand() {
    return {QStringLiteral("key"), QStringLiteral("set|remove|status"),
            QStringLiteral(
                "Keeps the ElevenLabs API key in the desktop keyring. set reads the key from\n"
                "standard input (typed without echo on a terminal; never give it as an\n"
                "argument), remove deletes it, status tells whether one is stored."),
            key};
}

} // namespace LWCli
