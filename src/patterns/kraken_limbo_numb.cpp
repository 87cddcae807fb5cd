// kraken (button 10), limbo (button 11) and numb (button 12): three patterns
// that each place the origin of their plane in a way of their own.
#include "patterns/patterns.h"
#include "patterns/kernel.h"

#include <cmath>

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
Components krakenAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double b = (K * (i / 200)) * Z;
    const double a = (K * (j / 200)) * Z;
    const double q = (K * (i / 200)) / (0.000123 + K * (j / 200));
    const double c =
        std::cos(q * std::sin(a + std::cos(b * std::cos(b - ((q + 0.000123) +
                                                             std::cos(q + std::sin(a - std::sin(q - std::cos(b)))))))));
    const double d = std::fabs(q * std::sin(((a * c) + std::cos(b - std::cos(c * q))) - (std::tan(c) + 0.001)));
    const double e = std::pow(std::fabs(std::tan(b / 4) + 0.0001), std::sin(c * d) + 0.001);
    const double f = std::cos(q * std::sin(std::pow(d, 0.5) * (e + std::pow(q, 2))));
    Components out;
    out.red = B * (0.5 * e + 0.4 * f + 0.2 * d);
    out.green = B * (0.13 * e + 1 * f + 0.1 * d);
    out.blue = B * (0.02 * e + 1.5 * f + 0.02 * d);
    return out;
}

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

Components limboAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = 0.5 + (K * (j / 200)) * Z;
    const double b = 0.5 + (K * (i / 200)) * Z;
    const double p = std::cos(a + b) + std::sin(b - a);
    const double q = std::sin(b + a) + std::cos(a - b);
    const double c = std::fabs(std::tan(std::sin(q - p) + std::cos(p + q)));
    // Halved after the brightness is applied, not before: the two orders do
    // not always give the same double.
    Components out;
    out.red = (B * (0.25 * c)) / 2;
    out.green = (B * (0.05 * c)) / 2;
    out.blue = (B * (0.1 * c)) / 2;
    return out;
}

// A fixed offset instead of a centring one: a larger size extends the
// picture right and down from the same pattern point.
Derived deriveNumb(const PatternParameters& p)
{
    Derived d = shiftedBy150(p);
    d.Z = p.zoom * 1.5;
    return d;
}

Components numbAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = (K * (j / 200)) * Z;
    const double b = (K * (i / 200)) * Z;
    const double p = std::sin(std::tan(std::cos(a + b)) + std::tan(std::sin(b - a)));
    const double r = std::cos(std::tan(std::sin(b + a)) + std::tan(std::cos(a - b)));
    const double c = std::fabs(std::tan(std::sin(r - p) + std::sin(std::tan(std::cos(p + r)))));
    const double d = std::fabs(std::tan(std::sin(p - r) + std::cos(std::tan(std::cos(r + p)))));
    const double e = (std::sin(d) - std::cos(1.235 + p)) +
                     std::fabs(std::cos((p * c) - std::cos(((r * c) * std::cos(c * r)) * std::sin(p * std::sin(d)))));
    Components out;
    out.red = B * (0.07 * e + 0.05 * c + 0.1 * d + 0.4 * p + 0.038 * r);
    out.green = B * (0.12 * e + 0.03 * c + 0.03 * d + 0.1 * p + 0.26 * r);
    out.blue = B * (0.4 * e + 0.1 * c + 0.05 * d + 0.051 * p + 0.11 * r);
    return out;
}

// Row table: a, and 0.000123 + K × (j / 200), the divisor of q.
// Per column: K × (i / 200), Cos(b) and Abs(Tan(b / 4) + 0.0001), the base of
// e. Nothing repeats within a pixel.
void krakenColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double ki = K * (col.i / 200);
    const double b = ki * v.Z;
    const double cosB = std::cos(b);
    const double eBase = std::fabs(std::tan(b / 4) + 0.0001);
    const double* const A = col.table;
    const double* const qDivisor = A + col.count;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = A[m];
        const double q = ki / qDivisor[m];
        const double c =
            std::cos(q * std::sin(a + std::cos(b * std::cos(b - ((q + 0.000123) +
                                                                 std::cos(q + std::sin(a - std::sin(q - cosB))))))));
        const double d = std::fabs(q * std::sin(((a * c) + std::cos(b - std::cos(c * q))) - (std::tan(c) + 0.001)));
        const double e = std::pow(eBase, std::sin(c * d) + 0.001);
        const double f = std::cos(q * std::sin(std::pow(d, 0.5) * (e + std::pow(q, 2))));
        col.out[m] = packPixel(B * (0.5 * e + 0.4 * f + 0.2 * d), B * (0.13 * e + 1 * f + 0.1 * d),
                               B * (0.02 * e + 1.5 * f + 0.02 * d));
    }
}

// Row table: a. Shared: the sum a + b (also written b + a).
void limboColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = 0.5 + scaled(col.i, v.Z);
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = col.table[m];
        const double sum = a + b;
        const double p = std::cos(sum) + std::sin(b - a);
        const double q = std::sin(sum) + std::cos(a - b);
        const double c = std::fabs(std::tan(std::sin(q - p) + std::cos(p + q)));
        col.out[m] = packPixel((B * (0.25 * c)) / 2, (B * (0.05 * c)) / 2, (B * (0.1 * c)) / 2);
    }
}

// Row table: a. Shared: Tan(Cos(p + r)) (written once as Cos(r + p)), Sin(d),
// r × c (also written c × r) and the sum a + b.
void numbColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = scaled(col.i, v.Z);
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = col.table[m];
        const double sum = a + b;
        const double p = std::sin(std::tan(std::cos(sum)) + std::tan(std::sin(b - a)));
        const double r = std::cos(std::tan(std::sin(sum)) + std::tan(std::cos(a - b)));
        const double tanCos = std::tan(std::cos(p + r));
        const double c = std::fabs(std::tan(std::sin(r - p) + std::sin(tanCos)));
        const double d = std::fabs(std::tan(std::sin(p - r) + std::cos(tanCos)));
        const double sinD = std::sin(d);
        const double rc = r * c;
        const double e = (sinD - std::cos(1.235 + p)) +
                         std::fabs(std::cos((p * c) - std::cos((rc * std::cos(rc)) * std::sin(p * sinD))));
        col.out[m] = packPixel(B * (0.07 * e + 0.05 * c + 0.1 * d + 0.4 * p + 0.038 * r),
                               B * (0.12 * e + 0.03 * c + 0.03 * d + 0.1 * p + 0.26 * r),
                               B * (0.4 * e + 0.1 * c + 0.05 * d + 0.051 * p + 0.11 * r));
    }
}

}  // namespace

const Pattern kraken{"kraken", deriveKraken, krakenAt, krakenColumn, 2, scaledRowsAndQuotientDivisor};
const Pattern limbo{"limbo", deriveLimbo, limboAt, limboColumn, 1, shiftedScaledRows};
const Pattern numb{"numb", deriveNumb, numbAt, numbColumn, 1, scaledRows};

}  // namespace glimra
