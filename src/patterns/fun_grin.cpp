// fun and grin (pattern buttons 5 and 6). fun divides one tangent
// term by a power of the other; grin sets two stages of tangent terms against
// each other in a ratio of products.
#include "patterns/patterns.h"
#include "patterns/kernel.h"

#include <cmath>

namespace glimra {
namespace {

Derived deriveFun(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = p.zoom;  // not doubled
    d.B = p.bright;
    return d;
}

Components funAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = (K * (j / 200)) * Z;
    const double b = (K * (i / 200)) * Z;
    const double s = std::sin(a);
    const double k = std::cos(b);
    const double c = std::fabs(std::tan(std::sin(k * 3 - s / 2) + std::cos(s / 0.5 + k * 0.7)));
    const double d = std::fabs(std::tan(std::cos(k / 1.1 - s * 1.3) * std::sin(1.7 * s + 1.9 / (0.0001 + k))));
    const double e = c / (std::pow(d, 0.7) + 0.0000001);
    Components out;
    out.red = B * ((0.05 * c + 0.01 * d) + 0.08 * e);
    out.green = B * ((0.03 * c + 0.08 * d) + 0.018 * e);
    out.blue = B * ((0.19 * c + 0.2 * d) + 0.001 * e);
    return out;
}

Components grinAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = (K * (j / 200)) * Z;
    const double b = (K * (i / 200)) * Z;
    const double p = std::cos(a);
    const double q = std::sin(b);
    const double c = std::fabs(std::tan(std::sin(q - p) + std::cos(p + q)));
    const double d = std::fabs(std::tan(std::cos(b - a) - std::sin(a + b)));
    const double e = std::fabs(std::tan(std::sin(c - d) + std::cos(d + c)));
    const double f = std::fabs(std::tan(std::cos(c - d) - std::sin(d + c)));
    const double g = (c * e) / ((d * f) + 0.0000001);
    Components out;
    out.red = B * ((0.01 * e + 0.05 * f) + 0.08 * g);
    out.green = B * ((0.05 * e + 0.03 * f) + 0.01 * g);
    out.blue = B * ((0.09 * e + 0.02 * f) + 0.14 * g);
    return out;
}

// Row table: the four multiples of s = Sin(a) that fun uses: s / 2, s / 0.5,
// s × 1.3 and 1.7 × s.
void funRows(const Derived& v, const double* j, std::size_t n, double* t)
{
    for (std::size_t m = 0; m < n; ++m) {
        const double s = std::sin(scaled(j[m], v.Z));
        t[m] = s / 2;
        t[n + m] = s / 0.5;
        t[2 * n + m] = s * 1.3;
        t[3 * n + m] = 1.7 * s;
    }
}

// Per column: k = Cos(b) and its four uses k × 3, k × 0.7, k / 1.1 and
// 1.9 / (0.0001 + k); what is left per pixel is two sums and the Tan, Sin,
// Cos and power around them.
void funColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double k = std::cos(scaled(col.i, v.Z));
    const double k3 = k * 3, k07 = k * 0.7, k11 = k / 1.1, kInverse = 1.9 / (0.0001 + k);
    const double* const sHalf = col.table;
    const double* const sDouble = sHalf + col.count;
    const double* const s13 = sDouble + col.count;
    const double* const s17 = s13 + col.count;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double c = std::fabs(std::tan(std::sin(k3 - sHalf[m]) + std::cos(sDouble[m] + k07)));
        const double d = std::fabs(std::tan(std::cos(k11 - s13[m]) * std::sin(s17[m] + kInverse)));
        const double e = c / (std::pow(d, 0.7) + 0.0000001);
        col.out[m] = packPixel(B * ((0.05 * c + 0.01 * d) + 0.08 * e), B * ((0.03 * c + 0.08 * d) + 0.018 * e),
                               B * ((0.19 * c + 0.2 * d) + 0.001 * e));
    }
}

// Row table: a, p = Cos(a).
void grinRows(const Derived& v, const double* j, std::size_t n, double* t)
{
    for (std::size_t m = 0; m < n; ++m) {
        const double a = scaled(j[m], v.Z);
        t[m] = a;
        t[n + m] = std::cos(a);
    }
}

// Per column: q = Sin(b). Shared: c - d and d + c, each the argument of a
// Sin and a Cos.
void grinColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = scaled(col.i, v.Z);
    const double q = std::sin(b);
    const double* const A = col.table;
    const double* const P = A + col.count;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = A[m];
        const double p = P[m];
        const double c = std::fabs(std::tan(std::sin(q - p) + std::cos(p + q)));
        const double d = std::fabs(std::tan(std::cos(b - a) - std::sin(a + b)));
        const double diff = c - d, sum = d + c;
        const double e = std::fabs(std::tan(std::sin(diff) + std::cos(sum)));
        const double f = std::fabs(std::tan(std::cos(diff) - std::sin(sum)));
        const double g = (c * e) / ((d * f) + 0.0000001);
        col.out[m] = packPixel(B * ((0.01 * e + 0.05 * f) + 0.08 * g), B * ((0.05 * e + 0.03 * f) + 0.01 * g),
                               B * ((0.09 * e + 0.02 * f) + 0.14 * g));
    }
}

}  // namespace

const Pattern fun{"fun", deriveFun, funAt, funColumn, 4, funRows};
const Pattern grin{"grin", centredDoubledZoom, grinAt, grinColumn, 2, grinRows};

}  // namespace glimra
