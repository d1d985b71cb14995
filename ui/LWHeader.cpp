#include "LWHeader.h"

#include "BCControls.h"
#include "BCIcons.h"
#include "BCTime.h"
#include "BCUI.h"
#include "LWStore.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

LWHeader::LWHeader(LWStore& store, QWidget* parent) : QWidget(parent), m_store(store) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    // The row's least width is the icons-only form's (minimumSizeHint), not the current one's.
    row->setSizeConstraint(QLayout::SetNoConstraint);

    m_badge = new QLabel(this);
    m_badge->setAccessibleName(QStringLiteral("BRCT Lorowen Pro"));
    m_product = new BCChromeTitle(QStringLiteral("Lorowen"), QStringLiteral("Pro"), this);
    m_title = new QLabel(this);
    m_title->setProperty("capsule", true);
    m_title->setAccessibleName(QStringLiteral("Document"));
    m_title->setMinimumWidth(60);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_title->installEventFilter(this); // the title is shortened to the capsule's width
    row->addWidget(m_badge);
    row->addWidget(m_product);
    row->addWidget(m_title, 1);
    row->addSpacing(8);

    QToolButton* start = orb(QStringLiteral("backward.end.fill"), QStringLiteral("Go to start"));
    connect(start, &QToolButton::clicked, this, [this] { m_store.seek(0); });
    QToolButton* back = orb(QStringLiteral("gobackward.5"), QStringLiteral("Back 5 seconds"));
    connect(back, &QToolButton::clicked, this, [this] { m_store.seek(m_store.time() - 5); });
    m_play = orb(QStringLiteral("play.fill"), QStringLiteral("Play / Pause (Space)"));
    connect(m_play, &QToolButton::clicked, &m_store, &LWStore::togglePlay);
    QToolButton* forward = orb(QStringLiteral("goforward.5"), QStringLiteral("Forward 5 seconds"));
    connect(forward, &QToolButton::clicked, this, [this] { m_store.seek(m_store.time() + 5); });
    for (BCOrbButton* button : m_orbs)
        row->addWidget(button);

    m_clock = new BCLCD(QString(), this);
    m_clock->setAccessibleName(QStringLiteral("Clock"));
    m_clock->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    row->addWidget(m_clock);
    row->addSpacing(8);

    QToolButton* open = action(QStringLiteral("folder.fill"), QStringLiteral("Open"),
                               QStringLiteral("Open a video or audio file (Ctrl+O)"));
    connect(open, &QToolButton::clicked, &m_store, &LWStore::chooseFile);
    m_song = action(QStringLiteral("music.note.list"), QStringLiteral("Song"), QString());
    connect(m_song, &QToolButton::clicked, this,
            [this] { m_store.setSongMode(!m_store.songMode()); });
    m_lyrics = action(QStringLiteral("text.quote"), QStringLiteral("Lyrics"),
                      QStringLiteral("Best for your own songs: paste the lyrics and the app "
                                     "times every word to the audio"));
    m_transcribe = action(QStringLiteral("waveform.and.mic"), QStringLiteral("Transcribe"),
                          QStringLiteral("Turn the speech into captions (Ctrl+Shift+T)"));
    connect(m_transcribe, &QToolButton::clicked, &m_store, &LWStore::transcribe);
    connect(m_lyrics, &QToolButton::clicked, this, [this] { m_store.setShowLyricsSheet(true); });
    for (BCChromeButton* button : m_actions)
        row->addWidget(button);

    for (auto signal : {&LWStore::timeChanged, &LWStore::mediaChanged, &LWStore::playingChanged,
                        &LWStore::songModeChanged, &LWStore::busyChanged})
        connect(&m_store, signal, this, &LWHeader::refresh);
    connect(&m_store, &LWStore::mediaChanged, this, &LWHeader::fitToWidth);
    applyLook();
}

BCOrbButton* LWHeader::orb(const QString& icon, const QString& help) {
    auto* button = new BCOrbButton(icon, help, this);
    m_orbs << button;
    return button;
}

BCChromeButton* LWHeader::action(const QString& icon, const QString& word, const QString& help) {
    auto* button = new BCChromeButton(icon, word, this);
    button->setToolTip(help.isEmpty() ? word : help);
    button->setProperty("word", word);
    m_actions << button;
    return button;
}

QString LWHeader::clockText(double time, double duration) {
    return BCTime::clock(time, true) + QStringLiteral(" / ") + BCTime::clock(duration, true);
}

void LWHeader::applyLook() {
    const BCUI& ui = BCUI::shared();
    const int badge = ui.px(38);
    m_badge->setFixedSize(badge, badge);
    m_badge->setPixmap(BCIcons::badge(badge, devicePixelRatioF()));
    m_title->setFont(BCFont(12, QFont::Medium));
    for (BCChromeButton* button : m_actions) {
        button->setFont(BCFont(12, QFont::DemiBold));
        button->setIconSize(QSize(ui.px(15), ui.px(15)));
        button->setMinimumHeight(ui.px(32));
    }
    fitToWidth();
    refresh();
}

void LWHeader::setForm(Form form) {
    m_form = form;
    m_product->setVisible(form == Form::full); // the badge stays
    for (BCChromeButton* button : m_actions) {
        button->setToolButtonStyle(form == Form::icons ? Qt::ToolButtonIconOnly
                                                       : Qt::ToolButtonTextBesideIcon);
    }
    layout()->invalidate();
}

void LWHeader::fitToWidth() {
    // A form fits when it leaves the document title its whole width, up to 240 points (the
    // layout itself counts only the title's least width).
    const QString title = m_store.title();
    const int wanted =
        std::max(m_title->minimumWidth(),
                 std::min(m_title->fontMetrics().horizontalAdvance(title) + titleChrome() + 1,
                          BCUI::shared().px(240)));
    setForm(Form::icons);
    m_compactWidth = layout()->minimumSize().width();
    for (Form form : {Form::full, Form::words}) {
        setForm(form);
        if (width() >= layout()->minimumSize().width() - m_title->minimumWidth() + wanted) {
            updateGeometry();
            return;
        }
    }
    setForm(Form::icons);
    updateGeometry();
}

QSize LWHeader::minimumSizeHint() const {
    return QSize(m_compactWidth, layout()->minimumSize().height());
}

void LWHeader::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    refresh();
    fitToWidth();
}

int LWHeader::titleChrome() const {
    // What the capsule adds to its text: its padding, as the style sheet sets it.
    m_title->ensurePolished();
    return m_title->sizeHint().width() - m_title->fontMetrics().horizontalAdvance(m_title->text());
}

bool LWHeader::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_title && event->type() == QEvent::Resize)
        refreshTitle();
    return QWidget::eventFilter(watched, event);
}

void LWHeader::refreshTitle() {
    const QString title = m_store.title();
    const int room = m_title->width() - titleChrome();
    const QString shown =
        m_title->fontMetrics().elidedText(title, Qt::ElideMiddle, std::max(40, room));
    if (m_title->text() != shown)
        m_title->setText(shown);
    m_title->setToolTip(title);
}

void LWHeader::refresh() {
    const double duration = m_store.media() ? m_store.media()->duration : 0.0;
    const QString clock = clockText(m_store.time(), duration);
    const bool resized = clock.size() != m_clock->text().size();
    m_clock->setText(clock);
    if (resized) // a longer clock may leave the title too little room
        fitToWidth();
    refreshTitle();
    const bool playing = m_store.playing();
    m_play->setSymbol(playing ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"));
    m_play->setLit(playing);
    // Off without a file, while a job runs, and for a file without sound to hear.
    const auto& media = m_store.media();
    m_transcribe->setEnabled(!m_store.isBusy() && media && media->hasAudio);
    m_lyrics->setEnabled(!m_store.isBusy() && media && media->hasAudio);
    const bool song = m_store.songMode();
    m_song->setToolTip(
        (song ? QStringLiteral("Song mode is ON (lit). ") : QStringLiteral("Song mode is off. ")) +
        QStringLiteral("Song / Music mode: pulls the vocal out of the beat and "
                       "ignores instrumentals before transcribing (Whisper "
                       "engine)"));
    m_song->setProminent(song);
}
