// rumba (button 16), sizZle (button 17) and Tame (button 18): the patterns
// with powers inside their chains.
#include "patterns/patterns.h"
#include "patterns/kernel.h"

#include <cmath>

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

Components rumbaAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = K * (j / 200) * Z;
    const double b = K * (i / 200) * Z;
    const double c =
        std::cos(std::tan(std::sin(b - a) - std::pow(std::fabs(std::tan(b - a)), 0.4) - std::sin(std::tan(std::cos(a + b)))));
    const double d = std::sin(a - b + c) + std::cos(a + b / 3);
    // e and f differ only in the innermost term (b × a against b + a) and in
    // the factor in front.
    const double e =
        std::fabs(std::tan(d * (std::tan(std::sin(a - b + std::cos(b - a + std::sin(b * a)))) + std::cos(a + b))));
    const double f =
        std::fabs(std::tan(e * (std::tan(std::sin(a - b + std::cos(b - a + std::sin(b + a)))) + std::cos(a + b))));
    const double g = std::fabs(std::tan(
        b * e * d + std::cos(c * std::cos(a - b + (std::cos(d) + std::sin(b * std::sin(c)) - std::cos(d + a))))));
    Components out;
    out.red = B * (0.01 * d + 0.01 * e + 0.01 * g + 0.07 * f + 0.19 * c);
    out.green = B * (0.03 * d + 0.03 * e + 0.05 * g + 0.04 * f + 0.02 * c);
    out.blue = B * (0.05 * d + 0.07 * e + 0.03 * g + 0.01 * f - 0.08 * c);
    return out;
}

Derived deriveSizzle(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = 1.5 * p.zoom;
    d.B = p.bright;
    return d;
}

// a follows the column and b the row. The exponent c lies in 0..1 and every
// base is an absolute value, so the powers are always defined.
Components sizzleAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = K * (i / 200) * Z;
    const double b = K * (j / 200) * Z;
    const double c = std::fabs(std::sin(std::sin(a - b + std::cos(b - a)) + std::sin(std::cos(a + b))));
    const double d = std::fabs(std::tan(std::sin(std::pow(std::fabs(b), c) - std::pow(std::fabs(a), c)) +
                                        std::cos(std::pow(std::fabs(a), c) + std::pow(std::fabs(b), c))));
    const double e = std::fabs(std::tan(std::sin(c - d) + std::sin(std::tan(std::cos(c + d)))));
    Components out;
    out.red = B * (0.03 * d + 0.08 * e);
    out.green = B * (0.08 * d + 0.02 * e);
    out.blue = B * (0.19 * d + 0.14 * e);
    return out;
}

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
Components tameAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = K * (j / 200) * Z;
    const double b = K * (i / 200) * Z;
    const double c = std::fabs(std::sin(b - a) + std::cos(a + b));
    const double d = std::fabs(
        std::tan(std::sin(std::pow(std::fabs(a - b), c) + std::cos(b - a - std::sin(std::cos(-a - b + std::sin(b + a))))) +
                 std::cos(-std::sin(-a - b - std::cos(std::fabs(a + b))))));
    // The same last term as in d.
    const double e = std::fabs(
        std::tan(std::sin(a - b + std::cos(b - a - std::pow(std::fabs(std::cos(d - a * b)), c) + std::sin(b + a))) +
                 std::cos(-std::sin(-a - b - std::cos(std::fabs(a + b))))));
    const double f = std::fabs(std::cos(a / (6 * b * d + 0.000123)));
    const double g = std::sin(std::pow(std::fabs(d), c) *
                              std::sin(a + b / (0.001 - std::fabs(std::tan(b - std::sin(7 * f * d - d * b * a * f))))));
    Components out;
    out.red = B * (0.01 * d + 0.6 * g + 0.1 * f + 0.02 * e);
    out.green = B * (0.002 * d + 0.09 * g + 0.07 * f + 0.003 * e);
    out.blue = B * (0.05 * d + 0.3 * g + 0.05 * f + 0.001 * e);
    return out;
}

// Row table: a. Per column: b / 3. Shared: Cos(a + b) three times, b - a
// (under a Sin and a Tan), a - b, and the sum a + b.
void rumbaColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = scaled(col.i, v.Z);
    const double thirdB = b / 3;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = col.table[m];
        const double sum = a + b;
        const double cosSum = std::cos(sum);
        const double ba = b - a;
        const double ab = a - b;
        const double c = std::cos(std::tan(std::sin(ba) - std::pow(std::fabs(std::tan(ba)), 0.4) - std::sin(std::tan(cosSum))));
        const double d = std::sin(ab + c) + std::cos(a + thirdB);
        const double e = std::fabs(std::tan(d * (std::tan(std::sin(ab + std::cos(ba + std::sin(b * a)))) + cosSum)));
        const double f = std::fabs(std::tan(e * (std::tan(std::sin(ab + std::cos(ba + std::sin(sum)))) + cosSum)));
        const double g =
            std::fabs(std::tan(b * e * d + std::cos(c * std::cos(ab + (std::cos(d) + std::sin(b * std::sin(c)) - std::cos(d + a))))));
        col.out[m] = packPixel(B * (0.01 * d + 0.01 * e + 0.01 * g + 0.07 * f + 0.19 * c),
                               B * (0.03 * d + 0.03 * e + 0.05 * g + 0.04 * f + 0.02 * c),
                               B * (0.05 * d + 0.07 * e + 0.03 * g + 0.01 * f - 0.08 * c));
    }
}

// sizZle's row coordinate is b. Row table: b. Shared: Abs(a) ^ c and
// Abs(b) ^ c, each twice.
void sizzleColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double a = scaled(col.i, v.Z);
    const double absA = std::fabs(a);
    for (std::size_t m = 0; m < col.count; ++m) {
        const double b = col.table[m];
        const double c = std::fabs(std::sin(std::sin(a - b + std::cos(b - a)) + std::sin(std::cos(a + b))));
        const double powA = std::pow(absA, c);
        const double powB = std::pow(std::fabs(b), c);
        const double d = std::fabs(std::tan(std::sin(powB - powA) + std::cos(powA + powB)));
        const double e = std::fabs(std::tan(std::sin(c - d) + std::sin(std::tan(std::cos(c + d)))));
        col.out[m] = packPixel(B * (0.03 * d + 0.08 * e), B * (0.08 * d + 0.02 * e), B * (0.19 * d + 0.14 * e));
    }
}

// Row table: a. Per column: 6 × b. Shared: the last term
// Cos(-Sin(-a - b - Cos(Abs(a + b)))) of d and e, Sin(b + a) twice,
// b - a three times, -a - b, and the sum a + b.
void tameColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = scaled(col.i, v.Z);
    const double b6 = 6 * b;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = col.table[m];
        const double sum = a + b;
        const double ba = b - a;
        const double negSum = -a - b;
        const double sinSum = std::sin(sum);
        const double c = std::fabs(std::sin(ba) + std::cos(sum));
        const double last = std::cos(-std::sin(negSum - std::cos(std::fabs(sum))));
        const double d = std::fabs(std::tan(std::sin(std::pow(std::fabs(a - b), c) + std::cos(ba - std::sin(std::cos(negSum + sinSum)))) + last));
        const double e = std::fabs(std::tan(std::sin(a - b + std::cos(ba - std::pow(std::fabs(std::cos(d - a * b)), c) + sinSum)) + last));
        const double f = std::fabs(std::cos(a / (b6 * d + 0.000123)));
        const double g = std::sin(std::pow(std::fabs(d), c) *
                                  std::sin(a + b / (0.001 - std::fabs(std::tan(b - std::sin(7 * f * d - d * b * a * f))))));
        col.out[m] = packPixel(B * (0.01 * d + 0.6 * g + 0.1 * f + 0.02 * e), B * (0.002 * d + 0.09 * g + 0.07 * f + 0.003 * e),
                               B * (0.05 * d + 0.3 * g + 0.05 * f + 0.001 * e));
    }
}

}  // namespace

const Pattern rumba{"rumba", deriveRumba, rumbaAt, rumbaColumn, 1, scaledRows};
const Pattern sizZle{"sizZle", deriveSizzle, sizzleAt, sizzleColumn, 1, scaledRows};
const Pattern Tame{"Tame", deriveTame, tameAt, tameColumn, 1, scaledRows};

}  // namespace glimra
