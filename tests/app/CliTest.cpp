// Runs the real lorowen-cli binary as a person would from a shell.
#include "CaptionMath.h"
#include "CliRunner.h"
#include "LWSpeller.h"
#include "MediaFixtures.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

const QByteArray kVtt =
    "WEBVTT\n\nNOTE made by hand\n\nintro\n00:05.000 --> 00:06.000 align:start\n"
    "<i>Second</i>\n\n00:01.000 --> 00:04.000\n<v Ann>First</v> line\n";

TEST(Cli, CheckListsEveryProblemAndSaysSoInItsStatus) {
    TestFolder folder;
    // 1: 31 characters in 1 s; 3 starts 0.04 s after 2 ends and has a line of 44.
    const QString srt = folder.write(
        QStringLiteral("in.srt"),
        "1\n00:00:01,000 --> 00:00:02,000\nThirty characters in one second\n\n"
        "2\n00:00:03,000 --> 00:00:05,000\nFine\n\n"
        "3\n00:00:05,040 --> 00:00:09,000\nA line of forty-five characters that is long\n\n");
    const QString clean =
        folder.write(QStringLiteral("clean.vtt"), "WEBVTT\n\n00:01.000 --> 00:03.000\nAll good\n");
    struct Case {
        const char* what;
        QStringList arguments;
        int status;
        QStringList lines; // standard output, line by line
    };
    const Case cases[] = {
        {"defaults",
         {srt},
         1,
         {"1\t0:00:01.000\treading speed\t31.0 characters per second; the limit is 17.",
          "2\t0:00:03.000\ttoo close\t0.040 s before the next caption; leave at least 0.083 s.",
          "3\t0:00:05.040\tline length\tA line of 44 characters; the limit is 42."}},
        {"looser limits", {srt, "--max-cps", "40", "--max-chars", "50", "--min-gap", "0"}, 0, {}},
        {"a clean file", {clean}, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CliRun run = cli(QStringList{QStringLiteral("check")} << c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err.toStdString();
        EXPECT_EQ(run.out.split(u'\n', Qt::SkipEmptyParts), c.lines);
    }

    const CliRun json = cli({QStringLiteral("check"), srt, QStringLiteral("--json")});
    EXPECT_EQ(json.status, 1);
    const QJsonArray list = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].toObject().value(QStringLiteral("caption")).toInt(), 1);
    EXPECT_EQ(list[0].toObject().value(QStringLiteral("kind")).toString(),
              QStringLiteral("reading speed"));
    EXPECT_NEAR(list[0].toObject().value(QStringLiteral("figure")).toDouble(), 31, 1e-9);
    EXPECT_DOUBLE_EQ(list[2].toObject().value(QStringLiteral("start")).toDouble(), 5.04);

    // Bad usage and unreadable input.
    EXPECT_EQ(cli({QStringLiteral("check")}).status, 2);
    EXPECT_EQ(
        cli({QStringLiteral("check"), srt, QStringLiteral("--max-cps"), QStringLiteral("fast")})
            .status,
        2);
    EXPECT_EQ(cli({QStringLiteral("check"), folder.path(QStringLiteral("missing.srt"))}).status, 3);
}

TEST(Cli, CheckSpellListsUnknownWordsAndRefusesALanguageWithoutADictionary) {
    ASSERT_TRUE(QFileInfo::exists(QStringLiteral("/usr/share/hunspell/en_US.aff")))
        << "Debian's hunspell-en-us is missing (scripts/setup installs it)";
    TestFolder folder;
    const QString srt =
        folder.write(QStringLiteral("in.srt"),
                     "1\n00:00:01,000 --> 00:00:04,000\n>> NASA said teh plan\n\n"
                     "2\n00:00:05,000 --> 00:00:09,000\nIn 2024 we go to Brindlecote\n\n"
                     "3\n00:00:10,000 --> 00:00:14,000\nAll fine, don't worry\n\n");
    const QString spell = QStringLiteral("--spell");
    const CliRun run = cli({QStringLiteral("check"), srt, spell, QStringLiteral("en-US")});
    EXPECT_EQ(run.status, 1) << run.err.toStdString();
    EXPECT_EQ(run.out.split(u'\n', Qt::SkipEmptyParts),
              (QStringList{"1\t0:00:01.000\tspelling\t“teh” is not in the dictionary.",
                           "2\t0:00:05.000\tspelling\t“Brindlecote” is not in the dictionary."}));
    const CliRun json =
        cli({QStringLiteral("check"), srt, spell, QStringLiteral("en"), QStringLiteral("--json")});
    const QJsonArray list = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[1].toObject().value(QStringLiteral("kind")).toString(), u"spelling");
    EXPECT_EQ(list[1].toObject().value(QStringLiteral("word")).toString(), u"Brindlecote");
    EXPECT_EQ(list[1].toObject().value(QStringLiteral("caption")).toInt(), 2);

    // Words added in the window count as known (the list in this program's private data folder).
    folder.write(QStringLiteral("words.txt"), "teh\nbrindlecote\n");
    const QString personal = LWPersonalWords::defaultPath();
    QDir().mkpath(QFileInfo(personal).absolutePath());
    QFile::remove(personal);
    ASSERT_TRUE(QFile::copy(folder.path(QStringLiteral("words.txt")), personal));
    EXPECT_EQ(cli({QStringLiteral("check"), srt, spell, QStringLiteral("en-US")}).status, 0);
    QFile::remove(personal);

    // A language without an installed dictionary says which package adds it; no language at all
    // is bad usage.
    const CliRun missing = cli({QStringLiteral("check"), srt, spell, QStringLiteral("kmr")});
    EXPECT_EQ(missing.status, 3);
    EXPECT_TRUE(missing.out.isEmpty());
    EXPECT_TRUE(missing.err.contains(QStringLiteral("Install the hunspell-kmr package")))
        << missing.err.toStdString();
    EXPECT_EQ(cli({QStringLiteral("check"), srt, spell, QString()}).status, 2);
}

TEST(Cli, ConvertWritesEachFormatByExtension) {
    TestFolder folder;
    const QString in = folder.write(QStringLiteral("in.vtt"), kVtt);
    struct Case {
        QString out;
        QStringList extra;
        QByteArray expected;
    };
    const QList<Case> cases = {
        {QStringLiteral("out.srt"),
         {},
         "1\n00:00:01,000 --> 00:00:04,000\nFirst line\n\n"
         "2\n00:00:05,000 --> 00:00:06,000\nSecond\n\n"},
        {QStringLiteral("out.VTT"),
         {},
         "WEBVTT\n\n1\n00:00:01.000 --> 00:00:04.000\nFirst line\n\n"
         "2\n00:00:05.000 --> 00:00:06.000\nSecond\n\n"},
        {QStringLiteral("plain.txt"), {}, "First line Second\n"},
        {QStringLiteral("stamped.txt"),
         {QStringLiteral("--timestamps")},
         "[0:01] First line\n[0:05] Second\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.out.toStdString());
        const CliRun run =
            cli(QStringList{QStringLiteral("convert"), in, folder.path(c.out)} << c.extra);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(folder.read(c.out), c.expected);
    }
}

// The styled and delivery formats, checked by an independent reader: FFmpeg reads our ASS back
// to the same cues; it has no TTML reader, so instead our importer reads FFmpeg's TTML.
TEST(Cli, ConvertedFormatsAgreeWithFfmpeg) {
    TestFolder folder;
    const QString in = folder.write(QStringLiteral("in.vtt"), kVtt);
    const QString expected = QStringLiteral("1\n00:00:01,000 --> 00:00:04,000\nFirst line\n\n"
                                            "2\n00:00:05,000 --> 00:00:06,000\nSecond\n\n");
    const auto convert = [&](const QString& from, const QString& to, QStringList extra = {}) {
        const CliRun run = cli(
            QStringList{QStringLiteral("convert"), folder.path(from), folder.path(to)} << extra);
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
    };
    convert(QStringLiteral("in.vtt"), QStringLiteral("out.ass"),
            {QStringLiteral("--style"), QStringLiteral("social pop")});
    ASSERT_TRUE(MediaFixtures::ffmpeg({QStringLiteral("-i"), folder.path(QStringLiteral("out.ass")),
                                       folder.path(QStringLiteral("ffmpeg.srt"))}));
    // FFmpeg's SRT keeps the style as <font> tags and the middle position as {\an5}.
    QString fromFfmpeg = QString::fromUtf8(folder.read(QStringLiteral("ffmpeg.srt")));
    EXPECT_TRUE(fromFfmpeg.contains(QStringLiteral("{\\an5}")));
    fromFfmpeg.remove(QStringLiteral("{\\an5}"));
    EXPECT_EQ(CaptionMath::srt(CaptionMath::parseSubtitles(fromFfmpeg)), expected.toUpper())
        << "the Social Pop look writes capitals";

    convert(QStringLiteral("in.vtt"), QStringLiteral("plain.srt"));
    ASSERT_TRUE(MediaFixtures::ffmpeg(
        {QStringLiteral("-i"), folder.path(QStringLiteral("plain.srt")), QStringLiteral("-c:s"),
         QStringLiteral("ttml"), QStringLiteral("-f"), QStringLiteral("ttml"),
         folder.path(QStringLiteral("ffmpeg.ttml"))}));
    convert(QStringLiteral("ffmpeg.ttml"), QStringLiteral("from-ffmpeg.srt"));
    EXPECT_EQ(QString::fromUtf8(folder.read(QStringLiteral("from-ffmpeg.srt"))), expected);

    // Each written format comes back as the same captions.
    for (const char* name : {"out.ttml", "out.xml", "out.dfxp", "out.sbv", "out.ssa"}) {
        SCOPED_TRACE(name);
        const QString file = QString::fromUtf8(name);
        convert(QStringLiteral("in.vtt"), file,
                {QStringLiteral("--language"), QStringLiteral("en")});
        convert(file, file + QStringLiteral(".srt"));
        EXPECT_EQ(QString::fromUtf8(folder.read(file + QStringLiteral(".srt"))), expected);
    }
    EXPECT_TRUE(folder.read(QStringLiteral("out.ttml")).contains("xml:lang=\"en\""));
}

TEST(Cli, FailuresSayTheSentenceAndExitThree) {
    TestFolder folder;
    const QString notes = folder.write(QStringLiteral("notes.srt"), "no cues here\n");
    const QString good =
        folder.write(QStringLiteral("good.srt"), "1\n00:00:01,000 --> 00:00:02,000\nHi\n");
    struct Case {
        QStringList args;
        QString sentence;
    };
    const QList<Case> cases = {
        {{QStringLiteral("convert"), folder.path(QStringLiteral("missing.srt")),
          folder.path(QStringLiteral("a.vtt"))},
         QStringLiteral("Can't read that file")},
        {{QStringLiteral("convert"), notes, folder.path(QStringLiteral("b.vtt"))},
         QStringLiteral("“notes.srt” doesn't contain SRT, VTT, ASS, SSA, TTML or SBV captions.")},
        {{QStringLiteral("convert"), good, folder.path(QStringLiteral("no/such/folder/c.vtt"))},
         QStringLiteral("couldn't be saved")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sentence.toStdString());
        const CliRun run = cli(c.args);
        EXPECT_EQ(run.status, 3);
        EXPECT_TRUE(run.err.contains(c.sentence)) << run.err.toStdString();
    }
    EXPECT_EQ(QDir(folder.root()).entryList(QDir::Files), (QStringList{"good.srt", "notes.srt"}));
}

TEST(Cli, BadUsageExitsTwoWithAUsageLine) {
    TestFolder folder;
    const QString in =
        folder.write(QStringLiteral("in.srt"), "1\n00:00:01,000 --> 00:00:02,000\nHi\n");
    const QList<QStringList> cases = {
        {},
        {QStringLiteral("frobnicate")},
        {QStringLiteral("convert"), in},
        {QStringLiteral("convert"), in, folder.path(QStringLiteral("out.doc"))},
        {QStringLiteral("convert"), in, folder.path(QStringLiteral("out.srt")),
         QStringLiteral("--bogus")},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(u' ').toStdString());
        const CliRun run = cli(args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.err.contains(QStringLiteral("usage:"))) << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(folder.path(QStringLiteral("out.srt"))));
}

TEST(Cli, HelpDocumentsTheCommands) {
    const CliRun run = cli({QStringLiteral("--help")});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.contains(QStringLiteral("convert IN OUT [--timestamps]")));
    const CliRun sub = cli({QStringLiteral("convert"), QStringLiteral("--help")});
    EXPECT_EQ(sub.status, 0);
    EXPECT_TRUE(sub.out.contains(QStringLiteral("--timestamps")));
}

TEST(Cli, WritesNoPreferences) {
    TestFolder folder;
    const QString in =
        folder.write(QStringLiteral("in.srt"), "1\n00:00:01,000 --> 00:00:02,000\nHi\n");
    ASSERT_EQ(cli({QStringLiteral("convert"), in, folder.path(QStringLiteral("o.vtt"))}).status, 0);
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    EXPECT_FALSE(QDir(config + QStringLiteral("/Brindlecote")).exists());
}

// A whisper-cli -oj -ml 1 result as whisper.cpp writes it: one word per segment.
const QByteArray kWhisperJson = R"({
  "systeminfo": "AVX = 1 | AVX2 = 1",
  "model": {"type": "tiny", "multilingual": true},
  "params": {"model": "ggml-tiny.bin", "language": "en", "translate": false},
  "result": {"language": "en"},
  "transcription": [
    {"timestamps": {"from": "00:00:00,000", "to": "00:00:00,400"},
     "offsets": {"from": 0, "to": 400}, "text": " Welcome"},
    {"timestamps": {"from": "00:00:00,400", "to": "00:00:00,700"},
     "offsets": {"from": 400, "to": 700}, "text": " back."},
    {"timestamps": {"from": "00:00:00,700", "to": "00:00:03,000"},
     "offsets": {"from": 700, "to": 3000}, "text": " [BLANK_AUDIO]"},
    {"timestamps": {"from": "00:00:03,000", "to": "00:00:03,300"},
     "offsets": {"from": 3000, "to": 3300}, "text": " Today"},
    {"timestamps": {"from": "00:00:03,300", "to": "00:00:03,500"},
     "offsets": {"from": 3300, "to": 3500}, "text": " we"},
    {"timestamps": {"from": "00:00:03,500", "to": "00:00:03,900"},
     "offsets": {"from": 3500, "to": 3900}, "text": " cook."}
  ]
})";

TEST(Cli, CaptionsGroupsAWhisperResult) {
    TestFolder folder;
    const QString in = folder.write(QStringLiteral("talk.json"), kWhisperJson);
    const CliRun run =
        cli({QStringLiteral("captions"), in, folder.path(QStringLiteral("talk.srt"))});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    // Two sentences 2.3 s apart; each lingers 0.25 s, or lasts the shortest 1.0 s.
    EXPECT_EQ(folder.read(QStringLiteral("talk.srt")),
              QByteArray("1\n00:00:00,000 --> 00:00:01,000\nWelcome back.\n\n"
                         "2\n00:00:03,000 --> 00:00:04,150\nToday we cook.\n\n"));
}

TEST(Cli, CaptionsTakesPlainWordsAndRules) {
    TestFolder folder;
    const QString in = folder.write(
        QStringLiteral("words.json"),
        R"([{"text":"one","start":0,"duration":0.3},{"text":"two","start":0.4,"duration":0.3},)"
        R"({"text":"three","start":0.8,"duration":0.3},{"text":"four","start":1.2,"duration":0.3}])");
    const CliRun run = cli({QStringLiteral("captions"), in, folder.path(QStringLiteral("w.txt")),
                            QStringLiteral("--max-chars"), QStringLiteral("8"),
                            QStringLiteral("--max-lines"), QStringLiteral("1")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(folder.read(QStringLiteral("w.txt")), QByteArray("one two three four\n"));
    const CliRun srt = cli({QStringLiteral("captions"), in, folder.path(QStringLiteral("w.srt")),
                            QStringLiteral("--max-chars"), QStringLiteral("8"),
                            QStringLiteral("--max-lines"), QStringLiteral("1")});
    EXPECT_EQ(srt.status, 0);
    EXPECT_GT(folder.read(QStringLiteral("w.srt")).count("-->"), 1); // split into several captions
}

TEST(Cli, CaptionsRefusesWhatItCannotUse) {
    TestFolder folder;
    const QString empty = folder.write(QStringLiteral("empty.json"), R"({"transcription": []})");
    const QString odd = folder.write(QStringLiteral("odd.json"), R"({"words": 3})");
    const QString bad = folder.write(QStringLiteral("bad.json"), R"([{"text": "x"}])");
    const QString out = folder.path(QStringLiteral("o.srt"));
    struct Case {
        QStringList args;
        int status;
        QString says;
    };
    const QList<Case> cases = {
        {{QStringLiteral("captions"), empty, out}, 3, QStringLiteral("no words")},
        {{QStringLiteral("captions"), odd, out}, 3, QStringLiteral("“odd.json” is neither")},
        {{QStringLiteral("captions"), bad, out}, 3, QStringLiteral("“bad.json” is neither")},
        {{QStringLiteral("captions"), folder.path(QStringLiteral("none.json")), out},
         3,
         QStringLiteral("Can't read that file")},
        {{QStringLiteral("captions"), empty, out, QStringLiteral("--max-chars"),
          QStringLiteral("x")},
         2,
         QStringLiteral("--max-chars needs a whole number")},
        {{QStringLiteral("captions"), empty, out, QStringLiteral("--pause-split")},
         2,
         QStringLiteral("needs a value")},
        {{QStringLiteral("captions"), empty, out, QStringLiteral("--min-duration"),
          QStringLiteral("-1")},
         2,
         QStringLiteral("non-negative")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const CliRun run = cli(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(out));
}

} // namespace
