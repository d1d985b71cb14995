#pragma once

#include "BCControls.h"

#include <QWidget>

class LWStore;
class QLabel;
class QToolButton;

// The row across the top of the window: the badge and product title, the document title, the
// transport (start, back 5 s, play/pause, forward 5 s), the clock and the main actions (Open,
// Song, Lyrics, Transcribe). Every button calls a store operation. When the row is too narrow to
// show the document title in full (up to 240 points of it) beside everything else, the product
// title goes first, then the action buttons drop their words, keeping their icons with tool tips.
class LWHeader : public QWidget {
    Q_OBJECT
public:
    explicit LWHeader(LWStore& store, QWidget* parent = nullptr);

    // Re-reads the zoom: fonts, sizes and the form that fits.
    void applyLook();

    BCChromeButton* transcribeButton() const { return m_transcribe; }
    BCChromeButton* songButton() const { return m_song; }
    BCChromeButton* lyricsButton() const { return m_lyrics; }
    BCOrbButton* playButton() const { return m_play; }

    // "m:ss.t / m:ss.t" of the playhead and the duration.
    static QString clockText(double time, double duration);
    // The row's forms, widest first: everything; without the product title; action icons only.
    enum class Form { full, words, icons };
    Form form() const { return m_form; }
    // The icons-only form's least width: the window never squeezes the row below it.
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    BCOrbButton* orb(const QString& icon, const QString& help);
    BCChromeButton* action(const QString& icon, const QString& word, const QString& help);
    void refresh();
    void refreshTitle();
    int titleChrome() const;
    void setForm(Form form);
    // Chooses the form for the current width.
    void fitToWidth();

    LWStore& m_store;
    Form m_form = Form::full;
    int m_compactWidth = 0;
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
