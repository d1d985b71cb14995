#pragma once

#include "BCTheme.h"

#include <QString>

// The style sheet that dresses the standard widgets of a window in a theme at a zoom: chrome
// buttons (object name or property "chrome"), lit buttons (property "lit"), wells, the LCD
// ("lcd"), section headings ("caption") and the fields, sliders and lists.
namespace BCStyleSheet {
QString build(const BCTheme& theme, double zoom);
} // namespace BCStyleSheet
