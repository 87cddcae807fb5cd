#include "math/core.h"
#include "math/math.h"
#include "math/reduce_large.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace glimra::math {
namespace detail {
namespace {

// sin, cos or tan (kind 0, 1, 2) of x from its huge-range reduction, through
// the small range's polynomial and rounding test (the sums in core.h,
// trigFast, with the same error bounds: the reduction is at least as
// precise). The baseline form only, without fused multiply-add (the same
// bits either way): about 60 ns a call against 3 us for the exact path.
template <int kind>
bool largeFast(double x, double& out)
{
    const double ax = std::fabs(x);
    // Quiet comparisons: NaN falls out without raising invalid.
    if (!std::isgreaterequal(ax, kTrigLargeMin) || !std::isless(ax, std::numeric_limits<double>::infinity()))
        return false;
    const LargeReduced r = reduceLarge(x);
    bool ok = true;
    out = trigOfReduced<kind, false>(r.rh, r.rl, static_cast<double>(r.q), ok);
    return ok;
}

}  // namespace

bool largeSin(double x, double& out) { return largeFast<0>(x, out); }
bool largeCos(double x, double& out) { return largeFast<1>(x, out); }
bool largeTan(double x, double& out) { return largeFast<2>(x, out); }

}  // namespace detail

namespace {

// What remains when the fast paths decline: NaN, the infinities (invalid, as
// the result has no value) and the arguments the exact path takes.
double trigRest(double x, double (*exact)(double))
{
    if (std::isnan(x))
        return x + x;
    if (std::isinf(x)) {
        std::feraiseexcept(FE_INVALID);
        return std::numeric_limits<double>::quiet_NaN();
    }
    return exact(x);
}

}  // namespace

double sin(double x)
{
    double r;
    if (detail::fastSin(x, r) || detail::largeSin(x, r))
        return r;
    return trigRest(x, detail::sinExact);
}

double cos(double x)
{
    double r;
    if (detail::fastCos(x, r) || detail::largeCos(x, r))
        return r;
    return trigRest(x, detail::cosExact);
}

double tan(double x)
{
    double r;
    if (detail::fastTan(x, r) || detail::largeTan(x, r))
        return r;
    return trigRest(x, detail::tanExact);
}

}  // namespace glimra::math
