// The picture renderer: one place, plain or dense or sampled, of any size up
// to 65536 on a side, rendered into a picture file that appears whole or not
// at all. glimra-render and the window's "Save large picture…" both use it, so
// the two write the same file byte for byte.
#pragma once

#include "picture/picture_request.h"

#include <optional>

namespace glimra {

// Sizes the picture from the scan the frame runs, without rendering it.
PicturePlan planPicture(const PictureRequest& request);

// Renders the picture into its file. Never throws for a failed write or a
// stop: the result says what happened.
PictureResult renderPicture(const PictureRequest& request);

// What rendering a request would cost, from a block of its middle rendered
// now: the time on the request's threads and the PNG file's size, both
// scaled to the whole picture. Nothing when there is nothing to render.
struct PictureEstimate {
    double seconds = 0;
    double bytes = 0;
};
std::optional<PictureEstimate> estimatePicture(const PictureRequest& request);

// The plain picture of a request, the size of its scan, in memory: image
// pixel (x, y) is Canvas pixel (161 + x, 51 + y). Nothing when the request is
// not plain (dense, sampled or larger than kMaxPlainSide) or has nothing to
// paint, or was stopped.
std::optional<Pixels> renderPlainImage(const PictureRequest& request);

}  // namespace glimra
