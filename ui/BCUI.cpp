#include "BCUI.h"

#include <QApplication>
#include <QFontDatabase>
#include <QSettings>
#include <algorithm>
#include <cmath>

namespace {
const QString themeKey = QStringLiteral("brct.ui.theme");
const QString zoomKey = QStringLiteral("brct.ui.zoom");
} // namespace

BCUI::BCUI() {
    QSettings settings;
    m_theme = BCTheme::byId(settings.value(themeKey).toString());
    m_zoom = startZoom(settings.value(zoomKey));
}

BCUI& BCUI::shared() {
    static BCUI* instance = new BCUI; // lives as long as the process
    return *instance;
}

void BCUI::setTheme(const BCTheme& theme) {
    m_theme = theme;
    QSettings().setValue(themeKey, theme.id);
    emit themeChanged();
}

void BCUI::setZoom(double zoom) {
    m_zoom = std::clamp(zoom, zoomLevels.front(), zoomLevels.back());
    QSettings().setValue(zoomKey, m_zoom);
    emit zoomChanged();
}

int BCUI::px(double points) const {
    return int(std::lround(points * m_zoom));
}

double BCUI::nextZoom(double zoom) {
    for (double level : zoomLevels) {
        if (level > zoom + 0.001)
            return level;
    }
    return zoomLevels.back();
}

double BCUI::previousZoom(double zoom) {
    for (auto it = zoomLevels.rbegin(); it != zoomLevels.rend(); ++it) {
        if (*it < zoom - 0.001)
            return *it;
    }
    return zoomLevels.front();
}

double BCUI::startZoom(const QVariant& stored) {
    bool ok = false;
    const double value = stored.toDouble(&ok);
    if (!ok || value == 0 || !std::isfinite(value))
        return 1.0;
    return std::clamp(std::round(value * 100) / 100, zoomLevels.front(), zoomLevels.back());
}

QFont BCFont(double points, QFont::Weight weight, bool monospace) {
    QFont font =
        monospace ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QApplication::font();
    font.setPointSizeF(std::max(1.0, points * BCUI::shared().zoom()));
    font.setWeight(weight);
    return font;
}
