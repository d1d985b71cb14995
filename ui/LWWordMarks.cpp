#include "LWWordMarks.h"

#include "LWCaptionRow.h"
#include "LWSpelling.h"

#include <QAction>
#include <QMenu>
#include <QTextDocument>

LWWordMarks::LWWordMarks(QTextDocument* document, LWSpelling* spelling)
    : QSyntaxHighlighter(document), m_spelling(spelling) {
    if (!spelling)
        return;
    // Every answer may differ: mark the whole text again.
    connect(spelling, &LWSpelling::changed, this, [this] {
        m_waiting = false;
        rehighlight();
    });
    // New answers: only a text that was waiting for some is marked again.
    connect(spelling, &LWSpelling::checked, this, [this] {
        if (!m_waiting)
            return;
        m_waiting = false;
        rehighlight();
    });
}

void LWWordMarks::setUnsure(const QList<std::pair<int, int>>& spans) {
    if (spans == m_unsure)
        return;
    m_unsure = spans;
    rehighlight();
}

void LWWordMarks::highlightBlock(const QString& text) {
    const int base = currentBlock().position();
    // Unsure first: a misspelled word inside an unsure stretch shows as misspelled.
    if (!m_unsure.isEmpty()) {
        QTextCharFormat dotted;
        dotted.setUnderlineStyle(QTextCharFormat::DotLine);
        dotted.setUnderlineColor(LWCaptionRow::problemColour());
        for (const auto& [from, length] : std::as_const(m_unsure)) {
            const int start = std::max(from - base, 0);
            const int end = std::min<int>(from + length - base, int(text.size()));
            if (end > start)
                setFormat(start, end - start, dotted);
        }
    }
    if (!m_spelling)
        return;
    bool waiting = false;
    const QList<LWSpeller::Word> wrong = m_spelling->misspelled(text, &waiting);
    m_waiting = m_waiting || waiting;
    if (wrong.isEmpty())
        return;
    QTextCharFormat wavy;
    wavy.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    // A red that stands out on the dark field as on the light one.
    wavy.setUnderlineColor(QColor(0xFF, 0x4D, 0x4D));
    for (const LWSpeller::Word& word : wrong)
        setFormat(int(word.from), int(word.length), wavy);
}

std::optional<LWSpeller::Word> LWWordMarks::misspelledAt(int position) const {
    if (!m_spelling || !document())
        return std::nullopt;
    for (const LWSpeller::Word& word : m_spelling->misspelled(document()->toPlainText())) {
        if (position >= word.from && position <= word.from + word.length)
            return word;
    }
    return std::nullopt;
}

QStringList LWWordMarks::misspelledWords() const {
    QStringList out;
    if (m_spelling && document()) {
        for (const LWSpeller::Word& word : m_spelling->misspelled(document()->toPlainText()))
            out << word.text;
    }
    return out;
}

void LWWordMarks::addSpellingActions(
    QMenu* menu, int position,
    const std::function<void(const LWSpeller::Word&, const QString&)>& replace) {
    const std::optional<LWSpeller::Word> word = misspelledAt(position);
    if (!word)
        return;
    QAction* first = menu->actions().value(0);
    QList<QAction*> added;
    const QStringList corrections = m_spelling->suggestions(word->text);
    for (const QString& correction : corrections) {
        auto* action = new QAction(correction, menu);
        // The word as found now: the correction replaces exactly it.
        connect(action, &QAction::triggered, menu,
                [replace, found = *word, correction] { replace(found, correction); });
        added << action;
    }
    if (corrections.isEmpty()) {
        auto* none = new QAction(QStringLiteral("No Suggestions"), menu);
        none->setEnabled(false);
        added << none;
    }
    auto* separator = new QAction(menu);
    separator->setSeparator(true);
    added << separator;
    QPointer<LWSpelling> spelling = m_spelling;
    auto* add = new QAction(QStringLiteral("Add to Dictionary"), menu);
    connect(add, &QAction::triggered, menu, [spelling, text = word->text] {
        if (spelling)
            spelling->addToDictionary(text);
    });
    auto* ignore = new QAction(QStringLiteral("Ignore"), menu);
    connect(ignore, &QAction::triggered, menu, [spelling, text = word->text] {
        if (spelling)
            spelling->ignore(text);
    });
    added << add << ignore;
    if (first) {
        auto* rest = new QAction(menu);
        rest->setSeparator(true);
        added << rest;
    }
    menu->insertActions(first, added);
}
