// eeee (pattern button 4): a long nested sine and cosine chain and a
// third term that feeds the first two back into a cosine.
#include "patterns/patterns.h"
#include "patterns/kernel.h"

#include <cmath>

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
inline double chain(double a, double b)
{
    const double t1 = std::cos(a - b);
    const double t2 = std::sin(b - t1);
    const double t3 = std::sin(b * t2);
    const double t4 = std::cos(a * t3);
    const double t5 = std::sin(b * t4);
    const double t6 = std::sin(b * t5);
    const double t7 = std::cos(a - t6);
    return std::cos(a * t7);
}

Components eeeeAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = (K * (j / 200)) * Z;
    const double b = (K * (i / 200)) * Z;
    const double t8 = chain(a, b);
    const double e = (std::sin(b * a) + 0.2) - t8;
    const double c = std::fabs(std::tan(std::sin(b - a) * e + std::cos(a + b)));
    const double d = std::fabs(std::tan(std::cos(b - a) + std::sin(a - b)));
    const double f = (d * c) * std::cos(a / 2 - std::cos((a - d * c) + std::cos(std::sin(b)) * std::sin(b - std::cos(c / 17))));
    Components out;
    out.red = B * ((0.09 * c + 0.07 * f) + 0.1 * e);
    out.green = B * ((0.03 * c + 0.02 * f) + 0.08 * e);
    out.blue = B * ((0.19 * c + 0.001 * f) + 0.02 * e);
    return out;
}

// Row table: a, a / 2.
void eeeeRows(const Derived& v, const double* j, std::size_t n, double* t)
{
    for (std::size_t m = 0; m < n; ++m) {
        const double a = scaled(j[m], v.Z);
        t[m] = a;
        t[n + m] = a / 2;
    }
}

// Per column: Cos(Sin(b)). Shared: d × c twice. (Cos(a - b) and Cos(b - a)
// stay apart: the two arguments differ in sign.)
void eeeeColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = scaled(col.i, v.Z);
    const double cosSinB = std::cos(std::sin(b));
    const double* const A = col.table;
    const double* const halfA = A + col.count;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = A[m];
        const double t8 = chain(a, b);
        const double e = (std::sin(b * a) + 0.2) - t8;
        const double c = std::fabs(std::tan(std::sin(b - a) * e + std::cos(a + b)));
        const double d = std::fabs(std::tan(std::cos(b - a) + std::sin(a - b)));
        const double dc = d * c;
        const double f = dc * std::cos(halfA[m] - std::cos((a - dc) + cosSinB * std::sin(b - std::cos(c / 17))));
        col.out[m] = packPixel(B * ((0.09 * c + 0.07 * f) + 0.1 * e), B * ((0.03 * c + 0.02 * f) + 0.08 * e),
                               B * ((0.19 * c + 0.001 * f) + 0.02 * e));
    }
}

}  // namespace

const Pattern eeee{"eeee", deriveEeee, eeeeAt, eeeeColumn, 2, eeeeRows};

}  // namespace glimra
