// The plan of a picture: everything about a request that is fixed before
// its scan (the parameters read once, the derived values, the counters, the
// size and the band height), and the refusals that come before any pixel.
// Shared by the rooms of the picture renderer; not for its callers.
#pragma once

#include "picture/picture.h"
#include "picture/picture_request.h"

#include <vector>

namespace glimra {

inline constexpr Pixel kBackgroundRgb = pixelOf(kBackground);

// The picture of a request, with everything fixed before its scan.
struct Plan {
    const PictureRequest* request = nullptr;
    const Pattern* pattern = nullptr;
    PatternParameters params;
    Derived derived;
    std::vector<double> columns;  // the plain scan's counters
    std::vector<double> rows;
    int density = 1;
    int samples = 1;
    long width = 0;
    long height = 0;
    int threads = 1;
    bool bands = false;   // in bands whatever its size (a band height was asked for)
    long bandRows = 0;    // rows per band, when not plain
    bool derives = true;  // false: deriving the values faults, before any pixel

    bool plain() const
    {
        return !bands && density == 1 && samples == 1 && width <= kMaxPlainSide && height <= kMaxPlainSide;
    }
    bool stopped() const { return request->stop && request->stop(); }
    void progress(double done) const
    {
        if (request->progress)
            request->progress(done);
    }
};

// Everything about a request that is fixed before its scan; `out` says whether
// there is anything to render.
Plan makePlan(const PictureRequest& request, PicturePlan& out);

// Pixels of the picture's size in the background colour.
Pixels backgroundImage(long width, long height);

}  // namespace glimra
