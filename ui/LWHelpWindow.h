#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QScrollArea;
class QVBoxLayout;

// One block of a help page.
struct HelpBlock {
    enum class Kind { heading, text, steps, bullets, control, key, tip };
    Kind kind = Kind::text;
    QString text;      // heading, text, tip; the name or keys of control and key
    QString detail;    // control and key: the explanation or action
    QStringList items; // steps and bullets

    static HelpBlock heading(QString t) { return {Kind::heading, std::move(t), {}, {}}; }
    static HelpBlock paragraph(QString t) { return {Kind::text, std::move(t), {}, {}}; }
    static HelpBlock steps(QStringList l) { return {Kind::steps, {}, {}, std::move(l)}; }
    static HelpBlock bullets(QStringList l) { return {Kind::bullets, {}, {}, std::move(l)}; }
    static HelpBlock control(QString n, QString d) {
        return {Kind::control, std::move(n), std::move(d), {}};
    }
    static HelpBlock key(QString k, QString a) {
        return {Kind::key, std::move(k), std::move(a), {}};
    }
    static HelpBlock tip(QString t) { return {Kind::tip, std::move(t), {}, {}}; }

    // What search looks through: the text of heading, text and tip; the items of steps and
    // bullets joined with single spaces; for control and key both parts joined with one space.
    QString searchable() const;
};

struct HelpPage {
    QString id;
    QString title;
    QString symbol; // a symbol name of BCIcons
    QList<HelpBlock> blocks;
};

namespace LWHelpPages {
// Every page in catalogue order: the shared pages ("look", "about"), then the application's.
const QList<HelpPage>& all();
} // namespace LWHelpPages

// The help view: a sidebar (heading, search field, the matching pages) and the selected page's
// blocks in a scrolling column. Follows the shared theme and zoom. Main thread only.
class BCHelpView : public QWidget {
    Q_OBJECT
public:
    BCHelpView(QList<HelpPage> pages, QString appName, QString initial, QWidget* parent = nullptr);

    // The pages whose title or any block's searchable text contains `search` trimmed of white
    // space at both ends, ignoring case; all pages for an empty search. Order is kept.
    static QList<HelpPage> filter(const QList<HelpPage>& pages, const QString& search);
    QList<HelpPage> filtered() const { return filter(m_pages, m_search); }

    QString selected() const { return m_selected; }
    void select(const QString& id);
    QString search() const { return m_search; }
    void setSearch(const QString& text);

    // The search: every keystroke filters the page list; Return moves on to the list.
    QLineEdit* searchField() const { return m_searchField; }
    // The page list: a click, Up/Down/Home/End or Page Up/Down select the page under the cursor.
    QListWidget* sidebar() const { return m_list; }
    // The sentence shown in place of the list when the search matches no page (hidden otherwise).
    QLabel* noMatchLabel() const { return m_noMatch; }
    // The sentence for a search that matches no page.
    static QString noMatchText(const QString& search);
    // The widget showing the selected page (its title label is named "pageTitle").
    QWidget* pageWidget() const { return m_page; }

private:
    void refreshList();
    void showPage();
    void applyLook();
    QWidget* render(const HelpBlock& block, QWidget* parent) const;

    QList<HelpPage> m_pages;
    QString m_appName;
    QString m_initial;
    bool m_filling = false; // the list is being refilled: its current row says nothing
    QString m_selected;
    QString m_search;

    QLabel* m_heading = nullptr;
    QLabel* m_subheading = nullptr;
    QLineEdit* m_searchField = nullptr;
    QListWidget* m_list = nullptr;
    QLabel* m_noMatch = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_page = nullptr;
};

// The one help window of the run, made on first use and kept (closing only hides it).
namespace BCHelpWindow {
// Opens the help window at `page` (the first page when empty or not a page's id) with a fresh
// view: the search starts empty again. Returns the view now shown.
BCHelpView* show(const QString& page = {});
// The window, when it has been made.
QWidget* window();
} // namespace BCHelpWindow
