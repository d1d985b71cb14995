#include "LWStatusBar.h"

#include "BCIcons.h"
#include "BCUI.h"
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
    row->addWidget(m_text, 1);
    row->addWidget(m_credit);
    connect(&m_store, &LWStore::noteChanged, this, &LWStatusBar::applyLook);
    applyLook();
}

QString LWStatusBar::hint() {
    return QStringLiteral(
        "Space play/pause · K pause · J/L jump 2 s · ←/→ step · [ ] nudge · N new caption · "
        "S split · Ctrl+= / Ctrl+− zoom");
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
    m_credit->setFont(BCFont(11));
    m_credit->setText(QStringLiteral("<a style=\"color:%1; text-decoration:none\" "
                                     "href=\"https://brindlecote.example\">Brindlecote</a>")
                          .arg(ui.theme().dim.name()));
}
