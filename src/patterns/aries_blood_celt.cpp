// aries, blood and celt (pattern buttons 0, 1 and 2): nested sine,
// cosine and tangent terms of the scaled coordinates, with a power in each.
#include "patterns/patterns.h"

#include <cmath>

namespace glimra {
namespace {

// aries and blood share their frame values: twice the zoom, the brightness as is.
Derived deriveAriesBlood(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = p.P4 + p.P4;
    d.B = p.P5;
    return d;
}

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
    d.Z = p.P4 * 0.7;
    d.B = p.P5;
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

}  // namespace

const Pattern aries{"aries", deriveAriesBlood, ariesAt};
const Pattern blood{"blood", deriveAriesBlood, bloodAt};
const Pattern celt{"celt", deriveCelt, celtAt};

}  // namespace glimra
