// Pictures as images: the one way a rendered column becomes image pixels, for
// the window's Canvas and for glimra-render alike.
#pragma once

#include "render/frame.h"

#include <QImage>
#include <QPoint>
#include <QRect>

namespace glimra {

inline QRgb toQRgb(Colour c) { return qRgb(redOf(c), greenOf(c), blueOf(c)); }

// Plots a column into a 32-bit image: the column's pixel at (x, y) lands at
// image pixel (x - origin.x(), y - origin.y()); whatever falls outside the
// image is dropped. Returns the rectangle it painted (empty if none).
QRect plotColumn(QImage& image, const ColumnView& column, QPoint origin = {});

}  // namespace glimra
