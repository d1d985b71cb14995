#include "BCText.h"
#include "CaptionMath.h"
#include "CorePrinters.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// The string literals below hold NUL bytes, so their size comes from the array, not strlen.
template <std::size_t N> QByteArray bytes(const char (&data)[N]) {
    return QByteArray(data, N - 1);
}

struct DecodeCase {
    std::string name;
    QByteArray input;
    QString expected;
    friend void PrintTo(const DecodeCase& row, std::ostream* os) { *os << row.name; }
};

class Decode : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, ReadsTheFileEncoding) {
    EXPECT_EQ(BCText::decode(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Decode,
    testing::Values(
        DecodeCase{"Empty", QByteArray(), QString()},
        DecodeCase{"Ascii", bytes("00:00:01,000 --> 1\n"), QStringLiteral("00:00:01,000 --> 1\n")},
        DecodeCase{"Utf8", bytes("caf\xC3\xA9 \xE2\x80\x9Chi\xE2\x80\x9D \xF0\x9F\x98\x80"),
                   QStringLiteral(u"café “hi” 😀")},
        DecodeCase{"Utf8MarkDropped", bytes("\xEF\xBB\xBFna\xC3\xAFve"), QStringLiteral(u"naïve")},
        DecodeCase{"Utf16LittleEndian", bytes("\xFF\xFEh\0\xE9\0\x3D\xD8\x00\xDE"),
                   QStringLiteral(u"hé😀")},
        DecodeCase{"Utf16BigEndian", bytes("\xFE\xFF\0h\0\xE9\xD8\x3D\xDE\x00"),
                   QStringLiteral(u"hé😀")},
        DecodeCase{"Utf32LittleEndian", bytes("\xFF\xFE\0\0h\0\0\0\xE9\0\0\0\x00\xF6\x01\x00"),
                   QStringLiteral(u"hé😀")},
        DecodeCase{"Utf32BigEndian", bytes("\0\0\xFE\xFF\0\0\0h\0\0\0\xE9\x00\x01\xF6\x00"),
                   QStringLiteral(u"hé😀")},
        // Not UTF-8, so Windows-1252: its quotes, dashes and euro sign, Latin-1 above 0x9F.
        DecodeCase{"Windows1252", bytes("\x93Hi\x94 \x96 5\x80 caf\xE9 \x85"),
                   QStringLiteral(u"“Hi” – 5€ café …")},
        DecodeCase{"Latin1Letters", bytes("d\xE9j\xE0 vu"), QStringLiteral(u"déjà vu")},
        DecodeCase{"TruncatedUtf8AtEnd", bytes("caf\xC3"), QStringLiteral(u"cafÃ")},
        DecodeCase{"OverlongUtf8", bytes("\xC0\xAF"), QStringLiteral(u"À¯")}),
    [](const testing::TestParamInfo<DecodeCase>& row) { return row.param.name; });

// An SRT file saved as UTF-16 by a Windows editor imports like the same file in UTF-8.
TEST(DecodeImport, Utf16FileImportsLikeUtf8) {
    const QString text = QStringLiteral(u"1\r\n00:00:01,000 --> 00:00:02,000\r\nÜber “café”\r\n");
    QByteArray utf16 = bytes("\xFF\xFE");
    for (const QChar c : text) {
        utf16.append(char(c.unicode() & 0xFF));
        utf16.append(char(c.unicode() >> 8));
    }
    const Captions fromUtf16 = CaptionMath::parseSubtitles(BCText::decode(utf16));
    const Captions fromUtf8 = CaptionMath::parseSubtitles(BCText::decode(text.toUtf8()));
    ASSERT_EQ(fromUtf16.size(), 1);
    ASSERT_EQ(fromUtf8.size(), 1);
    EXPECT_EQ(fromUtf16[0].text, QStringLiteral(u"Über “café”"));
    EXPECT_EQ(fromUtf16[0].text, fromUtf8[0].text);
    EXPECT_EQ(fromUtf16[0].start, fromUtf8[0].start);
    EXPECT_EQ(fromUtf16[0].end, fromUtf8[0].end);
}

TEST(Length, CountsUserPerceivedCharacters) {
    const std::vector<std::pair<QString, qsizetype>> cases = {
        {QString(), 0},
        {QStringLiteral("abc"), 3},
        {QStringLiteral(u"é"), 1},                  // precomposed
        {QStringLiteral(u"e\u0301"), 1},            // e and a combining acute accent
        {QStringLiteral(u"😀"), 1},                  // one character, two UTF-16 units
        {QStringLiteral(u"🇩🇪"), 1},                 // a flag: two regional indicators
        {QStringLiteral(u"🇩🇪🇫🇷"), 2},               // two flags side by side
        {QStringLiteral(u"👍🏽"), 1},           // emoji with a skin tone
        {QStringLiteral(u"\u1100\u1161\u11A8"), 1}, // Hangul syllable from its jamo
        {QStringLiteral("\r\n"), 1},
        {QStringLiteral("a b\nc"), 5},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(escapedForTest(text));
        EXPECT_EQ(BCText::length(text), expected);
    }
}

} // namespace
