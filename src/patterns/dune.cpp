// dune, the reference pattern (button 3): two tangent terms of the sum and
// difference of the coordinates.
#include "patterns/patterns.h"
#include "patterns/kernel.h"

#include <cmath>

namespace glimra {
namespace {

Derived deriveDune(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = p.zoom + p.zoom;
    d.B = p.bright / 2;
    return d;
}

Components duneAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = (K * (j / 200)) * Z;
    const double b = (K * (i / 200)) * Z;
    const double c = std::fabs(std::tan((b - a) * std::cos(a + b)));
    const double d = std::fabs(std::tan((b + a) * std::cos(a - b)));
    Components out;
    out.red = B * (0.9 * c + 0.1 * d);
    out.green = B * (0.3 * c + 0.2 * d);
    out.blue = B * (0.05 * c + 0.4 * d);
    return out;
}

// Row table: a. Nothing else repeats or depends on one coordinate alone.
void duneColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = scaled(col.i, v.Z);
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = col.table[m];
        const double c = std::fabs(std::tan((b - a) * std::cos(a + b)));
        const double d = std::fabs(std::tan((b + a) * std::cos(a - b)));
        col.out[m] = packPixel(B * (0.9 * c + 0.1 * d), B * (0.3 * c + 0.2 * d), B * (0.05 * c + 0.4 * d));
    }
}

}  // namespace

const Pattern dune{"dune", deriveDune, duneAt, duneColumn, 1, scaledRows};

}  // namespace glimra
