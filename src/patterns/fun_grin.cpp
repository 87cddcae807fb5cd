// fun and grin (pattern buttons 5 and 6). fun divides one tangent
// term by a power of the other; grin sets two stages of tangent terms against
// each other in a ratio of products.
#include "patterns/patterns.h"

#include <cmath>

namespace glimra {
namespace {

Derived deriveFun(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = p.P4;  // not doubled
    d.B = p.P5;
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

Derived deriveGrin(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = p.P4 + p.P4;
    d.B = p.P5;
    return d;
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

}  // namespace

const Pattern fun{"fun", deriveFun, funAt};
const Pattern grin{"grin", deriveGrin, grinAt};

}  // namespace glimra
