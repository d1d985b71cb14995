#include "LWMainWindow.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brindlecote"));
    QApplication::setApplicationName(QStringLiteral("Lorowen Pro"));
    QApplication::setApplicationDisplayName(QStringLiteral("BRCT Lorowen Pro"));

    LWMainWindow window;
    window.show();
    return QApplication::exec();
}
