#pragma once

#include "Caption.h"

#include <QColor>
#include <QFrame>

class LWStore;
class LWWordMarks;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QToolButton;

// One caption in the list: its number, start and end fields, length, row buttons, and the text
// field. Every change goes through the store; `bind` shows a caption again after any change,
// without disturbing a field the person is typing in.
class LWCaptionRow : public QFrame {
    Q_OBJECT
public:
    LWCaptionRow(LWStore& store, QWidget* parent = nullptr);

    void bind(int index, const Caption& caption, bool active, bool selected);
    const QUuid& id() const { return m_caption.id; }
    bool editing() const;
    void applyLook();
    // Makes the text box show `lines` lines (at least 1); longer text scrolls inside it.
    void setTextLines(int lines);
    int textLines() const { return m_lines; }
    // The row's height with a text box of `lines` lines, selected (with the Nudge line) or not.
    int heightFor(int lines, bool selected);

    QLineEdit* startField() const { return m_start; }
    QLineEdit* endField() const { return m_end; }
    QPlainTextEdit* textField() const { return m_text; }
    // The stretch of text highlighted as the match found (empty: none).
    QString highlighted() const;
    // The words underlined as ones the recogniser was unsure of.
    QStringList unsureWords() const;
    // The spelling and unsure-word marks of the text field.
    LWWordMarks* wordMarks() const { return m_marks; }
    // The text field's context menu for a click at `position` (viewport coordinates): the
    // spelling choices for a misspelled word there, then the field's own items. The caller owns it.
    QMenu* textMenu(const QPoint& position);

    // The amber of the delivery checks' marks, here and on the lane.
    static QColor problemColour();
    // Why this caption fails the delivery checks, one sentence each (empty: it passes). The
    // row shows an amber stripe and number, with these as the number's help.
    const QStringList& problems() const { return m_problems; }

    // The text a time field shows.
    static QString timeText(double seconds);
    // The length label: "%.1fs" of the caption's span, never negative.
    static QString lengthText(const Caption& caption);
    // How many lines `text` takes in the text box when it wraps at `width` pixels in `font`.
    static int wrappedLines(const QString& text, const QFont& font, int width);

signals:
    // Return or Escape in a time field: the typing is over and the focus goes back to the list.
    void fieldLeft();
    // The width the text box wraps its text at, whenever it changes.
    void textWidthChanged(int width);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void commitTime(bool start);
    void refreshTimes();
    int textHeight(int lines) const;

    LWStore& m_store;
    Caption m_caption;
    int m_index = -1;
    bool m_selected = false;
    int m_lines = 2;
    QLabel* m_number = nullptr;
    QLineEdit* m_start = nullptr;
    QLineEdit* m_end = nullptr;
    QLabel* m_length = nullptr;
    QStringList m_problems; // the delivery checks' reasons, shown as the row's mark
    QWidget* m_nudge = nullptr;
    QPlainTextEdit* m_text = nullptr;
    LWWordMarks* m_marks = nullptr;
    QList<QToolButton*> m_buttons;
};
