#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

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

// Waits (two minutes at most) for a started run and collects what it said.
inline CliRun finished(QProcess& process) {
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

inline CliRun cli(const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(cliEnvironment());
    process.start(QStringLiteral(LOROWEN_CLI_PATH), arguments);
    return finished(process);
}

#ifdef LOROWEN_FAKE_CLI
#include "LWProject.h"
#include "WhisperModels.h"

// lorowen-cli looks for whisper-cli in its own helpers folder before BRCT_WHISPER_CLI, and the
// set-up places the real binary beside the build's copy: a copy of the program whose helpers
// folder holds the stand-in instead.
inline QString cliWithFakeEngine() {
    static QTemporaryDir dir;
    static const QString program = [] {
        const QString copy = dir.filePath(QStringLiteral("lorowen-cli"));
        QDir(dir.path()).mkpath(QStringLiteral("helpers"));
        QFile::copy(QStringLiteral(LOROWEN_CLI_PATH), copy);
        QFile::setPermissions(copy, QFile::permissions(QStringLiteral(LOROWEN_CLI_PATH)));
        QFile::link(QStringLiteral(LOROWEN_FAKE_CLI),
                    dir.filePath(QStringLiteral("helpers/whisper-cli")));
        return copy;
    }();
    return program;
}

// No models and no projects yet, and the stand-in whisper-cli (writing its record in `folder`)
// answering "Hello there." in any run.
inline void useFakeEngine(const QString& folder) {
    QDir(WhisperModels::folder()).removeRecursively();
    QDir(LWProject::folder()).removeRecursively();
    qputenv("BRCT_WHISPER_CLI", LOROWEN_FAKE_CLI);
    qputenv("FAKE_DIR", folder.toUtf8());
    qunsetenv("FAKE_MODE");
    qunsetenv("FAKE_EXIT");
    QFile json(folder + QStringLiteral("/json"));
    if (json.open(QIODevice::WriteOnly))
        json.write(R"({"transcription": [
            {"offsets": {"from": 100, "to": 500}, "text": " Hello"},
            {"offsets": {"from": 500, "to": 900}, "text": " there."}]})");
}
#endif
