#include "CaptionEditing.h"
#include "CaptionHistory.h"

#include <gtest/gtest.h>

namespace {

// A history whose clock the test moves by hand.
struct ManualHistory {
    CaptionHistory history;
    double clock = 1000;
    ManualHistory() {
        history.now = [this] { return clock; };
    }
};

Captions two() {
    return {Caption::make(0, 1, QStringLiteral("one")), Caption::make(1, 2, QStringLiteral("two"))};
}

Captions withText(Captions list, qsizetype i, const QString& text) {
    list[i].text = text;
    return list;
}

Captions withStart(Captions list, qsizetype i, double start) {
    list[i].start = start;
    return list;
}

TEST(CaptionHistoryKey, NamesTheOneChangedCaptionAndTheKindOfChange) {
    const Captions a = two();
    const QString id = a[0].id.toString(QUuid::WithoutBraces).toUpper();
    EXPECT_EQ(CaptionHistory::key(a, withText(a, 0, "uno")), id + ":text");
    EXPECT_EQ(CaptionHistory::key(a, withStart(a, 0, 0.5)), id + ":time");
    // Text and time together count as a text change.
    EXPECT_EQ(CaptionHistory::key(a, withStart(withText(a, 0, "x"), 0, 0.5)), id + ":text");

    Captions replaced = a;
    replaced[0] = Caption::make(0, 1, QStringLiteral("one"));
    const QList<std::pair<const char*, Captions>> keyless = {
        {"same list", a},
        {"two changed", withText(withText(a, 0, "x"), 1, "y")},
        {"added", a + Captions{Caption::make(3, 4, "three")}},
        {"removed", a.mid(0, 1)},
        {"reordered", Captions{a[1], a[0]}},
        {"other identifier", replaced},
    };
    for (const auto& [name, b] : keyless)
        EXPECT_FALSE(CaptionHistory::key(a, b).has_value()) << name;
    EXPECT_FALSE(CaptionHistory::key({}, {}).has_value());
}

TEST(CaptionHistoryRecord, ABurstOfEditsToOneCaptionIsOneStep) {
    ManualHistory h;
    Captions list = two();
    const Captions original = list;
    for (const char* text : {"o", "on", "one!", "one!!", "one!!!"}) {
        const Captions next = withText(list, 0, text);
        h.history.record(list, next);
        list = next;
        h.clock += 1.1; // each edit within 1.2 s of the previous
    }
    EXPECT_EQ(h.history.undoStack.size(), 1);
    EXPECT_EQ(h.history.undo(list), original);
}

TEST(CaptionHistoryRecord, DifferentCaptionsKindsOrPausesAreSeparateSteps) {
    struct Case {
        const char* name;
        std::function<Captions(const Captions&)> second;
        double pause;
        qsizetype steps;
    };
    const QList<Case> cases = {
        {"same caption text again", [](const Captions& l) { return withText(l, 0, "uno!"); }, 0.5,
         1},
        {"other caption's text", [](const Captions& l) { return withText(l, 1, "dos"); }, 0.5, 2},
        {"same caption's time", [](const Captions& l) { return withStart(l, 0, 0.2); }, 0.5, 2},
        {"after the window", [](const Captions& l) { return withText(l, 0, "uno!"); }, 1.2, 2},
    };
    for (const Case& c : cases) {
        ManualHistory h;
        const Captions a = two();
        const Captions b = withText(a, 0, "uno");
        h.history.record(a, b);
        h.clock += c.pause;
        h.history.record(b, c.second(b));
        EXPECT_EQ(h.history.undoStack.size(), c.steps) << c.name;
    }
}

TEST(CaptionHistoryRecord, KeepsAtMostTheLimitAndSkipsNoChanges) {
    ManualHistory h;
    Captions list;
    for (int i = 0; i < 201; ++i) {
        Captions next = list;
        next.append(Caption::make(i, i + 1, QString::number(i)));
        h.history.record(list, next);
        list = next;
    }
    EXPECT_EQ(h.history.undoStack.size(), 200);
    EXPECT_EQ(h.history.undoStack.first().size(), 1); // the empty list is the one dropped
    h.history.record(list, list);
    EXPECT_EQ(h.history.undoStack.size(), 200);
    h.history.suspended = true;
    h.history.record(list, {});
    EXPECT_EQ(h.history.undoStack.size(), 200);
}

TEST(CaptionHistoryRecord, UndoRedoAndANewEditEmptiesRedo) {
    ManualHistory h;
    const Captions a = two();
    const Captions b = withText(a, 0, "uno");
    h.history.record(a, b);
    EXPECT_EQ(h.history.undo(b), a);
    EXPECT_FALSE(h.history.undo(a).has_value());
    EXPECT_EQ(h.history.redo(a), b);
    EXPECT_FALSE(h.history.redo(b).has_value());

    // Undo clears the merge key: an edit right after it starts a new step.
    EXPECT_EQ(h.history.undo(b), a);
    h.history.record(a, withText(a, 0, "u"));
    EXPECT_EQ(h.history.undoStack.size(), 1);
    EXPECT_TRUE(h.history.redoStack.isEmpty());
}

TEST(CaptionSplit, DividesWordsByTimeAndKeepsATenthOnEachSide) {
    const Caption four = Caption::make(0, 4, QStringLiteral("one two\nthree four"));
    struct Case {
        double at;
        std::optional<std::pair<QString, QString>> texts;
    };
    const QList<Case> cases = {
        {1.0, std::pair{QStringLiteral("one"), QStringLiteral("two three four")}},
        {2.0, std::pair{QStringLiteral("one two"), QStringLiteral("three four")}},
        {0.2, std::pair{QStringLiteral("one"), QStringLiteral("two three four")}},  // at least one
        {3.85, std::pair{QStringLiteral("one two three"), QStringLiteral("four")}}, // leaves one
        {0.1, std::nullopt},
        {3.95, std::nullopt},
        {-1, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto halves = CaptionMath::split(four, c.at);
        ASSERT_EQ(halves.has_value(), c.texts.has_value()) << c.at;
        if (!halves)
            continue;
        EXPECT_EQ(halves->first.text, c.texts->first) << c.at;
        EXPECT_EQ(halves->second.text, c.texts->second) << c.at;
        EXPECT_EQ(halves->first.start, 0.0);
        EXPECT_EQ(halves->first.end, c.at);
        EXPECT_EQ(halves->second.start, c.at);
        EXPECT_EQ(halves->second.end, 4.0);
        EXPECT_NE(halves->first.id, four.id);
        EXPECT_NE(halves->second.id, halves->first.id);
    }
    const auto single = CaptionMath::split(Caption::make(0, 2, QStringLiteral("Hello")), 1);
    ASSERT_TRUE(single.has_value());
    EXPECT_EQ(single->first.text, QStringLiteral("Hello"));
    EXPECT_EQ(single->second.text, QString());
}

} // namespace
