#include "picture/samples.h"

#include <array>
#include <cmath>

namespace glimra {
namespace {

const std::array<double, 256>& decodeTable()
{
    static const std::array<double, 256> table = [] {
        std::array<double, 256> t{};
        for (int v = 0; v < 256; ++v)
            t[std::size_t(v)] = linearFromSrgb(v);
        return t;
    }();
    return table;
}

}  // namespace

double linearFromSrgb(int value)
{
    const double c = value / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

int srgbFromLinear(double light)
{
    const double l = std::clamp(light, 0.0, 1.0);
    const double c = l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
    return int(std::clamp(std::nearbyint(c * 255), 0.0, 255.0));
}

Colour averageInLinearLight(std::span<const Colour> samples)
{
    const auto& decode = decodeTable();
    double r = 0, g = 0, b = 0;
    for (Colour c : samples) {
        r += decode[std::size_t(redOf(c))];
        g += decode[std::size_t(greenOf(c))];
        b += decode[std::size_t(blueOf(c))];
    }
    const double n = double(samples.size());
    return rgb(srgbFromLinear(r / n), srgbFromLinear(g / n), srgbFromLinear(b / n));
}

void LinearSums::add(const ColumnView& column, long top, int width)
{
    const auto& decode = decodeTable();
    for (std::size_t k = 0; k < column.colours.size(); ++k) {
        const std::size_t at = 3 * (std::size_t(column.ys[k] - top) * std::size_t(width) + std::size_t(column.x));
        const Colour c = column.colours[k];
        sums_[at] += decode[std::size_t(redOf(c))];
        sums_[at + 1] += decode[std::size_t(greenOf(c))];
        sums_[at + 2] += decode[std::size_t(blueOf(c))];
    }
}

void LinearSums::averageInto(Pixels& band, long columns, int count) const
{
    const double n = count;
    for (int y = 0; y < band.height(); ++y) {
        Pixel* line = band.row(y);
        for (long x = 0; x < columns; ++x) {
            const std::size_t at = 3 * (std::size_t(y) * std::size_t(band.width()) + std::size_t(x));
            line[x] = pixelOf(srgbFromLinear(sums_[at] / n), srgbFromLinear(sums_[at + 1] / n),
                              srgbFromLinear(sums_[at + 2] / n));
        }
    }
}

}  // namespace glimra
