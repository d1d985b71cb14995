// The main window without a mouse: Tab walks through the header, the bay selector, the bay shown
// and a caption row's fields; every stop has an accessible name and role, and shows that it has
// the focus in every theme.
#include "BCTheme.h"
#include "BCUI.h"
#include "FakePlayer.h"
#include "LWCaptionRow.h"
#include "LWExportBay.h"
#include "LWHeader.h"
#include "LWLane.h"
#include "LWMainWindow.h"
#include "LWStore.h"
#include "TestServices.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

struct Stop {
    QWidget* widget;
    QString name;
    QAccessible::Role role;
};

QString describe(const QWidget* w) {
    return QString::fromLatin1(w->metaObject()->className()) + u' ' + w->objectName() + u' ' +
           w->accessibleName() + u' ' + w->property("text").toString() + QStringLiteral(" in ") +
           QString::fromLatin1(w->parentWidget() ? w->parentWidget()->metaObject()->className()
                                                 : "");
}

class KeyboardWalk : public ::testing::Test {
protected:
    void SetUp() override {
        previousTheme = BCUI::shared().theme();
        window = std::make_unique<LWMainWindow>(services.get());
        LWStore& store = window->store();
        store.setPlayer(std::make_unique<FakePlayer>());
        BCOpenedMedia media;
        media.original = QUrl::fromLocalFile(QStringLiteral("/tmp/walk.mp4"));
        media.playable = media.original;
        media.duration = 30;
        media.hasVideo = true;
        media.hasAudio = true;
        media.naturalSize = QSize(1920, 1080);
        store.setMedia(media);
        store.setCaptions({Caption::make(1, 2, QStringLiteral("First")),
                           Caption::make(3, 4, QStringLiteral("Second")),
                           Caption::make(5, 6, QStringLiteral("Third"))});
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override {
        window.reset();
        BCUI::shared().setTheme(previousTheme);
    }

    // Tabs from the first stop until the focus comes back to it, recording every stop; with
    // `rings`, also checks that each stop looks different while it has the focus.
    QList<Stop> walk(bool rings = false) {
        QWidget* first = window->centralWidget()->nextInFocusChain();
        while (first &&
               !(first->focusPolicy() & Qt::TabFocus && first->isVisible() && first->isEnabled()))
            first = first->nextInFocusChain();
        if (!first)
            return {};
        first->setFocus(Qt::TabFocusReason);
        QList<Stop> stops;
        for (int i = 0; i < 500; ++i) {
            QWidget* w = QApplication::focusWidget();
            if (!w || (i > 0 && w == first))
                break;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            stops.append({w, a ? a->text(QAccessible::Name) : QString(),
                          a ? a->role() : QAccessible::NoRole});
            const QImage focused = rings ? w->grab().toImage() : QImage();
            QTest::keyClick(w, Qt::Key_Tab);
            if (rings && QApplication::focusWidget() != w) {
                const QImage after = w->grab().toImage();
                EXPECT_NE(focused, after) << "no focus ring on " << describe(w).toStdString()
                                          << " in " << BCUI::shared().theme().id.toStdString();
            }
        }
        return stops;
    }

    static bool inside(const QWidget* w, const QWidget* parent) {
        return w == parent || parent->isAncestorOf(w);
    }

    TestServices services; // outlives the window
    std::unique_ptr<LWMainWindow> window;
    BCTheme previousTheme;
};

TEST_F(KeyboardWalk, TabReachesHeaderBaysAndRowsAndEveryStopIsNamed) {
    for (int bay : {0, 1, 2}) {
        SCOPED_TRACE(bay);
        window->showBay(bay);
        const QList<Stop> stops = walk();
        ASSERT_GT(stops.size(), 5);
        bool header = false, selector = false, inBay = false, rowText = false, rowTime = false;
        for (const Stop& s : stops) {
            SCOPED_TRACE(describe(s.widget).toStdString());
            EXPECT_FALSE(s.name.trimmed().isEmpty());
            EXPECT_NE(s.role, QAccessible::NoRole);
            EXPECT_NE(s.role, QAccessible::Client); // a bare widget tells a reader nothing
            header |= inside(s.widget, window->header());
            selector |= s.name == QStringLiteral("Style");
            inBay |= bay == 2 ? inside(s.widget, window->exportBay()) : false;
            if (auto* row = qobject_cast<LWCaptionRow*>(s.widget->parentWidget())) {
                rowText |= s.widget == row->textField();
                rowTime |= s.widget == row->startField();
            }
        }
        EXPECT_TRUE(header);
        EXPECT_TRUE(selector);
        if (bay == 0) {
            EXPECT_TRUE(rowText);
            EXPECT_TRUE(rowTime);
            // In reading order: the header, the bay selector, then a row's times, its text and
            // its tools.
            const auto at = [&](const QString& name) {
                for (qsizetype i = 0; i < stops.size(); ++i) {
                    if (stops[i].name == name)
                        return i;
                }
                return qsizetype(-1);
            };
            const QList<qsizetype> order = {
                at(QStringLiteral("Open")),         at(QStringLiteral("Captions")),
                at(QStringLiteral("Start time")),   at(QStringLiteral("End time")),
                at(QStringLiteral("Caption text")), at(QStringLiteral("Play from here"))};
            EXPECT_FALSE(order.contains(-1));
            EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
        }
        if (bay == 2) {
            EXPECT_TRUE(inBay);
        }
        // Each stop comes once in a round.
        QSet<QWidget*> seen;
        for (const Stop& s : stops) {
            EXPECT_FALSE(seen.contains(s.widget)) << describe(s.widget).toStdString();
            seen.insert(s.widget);
        }
    }
}

TEST_F(KeyboardWalk, EveryCustomControlHasANameAndARole) {
    const QStringList custom = {"BCChromeButton", "BCOrbButton", "BCSegment",     "BCSwitch",
                                "BCSlider",       "BCLCD",       "BCChromeTitle", "LWLaneCanvas",
                                "LWMonitor",      "LWCaptionRow"};
    QSet<QString> met;
    for (int bay : {0, 1, 2}) {
        window->showBay(bay);
        for (QWidget* w : window->findChildren<QWidget*>()) {
            const QString type = QString::fromLatin1(w->metaObject()->className());
            if (!custom.contains(type) || !w->isVisible())
                continue;
            SCOPED_TRACE(describe(w).toStdString());
            met.insert(type);
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            ASSERT_NE(a, nullptr);
            EXPECT_FALSE(a->text(QAccessible::Name).trimmed().isEmpty());
            EXPECT_NE(a->role(), QAccessible::Client);
            EXPECT_NE(a->role(), QAccessible::NoRole);
        }
    }
    EXPECT_EQ(met.size(), custom.size()) << QStringList(met.values()).join(u' ').toStdString();
}

TEST_F(KeyboardWalk, EveryStopShowsItsFocusInEveryTheme) {
    ASSERT_EQ(BCTheme::all().size(), 6);
    for (const BCTheme& theme : BCTheme::all()) {
        SCOPED_TRACE(theme.id.toStdString());
        BCUI::shared().setTheme(theme);
        for (int bay : {0, 1, 2}) {
            window->showBay(bay);
            walk(true);
        }
    }
}

} // namespace
