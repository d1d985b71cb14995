#include "BurnIn.h"

#include "BCFiles.h"
#include "CaptionMath.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

#include <sys/stat.h>

namespace BurnIn {

bool isSourceOf(const BCOpenedMedia& media, const QString& destination) {
    struct stat target {};
    if (::stat(QFile::encodeName(destination).constData(), &target) != 0)
        return false; // nothing there yet
    const QString used[] = {
        media.asset.path, media.original.isLocalFile() ? media.original.toLocalFile() : QString(),
        media.playable.isLocalFile() ? media.playable.toLocalFile() : QString()};
    for (const QString& path : used) {
        struct stat source {};
        if (!path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &source) == 0 &&
            source.st_dev == target.st_dev && source.st_ino == target.st_ino)
            return true;
    }
    return false;
}

QString replacesSourceSentence() {
    return QStringLiteral(
        "The export can't replace the file it is made from. Choose another name.");
}

QString savedNote(const QString& fileName, bool sidecars, bool sidecarsWritten) {
    QString note = QStringLiteral("Saved ") + fileName;
    if (sidecars)
        note += sidecarsWritten ? QStringLiteral(" (+ .srt and .vtt beside it)")
                                : QStringLiteral(" (the .srt and .vtt files couldn't be written)");
    return note + u'.';
}

QSize renderSize(QSizeF displayed) {
    auto even = [](double side) { return std::max(2, int(std::round(std::fabs(side) / 2.0)) * 2); };
    return {even(displayed.width()), even(displayed.height())};
}

int frameRate(double nominal) {
    if (!(nominal > 1))
        return 30;
    return int(std::clamp(std::round(nominal), 10.0, 60.0));
}

QStringList writeSidecars(const Captions& captions, const QString& video) {
    const QFileInfo info(video);
    const QString suffix = info.suffix();
    const QString base =
        suffix.isEmpty() ? info.filePath() : info.filePath().chopped(suffix.size() + 1);
    const QString srtPath = base + QStringLiteral(".srt");
    const QString vttPath = base + QStringLiteral(".vtt");
    BCFiles::writeAtomically(srtPath, CaptionMath::srt(captions).toUtf8());
    BCFiles::writeAtomically(vttPath, CaptionMath::vtt(captions).toUtf8());
    return {srtPath, vttPath};
}

} // namespace BurnIn
