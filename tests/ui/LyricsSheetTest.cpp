// The Paste Lyrics sheet: bound to the store's draft with its live count, open exactly while
// the store says so, and "Align to Audio" closing it and starting the alignment.
#include "LWLyricsSheet.h"
#include "UiFixture.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

class LyricsSheet : public UiFixture {};

TEST_F(LyricsSheet, CountsWhatAlignmentWillUse) {
    const struct {
        const char* draft;
        const char* count;
    } rows[] = {
        {"", "0 lines · 0 words"},
        {"[Chorus]\nHello, world\n(x2)\n\nSo long\n", "2 lines · 4 words"},
        {"one two three", "1 lines · 3 words"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(LWLyricsSheet::countText(QString::fromUtf8(row.draft)),
                  QString::fromUtf8(row.count))
            << row.draft;
}

TEST_F(LyricsSheet, EditsTheDraftAndFollowsTheStore) {
    store->setLyricsDraft(QStringLiteral("Kept from before"));
    QWidget window;
    LWLyricsSheet* sheet = LWLyricsSheet::attach(*store, &window);
    EXPECT_FALSE(sheet->isVisible());
    store->setShowLyricsSheet(true);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->editor()->toPlainText(), QStringLiteral("Kept from before"));
    EXPECT_EQ(sheet->countLabel()->text(), QStringLiteral("1 lines · 3 words"));

    sheet->editor()->setPlainText(QStringLiteral("[Intro]\nLa la\nLa"));
    EXPECT_EQ(store->lyricsDraft(), QStringLiteral("[Intro]\nLa la\nLa"));
    EXPECT_EQ(sheet->countLabel()->text(), QStringLiteral("2 lines · 3 words"));
    store->setLyricsDraft(QStringLiteral("From the store"));
    EXPECT_EQ(sheet->editor()->toPlainText(), QStringLiteral("From the store"));

    sheet->cancelButton()->click();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(store->showLyricsSheet());
    EXPECT_EQ(store->lyricsDraft(), QStringLiteral("From the store")); // the draft stays

    store->setShowLyricsSheet(true);
    EXPECT_TRUE(sheet->isVisible());
    store->setShowLyricsSheet(false);
    EXPECT_FALSE(sheet->isVisible());
}

TEST_F(LyricsSheet, AlignToAudioClosesTheSheetAndStartsTheAlignment) {
    QWidget window;
    LWLyricsSheet* sheet = LWLyricsSheet::attach(*store, &window);
    openMedia(30);
    store->setBusy(QStringLiteral("Exporting…")); // so the alignment only beeps
    store->setLyricsDraft(QStringLiteral("Hello there"));
    store->setShowLyricsSheet(true);
    sheet->alignButton()->click();
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_FALSE(store->showLyricsSheet());
    EXPECT_EQ(hooks.beeps, 1); // alignLyrics ran and refused to overlap the running job
    store->setBusy(QString());

    // Empty lyrics reach the store's own alert.
    store->setLyricsDraft(QStringLiteral("[Chorus]"));
    store->setShowLyricsSheet(true);
    sheet->alignButton()->click();
    ASSERT_EQ(hooks.alerts.size(), 1);
    EXPECT_EQ(hooks.alerts[0].title, QStringLiteral("No lyrics"));
}
