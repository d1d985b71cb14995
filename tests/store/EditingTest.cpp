#include "FakePlayer.h"
#include "LWStore.h"
#include "ScriptedHooks.h"
#include "TestFiles.h"
#include "TestServices.h"

#include <gtest/gtest.h>

namespace {

class Editing : public ::testing::Test {
protected:
    void SetUp() override {
        clearPreferences();
        store.history().now = [this] { return clock; };
    }

    void openMedia(double duration) {
        BCOpenedMedia media;
        media.original = QUrl::fromLocalFile(QStringLiteral("/media/clip.mp4"));
        media.duration = duration;
        store.setMedia(media);
    }

    // Sets the list without leaving an undo step behind.
    void load(const Captions& captions) {
        store.setCaptions(captions);
        store.resetHistory();
    }

    const Caption& at(qsizetype i) { return store.captions()[i]; }

    double clock = 100;
    ScriptedHooks hooks;
    TestServices services;
    LWStore store{hooks, services.get(), QStringLiteral("en_US")};
};

TEST_F(Editing, UndoAndRedoStepTheListAndTick) {
    const Captions a{Caption::make(0, 1, QStringLiteral("a"))};
    load(a);
    const int tick = store.historyTick();
    store.setText(a[0].id, QStringLiteral("b"));
    store.undo();
    EXPECT_EQ(store.captions(), a);
    EXPECT_EQ(store.note(), QStringLiteral("Undone."));
    EXPECT_EQ(store.historyTick(), tick + 1);
    store.redo();
    EXPECT_EQ(at(0).text, QStringLiteral("b"));
    EXPECT_EQ(store.note(), QStringLiteral("Redone."));
    EXPECT_EQ(store.historyTick(), tick + 2);
    EXPECT_EQ(hooks.beeps, 0);
    store.redo();
    EXPECT_EQ(hooks.beeps, 1);
}

TEST_F(Editing, TwoHundredUndosThenABeep) {
    load({});
    for (int i = 0; i < 201; ++i) {
        Captions next = store.captions();
        next.append(Caption::make(i, i + 1, QStringLiteral("c")));
        store.setCaptions(next);
    }
    for (int i = 0; i < 200; ++i)
        store.undo();
    EXPECT_EQ(hooks.beeps, 0);
    EXPECT_EQ(store.captions().size(), 1);
    store.undo();
    EXPECT_EQ(hooks.beeps, 1);
}

TEST_F(Editing, UndoDropsASelectionThatNoLongerExists) {
    openMedia(60);
    load({});
    store.setTime(5);
    store.addCaption();
    ASSERT_TRUE(store.selected().has_value());
    store.undo();
    EXPECT_FALSE(store.selected().has_value());
}

TEST_F(Editing, AddCaptionRunsToTheNextCaptionWithinLimits) {
    struct Case {
        double at;
        double nextStart; // 0: no caption after
        double duration;
        double end;
    };
    const QList<Case> cases = {
        {10, 10.3, 60, 10.5},  // at least 0.5 s, overlapping the next
        {10, 20, 60, 13},      // at most 3 s
        {10, 11.5, 60, 11.46}, // up to 0.04 s before the next
        {10, 0, 11, 10.96},    // up to 0.04 s before the media ends
        {10, 0, 10.2, 10.5},   // still 0.5 s past the media's end
    };
    for (const Case& c : cases) {
        openMedia(c.duration);
        load(c.nextStart > 0 ? Captions{Caption::make(c.nextStart, c.nextStart + 1, "next")}
                             : Captions{});
        store.setTime(c.at);
        store.addCaption();
        const auto i = store.indexOf(store.selected());
        ASSERT_TRUE(i.has_value());
        EXPECT_EQ(at(*i).text, QStringLiteral("New caption"));
        EXPECT_EQ(at(*i).start, c.at);
        EXPECT_NEAR(at(*i).end, c.end, 1e-9) << c.nextStart << " " << c.duration;
        EXPECT_EQ(*i, 0); // sorted by start
    }
}

TEST_F(Editing, AddCaptionNeedsOpenMedia) {
    load({});
    store.addCaption();
    EXPECT_TRUE(store.captions().isEmpty());
    EXPECT_TRUE(store.history().undoStack.isEmpty());
}

TEST_F(Editing, EdgeAndNudgeClamps) {
    openMedia(30);
    const Caption c = Caption::make(2, 4, QStringLiteral("x"));
    struct Case {
        const char* name;
        std::function<void()> act;
        double start;
        double end;
    };
    const QList<Case> cases = {
        {"start after end", [&] { store.setStart(c.id, 9); }, 3.9, 4},
        {"negative start", [&] { store.setStart(c.id, -2); }, 0, 4},
        {"end before start", [&] { store.setEnd(c.id, 1); }, 2, 2.1},
        {"end past the media", [&] { store.setEnd(c.id, 99); }, 2, 30},
        {"nudge before zero", [&] { store.nudgeCaption(c.id, -5); }, 0, 2},
        {"nudge later", [&] { store.nudgeCaption(c.id, 0.5); }, 2.5, 4.5},
    };
    for (const Case& k : cases) {
        load({c});
        k.act();
        EXPECT_NEAR(at(0).start, k.start, 1e-9) << k.name;
        EXPECT_NEAR(at(0).end, k.end, 1e-9) << k.name;
    }
    // Unknown identifiers change nothing and record nothing.
    load({c});
    store.setStart(QUuid::createUuid(), 1);
    store.nudgeCaption(QUuid::createUuid(), 1);
    store.deleteCaption(QUuid::createUuid());
    EXPECT_EQ(store.captions(), Captions{c});
    EXPECT_TRUE(store.history().undoStack.isEmpty());
    EXPECT_EQ(hooks.beeps, 0);
}

TEST_F(Editing, SetEndWithoutMediaKeepsATenth) {
    const Caption c = Caption::make(2, 4, QStringLiteral("x"));
    load({c});
    store.setEnd(c.id, 50);
    EXPECT_NEAR(at(0).end, 2.1, 1e-9);
}

TEST_F(Editing, SplitAtPlayheadKeepsTheFirstIdentityAndSelectsTheSecond) {
    const Caption c = Caption::make(0, 4, QStringLiteral("one two three four"));
    const Caption after = Caption::make(5, 6, QStringLiteral("after"));
    load({c, after});
    store.setTime(1);
    store.splitAtPlayhead(c.id);
    ASSERT_EQ(store.captions().size(), 3);
    EXPECT_EQ(at(0).id, c.id);
    EXPECT_EQ(at(0).text, QStringLiteral("one"));
    EXPECT_EQ(at(1).text, QStringLiteral("two three four"));
    EXPECT_EQ(at(2), after);
    EXPECT_EQ(store.selected(), at(1).id);

    store.setTime(3.95);
    store.splitAtPlayhead(at(1).id);
    store.splitAtPlayhead(QUuid::createUuid());
    EXPECT_EQ(hooks.beeps, 2);
    EXPECT_EQ(store.captions().size(), 3);
}

TEST_F(Editing, MergeJoinsIntoOneLineAndBeepsAtTheEnd) {
    const Caption a = Caption::make(0, 2, QStringLiteral("first line\nsecond line"));
    const Caption b = Caption::make(2, 3, QStringLiteral(" next\n"));
    load({a, b});
    store.setSelected(b.id);
    store.mergeWithNext(a.id);
    ASSERT_EQ(store.captions().size(), 1);
    EXPECT_EQ(at(0).id, a.id);
    EXPECT_EQ(at(0).start, 0.0);
    EXPECT_EQ(at(0).end, 3.0);
    EXPECT_EQ(at(0).text, QStringLiteral("first line second line  next"));
    EXPECT_EQ(store.selected(), b.id); // the selection does not change
    store.mergeWithNext(a.id);
    EXPECT_EQ(hooks.beeps, 1);
}

TEST_F(Editing, DeleteClearsItsSelection) {
    const Caption a = Caption::make(0, 1, QStringLiteral("a"));
    const Caption b = Caption::make(1, 2, QStringLiteral("b"));
    load({a, b});
    store.setSelected(a.id);
    store.deleteCaption(b.id);
    EXPECT_EQ(store.selected(), a.id);
    store.deleteCaption(a.id);
    EXPECT_FALSE(store.selected().has_value());
    EXPECT_TRUE(store.captions().isEmpty());
}

TEST_F(Editing, ShiftAllIsOneStepAndKeepsATenth) {
    load({Caption::make(0.5, 0.6, QStringLiteral("a")), Caption::make(3, 4, QStringLiteral("b"))});
    store.shiftAll(-1);
    EXPECT_EQ(at(0).start, 0.0);
    EXPECT_NEAR(at(0).end, 0.1, 1e-9);
    EXPECT_EQ(at(1).start, 2.0);
    EXPECT_EQ(at(1).end, 3.0);
    EXPECT_EQ(store.history().undoStack.size(), 1);
}

TEST_F(Editing, RewrapUsesTheRulesAsStored) {
    load({Caption::make(0, 2, QStringLiteral("aaaa bbbb cccc dddd"))});
    CaptionMath::Rules rules;
    rules.maxCharsPerLine = 9;
    store.setRules(rules);
    store.rewrap();
    EXPECT_EQ(at(0).text, QStringLiteral("aaaa bbbb\ncccc dddd"));
}

TEST_F(Editing, RestoreTwiceSwapsBack) {
    const Captions mine{Caption::make(0, 1, QStringLiteral("mine"))};
    const Captions older{Caption::make(0, 1, QStringLiteral("old")),
                         Caption::make(1, 2, QStringLiteral("er"))};
    store.restorePrevious();
    EXPECT_EQ(hooks.beeps, 1);

    load(mine);
    store.setPreviousCaptions(older);
    store.restorePrevious();
    EXPECT_EQ(store.captions(), older);
    EXPECT_EQ(store.previousCaptions(), mine);
    EXPECT_EQ(store.note(), QStringLiteral("Restored the previous 2 captions."));
    store.restorePrevious();
    EXPECT_EQ(store.captions(), mine);
    EXPECT_EQ(store.previousCaptions(), older);
    EXPECT_EQ(store.history().undoStack.size(), 2);

    // Restoring over an empty list leaves no previous set.
    load({});
    store.setPreviousCaptions(older);
    store.restorePrevious();
    EXPECT_FALSE(store.previousCaptions().has_value());
}

TEST_F(Editing, TypingIntoOneCaptionIsOneUndoStep) {
    const Caption c = Caption::make(0, 1, QStringLiteral("Hello"));
    load({c});
    for (const char* text : {"Hello,", "Hello, w", "Hello, wo", "Hello, wor", "Hello, world"}) {
        store.setText(c.id, QString::fromUtf8(text));
        clock += 0.8;
    }
    store.undo();
    EXPECT_EQ(at(0).text, QStringLiteral("Hello"));
    store.undo();
    EXPECT_EQ(hooks.beeps, 1);
}

} // namespace

namespace {

class Problems : public Editing {};

} // namespace

TEST_F(Problems, FollowEditsAndTheLimitsAndWalkRoundTheList) {
    openMedia(60);
    load({Caption::make(1, 2, QStringLiteral("fine")),
          Caption::make(3, 3.5, QStringLiteral("too many words for half a second")),
          Caption::make(5, 6, QStringLiteral("fine")),
          Caption::make(8, 9, QStringLiteral("fine"))});
    int notices = 0;
    QObject::connect(&store, &LWStore::problemsChanged, [&] { ++notices; });
    EXPECT_EQ(store.problemCount(), 1);
    const QUuid slow = at(1).id;
    EXPECT_EQ(store.problemsOf(slow).size(), 2); // reading speed, too short
    EXPECT_TRUE(store.problemsOf(at(0).id).isEmpty());

    // An edit that mends one and breaks another.
    store.setText(slow, QStringLiteral("short"));
    EXPECT_EQ(store.problemsOf(slow).size(), 1); // still too short
    store.setEnd(slow, 4.6);
    EXPECT_TRUE(store.problemsOf(slow).isEmpty());
    store.setStart(at(2).id, 4.65); // 0.05 s after the one before
    ASSERT_EQ(store.problemsOf(slow).size(), 1);
    EXPECT_EQ(store.problemsOf(slow)[0].kind, CaptionChecks::Kind::tooClose);
    EXPECT_EQ(store.problemCount(), 1);
    EXPECT_GT(notices, 0);

    // Undo brings the first problems back.
    store.undo();
    store.undo();
    store.undo();
    EXPECT_EQ(store.problemsOf(slow).size(), 2);

    // Looser limits, remembered for the next start.
    CaptionChecks::Limits loose = store.checkLimits();
    loose.maxCharsPerSecond = 200;
    store.setCheckLimits(loose);
    EXPECT_EQ(store.problemsOf(slow).size(), 1);
    LWStore again{hooks, services.get(), QStringLiteral("en_US")};
    EXPECT_EQ(again.checkLimits().maxCharsPerSecond, 200);
    // The rules' line length and shortest time take part.
    CaptionMath::Rules rules = store.rules();
    rules.minDuration = 0.4;
    store.setRules(rules);
    EXPECT_EQ(store.problemCount(), 0);
}

TEST_F(Problems, NextAndPreviousProblemGoRoundFromTheSelectionOrThePlayhead) {
    store.setPlayer(std::make_unique<FakePlayer>());
    openMedia(60);
    const QString fast = QStringLiteral("far too many characters for one second here");
    load({Caption::make(1, 2, fast), Caption::make(3, 4, QStringLiteral("fine")),
          Caption::make(5, 6, fast), Caption::make(7, 8, QStringLiteral("fine"))});
    const QUuid first = at(0).id;
    const QUuid third = at(2).id;
    store.seek(2.5);
    store.selectProblem(true);
    EXPECT_EQ(store.selected(), third);
    EXPECT_DOUBLE_EQ(store.time(), 5);
    store.selectProblem(true); // round to the first
    EXPECT_EQ(store.selected(), first);
    store.selectProblem(false); // and back round to the third
    EXPECT_EQ(store.selected(), third);
    store.setSelected(std::nullopt);
    store.seek(4);
    store.selectProblem(false);
    EXPECT_EQ(store.selected(), first);

    const int beeps = hooks.beeps;
    load({Caption::make(1, 2, QStringLiteral("fine"))});
    store.selectProblem(true);
    EXPECT_EQ(hooks.beeps, beeps + 1);
}

// Words the recogniser was unsure of count as problems until they are edited; undo brings the
// mark back with the word, and the threshold is remembered.
TEST_F(Problems, UnsureWordsCountUntilEditedAndTheThresholdIsKept) {
    store.setPlayer(std::make_unique<FakePlayer>());
    openMedia(60);
    Caption unsure = Caption::make(1.5, 3.5, QStringLiteral("meet me in Ardenne tonight"));
    unsure.confidence = {{0, QStringLiteral("meet"), 0.97f},
                         {11, QStringLiteral("Ardenne"), 0.21f},
                         {19, QStringLiteral("tonight"), 0.45f}};
    load({Caption::make(0, 1.2, QStringLiteral("hello")), unsure,
          Caption::make(4, 5.5, QStringLiteral("fine"))});
    const QUuid id = at(1).id;
    ASSERT_EQ(store.problemsOf(id).size(), 1);
    EXPECT_EQ(store.problemsOf(id)[0].kind, CaptionChecks::Kind::unsure);
    EXPECT_EQ(store.problemsOf(id)[0].words.size(), 2);
    store.seek(0.5);
    store.selectProblem(true);
    EXPECT_EQ(store.selected(), id);

    // Typing over one unsure word clears its mark only; the other word keeps its own.
    store.setText(id, QStringLiteral("meet me in Arden tonight"));
    ASSERT_EQ(store.problemsOf(id).size(), 1);
    ASSERT_EQ(store.problemsOf(id)[0].words.size(), 1);
    EXPECT_EQ(store.problemsOf(id)[0].words[0].word, QStringLiteral("tonight"));
    EXPECT_EQ(at(1).confidence.size(), 2); // "meet" and "tonight", moved to where it is now
    EXPECT_EQ(at(1).confidence[1].at, 17);
    store.setText(id, QStringLiteral("meet me in Arden tonight!"));
    EXPECT_TRUE(store.problemsOf(id).isEmpty());
    EXPECT_EQ(store.problemCount(), 0);
    store.undo();
    store.undo();
    EXPECT_EQ(store.problemsOf(id)[0].words.size(), 2);

    CaptionChecks::Limits limits = store.checkLimits();
    limits.minConfidence = 0.3;
    store.setCheckLimits(limits);
    EXPECT_EQ(store.problemsOf(id)[0].words.size(), 1);
    LWStore again{hooks, services.get(), QStringLiteral("en_US")};
    EXPECT_DOUBLE_EQ(again.checkLimits().minConfidence, 0.3);
}

namespace {
class FindReplace : public Editing {};
} // namespace

TEST_F(FindReplace, FindsWithEachOptionAndGoesRound) {
    store.setPlayer(std::make_unique<FakePlayer>());
    openMedia(60);
    load({Caption::make(1, 2, QStringLiteral("The cat sat")),
          Caption::make(3, 4, QStringLiteral("Category: cats")),
          Caption::make(5, 6, QStringLiteral("no match here"))});
    struct Case {
        const char* what;
        QString pattern;
        CaptionFind::Options options;
        QList<std::pair<qsizetype, qsizetype>> expected; // caption and place of each match
    };
    const Case cases[] = {
        {"any case", QStringLiteral("cat"), {}, {{0, 4}, {1, 0}, {1, 10}}},
        {"match case", QStringLiteral("cat"), {.matchCase = true}, {{0, 4}, {1, 10}}},
        {"whole words", QStringLiteral("cat"), {.wholeWords = true}, {{0, 4}}},
        {"regular expression", QStringLiteral("c\\w+s"), {.regularExpression = true}, {{1, 10}}},
        {"a dot is a dot", QStringLiteral("."), {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto expression = CaptionFind::expression(c.pattern, c.options);
        ASSERT_TRUE(expression.has_value());
        QList<std::pair<qsizetype, qsizetype>> found;
        for (const CaptionFind::Match& m : CaptionFind::matches(store.captions(), *expression))
            found.append({m.caption, m.from});
        EXPECT_EQ(found, c.expected);
    }

    // F3 walks the matches from the selection and round; Shift+F3 back.
    store.setSelected(std::nullopt);
    const CaptionFind::Options any;
    QList<std::pair<qsizetype, qsizetype>> walked;
    for (int i = 0; i < 4; ++i) {
        const auto m = store.findNext(QStringLiteral("cat"), any, true);
        ASSERT_TRUE(m.has_value());
        walked.append({m->caption, m->from});
        EXPECT_EQ(store.selected(), at(m->caption).id);
    }
    EXPECT_EQ(walked, (QList<std::pair<qsizetype, qsizetype>>{{0, 4}, {1, 0}, {1, 10}, {0, 4}}));
    EXPECT_DOUBLE_EQ(store.time(), 1);
    const auto back = store.findNext(QStringLiteral("cat"), any, false);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(std::make_pair(back->caption, back->from),
              std::make_pair(qsizetype(1), qsizetype(10)));

    // Nothing to find, or a broken expression: a beep and a sentence.
    const int beeps = hooks.beeps;
    EXPECT_FALSE(store.findNext(QStringLiteral("dog"), any, true).has_value());
    EXPECT_EQ(store.note(), QStringLiteral("“dog” isn't in any caption."));
    EXPECT_FALSE(store.findNext(QStringLiteral("(cat"), {.regularExpression = true}, true));
    EXPECT_TRUE(store.note().startsWith(QStringLiteral("The regular expression is not valid")));
    EXPECT_EQ(hooks.beeps, beeps + 2);
}

TEST_F(FindReplace, ReplaceAllAndReplaceAreEachOneUndoStep) {
    store.setPlayer(std::make_unique<FakePlayer>());
    openMedia(60);
    const Captions original = {Caption::make(1, 2, QStringLiteral("colour and Colour")),
                               Caption::make(3, 4, QStringLiteral("no change")),
                               Caption::make(5, 6, QStringLiteral("a colour"))};
    load(original);
    store.replaceAll(QStringLiteral("colour"), QStringLiteral("color"), {});
    EXPECT_EQ(at(0).text, QStringLiteral("color and color"));
    EXPECT_EQ(at(2).text, QStringLiteral("a color"));
    EXPECT_EQ(store.note(), QStringLiteral("Replaced 3 matches in 2 captions."));
    store.undo();
    EXPECT_EQ(store.captions(), original);

    // Groups in a regular expression; a replacement with a backslash taken as it stands.
    store.replaceAll(QStringLiteral("(\\w+) and (\\w+)"), QStringLiteral("\\2 & \\1"),
                     {.regularExpression = true});
    EXPECT_EQ(at(0).text, QStringLiteral("Colour & colour"));
    EXPECT_EQ(store.note(), QStringLiteral("Replaced 1 match in 1 caption."));
    store.undo();
    store.replaceAll(QStringLiteral("a colour"), QStringLiteral("a \\1"), {});
    EXPECT_EQ(at(2).text, QStringLiteral("a \\1"));
    store.undo();

    // Replace: the match found, then on to the next; each replacement one step.
    store.setSelected(std::nullopt);
    ASSERT_TRUE(store.findNext(QStringLiteral("colour"), {}, true));
    store.replaceCurrent(QStringLiteral("colour"), QStringLiteral("hue"), {});
    EXPECT_EQ(at(0).text, QStringLiteral("hue and Colour"));
    ASSERT_TRUE(store.lastFound().has_value());
    EXPECT_EQ(store.lastFound()->from, 8); // "Colour", after what was put in
    store.replaceCurrent(QStringLiteral("colour"), QStringLiteral("hue"), {});
    EXPECT_EQ(at(0).text, QStringLiteral("hue and hue"));
    store.undo();
    EXPECT_EQ(at(0).text, QStringLiteral("hue and Colour"));
    store.undo();
    EXPECT_EQ(store.captions(), original);
}
