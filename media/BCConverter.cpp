// The converter side of BCMediaOpener: finding the `ffmpeg` program, its argument lists, running
// it as a child process with progress and cancellation, and reading its output.
#include "BCMediaOpener.h"

#include "BCChildProcess.h"
#include "BCError.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace BCMediaOpener {

namespace {

constexpr qsizetype kLogLimit = 4000;

bool executableFile(const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isExecutable();
}

QString executableFolder() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
}

bool readNumber(QStringView piece, double& out) {
    QByteArray text = piece.toLatin1();
    if (text.startsWith('+') && text.size() > 1 && text[1] != '-')
        text.remove(0, 1);
    const char* end = text.constData() + text.size();
    const auto result = std::from_chars(text.constData(), end, out);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(out);
}

} // namespace

std::optional<QString> converterURL() {
    const QString bundled = executableFolder() + QStringLiteral("/helpers/ffmpeg");
    if (executableFile(bundled))
        return bundled;
    const QString fromEnvironment = qEnvironmentVariable("BRCT_FFMPEG");
    if (executableFile(fromEnvironment))
        return QFileInfo(fromEnvironment).absoluteFilePath();
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    if (executableFile(onPath))
        return onPath;
    return std::nullopt;
}

QStringList copyArguments(const QString& input, const QString& output) {
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-nostdin"),
            QStringLiteral("-y"),
            QStringLiteral("-i"),
            input,
            QStringLiteral("-map"),
            QStringLiteral("0:v:0?"),
            QStringLiteral("-map"),
            QStringLiteral("0:a:0?"),
            QStringLiteral("-c"),
            QStringLiteral("copy"),
            QStringLiteral("-movflags"),
            QStringLiteral("+faststart"),
            output};
}

QStringList encodeArguments(const QString& input, const QString& output) {
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-nostdin"),
            QStringLiteral("-y"),
            QStringLiteral("-i"),
            input,
            QStringLiteral("-map"),
            QStringLiteral("0:v:0?"),
            QStringLiteral("-map"),
            QStringLiteral("0:a:0?"),
            QStringLiteral("-c:v"),
            QStringLiteral("libx264"),
            QStringLiteral("-preset"),
            QStringLiteral("veryfast"),
            QStringLiteral("-b:v"),
            QStringLiteral("8M"),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"),
            QStringLiteral("-vf"),
            QStringLiteral("yadif=deint=interlaced,scale=trunc(iw/2)*2:trunc(ih/2)*2"),
            QStringLiteral("-c:a"),
            QStringLiteral("aac"),
            QStringLiteral("-b:a"),
            QStringLiteral("192k"),
            QStringLiteral("-ac"),
            QStringLiteral("2"),
            QStringLiteral("-movflags"),
            QStringLiteral("+faststart"),
            output};
}

QStringList soundOnlyArguments(const QString& input, const QString& output) {
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-nostdin"),
            QStringLiteral("-y"),
            QStringLiteral("-i"),
            input,
            QStringLiteral("-vn"),
            QStringLiteral("-c:a"),
            QStringLiteral("aac"),
            QStringLiteral("-b:a"),
            QStringLiteral("192k"),
            QStringLiteral("-ac"),
            QStringLiteral("2"),
            output};
}

bool canStreamCopy(const BCAsset& source) {
    if (source.videoTracks.empty() && source.audioTracks.empty())
        return false;
    if (!source.videoTracks.empty()) {
        const BCVideoTrack& video = source.videoTracks.front();
        using Scan = BCVideoTrack::Scan;
        const bool modern =
            video.codec == QStringLiteral("h264") || video.codec == QStringLiteral("hevc");
        // Only pictures known to be progressive are copied; the rest are deinterlaced.
        const bool ok =
            (modern || video.codec == QStringLiteral("mpeg4")) && video.scan == Scan::progressive;
        if (!ok)
            return false;
    }
    if (!source.audioTracks.empty()) {
        const QString& codec = source.audioTracks.front().codec;
        if (codec != QStringLiteral("aac") && codec != QStringLiteral("mp3") &&
            codec != QStringLiteral("ac3"))
            return false;
    }
    return true;
}

QString converterReason(const QString& log) {
    const QString lower = log.toLower();
    const QString damaged =
        QStringLiteral("the file's contents are damaged or in a format the converter doesn't know");
    const QString unreadable = QStringLiteral("the file can't be read (check the drive and "
                                              "permissions)");
    if (lower.contains(QStringLiteral("invalid data")) ||
        lower.contains(QStringLiteral("could not find codec")))
        return damaged;
    if (lower.contains(QStringLiteral("no such file")) ||
        lower.contains(QStringLiteral("permission denied")))
        return unreadable;
    if (lower.contains(QStringLiteral("no space")))
        return QStringLiteral("the disk is full");
    return QStringLiteral("the converter couldn't decode it");
}

void runConverter(const QString& program, const QStringList& arguments, double duration,
                  const Status& status, std::stop_token stop) {
    QString log; // only this thread touches it: the pipe is read here
    QStringDecoder utf8(QStringDecoder::Utf8);
    const BCChildProcess::Output onError = [&](const QByteArray& bytes) {
        const QString chunk = utf8.decode(bytes);
        log += chunk;
        if (log.size() > kLogLimit)
            log = log.right(kLogLimit);
        if (duration > 0 && status) {
            const qsizetype at = chunk.lastIndexOf(QStringLiteral("time="));
            if (at >= 0) {
                const double t = parseClock(QStringView(chunk).sliced(at + 5).left(11));
                status(QStringLiteral("Converting…"), std::min(t / duration, 1.0));
            }
        }
    };
    const int exit =
        BCChildProcess::run(program, arguments, {.out = {}, .err = onError}, stop,
                            QStringLiteral("The converter (ffmpeg) couldn't be started."));
    if (exit != 0)
        throw BCError(QStringLiteral("Conversion failed: ") + converterReason(log) + u'.',
                      log.right(1000));
}

double probeDuration(const QString& input, std::stop_token stop) {
    const std::optional<QString> converter = converterURL();
    if (!converter)
        return 0;
    QByteArray output;
    try {
        BCChildProcess::run(*converter,
                            {QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                             QStringLiteral("-i"), input},
                            {.out = {}, .err = [&](const QByteArray& bytes) { output += bytes; }},
                            stop, QStringLiteral("The converter (ffmpeg) couldn't be started."));
    } catch (const BCError&) {
        return 0; // could not start
    }
    const QString text = QString::fromUtf8(output);
    const qsizetype at = text.indexOf(QStringLiteral("Duration: "));
    if (at < 0)
        return 0;
    return parseClock(QStringView(text).sliced(at + 10).left(11));
}

double parseClock(QStringView text) {
    const QList<QStringView> pieces = text.split(u':', Qt::SkipEmptyParts);
    if (pieces.size() != 3)
        return 0;
    double h = 0, m = 0, s = 0;
    if (!readNumber(pieces[0], h) || !readNumber(pieces[1], m) || !readNumber(pieces[2], s))
        return 0;
    return h * 3600 + m * 60 + s;
}

} // namespace BCMediaOpener
