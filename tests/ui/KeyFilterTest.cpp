#include "LWKeyFilter.h"
#include "UiFixture.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

namespace {

// Sends one key press (and its release) to `target` as the window system would.
void press(QWidget* target, int key, const QString& text,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &up);
}

} // namespace

class KeyFilter : public UiFixture {};

TEST_F(KeyFilter, SeekAndPlayKeys) {
    openMedia(100);
    struct Case {
        int key;
        QString text;
        bool shift;
        double from;
        double expected;
    };
    const Case cases[] = {
        {Qt::Key_Right, {}, false, 10, 10.2},
        {Qt::Key_Right, {}, true, 10, 15},
        {Qt::Key_Left, {}, false, 10, 9.8},
        {Qt::Key_Left, {}, true, 3, 0},
        {Qt::Key_J, QStringLiteral("j"), false, 10, 8},
        {Qt::Key_L, QStringLiteral("l"), false, 10, 12},
        {Qt::Key_L, QStringLiteral("L"), true, 99, 100},
    };
    for (const Case& c : cases) {
        store->seek(c.from);
        EXPECT_TRUE(LWKeyFilter::handle(*store, c.key, c.shift, c.text));
        EXPECT_NEAR(store->time(), c.expected, 1e-9) << c.key << " " << c.text.toStdString();
    }
    EXPECT_TRUE(LWKeyFilter::handle(*store, Qt::Key_Space, false, QStringLiteral(" ")));
    EXPECT_TRUE(store->playing());
    EXPECT_TRUE(LWKeyFilter::handle(*store, Qt::Key_K, false, QStringLiteral("k")));
    EXPECT_FALSE(store->playing());
    // "k" only pauses: pressed again while paused it does not start playback.
    EXPECT_TRUE(LWKeyFilter::handle(*store, Qt::Key_K, false, QStringLiteral("k")));
    EXPECT_FALSE(store->playing());
    EXPECT_FALSE(LWKeyFilter::handle(*store, Qt::Key_Q, false, QStringLiteral("q")));
    EXPECT_FALSE(LWKeyFilter::handle(*store, Qt::Key_F5, false, QString()));
}

TEST_F(KeyFilter, SplitsTheSelectedOrTheActiveCaption) {
    openMedia(100);
    setCaptions({{1, 3}, {5, 9}});
    // Nothing selected, playhead between captions: handled, nothing changes, no beep.
    store->setSelected(std::nullopt);
    store->seek(4);
    const Captions before = store->captions();
    EXPECT_TRUE(LWKeyFilter::handle(*store, Qt::Key_S, false, QStringLiteral("s")));
    EXPECT_EQ(store->captions(), before);
    EXPECT_EQ(hooks.beeps, 0);
    // Nothing selected, playhead inside the second caption: that one is split.
    store->seek(7);
    EXPECT_TRUE(LWKeyFilter::handle(*store, Qt::Key_S, false, QStringLiteral("s")));
    ASSERT_EQ(store->captions().size(), 3);
    EXPECT_DOUBLE_EQ(store->captions()[1].end, 7);
    // A selection wins over the caption at the playhead.
    store->setSelected(store->captions()[0].id);
    store->seek(2);
    EXPECT_TRUE(LWKeyFilter::handle(*store, Qt::Key_S, false, QStringLiteral("s")));
    ASSERT_EQ(store->captions().size(), 4);
    EXPECT_DOUBLE_EQ(store->captions()[0].end, 2);
}

TEST_F(KeyFilter, BracketsNudgeTheSelection) {
    openMedia(100);
    setCaptions({{10, 12}});
    store->setSelected(std::nullopt);
    const Captions before = store->captions();
    EXPECT_TRUE(LWKeyFilter::handle(*store, Qt::Key_BracketLeft, false, QStringLiteral("[")));
    EXPECT_EQ(store->captions(), before) << "nothing selected, nothing moves";
    store->setSelected(store->captions()[0].id);
    EXPECT_TRUE(LWKeyFilter::handle(*store, Qt::Key_BracketRight, false, QStringLiteral("]")));
    EXPECT_NEAR(store->captions()[0].start, 10.1, 1e-9);
    EXPECT_TRUE(LWKeyFilter::handle(*store, Qt::Key_BracketLeft, true, QStringLiteral("[")));
    EXPECT_NEAR(store->captions()[0].start, 9.6, 1e-9);
    // Where Shift turns the bracket into a brace, the key is not a command.
    EXPECT_FALSE(LWKeyFilter::handle(*store, Qt::Key_BraceLeft, true, QStringLiteral("{")));
}

TEST_F(KeyFilter, TextFieldsAndCtrlPassThrough) {
    openMedia(100);
    QWidget window;
    auto* filter = new LWKeyFilter(*store, window);
    qApp->installEventFilter(filter);
    auto* column = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    auto* editor = new QPlainTextEdit(&window);
    auto* button = new QPushButton(QStringLiteral("x"), &window);
    column->addWidget(field);
    column->addWidget(editor);
    column->addWidget(button);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    // Typing into a caption's text never triggers a command, and the character is typed.
    for (QWidget* typing : {static_cast<QWidget*>(field), static_cast<QWidget*>(editor)}) {
        typing->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), typing);
        press(typing, Qt::Key_N, QStringLiteral("n"));
        press(typing, Qt::Key_S, QStringLiteral("s"));
        press(typing, Qt::Key_Space, QStringLiteral(" "));
        EXPECT_TRUE(store->captions().isEmpty());
        EXPECT_FALSE(store->playing());
    }
    EXPECT_EQ(field->text(), QStringLiteral("ns "));
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("ns "));

    // With the focus on a button, the same keys are commands, consumed once each.
    button->setFocus();
    press(button, Qt::Key_N, QStringLiteral("n"));
    EXPECT_EQ(store->captions().size(), 1);
    press(button, Qt::Key_Space, QStringLiteral(" "));
    EXPECT_TRUE(store->playing());

    // Ctrl combinations belong to the menus.
    press(button, Qt::Key_N, QStringLiteral("n"), Qt::ControlModifier);
    press(button, Qt::Key_Space, QStringLiteral(" "), Qt::ControlModifier);
    EXPECT_EQ(store->captions().size(), 1);
    EXPECT_TRUE(store->playing());
    EXPECT_FALSE(LWKeyFilter::reachesHandler(button, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_TRUE(LWKeyFilter::reachesHandler(button, Qt::ShiftModifier));
    qApp->removeEventFilter(filter);
}
