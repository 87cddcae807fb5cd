// Where the picture sits on the window's Canvas: its first pixel is Canvas
// pixel (161, 51). The window hands this origin to every render it starts;
// the core plots wherever its caller says.
#pragma once

#include "render/frame.h"

namespace glimra {

inline constexpr int kCanvasLeft = 160;
inline constexpr int kCanvasTop = 50;
inline constexpr PlotOrigin kCanvasOrigin{kCanvasLeft, kCanvasTop};

}  // namespace glimra
