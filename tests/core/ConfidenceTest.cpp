// The recogniser's confidence in each word: where grouping puts it, how edits carry or clear it,
// how the checks and the project file treat it.
#include "CaptionChecks.h"
#include "CaptionEditing.h"
#include "CaptionMath.h"
#include "CorePrinters.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

// "(at, word)" for each mark, to compare in one line.
QStringList marks(const QList<WordConfidence>& words) {
    QStringList list;
    for (const WordConfidence& w : words)
        list << QStringLiteral("%1:%2").arg(w.at).arg(w.word);
    return list;
}

Caption scored(const QString& text, const QList<std::pair<QString, float>>& words) {
    Caption c = Caption::make(0, 2, text);
    qsizetype from = 0;
    for (const auto& [word, value] : words) {
        from = text.indexOf(word, from);
        c.confidence.append({int(from), word, value});
        from += word.size();
    }
    return c;
}

} // namespace

TEST(Confidence, GroupingPutsEachScoredWordWhereItStandsInTheText) {
    const TimedWords words = {{QStringLiteral("Hello"), 0.0, 0.3, 0.9},
                              {QStringLiteral("there,"), 0.35, 0.3, 0.2},
                              {QStringLiteral("unscored"), 0.7, 0.3},
                              {QStringLiteral("there."), 1.05, 0.3, 0.4}};
    const Captions captions = CaptionMath::group(words, CaptionMath::Rules{});
    ASSERT_EQ(captions.size(), 1);
    const Caption& c = captions.first();
    EXPECT_EQ(c.text, QStringLiteral("Hello there, unscored there."));
    EXPECT_EQ(marks(c.confidence),
              (QStringList{QStringLiteral("0:Hello"), QStringLiteral("6:there,"),
                           QStringLiteral("22:there.")}));
    EXPECT_FLOAT_EQ(c.confidence[1].value, 0.2f);
    EXPECT_EQ(c.standingConfidence(), c.confidence);
}

TEST(Confidence, AnEditClearsTheMarksOfTheWordsItChangesAndMovesTheRest) {
    const Caption before =
        scored(QStringLiteral("we sail at dawn tomorrow"), {{QStringLiteral("we"), 0.3f},
                                                            {QStringLiteral("sail"), 0.2f},
                                                            {QStringLiteral("dawn"), 0.4f},
                                                            {QStringLiteral("tomorrow"), 0.1f}});
    struct Case {
        const char* what;
        QString text;
        QStringList expected;
    };
    const Case cases[] = {
        {"unchanged", before.text, {"0:we", "3:sail", "11:dawn", "16:tomorrow"}},
        {"the marked word retyped",
         QStringLiteral("we sale at dawn tomorrow"),
         {"0:we", "11:dawn", "16:tomorrow"}},
        {"a word put in moves what follows",
         QStringLiteral("we sail out at dawn tomorrow"),
         {"0:we", "3:sail", "15:dawn", "20:tomorrow"}},
        {"a line break in place of a space",
         QStringLiteral("we sail at\ndawn tomorrow"),
         {"0:we", "3:sail", "11:dawn", "16:tomorrow"}},
        {"everything replaced", QStringLiteral("something else"), {}},
        {"the last word changed",
         QStringLiteral("we sail at dawn today"),
         {"0:we", "3:sail", "11:dawn"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QList<WordConfidence> carried = CaptionMath::carryConfidence(before, c.text);
        EXPECT_EQ(marks(carried), c.expected);
        Caption after = before;
        after.text = c.text;
        after.confidence = carried;
        EXPECT_EQ(after.standingConfidence(), carried);
    }

    // Over a list: only captions whose text changed while their marks stayed as they were.
    Captions list = {before,
                     scored(QStringLiteral("other words"), {{QStringLiteral("other"), 0.1f}})};
    Captions edited = list;
    edited[0].text = QStringLiteral("we sale at dawn tomorrow");
    edited.move(0, 1); // out of line: found by identity
    const Captions carried = CaptionMath::carryConfidence(list, edited);
    EXPECT_EQ(marks(carried[1].confidence), (QStringList{"0:we", "11:dawn", "16:tomorrow"}));
    EXPECT_EQ(carried[0].confidence, list[1].confidence);
}

TEST(Confidence, SplittingKeepsEachHalfsMarks) {
    Caption c = scored(QStringLiteral("one two\nthree four"),
                       {{QStringLiteral("two"), 0.2f}, {QStringLiteral("four"), 0.3f}});
    c.start = 0;
    c.end = 4;
    const auto halves = CaptionMath::split(c, 2.0);
    ASSERT_TRUE(halves.has_value());
    EXPECT_EQ(halves->first.text, QStringLiteral("one two"));
    EXPECT_EQ(marks(halves->first.confidence), QStringList{"4:two"});
    EXPECT_EQ(marks(halves->second.confidence), QStringList{"6:four"});
}

TEST(Confidence, UnsureWordsAreAProblemBelowTheLimitOnly) {
    CaptionChecks::Limits limits; // 0.5
    struct Case {
        float value;
        bool problem;
    };
    for (const Case c :
         {Case{0.49f, true}, Case{0.5f, false}, Case{0.51f, false}, Case{0.0f, true}}) {
        SCOPED_TRACE(c.value);
        const Caption caption =
            scored(QStringLiteral("fine word"), {{QStringLiteral("word"), c.value}});
        const auto problems = CaptionChecks::check({caption}, 0, limits);
        EXPECT_EQ(!problems.isEmpty() && problems.last().kind == CaptionChecks::Kind::unsure,
                  c.problem);
    }

    const Caption two =
        scored(QStringLiteral("Its Hardy and Laurel"), {{QStringLiteral("Its"), 0.9f},
                                                        {QStringLiteral("Hardy"), 0.31f},
                                                        {QStringLiteral("Laurel"), 0.42f}});
    auto problems = CaptionChecks::check({two}, 0, limits);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(
        CaptionChecks::describe(problems[0]),
        QStringLiteral("The recogniser was unsure of 2 words: “Hardy” (31 %), “Laurel” (42 %)."));
    EXPECT_NEAR(problems[0].figure, 0.31, 1e-6);

    // A word edited away is no longer a problem, even before its mark is carried over.
    Caption edited = two;
    edited.text = QStringLiteral("Its Hardy and Lorrel");
    problems = CaptionChecks::check({edited}, 0, limits);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(CaptionChecks::describe(problems[0]),
              QStringLiteral("The recogniser was unsure of “Hardy” (31 %)."));

    // A limit of 0 turns the marks off.
    limits.minConfidence = 0;
    EXPECT_TRUE(CaptionChecks::check({two}, 0, limits).isEmpty());
}

TEST(Confidence, TravelsInTheCaptionsJsonAndABadListIsDroppedAlone) {
    const Caption c =
        scored(QStringLiteral("Hello “world”"),
               {{QStringLiteral("Hello"), 0.25f}, {QStringLiteral("“world”"), 0.875f}});
    const QByteArray json = QJsonDocument(c.toJson()).toJson(QJsonDocument::Compact);
    EXPECT_TRUE(json.contains(R"("confidence":[[0,"Hello",0.25],[6,"“world”",0.875]])"))
        << json.toStdString();
    EXPECT_EQ(Caption::fromJson(QJsonDocument::fromJson(json).object()), c);

    // Without marks the object keeps its four keys, as files written before them.
    EXPECT_EQ(Caption::make(0, 1, QStringLiteral("x")).toJson().size(), 4);

    const char* head =
        R"({"id":"0f8e4a2c-91b3-4d5e-a6f7-1234567890ab","start":1,"end":2,"text":"x")";
    for (const char* bad : {R"(,"confidence":"high"})", R"(,"confidence":[[0,"x"]]})",
                            R"(,"confidence":[[0,"x",1.5]]})", R"(,"confidence":[[-1,"x",0.5]]})",
                            R"(,"confidence":[[0,"x",0.5],[0.5,"x",0.5]]})"}) {
        SCOPED_TRACE(bad);
        const auto read =
            Caption::fromJson(QJsonDocument::fromJson(QByteArray(head) + bad).object());
        ASSERT_TRUE(read.has_value());
        EXPECT_TRUE(read->confidence.isEmpty());
        EXPECT_EQ(read->text, QStringLiteral("x"));
    }
}
