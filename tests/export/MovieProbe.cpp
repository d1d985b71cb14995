#include "MovieProbe.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>
#include <functional>

namespace MovieProbe {

namespace {

QString text(const QJsonValue& value) {
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 17);
    return value.toString();
}

quint32 be32(const QByteArray& bytes, qsizetype at) {
    if (at < 0 || at + 4 > bytes.size())
        return 0;
    return qFromBigEndian<quint32>(bytes.constData() + at);
}

// Calls `visit(type, begin, end)` for each box between `begin` and `end` (body offsets).
bool forEachBox(const QByteArray& bytes, qsizetype begin, qsizetype end,
                const std::function<void(const QByteArray&, qsizetype, qsizetype)>& visit) {
    qsizetype at = begin;
    while (at + 8 <= end) {
        const qsizetype size = be32(bytes, at);
        if (size < 8 || at + size > end)
            return false;
        visit(bytes.mid(at + 4, 4), at + 8, at + size);
        at += size;
    }
    return at == end;
}

} // namespace

QList<Packet> File::packetsOf(const QString& type) const {
    QList<Packet> list;
    for (const Packet& packet : packets) {
        if (packet.stream < 0 || packet.stream >= streams.size() ||
            streams[packet.stream].type != type)
            continue;
        Packet copy = packet;
        copy.stream = 0;
        list.append(copy);
    }
    return list;
}

File probe(const QString& path) {
    File file;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
    if (program.isEmpty())
        return file;
    QProcess process;
    process.start(program,
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-of"),
                   QStringLiteral("json"), QStringLiteral("-show_data_hash"), QStringLiteral("MD5"),
                   QStringLiteral("-show_entries"),
                   QStringLiteral("stream=index,codec_name,codec_type:stream_tags=language:"
                                  "stream_disposition=default:packet=stream_index,pts_time,"
                                  "duration_time,data_hash,flags"),
                   QStringLiteral("-show_streams"), QStringLiteral("-show_packets"), path});
    if (!process.waitForFinished(60000) || process.exitCode() != 0 ||
        !process.readAllStandardError().isEmpty())
        return file;
    const QJsonObject root = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    for (const QJsonValue& value : root.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject stream = value.toObject();
        file.streams.append({stream.value(QStringLiteral("codec_type")).toString(),
                             stream.value(QStringLiteral("codec_name")).toString(),
                             stream.value(QStringLiteral("tags"))
                                 .toObject()
                                 .value(QStringLiteral("language"))
                                 .toString(),
                             stream.value(QStringLiteral("disposition"))
                                     .toObject()
                                     .value(QStringLiteral("default"))
                                     .toInt() == 1});
    }
    for (const QJsonValue& value : root.value(QStringLiteral("packets")).toArray()) {
        const QJsonObject packet = value.toObject();
        file.packets.append({packet.value(QStringLiteral("stream_index")).toInt(),
                             text(packet.value(QStringLiteral("pts_time"))),
                             text(packet.value(QStringLiteral("duration_time"))),
                             packet.value(QStringLiteral("data_hash")).toString(),
                             packet.value(QStringLiteral("flags")).toString()});
    }
    file.read = true;
    return file;
}

QString md5(const QByteArray& bytes) {
    return QStringLiteral("MD5:") +
           QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QByteArray majorBrand(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(12);
    return head.mid(4, 4) == "ftyp" ? head.mid(8, 4) : QByteArray();
}

QList<Track> tracks(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    QList<Track> list;
    bool ok =
        forEachBox(bytes, 0, bytes.size(), [&](const QByteArray& type, qsizetype b, qsizetype e) {
            if (type != "moov")
                return;
            forEachBox(bytes, b, e, [&](const QByteArray& t, qsizetype tb, qsizetype te) {
                if (t != "trak")
                    return;
                Track track;
                forEachBox(bytes, tb, te, [&](const QByteArray& c, qsizetype cb, qsizetype ce) {
                    if (c == "tkhd")
                        track.id = be32(bytes, cb + (bytes[cb] == 1 ? 20 : 12));
                    if (c == "tref")
                        forEachBox(bytes, cb, ce,
                                   [&](const QByteArray& r, qsizetype rb, qsizetype) {
                                       if (r == "folw")
                                           track.follows = be32(bytes, rb);
                                   });
                    if (c != "mdia")
                        return;
                    forEachBox(bytes, cb, ce, [&](const QByteArray& m, qsizetype mb, qsizetype me) {
                        if (m == "hdlr")
                            track.handler = bytes.mid(mb + 8, 4);
                        if (m != "minf")
                            return;
                        forEachBox(
                            bytes, mb, me, [&](const QByteArray& n, qsizetype nb, qsizetype ne) {
                                if (n != "stbl")
                                    return;
                                forEachBox(
                                    bytes, nb, ne,
                                    [&](const QByteArray& s, qsizetype sb, qsizetype) {
                                        if (s ==
                                            "stsd") // version, flags, entry count, then the entries
                                            track.sampleEntry =
                                                bytes.mid(sb + 8, be32(bytes, sb + 8));
                                    });
                            });
                    });
                });
                list.append(track);
            });
        });
    return ok ? list : QList<Track>{};
}

} // namespace MovieProbe
