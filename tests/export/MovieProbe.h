#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// Reads an exported movie back the way a third party would: the streams and packets through the
// `ffprobe` program, and the index boxes by walking the file's bytes.
namespace MovieProbe {

struct Stream {
    QString type;  // "video", "audio", "subtitle"
    QString codec; // FFmpeg's codec name
    QString language;
    bool enabled = false; // disposition "default"
};

struct Packet {
    int stream = 0;
    QString pts;      // seconds, as ffprobe prints them
    QString duration; // seconds
    QString hash;     // "MD5:…" of the packet's bytes
    QString flags;

    friend bool operator==(const Packet&, const Packet&) = default;
};

struct File {
    bool read = false; // ffprobe opened it without an error
    QList<Stream> streams;
    QList<Packet> packets; // in the order ffprobe reads them
    // The packets of the streams of one type, in order, with `stream` set to 0.
    QList<Packet> packetsOf(const QString& type) const;
};

File probe(const QString& path);

// "MD5:<hex>" of `bytes`, as ffprobe's -show_data_hash MD5 writes it.
QString md5(const QByteArray& bytes);

struct Track {
    quint32 id = 0;
    QByteArray handler;             // "vide", "soun", "sbtl", …
    QByteArray sampleEntry;         // the first stsd entry, from its size field on
    std::optional<quint32> follows; // the track named by a "folw" track reference
};

// The file type's major brand ("isom" for MPEG-4, "qt  " for QuickTime).
QByteArray majorBrand(const QString& path);
// The tracks of the file's "moov" box, in order; empty when it cannot be walked.
QList<Track> tracks(const QString& path);

} // namespace MovieProbe
