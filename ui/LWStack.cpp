#include "LWStack.h"

#include "LWFindBar.h"

#include "BCControls.h"
#include "BCIcons.h"
#include "BCUI.h"
#include "CaptionMath.h"
#include "LWCaptionRow.h"
#include "LWStore.h"
#include "Transcriber.h"

#include <QComboBox>
#include <QEasingCurve>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {
constexpr int kGap = 6; // points between two rows
}

LWRowList::LWRowList(LWStore& store, QWidget* parent)
    : QAbstractScrollArea(parent), m_store(store) {
    setObjectName(QStringLiteral("rows"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAccessibleName(QStringLiteral("Captions"));
    m_sample = new LWCaptionRow(m_store, viewport());
    m_sample->hide();
    m_scrolling = new QPropertyAnimation(verticalScrollBar(), "value", this);
    m_scrolling->setDuration(200);
    m_scrolling->setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_store, &LWStore::captionsChanged, this, &LWRowList::relayout);
    connect(&m_store, &LWStore::selectedChanged, this, &LWRowList::relayout);
    connect(&m_store, &LWStore::rulesChanged, this, &LWRowList::relayout);
    connect(&m_store, &LWStore::problemsChanged, this, &LWRowList::relayout);
    // A match found: its row is brought into view and shows the match.
    connect(&m_store, &LWStore::foundChanged, this, [this] {
        relayout();
        if (const auto& found = m_store.lastFound())
            centreOn(found->caption);
    });
    connect(&m_store, &LWStore::timeChanged, this, &LWRowList::follow);
    applyLook();
}

LWRowList::~LWRowList() = default;

int LWRowList::heightOf(int lines, bool selected) const {
    const int most = int(m_heights.size() / 2);
    const int index = std::clamp(lines, 1, most) - 1;
    return m_heights.value(selected ? most + index : index);
}

int LWRowList::pitch() const {
    return heightOf(2, false) + BCUI::shared().px(kGap);
}

void LWRowList::applyLook() {
    for (LWCaptionRow* row : m_pool)
        row->applyLook();
    for (LWCaptionRow* row : std::as_const(m_bound))
        row->applyLook();
    m_sample->applyLook();
    m_heights.clear();
    m_lines.clear();
    m_textWidthKnown = false;
    relayout();
}

int LWRowList::linesFor(qsizetype index) {
    const Caption& caption = m_store.captions()[index];
    auto found = m_lines.find(caption.id);
    if (found == m_lines.end() || found->first != caption.text) {
        const int lines = LWCaptionRow::wrappedLines(caption.text, BCFont(13), m_textWidth);
        found = m_lines.insert(caption.id, {caption.text, lines});
    }
    // Two lines at least; up to one more than the rules make, then the box scrolls.
    const int most = std::max(2, m_store.rules().maxLines + 1);
    return std::clamp(found->second, 2, most);
}

LWCaptionRow* LWRowList::rowFor(const QUuid& id) const {
    return m_bound.value(id, nullptr);
}

void LWRowList::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (event->size().width() != event->oldSize().width())
        m_textWidthKnown = false; // until a row tells
    relayout();
}

void LWRowList::scrollContentsBy(int, int) {
    relayout();
}

void LWRowList::relayout() {
    const Captions& captions = m_store.captions();
    const std::optional<QUuid> selected = m_store.selected();
    // Heights of rows by text lines at this zoom, measured on the sample row.
    const int most = std::max(2, m_store.rules().maxLines + 1);
    if (m_heights.size() != 2 * most) {
        m_heights.clear();
        for (bool chosen : {false, true}) {
            for (int lines = 1; lines <= most; ++lines)
                m_heights << m_sample->heightFor(lines, chosen);
        }
    }
    const int gap = BCUI::shared().px(kGap);
    if (!m_textWidthKnown) {
        // Until a row reports where its text wraps: the row less its margins, its tools and
        // the text box's own border, padding and document margins.
        const BCUI& ui = BCUI::shared();
        const int estimate = std::max(1, viewport()->width() - 28 - ui.px(58));
        if (estimate != m_textWidth)
            m_lines.clear();
        m_textWidth = estimate;
    }
    QList<int> lines(captions.size());
    m_tops.resize(captions.size() + 1);
    int y = 0;
    for (qsizetype i = 0; i < captions.size(); ++i) {
        lines[i] = linesFor(i);
        m_tops[i] = y;
        y += heightOf(lines[i], selected && *selected == captions[i].id) + gap;
    }
    m_tops[captions.size()] = y;
    const int viewHeight = viewport()->height();
    const int total = std::max(0, y - gap);
    verticalScrollBar()->setRange(0, std::max(0, total - viewHeight));
    verticalScrollBar()->setPageStep(viewHeight);
    verticalScrollBar()->setSingleStep(pitch() / 3);
    const int top = verticalScrollBar()->value();
    const auto rowsEnd = m_tops.begin() + captions.size();
    const qsizetype first =
        std::max<qsizetype>(0, std::upper_bound(m_tops.begin(), rowsEnd, top) - m_tops.begin() - 1);
    const qsizetype last =
        std::lower_bound(m_tops.begin(), rowsEnd, top + viewHeight) - m_tops.begin();

    const std::optional<qsizetype> active = CaptionMath::active(captions, m_store.time());

    // Rows whose captions no longer show go back to the pool, unless someone is typing in one.
    QHash<QUuid, qsizetype> shown;
    for (qsizetype i = first; i < last; ++i)
        shown.insert(captions[i].id, i);
    for (auto it = m_bound.begin(); it != m_bound.end();) {
        if (!shown.contains(it.key()) && !(*it)->editing()) {
            (*it)->hide();
            m_pool << *it;
            it = m_bound.erase(it);
        } else {
            ++it;
        }
    }
    const int width = viewport()->width();
    auto place = [&](LWCaptionRow* row, qsizetype i) {
        const bool chosen = selected && *selected == captions[i].id;
        row->setTextLines(lines[i]);
        row->bind(int(i), captions[i], active && *active == i, chosen);
        row->setGeometry(0, m_tops[i] - top, width, heightOf(lines[i], chosen));
        row->show();
    };
    for (qsizetype i = first; i < last; ++i) {
        LWCaptionRow* row = m_bound.value(captions[i].id, nullptr);
        if (!row) {
            if (m_pool.isEmpty()) {
                row = new LWCaptionRow(m_store, viewport());
                connect(row, &LWCaptionRow::fieldLeft, this,
                        [this] { setFocus(Qt::OtherFocusReason); });
                // The rows' real wrapping width: every caption's lines are counted again.
                connect(row, &LWCaptionRow::textWidthChanged, this, [this](int textWidth) {
                    if (textWidth <= 0 || (m_textWidthKnown && textWidth == m_textWidth))
                        return;
                    m_textWidthKnown = true;
                    if (textWidth == m_textWidth)
                        return;
                    m_textWidth = textWidth;
                    m_lines.clear();
                    QMetaObject::invokeMethod(this, &LWRowList::relayout, Qt::QueuedConnection);
                });
            } else {
                row = m_pool.takeLast();
            }
            m_bound.insert(captions[i].id, row);
        }
        place(row, i);
    }
    // A row kept for typing whose caption is gone (deleted) is let go; one that only scrolled
    // away stays at its place outside the view.
    for (auto it = m_bound.begin(); it != m_bound.end();) {
        if (shown.contains(it.key())) {
            ++it;
            continue;
        }
        if (const auto index = m_store.indexOf(it.key())) {
            place(*it, *index);
            ++it;
        } else {
            (*it)->hide();
            m_pool << *it;
            it = m_bound.erase(it);
        }
    }
}

void LWRowList::centreOn(qsizetype index, bool animated) {
    if (index < 0 || index + 1 >= m_tops.size())
        return;
    const int middle = (m_tops[index] + m_tops[index + 1] - BCUI::shared().px(kGap)) / 2;
    const int value =
        std::clamp(middle - viewport()->height() / 2, 0, verticalScrollBar()->maximum());
    m_scrolling->stop();
    if (!animated || !isVisible()) {
        verticalScrollBar()->setValue(value);
        return;
    }
    m_scrolling->setStartValue(verticalScrollBar()->value());
    m_scrolling->setEndValue(value);
    m_scrolling->start();
}

void LWRowList::follow() {
    const Captions& captions = m_store.captions();
    const auto active = CaptionMath::active(captions, m_store.time());
    const std::optional<QUuid> id = active ? std::optional(captions[*active].id) : std::nullopt;
    if (id == m_active)
        return;
    m_active = id;
    relayout(); // the highlight moves
    if (active)
        centreOn(*active);
}

LWStack::LWStack(LWStore& store, QWidget* parent) : QWidget(parent), m_store(store) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);

    auto* header = new QHBoxLayout;
    m_count = new QLabel(this);
    m_count->setProperty("caption", true);
    header->addWidget(m_count);
    header->addStretch(1);
    m_language = new QComboBox(this);
    m_language->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_language->setToolTip(QStringLiteral("Language spoken in the file"));
    m_language->setAccessibleName(QStringLiteral("Language spoken in the file"));
    header->addWidget(m_language);
    column->addLayout(header);

    auto* buttons = new QHBoxLayout;
    m_buttons = buttons;
    auto* add = new BCChromeButton(QStringLiteral("plus"), QStringLiteral("Add at Playhead"), this);
    auto* import = new BCChromeButton(QStringLiteral("tray.and.arrow.down"),
                                      QStringLiteral("Import SRT/VTT"), this);
    add->setCompact(true);
    import->setCompact(true);
    auto* more = new QToolButton(this);
    more->setIcon(BCIcons::icon(QStringLiteral("slider.horizontal.3")));
    more->setToolTip(QStringLiteral("Shift, re-wrap or delete all captions"));
    more->setAccessibleName(QStringLiteral("More caption commands"));
    more->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(more);
    for (double by : {-0.5, -0.1, 0.1, 0.5}) {
        menu->addAction(QStringLiteral("Shift all captions %1%2 s")
                            .arg(by > 0 ? QStringLiteral("+") : QStringLiteral("−"))
                            .arg(std::abs(by), 0, 'f', 1),
                        this, [this, by] { m_store.shiftAll(by); });
    }
    menu->addAction(QStringLiteral("Re-wrap lines (Style > Line length)"), this,
                    [this] { m_store.rewrap(); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("Delete all captions"), this,
                    [this] { m_store.setCaptions({}); });
    more->setMenu(menu);
    buttons->addWidget(add);
    buttons->addWidget(import);
    buttons->addStretch(1);
    buttons->addWidget(more);
    column->addLayout(buttons);
    m_find = new LWFindBar(m_store, this);
    column->addWidget(m_find);
    // Closing the bar hands the keys back to the list.
    connect(m_find, &LWFindBar::closed, this, [this] { m_list->setFocus(); });
    m_controls = {add, import, more};

    m_pages = new QStackedWidget(this);
    m_empty = new QLabel(m_pages);
    m_empty->setWordWrap(true);
    m_empty->setAlignment(Qt::AlignCenter);
    m_empty->setProperty("caption", true);
    m_pages->addWidget(m_empty);
    m_list = new LWRowList(m_store, m_pages);
    m_pages->addWidget(m_list);
    column->addWidget(m_pages, 1);

    connect(add, &QToolButton::clicked, &m_store, &LWStore::addCaption);
    connect(import, &QToolButton::clicked, &m_store, &LWStore::importSubtitles);
    connect(m_language, &QComboBox::activated, this,
            [this](int row) { m_store.setLanguage(m_language->itemData(row).toString()); });
    connect(&m_store, &LWStore::languageChanged, this, &LWStack::refresh);
    connect(&m_store, &LWStore::captionsChanged, this, &LWStack::refresh);
    connect(&m_store, &LWStore::mediaChanged, this, &LWStack::refresh);

    QList<std::pair<QString, QString>> languages;
    for (const auto& [id, name] : Transcriber::languages())
        languages.append({id, name});
    setLanguages(languages);
    applyLook();
}

void LWStack::setLanguages(const QList<std::pair<QString, QString>>& languages) {
    m_language->clear();
    for (const auto& [id, name] : languages)
        m_language->addItem(name, id);
    refresh();
}

void LWStack::refresh() {
    const qsizetype count = m_store.captions().size();
    m_count->setText(QString::number(count) + QStringLiteral(" captions"));
    // The stored language may carry the system's spelling ("de_DE") rather than the list's.
    const QString language = m_store.language();
    int row = m_language->findData(language);
    if (row < 0)
        row = m_language->findData(QString(language).replace(u'_', u'-'));
    if (row < 0) {
        m_language->addItem(QLocale(language).nativeLanguageName().isEmpty()
                                ? language
                                : QLocale::languageToString(QLocale(language).language()),
                            language);
        row = m_language->count() - 1;
    }
    m_language->setCurrentIndex(row);
    const bool open = m_store.media().has_value();
    for (QWidget* control : m_controls)
        control->setEnabled(open || control == m_controls[1]);
    if (!open) {
        m_empty->setText(QStringLiteral("Open a file to begin."));
        m_pages->setCurrentWidget(m_empty);
    } else if (count == 0) {
        m_empty->setText(QStringLiteral(
            "No captions yet. Click Transcribe, import an SRT, or add captions by hand."));
        m_pages->setCurrentWidget(m_empty);
    } else {
        m_pages->setCurrentWidget(m_list);
    }
}

void LWStack::applyLook() {
    // 170 points, or wider while the row has room for the whole name of the language.
    m_language->setMinimumWidth(BCUI::shared().px(170));
    m_buttons->setSpacing(BCUI::shared().px(3));
    for (QWidget* control : m_controls)
        control->setFont(BCFont(12, QFont::Medium));
    m_list->applyLook();
}
