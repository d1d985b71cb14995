#pragma once

#include "BCControls.h"

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

    BCChromeButton* transcribeButton() const { return m_transcribe; }
    BCChromeButton* songButton() const { return m_song; }
    BCChromeButton* lyricsButton() const { return m_lyrics; }
    BCOrbButton* playButton() const { return m_play; }

    // "m:ss.t / m:ss.t" of the playhead and the duration.
    static QString clockText(double time, double duration);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    BCOrbButton* orb(const QString& icon, const QString& help);
    BCChromeButton* action(const QString& icon, const QString& word, const QString& help);
    void refresh();

    LWStore& m_store;
    QLabel* m_badge = nullptr;
    BCChromeTitle* m_product = nullptr;
    QLabel* m_title = nullptr;
    BCLCD* m_clock = nullptr;
    BCOrbButton* m_play = nullptr;
    BCChromeButton* m_song = nullptr;
    BCChromeButton* m_lyrics = nullptr;
    BCChromeButton* m_transcribe = nullptr;
    QList<BCOrbButton*> m_orbs;
    QList<BCChromeButton*> m_actions;
};
