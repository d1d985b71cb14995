#include "BCMovieIndex.h"

#include "BCError.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

namespace BCMovieIndex {

namespace {

struct Box {
    qint64 offset = 0; // of the size field
    qint64 size = 0;   // the whole box
    int header = 8;    // 16 with a 64-bit size
    QByteArray type;

    qint64 end() const { return offset + size; }
    qint64 body() const { return offset + header; }
};

[[noreturn]] void fail(const QString& detail) {
    throw BCError(QStringLiteral("The export failed: the subtitle track couldn't be linked to the "
                                 "picture."),
                  detail);
}

// The box whose header starts at `at` in `bytes` (16 bytes of header read from there), ending no
// later than `limit`.
std::optional<Box> parse(const QByteArray& bytes, qint64 at, qint64 limit) {
    if (bytes.size() < 8 || limit - at < 8)
        return std::nullopt;
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    Box box;
    box.offset = at;
    box.type = bytes.mid(4, 4);
    const quint32 size = qFromBigEndian<quint32>(data);
    if (size == 1) {
        if (bytes.size() < 16)
            return std::nullopt;
        const quint64 large = qFromBigEndian<quint64>(data + 8);
        if (large > quint64(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        box.size = qint64(large);
        box.header = 16;
    } else {
        box.size = size == 0 ? limit - at : qint64(size);
    }
    if (box.size < box.header || box.size > limit - at)
        return std::nullopt;
    return box;
}

// The boxes inside `parent` (offsets relative to `index`, which holds the whole parent).
std::vector<Box> children(const QByteArray& index, const Box& parent) {
    std::vector<Box> list;
    qint64 at = parent.body();
    while (at < parent.end()) {
        const auto box = parse(index.mid(at, 16), at, parent.end());
        if (!box)
            fail(QStringLiteral("bad box inside %1").arg(QString::fromLatin1(parent.type)));
        list.push_back(*box);
        at = box->end();
    }
    return list;
}

std::optional<Box> child(const QByteArray& index, const Box& parent, const char* type) {
    for (const Box& box : children(index, parent))
        if (box.type == type)
            return box;
    return std::nullopt;
}

struct Track {
    Box trak;
    Box tkhd;
    quint32 id = 0;
    QByteArray handler;
};

Track readTrack(const QByteArray& index, const Box& trak) {
    Track track{trak, {}, 0, {}};
    const auto tkhd = child(index, trak, "tkhd");
    if (!tkhd)
        fail(QStringLiteral("track without tkhd"));
    track.tkhd = *tkhd;
    const qint64 at = tkhd->body();
    const int version = tkhd->size > tkhd->header ? quint8(index[at]) : -1;
    const qint64 idAt = at + (version == 1 ? 20 : 12);
    if (version < 0 || idAt + 4 > tkhd->end())
        fail(QStringLiteral("short tkhd"));
    track.id = qFromBigEndian<quint32>(index.constData() + idAt);
    if (const auto mdia = child(index, trak, "mdia"))
        if (const auto hdlr = child(index, *mdia, "hdlr"))
            if (hdlr->body() + 12 <= hdlr->end())
                track.handler = index.mid(hdlr->body() + 8, 4);
    return track;
}

// Adds `by` bytes to the size field of `box` inside `index`.
void grow(QByteArray& index, const Box& box, qint64 by) {
    auto* data = reinterpret_cast<uchar*>(index.data()) + box.offset;
    if (box.header == 16) {
        qToBigEndian<quint64>(quint64(box.size + by), data + 8);
        return;
    }
    if (box.size + by > qint64(std::numeric_limits<quint32>::max()))
        fail(QStringLiteral("index too large"));
    qToBigEndian<quint32>(quint32(box.size + by), data);
}

} // namespace

void addSelectionFollower(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        fail(file.errorString());
    const qint64 fileSize = file.size();

    std::optional<Box> moov;
    qint64 at = 0;
    while (at < fileSize) {
        if (!file.seek(at))
            fail(file.errorString());
        const auto box = parse(file.read(16), at, fileSize);
        if (!box)
            fail(QStringLiteral("bad top-level box"));
        if (box->type == "moov")
            moov = box;
        at = box->end();
    }
    if (!moov || moov->end() != fileSize)
        fail(QStringLiteral("the index is not the last box"));

    if (!file.seek(moov->offset))
        fail(file.errorString());
    QByteArray index = file.read(moov->size);
    if (index.size() != moov->size)
        fail(file.errorString());
    const Box root{0, moov->size, moov->header, moov->type};

    std::optional<Track> video;
    std::optional<Track> text;
    for (const Box& box : children(index, root)) {
        if (box.type != "trak")
            continue;
        const Track track = readTrack(index, box);
        if (!video && track.handler == "vide")
            video = track;
        else if (!text && (track.handler == "sbtl" || track.handler == "text"))
            text = track;
    }
    if (!video)
        return;
    if (!text)
        fail(QStringLiteral("no text track"));

    // tref { folw { track ID of the picture } }, right after the text track's header.
    QByteArray reference(20, '\0');
    auto* data = reinterpret_cast<uchar*>(reference.data());
    qToBigEndian<quint32>(20, data);
    std::memcpy(data + 4, "tref", 4);
    qToBigEndian<quint32>(12, data + 8);
    std::memcpy(data + 12, "folw", 4);
    qToBigEndian<quint32>(video->id, data + 16);

    grow(index, root, reference.size());
    grow(index, text->trak, reference.size());
    index.insert(text->tkhd.end(), reference);

    if (!file.seek(moov->offset) || file.write(index) != index.size() || !file.flush())
        fail(file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        fail(file.errorString());
}

} // namespace BCMovieIndex
