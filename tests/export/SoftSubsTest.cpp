#include "SoftSubs.h"
#include "BCError.h"
#include "BCMediaOpener.h"
#include "BCMovieIndex.h"
#include "ErrorMessage.h"
#include "MediaFixtures.h"
#include "MovieProbe.h"
#include "TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <cmath>
#include <gtest/gtest.h>

#include <unistd.h>

namespace SoftSubs {
void PrintTo(const Cue& cue, std::ostream* out) {
    *out << "(\"" << cue.text.left(40).toStdString() << "\" " << cue.start << " +" << cue.duration
         << ")";
}
} // namespace SoftSubs

namespace MovieProbe {
void PrintTo(const Packet& p, std::ostream* out) {
    *out << "{" << p.stream << " " << p.pts.toStdString() << " +" << p.duration.toStdString() << " "
         << p.hash.toStdString() << " " << p.flags.toStdString() << "}";
}
} // namespace MovieProbe

namespace {

using SoftSubs::Cue;

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray fileHash(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Md5);
}

// A subtitle sample built by hand: 16-bit big-endian byte count, then UTF-8.
QByteArray textSample(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QByteArray bytes;
    bytes.append(char(utf8.size() >> 8)).append(char(utf8.size() & 0xFF)).append(utf8);
    return bytes;
}

Caption caption(double start, double end, const char* text) {
    return Caption::make(start, end, QString::fromUtf8(text));
}

} // namespace

TEST(SoftSubsFormat, TextDescriptionIsTheTx3gEntryByteForByte) {
    const QByteArray expected =
        QByteArray::fromHex("00000044"
                            "74783367"
                            "000000000000"
                            "0001" // size 68, "tx3g", reserved, data ref 1
                            "00000000"
                            "01"
                            "ff"
                            "00000000"         // flags, centred, bottom, clear background
                            "0000000000000000" // default text box
                            "0000"
                            "0000"
                            "0001"
                            "00"
                            "12"
                            "ffffffff" // style: chars 0-0, font 1, plain, 18, white
                            "00000016"
                            "66746162"
                            "0001"
                            "0001"
                            "09"                   // ftab of 22 bytes, one font, id 1, 9 bytes
                            "48656c766574696361"); // "Helvetica"
    EXPECT_EQ(SoftSubs::textDescription().toHex().toStdString(), expected.toHex().toStdString());
}

TEST(SoftSubsFormat, SampleIsTheByteCountThenUtf8) {
    EXPECT_EQ(SoftSubs::sample({QString(), 0, 1}).toHex(), QByteArray("0000"));
    EXPECT_EQ(SoftSubs::sample({QStringLiteral("Hi"), 0, 1}).toHex(), QByteArray("00024869"));
    EXPECT_EQ(SoftSubs::sample({QStringLiteral("é\nb"), 0, 1}).toHex(), QByteArray("0004c3a90a62"));
}

TEST(SoftSubsCues, CoverTheWholeTimeLine) {
    struct Row {
        const char* name;
        Captions captions;
        double duration;
        QList<Cue> expected;
    };
    const QList<Row> rows = {
        {"two captions with gaps",
         {caption(4.0, 5.0, "second"), caption(1.0, 2.5, "  first\nline \n")},
         6.0,
         {{"", 0, 1.0},
          {"first\nline", 1.0, 1.5},
          {"", 2.5, 1.5},
          {"second", 4.0, 1.0},
          {"", 5.0, 1.0}}},
        {"no captions left after tidying", {caption(1, 2, " \n ")}, 3.0, {{"", 0, 3.0}}},
        {"start at the end left out, one past the end cut",
         {caption(0, 2.5, "cut"), caption(3.0, 4.0, "after")},
         3.0,
         {{"cut", 0, 2.5}, {"", 2.5, 0.5}}},
        {"0.4 ms apart joined, a 1 ms gap kept",
         {caption(0, 1.0, "a"), caption(1.0004, 2.0, "b"), caption(2.001, 3.0, "c")},
         3.0,
         {{"a", 0, 1.0}, {"b", 1.0, 1.0}, {"", 2.0, 0.001}, {"c", 2.001, 0.999}}},
        {"times rounded to milliseconds, halves away from zero",
         {caption(0.0125, 0.9994, "x")},
         1.0,
         {{"", 0, 0.013}, {"x", 0.013, 0.986}, {"", 0.999, 0.001}}},
        // Tidying keeps a caption at least 0.05 s long, so the next may start inside it: it starts
        // where the first ends, and one with nothing left over is dropped.
        {"an overlap starts at the end of the cue before",
         {caption(1.0, 3.0, "long"), caption(1.01, 2.0, "late")},
         2.5,
         {{"", 0, 1.0}, {"long", 1.0, 0.05}, {"late", 1.05, 0.95}, {"", 2.0, 0.5}}},
        {"an overlap with nothing left is dropped",
         {caption(1.0, 3.0, "long"), caption(1.01, 1.04, "gone"), caption(2.0, 2.5, "next")},
         2.5,
         {{"", 0, 1.0}, {"long", 1.0, 0.05}, {"", 1.05, 0.95}, {"next", 2.0, 0.5}}},
        {"an unknown duration gives no cues", {caption(0, 1, "x")}, std::nan(""), {}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(SoftSubs::cues(row.captions, row.duration), row.expected) << row.name;
}

TEST(SoftSubsCues, ATextTooLongForASampleIsCutAtTheLastWholeCharacter) {
    struct Row {
        const char* name;
        QString text;
        QString expected;
    };
    const QString as = QString(65534, u'a');
    const QString accents = QString(32767, u'é'); // 65 534 bytes
    const QList<Row> rows = {
        {"fits exactly", as + u'b', as + u'b'},
        // The accent of e + U+0301 would fit only without its combining mark.
        {"combining mark stays with its letter", as + QStringLiteral("e\u0301z"), as},
        {"two-byte letters", accents + QStringLiteral("éé"), accents},
        {"four-byte letters", QString(65532, u'a') + QStringLiteral("\U0001F600\U0001F600"),
         QString(65532, u'a')},
    };
    for (const Row& row : rows) {
        const auto list = SoftSubs::cues({Caption::make(0, 1, row.text)}, 1.0);
        ASSERT_EQ(list.size(), 1) << row.name;
        EXPECT_EQ(list[0].text.size(), row.expected.size()) << row.name;
        EXPECT_TRUE(list[0].text == row.expected) << row.name;
        EXPECT_LE(SoftSubs::sample(list[0]).size(), 65537) << row.name;
    }
}

// Exports of small generated videos, read back with ffprobe and by walking the boxes.
class SoftSubsExport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fixtures = new MediaFixtures;
        const QStringList picture = {
            "-f",       "lavfi",   "-i",      "testsrc=size=64x48:rate=25:duration=4",
            "-f",       "lavfi",   "-i",      "sine=frequency=440:duration=4",
            "-c:v",     "libx264", "-preset", "veryfast",
            "-pix_fmt", "yuv420p", "-g",      "25"};
        MediaFixtures::ffmpeg(picture + QStringList{"-c:a", "aac", fixtures->file("clip.mp4")});
        MediaFixtures::ffmpeg(picture +
                              QStringList{"-c:a", "pcm_s16le", fixtures->file("pcm.mov")});
        MediaFixtures::ffmpeg(picture + QStringList{"-c:a", "libopus", fixtures->file("opus.mp4")});
    }
    static void TearDownTestSuite() {
        delete fixtures;
        fixtures = nullptr;
    }

    static BCOpenedMedia media(const QString& name) {
        const QString path = fixtures->file(name);
        return BCMediaOpener::inspect(path, path, false, {});
    }

    static Captions twoCaptions() {
        return {caption(0.5, 1.5, "Hello"), caption(2.0, 2.8, "World\nagain")};
    }

    static inline MediaFixtures* fixtures = nullptr;
    TestFolder folder;
};

TEST_F(SoftSubsExport, Mp4CopiesPictureAndSoundAndAddsTheTextTrack) {
    const BCOpenedMedia source = media(QStringLiteral("clip.mp4"));
    const QString out = folder.path(QStringLiteral("out.mp4"));
    QList<double> progress;
    SoftSubs::exportVideo(source, twoCaptions(), out,
                          [&](double fraction) { progress.append(fraction); });

    const MovieProbe::File before = MovieProbe::probe(source.asset.path);
    const MovieProbe::File after = MovieProbe::probe(out);
    ASSERT_TRUE(after.read);
    ASSERT_EQ(after.streams.size(), 3);
    EXPECT_EQ(after.streams[0].type, QStringLiteral("video"));
    EXPECT_EQ(after.streams[0].codec, QStringLiteral("h264"));
    EXPECT_EQ(after.streams[1].type, QStringLiteral("audio"));
    EXPECT_EQ(after.streams[1].codec, QStringLiteral("aac"));
    EXPECT_EQ(after.streams[2].type, QStringLiteral("subtitle"));
    EXPECT_EQ(after.streams[2].codec, QStringLiteral("mov_text"));
    EXPECT_EQ(after.streams[2].language, QStringLiteral("eng"));
    EXPECT_TRUE(after.streams[2].enabled);

    // Every picture and sound packet as it was, in the same order and at the same time.
    for (const QString& type : {QStringLiteral("video"), QStringLiteral("audio")}) {
        EXPECT_FALSE(before.packetsOf(type).isEmpty()) << type.toStdString();
        EXPECT_EQ(after.packetsOf(type), before.packetsOf(type)) << type.toStdString();
    }

    const auto seconds = [](int ms) { return QString::number(ms / 1000.0, 'f', 6); };
    const int total = int(std::lround(source.duration * 1000));
    const QList<std::tuple<int, int, QString>> cues = {{0, 500, ""},
                                                       {500, 1500, "Hello"},
                                                       {1500, 2000, ""},
                                                       {2000, 2800, "World\nagain"},
                                                       {2800, total, ""}};
    QList<MovieProbe::Packet> expected;
    for (const auto& [from, to, text] : cues)
        expected.append({0, seconds(from), seconds(to - from), MovieProbe::md5(textSample(text)),
                         QStringLiteral("K_")});
    EXPECT_EQ(after.packetsOf(QStringLiteral("subtitle")), expected);

    // The sample entry is exactly the description, and the text track follows the picture.
    const QList<MovieProbe::Track> tracks = MovieProbe::tracks(out);
    ASSERT_EQ(tracks.size(), 3);
    EXPECT_EQ(tracks[0].handler, QByteArray("vide"));
    EXPECT_EQ(tracks[2].handler, QByteArray("sbtl"));
    EXPECT_EQ(tracks[2].sampleEntry.toHex().toStdString(),
              SoftSubs::textDescription().toHex().toStdString());
    EXPECT_EQ(tracks[2].follows, std::optional<quint32>(tracks[0].id));
    EXPECT_FALSE(tracks[1].follows.has_value());
    EXPECT_EQ(MovieProbe::majorBrand(out), QByteArray("isom"));

    ASSERT_GE(progress.size(), 3);
    for (qsizetype i = 0; i + 1 < progress.size(); ++i) {
        EXPECT_LE(progress[i], 0.99);
        EXPECT_LE(progress[i], progress[i + 1]);
    }
    EXPECT_EQ(progress.last(), 1.0);
    EXPECT_EQ(entries(folder.root()), QStringList{QStringLiteral("out.mp4")});
}

TEST_F(SoftSubsExport, TheExtensionChoosesTheContainer) {
    struct Row {
        const char* source;
        const char* name;
        QByteArray brand;
    };
    const QList<Row> rows = {{"clip.mp4", "a.MOV", "qt  "},
                             {"clip.mp4", "b.mov", "qt  "},
                             {"clip.mp4", "c.m4v", "isom"},
                             {"pcm.mov", "d.Mov", "qt  "},
                             {"opus.mp4", "e.mp4", "isom"}};
    for (const Row& row : rows) {
        const QString out = folder.path(QString::fromLatin1(row.name));
        SoftSubs::exportVideo(media(QString::fromLatin1(row.source)), twoCaptions(), out);
        EXPECT_EQ(MovieProbe::majorBrand(out), row.brand) << row.name;
        const QList<MovieProbe::Track> tracks = MovieProbe::tracks(out);
        ASSERT_EQ(tracks.size(), 3) << row.name;
        EXPECT_EQ(tracks[2].sampleEntry.toHex().toStdString(),
                  SoftSubs::textDescription().toHex().toStdString())
            << row.name;
        EXPECT_EQ(tracks[2].follows, std::optional<quint32>(tracks[0].id)) << row.name;
        const MovieProbe::File read = MovieProbe::probe(out);
        ASSERT_TRUE(read.read) << row.name;
        EXPECT_EQ(read.packetsOf(QStringLiteral("subtitle")).size(), 5) << row.name;
    }
}

TEST_F(SoftSubsExport, AFormatTheContainerRefusesWritesNothing) {
    struct Row {
        const char* source;
        const char* name;
        const char* sentence;
    };
    const QList<Row> rows = {
        {"pcm.mov", "out.mp4",
         "This file's audio format can't go into an MP4 without re-encoding. Try the other "
         "container (MOV accepts more formats), or export a burned-in MP4."},
        {"opus.mp4", "out.mov",
         "This file's audio format can't go into a MOV without re-encoding. Try the other "
         "container (MOV accepts more formats), or export a burned-in MP4."},
    };
    for (const Row& row : rows) {
        const QString out = folder.write(QString::fromLatin1(row.name), "the file I had");
        const BCOpenedMedia source = media(QString::fromLatin1(row.source));
        EXPECT_EQ(messageOf([&] { SoftSubs::exportVideo(source, twoCaptions(), out); }),
                  QString::fromUtf8(row.sentence));
        EXPECT_EQ(folder.read(QString::fromLatin1(row.name)), QByteArray("the file I had"));
        EXPECT_EQ(entries(folder.root()), QStringList{QString::fromLatin1(row.name)});
        QFile::remove(out);
    }
}

TEST_F(SoftSubsExport, StoppingHalfwayLeavesNoFile) {
    {
        const QString out = folder.path(QStringLiteral("out.mp4"));
        std::stop_source stop;
        QList<double> progress;
        bool cancelled = false;
        try {
            SoftSubs::exportVideo(
                media(QStringLiteral("clip.mp4")), twoCaptions(), out,
                [&](double fraction) {
                    progress.append(fraction);
                    if (fraction >= 0.5)
                        stop.request_stop();
                },
                stop.get_token());
        } catch (const BCCancelled&) {
            cancelled = true;
        }
        EXPECT_TRUE(cancelled);
        ASSERT_FALSE(progress.isEmpty());
        EXPECT_LT(progress.last(), 1.0);
        EXPECT_GE(progress.last(), 0.5);
        EXPECT_EQ(entries(folder.root()), QStringList{});
    }

    // An existing file stays as it was.
    const QString kept = folder.write(QStringLiteral("kept.mp4"), "old");
    std::stop_source stop;
    EXPECT_THROW(SoftSubs::exportVideo(
                     media(QStringLiteral("clip.mp4")), twoCaptions(), kept,
                     [&](double) { stop.request_stop(); }, stop.get_token()),
                 BCCancelled);
    EXPECT_EQ(folder.read(QStringLiteral("kept.mp4")), QByteArray("old"));
    EXPECT_EQ(entries(folder.root()), QStringList{QStringLiteral("kept.mp4")});
}

TEST_F(SoftSubsExport, NeverWritesOverTheFileItIsMadeFrom) {
    const BCOpenedMedia source = media(QStringLiteral("clip.mp4"));
    const QByteArray before = fileHash(source.asset.path);
    EXPECT_EQ(
        messageOf([&] { SoftSubs::exportVideo(source, twoCaptions(), source.asset.path); }),
        QStringLiteral("The export can't replace the file it is made from. Choose another name."));
    // The same file reached through another spelling of its path.
    const QString dotted = fixtures->folder() + QStringLiteral("/./clip.mp4");
    EXPECT_THROW(SoftSubs::exportVideo(source, twoCaptions(), dotted), BCError);
    // A hard link is the same file on disk under a name of its own.
    const QString linked = folder.path(QStringLiteral("linked.mp4"));
    ASSERT_EQ(::link(QFile::encodeName(source.asset.path).constData(),
                     QFile::encodeName(linked).constData()),
              0);
    EXPECT_EQ(messageOf([&] { SoftSubs::exportVideo(source, twoCaptions(), linked); }),
              BurnIn::replacesSourceSentence());
    EXPECT_EQ(fileHash(source.asset.path), before);
}

TEST_F(SoftSubsExport, AFileThatCannotBeReadSaysSo) {
    BCOpenedMedia gone = media(QStringLiteral("clip.mp4"));
    gone.asset.path = folder.path(QStringLiteral("missing.mp4"));
    const QString message = messageOf([&] {
        SoftSubs::exportVideo(gone, twoCaptions(), folder.path(QStringLiteral("out.mp4")));
    });
    EXPECT_TRUE(message.startsWith(QStringLiteral("The file couldn't be read: ")))
        << message.toStdString();
    EXPECT_TRUE(message.endsWith(u'.'));
    EXPECT_EQ(entries(folder.root()), QStringList{});
}

TEST_F(SoftSubsExport, KeepsThePictureTurnedAsTheSourceHasIt) {
    const QString phone = fixtures->path(MediaFixtures::rotated);
    const BCOpenedMedia source = BCMediaOpener::inspect(phone, phone, false, {});
    ASSERT_FALSE(source.preferredTransform.isIdentity());
    const QString out = folder.path(QStringLiteral("phone.mp4"));
    SoftSubs::exportVideo(source, twoCaptions(), out);
    const BCOpenedMedia copy = BCMediaOpener::inspect(out, out, false, {});
    EXPECT_EQ(copy.preferredTransform, source.preferredTransform);
    EXPECT_EQ(copy.naturalSize, source.naturalSize);
}

TEST_F(SoftSubsExport, TheTrackReferenceIsAddedOnlyWhereItMovesNoSample) {
    const QString plain = fixtures->path(MediaFixtures::mp4);
    const QString front = fixtures->file(QStringLiteral("front.mp4"));
    MediaFixtures::ffmpeg({"-i", plain, "-c", "copy", "-movflags", "+faststart", front});
    struct Row {
        QString path;
        bool refused;
    };
    // An index before the samples, and a file without a text track, are refused untouched; a
    // file without a picture has nothing to follow.
    const QList<Row> rows = {
        {front, true}, {plain, true}, {fixtures->path(MediaFixtures::audioOnly), false}};
    for (const Row& row : rows) {
        const QByteArray before = fileHash(row.path);
        const QString message = messageOf([&] { BCMovieIndex::addSelectionFollower(row.path); });
        EXPECT_EQ(message, row.refused ? QStringLiteral("The export failed: the subtitle track "
                                                        "couldn't be linked to the picture.")
                                       : QStringLiteral("(no error)"))
            << row.path.toStdString();
        EXPECT_EQ(fileHash(row.path), before) << row.path.toStdString();
    }
}

TEST_F(SoftSubsExport, CuesShowOnTheSamePicturesWhenTheSourceDoesNotStartAtZero) {
    // The same clip with every time one second on, as cut from a longer recording.
    const QString late = fixtures->file(QStringLiteral("late.mp4"));
    ASSERT_TRUE(MediaFixtures::ffmpeg(
        {"-i", fixtures->file("clip.mp4"), "-c", "copy", "-output_ts_offset", "1", late}));
    const BCOpenedMedia source = media(QStringLiteral("late.mp4"));
    const QString out = folder.path(QStringLiteral("out.mp4"));
    SoftSubs::exportVideo(source, twoCaptions(), out, {});

    const MovieProbe::File after = MovieProbe::probe(out);
    ASSERT_TRUE(after.read);
    // Where the file starts (its earliest picture or sound, as the burned-in export counts),
    // and where "Hello" (0.5 s into the file) is.
    double start = 1e9;
    for (const QString& type : {QStringLiteral("video"), QStringLiteral("audio")}) {
        for (const MovieProbe::Packet& p : after.packetsOf(type))
            start = std::min(start, p.pts.toDouble());
    }
    ASSERT_GT(start, 0.9);
    std::optional<double> hello;
    for (const MovieProbe::Packet& p : after.packetsOf(QStringLiteral("subtitle"))) {
        if (p.hash == MovieProbe::md5(textSample(QStringLiteral("Hello"))))
            hello = p.pts.toDouble();
    }
    ASSERT_TRUE(hello.has_value());
    EXPECT_NEAR(*hello - start, 0.5, 0.002) << start;
}
