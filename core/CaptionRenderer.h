#pragma once

#include "CaptionStyle.h"

#include <QImage>
#include <QRectF>
#include <QSize>

// Draws one caption the way every picture shows it: the monitor's preview and the burned-in
// export both use this, so what is previewed is what is burned in. Any thread (needs a
// QGuiApplication for fonts).
namespace CaptionRenderer {

struct Layout {
    QRectF box;      // in picture pixels, origin at the top-left corner
    QRectF textRect; // the box less its paddings
    double fontSize = 0;
};

// Where a caption's box and text go in a picture of `picture` pixels: text at most 0.86 W wide,
// paddings 0.018 H across and 0.01 H up and down, centred across; `bottom` sits the margin above
// the bottom edge, `top` the margin below the top edge, `middle` in the middle.
Layout layout(const QString& text, const CaptionStyle& style, QSize picture);

struct Rendered {
    QImage image; // premultiplied RGBA, the size of the box rounded up (at least 1 x 1)
    QRectF box;   // where the image goes in the picture (top-left origin)
};

// The caption's bitmap: the box (when its opacity is above 0.001) with corners of 0.16 x its
// height, and the text with its fill and optional outline. A null image for blank text.
Rendered render(const QString& text, const CaptionStyle& style, QSize picture);

} // namespace CaptionRenderer
