// dune, the reference pattern (button 3): two tangent terms of the sum and
// difference of the coordinates.
#include "patterns/patterns.h"
#include "patterns/kernel.h"
#include "patterns/checked.h"

namespace glimra {
namespace {

Derived deriveDune(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = p.zoom + p.zoom;
    d.B = p.bright / 2;
    return d;
}

// Row term: a. Column term: b. Nothing else repeats or depends on one
// coordinate alone.
struct Dune : ScaledCoordinates {
    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], b = col[0];
        const V c = fabs(tan((b - a) * cos(a + b)));
        const V d = fabs(tan((b + a) * cos(a - b)));
        return {B * (0.9 * c + 0.1 * d), B * (0.3 * c + 0.2 * d), B * (0.05 * c + 0.4 * d)};
    }
};

}  // namespace

GLIMRA_PATTERN(dune, "dune", deriveDune, Dune)

}  // namespace glimra
