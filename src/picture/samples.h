// Several samples per pixel, averaged in linear light: sRGB values are
// decoded to the light they stand for, averaged, and encoded again, so a fine
// black-and-white pattern averages to the grey the eye sees, not a darker one.
#pragma once

#include "render/frame.h"

#include "picture/pixels.h"

#include <span>
#include <vector>

namespace glimra {

double linearFromSrgb(int value);  // 0..255 -> 0..1
int srgbFromLinear(double light);  // 0..1 -> 0..255, to the nearest

Colour averageInLinearLight(std::span<const Colour> samples);

// Running sums of the linear light of a band of pixels.
class LinearSums {
public:
    static constexpr std::size_t kBytesPerPixel = 3 * sizeof(double);

    explicit LinearSums(std::size_t pixels) : sums_(3 * pixels, 0.0) {}
    bool empty() const { return sums_.empty(); }

    // Adds a column of a band whose first row is `top`: pixel (m, n) of the
    // picture is entry (n - top) * width + m.
    void add(const ColumnView& column, long top, int width);

    // The average of `count` samples, for the band's first `columns` columns.
    void averageInto(Pixels& band, long columns, int count) const;

private:
    std::vector<double> sums_;
};

}  // namespace glimra
