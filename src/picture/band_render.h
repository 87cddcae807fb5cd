// The scan of a planned picture: plain (the window's own scan, into one
// image) or in bands of rows, each band handed to a sink as soon as it is
// done, with the rule for arithmetic faults that bands need.
#pragma once

#include "picture/band_sink.h"
#include "picture/render_plan.h"
#include "picture/samples.h"

namespace glimra {

// What one pass of the renderer came to.
struct Pass {
    FaultAt fault;
    bool stopped = false;
    bool failed = false;
    std::string why;
    long kept = 0;  // bands taken from an earlier run
};

// Renders in bands of rows, each band streamed out before the next. Every pixel
// is a pure function of its counters, so bands give the picture a single scan
// gives, except where a fault ends the scan: there the first fault in scan
// order decides what is painted, and a band above it may already hold columns
// right of it. So a fault found is noted, the bands after it scan only up to
// its column (an earlier fault can still hide there), and the picture is then
// written again with everything at or after the first fault left as
// background.
Pass renderInBands(const Plan& plan, BandSink& sink);

// The window's own scan, into an image the size of the scan: image pixel
// (x, y) is Canvas pixel (161 + x, 51 + y).
Pass renderPlain(const Plan& plan, Pixels& picture);

// The scan of sample `sample` (0 .. samples² - 1) over a block of the
// picture: `columns` columns from `left`, `rows` rows from `top`.
ScanGrid sampleGrid(const Plan& plan, long left, long columns, long top, long rows, int sample);

// A sample's column, into an image whose first row is picture row `top`
// when there is one sample per pixel, else into the sums of its light.
void plotSample(Pixels& image, LinearSums& sums, const ColumnView& column, long top);

}  // namespace glimra
