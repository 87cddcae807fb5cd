// sin, cos, tan and pow on four lanes; this file is compiled with AVX2 and FMA
// and used only where the processor has both.
#include "math/lanes.h"
#include "math/lanes_math.h"

#if defined(__AVX2__) && defined(__FMA__)
namespace glimra::lanes {
inline namespace GLIMRA_ISA {

Four sin(Four a) { return detail::lanesSin(a); }
Four cos(Four a) { return detail::lanesCos(a); }
Four tan(Four a) { return detail::lanesTan(a); }
Four pow(Four a, Four b) { return detail::lanesPow(a, b); }
Twice<Four> sin(Twice<Four> a) { return detail::lanesSin(a); }
Twice<Four> cos(Twice<Four> a) { return detail::lanesCos(a); }
Twice<Four> tan(Twice<Four> a) { return detail::lanesTan(a); }
Twice<Four> pow(Twice<Four> a, Twice<Four> b) { return detail::lanesPow(a, b); }
Twice<Twice<Four>> sin(Twice<Twice<Four>> a) { return detail::lanesSin(a); }
Twice<Twice<Four>> cos(Twice<Twice<Four>> a) { return detail::lanesCos(a); }
Twice<Twice<Four>> tan(Twice<Twice<Four>> a) { return detail::lanesTan(a); }
Twice<Twice<Four>> pow(Twice<Twice<Four>> a, Twice<Twice<Four>> b) { return detail::lanesPow(a, b); }

}  // namespace GLIMRA_ISA

// Sixteen at a time, as the render's scans take them, then eight, then four.
std::size_t evaluateFour(Function f, const double* x, const double* y, double* out, std::size_t n)
{
    return detail::groups<Four>(
        f, x, y, out,
        detail::groups<Twice<Four>>(f, x, y, out, detail::groups<Twice<Twice<Four>>>(f, x, y, out, 0, n), n), n);
}

}  // namespace glimra::lanes
#endif
