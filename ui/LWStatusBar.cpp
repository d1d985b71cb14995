#include "LWStatusBar.h"

#include "BCIcons.h"
#include "BCUI.h"
#include "LWCaptionRow.h"
#include "LWStore.h"

#include <QHBoxLayout>
#include <QLabel>

LWStatusBar::LWStatusBar(LWStore& store, QWidget* parent) : QWidget(parent), m_store(store) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    m_symbol = new QLabel(this);
    m_text = new QLabel(this);
    m_text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_text->setAccessibleName(QStringLiteral("Status"));
    m_credit = new QLabel(this);
    m_credit->setOpenExternalLinks(true);
    row->addWidget(m_symbol);
    m_problems = new QLabel(this);
    m_problems->setObjectName(QStringLiteral("problemCount"));
    m_problems->setToolTip(QStringLiteral("Go to the next caption that needs attention (F8)"));
    connect(m_problems, &QLabel::linkActivated, this, [this] { m_store.selectProblem(true); });
    row->addWidget(m_text, 1);
    row->addWidget(m_problems);
    row->addWidget(m_credit);
    connect(&m_store, &LWStore::noteChanged, this, &LWStatusBar::applyLook);
    connect(&m_store, &LWStore::problemsChanged, this, &LWStatusBar::applyLook);
    applyLook();
}

QString LWStatusBar::hint() {
    return QStringLiteral(
        "Space play/pause · K pause · J/L jump 2 s · ←/→ step · [ ] nudge · N new caption · "
        "S split · Ctrl+= / Ctrl+− zoom");
}

QString LWStatusBar::problemsText() const {
    const qsizetype count = m_store.problemCount();
    if (count == 0)
        return {};
    return count == 1 ? QStringLiteral("1 caption needs attention")
                      : QStringLiteral("%1 captions need attention").arg(count);
}

QString LWStatusBar::text() const {
    return m_text->text();
}

void LWStatusBar::applyLook() {
    const BCUI& ui = BCUI::shared();
    const QString note = m_store.note();
    const int size = ui.px(13);
    m_symbol->setPixmap(BCIcons::pixmap(
        note.isEmpty() ? QStringLiteral("checkmark.circle") : QStringLiteral("info.circle.fill"),
        size, note.isEmpty() ? ui.theme().dim : ui.theme().accent, devicePixelRatioF()));
    m_text->setFont(BCFont(11));
    m_text->setText(note.isEmpty() ? hint() : note);
    m_text->setToolTip(m_text->text());
    m_problems->setFont(BCFont(11));
    const QString problems = problemsText();
    m_problems->setVisible(!problems.isEmpty());
    m_problems->setText(QStringLiteral("<a style=\"color:%1; text-decoration:none\" href=\"next\">"
                                       "⚠ %2</a>")
                            .arg(LWCaptionRow::problemColour().name(), problems.toHtmlEscaped()));
    m_credit->setFont(BCFont(11));
    m_credit->setText(QStringLiteral("<a style=\"color:%1; text-decoration:none\" "
                                     "href=\"https://brindlecote.example\">Brindlecote</a>")
                          .arg(ui.theme().dim.name()));
}
