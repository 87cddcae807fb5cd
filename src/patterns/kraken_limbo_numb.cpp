// kraken (button 10), limbo (button 11) and numb (button 12): three patterns
// that each place the origin of their plane in a way of their own.
#include "patterns/patterns.h"
#include "patterns/kernel.h"
#include "patterns/checked.h"

namespace glimra {
namespace {

// Only the rows are centred: the first column always sits at x + 1, so the
// left edge of the picture does not move when the size changes.
Derived deriveKraken(const PatternParameters& p)
{
    Derived d = sizedFrame(p);
    d.x0 = p.x;
    d.y0 = p.y - halfViaText(d.S);
    d.Z = p.zoom * 4;
    d.B = p.bright;
    return d;
}

// q relates the column position to the row position without the zoom, so
// zooming changes the waves of a and b but not the fan of q. Its divisor and
// the power in e can fail at single pixels; the frame ends the render there.
// Row terms: a, and 0.000123 + K × (j / 200), the divisor of q.
// Column terms: K × (i / 200), b, Cos(b) and Abs(Tan(b / 4) + 0.0001), the
// base of e. Nothing repeats within a pixel.
struct Kraken : QuotientRows {
    static constexpr int columnTerms = 4;

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        const V ki = K * (i / 200);
        const V b = ki * v.Z;
        c[0] = ki;
        c[1] = b;
        c[2] = cos(b);
        c[3] = fabs(tan(b / 4) + 0.0001);
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], qDivisor = row[1];
        const V ki = col[0], b = col[1], cosB = col[2], eBase = col[3];
        const V q = ki / qDivisor;
        const V c = cos(q * sin(a + cos(b * cos(b - ((q + 0.000123) + cos(q + sin(a - sin(q - cosB))))))));
        const V d = fabs(q * sin(((a * c) + cos(b - cos(c * q))) - (tan(c) + 0.001)));
        const V e = pow(eBase, sin(c * d) + 0.001);
        const V f = cos(q * sin(pow(d, 0.5) * (e + pow(q, 2))));
        return {B * (0.5 * e + 0.4 * f + 0.2 * d), B * (0.13 * e + 1 * f + 0.1 * d),
                B * (0.02 * e + 1.5 * f + 0.02 * d)};
    }
};

// Size and width trade places here: the columns are offset by half the size
// and the rows by half the width. The halves are taken straight from the
// numbers, not through their text form.
Derived deriveLimbo(const PatternParameters& p)
{
    Derived d = sizedFrame(p);
    d.x0 = p.x - d.S / 2;
    d.y0 = p.y - d.N / 2;
    d.Z = 2 * p.zoom;
    d.B = p.bright;
    return d;
}

// Row term: a. Column term: b. Shared: the sum a + b (also written b + a).
struct Limbo : ShiftedCoordinates {
    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], b = col[0];
        const V sum = a + b;
        const V p = cos(sum) + sin(b - a);
        const V q = sin(sum) + cos(a - b);
        const V c = fabs(tan(sin(q - p) + cos(p + q)));
        // Halved after the brightness is applied, not before: the two orders do
        // not always give the same double.
        return {(B * (0.25 * c)) / 2, (B * (0.05 * c)) / 2, (B * (0.1 * c)) / 2};
    }
};

// A fixed offset instead of a centring one: a larger size extends the
// picture right and down from the same pattern point.
Derived deriveNumb(const PatternParameters& p)
{
    Derived d = shiftedBy150(p);
    d.Z = p.zoom * 1.5;
    return d;
}

// Row term: a. Column term: b. Shared: Tan(Cos(p + r)) (written once as
// Cos(r + p)), Sin(d), r × c (also written c × r) and the sum a + b.
struct Numb : ScaledCoordinates {
    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], b = col[0];
        const V sum = a + b;
        const V p = sin(tan(cos(sum)) + tan(sin(b - a)));
        const V r = cos(tan(sin(sum)) + tan(cos(a - b)));
        const V tanCos = tan(cos(p + r));
        const V c = fabs(tan(sin(r - p) + sin(tanCos)));
        const V d = fabs(tan(sin(p - r) + cos(tanCos)));
        const V sinD = sin(d);
        const V rc = r * c;
        const V e = (sinD - cos(1.235 + p)) + fabs(cos((p * c) - cos((rc * cos(rc)) * sin(p * sinD))));
        return {B * (0.07 * e + 0.05 * c + 0.1 * d + 0.4 * p + 0.038 * r),
                B * (0.12 * e + 0.03 * c + 0.03 * d + 0.1 * p + 0.26 * r),
                B * (0.4 * e + 0.1 * c + 0.05 * d + 0.051 * p + 0.11 * r)};
    }
};

}  // namespace

GLIMRA_PATTERN(kraken, "kraken", deriveKraken, Kraken)
GLIMRA_PATTERN(limbo, "limbo", deriveLimbo, Limbo)
GLIMRA_PATTERN(numb, "numb", deriveNumb, Numb)

}  // namespace glimra
