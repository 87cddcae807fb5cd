#include "picture/picture.h"

#include <algorithm>
#include <climits>

namespace glimra {

QRect plotColumn(Pixels& image, const ColumnView& column, QPoint origin)
{
    const int x = column.x - origin.x();
    if (x < 0 || x >= image.width())
        return {};
    const int height = image.height();
    int top = INT_MAX;
    int bottom = INT_MIN;
    for (std::size_t m = 0; m < column.colours.size(); ++m) {
        const long y = long(column.ys[m]) - origin.y();
        if (y < 0 || y >= height)
            continue;
        image.row(int(y))[x] = pixelOf(column.colours[m]);
        top = std::min(top, int(y));
        bottom = std::max(bottom, int(y));
    }
    return top <= bottom ? QRect(x, top, 1, bottom - top + 1) : QRect();
}

}  // namespace glimra
