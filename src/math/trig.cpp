#include "math/core.h"
#include "math/math.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace glimra::math {
namespace {

// What remains when the fast path declines: NaN, the infinities (invalid, as
// the result has no value) and the arguments the exact path takes.
double trigRest(double x, double (*exact)(double))
{
    if (std::isnan(x)) return x + x;
    if (std::isinf(x)) {
        std::feraiseexcept(FE_INVALID);
        return std::numeric_limits<double>::quiet_NaN();
    }
    return exact(x);
}

} // namespace

double sin(double x)
{
    double r;
    if (detail::fastSin(x, r)) return r;
    return trigRest(x, detail::sinExact);
}

double cos(double x)
{
    double r;
    if (detail::fastCos(x, r)) return r;
    return trigRest(x, detail::cosExact);
}

double tan(double x)
{
    double r;
    if (detail::fastTan(x, r)) return r;
    return trigRest(x, detail::tanExact);
}

} // namespace glimra::math
