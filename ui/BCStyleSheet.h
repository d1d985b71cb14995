#pragma once

#include "BCTheme.h"

#include <QPalette>
#include <QString>

// The style sheet that dresses the standard widgets of a window in a theme at a zoom: chrome
// buttons (object name or property "chrome"), lit buttons (property "lit"), wells, the LCD
// ("lcd"), section headings ("caption") and the fields, sliders and lists.
namespace BCStyleSheet {
QString build(const BCTheme& theme, double zoom);
// The application palette in a theme, complete for every role the standard widgets read: the
// style sheet colours the text of every widget, so whatever it does not paint (the file dialog's
// views and headers, spin boxes, the colour dialog) must not keep the desktop's light faces.
QPalette palette(const BCTheme& theme);
} // namespace BCStyleSheet
