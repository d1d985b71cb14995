// The delivery checks, each at, just inside and just past its limit.
#include "CaptionChecks.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

using CaptionChecks::Kind;

QList<Kind> kinds(const QList<CaptionChecks::Problem>& problems) {
    QList<Kind> list;
    for (const auto& p : problems)
        list << p.kind;
    return list;
}

} // namespace

TEST(Checks, EachLimitHoldsAtItsValueAndBreaksJustPastIt) {
    const CaptionChecks::Limits limits; // 17 cps, 42 characters, 1–7 s, 0.083 s apart
    const QString seventeen = QStringLiteral("abcdefgh ijklmnop"); // 17 characters
    struct Case {
        const char* what;
        Captions captions; // the first is checked
        QList<Kind> expected;
    };
    const Case cases[] = {
        {"17 characters in 1 s", {Caption::make(0, 1, seventeen)}, {}},
        {"18 characters in 1 s", {Caption::make(0, 1, seventeen + u'x')}, {Kind::readingSpeed}},
        {"line breaks don't count",
         {Caption::make(0, 1, QStringLiteral("abcdefgh\nijklmnopq"))},
         {}},
        {"accented letters count once",
         {Caption::make(0, 1,
                        QStringLiteral("e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e"
                                       "\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e"
                                       "\u0301e\u0301e\u0301"))},
         {}},
        {"a line of 42", {Caption::make(0, 3, QString(42, u'a'))}, {}},
        {"a line of 43", {Caption::make(0, 3, QString(43, u'a'))}, {Kind::lineLength}},
        {"the second line too long",
         {Caption::make(0, 4, QStringLiteral("short\n") + QString(43, u'b'))},
         {Kind::lineLength}},
        {"exactly 1 s", {Caption::make(2, 3, QStringLiteral("ok"))}, {}},
        {"0.99 s", {Caption::make(2, 2.99, QStringLiteral("ok"))}, {Kind::tooShort}},
        {"exactly 7 s", {Caption::make(0, 7, QStringLiteral("ok"))}, {}},
        {"7.01 s", {Caption::make(0, 7.01, QStringLiteral("ok"))}, {Kind::tooLong}},
        {"0.083 s apart",
         {Caption::make(0, 1, QStringLiteral("a")), Caption::make(1.083, 2.1, QStringLiteral("b"))},
         {}},
        {"0.04 s apart",
         {Caption::make(0, 1, QStringLiteral("a")), Caption::make(1.04, 2.1, QStringLiteral("b"))},
         {Kind::tooClose}},
        {"touching",
         {Caption::make(0, 1, QStringLiteral("a")), Caption::make(1, 2, QStringLiteral("b"))},
         {Kind::tooClose}},
        {"overlapping",
         {Caption::make(0, 1.5, QStringLiteral("a")), Caption::make(1, 2, QStringLiteral("b"))},
         {Kind::overlap}},
        {"times written in milliseconds",
         {Caption::make(0.1, 1.1, QStringLiteral("ok")),
          Caption::make(1.183, 2.2, QStringLiteral("ok"))},
         {}},
        {"several at once",
         {Caption::make(0, 0.5, QString(50, u'a')), Caption::make(0.4, 1, QStringLiteral("b"))},
         {Kind::readingSpeed, Kind::lineLength, Kind::tooShort, Kind::overlap}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(kinds(CaptionChecks::check(c.captions, 0, limits)), c.expected);
    }
    // The last caption has no next one; an index outside the list has nothing.
    EXPECT_TRUE(
        CaptionChecks::check({Caption::make(0, 1, QStringLiteral("a"))}, 1, limits).isEmpty());
}

TEST(Checks, OtherLimitsAndTheSentences) {
    CaptionChecks::Limits strict;
    strict.maxCharsPerSecond = 12;
    strict.maxCharsPerLine = 10;
    strict.minGap = 0.2;
    const Captions captions = {Caption::make(0, 1.25, QStringLiteral("twenty-one characters")),
                               Caption::make(1.35, 3, QStringLiteral("fine")),
                               Caption::make(3.5, 4.5, QString())};
    const QList<CaptionChecks::Problem> all = CaptionChecks::checkAll(captions, strict);
    ASSERT_EQ(kinds(all), (QList<Kind>{Kind::readingSpeed, Kind::lineLength, Kind::tooClose}));
    EXPECT_EQ(all[0].index, 0);
    EXPECT_NEAR(all[0].figure, 16.8, 1e-9);
    const QStringList sentences = {CaptionChecks::describe(all[0]), CaptionChecks::describe(all[1]),
                                   CaptionChecks::describe(all[2])};
    EXPECT_EQ(sentences,
              (QStringList{
                  QStringLiteral("16.8 characters per second; the limit is 12."),
                  QStringLiteral("A line of 21 characters; the limit is 10."),
                  QStringLiteral("0.100 s before the next caption; leave at least 0.2 s."),
              }));
    EXPECT_EQ(CaptionChecks::describe(
                  {0,
                   Kind::readingSpeed,
                   CaptionChecks::charsPerSecond(Caption::make(1, 1, QStringLiteral("x"))),
                   17,
                   {}}),
              QStringLiteral("No time on screen to read it."));
    EXPECT_EQ(CaptionChecks::describe({0, Kind::tooLong, 9.24, 7, {}}),
              QStringLiteral("On screen for 9.2 s; the longest is 7 s."));
}
