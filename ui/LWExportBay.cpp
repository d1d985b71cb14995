#include "LWExportBay.h"

#include "BCControls.h"
#include "BCIcons.h"
#include "BCUI.h"
#include "ELSettings.h"
#include "LWStore.h"

#include <QCheckBox>
#include <QLabel>
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
    m_voiceTile =
        addTile(QStringLiteral("speaker.wave.2.fill"), QStringLiteral("Voiceover MP3"), QString());
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
    connect(&ELSettings::shared(), &ELSettings::hasKeyChanged, this, &LWExportBay::refresh);
    connect(&BCUI::shared(), &BCUI::themeChanged, this, [this] {
        for (QPushButton* button : findChildren<QPushButton*>())
            button->setIcon(BCIcons::icon(button->property("symbol").toString()));
    });
    refresh();
}

QPushButton* LWExportBay::addTile(const QString& symbol, const QString& title,
                                  const QString& subtitle) {
    auto* button = new QPushButton(title + u'\n' + subtitle, this);
    button->setProperty("tile", true);
    button->setProperty("symbol", symbol);
    button->setObjectName(title);
    button->setIcon(BCIcons::icon(symbol));
    button->setIconSize(QSize(22, 22));
    button->setAccessibleName(title);
    button->setToolTip(subtitle);
    return button;
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
    const QString voice = ELSettings::shared().hasKey()
                              ? QStringLiteral("Captions read aloud by your ElevenLabs voice")
                              : QStringLiteral("Uses ElevenLabs — add your API key in Settings "
                                               "(Ctrl+,)");
    m_voiceTile->setText(QStringLiteral("Voiceover MP3\n") + voice);
    m_voiceTile->setToolTip(voice);
    m_audioOnly->setVisible(m_store.media() && !m_store.media()->hasVideo);
    m_sidecars->setChecked(m_store.sidecars());
}
