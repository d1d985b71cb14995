#include "LWFormats.h"

#include "BCFiles.h"

#include "BCError.h"
#include "BCText.h"
#include "CaptionMath.h"

#include <QFile>
#include <QFileInfo>

namespace LWFormats {

QString extension(TextKind kind) {
    switch (kind) {
    case TextKind::srt:
        return QStringLiteral("srt");
    case TextKind::vtt:
        return QStringLiteral("vtt");
    case TextKind::ass:
        return QStringLiteral("ass");
    case TextKind::ttml:
        return QStringLiteral("ttml");
    case TextKind::sbv:
        return QStringLiteral("sbv");
    case TextKind::txt:
        break;
    }
    return QStringLiteral("txt");
}

const QStringList& captionExts() {
    static const QStringList list = {QStringLiteral("srt"),  QStringLiteral("vtt"),
                                     QStringLiteral("ass"),  QStringLiteral("ssa"),
                                     QStringLiteral("ttml"), QStringLiteral("xml"),
                                     QStringLiteral("dfxp"), QStringLiteral("sbv")};
    return list;
}

QString noCaptionsSentence(const QString& fileName) {
    return QStringLiteral("“%1” doesn't contain SRT, VTT, ASS, SSA, TTML or SBV captions.")
        .arg(fileName);
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
    for (TextKind kind : {TextKind::srt, TextKind::vtt, TextKind::txt, TextKind::ass,
                          TextKind::ttml, TextKind::sbv}) {
        if (suffix == extension(kind))
            return kind;
    }
    if (suffix == QStringLiteral("ssa"))
        return TextKind::ass;
    if (suffix == QStringLiteral("xml") || suffix == QStringLiteral("dfxp"))
        return TextKind::ttml;
    return std::nullopt;
}

QString text(TextKind kind, const Captions& captions, bool timestamps, const Look& look) {
    switch (kind) {
    case TextKind::ass:
        return CaptionMath::ass(captions, look.style, look.picture);
    case TextKind::ttml:
        return CaptionMath::ttml(captions, look.style, look.language);
    case TextKind::sbv:
        return CaptionMath::sbv(captions);
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
    BCFiles::writeAtomically(path, bytes);
}

} // namespace LWFormats
