// All nineteen patterns side by side, each named under its picture.
#pragma once

#include "picture/pixels.h"
#include "picture/renderer.h"

#include <variant>

namespace glimra {

// The gallery of every pattern at the given texts (density and samples 1),
// or the result that stopped it: a thumbnail that is refused, has nothing to
// paint, or was stopped, or captions that cannot be drawn (they are the
// toolkit's, see picture/toolkit.h).
std::variant<Pixels, PictureResult> renderGallery(const PictureRequest& request);

}  // namespace glimra
