// fun and grin (pattern buttons 5 and 6). fun divides one tangent
// term by a power of the other; grin sets two stages of tangent terms against
// each other in a ratio of products.
#include "patterns/patterns.h"
#include "patterns/kernel.h"
#include "patterns/checked.h"

namespace glimra {
namespace {

Derived deriveFun(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = p.zoom;  // not doubled
    d.B = p.bright;
    return d;
}

// Row terms: the four multiples of s = Sin(a) that fun uses: s / 2, s / 0.5,
// s × 1.3 and 1.7 × s. Column terms: the four uses of k = Cos(b): k × 3,
// k × 0.7, k / 1.1 and 1.9 / (0.0001 + k). What is left per pixel is two sums
// and the Tan, Sin, Cos and power around them.
struct Fun {
    static constexpr int rowTerms = 4, columnTerms = 4;

    template <class V>
    static void row(const Derived& v, V j, V* r)
    {
        const V s = sin(scaled(j, v.Z));
        r[0] = s / 2;
        r[1] = s / 0.5;
        r[2] = s * 1.3;
        r[3] = 1.7 * s;
    }

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        const V k = cos(scaled(i, v.Z));
        c[0] = k * 3;
        c[1] = k * 0.7;
        c[2] = k / 1.1;
        c[3] = 1.9 / (0.0001 + k);
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V sHalf = row[0], sDouble = row[1], s13 = row[2], s17 = row[3];
        const V k3 = col[0], k07 = col[1], k11 = col[2], kInverse = col[3];
        const V c = fabs(tan(sin(k3 - sHalf) + cos(sDouble + k07)));
        const V d = fabs(tan(cos(k11 - s13) * sin(s17 + kInverse)));
        const V e = c / (pow(d, 0.7) + 0.0000001);
        return {B * ((0.05 * c + 0.01 * d) + 0.08 * e), B * ((0.03 * c + 0.08 * d) + 0.018 * e),
                B * ((0.19 * c + 0.2 * d) + 0.001 * e)};
    }
};

// Row terms: a, p = Cos(a). Column terms: b, q = Sin(b). Shared: c - d and
// d + c, each the argument of a Sin and a Cos.
struct Grin {
    static constexpr int rowTerms = 2, columnTerms = 2;

    template <class V>
    static void row(const Derived& v, V j, V* r)
    {
        const V a = scaled(j, v.Z);
        r[0] = a;
        r[1] = cos(a);
    }

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        const V b = scaled(i, v.Z);
        c[0] = b;
        c[1] = sin(b);
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], p = row[1];
        const V b = col[0], q = col[1];
        const V c = fabs(tan(sin(q - p) + cos(p + q)));
        const V d = fabs(tan(cos(b - a) - sin(a + b)));
        const V diff = c - d, sum = d + c;
        const V e = fabs(tan(sin(diff) + cos(sum)));
        const V f = fabs(tan(cos(diff) - sin(sum)));
        const V g = (c * e) / ((d * f) + 0.0000001);
        return {B * ((0.01 * e + 0.05 * f) + 0.08 * g), B * ((0.05 * e + 0.03 * f) + 0.01 * g),
                B * ((0.09 * e + 0.02 * f) + 0.14 * g)};
    }
};

}  // namespace

GLIMRA_PATTERN(fun, "fun", deriveFun, Fun)
GLIMRA_PATTERN(grin, "grin", centredDoubledZoom, Grin)

}  // namespace glimra
