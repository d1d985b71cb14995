// The main window's keyboard as a captioner meets it: single keys belong to the window only while
// it has the keys, a time field gives the focus back on Return and Escape, Ctrl+Z / Ctrl+Shift+Z
// are the store's undo and redo everywhere in the window, and Delete deletes only from the list
// or the lane. Driven with real key and mouse events on the whole window.
#include "FakePlayer.h"
#include "LWCaptionRow.h"
#include "LWFindBar.h"
#include "LWHeader.h"
#include "LWLane.h"
#include "LWMainWindow.h"
#include "LWStack.h"
#include "LWStore.h"
#include "LWWordMarks.h"
#include "TestServices.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>

namespace {

class WindowKeys : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<LWMainWindow>(services.get());
        LWStore& s = window->store();
        auto fake = std::make_unique<FakePlayer>();
        player = fake.get();
        s.setPlayer(std::move(fake));
        BCOpenedMedia media;
        media.original = QUrl::fromLocalFile(QStringLiteral("/tmp/keys.mp4"));
        media.playable = media.original;
        media.duration = 30;
        media.hasVideo = true;
        media.hasAudio = true;
        media.naturalSize = QSize(1920, 1080);
        s.setMedia(media);
        s.setCaptions({Caption::make(1, 2, QStringLiteral("First")),
                       Caption::make(3, 4, QStringLiteral("Second")),
                       Caption::make(5, 6, QStringLiteral("Third"))});
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override { window.reset(); }

    LWStore& store() { return window->store(); }
    LWCaptionRow* row(int index) {
        return window->stack()->list()->rowFor(store().captions()[index].id);
    }
    QAction* action(const QString& text) {
        for (QAction* a : window->findChildren<QAction*>()) {
            if (a->text() == text)
                return a;
        }
        return nullptr;
    }
    // Types each character of `text` into the focus widget.
    static void type(const QString& text) {
        for (QChar c : text)
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }

    TestServices services; // outlives the window
    std::unique_ptr<LWMainWindow> window;
    FakePlayer* player = nullptr;
};

TEST_F(WindowKeys, SingleKeysActOnlyWhileTheWindowHasTheKeys) {
    const Captions before = store().captions();
    // In the window, Space plays and K pauses.
    window->stack()->list()->setFocus();
    QTest::keyClick(window->stack()->list(), Qt::Key_Space);
    EXPECT_TRUE(store().playing());
    QTest::keyClick(window->stack()->list(), Qt::Key_K);
    EXPECT_FALSE(store().playing());

    // A message box over the window: Space presses its button, nothing else happens.
    {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Ask"), QStringLiteral("Sure?"),
                        QMessageBox::Ok | QMessageBox::Cancel, window.get());
        box.setDefaultButton(QMessageBox::Cancel);
        box.open();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
        box.button(QMessageBox::Ok)->setFocus();
        QTest::keyClick(box.button(QMessageBox::Ok), Qt::Key_Space);
        EXPECT_EQ(box.result(), QMessageBox::Ok);
        EXPECT_FALSE(store().playing());
    }

    // Another window of the application with a list: type-ahead and arrows stay in it.
    QWidget other;
    auto* list = new QListWidget(&other);
    list->addItems({QStringLiteral("alpha"), QStringLiteral("north"), QStringLiteral("south")});
    (new QVBoxLayout(&other))->addWidget(list);
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    list->setFocus();
    store().seek(10);
    QTest::keyClick(list, 'n');
    EXPECT_EQ(list->currentItem()->text(), QStringLiteral("north"));
    for (const char key : {'s', ' '})
        QTest::keyClick(list, key);
    QTest::keyClick(list, Qt::Key_Left);
    QTest::keyClick(list, Qt::Key_Right);
    EXPECT_EQ(store().captions(), before);
    EXPECT_DOUBLE_EQ(store().time(), 10);
    EXPECT_FALSE(store().playing());
    other.hide();

    // An open drop-down of the window: its type-ahead adds and splits nothing.
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QComboBox* language = window->stack()->languagePicker();
    language->setFocus();
    language->showPopup();
    QTRY_VERIFY(QApplication::activePopupWidget());
    for (const char key : {'n', 's'})
        QTest::keyClick(QApplication::activePopupWidget(), key);
    EXPECT_EQ(store().captions(), before);
    language->hidePopup();
    QTRY_VERIFY(!QApplication::activePopupWidget());

    // A slider of the style bay moves with the arrows; the playhead stays.
    window->showBay(1);
    auto* slider = window->findChild<QAbstractSlider*>();
    ASSERT_TRUE(slider);
    slider->setFocus();
    const int value = slider->value();
    QTest::keyClick(slider, slider->value() < slider->maximum() ? Qt::Key_Right : Qt::Key_Left);
    EXPECT_NE(slider->value(), value);
    EXPECT_DOUBLE_EQ(store().time(), 10);
    // Back in the window, the keys work again.
    window->showBay(0);
    window->stack()->list()->setFocus();
    QTest::keyClick(window->stack()->list(), Qt::Key_N);
    EXPECT_EQ(store().captions().size(), before.size() + 1);
}

TEST_F(WindowKeys, TimeFieldHandsTheFocusBackAndUndoIsTheStores) {
    QLineEdit* start = row(1)->startField();
    QTest::mouseClick(start, Qt::LeftButton);
    ASSERT_TRUE(start->hasFocus());
    start->selectAll();
    type(QStringLiteral("00:00:02.500"));
    QTest::keyClick(start, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(store().captions()[1].start, 2.5);
    EXPECT_FALSE(start->hasFocus());
    EXPECT_TRUE(window->stack()->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == window->stack());
    // The single keys are the window's again, not typed into the field.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_TRUE(store().playing());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_K);
    EXPECT_FALSE(store().playing());
    EXPECT_EQ(row(1)->startField()->text(), QStringLiteral("00:00:02.500"));

    // Ctrl+Z and Ctrl+Shift+Z undo and redo the store's change.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(store().captions()[1].start, 3);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z,
                    Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_DOUBLE_EQ(store().captions()[1].start, 2.5);

    // A change made elsewhere is undone from inside a time field too.
    store().nudgeCaption(store().captions()[0].id, 0.1);
    EXPECT_DOUBLE_EQ(store().captions()[0].start, 1.1);
    start = row(1)->startField();
    QTest::mouseClick(start, Qt::LeftButton);
    ASSERT_TRUE(start->hasFocus());
    QTest::keyClick(start, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(store().captions()[0].start, 1);

    // Escape drops what was typed and leaves the field.
    start->selectAll();
    type(QStringLiteral("00:00:09"));
    QTest::keyClick(start, Qt::Key_Escape);
    EXPECT_FALSE(start->hasFocus());
    EXPECT_EQ(row(1)->startField()->text(), QStringLiteral("00:00:02.500"));
    EXPECT_DOUBLE_EQ(store().captions()[1].start, 2.5);
}

TEST_F(WindowKeys, DeleteOnlyFromTheListOrTheLane) {
    store().setSelected(store().captions()[0].id);
    // The focus on a header button: Delete deletes nothing.
    auto* button = window->header()->findChild<QAbstractButton*>();
    ASSERT_TRUE(button);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Delete);
    EXPECT_EQ(store().captions().size(), 3);
    // In the list it deletes the selected caption.
    window->stack()->list()->setFocus();
    QTest::keyClick(window->stack()->list(), Qt::Key_Delete);
    ASSERT_EQ(store().captions().size(), 2);
    EXPECT_EQ(store().captions()[0].text, QStringLiteral("Second"));
    // A click on the lane gives it the keys.
    store().setSelected(store().captions()[0].id);
    QTest::mouseClick(window->lane(), Qt::LeftButton, {}, QPoint(4, window->lane()->height() - 4));
    ASSERT_TRUE(window->lane() == QApplication::focusWidget() ||
                window->lane()->isAncestorOf(QApplication::focusWidget()));
    store().setSelected(store().captions()[0].id);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    EXPECT_EQ(store().captions().size(), 1);
    // The menu command still deletes from anywhere.
    button->setFocus();
    store().setSelected(store().captions()[0].id);
    action(QStringLiteral("Delete Caption"))->trigger();
    EXPECT_TRUE(store().captions().isEmpty());
}

TEST_F(WindowKeys, RestorePreviousIsOnlyOfferedWithSomethingToRestore) {
    QAction* restore = action(QStringLiteral("Restore Previous Captions"));
    ASSERT_TRUE(restore);
    EXPECT_FALSE(restore->isEnabled());
    store().setPreviousCaptions(Captions{Caption::make(0, 1, QStringLiteral("Old"))});
    EXPECT_TRUE(restore->isEnabled());
    restore->trigger();
    EXPECT_EQ(store().captions().size(), 1);
    EXPECT_TRUE(restore->isEnabled()); // the replaced list can be restored in turn
    store().setPreviousCaptions(std::nullopt);
    EXPECT_FALSE(restore->isEnabled());
}

} // namespace

namespace {
class WindowChecks : public WindowKeys {};
} // namespace

TEST_F(WindowChecks, ProblemsAreMarkedCountedAndWalkedWithF8) {
    const QString fast = QStringLiteral("far too many characters for one second");
    store().setCaptions({Caption::make(1, 2, fast), Caption::make(3, 4, QStringLiteral("fine")),
                         Caption::make(5, 6, fast)});
    auto* status = window->findChild<QLabel*>(QStringLiteral("problemCount"));
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isVisible());
    EXPECT_TRUE(status->text().contains(QStringLiteral("2 captions need attention")));
    EXPECT_EQ(row(0)->problems(),
              QStringList{QStringLiteral("38.0 characters per second; the limit is 17.")});
    EXPECT_TRUE(row(1)->problems().isEmpty());

    // F8 and Shift+F8 walk the problems from the playhead, round the list.
    store().seek(2.5);
    QTest::keyClick(window.get(), Qt::Key_F8);
    EXPECT_EQ(store().selected(), store().captions()[2].id);
    QTest::keyClick(window.get(), Qt::Key_F8);
    EXPECT_EQ(store().selected(), store().captions()[0].id);
    QTest::keyClick(window.get(), Qt::Key_F8, Qt::ShiftModifier);
    EXPECT_EQ(store().selected(), store().captions()[2].id);

    // Mending the text clears the mark and the count as one types.
    store().setText(store().captions()[0].id, QStringLiteral("short"));
    store().setText(store().captions()[2].id, QStringLiteral("short"));
    EXPECT_TRUE(row(0)->problems().isEmpty());
    EXPECT_FALSE(status->isVisible());
}

// An unsure word is underlined in its row until it is typed over in that row.
TEST_F(WindowChecks, UnsureWordsAreUnderlinedUntilTypedOver) {
    Caption heard = Caption::make(1, 3, QStringLiteral("meet me in Ardenne"));
    heard.confidence = {{0, QStringLiteral("meet"), 0.9f}, {11, QStringLiteral("Ardenne"), 0.2f}};
    store().setCaptions({heard, Caption::make(4, 5.5, QStringLiteral("fine"))});
    EXPECT_EQ(row(0)->unsureWords(), QStringList{QStringLiteral("Ardenne")});
    EXPECT_EQ(row(0)->problems(),
              QStringList{QStringLiteral("The recogniser was unsure of “Ardenne” (20 %).")});
    EXPECT_TRUE(row(1)->unsureWords().isEmpty());

    QPlainTextEdit* text = row(0)->textField();
    text->setFocus();
    text->moveCursor(QTextCursor::End);
    QTest::keyClick(text, Qt::Key_Backspace);
    QTest::keyClick(text, Qt::Key_Backspace);
    QTest::keyClick(text, Qt::Key_Backspace);
    EXPECT_EQ(store().captions()[0].text, QStringLiteral("meet me in Arde"));
    EXPECT_TRUE(row(0)->unsureWords().isEmpty());
    EXPECT_TRUE(row(0)->problems().isEmpty());
}

// The underline styles drawn over the row's text, as (from, length, style) in the first line.
QList<std::tuple<int, int, int>> underlines(LWCaptionRow* row) {
    QList<std::tuple<int, int, int>> out;
    const QTextBlock block = row->textField()->document()->firstBlock();
    for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
        if (range.format.underlineStyle() != QTextCharFormat::NoUnderline)
            out.append({range.start, range.length, int(range.format.underlineStyle())});
    }
    return out;
}

TEST_F(WindowChecks, MisspelledWordsAreUnderlinedAndCorrectedFromTheMenu) {
    if (!store().spelling().statusText().startsWith(QStringLiteral("Spelling is checked")))
        GTEST_SKIP() << store().spelling().statusText().toStdString();
    const QString text = QStringLiteral("NASA sent teh data");
    store().setCaptions({Caption::make(1, 2, text), Caption::make(3, 4, QStringLiteral("Fine"))});
    store().resetHistory();
    const int wavy = QTextCharFormat::SpellCheckUnderline;
    const int dotted = QTextCharFormat::DotLine;
    ASSERT_TRUE(spinUntil([&] { return !underlines(row(0)).isEmpty(); }));
    EXPECT_EQ(underlines(row(0)), (QList<std::tuple<int, int, int>>{{10, 3, wavy}}));
    EXPECT_TRUE(underlines(row(1)).isEmpty());

    // The recogniser's unsure words: a dotted line, beside the spelling mark.
    row(0)->wordMarks()->setUnsure({{0, 4}});
    EXPECT_EQ(underlines(row(0)),
              (QList<std::tuple<int, int, int>>{{0, 4, dotted}, {10, 3, wavy}}));
    row(0)->wordMarks()->setUnsure({});

    // Right-click on the word: corrections first, then Add to Dictionary and Ignore, then the
    // field's own items; a correction is one undo step.
    QPlainTextEdit* field = row(0)->textField();
    QTextCursor on(field->document());
    on.setPosition(11);
    std::unique_ptr<QMenu> menu(row(0)->textMenu(field->cursorRect(on).center()));
    QStringList items;
    for (QAction* a : menu->actions())
        items << a->text();
    ASSERT_GE(items.size(), 5);
    EXPECT_EQ(items[0], QStringLiteral("the"));
    EXPECT_TRUE(items.contains(QStringLiteral("Add to Dictionary")));
    EXPECT_LT(items.indexOf(QStringLiteral("Add to Dictionary")),
              items.indexOf(QStringLiteral("Ignore")));
    EXPECT_TRUE(std::any_of(items.begin(), items.end(),
                            [](const QString& item) { return item.startsWith(u"&Copy"); }));
    menu->actions()[0]->trigger();
    EXPECT_EQ(store().captions()[0].text, QStringLiteral("NASA sent the data"));
    EXPECT_TRUE(spinUntil([&] { return underlines(row(0)).isEmpty(); }));
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(store().captions()[0].text, text);

    // A word typed wrong is marked as one types; "Ignore" takes the mark away.
    field->setFocus();
    field->moveCursor(QTextCursor::End);
    type(QStringLiteral(" wrnog"));
    EXPECT_EQ(store().captions()[0].text, text + QStringLiteral(" wrnog"));
    EXPECT_TRUE(spinUntil([&] { return underlines(row(0)).size() == 2; }));
    EXPECT_EQ(row(0)->wordMarks()->misspelledWords(),
              (QStringList{QStringLiteral("teh"), QStringLiteral("wrnog")}));
    on.setPosition(int(text.size()) + 3);
    menu.reset(row(0)->textMenu(field->cursorRect(on).center()));
    for (QAction* a : menu->actions()) {
        if (a->text() == QStringLiteral("Ignore"))
            a->trigger();
    }
    EXPECT_EQ(row(0)->wordMarks()->misspelledWords(), QStringList{QStringLiteral("teh")});
    EXPECT_EQ(underlines(row(0)).size(), 1);
}

TEST_F(WindowChecks, FindAndReplaceFromTheKeyboard) {
    const Captions before = {Caption::make(1, 2, QStringLiteral("the colour of sound")),
                             Caption::make(3, 4, QStringLiteral("no match")),
                             Caption::make(5, 6, QStringLiteral("colour again"))};
    store().setCaptions(before);
    LWFindBar* bar = window->stack()->findBar();
    EXPECT_FALSE(bar->isVisible());

    // Ctrl+F opens the bar; typed letters go into its field, not to the single-key commands.
    QTest::keyClick(window.get(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(bar->isVisible());
    ASSERT_EQ(QApplication::focusWidget(), bar->findField());
    type(QStringLiteral("colour ns"));
    QTest::keyClick(bar->findField(), Qt::Key_Backspace);
    QTest::keyClick(bar->findField(), Qt::Key_Backspace);
    QTest::keyClick(bar->findField(), Qt::Key_Backspace);
    EXPECT_EQ(bar->findField()->text(), QStringLiteral("colour"));
    EXPECT_EQ(store().captions(), before);

    // Return finds the next match: its caption is selected and the match highlighted.
    QTest::keyClick(bar->findField(), Qt::Key_Return);
    EXPECT_EQ(store().selected(), before[0].id);
    EXPECT_EQ(row(0)->highlighted(), QStringLiteral("colour"));
    QTest::keyClick(window.get(), Qt::Key_F3);
    EXPECT_EQ(store().selected(), before[2].id);
    EXPECT_EQ(row(2)->highlighted(), QStringLiteral("colour"));
    EXPECT_TRUE(row(0)->highlighted().isEmpty());

    // Ctrl+H, a replacement, Replace All: one undo step.
    QTest::keyClick(window.get(), Qt::Key_H, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), bar->replaceField());
    type(QStringLiteral("color"));
    bar->replaceAll();
    EXPECT_EQ(store().captions()[0].text, QStringLiteral("the color of sound"));
    EXPECT_EQ(store().captions()[2].text, QStringLiteral("color again"));
    EXPECT_EQ(store().note(), QStringLiteral("Replaced 2 matches in 2 captions."));
    QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(store().captions(), before);

    // Escape closes the bar and gives the keys back to the list.
    bar->findField()->setFocus();
    QTest::keyClick(bar->findField(), Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), window->stack()->list());
}
