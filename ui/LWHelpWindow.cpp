#include "LWHelpWindow.h"

#include "BCIcons.h"
#include "BCStyleSheet.h"
#include "BCUI.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

QString HelpBlock::searchable() const {
    switch (kind) {
    case Kind::heading:
    case Kind::text:
    case Kind::tip:
        return text;
    case Kind::steps:
    case Kind::bullets:
        return items.join(u' ');
    case Kind::control:
    case Kind::key:
        return text + u' ' + detail;
    }
    return {};
}

BCHelpView::BCHelpView(QList<HelpPage> pages, QString appName, QString initial, QWidget* parent)
    : QWidget(parent), m_pages(std::move(pages)), m_appName(std::move(appName)),
      m_initial(std::move(initial)) {
    setObjectName(QStringLiteral("root"));
    setAttribute(Qt::WA_StyledBackground, true);
    auto* split = new QHBoxLayout(this);

    auto* side = new QWidget(this);
    side->setObjectName(QStringLiteral("sidebar"));
    auto* sideColumn = new QVBoxLayout(side);
    sideColumn->setContentsMargins(0, 0, 0, 0);
    m_heading = new QLabel(m_appName, side);
    m_heading->setWordWrap(true);
    sideColumn->addWidget(m_heading);
    m_subheading = new QLabel(QStringLiteral("Help"), side);
    m_subheading->setProperty("caption", true);
    sideColumn->addWidget(m_subheading);
    m_searchField = new QLineEdit(side);
    m_searchField->setPlaceholderText(QStringLiteral("Search help"));
    m_searchField->setClearButtonEnabled(true);
    sideColumn->addWidget(m_searchField);
    m_noMatch = new QLabel(side);
    m_noMatch->setWordWrap(true);
    m_noMatch->setProperty("caption", true);
    m_noMatch->hide();
    sideColumn->addWidget(m_noMatch);
    m_list = new QListWidget(side);
    m_list->setAccessibleName(QStringLiteral("Help pages"));
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setFocusPolicy(Qt::StrongFocus);
    sideColumn->addWidget(m_list, 1);
    split->addWidget(side);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    split->addWidget(m_scroll, 1);

    connect(m_searchField, &QLineEdit::textChanged, this, &BCHelpView::setSearch);
    // Return in the search goes on to the pages found, at the first of them unless the page
    // shown is among them.
    connect(m_searchField, &QLineEdit::returnPressed, this, [this] {
        if (m_list->count() == 0)
            return;
        m_list->setFocus(Qt::TabFocusReason);
        if (!m_list->currentItem())
            m_list->setCurrentRow(0);
    });
    connect(m_list, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { select(item->data(Qt::UserRole).toString()); });
    // The keyboard moves the current row; the page follows it.
    connect(m_list, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (!m_filling && item && item->data(Qt::UserRole).toString() != m_selected)
            select(item->data(Qt::UserRole).toString());
    });
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, &BCHelpView::applyLook);
    connect(&BCUI::shared(), &BCUI::themeChanged, this, &BCHelpView::applyLook);

    // As the view appears; an id that names no page gives the first page.
    const bool known = std::any_of(m_pages.cbegin(), m_pages.cend(),
                                   [this](const HelpPage& p) { return p.id == m_initial; });
    m_selected = known || m_pages.isEmpty() ? m_initial : m_pages.first().id;
    applyLook();
}

QList<HelpPage> BCHelpView::filter(const QList<HelpPage>& pages, const QString& search) {
    const QString q = search.trimmed().toLower();
    if (q.isEmpty())
        return pages;
    QList<HelpPage> kept;
    for (const HelpPage& page : pages) {
        bool found = page.title.toLower().contains(q);
        for (qsizetype i = 0; !found && i < page.blocks.size(); ++i)
            found = page.blocks[i].searchable().toLower().contains(q);
        if (found)
            kept.append(page);
    }
    return kept;
}

QString BCHelpView::noMatchText(const QString& search) {
    return QStringLiteral("No help page mentions “%1”. Try another word.").arg(search.trimmed());
}

void BCHelpView::select(const QString& id) {
    m_selected = id;
    m_filling = true;
    for (int row = 0; row < m_list->count(); ++row)
        if (m_list->item(row)->data(Qt::UserRole).toString() == id)
            m_list->setCurrentRow(row);
    m_filling = false;
    showPage();
}

void BCHelpView::setSearch(const QString& text) {
    m_search = text;
    if (m_searchField->text() != text)
        m_searchField->setText(text);
    refreshList();
}

void BCHelpView::refreshList() {
    const QColor colour = BCUI::shared().theme().text;
    const int size = BCUI::shared().px(16);
    m_filling = true;
    m_list->clear();
    const QList<HelpPage> shown = filtered();
    for (const HelpPage& page : shown) {
        auto* item = new QListWidgetItem(m_list);
        item->setText(page.title);
        item->setData(Qt::UserRole, page.id);
        item->setIcon(QIcon(BCIcons::pixmap(page.symbol, size, colour, devicePixelRatioF())));
        if (page.id == m_selected)
            m_list->setCurrentItem(item);
    }
    m_list->setIconSize(QSize(size, size));
    m_filling = false;
    m_noMatch->setText(shown.isEmpty() ? noMatchText(m_search) : QString());
    m_noMatch->setVisible(shown.isEmpty());
}

void BCHelpView::showPage() {
    const BCUI& ui = BCUI::shared();
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("root"));
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(ui.px(24), ui.px(20), ui.px(24), ui.px(20));
    column->setSpacing(ui.px(10));
    for (const HelpPage& candidate : m_pages) {
        if (candidate.id != m_selected)
            continue;
        auto* title = new QLabel(candidate.title, page);
        title->setObjectName(QStringLiteral("pageTitle"));
        title->setFont(BCFont(24, QFont::Bold));
        title->setWordWrap(true);
        column->addWidget(title);
        for (const HelpBlock& block : candidate.blocks)
            column->addWidget(render(block, page));
    }
    column->addStretch(1);
    m_scroll->setWidget(page); // the previous page widget goes
    m_page = page;
}

QWidget* BCHelpView::render(const HelpBlock& block, QWidget* parent) const {
    const BCUI& ui = BCUI::shared();
    const BCTheme& theme = ui.theme();
    const auto label = [](const QString& text, QWidget* owner, const QFont& font) {
        auto* l = new QLabel(text, owner);
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->setFont(font);
        return l;
    };
    switch (block.kind) {
    case HelpBlock::Kind::heading: {
        QLabel* l = label(block.text, parent, BCFont(16, QFont::Bold));
        l->setContentsMargins(0, ui.px(8), 0, 0);
        return l;
    }
    case HelpBlock::Kind::text:
        return label(block.text, parent, BCFont(13));
    case HelpBlock::Kind::steps:
    case HelpBlock::Kind::bullets: {
        auto* list = new QWidget(parent);
        auto* grid = new QGridLayout(list);
        grid->setContentsMargins(ui.px(4), 0, 0, 0);
        grid->setHorizontalSpacing(ui.px(10));
        const bool numbered = block.kind == HelpBlock::Kind::steps;
        for (int i = 0; i < block.items.size(); ++i) {
            QLabel* mark = nullptr;
            if (numbered) {
                // The number in a small filled circle.
                mark = new QLabel(QString::number(i + 1), list);
                mark->setAlignment(Qt::AlignCenter);
                mark->setFixedSize(ui.px(20), ui.px(20));
                mark->setFont(BCFont(11, QFont::Bold));
                mark->setStyleSheet(QStringLiteral("background: %1; color: %2; border-radius: "
                                                   "%3px;")
                                        .arg(theme.accent.name(), theme.deep.name())
                                        .arg(ui.px(10)));
            } else {
                mark = new QLabel(QStringLiteral("•"), list);
                mark->setFont(BCFont(13, QFont::Bold));
            }
            grid->addWidget(mark, i, 0, Qt::AlignTop);
            grid->addWidget(label(block.items[i], list, BCFont(13)), i, 1);
        }
        grid->setColumnStretch(1, 1);
        return list;
    }
    case HelpBlock::Kind::control:
    case HelpBlock::Kind::key: {
        auto* row = new QWidget(parent);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        QLabel* name =
            label(block.text, row, BCFont(13, QFont::Bold, block.kind == HelpBlock::Kind::key));
        name->setFixedWidth(ui.px(170));
        line->addWidget(name, 0, Qt::AlignTop);
        line->addWidget(label(block.detail, row, BCFont(13)), 1);
        return row;
    }
    case HelpBlock::Kind::tip: {
        auto* box = new QWidget(parent);
        box->setObjectName(QStringLiteral("tip"));
        box->setAttribute(Qt::WA_StyledBackground, true);
        QColor tint = theme.accent;
        tint.setAlphaF(0.15f);
        box->setStyleSheet(
            QStringLiteral("#tip { background: rgba(%1,%2,%3,%4); border-radius: %5px; }")
                .arg(tint.red())
                .arg(tint.green())
                .arg(tint.blue())
                .arg(QString::number(tint.alphaF(), 'f', 2))
                .arg(ui.px(8)));
        auto* line = new QHBoxLayout(box);
        line->setContentsMargins(ui.px(12), ui.px(10), ui.px(12), ui.px(10));
        auto* icon = new QLabel(box);
        icon->setPixmap(
            BCIcons::pixmap(QStringLiteral("lightbulb.fill"), ui.px(18), theme.accent2));
        line->addWidget(icon, 0, Qt::AlignTop);
        line->addWidget(label(block.text, box, BCFont(13)), 1);
        return box;
    }
    }
    return new QWidget(parent);
}

void BCHelpView::applyLook() {
    const BCUI& ui = BCUI::shared();
    setStyleSheet(BCStyleSheet::build(ui.theme(), ui.zoom()));
    m_heading->setFont(BCFont(17, QFont::Bold));
    m_subheading->setFont(BCFont(13));
    m_noMatch->setFont(BCFont(13));
    m_searchField->setFont(BCFont(13));
    m_list->setFont(BCFont(13));
    findChild<QWidget*>(QStringLiteral("sidebar"))->setFixedWidth(ui.px(250));
    refreshList();
    showPage();
}

namespace BCHelpWindow {

namespace {

QPointer<QWidget>& theWindow() {
    static QPointer<QWidget> held;
    return held;
}

} // namespace

BCHelpView* show(const QString& page) {
    const QList<HelpPage>& pages = LWHelpPages::all();
    const QString initial =
        !page.isEmpty() ? page : (pages.isEmpty() ? QString() : pages.first().id);
    const QString appName = QStringLiteral("BRCT Lorowen Pro");

    QPointer<QWidget>& window = theWindow();
    if (!window) {
        window = new QWidget(nullptr, Qt::Window);
        window->setWindowTitle(appName + QStringLiteral(" Help"));
        window->setMinimumSize(640, 420);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        new QVBoxLayout(window);
        window->layout()->setContentsMargins(0, 0, 0, 0);
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, window.data(),
                         &QObject::deleteLater);
    }
    // A fresh view each time: the requested page, an empty search.
    for (BCHelpView* old : window->findChildren<BCHelpView*>(Qt::FindDirectChildrenOnly))
        delete old;
    auto* view = new BCHelpView(pages, appName, initial, window);
    window->layout()->addWidget(view);
    window->resize(900, 640);
    if (const QScreen* screen = window->screen())
        window->move(screen->availableGeometry().center() - window->rect().center());
    window->show();
    window->raise();
    window->activateWindow();
    return view;
}

QWidget* window() {
    return theWindow();
}

} // namespace BCHelpWindow
