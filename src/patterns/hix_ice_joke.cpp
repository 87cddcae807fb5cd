// hix, ice and joke (pattern buttons 7, 8 and 9): three formulas in
// one shared frame (the zoom doubled, the brightness unhalved).
#include "patterns/patterns.h"
#include "patterns/kernel.h"
#include "patterns/checked.h"

namespace glimra {
namespace {

// Row terms: a, s = Sin(a), 0.5 × a, 2 × s. Column terms: b, t = Cos(b),
// 2 × t, 0.5 × b.
struct Hix {
    static constexpr int rowTerms = 4, columnTerms = 4;

    template <class V>
    static void row(const Derived& v, V j, V* r)
    {
        const V a = scaled(j, v.Z);
        const V s = sin(a);
        r[0] = a;
        r[1] = s;
        r[2] = 0.5 * a;
        r[3] = 2 * s;
    }

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        const V b = scaled(i, v.Z);
        const V t = cos(b);
        c[0] = b;
        c[1] = t;
        c[2] = 2 * t;
        c[3] = 0.5 * b;
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], s = row[1], halfA = row[2], s2 = row[3];
        const V b = col[0], t = col[1], t2 = col[2], halfB = col[3];
        const V c = fabs(tan(sin(t * s) + (cos(s + b) - sin(a - t))));
        const V d = fabs(tan((sin(t2 + halfA) + c) - sin(s2 - halfB)));
        return {B * (0.03 * c + 0.01 * d), B * (0.01 * c + 0.03 * d), B * (0.09 * c + 0.09 * d)};
    }
};

// Row terms: a, p = Sin(a / 1.5), 0.5 × a, 2 × a. Column terms: b,
// q = Sin(b / 1.5), 2 × b, 0.5 × b. Shared: Sin(q - p) and Cos(p + q), each
// twice.
struct Ice {
    static constexpr int rowTerms = 4, columnTerms = 4;

    template <class V>
    static void row(const Derived& v, V j, V* r)
    {
        const V a = scaled(j, v.Z);
        r[0] = a;
        r[1] = sin(a / 1.5);
        r[2] = 0.5 * a;
        r[3] = 2 * a;
    }

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        const V b = scaled(i, v.Z);
        c[0] = b;
        c[1] = sin(b / 1.5);
        c[2] = 2 * b;
        c[3] = 0.5 * b;
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], p = row[1], halfA = row[2], a2 = row[3];
        const V b = col[0], q = col[1], b2 = col[2], halfB = col[3];
        const V sinDiff = sin(q - p);
        const V cosSum = cos(p + q);
        const V c = fabs(tan(sinDiff + tan(cosSum)) + 0.5);
        const V d = fabs(sinDiff + (cosSum * c) / 3);
        const V e = fabs(tan((sin(b - a) * d) * cos((a + c / 2) + b)));
        const V f = fabs(tan(sin(b2 + halfA) + d / 2) + sin(a2 - halfB));
        const V g = fabs(tan((sin(f - e) + cos(e)) + f));
        const V h = fabs(tan(sin(2 * f + 0.5 * e) + sin(2 * e - 0.5 * f)));
        return {B * (0.005 * g + 0.08 * h + 0.01 * f + 0.001 * d), B * (0.013 * g + 0.05 * h + 0.07 * f + 0.04 * d),
                B * (0.09 * g + 0.02 * h + 0.04 * f + 0.01 * d)};
    }
};

// Row term: a. Column terms: b, b + 0.00001. Shared: Sin(a - b) twice,
// Sin(d - c) twice, and the sums a + b and f + g.
struct Joke : ScaledRow {
    static constexpr int columnTerms = 2;

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        const V b = scaled(i, v.Z);
        c[0] = b;
        c[1] = b + 0.00001;
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0];
        const V b = col[0], bNudged = col[1];
        const V sum = a + b;
        const V sinDiff = sin(a - b);
        const V c = fabs(tan(sin(((b - a) + sinDiff) + cos(sum))));
        const V d = fabs(tan(sin((sum + cos(a - bNudged)) + sinDiff)));
        const V e = c / (d + 0.001);
        const V sinDC = sin(d - c);
        const V f = (sinDC - e) - cos(c + d);
        const V g = fabs((sinDC - f) - sin(c - d));
        const V fg = f + g;
        const V h = fabs(tan(sin((g + e) - f) + cos(fg)));
        const V k = fabs(tan(sin(fg) + sin(f * e - g)));
        return {B * (0.09 * h + 0.18 * k + 0.09 * g), B * (0.03 * h + 0.09 * k + 0.014 * g),
                B * (0.19 * h + 0.02 * k + 0.015 * g)};
    }
};

}  // namespace

GLIMRA_PATTERN(hix, "hix", centredDoubledZoom, Hix)
GLIMRA_PATTERN(ice, "ice", centredDoubledZoom, Ice)
GLIMRA_PATTERN(joke, "joke", centredDoubledZoom, Joke)

}  // namespace glimra
