#include "picture/picture.h"

#include <algorithm>
#include <climits>

namespace glimra {

QRect plotColumn(QImage& image, const ColumnView& column, QPoint origin)
{
    const int x = column.x - origin.x();
    if (x < 0 || x >= image.width())
        return {};
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const int height = image.height();
    int top = INT_MAX;
    int bottom = INT_MIN;
    for (std::size_t m = 0; m < column.colours.size(); ++m) {
        const long y = long(column.ys[m]) - origin.y();
        if (y < 0 || y >= height)
            continue;
        reinterpret_cast<QRgb*>(bits + y * stride)[x] = toQRgb(column.colours[m]);
        top = std::min(top, int(y));
        bottom = std::max(bottom, int(y));
    }
    return top <= bottom ? QRect(x, top, 1, bottom - top + 1) : QRect();
}

}  // namespace glimra
