#include "LWStyleBay.h"

#include "BCControls.h"
#include "BCSlider.h"
#include "BCUI.h"
#include "LWStore.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace {

QLabel* heading(const QString& text, QWidget* parent) {
    return new BCCaption(text, parent);
}

// A row of mutually exclusive checkable buttons; one of them stays chosen (clicking the chosen
// one keeps it).
QList<QPushButton*> segment(const QStringList& labels, QVBoxLayout* column, QWidget* parent) {
    auto* row = new QHBoxLayout;
    row->setSpacing(0);
    auto* group = new QButtonGroup(parent);
    group->setExclusive(true);
    QList<QPushButton*> buttons;
    for (const QString& label : labels) {
        auto* button = new QPushButton(label, parent);
        button->setCheckable(true);
        group->addButton(button);
        row->addWidget(button);
        buttons << button;
    }
    column->addLayout(row);
    return buttons;
}

// Lays its items out in as many equal columns as fit, each at least `least` pixels wide and as
// wide as the widest item asks; every row as tall as the tallest item.
class ColumnGrid : public QLayout {
public:
    ColumnGrid() { setContentsMargins(0, 0, 0, 0); }
    ~ColumnGrid() override {
        while (QLayoutItem* item = takeAt(0))
            delete item;
    }
    ColumnGrid(const ColumnGrid&) = delete;
    ColumnGrid& operator=(const ColumnGrid&) = delete;

    void setLeast(int pixels) {
        m_least = pixels;
        invalidate();
    }
    // Columns at that width of the layout.
    int columns(int width) const {
        const int gap = std::max(0, spacing());
        const int fit = (width + gap) / std::max(1, columnWidth() + gap);
        return std::clamp(fit, 1, std::max(1, int(m_items.size())));
    }

    void addItem(QLayoutItem* item) override { m_items << item; }
    int count() const override { return int(m_items.size()); }
    QLayoutItem* itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem* takeAt(int index) override {
        return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
    }
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return heightFor(columns(width)); }
    QSize minimumSize() const override { return {columnWidth(), heightFor(1)}; }
    QSize sizeHint() const override {
        const int n = std::max(1, std::min(3, count()));
        return {n * columnWidth() + (n - 1) * std::max(0, spacing()), heightFor(n)};
    }
    void setGeometry(const QRect& area) override {
        QLayout::setGeometry(area);
        const int n = columns(area.width());
        const int gap = std::max(0, spacing());
        const int width = (area.width() - (n - 1) * gap) / n;
        const int height = rowHeight();
        for (int i = 0; i < count(); ++i) {
            m_items[i]->setGeometry(QRect(area.x() + (i % n) * (width + gap),
                                          area.y() + (i / n) * (height + gap), width, height));
        }
    }

private:
    int columnWidth() const {
        int widest = m_least;
        for (const QLayoutItem* item : m_items)
            widest = std::max(widest, item->sizeHint().width());
        return widest;
    }
    int rowHeight() const {
        int tallest = 0;
        for (const QLayoutItem* item : m_items)
            tallest = std::max(tallest, item->sizeHint().height());
        return tallest;
    }
    int heightFor(int columns) const {
        const int rows = (count() + columns - 1) / columns;
        return rows * rowHeight() + std::max(0, rows - 1) * std::max(0, spacing());
    }

    QList<QLayoutItem*> m_items;
    int m_least = 110;
};

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
    // As many columns as the bay's width holds, at least 110 points each.
    auto* grid = new ColumnGrid;
    grid->setSpacing(BCUI::shared().px(6));
    grid->setLeast(BCUI::shared().px(110));
    connect(&BCUI::shared(), &BCUI::zoomChanged, this, [grid] {
        grid->setSpacing(BCUI::shared().px(6));
        grid->setLeast(BCUI::shared().px(110));
    });
    for (const CaptionStyle& preset : CaptionStyle::presets()) {
        auto* button = new QPushButton(preset.name, this);
        button->setObjectName(QStringLiteral("preset"));
        connect(button, &QPushButton::clicked, this, [this, preset] { m_store.setStyle(preset); });
        grid->addWidget(button);
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
