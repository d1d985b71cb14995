#include "LWCli.h"

#include <QGuiApplication>

int main(int argc, char** argv) {
    // The command line never needs a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
