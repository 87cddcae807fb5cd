// aries, blood and celt (pattern buttons 0, 1 and 2): nested sine,
// cosine and tangent terms of the scaled coordinates, with a power in each.
#include "patterns/patterns.h"
#include "patterns/kernel.h"

#include <cmath>

namespace glimra {
namespace {

Components ariesAt(const Derived& v, double i, double j)
{
    const double Z = v.Z, B = v.B;
    const double a = (K * (j / 200)) * Z;
    const double b = (K * (i / 200)) * Z;
    const double c1 = std::fabs(std::tan(std::sin(((a * b) + std::cos(b - a)) -
                                                  std::fabs(std::tan(std::sin(b + a) + std::cos(a + b))))));
    const double c2 = std::fabs(std::sin((c1 * c1) * std::cos((a / 2) - std::cos(c1 * std::sin(b - std::cos(c1 / 3))))));
    const double c3 = std::fabs(std::tan(std::sin((c1 * c2) * std::cos(b - a)) + std::sin(((b + c2) + a) + std::cos(a + b))));
    const double c4 = std::pow(std::fabs(std::tan(a / 4) + 0.0001), std::sin(c1 / 4) + 0.001);
    const double c5 = std::cos((c1 * c3) * c2);
    const double c6 = std::fabs(std::tan(std::sin((c1 * c2) * std::cos(c5 - c4)) + std::sin(((b + c2) + a) + std::cos(a + b))));
    const double w1 = ((c4 * 0.02 + c5 * 0.02) + c3 * 0.1) + c6 * 0.01;
    const double w2 = ((c4 * 0.07 + c5 * 0.1) + c3 * 0.002) + c6 * 0.05;
    const double w3 = ((c4 * 0.2 + c5 * 0.18) + c3 * 0.00001) + c6 * 0.1;
    Components out;
    out.red = B * w3;
    out.blue = B * w1;
    out.green = B * w2;
    return out;
}

Components bloodAt(const Derived& frame, double i, double j)
{
    const double Z = frame.Z, B = frame.B;  // (frame, not v: v names a colour mix below)
    const double a = (K * (j / 200)) * Z;
    const double b = (K * (i / 200)) * Z;
    const double c1 = std::fabs(std::sin(std::tan((std::pow(std::fabs(b), 1.3) - std::pow(std::fabs(a), 1.2)) + std::cos(a + b)))) / 7;
    const double c2 = std::fabs(std::tan(std::sin((a - c1) + std::cos(((c1 - b) + std::sin(b + a)) + std::cos(c1)))));
    const double c3 = std::fabs(std::tan(std::sin((c1 - b) + std::cos(c2 - a / 3)) + std::sin((b + a) + std::cos(a - b / 2))));
    const double c4 = std::fabs(std::tan(std::sin((a * b) + c3 * std::cos(b + a)) + std::sin(((b * c3) * a) + std::cos(a - b))));
    const double u = c4 * 0.002 + c3 * 0.08;
    const double v = c4 * 0.02 + c3 * 0.01;
    const double w = c4 * 0.2 + c3 * 0.002;
    Components out;
    out.red = B * w;
    out.blue = 15 + B * u;
    out.green = 5 + B * v;
    return out;
}

Derived deriveCelt(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = p.zoom * 0.7;
    d.B = p.bright;
    return d;
}

Components celtAt(const Derived& frame, double i, double j)
{
    const double Z = frame.Z, B = frame.B;  // (frame, not v: v names a colour mix below)
    const double a = (K * (j / 200)) * Z;
    const double b = (K * (i / 200)) * Z;
    const double c0 = std::pow(std::fabs(a), 0.5) * std::pow(std::fabs(b), 0.5);
    const double c1 = std::fabs(std::tan(std::sin(c0)) + std::cos((c0 + std::sin(b + a)) + std::tan(c0)));
    const double c2 = std::fabs(std::tan(std::sin(c1 - std::pow(std::fabs(a), 1.2)) + std::cos(a + std::pow(std::fabs(b), 0.8))));
    const double c3 = std::fabs(std::tan(std::sin((c0 - c2) + 0.4) * a + std::cos(a + b / 3)));
    const double c4 = std::fabs(std::tan((std::sin(c1 - c3 * 2) + c3) + std::cos(c2 * c3)));
    const double u = ((c2 * 0.05 + c3 * 0.05) + c4 * 0.05) + c1 * 0.3;
    const double v = ((c2 * 0.01 + c3 * 0.01) + c4 * 0.03) + c1 * 0.03;
    const double w = ((c2 * 0.015 + c3 * 0.03) + c4 * 0.01) + c1 * 0.01;
    Components out;
    out.red = B * w;
    out.blue = B * u;
    out.green = B * v;
    return out;
}

// The column scans below compute each repeated term once per pixel and take
// the terms of the row alone from the row table and the terms of the column
// alone once per column; every value is the one the formula above computes.

// Row table: a, a / 2, Abs(Tan(a / 4) + 0.0001).
void ariesRows(const Derived& v, const double* j, std::size_t n, double* t)
{
    for (std::size_t m = 0; m < n; ++m) {
        const double a = scaled(j[m], v.Z);
        t[m] = a;
        t[n + m] = a / 2;
        t[2 * n + m] = std::fabs(std::tan(a / 4) + 0.0001);
    }
}

// Shared: Cos(a + b) three times, Cos(b - a) twice, c1 × c2 twice, and the
// whole Sin(((b + c2) + a) + Cos(a + b)) of c3 and c6.
void ariesColumn(const Derived& v, const ColumnArgs& col)
{
    const double B = v.B;
    const double b = scaled(col.i, v.Z);
    const double* const A = col.table;
    const double* const halfA = A + col.count;
    const double* const c4Base = halfA + col.count;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = A[m];
        const double cosSum = std::cos(a + b);
        const double cosDiff = std::cos(b - a);
        const double c1 = std::fabs(std::tan(std::sin(((a * b) + cosDiff) - std::fabs(std::tan(std::sin(b + a) + cosSum)))));
        const double c2 = std::fabs(std::sin((c1 * c1) * std::cos(halfA[m] - std::cos(c1 * std::sin(b - std::cos(c1 / 3))))));
        const double c1c2 = c1 * c2;
        const double tail = std::sin(((b + c2) + a) + cosSum);
        const double c3 = std::fabs(std::tan(std::sin(c1c2 * cosDiff) + tail));
        const double c4 = std::pow(c4Base[m], std::sin(c1 / 4) + 0.001);
        const double c5 = std::cos((c1 * c3) * c2);
        const double c6 = std::fabs(std::tan(std::sin(c1c2 * std::cos(c5 - c4)) + tail));
        const double w1 = ((c4 * 0.02 + c5 * 0.02) + c3 * 0.1) + c6 * 0.01;
        const double w2 = ((c4 * 0.07 + c5 * 0.1) + c3 * 0.002) + c6 * 0.05;
        const double w3 = ((c4 * 0.2 + c5 * 0.18) + c3 * 0.00001) + c6 * 0.1;
        col.out[m] = packPixel(B * w3, B * w2, B * w1);
    }
}

// Row table: a, Abs(a) ^ 1.2, a / 3.
void bloodRows(const Derived& v, const double* j, std::size_t n, double* t)
{
    for (std::size_t m = 0; m < n; ++m) {
        const double a = scaled(j[m], v.Z);
        t[m] = a;
        t[n + m] = std::pow(std::fabs(a), 1.2);
        t[2 * n + m] = a / 3;
    }
}

// Per column: Abs(b) ^ 1.3 and b / 2. Shared: Cos(a + b) (also written
// Cos(b + a)) twice, c1 - b twice.
void bloodColumn(const Derived& frame, const ColumnArgs& col)
{
    const double B = frame.B;
    const double b = scaled(col.i, frame.Z);
    const double powB = std::pow(std::fabs(b), 1.3);
    const double halfB = b / 2;
    const double* const A = col.table;
    const double* const powA = A + col.count;
    const double* const thirdA = powA + col.count;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = A[m];
        const double sum = a + b;
        const double cosSum = std::cos(sum);
        const double c1 = std::fabs(std::sin(std::tan((powB - powA[m]) + cosSum))) / 7;
        const double c1b = c1 - b;
        const double c2 = std::fabs(std::tan(std::sin((a - c1) + std::cos((c1b + std::sin(sum)) + std::cos(c1)))));
        const double c3 = std::fabs(std::tan(std::sin(c1b + std::cos(c2 - thirdA[m])) + std::sin(sum + std::cos(a - halfB))));
        const double c4 = std::fabs(std::tan(std::sin((a * b) + c3 * cosSum) + std::sin(((b * c3) * a) + std::cos(a - b))));
        const double u = c4 * 0.002 + c3 * 0.08;
        const double w = c4 * 0.2 + c3 * 0.002;
        const double vMix = c4 * 0.02 + c3 * 0.01;
        col.out[m] = packPixel(B * w, 5 + B * vMix, 15 + B * u);
    }
}

// Row table: a, Abs(a) ^ 0.5, Abs(a) ^ 1.2.
void celtRows(const Derived& v, const double* j, std::size_t n, double* t)
{
    for (std::size_t m = 0; m < n; ++m) {
        const double a = scaled(j[m], v.Z);
        t[m] = a;
        t[n + m] = std::pow(std::fabs(a), 0.5);
        t[2 * n + m] = std::pow(std::fabs(a), 1.2);
    }
}

// Per column: Abs(b) ^ 0.5, Abs(b) ^ 0.8 and b / 3. No term repeats within
// a pixel.
void celtColumn(const Derived& frame, const ColumnArgs& col)
{
    const double B = frame.B;
    const double b = scaled(col.i, frame.Z);
    const double rootB = std::pow(std::fabs(b), 0.5);
    const double powB = std::pow(std::fabs(b), 0.8);
    const double thirdB = b / 3;
    const double* const A = col.table;
    const double* const rootA = A + col.count;
    const double* const powA = rootA + col.count;
    for (std::size_t m = 0; m < col.count; ++m) {
        const double a = A[m];
        const double c0 = rootA[m] * rootB;
        const double c1 = std::fabs(std::tan(std::sin(c0)) + std::cos((c0 + std::sin(b + a)) + std::tan(c0)));
        const double c2 = std::fabs(std::tan(std::sin(c1 - powA[m]) + std::cos(a + powB)));
        const double c3 = std::fabs(std::tan(std::sin((c0 - c2) + 0.4) * a + std::cos(a + thirdB)));
        const double c4 = std::fabs(std::tan((std::sin(c1 - c3 * 2) + c3) + std::cos(c2 * c3)));
        const double u = ((c2 * 0.05 + c3 * 0.05) + c4 * 0.05) + c1 * 0.3;
        const double vMix = ((c2 * 0.01 + c3 * 0.01) + c4 * 0.03) + c1 * 0.03;
        const double w = ((c2 * 0.015 + c3 * 0.03) + c4 * 0.01) + c1 * 0.01;
        col.out[m] = packPixel(B * w, B * vMix, B * u);
    }
}

}  // namespace

const Pattern aries{"aries", centredDoubledZoom, ariesAt, ariesColumn, 3, ariesRows};
const Pattern blood{"blood", centredDoubledZoom, bloodAt, bloodColumn, 3, bloodRows};
const Pattern celt{"celt", deriveCelt, celtAt, celtColumn, 3, celtRows};

}  // namespace glimra
