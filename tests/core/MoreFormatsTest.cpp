// ASS/SSA, TTML and SBV: reading worked examples, writing with the caption look, round trips.
#include "BCText.h"
#include "CaptionMath.h"
#include "CaptionStyle.h"
#include "CorePrinters.h"
#include "Cues.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct ReadCase {
    std::string name;
    const char* text;
    std::vector<Cue> expected;
    friend void PrintTo(const ReadCase& row, std::ostream* os) { *os << row.name; }
};

std::string caseName(const testing::TestParamInfo<ReadCase>& row) {
    return row.param.name;
}

const char* const assHead = "[Script Info]\nScriptType: v4.00+\n\n[Events]\n";

class AssReading : public testing::TestWithParam<ReadCase> {};

TEST_P(AssReading, ReadsTheEvents) {
    const QString text = QString::fromUtf8(GetParam().text);
    EXPECT_EQ(cuesOf(CaptionMath::parseAss(text)), GetParam().expected);
    // Told apart from the other formats by its content.
    EXPECT_EQ(cuesOf(CaptionMath::parseAnyCaptions(text)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AssReading,
    testing::Values(
        ReadCase{"WorkedExample",
                 "[Script Info]\nTitle: x\nScriptType: v4.00+\n\n[V4+ Styles]\nFormat: Name, "
                 "Fontname\nStyle: Default,Arial\n\n[Events]\nFormat: Layer, Start, End, Style, "
                 "Name, MarginL, MarginR, MarginV, Effect, Text\n"
                 "Dialogue: 0,0:00:01.00,0:00:04.50,Default,,0,0,0,,Hello, world\\Nsecond line\n"
                 "Comment: 0,0:00:02.00,0:00:03.00,Default,,0,0,0,,not shown\n"
                 "Dialogue: 0,1:02:03.45,1:02:05.00,Default,,0,0,0,,Later",
                 {{1000, 4500, "Hello, world\nsecond line"}, {3723450, 3725000, "Later"}}},
        ReadCase{"TextFieldNotLastSkipped",
                 "[Script Info]\n[Events]\nFormat: Text, End, Start, Style\n"
                 "Dialogue: 0:00:02.00,0:00:03.00,Default,Text, with a comma",
                 {}},
        ReadCase{"NoEndFieldSkipped",
                 "[Events]\nFormat: Start, Style, Text\nDialogue: 0:00:02.00,Default,x",
                 {}},
        ReadCase{"ReorderedFields",
                 "[Script Info]\n[Events]\nFormat: Style, End, Start, Text\n"
                 "Dialogue: Default,0:00:03.00,0:00:02.00,One, two",
                 {{2000, 3000, "One, two"}}},
        ReadCase{"OverrideTagsAndEscapes",
                 "[Script Info]\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, "
                 "MarginR, MarginV, Effect, Text\n"
                 "Dialogue: 0,0:00:01.00,0:00:02.00,D,,0,0,0,,{\\an8\\b1}Bold{\\b0} "
                 "word\\hthere\\nsoft \\{not a tag\\}",
                 {{1000, 2000, "Bold word there soft {not a tag}"}}},
        ReadCase{"SoftBreakBreaksWithWrapStyle2",
                 "[Script Info]\nWrapStyle: 2\n[Events]\nFormat: Start, End, Text\n"
                 "Dialogue: 0:00:01.00,0:00:02.00,one\\ntwo",
                 {{1000, 2000, "one\ntwo"}}},
        ReadCase{"DrawingsDropped",
                 "[Script Info]\n[Events]\nFormat: Start, End, Text\n"
                 "Dialogue: 0:00:01.00,0:00:02.00,{\\p1}m 0 0 l 100 0 100 100{\\p0}Sign text\n"
                 "Dialogue: 0:00:03.00,0:00:04.00,{\\pos(1,2)\\p2}m 0 0 l 5 5",
                 {{1000, 2000, "Sign text"}}},
        ReadCase{"OverlapsCutLikeOtherImports",
                 "[Script Info]\n[Events]\nFormat: Start, End, Text\n"
                 "Dialogue: 0:00:01.00,0:00:05.00,first\n"
                 "Dialogue: 0:00:03.00,0:00:04.00,second",
                 {{1000, 3000, "first"}, {3000, 4000, "second"}}},
        ReadCase{"SsaWithMarkedAndCrLf",
                 "\xEF\xBB\xBF[Script Info]\r\nScriptType: v4.00\r\n[Events]\r\nFormat: Marked, "
                 "Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n"
                 "Dialogue: Marked=0,0:00:01.50,0:00:02.25,Default,,0000,0000,0000,,Old style\r\n",
                 {{1500, 2250, "Old style"}}},
        ReadCase{"MalformedLinesSkipped",
                 "[Script Info]\n[Events]\nFormat: Start, End, Text\n"
                 "Dialogue: nonsense\nDialogue: 0:00:xx,0:00:02.00,bad time\n"
                 "Dialogue: 0:00:01.00,0:00:02.00,{\\b1}\n"
                 "Dialogue: 0:00:05.00,0:00:06.00,kept",
                 {{5000, 6000, "kept"}}}),
    caseName);

class TtmlReading : public testing::TestWithParam<ReadCase> {};

TEST_P(TtmlReading, ReadsTheParagraphs) {
    const QString text = QString::fromUtf8(GetParam().text);
    EXPECT_EQ(cuesOf(CaptionMath::parseTtml(text)), GetParam().expected);
    EXPECT_EQ(cuesOf(CaptionMath::parseAnyCaptions(text)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TtmlReading,
    testing::Values(
        ReadCase{"ClockTimesSpansAndBreaks",
                 "<?xml version=\"1.0\"?>\n<tt xmlns=\"http://www.w3.org/ns/ttml\" "
                 "xml:lang=\"en\"><body><div>\n"
                 "<p begin=\"00:00:01.000\" end=\"00:00:02.500\">Hello\n   <span "
                 "tts:color=\"red\" xmlns:tts=\"http://www.w3.org/ns/ttml#styling\">big</span>"
                 "<br/>world &amp; more</p>\n"
                 "<p begin=\"00:01:00.25\" dur=\"00:00:01\">Next</p></div></body></tt>",
                 {{1000, 2500, "Hello big\nworld & more"}, {60250, 61250, "Next"}}},
        ReadCase{"OffsetTimes",
                 "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div>"
                 "<p begin=\"12.5s\" end=\"14s\">a</p><p begin=\"400ms\" dur=\"100ms\">b</p>"
                 "<p begin=\"1m\" end=\"0.02h\">c</p></div></body></tt>",
                 {{400, 500, "b"}, {12500, 14000, "a"}, {60000, 72000, "c"}}},
        ReadCase{"FramesAtTheDocumentRate",
                 "<tt xmlns=\"http://www.w3.org/ns/ttml\" "
                 "xmlns:ttp=\"http://www.w3.org/ns/ttml#parameter\" ttp:frameRate=\"25\">"
                 "<body><div><p begin=\"25f\" end=\"00:00:02:12\">frames</p></div></body></tt>",
                 {{1000, 2480, "frames"}}},
        ReadCase{"DropFrameMultiplierAndTicks",
                 "<tt xmlns=\"http://www.w3.org/ns/ttml\" "
                 "xmlns:ttp=\"http://www.w3.org/ns/ttml#parameter\" ttp:frameRate=\"30\" "
                 "ttp:frameRateMultiplier=\"1000 1001\" ttp:tickRate=\"10000000\">"
                 "<body><div><p begin=\"30f\" end=\"20000000t\">x</p></div></body></tt>",
                 {{1001, 2000, "x"}}},
        ReadCase{"TimesInsideTimedParents",
                 "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body begin=\"10s\"><div "
                 "begin=\"1s\"><p begin=\"1s\" end=\"2s\">nested</p></div></body></tt>",
                 {{12000, 13000, "nested"}}},
        ReadCase{"UntimedAndBrokenSkipped",
                 "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div><p>no time</p>"
                 "<p begin=\"soon\" end=\"2s\">bad</p><p begin=\"1s\" end=\"2s\">kept</p>"
                 "<p begin=\"3s\" end=\"4s\">cut off",
                 {{1000, 2000, "kept"}}},
        // An internal entity is expanded by the parser; an external one is never fetched.
        ReadCase{"EntitiesAreNotLoaded",
                 "<?xml version=\"1.0\"?>\n<!DOCTYPE tt [\n<!ENTITY inner \"safe\">\n"
                 "<!ENTITY outer SYSTEM \"file:///etc/passwd\">\n]>\n"
                 "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div>"
                 "<p begin=\"1s\" end=\"2s\">&inner; &outer;</p></div></body></tt>",
                 {{1000, 2000, "safe"}}}),
    caseName);

class SbvReading : public testing::TestWithParam<ReadCase> {};

TEST_P(SbvReading, ReadsTheBlocks) {
    const QString text = QString::fromUtf8(GetParam().text);
    EXPECT_EQ(cuesOf(CaptionMath::parseSbv(text)), GetParam().expected);
    EXPECT_EQ(cuesOf(CaptionMath::parseAnyCaptions(text)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SbvReading,
    testing::Values(ReadCase{"WorkedExample",
                             "0:00:01.000,0:00:04.000\nHello there\nsecond line\n\n"
                             "0:00:05.500,0:00:06.000\nBye\n",
                             {{1000, 4000, "Hello there\nsecond line"}, {5500, 6000, "Bye"}}},
                    ReadCase{"CrLfBomAndBadBlocks",
                             "\xEF\xBB\xBF"
                             "0:00:01.000,0:00:02.000\r\nOne\r\n\r\nnot a time\r\ntext\r\n\r\n"
                             "1:00:00.000,1:00:01.250\r\nTwo\r\n",
                             {{1000, 2000, "One"}, {3600000, 3601250, "Two"}}}),
    caseName);

// The same file in a legacy encoding reads the same once decoded.
TEST(MoreFormats, LegacyEncodingsDecodeBeforeReading) {
    const QByteArray latin = "[Script Info]\n[Events]\nFormat: Start, End, Text\n"
                             "Dialogue: 0:00:01.00,0:00:02.00,Caf\xE9 \x93quoted\x94";
    EXPECT_EQ(cuesOf(CaptionMath::parseAnyCaptions(BCText::decode(latin))),
              (std::vector<Cue>{{1000, 2000, QStringLiteral("Café “quoted”")}}));
    QByteArray utf16 = QByteArray("\xFF\xFE", 2);
    const QString sbv = QStringLiteral("0:00:01.000,0:00:02.000\nÉté\n");
    utf16.append(reinterpret_cast<const char*>(sbv.utf16()), sbv.size() * 2);
    EXPECT_EQ(cuesOf(CaptionMath::parseAnyCaptions(BCText::decode(utf16))),
              (std::vector<Cue>{{1000, 2000, QStringLiteral("Été")}}));
}

const Captions sample = {
    Caption::make(0.5, 2.25, QStringLiteral("First line\nsecond line")),
    Caption::make(2.25, 4.0, QStringLiteral("A & B <tag> {brace} 5 > 3")),
    Caption::make(61.37, 3725.0, QStringLiteral("Über — “quoted”")),
};

TEST(MoreFormats, RoundTripsThroughEveryFormat) {
    const CaptionStyle style;
    const std::vector<Cue> expected = cuesOf(sample);
    EXPECT_EQ(cuesOf(CaptionMath::parseAss(CaptionMath::ass(sample, style, QSize(1280, 720)))),
              expected);
    EXPECT_EQ(cuesOf(CaptionMath::parseTtml(CaptionMath::ttml(sample, style, "en-US"))), expected);
    EXPECT_EQ(cuesOf(CaptionMath::parseSbv(CaptionMath::sbv(sample))), expected);
    for (const QString& text : {CaptionMath::ass(sample, style, {}),
                                CaptionMath::ttml(sample, style, {}), CaptionMath::sbv(sample)})
        EXPECT_EQ(cuesOf(CaptionMath::parseAnyCaptions(text)), expected) << text.toStdString();
}

TEST(MoreFormats, SbvWorkedExample) {
    EXPECT_EQ(CaptionMath::sbv({Caption::make(1, 4, QStringLiteral(" One \n\ntwo ")),
                                Caption::make(3725.5, 3726, QStringLiteral("Later"))}),
              QStringLiteral("0:00:01.000,0:00:04.000\nOne\ntwo\n\n"
                             "1:02:05.500,1:02:06.000\nLater\n"));
}

// The field named `name` of the Style line, read through the Format line above it.
QString styleField(const QString& ass, const QString& name) {
    const QStringList lines = ass.split(u'\n');
    QStringList format;
    for (const QString& line : lines) {
        if (line.startsWith(QStringLiteral("Format: Name")))
            format = line.mid(8).split(QStringLiteral(", "));
        if (line.startsWith(QStringLiteral("Style: ")))
            return line.mid(7).split(u',').value(format.indexOf(name));
    }
    return {};
}

TEST(MoreFormats, AssCarriesTheLook) {
    CaptionStyle style;
    style.textHex = QStringLiteral("FFCC00");
    style.boxHex = QStringLiteral("102030");
    style.boxOpacity = 0.5;
    style.uppercase = true;
    style.position = CaptionStyle::Position::top;
    style.marginPercent = 10;
    const QString ass =
        CaptionMath::ass({Caption::make(1, 2, QStringLiteral("hi {there}\nyou"))}, style, {});
    EXPECT_TRUE(ass.contains(QStringLiteral("PlayResX: 1920\nPlayResY: 1080\n")));
    EXPECT_EQ(styleField(ass, QStringLiteral("PrimaryColour")), QStringLiteral("&H0000CCFF"));
    EXPECT_EQ(styleField(ass, QStringLiteral("OutlineColour")), QStringLiteral("&H80302010"));
    EXPECT_EQ(styleField(ass, QStringLiteral("BorderStyle")), QStringLiteral("3"));
    EXPECT_EQ(styleField(ass, QStringLiteral("Alignment")), QStringLiteral("8"));
    EXPECT_EQ(styleField(ass, QStringLiteral("Bold")), QStringLiteral("-1"));
    // The box's outer edge 10 % down: the margin plus the box's padding.
    EXPECT_EQ(styleField(ass, QStringLiteral("MarginV")), QStringLiteral("123"));
    // Sized by ascent plus descent, a little above the em of 5.2 % of the height.
    const double size = styleField(ass, QStringLiteral("Fontsize")).toDouble();
    EXPECT_GT(size, 0.052 * 1080);
    EXPECT_LT(size, 0.052 * 1080 * 1.5);
    EXPECT_TRUE(ass.contains(QStringLiteral(",,HI \\{THERE\\}\\NYOU\n"))) << ass.toStdString();

    style.boxOpacity = 0;
    style.outline = true;
    style.position = CaptionStyle::Position::middle;
    const QString outlined = CaptionMath::ass({}, style, QSize(1280, 720));
    EXPECT_EQ(styleField(outlined, QStringLiteral("BorderStyle")), QStringLiteral("1"));
    EXPECT_EQ(styleField(outlined, QStringLiteral("Alignment")), QStringLiteral("5"));
    EXPECT_EQ(styleField(outlined, QStringLiteral("Outline")).toDouble(),
              std::round(0.02 * style.fontSize(720) * 100) / 100);
    EXPECT_TRUE(outlined.contains(QStringLiteral("PlayResX: 1280\nPlayResY: 720\n")));
}

TEST(MoreFormats, TtmlIsWellFormedImsc) {
    CaptionStyle style;
    style.position = CaptionStyle::Position::top;
    style.outline = true;
    const QString ttml = CaptionMath::ttml(sample, style, QStringLiteral("fr-CA"));
    QXmlStreamReader xml(ttml);
    QStringList regions;
    QString bodyRegion;
    int paragraphs = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        EXPECT_EQ(xml.namespaceUri(), QStringLiteral("http://www.w3.org/ns/ttml"));
        const auto a = xml.attributes();
        if (xml.name() == u"tt") {
            EXPECT_EQ(a.value(QStringLiteral("xml:lang")), u"fr-CA");
            EXPECT_EQ(a.value(QStringLiteral("http://www.w3.org/ns/ttml#parameter"),
                              QStringLiteral("timeBase")),
                      u"media");
        } else if (xml.name() == u"region") {
            regions << a.value(QStringLiteral("xml:id")).toString();
        } else if (xml.name() == u"body") {
            bodyRegion = a.value(QStringLiteral("region")).toString();
        } else if (xml.name() == u"style") {
            EXPECT_EQ(a.value(QStringLiteral("http://www.w3.org/ns/ttml#styling"),
                              QStringLiteral("backgroundColor")),
                      u"#000000B8");
            EXPECT_FALSE(a.value(QStringLiteral("http://www.w3.org/ns/ttml#styling"),
                                 QStringLiteral("textOutline"))
                             .isEmpty());
        } else if (xml.name() == u"p") {
            ++paragraphs;
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"))
                            .match(a.value(QStringLiteral("begin")))
                            .hasMatch());
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(regions, (QStringList{"bottom", "middle", "top"}));
    EXPECT_EQ(bodyRegion, QStringLiteral("top"));
    EXPECT_EQ(paragraphs, 3);
    EXPECT_TRUE(ttml.contains(QStringLiteral(">First line<br/>second line</p>")));
    EXPECT_TRUE(ttml.contains(QStringLiteral("A &amp; B &lt;tag&gt;")));
}

} // namespace
