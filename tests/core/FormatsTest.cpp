#include "CaptionMath.h"
#include "CorePrinters.h"
#include "Cues.h"

#include <QSet>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace {

// Test names for the tables below.
template <typename Row> std::string caseName(const testing::TestParamInfo<Row>& row) {
    return row.param.name;
}

Caption at(double start, double end, const char* text) {
    return Caption::make(start, end, QString::fromUtf8(text));
}

// --- normalized ---

struct NormalizeCase {
    std::string name;
    Captions input;
    std::vector<Cue> expected;
    friend void PrintTo(const NormalizeCase& row, std::ostream* os) { *os << row.name; }
};

class Normalized : public testing::TestWithParam<NormalizeCase> {};

TEST_P(Normalized, TidiesForExport) {
    EXPECT_EQ(cuesOf(CaptionMath::normalized(GetParam().input)), GetParam().expected);
}

const double notANumber = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, Normalized,
    testing::Values(NormalizeCase{"Empty", {}, {}},
                    NormalizeCase{"BlankTextsDroppedOthersUntouched",
                                  {at(0, 1, " \n\t"), at(1, 2, " B \n"), at(2, 3, "")},
                                  {{1000, 2000, " B \n"}}},
                    NormalizeCase{"SortedByStartStably",
                                  {at(6, 7, "C"), at(1, 2, "A1"), at(1, 2, "A2")},
                                  // A1 and A2 keep their order; A1 is cut to 0.05 s, no shorter.
                                  {{1000, 1050, "A1"}, {1000, 2000, "A2"}, {6000, 7000, "C"}}},
                    NormalizeCase{"OverlapCutWhereNextBegins",
                                  {at(0, 4, "A"), at(2, 5, "B")},
                                  {{0, 2000, "A"}, {2000, 5000, "B"}}},
                    NormalizeCase{"StartsCloserThanMinimumStillOverlap",
                                  {at(0, 1, "A"), at(0.02, 1, "B")},
                                  {{0, 50, "A"}, {20, 1000, "B"}}},
                    NormalizeCase{"NegativeStartClampedToZero", {at(-1, 2, "A")}, {{0, 2000, "A"}}},
                    NormalizeCase{"EndNotAfterStartGetsHalfSecond",
                                  {at(3, 2, "A"), at(5, 5, "B")},
                                  {{3000, 3500, "A"}, {5000, 5500, "B"}}},
                    // The next start is compared as given, before its own clamping to zero.
                    NormalizeCase{"NextStartComparedBeforeClamping",
                                  {at(-2, 1, "A"), at(-1, 3, "B")},
                                  {{0, 50, "A"}, {0, 3000, "B"}}},
                    NormalizeCase{"StartNotANumberReadsAsZero",
                                  {at(1, 2, "B"), at(notANumber, 0.5, "A")},
                                  {{0, 500, "A"}, {1000, 2000, "B"}}}),
    caseName<NormalizeCase>);

TEST(NormalizedIds, KeepsIdentifiers) {
    const Captions input = {at(2, 3, "B"), at(0, 5, "A")};
    const Captions output = CaptionMath::normalized(input);
    ASSERT_EQ(output.size(), 2);
    EXPECT_EQ(output[0].id, input[1].id);
    EXPECT_EQ(output[1].id, input[0].id);
}

// Far out, a fraction of a second added to a start changes nothing; every end must still come
// after its start (a fuzzed ASS event at 7,777,777,777,777,770 s found this).
TEST(NormalizedIds, EndsStayAfterStartsAtTheLargestTimesThatRead) {
    const double far = 7777777777777770.0;
    for (const Captions& input : {Captions{at(far, 0, "A")}, Captions{at(far, far, "A")},
                                  Captions{at(far, far + 8, "A"), at(far, far + 8, "B")}}) {
        for (const Caption& c : CaptionMath::normalized(input))
            EXPECT_GT(c.end, c.start) << c.text.toStdString();
    }
}

// --- srt, vtt, txt ---

struct WriteCase {
    std::string name;
    Captions input;
    const char* expected;
    friend void PrintTo(const WriteCase& row, std::ostream* os) { *os << row.name; }
};

class SrtWriter : public testing::TestWithParam<WriteCase> {};

TEST_P(SrtWriter, Writes) {
    EXPECT_EQ(CaptionMath::srt(GetParam().input), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SrtWriter,
    testing::Values(
        WriteCase{"Empty", {}, ""},
        WriteCase{"OverlapCut",
                  {at(0, 4, "A"), at(2, 5, "B")},
                  "1\n00:00:00,000 --> 00:00:02,000\nA\n\n"
                  "2\n00:00:02,000 --> 00:00:05,000\nB\n\n"},
        WriteCase{"BadTimesTidied",
                  {at(-1, 2, "A"), at(5, 4, "B")},
                  "1\n00:00:00,000 --> 00:00:02,000\nA\n\n"
                  "2\n00:00:05,000 --> 00:00:05,500\nB\n\n"},
        WriteCase{"BlankCaptionLeftOutNumbersCountWrittenCues",
                  {at(0, 1, "A"), at(1, 2, "  \n "), at(2, 3, "C")},
                  "1\n00:00:00,000 --> 00:00:01,000\nA\n\n"
                  "2\n00:00:02,000 --> 00:00:03,000\nC\n\n"},
        WriteCase{"TwoLinesKeptOuterBlanksTrimmed",
                  {at(1.0005, 100 * 3600, "  first\nsecond \n")},
                  "1\n00:00:01,001 --> 100:00:00,000\nfirst\nsecond\n\n"},
        // Regression: a blank line inside a caption's text was written as is, and the empty
        // line ended the cue, so everything after it was lost when the file was read back.
        WriteCase{
            "BlankLinesInsideTextDropped",
            {at(0, 1, "one\n\ntwo"), at(1, 2, "three\n \t\nfour"), at(2, 3, "five\r\n\r\nsix")},
            "1\n00:00:00,000 --> 00:00:01,000\none\ntwo\n\n"
            "2\n00:00:01,000 --> 00:00:02,000\nthree\nfour\n\n"
            "3\n00:00:02,000 --> 00:00:03,000\nfive\nsix\n\n"}),
    caseName<WriteCase>);

TEST(VttWriter, WritesHeaderAndPointStamps) {
    EXPECT_EQ(CaptionMath::vtt({}), QStringLiteral("WEBVTT\n\n"));
    EXPECT_EQ(CaptionMath::vtt({at(1.0, 3.25, "Hello")}),
              QStringLiteral("WEBVTT\n\n1\n00:00:01.000 --> 00:00:03.250\nHello\n\n"));
    EXPECT_EQ(CaptionMath::vtt({at(4, 5, "B"), at(0, 4, "A\n\nA2")}),
              QStringLiteral("WEBVTT\n\n"
                             "1\n00:00:00.000 --> 00:00:04.000\nA\nA2\n\n"
                             "2\n00:00:04.000 --> 00:00:05.000\nB\n\n"));
}

TEST(TxtWriter, WritesParagraphOrTimedLines) {
    const Captions captions = {at(65, 66, " there\t"), at(3, 4, "   "), at(0, 1, "Hello\nworld")};
    EXPECT_EQ(CaptionMath::txt(captions, false), QStringLiteral("Hello world there\n"));
    EXPECT_EQ(CaptionMath::txt(captions, true),
              QStringLiteral("[0:00] Hello world\n[1:05] there\n"));
    EXPECT_EQ(CaptionMath::txt({at(3725.9, 3726, "Late")}, true),
              QStringLiteral("[1:02:05] Late\n"));
    EXPECT_EQ(CaptionMath::txt({}, false), QStringLiteral("\n"));
}

// --- parseSubtitles ---

struct ImportCase {
    std::string name;
    const char* file;
    std::vector<Cue> expected;
    friend void PrintTo(const ImportCase& row, std::ostream* os) { *os << row.name; }
};

class ParseSubtitles : public testing::TestWithParam<ImportCase> {};

TEST_P(ParseSubtitles, Imports) {
    EXPECT_EQ(cuesOf(CaptionMath::parseSubtitles(QString::fromUtf8(GetParam().file))),
              GetParam().expected);
}

const char* const plainSrt = "1\n"
                             "00:00:01,000 --> 00:00:02,500\n"
                             "Hello\n"
                             "world\n"
                             "\n"
                             "2\n"
                             "00:00:03,000 --> 00:00:04,000\n"
                             "Bye\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseSubtitles,
    testing::Values(
        ImportCase{"Empty", "", {}}, ImportCase{"NoTimingLines", "WEBVTT\n\njust some text\n", {}},
        ImportCase{"Srt", plainSrt, {{1000, 2500, "Hello\nworld"}, {3000, 4000, "Bye"}}},
        ImportCase{"SrtWithExtraBlankLinesAndNoFinalBreak",
                   "\n\n1\n00:00:01,000 --> 00:00:02,000\nA\n\n\n\n2\n00:00:02,000 --> "
                   "00:00:03,000\nB",
                   {{1000, 2000, "A"}, {2000, 3000, "B"}}},
        ImportCase{
            "Vtt",
            "WEBVTT - Interview\n"
            "Kind: captions\n"
            "\n"
            "NOTE written by hand\n"
            "over two lines\n"
            "\n"
            "STYLE\n"
            "::cue { color: yellow }\n"
            "\n"
            "intro\n"
            "00:01.000 --> 00:04.000 align:start position:10%\n"
            "Hello there\n"
            "\n"
            "00:00:05.000 --> 00:00:06.500\tline:0\n"
            "Second\n"
            "\n"
            "outro\n"
            "01:02:03.004 -->   01:02:04.000   size:50%\n"
            "Last\n",
            {{1000, 4000, "Hello there"}, {5000, 6500, "Second"}, {3723004, 3724000, "Last"}}},
        ImportCase{"TagsRemovedEntitiesKept",
                   "00:00:01.000 --> 00:00:02.000\n"
                   "<v.loud Esme>Hi <i>there</i>,</v>\n"
                   "<b>big</b> <c.yellow.bg_blue>world</c> <00:00:01.500>now &amp; then\n",
                   {{1000, 2000, "Hi there,\nbig world now &amp; then"}}},
        ImportCase{"MalformedBlocksSkippedOthersImport",
                   "1\n00:00:01,000 --> 00:00:02,000\nGood one\n\n"
                   "2\n00:00:03,000 -->\nMissing end\n\n"
                   "3\n00:00:04,000 --> 00:00:05,000 --> 00:00:06,000\nThree arrows\n\n"
                   "4\n00:00:07,000 --> soon\nBad end\n\n"
                   "5\n00:00:61,000 --> 00:00:62,000\nBad start\n\n"
                   "6\n00:00:08,000 --> 00:00:09,000\nGood two\n",
                   {{1000, 2000, "Good one"}, {8000, 9000, "Good two"}}},
        ImportCase{"OutOfOrderSortedAndOverlapsCut",
                   "2\n00:00:05,000 --> 00:00:06,000\nB\n\n"
                   "1\n00:00:01,000 --> 00:00:07,000\nA\n\n",
                   {{1000, 5000, "A"}, {5000, 6000, "B"}}},
        ImportCase{"BlankCuesDropped",
                   "1\n00:00:01,000 --> 00:00:02,000\n<i> </i>\n\n"
                   "2\n00:00:02,000 --> 00:00:03,000\n\n"
                   "3\n00:00:03,000 --> 00:00:04,000\nKept\n",
                   {{3000, 4000, "Kept"}}},
        ImportCase{"SecondsOnlyStampsAndLinesBeforeTimingIgnored",
                   "stray\n7\n1.5 --> 2\nText\n",
                   {{1500, 2000, "Text"}}}),
    caseName<ImportCase>);

TEST(ParseSubtitlesMarks, ByteOrderMarkAndCarriageReturnsReadLikePlainText) {
    const QString plain = QString::fromUtf8(plainSrt);
    QString crlf = plain;
    crlf.replace(u'\n', QStringLiteral("\r\n"));
    QString oldMac = plain;
    oldMac.replace(u'\n', u'\r');
    const std::vector<Cue> expected = cuesOf(CaptionMath::parseSubtitles(plain));
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_EQ(cuesOf(CaptionMath::parseSubtitles(QChar(0xFEFF) + crlf)), expected);
    EXPECT_EQ(cuesOf(CaptionMath::parseSubtitles(oldMac)), expected);
    // Marks anywhere are removed, as files glued together carry one per part.
    EXPECT_EQ(cuesOf(CaptionMath::parseSubtitles(QChar(0xFEFF) + plain + u'\n' + QChar(0xFEFF))),
              expected);
}

TEST(ParseSubtitlesIds, EveryCueGetsAFreshIdentifier) {
    const Captions captions = CaptionMath::parseSubtitles(QString::fromUtf8(plainSrt));
    ASSERT_EQ(captions.size(), 2);
    EXPECT_FALSE(captions[0].id.isNull());
    EXPECT_FALSE(captions[1].id.isNull());
    EXPECT_NE(captions[0].id, captions[1].id);
}

// --- Round trips ---

const Captions roundTripCaptions = {
    Caption::make(0, 1.5, "First"),
    Caption::make(1.5, 4.321, "Two\nlines"),
    Caption::make(62.345, 65.001, "Commas, points. And --> arrows"),
    Caption::make(3599.999, 3601.25, "Über café “quotes” 😀"),
    Caption::make(360000.123, 360001, "Past a hundred hours"),
};

TEST(RoundTrip, WriteThenParseGivesTheSameCaptions) {
    const std::vector<Cue> expected = cuesOf(roundTripCaptions);
    for (const auto& [name, text] : {std::pair{"srt", CaptionMath::srt(roundTripCaptions)},
                                     std::pair{"vtt", CaptionMath::vtt(roundTripCaptions)}}) {
        SCOPED_TRACE(name);
        const Captions back = CaptionMath::parseSubtitles(text);
        EXPECT_EQ(cuesOf(back), expected);
        QSet<QUuid> oldIds;
        for (const Caption& c : roundTripCaptions)
            oldIds.insert(c.id);
        for (const Caption& c : back)
            EXPECT_FALSE(oldIds.contains(c.id));
    }
}

TEST(RoundTrip, ParseWriteParseGivesTheSameCaptions) {
    const QString file = QStringLiteral("WEBVTT\n\n"
                                        "b\n00:05.000 --> 00:09.000 align:end\n<i>Late</i> one\n\n"
                                        "a\n00:01.000 --> 00:06.000\nEarly\n<b>two</b> lines\n\n"
                                        "00:02.000 --> 00:01.000\nBackwards\n");
    const Captions first = CaptionMath::parseSubtitles(file);
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(cuesOf(CaptionMath::parseSubtitles(CaptionMath::srt(first))), cuesOf(first));
    EXPECT_EQ(cuesOf(CaptionMath::parseSubtitles(CaptionMath::vtt(first))), cuesOf(first));
}

// Regression: a blank line inside a caption's text ended the written cue early, so the rest of
// the text (and its place in the file) was lost on re-import.
TEST(RoundTrip, BlankLineInsideTextSurvives) {
    const Captions captions = {at(0, 1, "one\n\ntwo"), at(2, 3, "three")};
    const std::vector<Cue> expected = {{0, 1000, "one\ntwo"}, {2000, 3000, "three"}};
    EXPECT_EQ(cuesOf(CaptionMath::parseSubtitles(CaptionMath::srt(captions))), expected);
    EXPECT_EQ(cuesOf(CaptionMath::parseSubtitles(CaptionMath::vtt(captions))), expected);
}

} // namespace
