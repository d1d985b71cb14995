#include "LWLyricsSheet.h"

#include "BCIcons.h"
#include "BCUI.h"
#include "LWStore.h"
#include "LyricAlign.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

LWLyricsSheet::LWLyricsSheet(LWStore& store, QWidget* parent) : QDialog(parent), m_store(store) {
    setWindowTitle(QStringLiteral("Paste Lyrics"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);

    m_title = new QLabel(this);
    m_title->setTextFormat(Qt::RichText);
    layout->addWidget(m_title);
    m_explanation = new QLabel(
        QStringLiteral("Paste the song's lyrics, one line per caption. The words stay exactly as "
                       "you typed them; the song is listened to only to find when each word is "
                       "sung. Labels such as [Chorus] are skipped."),
        this);
    m_explanation->setWordWrap(true);
    layout->addWidget(m_explanation);

    m_editor = new QPlainTextEdit(this);
    m_editor->setAccessibleName(QStringLiteral("Lyrics"));
    m_editor->setTabChangesFocus(true);
    layout->addWidget(m_editor, 1);

    auto* footer = new QHBoxLayout;
    m_count = new QLabel(this);
    footer->addWidget(m_count);
    footer->addStretch(1);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_align = new QPushButton(QStringLiteral("Align to Audio"), this);
    m_align->setProperty("symbol", QStringLiteral("waveform.badge.magnifyingglass"));
    m_align->setIcon(BCIcons::icon(QStringLiteral("waveform.badge.magnifyingglass")));
    m_align->setDefault(true);
    footer->addWidget(m_cancel);
    footer->addWidget(m_align);
    layout->addLayout(footer);

    connect(m_editor, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = m_editor->toPlainText();
        m_count->setText(countText(text));
        if (m_store.lyricsDraft() != text)
            m_store.setLyricsDraft(text);
    });
    connect(&m_store, &LWStore::lyricsDraftChanged, this, &LWLyricsSheet::showDraft);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_align, &QPushButton::clicked, this, [this] {
        const QString draft = m_store.lyricsDraft();
        accept(); // closes the sheet first, as the job may ask questions of its own
        m_store.alignLyrics(draft);
    });
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, &LWLyricsSheet::applyLook);
    connect(&BCUI::shared(), &BCUI::themeChanged, this, &LWLyricsSheet::applyLook);
    showDraft();
    applyLook();
}

LWLyricsSheet* LWLyricsSheet::attach(LWStore& store, QWidget* window) {
    auto* sheet = new LWLyricsSheet(store, window);
    const QPointer<LWLyricsSheet> guard(sheet);
    QObject::connect(&store, &LWStore::showLyricsSheetChanged, sheet, [guard, &store] {
        if (!guard)
            return;
        if (store.showLyricsSheet() && !guard->isVisible()) {
            guard->showDraft();
            guard->open();
        } else if (!store.showLyricsSheet() && guard->isVisible()) {
            guard->reject();
        }
    });
    return sheet;
}

QString LWLyricsSheet::countText(const QString& draft) {
    const LyricAlign::Lyrics lyrics = LyricAlign::lyricWords(draft);
    return QStringLiteral("%1 lines · %2 words").arg(lyrics.lines.size()).arg(lyrics.words.size());
}

void LWLyricsSheet::done(int result) {
    QDialog::done(result);
    if (m_store.showLyricsSheet())
        m_store.setShowLyricsSheet(false);
}

void LWLyricsSheet::showDraft() {
    const QString draft = m_store.lyricsDraft();
    if (m_editor->toPlainText() != draft)
        m_editor->setPlainText(draft);
    m_count->setText(countText(draft));
}

void LWLyricsSheet::applyLook() {
    const BCUI& ui = BCUI::shared();
    m_title->setFont(BCFont(20, QFont::Bold));
    m_title->setText(QStringLiteral("Paste <span style=\"color:%1; font-weight:300\">Lyrics</span>")
                         .arg(ui.theme().dim.name()));
    m_explanation->setFont(BCFont(12));
    m_editor->setFont(BCFont(13));
    m_editor->setMinimumHeight(ui.px(300));
    m_count->setFont(BCFont(11, QFont::Medium));
    setMinimumWidth(ui.px(560));
}
