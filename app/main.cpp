#include "BCPreferences.h"
#include "ELKeyStore.h"
#include "ELSettings.h"
#include "LWMainWindow.h"
#include "LWStore.h"
#include "WhisperModels.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <cstdio>
#include <cstring>

namespace {

// One window per user: a second launch hands its file to the running one over this socket.
QString socketName() {
    return QStringLiteral("brct-lorowen-pro-") + QString::fromLocal8Bit(qgetenv("USER"));
}

// Sends `path` (possibly empty, which only raises the window) to a running instance. Returns
// whether one answered.
bool forwardToRunning(const QString& path) {
    QLocalSocket socket;
    socket.connectToServer(socketName());
    if (!socket.waitForConnected(500))
        return false;
    socket.write(path.toUtf8() + '\n');
    socket.flush();
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // Answered before anything needs a display, so packaging checks can run it anywhere.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lorowen %s\n", LOROWEN_VERSION);
            return 0;
        }
    }
    // Without a display Qt would stop with a platform-plugin error; say what to do instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("lorowen: no display found; run it in a desktop session or under xvfb-run, or "
                   "use lorowen-cli for batch work\n",
                   stderr);
        return 1;
    }
    // Qt Multimedia's FFmpeg backend crashes on machines without a sound device.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brindlecote"));
    QApplication::setApplicationName(QStringLiteral("Lorowen Pro"));
    QApplication::setApplicationDisplayName(QStringLiteral("BRCT Lorowen Pro"));
    QApplication::setDesktopFileName(QStringLiteral("lorowen"));

    const QStringList files = QApplication::arguments().mid(1);
    const QString file = files.isEmpty() ? QString() : QFileInfo(files.first()).absoluteFilePath();
    if (forwardToRunning(file))
        return 0;

    // The services the window's store works with, made once and outliving the window.
    const std::unique_ptr<BCPreferences> preferences = BCPreferences::user();
    WhisperModels models(*preferences);
    ELSettings elevenLabs(ELKeyStore::system(), *preferences);
    LWMainWindow window({*preferences, models, elevenLabs});
    QLocalServer server;
    QLocalServer::removeServer(socketName()); // a stale socket of a crashed run
    server.setSocketOptions(QLocalServer::UserAccessOption);
    if (server.listen(socketName())) {
        QObject::connect(&server, &QLocalServer::newConnection, &window, [&server, &window] {
            while (QLocalSocket* peer = server.nextPendingConnection()) {
                QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                QObject::connect(peer, &QLocalSocket::readyRead, &window, [peer, &window] {
                    while (peer->canReadLine()) {
                        const QString path = QString::fromUtf8(peer->readLine()).trimmed();
                        if (!path.isEmpty())
                            window.store().open(path);
                        window.raise();
                        window.activateWindow();
                    }
                });
            }
        });
    }
    window.show();
    if (!file.isEmpty())
        window.store().open(file);
    return QApplication::exec();
}
