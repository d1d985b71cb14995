#include "LWCli.h"

#include <QGuiApplication>
#include <cstdio>

namespace {

// The command line speaks only through its own output and sentences: Qt's warnings (such as the
// missing XDG_RUNTIME_DIR of cluster tasks, cron and containers) are dropped, unless logging
// rules ask for them while tracking down a fault.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg || !qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
        std::fprintf(stderr, "%s\n",
                     qFormatLogMessage(type, context, message).toLocal8Bit().constData());
        std::fflush(stderr);
    }
}

} // namespace

int main(int argc, char** argv) {
    // The command line never needs a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    LWCli::installInterruptHandler();
    // Qt would take its own options (-style, --style, -platform, …) out of the arguments; the
    // commands get every argument as typed and Qt sees only the program name.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    return LWCli::run(arguments);
}
