#include "BCChildProcess.h"

#include "BCError.h"

#include <QProcess>

namespace BCChildProcess {

namespace {

constexpr int kPollMs = 50;
constexpr int kKillAfterMs = 2000;

} // namespace

int run(const QString& program, const QStringList& arguments, const Streams& streams,
        std::stop_token stop, const QString& cannotStart, const QStringList& environment) {
    if (stop.stop_requested())
        throw BCCancelled{};
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    if (!environment.isEmpty()) {
        QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
        for (const QString& entry : environment) {
            const qsizetype equals = entry.indexOf(u'=');
            variables.insert(entry.left(equals), equals < 0 ? QString() : entry.mid(equals + 1));
        }
        process.setProcessEnvironment(variables);
    }
    process.setStandardInputFile(QProcess::nullDevice());
    if (!streams.out) {
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setReadChannel(QProcess::StandardError);
    }
    if (!streams.err)
        process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(-1))
        throw BCError(cannotStart, program + QStringLiteral(": ") + process.errorString());

    const auto drain = [&] {
        if (streams.out) {
            const QByteArray piece = process.readAllStandardOutput();
            if (!piece.isEmpty())
                streams.out(piece);
        }
        if (streams.err) {
            const QByteArray piece = process.readAllStandardError();
            if (!piece.isEmpty())
                streams.err(piece);
        }
    };
    while (process.state() != QProcess::NotRunning) {
        if (stop.stop_requested()) {
            process.terminate();
            if (!process.waitForFinished(kKillAfterMs)) {
                process.kill();
                process.waitForFinished(-1);
            }
            throw BCCancelled{};
        }
        process.waitForReadyRead(kPollMs);
        drain();
    }
    drain();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace BCChildProcess
