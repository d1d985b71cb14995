#pragma once

#include "CaptionStyle.h"

#include <QWidget>

class BCSlider;
class LWStore;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QVBoxLayout;

// The Style bay: presets, font, size, the three colours, box opacity, outline, capitals,
// position and margin of the caption look, then the line rules for new transcriptions and the
// recogniser switches. Every change is one assignment of the store's style or rules.
class LWStyleBay : public QWidget {
    Q_OBJECT
public:
    explicit LWStyleBay(LWStore& store, QWidget* parent = nullptr);

    // Value texts: "5.2%", "55%" (whole part of opacity x 100), "6%", "6 s".
    static QString sizeText(double percent);
    static QString opacityText(double opacity);
    static QString marginText(double percent);
    static QString durationText(double seconds);
    // A "Characters per line" slider position as stored: rounded, halves away from zero.
    static int charsPerLine(double position);

private:
    BCSlider* slider(const QString& title, double low, double high, QLabel** valueLabel);
    QPushButton* colourWell(const QString& title, QString CaptionStyle::*field);
    void refresh();

    LWStore& m_store;
    QVBoxLayout* m_column = nullptr;
    QComboBox* m_font = nullptr;
    BCSlider* m_size = nullptr;
    QLabel* m_sizeText = nullptr;
    BCSlider* m_opacity = nullptr;
    QLabel* m_opacityText = nullptr;
    BCSlider* m_margin = nullptr;
    QLabel* m_marginText = nullptr;
    QCheckBox* m_outline = nullptr;
    QCheckBox* m_caps = nullptr;
    QList<QPushButton*> m_positions;
    QList<QPushButton*> m_wells;
    BCSlider* m_chars = nullptr;
    QLabel* m_charsText = nullptr;
    QList<QPushButton*> m_lines;
    BCSlider* m_duration = nullptr;
    QLabel* m_durationText = nullptr;
    QCheckBox* m_speakers = nullptr;
    QCheckBox* m_onDevice = nullptr;
};
