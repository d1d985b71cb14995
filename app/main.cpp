#include "BCPreferences.h"
#include "ELKeyStore.h"
#include "ELSettings.h"
#include "LWInstance.h"
#include "LWMainWindow.h"
#include "LWStore.h"
#include "WhisperDevices.h"
#include "WhisperModels.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>
#include <optional>

namespace {

// The window's command line. --help and --version are answered before anything needs a display
// (packaging checks run them without one); the rest is read once Qt has taken its own options
// (-platform, -style, …) out of the arguments.
class Arguments {
public:
    Arguments() {
        m_parser.setApplicationDescription(
            QStringLiteral("BRCT Lorowen Pro: timed captions from the speech in a video or audio "
                           "file.\nFor batch work without a window, use lorowen-cli."));
        m_parser.addOption(m_help);
        m_parser.addOption(m_version);
        m_parser.addPositionalArgument(QStringLiteral("file"),
                                       QStringLiteral("A video or audio file to open."),
                                       QStringLiteral("[file]"));
    }

    // Before the application exists: >= 0 when the program has answered and exits with it.
    int answerEarly(int argc, char** argv) {
        QStringList words;
        for (int i = 0; i < argc; ++i)
            words << QString::fromLocal8Bit(argv[i]);
        m_parser.parse(words); // unknown options may be Qt's own; judged later
        if (m_parser.isSet(m_help)) {
            QString text = m_parser.helpText();
            text.replace(QStringLiteral("<executable_name>"), QStringLiteral("lorowen"));
            std::fputs(qPrintable(text), stdout);
            return 0;
        }
        if (m_parser.isSet(m_version)) {
            std::printf("lorowen %s\n", LOROWEN_VERSION);
            return 0;
        }
        return -1;
    }

    // The file to open (absolute, or empty) from the application's arguments; nothing, after
    // saying why, when they make no sense.
    std::optional<QString> file(const QStringList& arguments) {
        const auto refuse = [](const QString& why) {
            std::fprintf(stderr, "lorowen: %s\nTry 'lorowen --help'.\n", qPrintable(why));
            return std::nullopt;
        };
        if (!m_parser.parse(arguments))
            return refuse(m_parser.errorText());
        const QStringList files = m_parser.positionalArguments();
        if (files.size() > 1)
            return refuse(QStringLiteral("open one file at a time."));
        return files.isEmpty() ? QString() : QFileInfo(files.first()).absoluteFilePath();
    }

private:
    QCommandLineParser m_parser;
    const QCommandLineOption m_help{{QStringLiteral("h"), QStringLiteral("help")},
                                    QStringLiteral("Show this help and exit.")};
    const QCommandLineOption m_version{{QStringLiteral("v"), QStringLiteral("version")},
                                       QStringLiteral("Show the version and exit.")};
};

} // namespace

int main(int argc, char** argv) {
    Arguments arguments;
    if (const int answered = arguments.answerEarly(argc, argv); answered >= 0)
        return answered;
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

    const std::optional<QString> file = arguments.file(QApplication::arguments());
    if (!file)
        return 2;
    if (LWInstance::forward(*file))
        return 0;

    // The services the window's store works with, made once and outliving the window.
    const std::unique_ptr<BCPreferences> preferences = BCPreferences::user();
    WhisperModels models(*preferences);
    ELSettings elevenLabs(ELKeyStore::system(), *preferences);
    LWMainWindow window({*preferences, models, elevenLabs});
    LWInstance instance;
    QObject::connect(&instance, &LWInstance::requested, &window, [&window](const QString& path) {
        if (!path.isEmpty())
            window.store().open(path);
        window.raise();
        window.activateWindow();
    });
    instance.listen();
    window.show();
    // The graphics cards, looked for once on a thread of their own while the window starts
    // (Settings and the first transcription use the answer).
    WhisperDevices::findInBackground();
    if (!file->isEmpty())
        window.store().open(*file);
    const int status = QApplication::exec();
    WhisperDevices::found(); // the search has ended before the process does
    return status;
}
