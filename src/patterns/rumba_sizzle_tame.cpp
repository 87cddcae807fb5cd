// rumba (button 16), sizZle (button 17) and Tame (button 18): the patterns
// with powers inside their chains.
#include "patterns/patterns.h"
#include "patterns/kernel.h"
#include "patterns/checked.h"

namespace glimra {
namespace {

// No centring: the scan starts at (x + 1, y + 1).
Derived deriveRumba(const PatternParameters& p)
{
    Derived d = sizedFrame(p);
    d.x0 = p.x;
    d.y0 = p.y;
    d.Z = p.zoom / 2;
    d.B = p.bright;
    return d;
}

// Row term: a. Column terms: b and b / 3. Shared: Cos(a + b) three times,
// b - a (under a Sin and a Tan), a - b, and the sum a + b.
struct Rumba : ScaledRow {
    static constexpr int columnTerms = 2;

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        const V b = scaled(i, v.Z);
        c[0] = b;
        c[1] = b / 3;
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], b = col[0], thirdB = col[1];
        const V sum = a + b;
        const V cosSum = cos(sum);
        const V ba = b - a;
        const V ab = a - b;
        const V c = cos(tan(sin(ba) - pow(fabs(tan(ba)), 0.4) - sin(tan(cosSum))));
        const V d = sin(ab + c) + cos(a + thirdB);
        // e and f differ only in the innermost term (b × a against b + a) and
        // in the factor in front.
        const V e = fabs(tan(d * (tan(sin(ab + cos(ba + sin(b * a)))) + cosSum)));
        const V f = fabs(tan(e * (tan(sin(ab + cos(ba + sin(sum)))) + cosSum)));
        const V g = fabs(tan(b * e * d + cos(c * cos(ab + (cos(d) + sin(b * sin(c)) - cos(d + a))))));
        return {B * (0.01 * d + 0.01 * e + 0.01 * g + 0.07 * f + 0.19 * c),
                B * (0.03 * d + 0.03 * e + 0.05 * g + 0.04 * f + 0.02 * c),
                B * (0.05 * d + 0.07 * e + 0.03 * g + 0.01 * f - 0.08 * c)};
    }
};

Derived deriveSizzle(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = 1.5 * p.zoom;
    d.B = p.bright;
    return d;
}

// a follows the column and b the row. The exponent c lies in 0..1 and every
// base is an absolute value, so the powers are always defined.
//
// Row term: b. Column terms: a and Abs(a). Shared: Abs(a) ^ c and
// Abs(b) ^ c, each twice.
struct Sizzle : ScaledRow {
    static constexpr int columnTerms = 2;

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        const V a = scaled(i, v.Z);
        c[0] = a;
        c[1] = fabs(a);
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = col[0], absA = col[1], b = row[0];
        const V c = fabs(sin(sin(a - b + cos(b - a)) + sin(cos(a + b))));
        const V powA = pow(absA, c);
        const V powB = pow(fabs(b), c);
        const V d = fabs(tan(sin(powB - powA) + cos(powA + powB)));
        const V e = fabs(tan(sin(c - d) + sin(tan(cos(c + d)))));
        return {B * (0.03 * d + 0.08 * e), B * (0.08 * d + 0.02 * e), B * (0.19 * d + 0.14 * e)};
    }
};

// Centred horizontally, but the rows start half a size below y instead of
// above it, one picture height further along than a centred pattern.
Derived deriveTame(const PatternParameters& p)
{
    Derived d = sizedFrame(p);
    d.x0 = p.x - halfViaText(d.N);
    d.y0 = p.y + halfViaText(d.S);
    d.Z = p.zoom / 1.5;
    d.B = p.bright;
    return d;
}

// The divisors of f and g depend on the pixel and can cancel exactly; the
// frame ends the render at such a pixel.
//
// Row term: a. Column terms: b and 6 × b. Shared: the last term
// Cos(-Sin(-a - b - Cos(Abs(a + b)))) of d and e, Sin(b + a) twice,
// b - a three times, -a - b, and the sum a + b. (Tame itself names the
// Pattern.)
struct TameFormula : ScaledRow {
    static constexpr int columnTerms = 2;

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        const V b = scaled(i, v.Z);
        c[0] = b;
        c[1] = 6 * b;
    }

    template <class V>
    static Rgb<V> pixel(const Derived& v, const V* col, const V* row)
    {
        const double B = v.B;
        const V a = row[0], b = col[0], b6 = col[1];
        const V sum = a + b;
        const V ba = b - a;
        const V negSum = -a - b;
        const V sinSum = sin(sum);
        const V c = fabs(sin(ba) + cos(sum));
        const V last = cos(-sin(negSum - cos(fabs(sum))));
        const V d = fabs(tan(sin(pow(fabs(a - b), c) + cos(ba - sin(cos(negSum + sinSum)))) + last));
        const V e = fabs(tan(sin(a - b + cos(ba - pow(fabs(cos(d - a * b)), c) + sinSum)) + last));
        const V f = fabs(cos(a / (b6 * d + 0.000123)));
        const V g = sin(pow(fabs(d), c) * sin(a + b / (0.001 - fabs(tan(b - sin(7 * f * d - d * b * a * f))))));
        return {B * (0.01 * d + 0.6 * g + 0.1 * f + 0.02 * e), B * (0.002 * d + 0.09 * g + 0.07 * f + 0.003 * e),
                B * (0.05 * d + 0.3 * g + 0.05 * f + 0.001 * e)};
    }
};

}  // namespace

GLIMRA_PATTERN(rumba, "rumba", deriveRumba, Rumba)
GLIMRA_PATTERN(sizZle, "sizZle", deriveSizzle, Sizzle)
GLIMRA_PATTERN(Tame, "Tame", deriveTame, TameFormula)

}  // namespace glimra
