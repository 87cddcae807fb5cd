// A picture's pixels as the picture library holds them: rows one after the
// other, each pixel 0xffRRGGBB in a 32-bit word. That is the toolkit's own
// 32-bit RGB layout too, so the window shows these pixels as an image
// without copying them (imageOver in picture/qt_toolkit.h), while a program
// that only writes files needs no part of the toolkit's graphics.
#pragma once

#include "render/colour.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace glimra {

using Pixel = std::uint32_t;

inline constexpr Pixel pixelOf(int red, int green, int blue)
{
    return 0xff000000u | Pixel(red & 0xff) << 16 | Pixel(green & 0xff) << 8 | Pixel(blue & 0xff);
}
inline constexpr Pixel pixelOf(Colour c) { return pixelOf(redOf(c), greenOf(c), blueOf(c)); }
inline constexpr int redOfPixel(Pixel p) { return int(p >> 16 & 0xff); }
inline constexpr int greenOfPixel(Pixel p) { return int(p >> 8 & 0xff); }
inline constexpr int blueOfPixel(Pixel p) { return int(p & 0xff); }

class Pixels {
public:
    Pixels() = default;
    // Every pixel `fill`.
    Pixels(int width, int height, Pixel fill = pixelOf(0, 0, 0))
        : width_(std::max(0, width)), height_(std::max(0, height)),
          pixels_(std::size_t(width_) * std::size_t(height_), fill)
    {
        if (width_ == 0 || height_ == 0)
            *this = Pixels();
    }

    int width() const { return width_; }
    int height() const { return height_; }
    bool isNull() const { return pixels_.empty(); }

    Pixel* row(int y) { return pixels_.data() + std::size_t(y) * std::size_t(width_); }
    const Pixel* row(int y) const { return pixels_.data() + std::size_t(y) * std::size_t(width_); }
    Pixel* data() { return pixels_.data(); }
    const Pixel* data() const { return pixels_.data(); }
    Pixel at(int x, int y) const { return row(y)[x]; }

    void fill(Pixel p) { std::fill(pixels_.begin(), pixels_.end(), p); }

    // `count` rows from row `top`, as pixels of their own.
    Pixels rows(int top, int count) const
    {
        Pixels out(width_, count);
        if (!out.isNull())
            std::copy_n(row(top), std::size_t(width_) * std::size_t(count), out.data());
        return out;
    }

    // Another picture's pixels, its corner at (left, top); whatever falls
    // outside is dropped.
    void place(const Pixels& other, int left, int top)
    {
        for (int y = std::max(0, -top); y < other.height_ && top + y < height_; ++y) {
            const int from = std::max(0, -left);
            const int to = std::min(other.width_, width_ - left);
            if (from < to)
                std::copy(other.row(y) + from, other.row(y) + to, row(top + y) + left + from);
        }
    }

    bool operator==(const Pixels&) const = default;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<Pixel> pixels_;
};

}  // namespace glimra
