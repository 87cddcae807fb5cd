// Pictures as pixels: the one way a rendered column becomes picture pixels,
// for the window's Canvas and for glimra-render alike.
#pragma once

#include "picture/pixels.h"
#include "render/frame.h"

#include <QPoint>
#include <QRect>

namespace glimra {

// Plots a column into pixels: the column's pixel at (x, y) lands at pixel
// (x - origin.x(), y - origin.y()); whatever falls outside is dropped.
// Returns the rectangle it painted (empty if none).
QRect plotColumn(Pixels& image, const ColumnView& column, QPoint origin = {});

}  // namespace glimra
