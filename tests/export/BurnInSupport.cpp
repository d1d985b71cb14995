#include "BurnInSupport.h"

#include "BCError.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace BurnInSupport {

namespace {

QByteArray run(const QString& program, const QStringList& arguments, bool* ok = nullptr) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(300000);
    const bool good = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (ok)
        *ok = good;
    if (!good)
        ADD_FAILURE() << program.toStdString() << " " << arguments.join(u' ').toStdString() << ": "
                      << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

QString ffprobe() {
    return QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
}

} // namespace

bool make(const QStringList& arguments) {
    const bool ok = MediaFixtures::ffmpeg(arguments);
    EXPECT_TRUE(ok) << "ffmpeg " << arguments.join(u' ').toStdString();
    return ok;
}

Probe probe(const QString& path) {
    Probe result;
    bool ok = false;
    const QByteArray json =
        run(ffprobe(),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
             QStringLiteral("-show_streams"), QStringLiteral("-show_format"), QStringLiteral("-of"),
             QStringLiteral("json"), path},
            &ok);
    if (!ok)
        return result;
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    bool seenVideo = false;
    bool seenAudio = false;
    for (const QJsonValue& value : root.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        const QString type = stream.value(QStringLiteral("codec_type")).toString();
        if (type == QStringLiteral("video") && !seenVideo) {
            seenVideo = true;
            result.width = stream.value(QStringLiteral("width")).toInt();
            result.height = stream.value(QStringLiteral("height")).toInt();
            result.videoCodec = stream.value(QStringLiteral("codec_name")).toString();
            result.profile = stream.value(QStringLiteral("profile")).toString();
            result.pixelFormat = stream.value(QStringLiteral("pix_fmt")).toString();
            result.frameRate = stream.value(QStringLiteral("r_frame_rate")).toString();
            result.frames = stream.value(QStringLiteral("nb_read_frames")).toString().toInt();
            for (const QJsonValue& side : stream.value(QStringLiteral("side_data_list")).toArray())
                if (side.toObject().contains(QStringLiteral("rotation")))
                    result.rotation = side.toObject().value(QStringLiteral("rotation")).toInt();
        } else if (type == QStringLiteral("audio") && !seenAudio) {
            seenAudio = true;
            result.audioCodec = stream.value(QStringLiteral("codec_name")).toString();
            result.audioChannels = stream.value(QStringLiteral("channels")).toInt();
            result.audioBitRate = stream.value(QStringLiteral("bit_rate")).toString().toLongLong();
        }
    }
    result.duration = root.value(QStringLiteral("format"))
                          .toObject()
                          .value(QStringLiteral("duration"))
                          .toString()
                          .toDouble();
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray head = file.read(1 << 20);
        const qsizetype moov = head.indexOf("moov");
        const qsizetype mdat = head.indexOf("mdat");
        result.indexFirst = moov >= 0 && (mdat < 0 || moov < mdat);
    }
    result.ok = true;
    return result;
}

Frames lumaFrames(const QString& path, int width, int height) {
    Frames frames;
    frames.width = width;
    frames.height = height;
    const QByteArray raw =
        run(MediaFixtures::ffmpegProgram(),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
             QStringLiteral("-map"), QStringLiteral("0:v:0"), QStringLiteral("-vsync"),
             QStringLiteral("passthrough"), QStringLiteral("-f"), QStringLiteral("rawvideo"),
             QStringLiteral("-pix_fmt"), QStringLiteral("gray"), QStringLiteral("-")});
    const qsizetype size = qsizetype(width) * height;
    for (qsizetype at = 0; size > 0 && at + size <= raw.size(); at += size)
        frames.luma.push_back(raw.mid(at, size));
    return frames;
}

std::vector<qint16> samples(const QString& path, int rate) {
    const QByteArray raw =
        run(MediaFixtures::ffmpegProgram(),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
             QStringLiteral("-map"), QStringLiteral("0:a:0"), QStringLiteral("-ac"),
             QStringLiteral("1"), QStringLiteral("-ar"), QString::number(rate),
             QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-")});
    std::vector<qint16> out(size_t(raw.size() / 2));
    std::memcpy(out.data(), raw.constData(), out.size() * 2);
    return out;
}

QByteArray soundPackets(const QString& path) {
    return run(MediaFixtures::ffmpegProgram(),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                QStringLiteral("-map"), QStringLiteral("0:a:0"), QStringLiteral("-c"),
                QStringLiteral("copy"), QStringLiteral("-f"), QStringLiteral("data"),
                QStringLiteral("-")});
}

double psnr(const QByteArray& a, const QByteArray& b, int width,
            const std::function<bool(int x, int y)>& counts) {
    double sum = 0;
    long long n = 0;
    for (qsizetype i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (counts && !counts(int(i % width), int(i / width)))
            continue;
        const double d = double(uchar(a[i])) - double(uchar(b[i]));
        sum += d * d;
        ++n;
    }
    if (n == 0 || sum == 0)
        return std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

BCOpenedMedia open(const QString& path) {
    try {
        return BCMediaOpener::open(path);
    } catch (const BCError& error) {
        ADD_FAILURE() << "opening " << path.toStdString() << ": " << error.message().toStdString();
        return {};
    }
}

} // namespace BurnInSupport
