#include "LWFormats.h"

#include "BCError.h"
#include "BCText.h"
#include "CaptionMath.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace LWFormats {

QString extension(TextKind kind) {
    switch (kind) {
    case TextKind::srt:
        return QStringLiteral("srt");
    case TextKind::vtt:
        return QStringLiteral("vtt");
    case TextKind::txt:
        break;
    }
    return QStringLiteral("txt");
}

const QStringList& exts() {
    static const QStringList list = {
        QStringLiteral("mp4"), QStringLiteral("mov"),  QStringLiteral("m4v"),
        QStringLiteral("mpg"), QStringLiteral("mpeg"), QStringLiteral("mpe"),
        QStringLiteral("m1v"), QStringLiteral("m2v"),  QStringLiteral("vob"),
        QStringLiteral("ts"),  QStringLiteral("m2ts"), QStringLiteral("mts"),
        QStringLiteral("mp3"), QStringLiteral("wav"),  QStringLiteral("m4a"),
        QStringLiteral("aif"), QStringLiteral("aiff"), QStringLiteral("aifc"),
        QStringLiteral("caf"), QStringLiteral("aac")};
    return list;
}

std::optional<TextKind> kindForPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (TextKind kind : {TextKind::srt, TextKind::vtt, TextKind::txt}) {
        if (suffix == extension(kind))
            return kind;
    }
    return std::nullopt;
}

QString text(TextKind kind, const Captions& captions, bool timestamps) {
    switch (kind) {
    case TextKind::srt:
        return CaptionMath::srt(captions);
    case TextKind::vtt:
        return CaptionMath::vtt(captions);
    case TextKind::txt:
        break;
    }
    return CaptionMath::txt(captions, timestamps);
}

std::optional<QString> readText(const QString& path) {
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return BCText::decode(bytes);
}

void writeAtomically(const QString& path, const QByteArray& bytes) {
    const QString name = QFileInfo(path).fileName();
    auto failure = [&](const QString& reason) {
        return BCError(QStringLiteral("The file “%1” couldn't be saved: %2.").arg(name, reason),
                       path);
    };
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw failure(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw failure(reason);
    }
    if (!file.commit())
        throw failure(file.errorString());
}

} // namespace LWFormats
