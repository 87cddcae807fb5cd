// aries, blood and celt (pattern buttons 0, 1 and 2): nested sine,
// cosine and tangent terms of the scaled coordinates, with a power in each.
#include "patterns/patterns.h"
#include "patterns/kernel.h"
#include "patterns/checked.h"

namespace glimra {
namespace {

// Row terms: a, a / 2, Abs(Tan(a / 4) + 0.0001). Column term: b. Shared:
// Cos(a + b) three times, Cos(b - a) twice, c1 × c2 twice, and the whole
// Sin(((b + c2) + a) + Cos(a + b)) of c3 and c6.
struct Aries {
    static constexpr int rowTerms = 3, columnTerms = 1;

    template <class V>
    static void row(const Derived& v, V j, V* r)
    {
        const V a = scaled(j, v.Z);
        r[0] = a;
        r[1] = a / 2;
        r[2] = fabs(tan(a / 4) + 0.0001);
    }

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        c[0] = scaled(i, v.Z);
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], halfA = row[1], c4Base = row[2];
        const V b = col[0];
        const V cosSum = cos(a + b);
        const V cosDiff = cos(b - a);
        const V c1 = fabs(tan(sin(((a * b) + cosDiff) - fabs(tan(sin(b + a) + cosSum)))));
        const V c2 = fabs(sin((c1 * c1) * cos(halfA - cos(c1 * sin(b - cos(c1 / 3))))));
        const V c1c2 = c1 * c2;
        const V tail = sin(((b + c2) + a) + cosSum);
        const V c3 = fabs(tan(sin(c1c2 * cosDiff) + tail));
        const V c4 = pow(c4Base, sin(c1 / 4) + 0.001);
        const V c5 = cos((c1 * c3) * c2);
        const V c6 = fabs(tan(sin(c1c2 * cos(c5 - c4)) + tail));
        const V w1 = ((c4 * 0.02 + c5 * 0.02) + c3 * 0.1) + c6 * 0.01;
        const V w2 = ((c4 * 0.07 + c5 * 0.1) + c3 * 0.002) + c6 * 0.05;
        const V w3 = ((c4 * 0.2 + c5 * 0.18) + c3 * 0.00001) + c6 * 0.1;
        return {B * w3, B * w2, B * w1};
    }
};

// Row terms: a, Abs(a) ^ 1.2, a / 3. Column terms: b, Abs(b) ^ 1.3, b / 2.
// Shared: Cos(a + b) (also written Cos(b + a)) twice, c1 - b twice.
struct Blood {
    static constexpr int rowTerms = 3, columnTerms = 3;

    template <class V>
    static void row(const Derived& frame, V j, V* r)
    {
        const V a = scaled(j, frame.Z);
        r[0] = a;
        r[1] = pow(fabs(a), 1.2);
        r[2] = a / 3;
    }

    template <class V>
    static void column(const Derived& frame, V i, V* c)
    {
        const V b = scaled(i, frame.Z);
        c[0] = b;
        c[1] = pow(fabs(b), 1.3);
        c[2] = b / 2;
    }

    template <class V>
    static Rgb<V> pixel(const Derived& frame, const V* col, const V* row)
    {
        const double B = frame.B;
        const V a = row[0], powA = row[1], thirdA = row[2];
        const V b = col[0], powB = col[1], halfB = col[2];
        const V sum = a + b;
        const V cosSum = cos(sum);
        const V c1 = fabs(sin(tan((powB - powA) + cosSum))) / 7;
        const V c1b = c1 - b;
        const V c2 = fabs(tan(sin((a - c1) + cos((c1b + sin(sum)) + cos(c1)))));
        const V c3 = fabs(tan(sin(c1b + cos(c2 - thirdA)) + sin(sum + cos(a - halfB))));
        const V c4 = fabs(tan(sin((a * b) + c3 * cosSum) + sin(((b * c3) * a) + cos(a - b))));
        const V u = c4 * 0.002 + c3 * 0.08;
        const V w = c4 * 0.2 + c3 * 0.002;
        const V vMix = c4 * 0.02 + c3 * 0.01;
        return {B * w, 5 + B * vMix, 15 + B * u};
    }
};

Derived deriveCelt(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = p.zoom * 0.7;
    d.B = p.bright;
    return d;
}

// Row terms: a, Abs(a) ^ 0.5, Abs(a) ^ 1.2. Column terms: b, Abs(b) ^ 0.5,
// Abs(b) ^ 0.8, b / 3. No term repeats within a pixel.
struct Celt {
    static constexpr int rowTerms = 3, columnTerms = 4;

    template <class V>
    static void row(const Derived& frame, V j, V* r)
    {
        const V a = scaled(j, frame.Z);
        r[0] = a;
        r[1] = pow(fabs(a), 0.5);
        r[2] = pow(fabs(a), 1.2);
    }

    template <class V>
    static void column(const Derived& frame, V i, V* c)
    {
        const V b = scaled(i, frame.Z);
        c[0] = b;
        c[1] = pow(fabs(b), 0.5);
        c[2] = pow(fabs(b), 0.8);
        c[3] = b / 3;
    }

    template <class V>
    static Rgb<V> pixel(const Derived& frame, const V* col, const V* row)
    {
        const double B = frame.B;
        const V a = row[0], rootA = row[1], powA = row[2];
        const V b = col[0], rootB = col[1], powB = col[2], thirdB = col[3];
        const V c0 = rootA * rootB;
        const V c1 = fabs(tan(sin(c0)) + cos((c0 + sin(b + a)) + tan(c0)));
        const V c2 = fabs(tan(sin(c1 - powA) + cos(a + powB)));
        const V c3 = fabs(tan(sin((c0 - c2) + 0.4) * a + cos(a + thirdB)));
        const V c4 = fabs(tan((sin(c1 - c3 * 2) + c3) + cos(c2 * c3)));
        const V u = ((c2 * 0.05 + c3 * 0.05) + c4 * 0.05) + c1 * 0.3;
        const V vMix = ((c2 * 0.01 + c3 * 0.01) + c4 * 0.03) + c1 * 0.03;
        const V w = ((c2 * 0.015 + c3 * 0.03) + c4 * 0.01) + c1 * 0.01;
        return {B * w, B * vMix, B * u};
    }
};

}  // namespace

GLIMRA_PATTERN(aries, "aries", centredDoubledZoom, Aries)
GLIMRA_PATTERN(blood, "blood", centredDoubledZoom, Blood)
GLIMRA_PATTERN(celt, "celt", deriveCelt, Celt)

}  // namespace glimra
