// Container sniffing from the first bytes and the drop filter.
#include "BCContainer.h"
#include "BCFileDrop.h"
#include "MediaFixtures.h"
#include "MediaPrinters.h"

#include <gtest/gtest.h>

namespace {

// `size` bytes of 0xAA with `head` at the start and single bytes set at given offsets.
QByteArray bytes(QByteArray head, qsizetype size,
                 std::initializer_list<std::pair<int, int>> at = {}) {
    QByteArray b(size, char(0xAA));
    b.replace(0, head.size(), head);
    for (const auto& [offset, value] : at)
        b[offset] = char(value);
    return b.left(size);
}

TEST(Container, SniffsTheFirstBytes) {
    struct Case {
        const char* name;
        QByteArray data;
        BCContainer::Kind kind;
    };
    const QList<Case> cases = {
        {"fewer than 12 bytes", bytes("RIFF", 11), BCContainer::unknown},
        {"transport 188", bytes("\x47", 400, {{188, 0x47}, {376, 0x47}}),
         BCContainer::mpegTransport},
        {"0x47 without the next packets", bytes("\x47", 400, {{188, 0x47}}), BCContainer::unknown},
        {"0x47 but too short for three packets", bytes("\x47", 376, {{188, 0x47}}),
         BCContainer::unknown},
        {"MPEG video", bytes(QByteArray("\0\0\1\xB3", 4), 100), BCContainer::mpegVideo},
        {"MPEG program", bytes(QByteArray("\0\0\1\xBA", 4), 100), BCContainer::mpegProgram},
        {"00 00 01 other", bytes(QByteArray("\0\0\1\xE0", 4), 100), BCContainer::unknown},
        {"transport 192", bytes(QByteArray("\0\0\0\0\x47", 5), 400, {{196, 0x47}}),
         BCContainer::mpegTransport},
        {"ftyp long",
         bytes(QByteArray("\0\0\0\x20"
                          "ftypisom",
                          12),
               400),
         BCContainer::mp4},
        {"ftyp short",
         bytes(QByteArray("\0\0\0\x20"
                          "ftypisom",
                          12),
               100),
         BCContainer::mp4},
        {"ftyp with 0x47 at 196",
         bytes(QByteArray("\0\0\0\x20"
                          "ftypisom",
                          12),
               400, {{196, 0x47}}),
         BCContainer::mp4},
        {"moov", bytes(QByteArray("\0\0\0\x08moov", 8), 50), BCContainer::mp4},
        {"mdat", bytes(QByteArray("\0\0\0\x08mdat", 8), 50), BCContainer::mp4},
        {"wide", bytes(QByteArray("\0\0\0\x08wide", 8), 50), BCContainer::mp4},
        {"RIFF", bytes("RIFF\x24\0\0\0WAVE", 50), BCContainer::wavAvi},
        {"FORM",
         bytes("FORM\0\0\0\x20"
               "AIFF",
               50),
         BCContainer::aiff},
        {"ID3", bytes("ID3\x04", 50), BCContainer::mp3},
        {"Matroska", bytes("\x1A\x45\xDF\xA3", 50), BCContainer::matroska},
        {"Windows Media", bytes("\x30\x26\xB2\x75", 50), BCContainer::windowsMedia},
        {"MPEG audio sync", bytes("\xFF\xFB\x90", 50), BCContainer::mp3},
        {"0xFF without sync", bytes("\xFF\xD8\xFF", 50), BCContainer::unknown},
        {"FLV", bytes("FLV\x01", 50), BCContainer::flash},
        {"text", bytes("hello, world", 50), BCContainer::unknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BCContainer::sniff(QByteArrayView(c.data)), c.kind);
    }
}

TEST(Container, RawValuesAndConversion) {
    struct Case {
        BCContainer::Kind kind;
        const char* raw;
        bool converts;
    };
    const QList<Case> cases = {
        {BCContainer::mpegProgram, "MPEG program stream", true},
        {BCContainer::mpegTransport, "MPEG transport stream", true},
        {BCContainer::mpegVideo, "MPEG video stream", true},
        {BCContainer::mp4, "MP4/MOV", false},
        {BCContainer::wavAvi, "WAV/AVI", false},
        {BCContainer::aiff, "AIFF", false},
        {BCContainer::mp3, "MP3", false},
        {BCContainer::matroska, "Matroska/WebM", true},
        {BCContainer::windowsMedia, "Windows Media", true},
        {BCContainer::flash, "Flash video", true},
        {BCContainer::unknown, "unknown", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BCContainer(c.kind).rawValue(), QString::fromUtf8(c.raw));
        EXPECT_EQ(BCContainer(c.kind).needsConversion(), c.converts) << c.raw;
    }
}

TEST(Container, SniffsTheFixtures) {
    MediaFixtures fixtures;
    using F = MediaFixtures;
    const QList<std::pair<F::Kind, BCContainer::Kind>> cases = {
        {F::mp4, BCContainer::mp4},
        {F::mov, BCContainer::mp4},
        {F::mpegProgram, BCContainer::mpegProgram},
        {F::transport188, BCContainer::mpegTransport},
        {F::transport192, BCContainer::mpegTransport},
        {F::mpegVideo, BCContainer::mpegVideo},
        {F::matroska, BCContainer::matroska},
        {F::wav, BCContainer::wavAvi},
        {F::mp3WithId3, BCContainer::mp3},
        {F::mp3Plain, BCContainer::mp3},
        {F::aiff, BCContainer::aiff},
        {F::audioOnly, BCContainer::mp4},
        {F::rotated, BCContainer::mp4},
        {F::empty, BCContainer::unknown},
        {F::randomBytes, BCContainer::unknown},
        {F::truncatedMp4, BCContainer::mp4},
    };
    for (const auto& [fixture, kind] : cases) {
        const QString path = fixtures.path(fixture);
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(BCContainer::sniff(path), kind);
    }
    EXPECT_EQ(BCContainer::sniff(fixtures.file(QStringLiteral("missing.mp4"))),
              BCContainer::unknown);
}

TEST(FileDrop, KeepsSupportedExtensionsOrAlerts) {
    const QSet<QString> exts = {QStringLiteral("mp4"), QStringLiteral("wav"),
                                QStringLiteral("aac")};
    const QUrl movie = QUrl::fromLocalFile(QStringLiteral("/films/Trip.MP4"));
    const QUrl notes = QUrl::fromLocalFile(QStringLiteral("/films/notes.txt"));
    const QUrl sound = QUrl::fromLocalFile(QStringLiteral("/films/take.wav"));

    const BCFileDrop::Result some = BCFileDrop::filter({movie, notes, sound}, exts);
    EXPECT_EQ(some.accepted, (QList<QUrl>{movie, sound}));
    EXPECT_FALSE(some.alert);

    const BCFileDrop::Result none = BCFileDrop::filter({notes}, exts);
    EXPECT_TRUE(none.accepted.isEmpty());
    ASSERT_TRUE(none.alert);
    EXPECT_EQ(none.alert->title, QStringLiteral("That file type isn't supported"));
    EXPECT_EQ(none.alert->message, QStringLiteral("Supported: aac, mp4, wav"));

    const BCFileDrop::Result nothing = BCFileDrop::filter({}, exts);
    EXPECT_TRUE(nothing.accepted.isEmpty());
    EXPECT_FALSE(nothing.alert);
}

} // namespace
