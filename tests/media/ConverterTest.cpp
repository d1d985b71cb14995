// The converter's side of opening: its reasons, clock texts, argument lists, the
// stream-copy choice, and the cache's file-identity names.
#include "BCError.h"
#include "BCMediaOpener.h"
#include "ErrorMessage.h"
#include "MediaFixtures.h"
#include "MediaPrinters.h"

#include <QFile>
#include <QStandardPaths>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(Converter, ConverterReasons) {
    const QString damaged =
        QStringLiteral("the file's contents are damaged or in a format the converter doesn't know");
    const QString unreadable =
        QStringLiteral("the file can't be read (check the drive and permissions)");
    const QList<std::pair<QString, QString>> cases = {
        {QStringLiteral("x.mpg: Invalid data found when processing input"), damaged},
        {QStringLiteral("Could not find codec parameters for stream 0"), damaged},
        {QStringLiteral("x.mpg: No such file or directory"), unreadable},
        {QStringLiteral("x.mov: Permission denied"), unreadable},
        {QStringLiteral("av_interleaved_write_frame(): No space left on device"),
         QStringLiteral("the disk is full")},
        {QStringLiteral("NO SPACE"), QStringLiteral("the disk is full")},
        {QStringLiteral("Permission denied, and then Invalid data"), damaged}, // table order
        {QStringLiteral("Conversion failed!"), QStringLiteral("the converter couldn't decode it")},
        {QString(), QStringLiteral("the converter couldn't decode it")},
    };
    for (const auto& [log, reason] : cases)
        EXPECT_EQ(BCMediaOpener::converterReason(log), reason) << log.toStdString();
}

TEST(Converter, AFailingConverterGivesTheReason) {
    MediaFixtures fixtures;
    const QString fake = fixtures.script(QStringLiteral("full-disk"),
                                         "echo 'frame=  1 time=00:00:00.50 bitrate=1' >&2\n"
                                         "echo 'Error writing trailer: No space left on device' "
                                         ">&2\nexit 1\n");
    QList<std::optional<double>> fractions;
    EXPECT_EQ(messageOf([&] {
                  BCMediaOpener::runConverter(
                      fake, {}, 2.0,
                      [&](const QString&, std::optional<double> f) { fractions.append(f); });
              }),
              QStringLiteral("Conversion failed: the disk is full."));
    EXPECT_EQ(fractions, (QList<std::optional<double>>{0.25}));
    EXPECT_FALSE(messageOf([&] {
                     BCMediaOpener::runConverter(fixtures.file(QStringLiteral("none")), {}, 0);
                 }).isEmpty());
}

TEST(Converter, ParsesClockTexts) {
    const QList<std::pair<QString, double>> cases = {
        {QStringLiteral("00:01:02.50"), 62.5},
        {QStringLiteral("00:00:05.00"), 5},
        {QStringLiteral("1:2"), 0},
        {QStringLiteral("01:00:00.00 bitrate"), 0},
        {QStringLiteral("1::2:3"), 3723}, // empty pieces are dropped
        {QStringLiteral("a:b:c"), 0},
        {QStringLiteral("1:2:3:4"), 0},
        {QStringLiteral("-577014:32:"), 0},
        {QStringLiteral(""), 0},
        {QStringLiteral("02:00:00.0"), 7200},
    };
    for (const auto& [text, seconds] : cases)
        EXPECT_EQ(BCMediaOpener::parseClock(text), seconds) << text.toStdString();
}

TEST(Converter, ArgumentLists) {
    const QString in = QStringLiteral("/in/a b.mpg");
    const QString out = QStringLiteral("/out/c.mov");
    EXPECT_EQ(BCMediaOpener::copyArguments(in, out).join(u'|'),
              QStringLiteral("-hide_banner|-nostdin|-y|-i|/in/a b.mpg|-map|0:v:0?|-map|0:a:0?|-c|"
                             "copy|-movflags|+faststart|/out/c.mov"));
    EXPECT_EQ(BCMediaOpener::encodeArguments(in, out).join(u'|'),
              QStringLiteral("-hide_banner|-nostdin|-y|-i|/in/a b.mpg|-map|0:v:0?|-map|0:a:0?|"
                             "-c:v|libx264|-preset|veryfast|-b:v|8M|-pix_fmt|yuv420p|-vf|"
                             "yadif=deint=interlaced,scale=trunc(iw/2)*2:trunc(ih/2)*2|-c:a|aac|"
                             "-b:a|192k|-ac|2|-movflags|+faststart|/out/c.mov"));
    EXPECT_EQ(BCMediaOpener::soundOnlyArguments(in, out).join(u'|'),
              QStringLiteral("-hide_banner|-nostdin|-y|-i|/in/a b.mpg|-vn|-c:a|aac|-b:a|192k|-ac|"
                             "2|/out/c.mov"));
}

TEST(Converter, ChoosesTheStreamCopy) {
    using Scan = BCVideoTrack::Scan;
    auto asset = [](const char* video, Scan scan, const char* audio) {
        BCAsset a;
        if (*video) {
            BCVideoTrack v;
            v.codec = QString::fromUtf8(video);
            v.scan = scan;
            a.videoTracks.push_back(v);
        }
        if (*audio)
            a.audioTracks.push_back({QString::fromUtf8(audio), 48000, 2});
        return a;
    };
    struct Case {
        BCAsset source;
        bool copy;
    };
    const QList<Case> cases = {
        {asset("h264", Scan::progressive, "aac"), true},
        {asset("h264", Scan::unknown, "mp3"), false},
        {asset("hevc", Scan::unknown, "ac3"), false},
        {asset("hevc", Scan::progressive, "ac3"), true},
        {asset("h264", Scan::interlaced, "aac"), false},
        {asset("mpeg4", Scan::progressive, "aac"), true},
        {asset("mpeg4", Scan::unknown, "aac"), false},
        {asset("mpeg2video", Scan::progressive, "aac"), false},
        {asset("h264", Scan::progressive, "mp2"), false},
        {asset("h264", Scan::progressive, ""), true},
        {asset("", Scan::unknown, "aac"), true},
        {asset("", Scan::unknown, "vorbis"), false},
        {asset("", Scan::unknown, ""), false},
    };
    for (qsizetype i = 0; i < cases.size(); ++i)
        EXPECT_EQ(BCMediaOpener::canStreamCopy(cases[i].source), cases[i].copy) << "case " << i;
}

TEST(Cache, NameIsTheFileIdentity) {
    MediaFixtures fixtures;
    const QString path = fixtures.file(QStringLiteral("Café clip.final.mpg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("12345");
    file.close();
    auto setTime = [&](time_t seconds, long nanoseconds) {
        const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
        ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    };
    setTime(1700000000, 500000000);
    EXPECT_EQ(BCMediaOpener::cacheKey(path), path + QStringLiteral("|5|1700000000.5"));
    setTime(1700000000, 123456789);
    EXPECT_EQ(BCMediaOpener::cacheKey(path), path + QStringLiteral("|5|1700000000.1234567"));
    setTime(1700000000, 0);
    const QString key = path + QStringLiteral("|5|1700000000.0");
    EXPECT_EQ(BCMediaOpener::cacheKey(path), key);
    EXPECT_EQ(BCMediaOpener::cacheName(path),
              QStringLiteral("Café clip.final-") +
                  QString::number(BCMediaOpener::cacheHash(key.toUtf8()), 16) +
                  QStringLiteral(".mov"));
    const QString gone = fixtures.file(QStringLiteral("gone.mts"));
    EXPECT_EQ(BCMediaOpener::cacheKey(gone), gone + QStringLiteral("|0|0.0"));

    // FNV-1a with this app's start value 0x14650FB0739D0383.
    EXPECT_EQ(BCMediaOpener::cacheHash(""), 0x14650FB0739D0383ULL);
    EXPECT_EQ(BCMediaOpener::cacheHash("abc"), 0xe16801510db89efdULL);
    EXPECT_EQ(
        BCMediaOpener::cacheHash(QStringLiteral("/tmp/Café clip.mpg|1234|1700000000.5").toUtf8()),
        0xa07af4c6f0769cd7ULL);

    // The first 40 user-perceived characters of the name.
    const QString longName = fixtures.file(QString(45, u'x') + QStringLiteral(".mp4"));
    EXPECT_TRUE(BCMediaOpener::cacheName(longName).startsWith(QString(40, u'x') + u'-'));
    EXPECT_FALSE(BCMediaOpener::cacheName(longName).startsWith(QString(41, u'x')));
    const QString accents = QString(39, u'a') + QStringLiteral("e\u0301\u00e9.mp4");
    EXPECT_TRUE(BCMediaOpener::cacheName(fixtures.file(accents))
                    .startsWith(QString(39, u'a') + QStringLiteral("e\u0301-")));
}

TEST(Cache, ShortestDecimals) {
    const QList<std::pair<double, QString>> cases = {
        {0, QStringLiteral("0.0")},
        {1700000000, QStringLiteral("1700000000.0")},
        {1700000000.5, QStringLiteral("1700000000.5")},
        {0.1, QStringLiteral("0.1")},
        {1700000000.0 + 0.123456789, QStringLiteral("1700000000.1234567")},
        {-3, QStringLiteral("-3.0")},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(BCMediaOpener::shortestDecimal(value), text);
}

TEST(Cache, FolderLivesInTheUsersCaches) {
    const QString folder = BCMediaOpener::cacheFolder();
    EXPECT_EQ(folder, QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                          QStringLiteral("/Brindlecote/Lorowen Pro/Converted"));
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

} // namespace
