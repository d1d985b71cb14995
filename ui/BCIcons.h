#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The interface's symbols by their symbol names ("play.fill", "folder.fill", …), each drawn
// from one SVG shipped in the resources, stroked in the current theme's text colour. An unknown
// name gives an empty icon.
namespace BCIcons {
// The resource path of a symbol's SVG, or an empty text for an unknown name.
QString file(const QString& symbol);
QIcon icon(const QString& symbol);
// The symbol drawn `size` pixels square in `colour`.
QPixmap pixmap(const QString& symbol, int size, const QColor& colour, double ratio = 1.0);
// The header's badge: the captions symbol in a chrome circle `size` pixels across.
QPixmap badge(int size, double ratio);
} // namespace BCIcons
