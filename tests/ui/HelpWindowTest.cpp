// The help pages, their search and the one help window, offscreen.
#include "BCIcons.h"
#include "LWHelpWindow.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

QStringList ids(const QList<HelpPage>& pages) {
    QStringList list;
    for (const HelpPage& page : pages)
        list.append(page.id);
    return list;
}

TEST(Help, PagesComeInCatalogueOrderWithTheirSymbols) {
    EXPECT_EQ(ids(LWHelpPages::all()),
              QStringList({"look", "about", "overview", "quickstart", "open", "transcribe",
                           "engines", "songs", "edit", "checks", "lane", "style", "export",
                           "elevenlabs", "keys", "tips"}));
    for (const HelpPage& page : LWHelpPages::all()) {
        SCOPED_TRACE(page.id.toStdString());
        EXPECT_FALSE(page.blocks.isEmpty());
        EXPECT_FALSE(BCIcons::file(page.symbol).isEmpty()) << page.symbol.toStdString();
    }
    EXPECT_FALSE(BCIcons::file(QStringLiteral("lightbulb.fill")).isEmpty()); // the tip mark
}

TEST(Help, SearchTrimsFoldsCaseAndKeepsOrder) {
    const QList<HelpPage>& all = LWHelpPages::all();
    const struct {
        QString search;
        QStringList expected; // pages that must be found (in this order among the results)
        bool exact;           // the results are exactly `expected`
    } cases[] = {
        {"", ids(all), true},
        {"   ", ids(all), true},
        {" ZOOM ", {"look"}, false},
        // A word found only in a shortcut's action.
        {"nudge", {"keys"}, true},
        {"keyboard SHORTCUTS", {"keys"}, true},
        {"Developers > API Keys", {"elevenlabs"}, false},
        {"no page says this", {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.search.toStdString());
        const QStringList found = ids(BCHelpView::filter(all, c.search));
        if (c.exact) {
            EXPECT_EQ(found, c.expected);
            continue;
        }
        for (const QString& id : c.expected)
            EXPECT_TRUE(found.contains(id)) << found.join(u' ').toStdString();
        QStringList inOrder = ids(all);
        inOrder.removeIf([&](const QString& id) { return !found.contains(id); });
        EXPECT_EQ(found, inOrder);
    }
}

TEST(Help, SearchableTextOfEachBlockKind) {
    EXPECT_EQ(HelpBlock::steps({"one", "two"}).searchable(), QStringLiteral("one two"));
    EXPECT_EQ(HelpBlock::key("Ctrl+O", "Open").searchable(), QStringLiteral("Ctrl+O Open"));
    EXPECT_EQ(HelpBlock::tip("Careful").searchable(), QStringLiteral("Careful"));
}

TEST(Help, EachOpeningShowsTheRequestedPageWithAnEmptySearch) {
    BCHelpView* view = BCHelpWindow::show(QStringLiteral("look"));
    QWidget* window = BCHelpWindow::window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("BRCT Lorowen Pro Help"));
    EXPECT_EQ(view->selected(), QStringLiteral("look"));
    view->searchField()->setText(QStringLiteral("  nudge "));
    EXPECT_EQ(view->sidebar()->count(), 1);

    view = BCHelpWindow::show(QStringLiteral("keys"));
    EXPECT_EQ(BCHelpWindow::window(), window); // the same window, a fresh view
    EXPECT_EQ(view->selected(), QStringLiteral("keys"));
    EXPECT_TRUE(view->searchField()->text().isEmpty());
    EXPECT_EQ(view->sidebar()->count(), LWHelpPages::all().size());
    EXPECT_EQ(view->sidebar()->currentItem()->text(), QStringLiteral("Keyboard Shortcuts"));
    const auto* title = view->pageWidget()->findChild<QLabel*>(QStringLiteral("pageTitle"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QStringLiteral("Keyboard Shortcuts"));
    EXPECT_EQ(window->findChildren<BCHelpView*>().size(), 1);

    // Without a page: the first one. Clicking in the sidebar selects.
    view = BCHelpWindow::show();
    EXPECT_EQ(view->selected(), QStringLiteral("look"));
    emit view->sidebar()->itemClicked(view->sidebar()->item(3));
    EXPECT_EQ(view->selected(), QStringLiteral("quickstart"));
    delete window; // the next show() makes a new one
}

// The page list used to change the page only on a click: Up, Down, Home and End moved the
// highlight while the page stayed where it was.
TEST(Help, ThePageListWorksFromTheKeyboard) {
    BCHelpView* view = BCHelpWindow::show();
    QWidget* window = BCHelpWindow::window();
    QApplication::setActiveWindow(window);
    view->searchField()->setFocus();
    ASSERT_TRUE(view->searchField()->hasFocus());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), view->sidebar()) << "Tab reaches the page list";

    const QStringList all = ids(LWHelpPages::all());
    const struct {
        Qt::Key key;
        QString page;
    } presses[] = {{Qt::Key_Down, all[1]},
                   {Qt::Key_Down, all[2]},
                   {Qt::Key_Up, all[1]},
                   {Qt::Key_End, all.last()},
                   {Qt::Key_Home, all.first()}};
    for (const auto& press : presses) {
        QTest::keyClick(view->sidebar(), press.key);
        EXPECT_EQ(view->selected(), press.page) << QTest::toString(press.key);
        const auto* title = view->pageWidget()->findChild<QLabel*>(QStringLiteral("pageTitle"));
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(title->text(), view->sidebar()->currentItem()->text());
    }

    // Return in the search moves on to the pages found; the keys then walk them.
    const QStringList found = ids(BCHelpView::filter(LWHelpPages::all(), QStringLiteral("zoom")));
    ASSERT_GE(found.size(), 2);
    const auto elsewhere = std::find_if(all.begin(), all.end(),
                                        [&](const QString& id) { return !found.contains(id); });
    ASSERT_NE(elsewhere, all.end());
    view->select(*elsewhere);
    view->searchField()->setFocus();
    QTest::keyClicks(view->searchField(), QStringLiteral("zoom"));
    EXPECT_EQ(ids(view->filtered()), found);
    QTest::keyClick(view->searchField(), Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), view->sidebar());
    EXPECT_EQ(view->selected(), found.first());
    QTest::keyClick(view->sidebar(), Qt::Key_End);
    EXPECT_EQ(view->selected(), found.last());
    delete window;
}

TEST(Help, ASearchWithoutAMatchSaysSo) {
    BCHelpView* view = BCHelpWindow::show();
    QWidget* window = BCHelpWindow::window();
    EXPECT_TRUE(view->noMatchLabel()->isHidden());
    view->searchField()->setText(QStringLiteral("  no page says this "));
    EXPECT_EQ(view->sidebar()->count(), 0);
    EXPECT_FALSE(view->noMatchLabel()->isHidden());
    EXPECT_EQ(view->noMatchLabel()->text(),
              QStringLiteral("No help page mentions “no page says this”. Try another word."));
    view->searchField()->setText(QStringLiteral("nudge"));
    EXPECT_TRUE(view->noMatchLabel()->isHidden());
    EXPECT_EQ(view->sidebar()->count(), 1);
    delete window;
}

TEST(Help, AnIdThatNamesNoPageOpensTheFirstPage) {
    // It used to open an empty page under no highlighted entry.
    BCHelpView* view = BCHelpWindow::show(QStringLiteral("no-such-page"));
    QWidget* window = BCHelpWindow::window();
    EXPECT_EQ(view->selected(), LWHelpPages::all().first().id);
    ASSERT_NE(view->sidebar()->currentItem(), nullptr);
    EXPECT_EQ(view->sidebar()->currentItem()->text(), LWHelpPages::all().first().title);
    delete window;
}

} // namespace
