#pragma once

#include <QColor>
#include <QLinearGradient>
#include <QList>
#include <QString>

// One colour finish of the interface. A plain value; two themes are equal when every field is.
struct BCTheme {
    QString id; // stable identifier, stored under "brct.ui.theme"
    QString name;
    QColor deep;     // darkest background
    QColor base;     // window background
    QColor panel;    // panel faces
    QColor raised;   // raised faces
    QColor metalHi;  // light metal
    QColor metalMid; // middle metal
    QColor metalLo;  // dark metal
    QColor accent;   // lit controls, highlights
    QColor accent2;  // second highlight
    QColor text;     // primary text
    QColor dim;      // secondary text
    QColor well;     // recessed wells

    friend bool operator==(const BCTheme&, const BCTheme&) = default;

    // The six finishes in menu order; the first is the default.
    static const QList<BCTheme>& all();
    // The theme with that identifier, or the first one.
    static const BCTheme& byId(const QString& id);

    // Raised metal, top to bottom over `from`..`to`.
    QLinearGradient chrome(QPointF from, QPointF to) const;
    // Quieter metal, top to bottom over `from`..`to`.
    QLinearGradient chromeSoft(QPointF from, QPointF to) const;
};
