// Lyric alignment: kept lines and words, similarity, the match table and its rules, gap
// filling, captions, and the refusal of a table too large to build.
#include "LyricAlign.h"
#include "BCError.h"

#include <QStringList>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <stop_token>

using LyricAlign::Word;
using LyricAlign::Words;

namespace {

QStringList texts(const Words& words) {
    QStringList out;
    for (const Word& w : words)
        out.append(w.text);
    return out;
}

Word matched(const QString& text, int line, double start, double end) {
    return {text, line, start, end, true};
}
Word loose(const QString& text, int line) {
    return {text, line, 0, 0, false};
}

TEST(LyricWords, LabelsAndEmptyLinesAreLeftOut) {
    const LyricAlign::Lyrics lyrics = LyricAlign::lyricWords(QStringLiteral(
        "[Chorus]\r\n  Hello, world  \n\n(x2)\n\t(abcdefghij klmnopqrst)\n"
        "(abcdefghij klmnopqrstu)\n!!! …\n[Verse 2: a long label, still a label]\nLast line"));
    EXPECT_EQ(lyrics.lines, (QStringList{QStringLiteral("Hello, world"),
                                         QStringLiteral("(abcdefghij klmnopqrstu)"),
                                         QStringLiteral("Last line")}));
    EXPECT_EQ(texts(lyrics.words),
              (QStringList{QStringLiteral("Hello,"), QStringLiteral("world"),
                           QStringLiteral("(abcdefghij"), QStringLiteral("klmnopqrstu)"),
                           QStringLiteral("Last"), QStringLiteral("line")}));
    QList<int> lines;
    for (const Word& w : lyrics.words)
        lines.append(w.line);
    EXPECT_EQ(lines, (QList<int>{0, 0, 1, 1, 2, 2}));
    EXPECT_TRUE(LyricAlign::lyricWords(QStringLiteral("\n[Intro]\n(Ooh)\n")).words.isEmpty());
}

TEST(LyricKeys, FoldCaseDiacriticsAndPunctuation) {
    EXPECT_EQ(LyricAlign::key(QStringLiteral("Été,")), QStringLiteral("ete"));
    EXPECT_EQ(LyricAlign::key(QStringLiteral("Don't,")), LyricAlign::key(QStringLiteral("dont")));
    EXPECT_EQ(LyricAlign::key(QStringLiteral("…!?")), QString());
    EXPECT_EQ(LyricAlign::key(QStringLiteral("R2-D2")), QStringLiteral("r2d2"));
}

TEST(LyricSimilarity, IsOneMinusEditDistanceOverTheLongerLength) {
    struct Row {
        const char* a;
        const char* b;
        double similarity;
    };
    const Row rows[] = {
        {"kitten", "sitting", 1.0 - 3.0 / 7.0},
        {"love", "love", 1.0},
        {"", "love", 0.0},
        {"love", "", 0.0},
        {"", "", 1.0},
        {"ab", "ax", 0.5},
        {"abc", "xyz", 0.0},
        {"été", "ete", 1.0 - 2.0 / 3.0}, // characters, not bytes
    };
    for (const Row& row : rows)
        EXPECT_DOUBLE_EQ(LyricAlign::similarity(QString::fromUtf8(row.a), QString::fromUtf8(row.b)),
                         row.similarity)
            << row.a << " / " << row.b;
}

TEST(LyricMatch, PairsInOrderWithItsThresholdAndTieRules) {
    using Pairs = QList<std::optional<qsizetype>>;
    const auto keys = [](const char* text) {
        return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts);
    };
    struct Row {
        const char* what;
        const char* lyric;
        const char* heard;
        Pairs pairs;
    };
    const Row rows[] = {
        {"exactly 0.5 is a match", "ab", "ax", {0}},
        {"0.4 is not", "abcde", "abxyz", {std::nullopt}},
        {"extra heard words are skipped", "we will rock", "oh we will yeah rock", {1, 2, 4}},
        {"a lyric word not heard stays open",
         "we will rock you",
         "we rock you",
         {0, std::nullopt, 1, 2}},
        {"close spellings pair, distant ones not",
         "colour of love",
         "color of lug",
         {0, 1, std::nullopt}},
        // The second "la" ties between pairing (diagonal) and skipping (up): the pair wins.
        {"a tie prefers the diagonal", "la la", "la", {std::nullopt, 0}},
        {"no lyric words", "", "la", {}},
        {"no heard words", "la la", "", {std::nullopt, std::nullopt}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(LyricAlign::match(keys(row.lyric), keys(row.heard), 0.5), row.pairs) << row.what;
}

TEST(LyricMatch, RefusesATableTooLargeAndStopsWhenAsked) {
    // 9 000 × 9 000 cells is past the limit: a sentence, not a frozen machine.
    const QStringList many(9000, QStringLiteral("la"));
    try {
        LyricAlign::match(many, many, 0.5);
        FAIL() << "no refusal";
    } catch (const BCError& error) {
        EXPECT_EQ(error.message(),
                  QStringLiteral("The lyrics and the recording are too long to line up in one "
                                 "go. Try a shorter song or fewer lyric lines."));
    }
    std::stop_source stop;
    stop.request_stop();
    const QStringList few(50, QStringLiteral("la"));
    EXPECT_THROW(LyricAlign::match(few, few, 0.5, stop.get_token()), BCCancelled);
}

TEST(LyricGaps, EndOfSongGetsHalfASecondPerWordInProportionToLength) {
    Words words{matched(QStringLiteral("end"), 0, 99.5, 100.0), loose(QStringLiteral("a"), 0),
                loose(QStringLiteral("abcd"), 0), loose(QStringLiteral("abcdef!"), 0)};
    LyricAlign::fillGaps(words, 200);
    // 1.35 s shared 2 : 4 : 6 (a one-letter word weighs as two), from 100 s.
    EXPECT_DOUBLE_EQ(words[1].start, 100.0);
    EXPECT_DOUBLE_EQ(words[1].end, 100.225);
    EXPECT_DOUBLE_EQ(words[2].end, 100.675);
    EXPECT_DOUBLE_EQ(words[3].end, 101.35);
    EXPECT_FALSE(words[3].matched);
}

// A run laid back from a matched word heard at the very start of the song starts at 0, not
// before it.
TEST(LyricGaps, RunsBeforeAWordHeardAtZeroStartAtZero) {
    Words words{loose(QStringLiteral("Hel"), 0), loose(QStringLiteral("(abcdefghij"), 1),
                matched(QStringLiteral("klmnopqrstu)"), 1, 0, 0)};
    LyricAlign::fillGaps(words, 76);
    for (const Word& w : words) {
        EXPECT_GE(w.start, 0) << w.text.toStdString();
        EXPECT_GE(w.end, w.start) << w.text.toStdString();
    }
}

TEST(LyricGaps, RunsEndAtTheNextWordOrTakeTheirShareOfTheGap) {
    // Before the first matched word on the same line: the run ends where it starts.
    Words opening{loose(QStringLiteral("one"), 0), loose(QStringLiteral("two"), 0),
                  matched(QStringLiteral("three"), 0, 5.0, 5.5)};
    LyricAlign::fillGaps(opening, 10);
    EXPECT_DOUBLE_EQ(opening[0].start, 4.1);
    EXPECT_DOUBLE_EQ(opening[0].end, 4.55);
    EXPECT_DOUBLE_EQ(opening[1].end, 5.0);

    // A run followed by another line's words gets its share of the gap, from the previous end;
    // the next line's run ends at the next matched word (previous word on another line).
    Words middle{matched(QStringLiteral("a"), 0, 9, 10), loose(QStringLiteral("x"), 0),
                 loose(QStringLiteral("y"), 1), matched(QStringLiteral("z"), 1, 14, 15)};
    LyricAlign::fillGaps(middle, 20);
    EXPECT_DOUBLE_EQ(middle[1].start, 10.0);
    EXPECT_DOUBLE_EQ(middle[1].end, 10.7);
    EXPECT_DOUBLE_EQ(middle[2].start, 13.3);
    EXPECT_DOUBLE_EQ(middle[2].end, 14.0);

    // Nothing heard: spread from 0 at 0.45 s a word, within the file.
    Words nothing{loose(QStringLiteral("la"), 0), loose(QStringLiteral("la"), 0)};
    LyricAlign::fillGaps(nothing, 0.5);
    EXPECT_DOUBLE_EQ(nothing[0].start, 0.0);
    EXPECT_DOUBLE_EQ(nothing[1].end, 0.5);
}

TEST(LyricCaptions, LongLinesAreHalvedAndEveryCaptionLastsAMoment) {
    CaptionMath::Rules rules;
    rules.maxCharsPerLine = 10;
    rules.maxLines = 1;
    Words words;
    const QStringList five = {QStringLiteral("aaaa"), QStringLiteral("bbbb"),
                              QStringLiteral("cccc"), QStringLiteral("dddd"),
                              QStringLiteral("eeee")};
    for (qsizetype i = 0; i < five.size(); ++i)
        words.append(matched(five[i], 0, double(i), double(i) + 0.5));
    words.append(matched(QStringLiteral("next"), 1, 5.0, 5.05));
    const Captions made = LyricAlign::captions(
        words, {QStringLiteral("five words"), QStringLiteral("next")}, 5.2, rules);
    ASSERT_EQ(made.size(), 4);
    // 5 words: 2 + 3, and the 3 again 1 + 2.
    EXPECT_EQ(made[0].text, QStringLiteral("aaaa bbbb"));
    EXPECT_EQ(made[1].text, QStringLiteral("cccc"));
    EXPECT_EQ(made[2].text, QStringLiteral("dddd eeee"));
    EXPECT_EQ(made[3].text, QStringLiteral("next"));
    EXPECT_DOUBLE_EQ(made[0].start, 0.0);
    EXPECT_DOUBLE_EQ(made[0].end, 1.85); // last word's end + 0.35
    EXPECT_DOUBLE_EQ(made[1].end, 2.85); // 2.5 + 0.35, before the next caption at 3
    EXPECT_DOUBLE_EQ(made[2].end, 4.85); // 4.5 + 0.35, before the next caption at 5
    EXPECT_DOUBLE_EQ(made[3].end, 5.3);  // cut to the file's 5.2 s, then held 0.3 s
}

TEST(LyricAlignment, TimesMatchedWordsFromTheirEndsAndUndoesOutOfOrderOnes) {
    const TimedWords heard = {{QStringLiteral("Alpha"), 1.0, 2.0},
                              {QStringLiteral("beta"), 2.0, 0.5}};
    const LyricAlign::Result result =
        LyricAlign::align(QStringLiteral("alpha, beta"), heard, 10, CaptionMath::Rules{});
    ASSERT_EQ(result.words.size(), 2);
    // Heard for 2 s, but five letters take 0.55 s: it starts late rather than early.
    EXPECT_TRUE(result.words[0].matched);
    EXPECT_DOUBLE_EQ(result.words[0].start, 2.45);
    EXPECT_DOUBLE_EQ(result.words[0].end, 3.0);
    // "beta" would start before "alpha" ends: unmatched again and placed after it.
    EXPECT_FALSE(result.words[1].matched);
    EXPECT_DOUBLE_EQ(result.words[1].start, 3.0);
    EXPECT_DOUBLE_EQ(result.words[1].end, 3.45);
    EXPECT_EQ(result.matched, 1);
    EXPECT_EQ(result.total, 2);
    ASSERT_EQ(result.captions.size(), 1);
    EXPECT_EQ(result.captions[0].text, QStringLiteral("alpha, beta"));

    const LyricAlign::Result none =
        LyricAlign::align(QStringLiteral("[Chorus]"), heard, 10, CaptionMath::Rules{});
    EXPECT_TRUE(none.words.isEmpty());
    EXPECT_TRUE(none.captions.isEmpty());
    EXPECT_EQ(none.total, 0);
}

// Heard words without a usable time, and a song length that is not a number, never time a
// lyric at NaN or infinity: such words are not matched and the song length counts as unknown.
TEST(LyricAlignment, UnusableTimesNeverReachTheCaptions) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Row {
        const char* name;
        double start;
        double duration;
        double songLength;
    };
    const Row rows[] = {{"start NaN", nan, 0.5, 10},        {"start +inf", inf, 0.5, 10},
                        {"length +inf", 1, inf, 10},        {"end overflows", 1e308, 1e308, 10},
                        {"start before zero", -5, 0.3, 10}, {"song length NaN", 1, 0.5, nan},
                        {"song length +inf", 1, 0.5, inf}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TimedWords heard = {{QStringLiteral("hello"), 0, 0.4},
                                  {QStringLiteral("there"), 0.5, 0.4},
                                  {QStringLiteral("general"), row.start, row.duration},
                                  {QStringLiteral("kenobi"), 2.4, 0.5}};
        const LyricAlign::Result result = LyricAlign::align(
            QStringLiteral("Hello there\nGeneral Kenobi"), heard, row.songLength, {});
        ASSERT_EQ(result.captions.size(), 2);
        for (const Word& w : result.words) {
            EXPECT_TRUE(std::isfinite(w.start) && std::isfinite(w.end)) << w.start << " " << w.end;
            EXPECT_GE(w.start, 0);
        }
        for (const Caption& c : result.captions) {
            EXPECT_TRUE(std::isfinite(c.start) && std::isfinite(c.end)) << c.start << " " << c.end;
            EXPECT_GE(c.end, c.start);
        }
    }
}

TEST(LyricAlignment, ThirtyOfFortyWordsHeard) {
    QStringList lines;
    TimedWords heard;
    double t = 1;
    for (int line = 0; line < 10; ++line) {
        QStringList words;
        for (int k = 0; k < 4; ++k) {
            const QString word = QStringLiteral("w%1x%2").arg(line).arg(k);
            words.append(word);
            if (k != 3)
                heard.append({word, t, 0.4});
            t += 0.5;
        }
        lines.append(words.join(u' '));
    }
    const LyricAlign::Result result =
        LyricAlign::align(lines.join(u'\n'), heard, t + 1, CaptionMath::Rules{});
    EXPECT_EQ(result.matched, 30);
    EXPECT_EQ(result.total, 40);
    EXPECT_EQ(result.captions.size(), 10);
}

} // namespace
