// A RenderHost that keeps what a window's Canvas would receive, and the
// options that plot where the window has its picture.
#pragma once

#include "render/frame.h"
#include "window/canvas_origin.h"

#include <map>
#include <utility>
#include <vector>

class CanvasRecorder : public glimra::RenderHost {
public:
    std::map<std::pair<int, int>, glimra::Colour> canvas;  // (x, y) -> last colour plotted
    std::vector<std::pair<int, int>> order;                // every plot, in plot order
    long yields = 0;

    void plotColumn(const glimra::ColumnView& c) override
    {
        for (std::size_t m = 0; m < c.colours.size(); ++m) {
            order.emplace_back(c.x, c.ys[m]);
            canvas[{c.x, c.ys[m]}] = c.colours[m];
        }
    }
    void yield() override { ++yields; }
};

// On `threads` threads (0: one per core), the first pixel at Canvas (161, 51).
inline glimra::RenderOptions onCanvas(int threads = 0)
{
    glimra::RenderOptions options;
    options.threads = threads;
    options.origin = glimra::kCanvasOrigin;
    return options;
}
