#include "LWExportBay.h"

#include "BCControls.h"
#include "BCIcons.h"
#include "BCUI.h"
#include "ELSettings.h"
#include "LWStore.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

LWExportBay::LWExportBay(LWStore& store, QWidget* parent) : QWidget(parent), m_store(store) {
    auto* column = new QVBoxLayout(this);
    const auto group = [this, column](const QString& title) {
        auto* label = new BCCaption(title, this);
        column->addWidget(label);
    };
    struct TextTile {
        const char* symbol;
        const char* title;
        const char* subtitle;
        LWStore::TextKind kind;
        bool timestamps;
    };
    const TextTile texts[] = {
        {"doc.text", "SRT", "SubRip — YouTube, Premiere, Resolve, Final Cut, most players",
         LWStore::TextKind::srt, false},
        {"globe", "VTT", "WebVTT — web players, Vimeo, HTML5 video", LWStore::TextKind::vtt, false},
        {"text.alignleft", "TXT", "Plain transcript", LWStore::TextKind::txt, false},
        {"clock", "TXT + times", "Transcript with [m:ss] marks", LWStore::TextKind::txt, true},
    };
    group(QStringLiteral("Caption files"));
    for (const TextTile& text : texts) {
        QPushButton* button = addTile(QString::fromUtf8(text.symbol), QString::fromUtf8(text.title),
                                      QString::fromUtf8(text.subtitle));
        connect(button, &QPushButton::clicked, this,
                [this, kind = text.kind, stamps = text.timestamps] {
                    m_store.exportText(kind, stamps);
                });
        column->addWidget(button);
        m_textTiles << button;
    }
    // The formats fewer people need share one tile that opens a menu of them.
    QPushButton* other = addTile(
        QStringLiteral("textformat"), QStringLiteral("Other formats…"),
        QStringLiteral("ASS with the caption style, TTML (IMSC) for broadcast, YouTube SBV"));
    auto* menu = new QMenu(other);
    const struct {
        const char* label;
        LWStore::TextKind kind;
    } others[] = {
        {"ASS — styled like the burn-in, for players and FFmpeg", LWStore::TextKind::ass},
        {"TTML — IMSC 1.1 for broadcasters and streaming services", LWStore::TextKind::ttml},
        {"SBV — YouTube's caption editor", LWStore::TextKind::sbv},
    };
    for (const auto& entry : others) {
        menu->addAction(QString::fromUtf8(entry.label), this,
                        [this, kind = entry.kind] { m_store.exportText(kind, false); });
    }
    connect(other, &QPushButton::clicked, this,
            [other, menu] { menu->popup(other->mapToGlobal(QPoint(0, other->height()))); });
    column->addWidget(other);
    m_textTiles << other;
    group(QStringLiteral("Video"));
    m_videoTiles << addTile(QStringLiteral("film.fill"), QStringLiteral("Burned-in MP4"),
                            QStringLiteral("Captions drawn into the picture with the current "
                                           "style (H.264 + original sound)"))
                 << addTile(QStringLiteral("captions.bubble"),
                            QStringLiteral("Subtitle track MP4/MOV"),
                            QStringLiteral("Switchable captions inside the file; picture and "
                                           "sound copied untouched"));
    connect(m_videoTiles[0], &QPushButton::clicked, &m_store, &LWStore::exportBurnIn);
    connect(m_videoTiles[1], &QPushButton::clicked, &m_store, &LWStore::exportSoft);
    column->addWidget(m_videoTiles[0]);
    column->addWidget(m_videoTiles[1]);
    group(QStringLiteral("Voice"));
    m_voiceTile = new LWExportTile(QStringLiteral("speaker.wave.2.fill"),
                                   QStringLiteral("Voiceover MP3"), QString(), this);
    connect(m_voiceTile, &QPushButton::clicked, &m_store, &LWStore::exportVoiceover);
    column->addWidget(m_voiceTile);

    m_audioOnly =
        new QLabel(QStringLiteral("Burn-in needs a video file. This one is audio only."), this);
    m_audioOnly->setProperty("caption", true);
    m_audioOnly->setWordWrap(true);
    column->addWidget(m_audioOnly);
    m_sidecars = new BCSwitch(QStringLiteral("Also save .srt + .vtt beside exported videos"), this);
    connect(m_sidecars, &QCheckBox::clicked, &m_store, &LWStore::setSidecars);
    column->addWidget(m_sidecars);
    column->addStretch(1);

    for (auto signal : {&LWStore::mediaChanged, &LWStore::busyChanged, &LWStore::sidecarsChanged})
        connect(&m_store, signal, this, &LWExportBay::refresh);
    connect(&m_store.services().elevenLabs, &ELSettings::hasKeyChanged, this,
            &LWExportBay::refresh);
    refresh();
}

LWExportTile::LWExportTile(const QString& symbol, const QString& title, const QString& subtitle,
                           QWidget* parent)
    : QPushButton(parent), m_symbol(symbol), m_title(title) {
    setObjectName(title);
    setAccessibleName(title);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setSubtitle(subtitle);
    connect(&BCUI::shared(), &BCUI::themeChanged, this, [this] { update(); });
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, [this] {
        updateGeometry();
        update();
    });
}

void LWExportTile::setSubtitle(const QString& subtitle) {
    m_subtitle = subtitle;
    setToolTip(subtitle);
    setAccessibleDescription(subtitle);
    update();
}

QSize LWExportTile::sizeHint() const {
    const BCUI& ui = BCUI::shared();
    const QFontMetrics title(BCFont(13, QFont::DemiBold));
    const QFontMetrics small(BCFont(11));
    return QSize(ui.px(260), std::max(ui.px(34), title.height() + small.height()) + ui.px(14));
}

QSize LWExportTile::minimumSizeHint() const {
    return QSize(BCUI::shared().px(120), sizeHint().height());
}

void LWExportTile::paintEvent(QPaintEvent*) {
    const BCUI& ui = BCUI::shared();
    const BCTheme& t = ui.theme();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = ui.px(10);
    QColor face = isDown()                      ? t.raised.darker(115)
                  : underMouse() && isEnabled() ? t.raised
                                                : t.panel;
    painter.setBrush(face);
    painter.setPen(QPen(hasFocus() ? t.accent2 : t.metalLo, hasFocus() ? 2 : 1));
    painter.drawRoundedRect(shape, radius, radius);

    const QColor ink = isEnabled() ? t.text : t.dim.darker(130);
    const double pad = ui.px(8);
    const double orb = ui.px(30);
    const QRectF circle(pad, (height() - orb) / 2, orb, orb);
    painter.setPen(QPen(t.metalLo, 1));
    painter.setBrush(isEnabled() ? QBrush(t.chrome(circle.topLeft(), circle.bottomLeft()))
                                 : QBrush(t.well));
    painter.drawEllipse(circle);
    const int glyph = ui.px(16);
    painter.drawPixmap(
        QPointF(circle.center().x() - glyph / 2.0, circle.center().y() - glyph / 2.0),
        BCIcons::pixmap(m_symbol, glyph, isEnabled() ? t.deep : t.dim, devicePixelRatioF()));

    const int chevron = ui.px(14);
    const double textLeft = circle.right() + pad;
    const double textRight = width() - pad - chevron - pad;
    const QFont titleFont = BCFont(13, QFont::DemiBold);
    const QFont smallFont = BCFont(11);
    const QFontMetrics titleMetrics(titleFont);
    const QFontMetrics smallMetrics(smallFont);
    const double block = titleMetrics.height() + smallMetrics.height();
    const double top = (height() - block) / 2;
    painter.setPen(ink);
    painter.setFont(titleFont);
    painter.drawText(QRectF(textLeft, top, textRight - textLeft, titleMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(m_title, Qt::ElideRight, int(textRight - textLeft)));
    painter.setPen(isEnabled() ? t.dim : t.dim.darker(130));
    painter.setFont(smallFont);
    painter.drawText(
        QRectF(textLeft, top + titleMetrics.height(), textRight - textLeft, smallMetrics.height()),
        Qt::AlignLeft | Qt::AlignVCenter,
        smallMetrics.elidedText(m_subtitle, Qt::ElideRight, int(textRight - textLeft)));
    painter.drawPixmap(
        QPointF(width() - pad - chevron, (height() - chevron) / 2.0),
        BCIcons::pixmap(QStringLiteral("chevron.right"), chevron, t.dim, devicePixelRatioF()));
}

QPushButton* LWExportBay::addTile(const QString& symbol, const QString& title,
                                  const QString& subtitle) {
    return new LWExportTile(symbol, title, subtitle, this);
}

QPushButton* LWExportBay::tile(const QString& title) const {
    for (QPushButton* button : m_textTiles + m_videoTiles + QList<QPushButton*>{m_voiceTile}) {
        if (button->objectName() == title)
            return button;
    }
    return nullptr;
}

void LWExportBay::refresh() {
    const bool ready = m_store.media().has_value() && !m_store.isBusy();
    for (QPushButton* button : m_textTiles)
        button->setEnabled(ready);
    for (QPushButton* button : m_videoTiles)
        button->setEnabled(ready && m_store.media()->hasVideo);
    m_voiceTile->setEnabled(ready);
    const QString voice = m_store.services().elevenLabs.hasKey()
                              ? QStringLiteral("Captions read aloud by your ElevenLabs voice")
                              : QStringLiteral("Uses ElevenLabs — add your API key in Settings "
                                               "(Ctrl+,)");
    m_voiceTile->setSubtitle(voice);
    m_audioOnly->setVisible(m_store.media() && !m_store.media()->hasVideo);
    m_sidecars->setChecked(m_store.sidecars());
}
