// hix, ice and joke (pattern buttons 7, 8 and 9): three formulas in
// one shared frame (the zoom doubled, the brightness unhalved).
#include "patterns/patterns.h"
#include "patterns/kernel.h"

#include <cmath>

namespace glimra {
namespace {

Components hixAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = (K * (j / 200)) * Z;
    const double b = (K * (i / 200)) * Z;
    const double s = std::sin(a);
    const double t = std::cos(b);
    const double c = std::fabs(std::tan(std::sin(t * s) + (std::cos(s + b) - std::sin(a - t))));
    const double d = std::fabs(std::tan((std::sin(2 * t + 0.5 * a) + c) - std::sin(2 * s - 0.5 * b)));
    Components out;
    out.red = B * (0.03 * c + 0.01 * d);
    out.green = B * (0.01 * c + 0.03 * d);
    out.blue = B * (0.09 * c + 0.09 * d);
    return out;
}

Components iceAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = (K * (j / 200)) * Z;
    const double b = (K * (i / 200)) * Z;
    const double p = std::sin(a / 1.5);
    const double q = std::sin(b / 1.5);
    const double c = std::fabs(std::tan(std::sin(q - p) + std::tan(std::cos(p + q))) + 0.5);
    const double d = std::fabs(std::sin(q - p) + (std::cos(p + q) * c) / 3);
    const double e = std::fabs(std::tan((std::sin(b - a) * d) * std::cos((a + c / 2) + b)));
    const double f = std::fabs(std::tan(std::sin(2 * b + 0.5 * a) + d / 2) + std::sin(2 * a - 0.5 * b));
    const double g = std::fabs(std::tan((std::sin(f - e) + std::cos(e)) + f));
    const double h = std::fabs(std::tan(std::sin(2 * f + 0.5 * e) + std::sin(2 * e - 0.5 * f)));
    Components out;
    out.red = B * (0.005 * g + 0.08 * h + 0.01 * f + 0.001 * d);
    out.green = B * (0.013 * g + 0.05 * h + 0.07 * f + 0.04 * d);
    out.blue = B * (0.09 * g + 0.02 * h + 0.04 * f + 0.01 * d);
    return out;
}

Components jokeAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = (K * (j / 200)) * Z;
    const double b = (K * (i / 200)) * Z;
    const double c = std::fabs(std::tan(std::sin(((b - a) + std::sin(a - b)) + std::cos(a + b))));
    const double d = std::fabs(std::tan(std::sin(((b + a) + std::cos(a - (b + 0.00001))) + std::sin(a - b))));
    const double e = c / (d + 0.001);
    const double f = (std::sin(d - c) - e) - std::cos(c + d);
    const double g = std::fabs((std::sin(d - c) - f) - std::sin(c - d));
    const double h = std::fabs(std::tan(std::sin((g + e) - f) + std::cos(f + g)));
    const double k = std::fabs(std::tan(std::sin(g + f) + std::sin(f * e - g)));
    Components out;
    out.red = B * (0.09 * h + 0.18 * k + 0.09 * g);
    out.green = B * (0.03 * h + 0.09 * k + 0.014 * g);
    out.blue = B * (0.19 * h + 0.02 * k + 0.015 * g);
    return out;
}

// Row table: a, s = Sin(a), 0.5 × a, 2 × s.
void hixRows(const Derived& v, const double* j, std::size_t n, double* t)
{
    for (std::size_t m = 0; m < n; ++m) {
        const double a = scaled(j[m], v.Z);
        const double s = std::sin(a);
        t[m] = a;
        t[n + m] = s;
        t[2 * n + m] = 0.5 * a;
        t[3 * n + m] = 2 * s;
    }
}

// Per column: t = Cos(b), 2 × t, 0.5 × b.
void hixColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = scaled(col.i, v.Z);
    const double t = std::cos(b);
    const double t2 = 2 * t, halfB = 0.5 * b;
    const double* const A = col.table;
    const double* const S = A + col.count;
    const double* const halfA = S + col.count;
    const double* const s2 = halfA + col.count;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = A[m];
        const double s = S[m];
        const double c = std::fabs(std::tan(std::sin(t * s) + (std::cos(s + b) - std::sin(a - t))));
        const double d = std::fabs(std::tan((std::sin(t2 + halfA[m]) + c) - std::sin(s2[m] - halfB)));
        col.out[m] = packPixel(B * (0.03 * c + 0.01 * d), B * (0.01 * c + 0.03 * d), B * (0.09 * c + 0.09 * d));
    }
}

// Row table: a, p = Sin(a / 1.5), 0.5 × a, 2 × a.
void iceRows(const Derived& v, const double* j, std::size_t n, double* t)
{
    for (std::size_t m = 0; m < n; ++m) {
        const double a = scaled(j[m], v.Z);
        t[m] = a;
        t[n + m] = std::sin(a / 1.5);
        t[2 * n + m] = 0.5 * a;
        t[3 * n + m] = 2 * a;
    }
}

// Per column: q = Sin(b / 1.5), 2 × b, 0.5 × b. Shared: Sin(q - p) and
// Cos(p + q), each twice.
void iceColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = scaled(col.i, v.Z);
    const double q = std::sin(b / 1.5);
    const double b2 = 2 * b, halfB = 0.5 * b;
    const double* const A = col.table;
    const double* const P = A + col.count;
    const double* const halfA = P + col.count;
    const double* const a2 = halfA + col.count;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = A[m];
        const double sinDiff = std::sin(q - P[m]);
        const double cosSum = std::cos(P[m] + q);
        const double c = std::fabs(std::tan(sinDiff + std::tan(cosSum)) + 0.5);
        const double d = std::fabs(sinDiff + (cosSum * c) / 3);
        const double e = std::fabs(std::tan((std::sin(b - a) * d) * std::cos((a + c / 2) + b)));
        const double f = std::fabs(std::tan(std::sin(b2 + halfA[m]) + d / 2) + std::sin(a2[m] - halfB));
        const double g = std::fabs(std::tan((std::sin(f - e) + std::cos(e)) + f));
        const double h = std::fabs(std::tan(std::sin(2 * f + 0.5 * e) + std::sin(2 * e - 0.5 * f)));
        col.out[m] = packPixel(B * (0.005 * g + 0.08 * h + 0.01 * f + 0.001 * d),
                               B * (0.013 * g + 0.05 * h + 0.07 * f + 0.04 * d),
                               B * (0.09 * g + 0.02 * h + 0.04 * f + 0.01 * d));
    }
}

// Row table: a. Per column: b + 0.00001. Shared: Sin(a - b) twice, Sin(d - c)
// twice, and the sums a + b and f + g.
void jokeColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = scaled(col.i, v.Z);
    const double bNudged = b + 0.00001;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = col.table[m];
        const double sum = a + b;
        const double sinDiff = std::sin(a - b);
        const double c = std::fabs(std::tan(std::sin(((b - a) + sinDiff) + std::cos(sum))));
        const double d = std::fabs(std::tan(std::sin((sum + std::cos(a - bNudged)) + sinDiff)));
        const double e = c / (d + 0.001);
        const double sinDC = std::sin(d - c);
        const double f = (sinDC - e) - std::cos(c + d);
        const double g = std::fabs((sinDC - f) - std::sin(c - d));
        const double fg = f + g;
        const double h = std::fabs(std::tan(std::sin((g + e) - f) + std::cos(fg)));
        const double k = std::fabs(std::tan(std::sin(fg) + std::sin(f * e - g)));
        col.out[m] = packPixel(B * (0.09 * h + 0.18 * k + 0.09 * g), B * (0.03 * h + 0.09 * k + 0.014 * g),
                               B * (0.19 * h + 0.02 * k + 0.015 * g));
    }
}

}  // namespace

const Pattern hix{"hix", centredDoubledZoom, hixAt, hixColumn, 4, hixRows};
const Pattern ice{"ice", centredDoubledZoom, iceAt, iceColumn, 4, iceRows};
const Pattern joke{"joke", centredDoubledZoom, jokeAt, jokeColumn, 1, scaledRows};

}  // namespace glimra
