// The picture library's pixels and the toolkit's images, for the window,
// which links the toolkit: images over pixels without copying them, and the
// toolkit's own writer and captions (what glimra-render loads as a module).
#pragma once

#include "picture/toolkit.h"

#include <QImage>

namespace glimra {

// An image that shows `pixels` in place, for as long as they live unresized.
inline QImage imageOver(Pixels& pixels)
{
    return QImage(reinterpret_cast<uchar*>(pixels.data()), pixels.width(), pixels.height(),
                  qsizetype(pixels.width()) * 4, QImage::Format_RGB32);
}
inline QImage imageOver(const Pixels& pixels)
{
    return QImage(reinterpret_cast<const uchar*>(pixels.data()), pixels.width(), pixels.height(),
                  qsizetype(pixels.width()) * 4, QImage::Format_RGB32);
}

// The pixels of any image, as its 32-bit RGB form shows them.
Pixels pixelsOf(const QImage& image);

// The toolkit linked into the program.
const Toolkit& qtToolkit();

}  // namespace glimra
