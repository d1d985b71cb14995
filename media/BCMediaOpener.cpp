#include "BCMediaOpener.h"

#include "BCCacheTidy.h"
#include "BCContainer.h"
#include "BCError.h"
#include "BCFileTarget.h"
#include "BCRemux.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRectF>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextBoundaryFinder>
#include <charconv>
#include <cmath>
#include <mutex>
#include <sys/stat.h>

namespace BCMediaOpener {

namespace {

const QString kNotReadable = QStringLiteral("not readable");
const QString kBadSize = QStringLiteral("bad video size");

QString quoted(const QString& name) {
    return QStringLiteral("“") + name + QStringLiteral("”");
}

// The first `count` user-perceived characters of `text`.
QString firstCharacters(const QString& text, int count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text;
        end = next;
    }
    return text.left(end);
}

// The file name without its last extension, as a URL's deletingPathExtension gives it.
QString nameWithoutExtension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

bool fileExists(const QString& path) {
    return QFileInfo(path).isFile();
}

// The user can read `path`: a regular file (not a folder, pipe or device) that opens for reading.
bool readable(const QString& path) {
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

// Refuses a file the user can't read, and an empty one, with their sentences.
void checkReadableAndNotEmpty(const QString& path, const QString& name) {
    if (!readable(path))
        throw BCError(quoted(name) + QStringLiteral(" can't be read. Check that the drive is "
                                                    "connected and that you have permission "
                                                    "to open it."),
                      path);
    if (QFileInfo(path).size() < 1)
        throw BCError(quoted(name) + QStringLiteral(" is empty (0 bytes)."), path);
}

} // namespace

BCOpenedMedia inspect(const QString& path, const QString& original, bool converted,
                      const QString& note, std::stop_token stop) {
    BCAsset asset = BCAsset::load(path, stop);
    if (!asset.readable || !std::isfinite(asset.duration) || asset.duration <= 0)
        throw BCError(kNotReadable, path);
    BCOpenedMedia media;
    media.original = QUrl::fromLocalFile(original);
    media.playable = QUrl::fromLocalFile(path);
    media.duration = asset.duration;
    media.converted = converted;
    media.note = note;
    if (asset.videoTracks.empty()) {
        if (asset.audioTracks.empty())
            throw BCError(kNotReadable, path);
        media.hasAudio = true;
        media.asset = std::move(asset);
        return media;
    }
    const BCVideoTrack& video = asset.videoTracks.front();
    const QRectF shown = video.transform.mapRect(QRectF(QPointF(0, 0), QSizeF(video.naturalSize)));
    const double w = std::fabs(shown.width());
    const double h = std::fabs(shown.height());
    if (!(w >= 2) || !(h >= 2))
        throw BCError(kBadSize, QStringLiteral("%1 × %2").arg(w).arg(h));
    media.naturalSize = QSize(int(std::lround(w)), int(std::lround(h)));
    media.preferredTransform = video.transform;
    media.nominalFrameRate = video.frameRate > 0 ? float(video.frameRate) : 30.0f;
    media.hasVideo = true;
    media.hasAudio = !asset.audioTracks.empty();
    media.asset = std::move(asset);
    return media;
}

BCOpenedMedia openOriginal(const QString& givenPath, std::stop_token stop) {
    const QString path = QFileInfo(givenPath).absoluteFilePath();
    const QString name = QFileInfo(path).fileName();
    checkReadableAndNotEmpty(path, name);
    BCAsset asset;
    try {
        asset = BCAsset::load(path, stop);
    } catch (const BCError&) {
        asset.readable = false;
    }
    if (!asset.readable || asset.audioTracks.size() + asset.videoTracks.size() == 0)
        throw BCError(quoted(name) + QStringLiteral(" couldn't be opened. It may be damaged, "
                                                    "protected (DRM) or in a format this app "
                                                    "can't read."),
                      path);
    BCOpenedMedia media;
    media.original = QUrl::fromLocalFile(path);
    media.playable = media.original;
    media.duration = asset.duration;
    if (!std::isfinite(media.duration) || media.duration <= 0)
        media.duration = probeDuration(path, stop);
    if (!(media.duration > 0))
        throw BCError(quoted(name) + QStringLiteral(" couldn't be opened. It may be damaged, "
                                                    "protected (DRM) or in a format this app "
                                                    "can't read."),
                      path);
    media.hasVideo = !asset.videoTracks.empty();
    media.hasAudio = !asset.audioTracks.empty();
    media.asset = std::move(asset);
    return media;
}

BCOpenedMedia open(const QUrl& url, const Status& status, std::stop_token stop) {
    return open(url.toLocalFile(), status, std::move(stop));
}

BCOpenedMedia open(const QString& givenPath, const Status& status, std::stop_token stop) {
    const QString path = QFileInfo(givenPath).absoluteFilePath();
    const QString name = QFileInfo(path).fileName();
    auto checkStop = [&] {
        if (stop.stop_requested())
            throw BCCancelled{};
    };

    // 1-2. Readable and not empty.
    checkReadableAndNotEmpty(path, name);

    // 3-4. What the first bytes say; direct kinds are played as they are when they inspect well,
    // unless the player already failed on this very file and left a copy (convertForPlayback).
    const BCContainer kind = BCContainer::sniff(path);
    const QString cached = cacheFolder() + u'/' + cacheName(path);
    if (!kind.needsConversion() && !fileExists(cached)) {
        try {
            return inspect(path, path, false, {}, stop);
        } catch (const BCError&) {
            // not playable as it is: converted below
        }
    }
    checkStop();

    // 5-6. The cached copy from an earlier open.
    const QString raw = kind.rawValue();
    const QString what =
        kind == BCContainer::unknown ? QStringLiteral("this file") : QStringLiteral("this ") + raw;
    const QString dest = cacheFolder() + u'/' + cacheName(path);
    if (fileExists(dest)) {
        try {
            return inspect(dest, path, true,
                           QStringLiteral("Converted copy (from %1) re-used.").arg(raw), stop);
        } catch (const BCError&) {
            // a copy that no longer inspects is made again
        }
    }

    // 7-8. Make the copy.
    QFile::remove(dest);
    if (status)
        status(QStringLiteral("Converting %1 so the system can play it…").arg(what), 0.0);
    const std::optional<QString> converter = converterURL();
    const QString missing =
        QStringLiteral("The built-in converter is missing from this copy of the app.");
    QString detail;
    auto convert = [&] {
        try {
            convertWithBuiltIn(path, dest, status, stop);
        } catch (const BCError& error) {
            detail = error.message();
        }
    };
    if (kind.needsConversion()) {
        if (converter)
            convert();
        else
            detail = missing;
    } else {
        try {
            exportPassthrough(path, dest, stop);
        } catch (const BCError& error) {
            detail = error.message();
        }
        if (!fileExists(dest) && converter)
            convert();
        if (!converter && detail.isEmpty())
            detail = missing;
    }
    checkStop();

    // 9-10. The copy, or the sentence.
    if (fileExists(dest)) {
        try {
            return inspect(
                dest, path, true,
                QStringLiteral("Converted from %1 for playback. Your original file is untouched.")
                    .arg(raw),
                stop);
        } catch (const BCError&) {
            // falls through to the failure below
        }
    }
    QFile::remove(dest);
    checkStop();
    QString message = quoted(name) + QStringLiteral(" couldn't be opened. It may be damaged, "
                                                    "protected (DRM) or in a format this app "
                                                    "can't read (%1).")
                                         .arg(raw);
    if (!detail.isEmpty())
        message += QStringLiteral("\n\nDetails: ") + detail;
    throw BCError(message, path);
}

QString shortestDecimal(double value) {
    // Plain decimals between 1e-4 and 2^54 (every modification time), exponents outside.
    char buffer[400];
    const double size = std::fabs(value);
    const bool plain = size == 0 || (size >= 1e-4 && size < 0x1p54);
    const auto result =
        plain ? std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
              : std::to_chars(buffer, buffer + sizeof buffer, value);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (std::isfinite(value) && !text.contains(u'.') && !text.contains(u'e'))
        text += QStringLiteral(".0");
    return text;
}

QString cacheKey(const QString& givenPath) {
    const QString path = QFileInfo(givenPath).absoluteFilePath();
    long long size = 0;
    double mtime = 0;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        size = info.st_size;
        mtime = double(info.st_mtim.tv_sec) + double(info.st_mtim.tv_nsec) / 1e9;
    }
    return path + u'|' + QString::number(size) + u'|' + shortestDecimal(mtime);
}

quint64 cacheHash(QByteArrayView bytes) {
    quint64 hash = 0x14650FB0739D0383ULL; // this app's start value, not FNV's usual one
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ULL;
    }
    return hash;
}

QString cacheName(const QString& path) {
    return firstCharacters(nameWithoutExtension(path), 40) + u'-' +
           QString::number(cacheHash(cacheKey(path).toUtf8()), 16) + QStringLiteral(".mov");
}

QString cacheFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                           QStringLiteral("/Brindlecote/Lorowen Pro/Converted");
    QDir().mkpath(folder);
    static std::once_flag tidied;
    std::call_once(tidied,
                   [&folder] { removeStalePartials(folder, QDateTime::currentDateTime()); });
    return folder;
}

int removeStalePartials(const QString& folder, const QDateTime& now) {
    static const QRegularExpression ours(QStringLiteral("^.+\\.partial-[0-9A-Za-z]+\\.mov$"));
    int removed = 0;
    const QFileInfoList entries =
        QDir(folder).entryInfoList({QStringLiteral("*.partial-*.mov")}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& entry : entries) {
        if (!ours.match(entry.fileName()).hasMatch() || entry.isSymLink())
            continue;
        if (entry.lastModified().secsTo(now) > 24 * 60 * 60 && QFile::remove(entry.filePath()))
            ++removed;
    }
    return removed;
}

// The temporary copy beside `output` while the converter writes it: "<name>.partial-XXXXXX.mov",
// the names removeStalePartials tidies after an interrupted run.
BCFileTarget partialTarget(const QString& output) {
    QString base = QFileInfo(output).fileName();
    if (base.endsWith(QStringLiteral(".mov"), Qt::CaseInsensitive))
        base.chop(4);
    return BCFileTarget(output, base + QStringLiteral(".partial-XXXXXX.mov"));
}

// Moves the finished copy onto its place in the cache.
void moveIntoPlace(BCFileTarget& target) {
    try {
        target.commit();
    } catch (const BCError& e) {
        throw BCError(
            QStringLiteral("Conversion failed: the copy couldn't be stored in the cache."),
            e.detail());
    }
}

void convertWithBuiltIn(const QString& input, const QString& output, const Status& status,
                        std::stop_token stop, bool copyFirst) {
    const std::optional<QString> converter = converterURL();
    if (!converter)
        throw BCError(
            QStringLiteral("The built-in converter is missing from this copy of the app."));
    const double duration = probeDuration(input, stop);
    // A copy cut short is never left to be reused: the target removes it unless committed.
    BCFileTarget target = partialTarget(output);
    const QString temporary = target.path();
    {
        // A stream copy first when the source's streams can go into a MOV as they are; its
        // result must also inspect well, else the re-encode follows.
        bool copy = false;
        try {
            copy = copyFirst && canStreamCopy(BCAsset::load(input, stop));
        } catch (const BCError&) {
            copy = false; // the libraries can't read it: the converter decides
        }
        if (copy) {
            try {
                runConverter(*converter, copyArguments(input, temporary), duration, status, stop);
                inspect(temporary, input, true, {}, stop);
                moveIntoPlace(target);
                return;
            } catch (const BCError&) {
                QFile::remove(temporary);
            }
        }
        try {
            runConverter(*converter, encodeArguments(input, temporary), duration, status, stop);
        } catch (const BCError&) {
            QFile::remove(temporary);
            runConverter(*converter, soundOnlyArguments(input, temporary), duration, status, stop);
        }
        moveIntoPlace(target);
    }
}

BCOpenedMedia convertForPlayback(const QString& givenPath, const Status& status,
                                 std::stop_token stop) {
    const QString path = QFileInfo(givenPath).absoluteFilePath();
    const QString name = QFileInfo(path).fileName();
    checkReadableAndNotEmpty(path, name);
    const QString dest = cacheFolder() + u'/' + cacheName(path);
    const QString note = QStringLiteral("This system can't play %1 as it is, so a converted copy "
                                        "is shown. Your original file is untouched.")
                             .arg(quoted(name));
    if (fileExists(dest)) {
        try {
            return inspect(dest, path, true, note, stop);
        } catch (const BCError&) {
            QFile::remove(dest); // made again below
        }
    }
    if (status)
        status(QStringLiteral("Converting %1 so the system can play it…").arg(quoted(name)), 0.0);
    try {
        convertWithBuiltIn(path, dest, status, stop, false);
        return inspect(dest, path, true, note, stop);
    } catch (const BCError& error) {
        QFile::remove(dest);
        if (stop.stop_requested())
            throw BCCancelled{};
        throw BCError(QStringLiteral("%1 can't be played on this system, and converting it "
                                     "failed. It can still be transcribed and exported.\n\n"
                                     "Details: %2")
                          .arg(quoted(name), error.message()),
                      path);
    }
}

void exportPassthrough(const QString& input, const QString& output, std::stop_token stop) {
    BCFileTarget target = partialTarget(output);
    BCRemux::toMov(input, target.path(), stop);
    moveIntoPlace(target);
}

} // namespace BCMediaOpener
