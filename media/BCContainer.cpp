#include "BCContainer.h"

#include <QFile>

namespace {

bool at(QByteArrayView bytes, qsizetype offset, QByteArrayView expected) {
    return bytes.size() >= offset + expected.size() &&
           bytes.sliced(offset, expected.size()) == expected;
}

unsigned char byte(QByteArrayView bytes, qsizetype offset) {
    return static_cast<unsigned char>(bytes[offset]);
}

} // namespace

QString BCContainer::rawValue() const {
    switch (m_kind) {
    case mpegProgram:
        return QStringLiteral("MPEG program stream");
    case mpegTransport:
        return QStringLiteral("MPEG transport stream");
    case mpegVideo:
        return QStringLiteral("MPEG video stream");
    case mp4:
        return QStringLiteral("MP4/MOV");
    case wavAvi:
        return QStringLiteral("WAV/AVI");
    case aiff:
        return QStringLiteral("AIFF");
    case mp3:
        return QStringLiteral("MP3");
    case matroska:
        return QStringLiteral("Matroska/WebM");
    case windowsMedia:
        return QStringLiteral("Windows Media");
    case flash:
        return QStringLiteral("Flash video");
    case unknown:
        break;
    }
    return QStringLiteral("unknown");
}

bool BCContainer::needsConversion() const {
    switch (m_kind) {
    case mpegProgram:
    case mpegTransport:
    case mpegVideo:
    case matroska:
    case windowsMedia:
    case flash:
        return true;
    default:
        return false;
    }
}

BCContainer BCContainer::sniff(QByteArrayView b) {
    const qsizetype n = b.size();
    if (n < 12)
        return unknown;
    if (byte(b, 0) == 0x47 && n >= 377 && byte(b, 188) == 0x47 && byte(b, 376) == 0x47)
        return mpegTransport; // 188-byte packets
    if (byte(b, 0) == 0 && byte(b, 1) == 0 && byte(b, 2) == 1) {
        if (byte(b, 3) == 0xB3)
            return mpegVideo;
        if (byte(b, 3) == 0xBA)
            return mpegProgram;
    }
    if (n >= 197) {
        if (byte(b, 4) == 0x47 && byte(b, 196) == 0x47)
            return mpegTransport; // 192-byte packets: a 4-byte time code before each
        if (at(b, 4, "ftyp"))
            return mp4;
    } else if (at(b, 4, "ftyp")) {
        return mp4;
    }
    if (at(b, 4, "moov") || at(b, 4, "mdat") || at(b, 4, "wide"))
        return mp4;
    if (at(b, 0, "RIFF"))
        return wavAvi;
    if (at(b, 0, "FORM"))
        return aiff;
    if (at(b, 0, "ID3"))
        return mp3;
    if (at(b, 0, "\x1A\x45\xDF\xA3"))
        return matroska;
    if (at(b, 0, "\x30\x26\xB2\x75"))
        return windowsMedia;
    if (byte(b, 0) == 0xFF && byte(b, 1) >= 0xE0)
        return mp3;
    if (at(b, 0, "FLV"))
        return flash;
    return unknown;
}

BCContainer BCContainer::sniff(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unknown;
    const QByteArray head = file.read(1024);
    return sniff(QByteArrayView(head));
}
