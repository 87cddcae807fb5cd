// ooh (button 13), Punk (button 14) and qwin (button 15). ooh and Punk share
// one four-link chain and differ in where its outer Sin and Cos sit; qwin has
// a chain of its own with guarded divisions.
#include "patterns/patterns.h"
#include "patterns/kernel.h"
#include "patterns/checked.h"

namespace glimra {
namespace {

Derived deriveOoh(const PatternParameters& p)
{
    Derived d = shiftedBy150(p);
    d.Z = 2 * p.zoom;
    return d;
}

// Row term: a. Column term: b. Shared: Tan(Cos(c + d)) (written once as
// Cos(d + c)), Sin(f), d × e (also written e × d) and the sum a + b.
struct Ooh : ShiftedCoordinates {
    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], b = col[0];
        const V sum = a + b;
        // The outer Sin and Cos wrap the sum of both Tan terms; that is what
        // sets this chain apart from Punk's.
        const V c = tan(sin(tan(cos(sum)) + tan(sin(b - a))));
        const V d = tan(cos(tan(sin(sum)) + tan(cos(a - b))));
        const V tanCos = tan(cos(c + d));
        const V e = fabs(tan(sin(d - c) + sin(tanCos)));
        const V f = fabs(tan(sin(c - d) + cos(tanCos)));
        const V sinF = sin(f);
        const V de = d * e;
        const V g = sinF - cos(1.235 + c) + fabs(cos(c * e - cos(de * cos(de) * sin(c * sinF))));
        return {B * (0.12 * g + 0.03 * e + 0.03 * f + 0.1 * c + 0.26 * d),
                B * (0.07 * g + 0.05 * e + 0.1 * f + 0.4 * c + 0.038 * d),
                B * (0.4 * g + 0.1 * e + 0.05 * f + 0.051 * c + 0.11 * d)};
    }
};

// No centring at all: with x = y = 0 the picture shows the quarter of the
// plane where both counters are positive.
Derived derivePunk(const PatternParameters& p)
{
    Derived d = sizedFrame(p);
    d.x0 = p.x;
    d.y0 = p.y;
    d.Z = p.zoom;
    d.B = 2 * p.bright;
    return d;
}

// Row term: a. Column term: b. Shared: Tan(Cos(c + d)) (written once as
// Cos(d + c)) and the sum a + b. (Punk itself names the Pattern.)
struct PunkFormula : ShiftedCoordinates {
    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], b = col[0];
        const V sum = a + b;
        // Here the outer Sin and Cos wrap only the first Tan term.
        const V c = tan(sin(tan(cos(sum))) + tan(sin(b - a)));
        const V d = tan(cos(tan(sin(sum))) + tan(cos(a - b)));
        const V tanCos = tan(cos(c + d));
        const V e = fabs(tan(sin(d - c) + sin(tanCos)));
        const V f = fabs(tan(sin(c - d) + cos(tanCos)));
        return {B * (0.03 * e + 0.03 * f), B * (0.05 * e + 0.1 * f), B * (0.1 * e + 0.05 * f)};
    }
};

Derived deriveQwin(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = 3 * p.zoom;
    d.B = p.bright / 2;
    return d;
}

// a follows the column and b the row, the other way round from most patterns.
// The divisors are only guarded by 0.000123, so an exact cancellation is still
// possible at single pixels; the frame ends the render there.
//
// Row terms: b, and 0.000123 + K × (j / 200), the divisor of q. Column terms:
// a, K × (i / 200), Cos(a) and a + 0.000123. Shared: a - b, and
// a × Cos(a + b), which f and g both scale.
struct Qwin : QuotientRows {
    static constexpr int columnTerms = 4;

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        const V ki = K * (i / 200);
        const V a = ki * v.Z;
        c[0] = a;
        c[1] = ki;
        c[2] = cos(a);
        c[3] = a + 0.000123;
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = col[0], ki = col[1], cosA = col[2], aGuarded = col[3];
        const V b = row[0];
        // Formed from the counters afresh, so it carries no zoom.
        const V q = ki / row[1];
        const V diff = a - b;
        const V c = sin(b - a - cos(a * cos(a - sin(b * sin(b * cos(a * sin(b * sin(b - cos(diff)))))))));
        const V d = cos(q - sin(b + cos(c * (cos(diff + (cos(c) + sin(b * sin(c)))) - sin(c + a)))));
        const V e = fabs(tan(tan(d * sin(b * cos(a * (cos(a / (d + 0.000123)) * cos(a * sin(b * sin(b * cosA)))))))));
        const V aCosSum = a * cos(a + b);
        const V f = fabs(tan(fabs(a - b * cos(b / (aGuarded + d * sin(b + aCosSum * cos(d)))))));
        const V g = fabs(sin(tan(f - e * cos(b / aGuarded + d * sin(b + aCosSum * cos(c))))));
        const V h = sin(pow(fabs(d / (f + K)), 0.5));
        // The brightness is halved up front and the mixture quadrupled after it.
        return {B * (0.02 * e + 0.07 * f + 0.1 * h + 0.03 * d + 0.004 * g) * 4,
                B * (0.07 * e + 0.03 * f + 0.2 * h + 0.13 * d + 0.02 * g) * 4,
                B * (0.19 * e + 0.01 * f + 0.03 * h + 0.19 * d + 0.07 * g) * 4};
    }
};

}  // namespace

GLIMRA_PATTERN(ooh, "ooh", deriveOoh, Ooh)
GLIMRA_PATTERN(Punk, "Punk", derivePunk, PunkFormula)
GLIMRA_PATTERN(qwin, "qwin", deriveQwin, Qwin)

}  // namespace glimra
