#include "BCIcons.h"
#include "LWCaptionRow.h"
#include "LWStack.h"
#include "UiFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

class Stack : public UiFixture {
protected:
    LWCaptionRow* shownRow(LWStack& stack, int index) {
        return stack.list()->rowFor(store->captions()[index].id);
    }
};

TEST_F(Stack, EmptyStatesAndCount) {
    LWStack stack(*store);
    EXPECT_EQ(stack.emptyLabel()->text(), QStringLiteral("Open a file to begin."));
    openMedia(60);
    EXPECT_EQ(stack.emptyLabel()->text(),
              QStringLiteral(
                  "No captions yet. Click Transcribe, import an SRT, or add captions by hand."));
    setCaptions({{1, 2}, {3, 4}});
    EXPECT_TRUE(stack.list()->isVisibleTo(&stack));
    EXPECT_EQ(stack.findChild<QLabel*>()->text(), QStringLiteral("2 captions"));
}

TEST_F(Stack, TimeFieldsParseOnReturnAndShowTheStoredTime) {
    openMedia(120);
    setCaptions({{70, 72}});
    LWStack stack(*store);
    stack.resize(400, 600);
    stack.show();
    LWCaptionRow* row = shownRow(stack, 0);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->startField()->text(), QStringLiteral("00:01:10.000"));
    struct Case {
        bool start;
        QString typed;
        double expectedStart;
        double expectedEnd;
    };
    const Case cases[] = {
        {false, QStringLiteral("1:05"), 70, 70.1},     // clamped to 0.1 s after the start
        {false, QStringLiteral("1:15.5"), 70, 75.5},   // taken
        {false, QStringLiteral("soon"), 70, 75.5},     // no value: nothing changes
        {true, QStringLiteral("00:01:20"), 75.4, 75.5} // clamped to 0.1 s before the end
    };
    for (const Case& c : cases) {
        QLineEdit* field = c.start ? row->startField() : row->endField();
        field->setText(c.typed);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_NEAR(store->captions()[0].start, c.expectedStart, 1e-9) << c.typed.toStdString();
        EXPECT_NEAR(store->captions()[0].end, c.expectedEnd, 1e-9) << c.typed.toStdString();
        // The field shows what is stored, not what was typed.
        EXPECT_EQ(field->text(), LWCaptionRow::timeText(c.start ? c.expectedStart : c.expectedEnd));
    }
}

TEST_F(Stack, TypingMergesIntoOneUndoStepAndUndoComesBack) {
    openMedia(60);
    setCaptions({{1, 2}});
    LWStack stack(*store);
    stack.resize(400, 600);
    stack.show();
    LWCaptionRow* row = shownRow(stack, 0);
    ASSERT_TRUE(row);
    QPlainTextEdit* text = row->textField();
    text->setFocus();
    text->moveCursor(QTextCursor::End);
    QTest::keyClicks(text, QStringLiteral(" more"));
    EXPECT_EQ(store->captions()[0].text, QStringLiteral("c0 more"));
    store->undo();
    EXPECT_EQ(store->captions()[0].text, QStringLiteral("c0"));
    EXPECT_EQ(text->toPlainText(), QStringLiteral("c0"));
}

TEST_F(Stack, OnlyTheRowsInViewExistAndTheListFollowsPlayback) {
    openMedia(7200);
    Captions list;
    for (int i = 0; i < 3000; ++i)
        list.append(Caption::make(i * 2.4, i * 2.4 + 2, QStringLiteral("Caption %1").arg(i)));
    store->setCaptions(list);
    LWStack stack(*store);
    stack.resize(400, 700);
    stack.show();
    LWRowList* rows = stack.list();
    EXPECT_LT(rows->rowWidgets(), 20);
    // Playback reaching caption 1500 brings its row to the middle.
    store->setTime(1500 * 2.4 + 1);
    QTest::qWait(350); // the 0.2 s scroll; longer on a loaded machine
    for (int i = 0; i < 100 && !shownRow(stack, 1500); ++i)
        QTest::qWait(20);
    QTest::qWait(50);
    const int middle = rows->viewport()->height() / 2;
    LWCaptionRow* row = shownRow(stack, 1500);
    ASSERT_TRUE(row);
    EXPECT_NEAR(row->geometry().center().y(), middle, rows->pitch() / 2 + 1);
    EXPECT_TRUE(row->property("active").toBool());
    EXPECT_LT(rows->rowWidgets(), 20);
}

TEST_F(Stack, RowButtonsAndDeleteAllAreUndoable) {
    openMedia(60);
    setCaptions({{1, 2}, {3, 4}});
    LWStack stack(*store);
    stack.resize(400, 600);
    stack.show();
    QTest::mouseClick(shownRow(stack, 1), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(store->selected(), store->captions()[1].id);
    EXPECT_NEAR(player->at, 3, 1e-9);
    const Captions before = store->captions();
    store->setCaptions({});
    EXPECT_EQ(stack.emptyLabel()->text(),
              QStringLiteral(
                  "No captions yet. Click Transcribe, import an SRT, or add captions by hand."));
    store->undo();
    EXPECT_EQ(store->captions(), before);
    EXPECT_NE(shownRow(stack, 0), nullptr);
}

// The merge button used to show an arrow down to a line, which reads as a download.
TEST_F(Stack, TheMergeButtonShowsTheMergeSymbol) {
    openMedia(60);
    setCaptions({{1, 2}, {3, 4}});
    LWStack stack(*store);
    stack.resize(400, 600);
    stack.show();
    QToolButton* merge = nullptr;
    for (QToolButton* button : shownRow(stack, 0)->findChildren<QToolButton*>())
        if (button->accessibleName() == QStringLiteral("Merge with the next caption"))
            merge = button;
    ASSERT_NE(merge, nullptr);
    const auto image = [](const QIcon& icon) { return icon.pixmap(32).toImage(); };
    EXPECT_EQ(BCIcons::file(QStringLiteral("arrow.triangle.merge")),
              QStringLiteral(":/icons/merge-down.svg"));
    EXPECT_EQ(image(merge->icon()), image(BCIcons::icon(QStringLiteral("arrow.triangle.merge"))));
    EXPECT_NE(image(merge->icon()), image(BCIcons::icon(QStringLiteral("arrow.down.circle"))));
}
