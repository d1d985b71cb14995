#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <QUuid>
#include <QWidget>
#include <optional>

class LWCaptionRow;
class LWStore;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QPropertyAnimation;
class QStackedWidget;
class QToolButton;
class QPushButton;

// The scrolling list of caption rows. A row's text box grows with its caption's wrapped lines,
// from two up to the rules' line limit plus one, and the selected row has a Nudge line: the list
// works out every row's height from the caption alone, so only the rows in view exist as
// widgets, taken from a small pool and bound to the captions that show. A row being typed in
// keeps its caption while it scrolls out of view.
class LWRowList : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LWRowList(LWStore& store, QWidget* parent = nullptr);
    ~LWRowList() override;

    // The row widget showing that caption, if it is in view.
    LWCaptionRow* rowFor(const QUuid& id) const;
    // Distance from one plain two-line row's top to the next one's.
    int pitch() const;
    // Text box lines of the caption at `index` in rows.
    int linesFor(qsizetype index);
    // Scrolls the row of caption `index` to the middle of the view, eased over 0.2 s.
    void centreOn(qsizetype index, bool animated = true);
    void applyLook();
    // How many row widgets exist (the pool included).
    int rowWidgets() const { return int(m_pool.size() + m_bound.size()); }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void relayout();
    void follow();
    int heightOf(int lines, bool selected) const;

    LWStore& m_store;
    LWCaptionRow* m_sample = nullptr; // never shown; measures rows in the window's look
    QList<int> m_heights;             // row heights by lines, plain then selected
    int m_textWidth = 0;              // where the text boxes wrap
    bool m_textWidthKnown = false;    // reported by a row at the current width
    QHash<QUuid, std::pair<QString, int>> m_lines; // wrapped lines by caption, for a text
    QList<int> m_tops;                             // each row's top, then the content height
    QHash<QUuid, LWCaptionRow*> m_bound;
    QList<LWCaptionRow*> m_pool;
    std::optional<QUuid> m_active;
    QPropertyAnimation* m_scrolling = nullptr;
};

// The "Captions" bay: the count and the spoken-language picker, the list-wide buttons, and the
// rows (or a sentence when there is nothing to list).
class LWFindBar;

class LWStack : public QWidget {
    Q_OBJECT
public:
    explicit LWStack(LWStore& store, QWidget* parent = nullptr);

    LWRowList* list() const { return m_list; }
    LWFindBar* findBar() const { return m_find; }
    QComboBox* languagePicker() const { return m_language; }
    QLabel* emptyLabel() const { return m_empty; }
    // The picker's entries: locale identifiers with their names.
    void setLanguages(const QList<std::pair<QString, QString>>& languages);
    void applyLook();

private:
    void refresh();

    LWStore& m_store;
    QLabel* m_count = nullptr;
    QComboBox* m_language = nullptr;
    QStackedWidget* m_pages = nullptr;
    QLabel* m_empty = nullptr;
    LWRowList* m_list = nullptr;
    LWFindBar* m_find = nullptr;
    QHBoxLayout* m_buttons = nullptr;
    QList<QWidget*> m_controls;
};
