#include "LWCli.h"

#include <QGuiApplication>

int main(int argc, char** argv) {
    // The command line never needs a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    LWCli::installInterruptHandler();
    QGuiApplication app(argc, argv);
    QStringList arguments = QGuiApplication::arguments();
    arguments.removeFirst();
    return LWCli::run(arguments);
}
