#pragma once

#include <QWidget>

class LWStore;
class QLabel;
class QToolButton;

// The row across the top of the window: the badge and product title, the document title, the
// transport (start, back 5 s, play/pause, forward 5 s), the clock and the main actions (Open,
// Song, Lyrics, Transcribe). Every button calls a store operation. From 150 % zoom the action
// buttons drop their words and keep their icons with tool tips.
class LWHeader : public QWidget {
    Q_OBJECT
public:
    explicit LWHeader(LWStore& store, QWidget* parent = nullptr);

    // Re-reads the zoom: fonts, sizes and the compact form.
    void applyLook();

    QToolButton* transcribeButton() const { return m_transcribe; }
    QToolButton* lyricsButton() const { return m_lyrics; }
    QToolButton* playButton() const { return m_play; }

    // "m:ss.t / m:ss.t" of the playhead and the duration.
    static QString clockText(double time, double duration);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* orb(const QString& icon, const QString& help);
    QToolButton* action(const QString& icon, const QString& word, const QString& help);
    void refresh();

    LWStore& m_store;
    QLabel* m_badge = nullptr;
    QLabel* m_product = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_clock = nullptr;
    QToolButton* m_play = nullptr;
    QToolButton* m_song = nullptr;
    QToolButton* m_lyrics = nullptr;
    QToolButton* m_transcribe = nullptr;
    QList<QToolButton*> m_orbs;
    QList<QToolButton*> m_actions;
};
