#include "MediaFixtures.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

const QStringList kPicture = {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                              QStringLiteral("testsrc=size=64x48:rate=25:duration=1")};
const QStringList kSound = {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                            QStringLiteral("sine=frequency=440:sample_rate=44100:duration=1")};
const QStringList kH264 = {QStringLiteral("-c:v"),     QStringLiteral("libx264"),
                           QStringLiteral("-preset"),  QStringLiteral("ultrafast"),
                           QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")};
const QStringList kAac = {QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"),
                          QStringLiteral("64k")};
const QStringList kMpeg2 = {QStringLiteral("-c:v"), QStringLiteral("mpeg2video"),
                            QStringLiteral("-c:a"), QStringLiteral("mp2")};
const QStringList kBitexact = {QStringLiteral("-fflags"),       QStringLiteral("+bitexact"),
                               QStringLiteral("-flags"),        QStringLiteral("+bitexact"),
                               QStringLiteral("-map_metadata"), QStringLiteral("-1")};

QStringList args(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* item : list)
        out.append(QString::fromUtf8(item));
    return out;
}

const char* fileName(MediaFixtures::Kind kind) {
    switch (kind) {
    case MediaFixtures::mp4:
        return "clip.mp4";
    case MediaFixtures::mov:
        return "clip.mov";
    case MediaFixtures::mpegProgram:
        return "clip.mpg";
    case MediaFixtures::transport188:
        return "clip.ts";
    case MediaFixtures::transport192:
        return "clip.m2ts";
    case MediaFixtures::mpegVideo:
        return "clip.m2v";
    case MediaFixtures::matroska:
        return "clip.mkv";
    case MediaFixtures::wav:
        return "tone.wav";
    case MediaFixtures::mp3WithId3:
        return "tone.mp3";
    case MediaFixtures::mp3Plain:
        return "plain.mp3";
    case MediaFixtures::aiff:
        return "tone.aiff";
    case MediaFixtures::audioOnly:
        return "tone.m4a";
    case MediaFixtures::videoOnly:
        return "silent.mp4";
    case MediaFixtures::rotated:
        return "phone.mp4";
    case MediaFixtures::oddSize:
        return "odd.mpg";
    case MediaFixtures::empty:
        return "empty.mp4";
    case MediaFixtures::randomBytes:
        return "random.mp4";
    case MediaFixtures::truncatedMp4:
        return "truncated.mp4";
    case MediaFixtures::unreadable:
        return "locked.wav";
    }
    return "unknown";
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

MediaFixtures::MediaFixtures()
    : m_dir(QDir::tempPath() + QStringLiteral("/lorowen-media-XXXXXX")) {}

QString MediaFixtures::ffmpegProgram() {
    static const QString program = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
    return program;
}

bool MediaFixtures::ffmpeg(const QStringList& arguments) {
    const QString program = ffmpegProgram();
    if (program.isEmpty()) {
        ADD_FAILURE() << "the ffmpeg program is not on PATH";
        return false;
    }
    QProcess process;
    process.start(program, QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-nostdin"),
                                       QStringLiteral("-loglevel"), QStringLiteral("error"),
                                       QStringLiteral("-y")} +
                               arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << "ffmpeg " << arguments.join(u' ').toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
        return false;
    }
    return true;
}

QString MediaFixtures::path(Kind kind) {
    const QString out = file(QString::fromLatin1(fileName(kind)));
    if (QFileInfo::exists(out))
        return out;
    bool made = false;
    switch (kind) {
    case mp4:
    case mov:
    case matroska:
        made = ffmpeg(kPicture + kSound + kH264 + kAac + QStringList{out});
        break;
    case mpegProgram:
        made = ffmpeg(kPicture + kSound + kMpeg2 + args({"-f", "vob"}) + QStringList{out});
        break;
    case transport188:
        made = ffmpeg(kPicture + kSound + kMpeg2 + args({"-f", "mpegts"}) + QStringList{out});
        break;
    case transport192:
        made = ffmpeg(kPicture + kSound + kH264 +
                      args({"-c:a", "ac3", "-f", "mpegts", "-mpegts_m2ts_mode", "1"}) +
                      QStringList{out});
        break;
    case mpegVideo:
        made =
            ffmpeg(kPicture + args({"-c:v", "mpeg2video", "-f", "mpeg2video"}) + QStringList{out});
        break;
    case wav:
        made = ffmpeg(kSound + args({"-c:a", "pcm_s16le"}) + kBitexact + QStringList{out});
        break;
    case mp3WithId3:
        made = ffmpeg(kSound + args({"-c:a", "libmp3lame", "-b:a", "64k"}) + QStringList{out});
        break;
    case mp3Plain:
        made = ffmpeg(
            kSound +
            args({"-c:a", "libmp3lame", "-b:a", "64k", "-id3v2_version", "0", "-write_xing", "0"}) +
            QStringList{out});
        break;
    case aiff:
        made = ffmpeg(kSound + kBitexact + QStringList{out});
        break;
    case audioOnly:
        made = ffmpeg(kSound + kAac + QStringList{out});
        break;
    case videoOnly:
        made = ffmpeg(kPicture + kH264 + QStringList{out});
        break;
    case rotated: {
        const QString plain = path(mp4);
        made = !plain.isEmpty() &&
               ffmpeg(QStringList{QStringLiteral("-i"), plain} +
                      args({"-c", "copy", "-metadata:s:v:0", "rotate=90"}) + QStringList{out});
        break;
    }
    case oddSize:
        made = ffmpeg(args({"-f", "lavfi", "-i", "testsrc=size=101x75:rate=25:duration=1", "-c:v",
                            "mpeg2video", "-f", "vob"}) +
                      QStringList{out});
        break;
    case empty:
        made = writeFile(out, {});
        break;
    case randomBytes: {
        QRandomGenerator random(20240611);
        QByteArray bytes(4096, Qt::Uninitialized);
        for (char& c : bytes)
            c = char(random.bounded(256));
        bytes[0] = 0x5A; // never a known signature by chance
        made = writeFile(out, bytes);
        break;
    }
    case truncatedMp4: {
        const QString whole = file(QStringLiteral("whole.mp4"));
        made = ffmpeg(kPicture + kSound + kH264 + kAac + QStringList{whole}); // index at the end
        QFile source(whole);
        made = made && source.open(QIODevice::ReadOnly) &&
               writeFile(out, source.read(source.size() / 2));
        break;
    }
    case unreadable:
        made = ffmpeg(kSound + args({"-c:a", "pcm_s16le"}) + QStringList{out}) &&
               QFile::setPermissions(out, QFileDevice::Permissions());
        break;
    }
    if (!made) {
        ADD_FAILURE() << "could not make the fixture " << fileName(kind);
        return {};
    }
    return out;
}

QString MediaFixtures::tone(const QString& name, double seconds, int rate, int channels, int hz) {
    const QString out = file(name);
    const QString source = QStringLiteral("sine=frequency=%1:sample_rate=%2:duration=%3")
                               .arg(hz)
                               .arg(rate)
                               .arg(seconds);
    if (!ffmpeg(QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                            source, QStringLiteral("-ac"), QString::number(channels),
                            QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")} +
                kBitexact + QStringList{out}))
        return {};
    return out;
}

QString MediaFixtures::floatWav(const QString& name, std::span<const float> interleaved, int rate,
                                int channels) {
    const auto dataSize = quint32(interleaved.size() * 4);
    QByteArray bytes;
    auto u32 = [&](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        bytes.append(b, 4);
    };
    auto u16 = [&](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        bytes.append(b, 2);
    };
    bytes.append("RIFF");
    u32(36 + dataSize);
    bytes.append("WAVEfmt ");
    u32(16);
    u16(3); // IEEE float
    u16(quint16(channels));
    u32(quint32(rate));
    u32(quint32(rate * channels * 4));
    u16(quint16(channels * 4));
    u16(32);
    bytes.append("data");
    u32(dataSize);
    for (const float x : interleaved) {
        char b[4];
        qToLittleEndian(x, b);
        bytes.append(b, 4);
    }
    const QString out = file(name);
    if (!writeFile(out, bytes))
        ADD_FAILURE() << "could not write " << out.toStdString();
    return out;
}

QString MediaFixtures::script(const QString& name, const QByteArray& body) {
    const QString out = file(name);
    if (!writeFile(out, "#!/bin/sh\n" + body))
        ADD_FAILURE() << "could not write " << out.toStdString();
    QFile::setPermissions(out,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return out;
}

ScopedConverter::ScopedConverter(const QString& program)
    : m_path(qgetenv("PATH")), m_ffmpeg(qgetenv("BRCT_FFMPEG")),
      m_hadFfmpeg(qEnvironmentVariableIsSet("BRCT_FFMPEG")) {
    MediaFixtures::ffmpegProgram(); // found before PATH changes
    qputenv("BRCT_FFMPEG", program.toUtf8());
    // BRCT_FFMPEG comes before PATH; with no program, PATH is an empty folder as well.
    if (program.isEmpty())
        qputenv("PATH", m_emptyBin.path().toUtf8());
}

ScopedConverter::~ScopedConverter() {
    qputenv("PATH", m_path);
    if (m_hadFfmpeg)
        qputenv("BRCT_FFMPEG", m_ffmpeg);
    else
        qunsetenv("BRCT_FFMPEG");
}
