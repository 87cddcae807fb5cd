#include "math/core.h"
#include "math/math.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace glimra::math {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

double overflowed()
{
    std::feraiseexcept(FE_OVERFLOW | FE_INEXACT);
    return kInf;
}

// x > 0 finite, x != 1, y finite and nonzero.
double powPositive(double x, double y)
{
    if (!(std::fabs(y) < detail::kPowFastYMax)) {
        // |log x| >= 2^-53 for every double x != 1, so |y log x| >= 2^11:
        // far beyond either end of the double range.
        return (x > 1) == (y > 0) ? overflowed() : 0.0;
    }
    double r, e;
    if (detail::fastPow(x, y, r, e))
        return r;
    // e is y log x within 2^-60 relative. exp(709.79) exceeds the largest
    // double by more than half an ulp; exp(-745.14) is below half the
    // smallest subnormal, so x^y rounds to zero.
    if (e > 709.79)
        return overflowed();
    if (e < -745.14)
        return 0.0;
    r = detail::powExact(x, y);
    return std::isinf(r) ? overflowed() : r;
}

bool isOddInteger(double y)
{
    // Every double of magnitude 2^53 or more is even.
    return std::fabs(y) < 0x1p53 && y == std::trunc(y) && (static_cast<long long>(y) & 1) != 0;
}

}  // namespace

double pow(double x, double y)
{
    // Quiet comparisons (an ordered one raises invalid on a NaN).
    if (std::isgreater(x, 0.0) && std::isless(x, kInf) && x != 1 && y != 0 && std::isless(std::fabs(y), kInf))
        return powPositive(x, y);

    if (y == 0)
        return 1.0;  // even for a NaN x
    if (x == 1)
        return 1.0;  // even for a NaN y
    if (std::isnan(x) || std::isnan(y))
        return x + y;
    if (std::isinf(y)) {
        const double ax = std::fabs(x);
        if (ax == 1)
            return 1.0;  // (-1)^(+-inf)
        return (ax < 1) == (y < 0) ? kInf : 0.0;
    }
    const bool odd = isOddInteger(y);
    if (x == 0) {
        if (y < 0) {
            std::feraiseexcept(FE_DIVBYZERO);
            return odd ? std::copysign(kInf, x) : kInf;
        }
        return odd ? x : 0.0;
    }
    if (std::isinf(x)) {
        if (x > 0)
            return y < 0 ? 0.0 : kInf;
        if (y < 0)
            return odd ? -0.0 : 0.0;
        return odd ? -kInf : kInf;
    }
    // x < 0 finite: defined only for integer y, with the sign of (-1)^y.
    if (y != std::trunc(y)) {
        std::feraiseexcept(FE_INVALID);
        return std::numeric_limits<double>::quiet_NaN();
    }
    const double r = x == -1 ? 1.0 : powPositive(-x, y);
    return odd ? -r : r;
}

}  // namespace glimra::math
