#include "LWFindBar.h"

#include "BCControls.h"
#include "LWStore.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

LWFindBar::LWFindBar(LWStore& store, QWidget* parent) : QWidget(parent), m_store(store) {
    setObjectName(QStringLiteral("findBar"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 4);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(3);

    m_find = new QLineEdit(this);
    m_find->setPlaceholderText(QStringLiteral("Find in captions"));
    m_find->setAccessibleName(QStringLiteral("Find"));
    m_find->setClearButtonEnabled(true);
    m_replace = new QLineEdit(this);
    m_replace->setPlaceholderText(QStringLiteral("Replace with"));
    m_replace->setAccessibleName(QStringLiteral("Replace with"));
    for (QLineEdit* field : {m_find, m_replace})
        field->installEventFilter(this);

    auto* previous = new QToolButton(this);
    previous->setArrowType(Qt::UpArrow);
    previous->setAutoRaise(true);
    previous->setToolTip(QStringLiteral("Find the previous match (Shift+F3)"));
    previous->setAccessibleName(QStringLiteral("Find previous"));
    auto* next = new QToolButton(this);
    next->setArrowType(Qt::DownArrow);
    next->setAutoRaise(true);
    next->setToolTip(QStringLiteral("Find the next match (F3)"));
    next->setAccessibleName(QStringLiteral("Find next"));
    auto* close = new QToolButton(this);
    close->setText(QStringLiteral("✕"));
    close->setAutoRaise(true);
    close->setToolTip(QStringLiteral("Close the find bar (Escape)"));
    close->setAccessibleName(QStringLiteral("Close find"));
    auto* replace = new BCChromeButton(QStringLiteral("Replace"), this);
    replace->setCompact(true);
    replace->setToolTip(QStringLiteral("Replace this match and find the next"));
    auto* all = new BCChromeButton(QStringLiteral("All"), this);
    all->setCompact(true);
    all->setToolTip(QStringLiteral("Replace every match (one undo step)"));
    all->setAccessibleName(QStringLiteral("Replace all"));

    // Short words, so the three fit the bay at every zoom; the full names are their help.
    m_case = new QCheckBox(QStringLiteral("Case"), this);
    m_case->setToolTip(QStringLiteral("Match case"));
    m_case->setAccessibleName(QStringLiteral("Match case"));
    m_words = new QCheckBox(QStringLiteral("Words"), this);
    m_words->setToolTip(QStringLiteral("Whole words only"));
    m_words->setAccessibleName(QStringLiteral("Whole words"));
    m_regex = new QCheckBox(QStringLiteral("Regex"), this);
    m_regex->setToolTip(QStringLiteral("Regular expression (Perl-style); \\1 … \\9 in the "
                                       "replacement name the groups"));
    m_regex->setAccessibleName(QStringLiteral("Regular expression"));

    grid->addWidget(m_find, 0, 0);
    grid->addWidget(previous, 0, 1);
    grid->addWidget(next, 0, 2);
    grid->addWidget(close, 0, 3);
    grid->addWidget(m_replace, 1, 0);
    grid->addWidget(replace, 1, 1, 1, 1);
    grid->addWidget(all, 1, 2, 1, 2);
    auto* choices = new QHBoxLayout;
    choices->setSpacing(8);
    choices->addWidget(m_case);
    choices->addWidget(m_words);
    choices->addWidget(m_regex);
    choices->addStretch(1);
    grid->addLayout(choices, 2, 0, 1, 4);
    grid->setColumnStretch(0, 1);

    connect(previous, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(next, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(replace, &QToolButton::clicked, this, &LWFindBar::replaceCurrent);
    connect(all, &QToolButton::clicked, this, &LWFindBar::replaceAll);
    connect(close, &QToolButton::clicked, this, [this] {
        hide();
        emit closed();
    });
    hide();
}

void LWFindBar::open(bool replacing) {
    show();
    QLineEdit* field = replacing && !m_find->text().isEmpty() ? m_replace : m_find;
    field->setFocus(Qt::ShortcutFocusReason);
    field->selectAll();
}

CaptionFind::Options LWFindBar::options() const {
    return {.matchCase = m_case->isChecked(),
            .wholeWords = m_words->isChecked(),
            .regularExpression = m_regex->isChecked()};
}

void LWFindBar::setOptions(const CaptionFind::Options& options) {
    m_case->setChecked(options.matchCase);
    m_words->setChecked(options.wholeWords);
    m_regex->setChecked(options.regularExpression);
}

void LWFindBar::findNext(bool forward) {
    if (m_find->text().isEmpty()) {
        open(false);
        return;
    }
    m_store.findNext(m_find->text(), options(), forward);
}

void LWFindBar::replaceCurrent() {
    m_store.replaceCurrent(m_find->text(), m_replace->text(), options());
}

void LWFindBar::replaceAll() {
    m_store.replaceAll(m_find->text(), m_replace->text(), options());
}

bool LWFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (watched == m_replace && key->modifiers() == Qt::NoModifier)
                replaceCurrent();
            else
                findNext(!(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            hide();
            emit closed();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
