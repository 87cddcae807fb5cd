// What a pattern's column scan needs inline: the clamp, Round and packing of a
// pixel, and a scan that runs a pixel formula over a column with the formula
// inlined into the loop.
#pragma once

#include "render/frame.h"

namespace glimra {

// Clamps a component to 0 .. 255. A NaN becomes 0 so that packing never
// converts one to an integer; such a pixel has faulted and is computed again.
inline double clampComponent(double v)
{
    v = v > 0 ? v : 0;
    return v < 255 ? v : 255;
}

// Round of a clamped component: for 0 .. 255, adding and subtracting 2^52 in
// the default rounding mode rounds to the nearest whole number, a half to the
// even neighbour, exactly as Round does, in two additions on any x86-64.
inline int roundClamped(double v) { return static_cast<int>((v + 0x1p52) - 0x1p52); }

inline Colour packPixel(double red, double green, double blue)
{
    return rgb(roundClamped(clampComponent(red)), roundClamped(clampComponent(green)),
               roundClamped(clampComponent(blue)));
}

inline Colour packPixel(const Components& c) { return packPixel(c.red, c.green, c.blue); }

// The frame values most patterns share: centred, the zoom doubled, the
// brightness as is.
inline Derived centredDoubledZoom(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = p.zoom + p.zoom;
    d.B = p.bright;
    return d;
}

// A fixed shift of 150 rather than half the size: the picture is not centred
// on (x, y), and its first pixel does not move when the size changes. Z and
// B are the pattern's own.
inline Derived shiftedBy150(const PatternParameters& p)
{
    Derived d = sizedFrame(p);
    d.x0 = p.x + 150;
    d.y0 = p.y - 150;
    d.B = p.bright;
    return d;
}

// The scaled coordinate of a counter as most patterns map it: K times the
// quotient, then times the zoom.
inline double scaled(double counter, double Z) { return (K * (counter / 200)) * Z; }

// A row table of one term: the scaled row coordinate of each row.
inline void scaledRows(const Derived& v, const double* j, std::size_t count, double* table)
{
    for (std::size_t m = 0; m < count; ++m)
        table[m] = scaled(j[m], v.Z);
}

// The same for the patterns whose coordinates start at 0.5.
inline void shiftedScaledRows(const Derived& v, const double* j, std::size_t count, double* table)
{
    for (std::size_t m = 0; m < count; ++m)
        table[m] = 0.5 + scaled(j[m], v.Z);
}

// kraken and qwin: the scaled row coordinate and 0.000123 + K x (j / 200),
// the divisor of their quotient q, for each row.
inline void scaledRowsAndQuotientDivisor(const Derived& v, const double* j, std::size_t count, double* table)
{
    for (std::size_t m = 0; m < count; ++m) {
        const double kj = K * (j[m] / 200);
        table[m] = kj * v.Z;
        table[count + m] = 0.000123 + kj;
    }
}

// The formula as written, run over a column with nothing hoisted.
template <Components (*Pixel)(const Derived&, double, double)>
void scanColumn(const Derived& d, const ColumnArgs& col)
{
    for (std::size_t m = 0; m < col.count; ++m)
        col.out[m] = packPixel(Pixel(d, col.i, col.j[m]));
}

}  // namespace glimra
