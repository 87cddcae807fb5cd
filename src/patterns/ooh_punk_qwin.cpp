// ooh (button 13), Punk (button 14) and qwin (button 15). ooh and Punk share
// one four-link chain and differ in where its outer Sin and Cos sit; qwin has
// a chain of its own with guarded divisions.
#include "patterns/patterns.h"
#include "patterns/kernel.h"

#include <cmath>

namespace glimra {
namespace {

Derived deriveOoh(const PatternParameters& p)
{
    Derived d = shiftedBy150(p);
    d.Z = 2 * p.zoom;
    return d;
}

Components oohAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = 0.5 + K * (j / 200) * Z;
    const double b = 0.5 + K * (i / 200) * Z;
    // The outer Sin and Cos wrap the sum of both Tan terms; that is what sets
    // this chain apart from Punk's.
    const double c = std::tan(std::sin(std::tan(std::cos(a + b)) + std::tan(std::sin(b - a))));
    const double d = std::tan(std::cos(std::tan(std::sin(b + a)) + std::tan(std::cos(a - b))));
    const double e = std::fabs(std::tan(std::sin(d - c) + std::sin(std::tan(std::cos(c + d)))));
    const double f = std::fabs(std::tan(std::sin(c - d) + std::cos(std::tan(std::cos(d + c)))));
    const double g = std::sin(f) - std::cos(1.235 + c) +
                     std::fabs(std::cos(c * e - std::cos(d * e * std::cos(e * d) * std::sin(c * std::sin(f)))));
    Components out;
    out.red = B * (0.12 * g + 0.03 * e + 0.03 * f + 0.1 * c + 0.26 * d);
    out.green = B * (0.07 * g + 0.05 * e + 0.1 * f + 0.4 * c + 0.038 * d);
    out.blue = B * (0.4 * g + 0.1 * e + 0.05 * f + 0.051 * c + 0.11 * d);
    return out;
}

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

Components punkAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = 0.5 + K * (j / 200) * Z;
    const double b = 0.5 + K * (i / 200) * Z;
    // Here the outer Sin and Cos wrap only the first Tan term.
    const double c = std::tan(std::sin(std::tan(std::cos(a + b))) + std::tan(std::sin(b - a)));
    const double d = std::tan(std::cos(std::tan(std::sin(b + a))) + std::tan(std::cos(a - b)));
    const double e = std::fabs(std::tan(std::sin(d - c) + std::sin(std::tan(std::cos(c + d)))));
    const double f = std::fabs(std::tan(std::sin(c - d) + std::cos(std::tan(std::cos(d + c)))));
    Components out;
    out.red = B * (0.03 * e + 0.03 * f);
    out.green = B * (0.05 * e + 0.1 * f);
    out.blue = B * (0.1 * e + 0.05 * f);
    return out;
}

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
Components qwinAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = K * (i / 200) * Z;
    const double b = K * (j / 200) * Z;
    // Formed from the counters afresh, so it carries no zoom.
    const double q = K * (i / 200) / (0.000123 + K * (j / 200));
    const double c = std::sin(
        b - a -
        std::cos(a * std::cos(a - std::sin(b * std::sin(b * std::cos(a * std::sin(b * std::sin(b - std::cos(a - b)))))))));
    const double d =
        std::cos(q - std::sin(b + std::cos(c * (std::cos(a - b + (std::cos(c) + std::sin(b * std::sin(c)))) -
                                                std::sin(c + a)))));
    const double e = std::fabs(std::tan(std::tan(
        d * std::sin(b * std::cos(a * (std::cos(a / (d + 0.000123)) *
                                       std::cos(a * std::sin(b * std::sin(b * std::cos(a))))))))));
    const double f = std::fabs(std::tan(
        std::fabs(a - b * std::cos(b / (a + 0.000123 + d * std::sin(b + a * std::cos(a + b) * std::cos(d)))))));
    const double g = std::fabs(std::sin(
        std::tan(f - e * std::cos(b / (a + 0.000123) + d * std::sin(b + a * std::cos(a + b) * std::cos(c))))));
    const double h = std::sin(std::pow(std::fabs(d / (f + K)), 0.5));
    // The brightness is halved up front and the mixture quadrupled after it.
    Components out;
    out.red = B * (0.02 * e + 0.07 * f + 0.1 * h + 0.03 * d + 0.004 * g) * 4;
    out.green = B * (0.07 * e + 0.03 * f + 0.2 * h + 0.13 * d + 0.02 * g) * 4;
    out.blue = B * (0.19 * e + 0.01 * f + 0.03 * h + 0.19 * d + 0.07 * g) * 4;
    return out;
}

// Row table: a. Shared: Tan(Cos(c + d)) (written once as Cos(d + c)),
// Sin(f), d × e (also written e × d) and the sum a + b.
void oohColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = 0.5 + scaled(col.i, v.Z);
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = col.table[m];
        const double sum = a + b;
        const double c = std::tan(std::sin(std::tan(std::cos(sum)) + std::tan(std::sin(b - a))));
        const double d = std::tan(std::cos(std::tan(std::sin(sum)) + std::tan(std::cos(a - b))));
        const double tanCos = std::tan(std::cos(c + d));
        const double e = std::fabs(std::tan(std::sin(d - c) + std::sin(tanCos)));
        const double f = std::fabs(std::tan(std::sin(c - d) + std::cos(tanCos)));
        const double sinF = std::sin(f);
        const double de = d * e;
        const double g = sinF - std::cos(1.235 + c) + std::fabs(std::cos(c * e - std::cos(de * std::cos(de) * std::sin(c * sinF))));
        col.out[m] = packPixel(B * (0.12 * g + 0.03 * e + 0.03 * f + 0.1 * c + 0.26 * d),
                               B * (0.07 * g + 0.05 * e + 0.1 * f + 0.4 * c + 0.038 * d),
                               B * (0.4 * g + 0.1 * e + 0.05 * f + 0.051 * c + 0.11 * d));
    }
}

// Row table: a. Shared: Tan(Cos(c + d)) (written once as Cos(d + c)) and the
// sum a + b.
void punkColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = 0.5 + scaled(col.i, v.Z);
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = col.table[m];
        const double sum = a + b;
        const double c = std::tan(std::sin(std::tan(std::cos(sum))) + std::tan(std::sin(b - a)));
        const double d = std::tan(std::cos(std::tan(std::sin(sum))) + std::tan(std::cos(a - b)));
        const double tanCos = std::tan(std::cos(c + d));
        const double e = std::fabs(std::tan(std::sin(d - c) + std::sin(tanCos)));
        const double f = std::fabs(std::tan(std::sin(c - d) + std::cos(tanCos)));
        col.out[m] = packPixel(B * (0.03 * e + 0.03 * f), B * (0.05 * e + 0.1 * f), B * (0.1 * e + 0.05 * f));
    }
}

// qwin's row coordinate is b. Row table: b, and 0.000123 + K × (j / 200), the
// divisor of q.
// Per column: K × (i / 200), Cos(a) and a + 0.000123. Shared: a - b, and
// a × Cos(a + b), which f and g both scale.
void qwinColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double ki = K * (col.i / 200);
    const double a = ki * v.Z;
    const double cosA = std::cos(a);
    const double aGuarded = a + 0.000123;
    const double* const Bs = col.table;
    const double* const qDivisor = Bs + col.count;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double b = Bs[m];
        const double q = ki / qDivisor[m];
        const double diff = a - b;
        const double c = std::sin(
            b - a - std::cos(a * std::cos(a - std::sin(b * std::sin(b * std::cos(a * std::sin(b * std::sin(b - std::cos(diff)))))))));
        const double d =
            std::cos(q - std::sin(b + std::cos(c * (std::cos(diff + (std::cos(c) + std::sin(b * std::sin(c)))) - std::sin(c + a)))));
        const double e = std::fabs(std::tan(
            std::tan(d * std::sin(b * std::cos(a * (std::cos(a / (d + 0.000123)) * std::cos(a * std::sin(b * std::sin(b * cosA)))))))));
        const double aCosSum = a * std::cos(a + b);
        const double f = std::fabs(std::tan(std::fabs(a - b * std::cos(b / (aGuarded + d * std::sin(b + aCosSum * std::cos(d)))))));
        const double g = std::fabs(std::sin(std::tan(f - e * std::cos(b / aGuarded + d * std::sin(b + aCosSum * std::cos(c))))));
        const double h = std::sin(std::pow(std::fabs(d / (f + K)), 0.5));
        col.out[m] = packPixel(B * (0.02 * e + 0.07 * f + 0.1 * h + 0.03 * d + 0.004 * g) * 4,
                               B * (0.07 * e + 0.03 * f + 0.2 * h + 0.13 * d + 0.02 * g) * 4,
                               B * (0.19 * e + 0.01 * f + 0.03 * h + 0.19 * d + 0.07 * g) * 4);
    }
}

}  // namespace

const Pattern ooh{"ooh", deriveOoh, oohAt, oohColumn, 1, shiftedScaledRows};
const Pattern Punk{"Punk", derivePunk, punkAt, punkColumn, 1, shiftedScaledRows};
const Pattern qwin{"qwin", deriveQwin, qwinAt, qwinColumn, 2, scaledRowsAndQuotientDivisor};

}  // namespace glimra
