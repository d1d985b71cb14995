#pragma once

#include "LWSpeller.h"

#include <QList>
#include <QPointer>
#include <QSyntaxHighlighter>
#include <functional>
#include <optional>
#include <utility>

class LWSpelling;
class QMenu;

// The marks under words of a caption's text: a red wavy line under each word the dictionary
// doesn't know, and a dotted amber line under the stretches the recogniser was unsure of. Spelling
// answers come from `LWSpelling` as they are known; the marks follow as they arrive. Main thread.
class LWWordMarks : public QSyntaxHighlighter {
    Q_OBJECT
public:
    // `spelling` may be null: no spelling marks, only the unsure ones.
    LWWordMarks(QTextDocument* document, LWSpelling* spelling);

    // The (from, length) character spans of the text to mark as unsure.
    void setUnsure(const QList<std::pair<int, int>>& spans);
    const QList<std::pair<int, int>>& unsure() const { return m_unsure; }

    // The misspelled word at `position` of the text (a cursor position: at its start, inside or
    // at its end), or nothing.
    std::optional<LWSpeller::Word> misspelledAt(int position) const;
    // The words marked as misspelled now, in order.
    QStringList misspelledWords() const;
    // Puts the spelling choices for the word at `position` before the menu's first item: the
    // corrections (each calls `replace` with the word and its correction), then "Add to
    // Dictionary" and "Ignore". Nothing for a word that isn't marked.
    void
    addSpellingActions(QMenu* menu, int position,
                       const std::function<void(const LWSpeller::Word&, const QString&)>& replace);

protected:
    void highlightBlock(const QString& text) override;

private:
    QPointer<LWSpelling> m_spelling;
    QList<std::pair<int, int>> m_unsure;
    bool m_waiting = false; // some words shown were not answered yet
};
