// All nineteen patterns side by side, each named under its picture.
#pragma once

#include "picture/renderer.h"

#include <QImage>

#include <variant>

namespace glimra {

// The gallery of every pattern at the given texts (density and samples 1),
// or the result that stopped it: a thumbnail that is refused, has nothing to
// paint, or was stopped. Needs a QGuiApplication for its captions.
std::variant<QImage, PictureResult> renderGallery(const PictureRequest& request);

}  // namespace glimra
