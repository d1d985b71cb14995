#include "BCStyleSheet.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

QString css(const QColor& colour) {
    return colour.name(QColor::HexRgb);
}

QString cssAlpha(QColor colour, double alpha) {
    colour.setAlphaF(float(alpha));
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(QString::number(alpha, 'f', 2));
}

} // namespace

QString BCStyleSheet::build(const BCTheme& t, double zoom) {
    const auto px = [zoom](double points) { return QString::number(std::lround(points * zoom)); };
    const QString chrome =
        QStringLiteral("qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 %1, stop:0.18 %2, stop:0.48 "
                       "%3, stop:0.52 %4, stop:0.8 %3, stop:1 %5)")
            .arg(css(t.raised), cssAlpha(t.raised.lighter(115), 0.95), css(t.panel), css(t.deep),
                 css(t.raised));
    const QString lit =
        QStringLiteral("qlineargradient(x1:0,y1:0,x2:0,y2:1, stop:0 %1, stop:0.5 %2, stop:1 %3)")
            .arg(css(t.accent2), css(t.accent), css(t.accent.darker(150)));
    QStringList rules;
    rules << QStringLiteral("QWidget { color: %1; }").arg(css(t.text))
          << QStringLiteral(
                 "QMainWindow, #root, QDialog { background: qlineargradient(x1:0,y1:0,x2:0,"
                 "y2:1, stop:0 %1, stop:1 %2); }")
                 .arg(css(t.base), css(t.deep))
          << QStringLiteral("#panel { background: %1; border: 1px solid %2; border-radius: %3px; }")
                 .arg(css(t.panel), cssAlpha(t.metalMid, 0.35), px(12))
          << QStringLiteral("#well, QListView, QScrollArea#bay { background: %1; border: 1px "
                            "solid %2; border-radius: %3px; }")
                 .arg(css(t.well), css(t.deep), px(8))
          << QStringLiteral("QScrollArea#bay > QWidget > QWidget { background: transparent; }")
          << QStringLiteral("QPushButton, QToolButton { background: %1; color: %2; border: 1px "
                            "solid %3; border-radius: %4px; padding: %5px %6px; }")
                 .arg(chrome, css(t.text), css(t.metalLo), px(7), px(4), px(10))
          << QStringLiteral("QPushButton:hover, QToolButton:hover { border-color: %1; }")
                 .arg(css(t.accent))
          << QStringLiteral("QPushButton:disabled, QToolButton:disabled { color: %1; background: "
                            "%2; }")
                 .arg(cssAlpha(t.dim, 0.55), css(t.panel))
          << QStringLiteral("QPushButton[lit=\"true\"], QToolButton[lit=\"true\"], "
                            "QPushButton:checked, QToolButton:checked { background: %1; color: "
                            "%2; border-color: %3; }")
                 .arg(lit, css(t.deep), css(t.accent2))
          << QStringLiteral("QToolButton[orb=\"true\"] { border-radius: %1px; padding: 0; }")
                 .arg(px(17))
          << QStringLiteral("QPushButton[tile=\"true\"] { text-align: left; padding: %1px %2px; }")
                 .arg(px(8), px(12))
          << QStringLiteral("QLabel[lcd=\"true\"] { background: %1; color: %2; border: 1px solid "
                            "%3; border-radius: %4px; padding: %5px %6px; }")
                 .arg(css(t.well), css(t.accent2), css(t.metalLo), px(6), px(3), px(10))
          << QStringLiteral("QLabel[caption=\"true\"] { color: %1; }").arg(css(t.dim))
          << QStringLiteral("QLabel[capsule=\"true\"] { background: %1; border-radius: %2px; "
                            "padding: %3px %4px; }")
                 .arg(css(t.well), px(11), px(3), px(10))
          << QStringLiteral("QLineEdit, QPlainTextEdit, QComboBox { background: %1; color: %2; "
                            "border: 1px solid %3; border-radius: %4px; padding: %5px; "
                            "selection-background-color: %6; }")
                 .arg(css(t.well), css(t.text), css(t.metalLo), px(5), px(3), css(t.accent))
          << QStringLiteral("QComboBox QAbstractItemView { background: %1; color: %2; }")
                 .arg(css(t.panel), css(t.text))
          << QStringLiteral("QAbstractScrollArea#rows, QScrollArea#lane { background: %1; "
                            "border: 1px solid %2; border-radius: %3px; }")
                 .arg(css(t.well), css(t.deep), px(8))
          // A caption row's content has one size whatever its state: the thin border of a plain
          // row is made up with padding.
          << QStringLiteral("QFrame#row { background: %1; border: 1px solid %2; border-radius: "
                            "%3px; padding: %4px; }")
                 .arg(css(t.panel), cssAlpha(t.metalMid, 0.3), px(8))
                 .arg(std::max(0L, std::lround(2 * zoom) - 1))
          << QStringLiteral("QFrame#row[active=\"true\"] { border: %1px solid %2; padding: 0; }")
                 .arg(px(2), css(t.accent2))
          << QStringLiteral("QFrame#row[selected=\"true\"] { background: %1; border: %2px solid "
                            "%3; padding: 0; }")
                 .arg(css(t.raised), px(2), css(t.accent))
          << QStringLiteral("QFrame#row QToolButton { padding: %1px; border-radius: %2px; }")
                 .arg(px(2), px(5))
          << QStringLiteral("QFrame#row QLineEdit { padding: %1px %2px; }").arg(px(1), px(3))
          << QStringLiteral("*:focus { outline: none; border-color: %1; }").arg(css(t.accent2))
          // A lit button's border already has the focus colour: its ring takes the text's.
          << QStringLiteral("QPushButton:checked:focus, QToolButton:checked:focus, "
                            "QPushButton[lit=\"true\"]:focus, QToolButton[lit=\"true\"]:focus "
                            "{ border-color: %1; }")
                 .arg(css(t.text))
          << QStringLiteral("QSlider::groove:horizontal { height: %1px; background: %2; "
                            "border-radius: %3px; }")
                 .arg(px(5), css(t.well), px(2))
          << QStringLiteral("QSlider::sub-page:horizontal { background: %1; border-radius: "
                            "%2px; }")
                 .arg(css(t.accent), px(2))
          << QStringLiteral("QSlider::handle:horizontal { background: %1; width: %2px; margin: "
                            "-%3px 0; border-radius: %4px; border: 1px solid %5; }")
                 .arg(chrome, px(14), px(5), px(7), css(t.metalLo))
          << QStringLiteral("QCheckBox::indicator { width: %1px; height: %2px; border-radius: "
                            "%3px; background: %4; border: 1px solid %5; }")
                 .arg(px(26), px(15), px(7), css(t.well), css(t.metalLo))
          << QStringLiteral("QCheckBox::indicator:checked { background: %1; }").arg(css(t.accent))
          << QStringLiteral("QMenuBar { background: %1; color: %2; }").arg(css(t.deep), css(t.text))
          << QStringLiteral("QMenu { background: %1; color: %2; border: 1px solid %3; }")
                 .arg(css(t.panel), css(t.text), css(t.metalLo))
          << QStringLiteral("QMenu::item:selected, QMenuBar::item:selected { background: %1; "
                            "color: %2; }")
                 .arg(css(t.accent), css(t.deep))
          << QStringLiteral("QMenu::item:disabled { color: %1; }").arg(cssAlpha(t.dim, 0.6))
          << QStringLiteral("QToolTip { background: %1; color: %2; border: 1px solid %3; }")
                 .arg(css(t.raised), css(t.text), css(t.metalMid))
          << QStringLiteral("QScrollBar { background: transparent; width: %1px; height: %1px; }")
                 .arg(px(10))
          << QStringLiteral("QScrollBar::handle { background: %1; border-radius: %2px; "
                            "min-height: %3px; min-width: %3px; }")
                 .arg(cssAlpha(t.metalMid, 0.6), px(4), px(24))
          << QStringLiteral("QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }");
    return rules.join(u'\n');
}

QPalette BCStyleSheet::palette(const BCTheme& t) {
    QPalette colours;
    const QColor disabledText = t.dim.darker(125);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool off = group == QPalette::Disabled;
        colours.setColor(group, QPalette::Window, t.base);
        colours.setColor(group, QPalette::WindowText, off ? disabledText : t.text);
        colours.setColor(group, QPalette::Base, off ? t.panel : t.well);
        colours.setColor(group, QPalette::AlternateBase, t.panel);
        colours.setColor(group, QPalette::Text, off ? disabledText : t.text);
        colours.setColor(group, QPalette::PlaceholderText, t.dim);
        colours.setColor(group, QPalette::Button, t.raised);
        colours.setColor(group, QPalette::ButtonText, off ? disabledText : t.text);
        colours.setColor(group, QPalette::BrightText, t.accent2);
        colours.setColor(group, QPalette::Light, t.raised.lighter(140));
        colours.setColor(group, QPalette::Midlight, t.raised.lighter(115));
        colours.setColor(group, QPalette::Mid, t.metalLo);
        colours.setColor(group, QPalette::Dark, t.deep);
        colours.setColor(group, QPalette::Shadow, Qt::black);
        colours.setColor(group, QPalette::Highlight, off ? t.metalLo : t.accent);
        colours.setColor(group, QPalette::HighlightedText, off ? t.dim : t.deep);
        colours.setColor(group, QPalette::ToolTipBase, t.raised);
        colours.setColor(group, QPalette::ToolTipText, t.text);
        colours.setColor(group, QPalette::Link, t.accent2);
        colours.setColor(group, QPalette::LinkVisited, t.accent);
    }
    return colours;
}
