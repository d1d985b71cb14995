#include "LWStyleBay.h"

#include "BCControls.h"
#include "BCSlider.h"
#include "BCUI.h"
#include "LWStore.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace {

QLabel* heading(const QString& text, QWidget* parent) {
    return new BCCaption(text, parent);
}

// A row of mutually exclusive checkable buttons.
QList<QPushButton*> segment(const QStringList& labels, QVBoxLayout* column, QWidget* parent) {
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    QList<QPushButton*> buttons;
    for (const QString& label : labels) {
        auto* button = new QPushButton(label, parent);
        button->setCheckable(true);
        row->addWidget(button);
        buttons << button;
    }
    column->addLayout(row);
    return buttons;
}

} // namespace

QString LWStyleBay::sizeText(double percent) {
    return QString::number(percent, 'f', 1) + u'%';
}

QString LWStyleBay::opacityText(double opacity) {
    return QString::number(int(std::floor(opacity * 100 + 1e-9))) + u'%';
}

QString LWStyleBay::marginText(double percent) {
    return QString::number(percent, 'f', 0) + u'%';
}

QString LWStyleBay::durationText(double seconds) {
    return QString::number(seconds, 'f', 0) + QStringLiteral(" s");
}

int LWStyleBay::charsPerLine(double position) {
    return int(std::round(position));
}

LWStyleBay::LWStyleBay(LWStore& store, QWidget* parent) : QWidget(parent), m_store(store) {
    m_column = new QVBoxLayout(this);
    m_column->addWidget(heading(QStringLiteral("Presets"), this));
    auto* grid = new QGridLayout;
    int index = 0;
    for (const CaptionStyle& preset : CaptionStyle::presets()) {
        auto* button = new QPushButton(preset.name, this);
        connect(button, &QPushButton::clicked, this, [this, preset] { m_store.setStyle(preset); });
        grid->addWidget(button, index / 3, index % 3);
        ++index;
    }
    m_column->addLayout(grid);

    m_column->addWidget(heading(QStringLiteral("Font"), this));
    m_font = new QComboBox(this);
    m_font->setAccessibleName(QStringLiteral("Font"));
    for (const auto& choice : CaptionStyle::offeredFonts())
        m_font->addItem(choice.label, choice.face);
    connect(m_font, &QComboBox::activated, this, [this](int row) {
        CaptionStyle look = m_store.style();
        look.font = m_font->itemData(row).toString();
        m_store.setStyle(look);
    });
    m_column->addWidget(m_font);

    // Each slider writes one field of the style.
    const auto bind = [this](BCSlider* control, double CaptionStyle::*field) {
        connect(control, &BCSlider::moved, this, [this, field](double value) {
            CaptionStyle look = m_store.style();
            look.*field = value;
            m_store.setStyle(look);
        });
    };
    m_size = slider(QStringLiteral("Size"), 2.5, 10, &m_sizeText);
    bind(m_size, &CaptionStyle::sizePercent);

    auto* wells = new QHBoxLayout;
    for (auto [title, field] : {std::pair{QStringLiteral("Text"), &CaptionStyle::textHex},
                                std::pair{QStringLiteral("Box"), &CaptionStyle::boxHex},
                                std::pair{QStringLiteral("Outline"), &CaptionStyle::outlineHex}})
        wells->addWidget(colourWell(title, field));
    m_column->addLayout(wells);

    m_opacity = slider(QStringLiteral("Box opacity"), 0, 1, &m_opacityText);
    bind(m_opacity, &CaptionStyle::boxOpacity);

    auto* switches = new QHBoxLayout;
    m_outline = new BCSwitch(QStringLiteral("Outline"), this);
    m_caps = new BCSwitch(QStringLiteral("ALL CAPS"), this);
    for (auto [box, field] : {std::pair{m_outline, &CaptionStyle::outline},
                              std::pair{m_caps, &CaptionStyle::uppercase}}) {
        connect(box, &QCheckBox::clicked, this, [this, field](bool on) {
            CaptionStyle look = m_store.style();
            look.*field = on;
            m_store.setStyle(look);
        });
        switches->addWidget(box);
    }
    m_column->addLayout(switches);

    m_column->addWidget(heading(QStringLiteral("Position"), this));
    m_positions =
        segment({QStringLiteral("Top"), QStringLiteral("Middle"), QStringLiteral("Bottom")},
                m_column, this);
    const CaptionStyle::Position places[] = {CaptionStyle::Position::top,
                                             CaptionStyle::Position::middle,
                                             CaptionStyle::Position::bottom};
    for (int i = 0; i < 3; ++i) {
        connect(m_positions[i], &QPushButton::clicked, this, [this, place = places[i]] {
            CaptionStyle look = m_store.style();
            look.position = place;
            m_store.setStyle(look);
        });
    }
    m_margin = slider(QStringLiteral("Edge margin"), 2, 20, &m_marginText);
    bind(m_margin, &CaptionStyle::marginPercent);

    m_column->addSpacing(8);
    m_column->addWidget(heading(QStringLiteral("Line length (for new transcriptions)"), this));
    m_chars = slider(QStringLiteral("Characters per line"), 16, 60, &m_charsText);
    connect(m_chars, &BCSlider::moved, this, [this](double value) {
        CaptionMath::Rules rules = m_store.rules();
        rules.maxCharsPerLine = charsPerLine(value);
        m_store.setRules(rules);
    });
    m_lines = segment({QStringLiteral("1 line"), QStringLiteral("2 lines")}, m_column, this);
    for (int lines = 1; lines <= 2; ++lines) {
        connect(m_lines[lines - 1], &QPushButton::clicked, this, [this, lines] {
            CaptionMath::Rules rules = m_store.rules();
            rules.maxLines = lines;
            m_store.setRules(rules);
        });
    }
    m_duration = slider(QStringLiteral("Longest caption"), 2, 10, &m_durationText);
    connect(m_duration, &BCSlider::moved, this, [this](double value) {
        CaptionMath::Rules rules = m_store.rules();
        rules.maxDuration = value;
        m_store.setRules(rules);
    });
    m_speakers = new BCSwitch(QStringLiteral("Mark speaker changes with >> (Whisper)"), this);
    connect(m_speakers, &QCheckBox::clicked, &m_store, &LWStore::setMarkSpeakers);
    m_onDevice =
        new BCSwitch(QStringLiteral("Prefer on-device recognition (private, no internet)"), this);
    connect(m_onDevice, &QCheckBox::clicked, &m_store, &LWStore::setPreferOnDevice);
    m_column->addWidget(m_speakers);
    m_column->addWidget(m_onDevice);
    m_column->addStretch(1);

    for (auto signal : {&LWStore::styleChanged, &LWStore::rulesChanged,
                        &LWStore::markSpeakersChanged, &LWStore::preferOnDeviceChanged})
        connect(&m_store, signal, this, &LWStyleBay::refresh);
    connect(&BCUI::shared(), &BCUI::themeChanged, this, &LWStyleBay::refresh);
    refresh();
}

BCSlider* LWStyleBay::slider(const QString& title, double low, double high, QLabel** valueLabel) {
    auto* row = new QHBoxLayout;
    row->addWidget(heading(title, this));
    row->addStretch(1);
    *valueLabel = new QLabel(this);
    row->addWidget(*valueLabel);
    m_column->addLayout(row);
    auto* control = new BCSlider(low, high, this);
    control->setAccessibleName(title);
    m_column->addWidget(control);
    return control;
}

QPushButton* LWStyleBay::colourWell(const QString& title, QString CaptionStyle::*field) {
    auto* button = new QPushButton(title, this);
    button->setAccessibleName(title + QStringLiteral(" colour"));
    connect(button, &QPushButton::clicked, this, [this, title, field] {
        const QColor chosen = QColorDialog::getColor(CaptionStyle::color(m_store.style().*field, 1),
                                                     this, title + QStringLiteral(" colour"));
        if (!chosen.isValid())
            return;
        CaptionStyle look = m_store.style();
        look.*field = CaptionStyle::hex(chosen);
        m_store.setStyle(look);
    });
    m_wells << button;
    return button;
}

void LWStyleBay::refresh() {
    const CaptionStyle& look = m_store.style();
    const int font = m_font->findData(look.font);
    m_font->setCurrentIndex(font);
    m_size->setValue(look.sizePercent);
    m_sizeText->setText(sizeText(look.sizePercent));
    m_opacity->setValue(look.boxOpacity);
    m_opacityText->setText(opacityText(look.boxOpacity));
    m_margin->setValue(look.marginPercent);
    m_marginText->setText(marginText(look.marginPercent));
    m_outline->setChecked(look.outline);
    m_caps->setChecked(look.uppercase);
    const int place = look.position == CaptionStyle::Position::top      ? 0
                      : look.position == CaptionStyle::Position::middle ? 1
                                                                        : 2;
    for (int i = 0; i < 3; ++i)
        m_positions[i]->setChecked(i == place);
    const QString hexes[] = {look.textHex, look.boxHex, look.outlineHex};
    for (int i = 0; i < 3; ++i) {
        const QColor colour = CaptionStyle::color(hexes[i], 1);
        m_wells[i]->setStyleSheet(QStringLiteral("QPushButton { border-left: %1px solid %2; }")
                                      .arg(BCUI::shared().px(14))
                                      .arg(colour.name()));
    }
    const CaptionMath::Rules& rules = m_store.rules();
    m_chars->setValue(rules.maxCharsPerLine);
    m_charsText->setText(QString::number(rules.maxCharsPerLine));
    m_lines[0]->setChecked(rules.maxLines == 1);
    m_lines[1]->setChecked(rules.maxLines >= 2);
    m_duration->setValue(rules.maxDuration);
    m_durationText->setText(durationText(rules.maxDuration));
    m_speakers->setChecked(m_store.markSpeakers());
    m_onDevice->setChecked(m_store.preferOnDevice());
}
