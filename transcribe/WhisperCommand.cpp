// The whisper-cli command line: where the program is, how many threads, and the arguments.
#include "WhisperEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTextBoundaryFinder>
#include <QThread>
#include <algorithm>

namespace WhisperEngine {

namespace {

constexpr qsizetype maxPromptCharacters = 700;

bool isExecutableFile(const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isExecutable();
}

// The first `count` user-perceived characters of `text`.
QString firstCharacters(const QString& text, qsizetype count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype seen = 0;
    while (finder.toNextBoundary() >= 0) {
        if (++seen == count)
            return text.left(finder.position());
    }
    return text;
}

} // namespace

std::optional<QString> cliURL(bool gpu) {
    const QString bundled = QDir(QCoreApplication::applicationDirPath())
                                .filePath(gpu ? QStringLiteral("helpers/whisper-cli-vulkan")
                                              : QStringLiteral("helpers/whisper-cli"));
    if (isExecutableFile(bundled))
        return bundled;
    const QString configured =
        qEnvironmentVariable(gpu ? "BRCT_WHISPER_CLI_VULKAN" : "BRCT_WHISPER_CLI");
    if (isExecutableFile(configured))
        return QFileInfo(configured).absoluteFilePath();
    return std::nullopt;
}

int threads(const QString& cpuRoot) {
    const QDir root(cpuRoot);
    const QStringList cpus =
        root.entryList({QStringLiteral("cpu[0-9]*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    QSet<QString> cores;
    for (const QString& cpu : cpus) {
        const QString topology = root.filePath(cpu + QStringLiteral("/topology/"));
        QFile package(topology + QStringLiteral("physical_package_id"));
        QFile core(topology + QStringLiteral("core_id"));
        if (!package.open(QIODevice::ReadOnly) || !core.open(QIODevice::ReadOnly))
            continue;
        cores.insert(
            QString::fromLatin1(package.readAll().trimmed() + ':' + core.readAll().trimmed()));
    }
    if (!cores.isEmpty())
        return std::clamp(int(cores.size()), 2, 16);
    return std::max(QThread::idealThreadCount() / 2, 2);
}

int gpuThreads() {
    return std::min(4, threads());
}

QString languageCode(const QString& language) {
    QString code = language;
    code.replace(u'_', u'-');
    const QStringList pieces = code.split(u'-', Qt::SkipEmptyParts);
    return pieces.isEmpty() ? QStringLiteral("auto") : pieces.first().toLower();
}

QString effectivePrompt(const Options& options) {
    QString prompt = options.prompt.value_or(QString());
    if (options.song && !options.prompt)
        prompt = QStringLiteral("♪ Song lyrics, transcribed word for word. ♪");
    return firstCharacters(prompt, maxPromptCharacters);
}

QStringList arguments(const QString& model, const QString& wav, const QString& out,
                      const Options& options, const std::optional<QString>& vad,
                      std::optional<int> promptTokens) {
    QStringList args = {
        QStringLiteral("-m"),   model,
        QStringLiteral("-f"),   wav,
        QStringLiteral("-l"),   languageCode(options.language),
        QStringLiteral("-t"),   QString::number(options.gpu ? gpuThreads() : threads()),
        QStringLiteral("-ml"),  QStringLiteral("1"),
        QStringLiteral("-sow"), QStringLiteral("-ojf"),
        QStringLiteral("-of"),  out,
        QStringLiteral("-pp"),  QStringLiteral("-np"),
        QStringLiteral("-bs"),  QStringLiteral("1"),
        QStringLiteral("-bo"),  QStringLiteral("1"),
        QStringLiteral("-fa")};
    const QString prompt = effectivePrompt(options);
    if (options.song) {
        const int tokens =
            prompt.isEmpty() ? 0 : promptTokens.value_or(int(prompt.toUtf8().size()));
        if (tokens < 1) {
            args << QStringLiteral("-mc") << QStringLiteral("0");
        } else {
            args << QStringLiteral("-mc") << QString::number(tokens + 1)
                 << QStringLiteral("--carry-initial-prompt");
        }
        if (vad) {
            // "-vsd" is the shortest silence that splits speech in whisper-cli 1.9.1.
            args << QStringLiteral("--vad") << QStringLiteral("-vm") << *vad
                 << QStringLiteral("-vt") << QStringLiteral("0.35") << QStringLiteral("-vsd")
                 << QStringLiteral("300") << QStringLiteral("-vp") << QStringLiteral("200");
        }
    }
    if (!prompt.isEmpty())
        args << QStringLiteral("--prompt") << prompt;
    return args;
}

} // namespace WhisperEngine
