#include "BCUI.h"

#include "BCPreferences.h"
#include <QApplication>
#include <QFontDatabase>

#include <algorithm>
#include <cmath>

BCUI::BCUI() {
    const std::unique_ptr<BCPreferences> stored = BCPreferences::user();
    m_theme = BCTheme::byId(stored->value(BCPref::theme).toString());
    m_zoom = startZoom(stored->value(BCPref::zoom));
}

BCUI& BCUI::shared() {
    static BCUI* instance = new BCUI; // lives as long as the process
    return *instance;
}

void BCUI::setTheme(const BCTheme& theme) {
    m_theme = theme;
    BCPreferences::user()->setValue(BCPref::theme, theme.id);
    emit themeChanged();
}

void BCUI::setZoom(double zoom) {
    m_zoom = std::clamp(zoom, zoomLevels.front(), zoomLevels.back());
    BCPreferences::user()->setValue(BCPref::zoom, m_zoom);
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
