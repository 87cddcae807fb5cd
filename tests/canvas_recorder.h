// A RenderHost that keeps what a window's Canvas would receive.
#pragma once

#include "render/frame.h"

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
