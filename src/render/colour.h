// A pixel's colour: the three components a formula gives, the colour value
// they are packed into, and the rule that packs them (clamp, Round, pack).
// The rule is the frame's; every column scan of every pattern applies it
// inline, so it is written here once, where the frame and the patterns both
// reach it.
//
// The packing sits in the instruction set's inline namespace (see
// math/lanes.h): a copy compiled with AVX2 must never serve the baseline code.
#pragma once

#include "math/lanes.h"

#include <cstdint>

namespace glimra {

struct Components {
    double red = 0;
    double green = 0;
    double blue = 0;
};

// The colour value R + 256 x G + 65536 x B.
using Colour = std::uint32_t;

inline constexpr Colour rgb(int r, int g, int b) { return Colour(r) | Colour(g) << 8 | Colour(b) << 16; }
inline constexpr int redOf(Colour c) { return int(c & 0xff); }
inline constexpr int greenOf(Colour c) { return int(c >> 8 & 0xff); }
inline constexpr int blueOf(Colour c) { return int(c >> 16 & 0xff); }

// The window's background, RGB(64, 64, 64): what every pixel a render never
// reached shows, in the window and in every picture file.
inline constexpr Colour kBackground = rgb(64, 64, 64);

// Clamp each component to 0..255, Round it, pack it. Components must be finite.
Colour packColour(const Components& c);

inline namespace GLIMRA_ISA {

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

}  // namespace GLIMRA_ISA

}  // namespace glimra
