// The window's picture at a whole multiple of its resolution, for screens with
// more than one device pixel per pixel: the render glimra-render --density
// makes, plotted into a Canvas that many times denser.
#pragma once

#include "render/frame.h"

namespace glimra {

// The density a device pixel ratio allows: the whole number at or below it,
// 1 to kMaxScreenDensity.
inline constexpr int kMaxScreenDensity = 4;
int densityForRatio(double ratio);

// Renders `pattern` at `density` (at least 2): K·N columns by K·S rows, column
// m and row n (0-based) at the counters x0 + (m + 1) / K and y0 + (n + 1) / K.
// Column m is plotted at x = K · (kCanvasLeft + 1) + m and row n at
// y = K · (kCanvasTop + 1) + n, so that each pixel's K × K block of device
// pixels holds the pattern's own values there. Only the plain columns and rows
// below `maxColumns` and `maxRows` are scanned (the rest would fall outside
// the Canvas). Halts, yields and faults as render() has them.
RenderResult renderDense(const Pattern& pattern, const PatternParameters& params, int density, long maxColumns,
                         long maxRows, RenderHost& host, const RenderOptions& options = {});

}  // namespace glimra
