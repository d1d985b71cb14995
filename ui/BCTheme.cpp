#include "BCTheme.h"

namespace {

QColor rgb(double r, double g, double b) {
    return QColor::fromRgbF(float(r), float(g), float(b));
}

QColor faded(QColor colour, double opacity) {
    colour.setAlphaF(float(opacity));
    return colour;
}

} // namespace

const QList<BCTheme>& BCTheme::all() {
    static const QList<BCTheme> themes{
        {QStringLiteral("gunmetal-blue"), QStringLiteral("Gunmetal Blue"), rgb(0.035, 0.05, 0.075),
         rgb(0.085, 0.115, 0.155), rgb(0.105, 0.14, 0.185), rgb(0.15, 0.195, 0.25),
         rgb(0.86, 0.91, 0.97), rgb(0.4, 0.5, 0.62), rgb(0.13, 0.18, 0.25), rgb(0.3, 0.74, 1.0),
         rgb(0.55, 0.9, 1.0), rgb(0.92, 0.95, 0.99), rgb(0.58, 0.66, 0.76), rgb(0.02, 0.03, 0.05)},
        {QStringLiteral("anodized-red"), QStringLiteral("Anodized Red"), rgb(0.07, 0.015, 0.025),
         rgb(0.17, 0.035, 0.055), rgb(0.215, 0.05, 0.07), rgb(0.3, 0.075, 0.1), rgb(1.0, 0.8, 0.8),
         rgb(0.7, 0.22, 0.25), rgb(0.28, 0.05, 0.08), rgb(1.0, 0.33, 0.28), rgb(1.0, 0.62, 0.35),
         rgb(1.0, 0.94, 0.93), rgb(0.8, 0.6, 0.6), rgb(0.04, 0.008, 0.012)},
        {QStringLiteral("rose-gold"), QStringLiteral("Rose Gold"), rgb(0.12, 0.07, 0.07),
         rgb(0.235, 0.15, 0.145), rgb(0.285, 0.19, 0.18), rgb(0.375, 0.26, 0.245),
         rgb(1.0, 0.9, 0.86), rgb(0.86, 0.6, 0.54), rgb(0.45, 0.28, 0.25), rgb(1.0, 0.66, 0.62),
         rgb(1.0, 0.82, 0.62), rgb(1.0, 0.95, 0.93), rgb(0.85, 0.7, 0.66), rgb(0.07, 0.04, 0.04)},
        {QStringLiteral("lavender-violet"), QStringLiteral("Lavender Violet"),
         rgb(0.06, 0.035, 0.1), rgb(0.135, 0.085, 0.215), rgb(0.175, 0.115, 0.27),
         rgb(0.245, 0.17, 0.36), rgb(0.95, 0.9, 1.0), rgb(0.62, 0.5, 0.85), rgb(0.25, 0.16, 0.4),
         rgb(0.78, 0.6, 1.0), rgb(1.0, 0.68, 0.92), rgb(0.97, 0.95, 1.0), rgb(0.72, 0.65, 0.85),
         rgb(0.035, 0.02, 0.06)},
        {QStringLiteral("black-chrome"), QStringLiteral("Black Chrome"), rgb(0.01, 0.01, 0.012),
         rgb(0.055, 0.055, 0.062), rgb(0.075, 0.075, 0.084), rgb(0.12, 0.12, 0.132), rgb(1, 1, 1),
         rgb(0.55, 0.56, 0.6), rgb(0.1, 0.1, 0.12), rgb(0.8, 0.92, 1.0), rgb(0.4, 1.0, 0.85),
         rgb(0.96, 0.96, 0.98), rgb(0.6, 0.61, 0.66), rgb(0, 0, 0)},
        {QStringLiteral("graphite-gray"), QStringLiteral("Graphite Gray"), rgb(0.11, 0.115, 0.122),
         rgb(0.2, 0.205, 0.215), rgb(0.245, 0.25, 0.262), rgb(0.32, 0.326, 0.34),
         rgb(0.97, 0.97, 0.98), rgb(0.62, 0.63, 0.66), rgb(0.28, 0.29, 0.31), rgb(1.0, 0.7, 0.22),
         rgb(1.0, 0.85, 0.45), rgb(0.97, 0.97, 0.98), rgb(0.7, 0.71, 0.74),
         rgb(0.065, 0.068, 0.072)},
    };
    return themes;
}

const BCTheme& BCTheme::byId(const QString& id) {
    for (const BCTheme& theme : all()) {
        if (theme.id == id)
            return theme;
    }
    return all().front();
}

QLinearGradient BCTheme::chrome(QPointF from, QPointF to) const {
    QLinearGradient gradient(from, to);
    gradient.setColorAt(0.0, metalHi);
    gradient.setColorAt(0.18, faded(metalHi, 0.85));
    gradient.setColorAt(0.48, metalMid);
    gradient.setColorAt(0.52, metalLo);
    gradient.setColorAt(0.8, metalMid);
    gradient.setColorAt(1.0, faded(metalHi, 0.9));
    return gradient;
}

QLinearGradient BCTheme::chromeSoft(QPointF from, QPointF to) const {
    QLinearGradient gradient(from, to);
    gradient.setColorAt(0.0, faded(metalHi, 0.95));
    gradient.setColorAt(0.55, faded(metalMid, 0.95));
    gradient.setColorAt(0.92, metalLo);
    gradient.setColorAt(1.0, metalMid);
    return gradient;
}
