// eeee (pattern button 4): a long nested sine and cosine chain and a
// third term that feeds the first two back into a cosine.
#include "patterns/patterns.h"
#include "patterns/kernel.h"
#include "patterns/checked.h"

namespace glimra {
namespace {

// The centring halves N and S directly, without the detour through text that
// centredFrame takes.
Derived deriveEeee(const PatternParameters& p)
{
    Derived d = sizedFrame(p);
    d.x0 = p.x - d.N / 2;
    d.y0 = p.y - d.S / 2;
    d.Z = p.zoom + p.zoom;
    d.B = p.bright;
    return d;
}

// The nested chain t1 .. t8; only its last link is used further.
template <class V>
V chain(V a, V b)
{
    const V t1 = cos(a - b);
    const V t2 = sin(b - t1);
    const V t3 = sin(b * t2);
    const V t4 = cos(a * t3);
    const V t5 = sin(b * t4);
    const V t6 = sin(b * t5);
    const V t7 = cos(a - t6);
    return cos(a * t7);
}

// Row terms: a, a / 2. Column terms: b, Cos(Sin(b)). Shared: d × c twice.
// (Cos(a - b) and Cos(b - a) stay apart: the two arguments differ in sign.)
struct Eeee {
    static constexpr int rowTerms = 2, columnTerms = 2;

    template <class V>
    static void row(const Derived& v, V j, V* r)
    {
        const V a = scaled(j, v.Z);
        r[0] = a;
        r[1] = a / 2;
    }

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        const V b = scaled(i, v.Z);
        c[0] = b;
        c[1] = cos(sin(b));
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], halfA = row[1];
        const V b = col[0], cosSinB = col[1];
        const V t8 = chain(a, b);
        const V e = (sin(b * a) + 0.2) - t8;
        const V c = fabs(tan(sin(b - a) * e + cos(a + b)));
        const V d = fabs(tan(cos(b - a) + sin(a - b)));
        const V dc = d * c;
        const V f = dc * cos(halfA - cos((a - dc) + cosSinB * sin(b - cos(c / 17))));
        return {B * ((0.09 * c + 0.07 * f) + 0.1 * e), B * ((0.03 * c + 0.02 * f) + 0.08 * e),
                B * ((0.19 * c + 0.001 * f) + 0.02 * e)};
    }
};

}  // namespace

GLIMRA_PATTERN(eeee, "eeee", deriveEeee, Eeee)

}  // namespace glimra
