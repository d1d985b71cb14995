// Nothing in the window is cut off. At every zoom level, at the default size and at the least
// size the window allows, no control of the Style bay, the Export bay, the header or the selected
// caption row lies outside its parent or over a sibling, and each gets the room its text needs.
// Once the Style bay ran past its column ("Clean Outli…", slider values cut), the Nudge controls
// covered the selected row's times and the header squeezed the file name and the clock at 125 %.
#include "BCControls.h"
#include "BCUI.h"
#include "FakePlayer.h"
#include "LWCaptionRow.h"
#include "LWExportBay.h"
#include "LWHeader.h"
#include "LWMainWindow.h"
#include "LWStack.h"
#include "LWStore.h"
#include "TestServices.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QStackedWidget>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString nameOf(const QWidget* widget) {
    QString name = QString::fromLatin1(widget->metaObject()->className());
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        name += QStringLiteral(" “%1”").arg(button->text());
    else if (const auto* label = qobject_cast<const QLabel*>(widget))
        name += QStringLiteral(" “%1”").arg(label->text());
    else if (!widget->accessibleName().isEmpty())
        name += QStringLiteral(" “%1”").arg(widget->accessibleName());
    return name;
}

// Widgets a scroll area or list moves over their parent: only their width must fit.
bool scrolls(const QWidget* widget) {
    const QWidget* parent = widget->parentWidget();
    return parent && parent->objectName() == QStringLiteral("qt_scrollarea_viewport");
}

// What keeps `widget` from showing all of its text, or an empty text when nothing does.
QString cut(QWidget* widget) {
    const QSize size = widget->size();
    const auto narrower = [&](int needed) {
        return size.width() < needed
                   ? QStringLiteral("%1 px wide, needs %2").arg(size.width()).arg(needed)
                   : QString();
    };
    if (qobject_cast<LWExportTile*>(widget)) // its subtitle is one line, cut by design
        return narrower(widget->minimumSizeHint().width());
    if (auto* toggle = qobject_cast<BCSwitch*>(widget)) {
        if (size.height() < toggle->heightForWidth(size.width()))
            return QStringLiteral("%1 px high, its wrapped title needs %2")
                .arg(size.height())
                .arg(toggle->heightForWidth(size.width()));
        return narrower(toggle->minimumSizeHint().width());
    }
    if (qobject_cast<BCChromeButton*>(widget) || qobject_cast<BCLCD*>(widget) ||
        qobject_cast<QPushButton*>(widget))
        return narrower(widget->sizeHint().width());
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        if (label->text().isEmpty())
            return {};
        if (label->wordWrap())
            return size.height() < label->heightForWidth(size.width())
                       ? QStringLiteral("wrapped text needs %1 px of height")
                             .arg(label->heightForWidth(size.width()))
                       : QString();
        return narrower(label->sizeHint().width());
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                           QStyle::SC_ComboBoxEditField, combo);
        const int text = combo->fontMetrics().horizontalAdvance(combo->currentText());
        return field.width() < text
                   ? QStringLiteral("shows %1 px of its %2 px text").arg(field.width()).arg(text)
                   : QString();
    }
    if (auto* text = qobject_cast<QPlainTextEdit*>(widget)) {
        // A caption's text scrolls only when it has more lines than its box was given.
        const auto* row = qobject_cast<LWCaptionRow*>(text->parentWidget());
        const int lines = text->document()->lineCount();
        return row && text->verticalScrollBar()->maximum() > 0 && lines <= row->textLines()
                   ? QStringLiteral("scrolls its %1 lines in a box of %2")
                         .arg(lines)
                         .arg(row->textLines())
                   : QString();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->hasFrame() ? 1 : 0;
        const QRect contents =
            edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        const int text = edit->fontMetrics().horizontalAdvance(edit->text()) + 4; // its margins
        return contents.width() < text
                   ? QStringLiteral("shows %1 px of its %2 px text").arg(contents.width()).arg(text)
                   : QString();
    }
    return {};
}

// Every visible control under `root` inside its parent, clear of its siblings and showing its
// whole text; each fault as a sentence.
QStringList audit(QWidget* root) {
    QStringList faults;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        if (!widget->isVisible() || widget->objectName().startsWith(QStringLiteral("qt_")))
            continue;
        if (const QString problem = cut(widget); !problem.isEmpty())
            faults << nameOf(widget) + QStringLiteral(" cut: ") + problem;
        QWidget* parent = widget->parentWidget();
        if (widget == root || !parent)
            continue;
        const QRect place = widget->geometry();
        const QRect room = parent->rect();
        const bool inside = scrolls(widget)
                                ? place.left() >= room.left() && place.right() <= room.right()
                                : room.contains(place);
        if (!inside) {
            faults << QStringLiteral("%1 at (%2,%3 %4x%5) outside %6 (%7x%8)")
                          .arg(nameOf(widget))
                          .arg(place.x())
                          .arg(place.y())
                          .arg(place.width())
                          .arg(place.height())
                          .arg(nameOf(parent))
                          .arg(room.width())
                          .arg(room.height());
        }
        if (scrolls(widget))
            continue;
        for (QWidget* sibling : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (sibling <= widget || !sibling->isVisible() ||
                sibling->objectName().startsWith(QStringLiteral("qt_")))
                continue;
            if (sibling->geometry().intersects(place))
                faults << nameOf(widget) + QStringLiteral(" overlaps ") + nameOf(sibling);
        }
    }
    return faults;
}

void settle() {
    for (int i = 0; i < 4; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    }
}

class WindowLayout : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<LWMainWindow>(services.get());
        LWStore& s = window->store();
        auto fake = std::make_unique<FakePlayer>();
        s.setPlayer(std::move(fake));
        BCOpenedMedia media;
        media.original = QUrl::fromLocalFile(QStringLiteral("/tmp/interview-take-3.mp4"));
        media.playable = media.original;
        media.duration = 754.5;
        media.hasVideo = true;
        media.hasAudio = true;
        media.naturalSize = QSize(1920, 1080);
        s.setMedia(media);
        s.setCaptions(
            {Caption::make(601.5, 604.25, QStringLiteral("Welcome back to the programme.")),
             Caption::make(604.25, 609,
                           QStringLiteral("Every caption is timed to the speech,\n"
                                          "and every line can be edited here.")),
             Caption::make(609, 612, QStringLiteral("Thank you.")),
             Caption::make(612, 616,
                           QStringLiteral("A caption long enough to wrap onto a "
                                          "third line in the box."))});
        s.setSelected(s.captions()[1].id);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override {
        window.reset();
        BCUI::shared().setZoom(1.0);
    }

    LWStore& store() { return window->store(); }
    // Shows bay `index` and returns its content.
    QWidget* bay(int index) {
        window->showBay(index);
        settle();
        auto* pages = qobject_cast<QStackedWidget*>(window->stack()->parentWidget());
        QWidget* page = pages->widget(index);
        if (auto* scroll = qobject_cast<QScrollArea*>(page))
            return scroll->widget();
        return page;
    }

    TestServices services; // outlives the window
    std::unique_ptr<LWMainWindow> window;
};

TEST_F(WindowLayout, NothingIsCutAtAnyZoomOrWindowSize) {
    for (double zoom : BCUI::zoomLevels) {
        BCUI::shared().setZoom(zoom);
        settle();
        for (const QSize size : {QSize(1360, 860), window->minimumSize()}) {
            window->resize(size);
            settle();
            const std::string where = QStringLiteral("at %1 % in %2 x %3")
                                          .arg(qRound(zoom * 100))
                                          .arg(window->width())
                                          .arg(window->height())
                                          .toStdString();
            // The window's content fits the window.
            EXPECT_TRUE(window->rect().contains(window->centralWidget()->geometry()))
                << where << ": content " << window->centralWidget()->width() << " x "
                << window->centralWidget()->height();
            const QStringList header = audit(window->header());
            EXPECT_TRUE(header.isEmpty()) << where << ", header:\n"
                                          << header.join(u'\n').toStdString();
            // The document title shows in full.
            bool titled = false;
            for (auto* label : window->header()->findChildren<QLabel*>())
                titled = titled || label->text() == QStringLiteral("interview-take-3.mp4");
            EXPECT_TRUE(titled) << where << ": the file name is shortened";
            // The header gives up the product title and the words only when it must.
            if (zoom == 1.0 && size == QSize(1360, 860)) {
                EXPECT_EQ(window->header()->form(), LWHeader::Form::full) << where;
            }

            QWidget* captions = bay(0);
            const QStringList list = audit(captions);
            EXPECT_TRUE(list.isEmpty()) << where << ", captions bay:\n"
                                        << list.join(u'\n').toStdString();
            LWCaptionRow* row = window->stack()->list()->rowFor(store().captions()[1].id);
            ASSERT_NE(row, nullptr) << where;
            const QStringList selected = audit(row);
            EXPECT_TRUE(selected.isEmpty()) << where << ", selected row:\n"
                                            << selected.join(u'\n').toStdString();
            for (int index : {1, 2}) {
                const QStringList faults = audit(bay(index));
                EXPECT_TRUE(faults.isEmpty())
                    << where << (index == 1 ? ", style bay:\n" : ", export bay:\n")
                    << faults.join(u'\n').toStdString();
            }
        }
    }
}

} // namespace

namespace {

QPushButton* buttonTitled(QWidget* root, const QString& title) {
    for (auto* button : root->findChildren<QPushButton*>()) {
        if (button->text() == title)
            return button;
    }
    return nullptr;
}

TEST_F(WindowLayout, TextBoxesGrowWithTheirCaptionsUpToOneLineMoreThanTheRules) {
    store().setCaptions({Caption::make(1, 2, QStringLiteral("Thank you.")),
                         Caption::make(2, 3, QStringLiteral("One line,\nand another.")),
                         Caption::make(3, 4, QStringLiteral("One,\ntwo,\nthree.")),
                         Caption::make(4, 5, QStringLiteral("1\n2\n3\n4\n5"))});
    bay(0);
    settle();
    const auto row = [this](int index) {
        return window->stack()->list()->rowFor(store().captions()[index].id);
    };
    struct Case {
        int index;
        int lines;
        bool scrolls;
    };
    for (const Case& c :
         {Case{0, 2, false}, Case{1, 2, false}, Case{2, 3, false}, Case{3, 3, true}}) {
        ASSERT_NE(row(c.index), nullptr) << c.index;
        EXPECT_EQ(row(c.index)->textLines(), c.lines) << c.index;
        EXPECT_EQ(row(c.index)->textField()->verticalScrollBar()->maximum() > 0, c.scrolls)
            << c.index;
    }
    // Rows stand one under the other, their heights following their text boxes.
    EXPECT_GT(row(2)->height(), row(1)->height());
    EXPECT_LE(row(1)->geometry().bottom(), row(2)->geometry().top());
    // Rules of one line per caption: two lines at most.
    CaptionMath::Rules rules = store().rules();
    rules.maxLines = 1;
    store().setRules(rules);
    settle();
    EXPECT_EQ(row(2)->textLines(), 2);
    // A caption typed longer takes more lines at once.
    store().setText(store().captions()[0].id, QStringLiteral("Thank you.\nVery much."));
    rules.maxLines = 2;
    store().setRules(rules);
    store().setText(store().captions()[0].id, QStringLiteral("Thank\nyou\nvery much."));
    settle();
    EXPECT_EQ(row(0)->textLines(), 3);
}

TEST_F(WindowLayout, PresetsTakeAsManyColumnsAsFit) {
    for (double zoom : {0.85, 1.0, 1.5, 2.0}) {
        BCUI::shared().setZoom(zoom);
        settle();
        QWidget* style = bay(1);
        QList<QPushButton*> presets;
        for (auto* button : style->findChildren<QPushButton*>(QStringLiteral("preset")))
            presets << button;
        ASSERT_EQ(presets.size(), 5);
        int least = BCUI::shared().px(110);
        QSet<int> columns;
        for (QPushButton* button : presets) {
            least = std::max(least, button->sizeHint().width());
            columns.insert(button->x());
        }
        const int gap = BCUI::shared().px(6);
        const int room = style->layout()->contentsRect().width();
        const int fit = std::min<int>(5, (room + gap) / (least + gap));
        EXPECT_EQ(columns.size(), fit) << zoom;
        EXPECT_GE(columns.size(), 2) << zoom;
        for (QPushButton* button : presets)
            EXPECT_GE(button->width(), least) << zoom << " " << button->text().toStdString();
    }
}

TEST_F(WindowLayout, PositionAndLinesAlwaysKeepAChoice) {
    QWidget* style = bay(1);
    QPushButton* bottom = buttonTitled(style, QStringLiteral("Bottom"));
    QPushButton* top = buttonTitled(style, QStringLiteral("Top"));
    QPushButton* two = buttonTitled(style, QStringLiteral("2 lines"));
    ASSERT_TRUE(bottom && top && two);
    ASSERT_TRUE(bottom->isChecked());
    // Clicking the chosen one keeps it chosen (it once unchecked it, leaving no choice shown).
    QTest::mouseClick(bottom, Qt::LeftButton);
    EXPECT_TRUE(bottom->isChecked());
    EXPECT_EQ(store().style().position, CaptionStyle::Position::bottom);
    QTest::mouseClick(top, Qt::LeftButton);
    EXPECT_TRUE(top->isChecked());
    EXPECT_FALSE(bottom->isChecked());
    EXPECT_EQ(store().style().position, CaptionStyle::Position::top);
    ASSERT_TRUE(two->isChecked());
    QTest::mouseClick(two, Qt::LeftButton);
    EXPECT_TRUE(two->isChecked());
    EXPECT_EQ(store().rules().maxLines, 2);
}

} // namespace
