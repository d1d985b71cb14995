#include "LWCaptionRow.h"

#include "BCIcons.h"
#include "BCUI.h"
#include "CaptionMath.h"
#include "LWStore.h"
#include "LWWordMarks.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTextEdit>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

QToolButton* rowButton(const QString& symbol, const QString& help, const QString& name,
                       QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setIcon(BCIcons::icon(symbol));
    button->setToolTip(help);
    button->setAccessibleName(name);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace

QString LWCaptionRow::timeText(double seconds) {
    return CaptionMath::stamp(seconds, u'.');
}

QString LWCaptionRow::lengthText(const Caption& caption) {
    return QString::asprintf("%.1fs", std::max(caption.end - caption.start, 0.0));
}

LWCaptionRow::LWCaptionRow(LWStore& store, QWidget* parent) : QFrame(parent), m_store(store) {
    setObjectName(QStringLiteral("row"));
    setFrameShape(QFrame::StyledPanel);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 4, 6, 4);
    column->setSpacing(3);

    auto* line = new QHBoxLayout;
    line->setSpacing(4);
    m_number = new QLabel(this);
    m_number->setProperty("caption", true);
    line->addWidget(m_number);
    const QString timeHelp = QStringLiteral("Type a time like 00:01:02.500 and press Return");
    m_start = new QLineEdit(this);
    m_start->setAccessibleName(QStringLiteral("Start time"));
    m_end = new QLineEdit(this);
    m_end->setAccessibleName(QStringLiteral("End time"));
    for (QLineEdit* field : {m_start, m_end}) {
        field->setToolTip(timeHelp);
        field->installEventFilter(this);
    }
    line->addWidget(m_start);
    auto* arrow = new QLabel(QStringLiteral("→"), this);
    arrow->setProperty("caption", true);
    line->addWidget(arrow);
    line->addWidget(m_end);
    m_length = new QLabel(this);
    m_length->setProperty("caption", true);
    line->addWidget(m_length);
    line->addStretch(1);

    // The selected row's nudge controls have a line of their own under the text, so the first
    // line always has room for the two full times.
    m_nudge = new QWidget(this);
    m_nudge->hide();
    auto* nudge = new QHBoxLayout(m_nudge);
    nudge->setContentsMargins(0, 0, 0, 0);
    nudge->setSpacing(2);
    auto* nudgeLabel = new QLabel(QStringLiteral("Nudge"), m_nudge);
    nudgeLabel->setProperty("caption", true);
    nudge->addWidget(nudgeLabel);
    auto* earlier = rowButton(QStringLiteral("minus"),
                              QStringLiteral("Move this caption 0.1 s earlier ([ key; Shift+[ = "
                                             "0.5 s)"),
                              QStringLiteral("Nudge earlier"), m_nudge);
    auto* later =
        rowButton(QStringLiteral("plus"),
                  QStringLiteral("Move this caption 0.1 s later (] key; Shift+] = 0.5 s)"),
                  QStringLiteral("Nudge later"), m_nudge);
    nudge->addWidget(earlier);
    nudge->addWidget(later);
    nudge->addStretch(1);

    auto* play = rowButton(QStringLiteral("play.fill"), QStringLiteral("Play from here"),
                           QStringLiteral("Play from here"), this);
    auto* split = rowButton(QStringLiteral("scissors"), QStringLiteral("Split at the playhead (S)"),
                            QStringLiteral("Split at the playhead"), this);
    auto* merge = rowButton(QStringLiteral("arrow.triangle.merge"),
                            QStringLiteral("Merge with the next caption"),
                            QStringLiteral("Merge with the next caption"), this);
    auto* remove =
        rowButton(QStringLiteral("trash"), QString(), QStringLiteral("Delete caption"), this);
    m_buttons = {earlier, later, play, split, merge, remove};
    column->addLayout(line);
    // The row buttons stand in a square beside the text, so the first line keeps room for the
    // two full times.
    auto* body = new QHBoxLayout;
    body->setSpacing(4);
    auto* tools = new QGridLayout;
    tools->setSpacing(2);
    tools->addWidget(play, 0, 0);
    tools->addWidget(split, 0, 1);
    tools->addWidget(merge, 1, 0);
    tools->addWidget(remove, 1, 1);

    m_text = new QPlainTextEdit(this);
    m_text->setPlaceholderText(QStringLiteral("Caption text"));
    m_text->setAccessibleName(QStringLiteral("Caption text"));
    m_text->setTabChangesFocus(true);
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_text->installEventFilter(this);
    m_marks = new LWWordMarks(m_text->document(), &m_store.spelling());
    m_text->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_text, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = textMenu(at);
        menu->exec(m_text->viewport()->mapToGlobal(at));
        delete menu;
    });
    body->addWidget(m_text, 1);
    body->addLayout(tools);
    body->setAlignment(tools, Qt::AlignTop);
    column->addLayout(body);
    column->addWidget(m_nudge);
    m_text->viewport()->installEventFilter(this);
    // Tab reads the row as it is laid out: the times and nudges, the text, then the tools.
    const QList<QWidget*> order = {m_start, m_end, earlier, later, m_text,
                                   play,    split, merge,   remove};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(earlier, &QToolButton::clicked, this, [this] { m_store.nudgeCaption(id(), -0.1); });
    connect(later, &QToolButton::clicked, this, [this] { m_store.nudgeCaption(id(), 0.1); });
    connect(play, &QToolButton::clicked, this, [this] { m_store.playFrom(m_caption.start); });
    connect(split, &QToolButton::clicked, this, [this] { m_store.splitAtPlayhead(id()); });
    connect(merge, &QToolButton::clicked, this, [this] { m_store.mergeWithNext(id()); });
    connect(remove, &QToolButton::clicked, this, [this] { m_store.deleteCaption(id()); });
    connect(m_text, &QPlainTextEdit::textChanged, this, [this] {
        const QString typed = m_text->toPlainText();
        if (typed != m_caption.text)
            m_store.setText(id(), typed);
    });
    connect(m_start, &QLineEdit::returnPressed, this, [this] {
        commitTime(true);
        emit fieldLeft();
    });
    connect(m_end, &QLineEdit::returnPressed, this, [this] {
        commitTime(false);
        emit fieldLeft();
    });
    applyLook();
}

void LWCaptionRow::applyLook() {
    const BCUI& ui = BCUI::shared();
    for (QLineEdit* field : {m_start, m_end}) {
        field->setFont(BCFont(11, QFont::Normal, true));
        // 84 points, or what a full time needs in the face found on this system.
        const int text = field->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000"));
        field->setFixedWidth(std::max(ui.px(84), text + ui.px(16)));
    }
    m_number->setMinimumWidth(ui.px(22));
    m_text->setFont(BCFont(13));
    m_text->setFixedHeight(textHeight(m_lines));
    for (QToolButton* button : m_buttons) {
        button->setIconSize(QSize(ui.px(14), ui.px(14)));
        button->setFixedSize(ui.px(24), ui.px(24));
    }
}

int LWCaptionRow::textHeight(int lines) const {
    // The lines (at their fractional height: rounding each one adds up); the document's margin
    // above and below them, which the text edit's scrolling counts once more, and a pixel it
    // keeps free; then the field's border and padding.
    const double text = std::max(1, lines) * QFontMetricsF(m_text->font()).lineSpacing();
    const double margins = 3 * m_text->document()->documentMargin() + 1;
    return int(std::ceil(text + margins)) + 2 * (1 + BCUI::shared().px(3)) + 1;
}

void LWCaptionRow::setTextLines(int lines) {
    if (lines == m_lines)
        return;
    m_lines = lines;
    m_text->setFixedHeight(textHeight(lines));
}

int LWCaptionRow::heightFor(int lines, bool selected) {
    setTextLines(lines);
    m_nudge->setVisible(selected);
    ensurePolished();
    // Nested layouts keep their measures until the row is laid out; this row may never be.
    for (QLayout* part : findChildren<QLayout*>())
        part->invalidate();
    layout()->invalidate();
    return sizeHint().height();
}

int LWCaptionRow::wrappedLines(const QString& text, const QFont& font, int width) {
    int lines = 0;
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QFontMetricsF metrics(font);
    for (const QString& paragraph : text.split(u'\n')) {
        // Most captions' lines fit as they are; only a longer one is broken as the box would.
        if (metrics.horizontalAdvance(paragraph) <= width) {
            ++lines;
            continue;
        }
        QTextLayout layout(paragraph, font);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(1, width));
            ++lines;
        }
        layout.endLayout();
    }
    return std::max(1, lines);
}

bool LWCaptionRow::editing() const {
    return m_start->hasFocus() || m_end->hasFocus() || m_text->hasFocus();
}

void LWCaptionRow::bind(int index, const Caption& caption, bool active, bool selected) {
    const bool other = caption.id != m_caption.id;
    m_caption = caption;
    m_index = index;
    m_number->setText(QString::number(index + 1));
    setAccessibleName(QStringLiteral("Caption %1").arg(index + 1));
    m_length->setText(lengthText(caption));
    if (other || !m_start->hasFocus())
        m_start->setText(timeText(caption.start));
    if (other || !m_end->hasFocus())
        m_end->setText(timeText(caption.end));
    if (m_text->toPlainText() != caption.text) {
        // A change from elsewhere (undo, merge): the field takes the stored text. Typing keeps
        // its cursor, since what was typed is what is stored.
        const QSignalBlocker quiet(m_text);
        const bool focused = m_text->hasFocus();
        m_text->setPlainText(caption.text);
        if (focused)
            m_text->moveCursor(QTextCursor::End);
    }
    // The delivery checks' reasons, one sentence each: an amber stripe and number, the reasons
    // as the number's help (no room is taken from the times).
    QStringList reasons;
    QList<WordConfidence> unsure;
    for (const CaptionChecks::Problem& p : m_store.problemsOf(caption.id)) {
        reasons << CaptionChecks::describe(p);
        if (p.kind == CaptionChecks::Kind::unsure)
            unsure = p.words;
    }
    if (reasons != m_problems) {
        m_problems = reasons;
        m_number->setToolTip(reasons.join(u'\n'));
        m_number->setStyleSheet(
            reasons.isEmpty()
                ? QString()
                : QStringLiteral("color: %1; font-weight: bold;").arg(problemColour().name()));
        setAccessibleDescription(reasons.isEmpty()
                                     ? QString()
                                     : QStringLiteral("Needs attention: ") + reasons.join(u' '));
        update();
    }
    // The match last found, when it is in this caption, is highlighted in its text.
    QList<QTextEdit::ExtraSelection> marks;
    if (const auto& found = m_store.lastFound();
        found && found->caption == index && found->length > 0 &&
        found->from + found->length <= caption.text.size()) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(m_text->document());
        mark.cursor.setPosition(int(found->from));
        mark.cursor.setPosition(int(found->from + found->length), QTextCursor::KeepAnchor);
        mark.format.setBackground(problemColour());
        mark.format.setForeground(Qt::black);
        marks.append(mark);
    }
    // Words the recogniser was unsure of get a dotted amber underline, while they stand as heard.
    QList<std::pair<int, int>> spans;
    for (const WordConfidence& w : unsure)
        spans.append({w.at, int(w.word.size())});
    m_marks->setUnsure(spans);
    m_text->setExtraSelections(marks);
    m_nudge->setVisible(selected);
    if (m_selected != selected || property("active").toBool() != active) {
        m_selected = selected;
        setProperty("active", active);
        setProperty("selected", selected);
        style()->unpolish(this);
        style()->polish(this);
    }
}

void LWCaptionRow::commitTime(bool start) {
    QLineEdit* field = start ? m_start : m_end;
    if (const auto value = CaptionMath::parse(field->text())) {
        if (start)
            m_store.setStart(id(), *value);
        else
            m_store.setEnd(id(), *value);
    }
    refreshTimes();
}

void LWCaptionRow::refreshTimes() {
    if (const auto row = m_store.indexOf(id())) {
        const Caption& stored = m_store.captions()[*row];
        m_start->setText(timeText(stored.start));
        m_end->setText(timeText(stored.end));
    }
}

QString LWCaptionRow::highlighted() const {
    for (const QTextEdit::ExtraSelection& mark : m_text->extraSelections()) {
        if (mark.format.hasProperty(QTextFormat::BackgroundBrush))
            return mark.cursor.selectedText();
    }
    return {};
}

QStringList LWCaptionRow::unsureWords() const {
    QStringList words;
    const QString text = m_text->toPlainText();
    for (const auto& [from, length] : m_marks->unsure())
        words << text.mid(from, length);
    return words;
}

QMenu* LWCaptionRow::textMenu(const QPoint& position) {
    QMenu* menu = m_text->createStandardContextMenu(position);
    m_marks->addSpellingActions(
        menu, m_text->cursorForPosition(position).position(),
        [store = &m_store, caption = id()](const LWSpeller::Word& word, const QString& with) {
            store->replaceWord(caption, word.from, word.length, with);
        });
    return menu;
}

QColor LWCaptionRow::problemColour() {
    return QColor(0xF2, 0xA9, 0x3B);
}

void LWCaptionRow::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (m_problems.isEmpty())
        return;
    QPainter painter(this);
    const int stripe = std::max(2, BCUI::shared().px(3));
    painter.fillRect(QRect(1, 3, stripe, height() - 6), problemColour());
}

void LWCaptionRow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_store.setSelected(id());
        m_store.seek(m_caption.start);
    }
    QFrame::mousePressEvent(event);
}

bool LWCaptionRow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_text->viewport()) {
        // The wrapping width, as if no scroll bar stood beside the text.
        if (event->type() == QEvent::Resize) {
            const QScrollBar* bar = m_text->verticalScrollBar();
            const int width = m_text->viewport()->width() + (bar->isVisible() ? bar->width() : 0) -
                              int(std::ceil(2 * m_text->document()->documentMargin()));
            emit textWidthChanged(width);
        }
        return QFrame::eventFilter(watched, event);
    }
    if (event->type() == QEvent::FocusIn)
        m_store.setSelected(id());
    // A time field left without Return shows the stored time again.
    if (event->type() == QEvent::FocusOut && (watched == m_start || watched == m_end))
        refreshTimes();
    // Escape in a time field drops what was typed there.
    if (event->type() == QEvent::KeyPress && (watched == m_start || watched == m_end) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        refreshTimes();
        emit fieldLeft();
        return true;
    }
    return QFrame::eventFilter(watched, event);
}
