// Every test program gets a private world: the offscreen platform, its own XDG folders and its
// own temporary folder, so preferences, caches and data never touch the developer's own, and
// tests that look at what is left in the temporary folder don't see another program's files
// while `ctest -j` runs them side by side.
#ifdef LOROWEN_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication; // the widget tests build this file into their own program
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/lorowen-test-XXXXXX"));
    if (!root.isValid())
        return 1;
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = root.filePath(QString::fromLatin1(name).toLower());
        QDir().mkpath(path);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
        qputenv(name, path.toUtf8());
    }
    qputenv("TMPDIR", root.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef LOROWEN_TEST_WIDGETS
    // A full-HD desktop rather than the platform's 800 x 600, so that windows sized "within the
    // screen" get the size they would have on a common desktop.
    QFile screens(root.filePath(QStringLiteral("screens.json")));
    if (!screens.open(QIODevice::WriteOnly) ||
        screens.write(R"({"synchronousWindowSystemEvents": false, "windowFrameMargins": true,
            "screens": [{"name": "offscreen", "x": 0, "y": 0, "width": 1920, "height": 1080,
            "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") < 0)
        return 1;
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toUtf8());
#endif
    qputenv("QT_MEDIA_BACKEND", "gstreamer");
    qputenv("LC_ALL", "C.UTF-8");
    // The ElevenLabs key lives in memory: no test ever waits on a keyring prompt.
    qputenv("BRCT_ELEVENLABS_KEYSTORE", "memory");

    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv); // fonts for the caption renderer
    return RUN_ALL_TESTS();
}
