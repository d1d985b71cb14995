#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Runs the built lorowen-cli as a shell would, without a display, and collects what it says.
struct CliRun {
    int status = -1; // -1 when it crashed or did not finish
    QString out;
    QString err;
};

inline QProcessEnvironment cliEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return env;
}

inline CliRun cli(const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(cliEnvironment());
    process.start(QStringLiteral(LOROWEN_CLI_PATH), arguments);
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}
