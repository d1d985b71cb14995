#pragma once

#include <QDialog>
#include <QPointer>

class LWStore;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// "Paste Lyrics": an editor bound to the store's lyricsDraft with a live count of the lines and
// words that alignment will use, "Cancel", and "Align to Audio", which closes the sheet and
// starts LWStore::alignLyrics. The sheet is open exactly while the store's showLyricsSheet is
// true; closing it any way clears that flag. Main thread only.
class LWLyricsSheet : public QDialog {
    Q_OBJECT
public:
    explicit LWLyricsSheet(LWStore& store, QWidget* parent = nullptr);

    // Makes `window` show a sheet whenever the store's showLyricsSheet turns true (and hide it
    // when it turns false). Returns the sheet, owned by `window`.
    static LWLyricsSheet* attach(LWStore& store, QWidget* window);

    // "12 lines · 64 words": what lyric alignment finds in `draft`.
    static QString countText(const QString& draft);

    QPlainTextEdit* editor() const { return m_editor; }
    QLabel* countLabel() const { return m_count; }
    QPushButton* alignButton() const { return m_align; }
    QPushButton* cancelButton() const { return m_cancel; }

protected:
    void done(int result) override;

private:
    void applyLook();
    void showDraft();

    LWStore& m_store;
    QLabel* m_title = nullptr;
    QLabel* m_explanation = nullptr;
    QPlainTextEdit* m_editor = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_align = nullptr;
};
