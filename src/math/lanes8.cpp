// sin, cos, tan and pow on eight lanes; this file is compiled with AVX-512
// (F, DQ and VL, with AVX2 and FMA) and used only where the processor has
// them.
#include "math/lanes.h"
#include "math/lanes_math.h"

#if defined(GLIMRA_LANES8_TYPES)
namespace glimra::lanes {
inline namespace GLIMRA_ISA {

Eight sin(Eight a) { return detail::lanesSin(a); }
Eight cos(Eight a) { return detail::lanesCos(a); }
Eight tan(Eight a) { return detail::lanesTan(a); }
Eight pow(Eight a, Eight b) { return detail::lanesPow(a, b); }
Twice<Eight> sin(Twice<Eight> a) { return detail::lanesSin(a); }
Twice<Eight> cos(Twice<Eight> a) { return detail::lanesCos(a); }
Twice<Eight> tan(Twice<Eight> a) { return detail::lanesTan(a); }
Twice<Eight> pow(Twice<Eight> a, Twice<Eight> b) { return detail::lanesPow(a, b); }
Twice<Twice<Eight>> sin(Twice<Twice<Eight>> a) { return detail::lanesSin(a); }
Twice<Twice<Eight>> cos(Twice<Twice<Eight>> a) { return detail::lanesCos(a); }
Twice<Twice<Eight>> tan(Twice<Twice<Eight>> a) { return detail::lanesTan(a); }
Twice<Twice<Eight>> pow(Twice<Twice<Eight>> a, Twice<Twice<Eight>> b) { return detail::lanesPow(a, b); }

}  // namespace GLIMRA_ISA

// Thirty-two at a time, as the render's scans take them, then sixteen, then
// eight.
std::size_t evaluateEight(Function f, const double* x, const double* y, double* out, std::size_t n)
{
    std::size_t k = detail::groups<Twice<Twice<Eight>>>(f, x, y, out, 0, n);
    k = detail::groups<Twice<Eight>>(f, x, y, out, k, n);
    return detail::groups<Eight>(f, x, y, out, k, n);
}

}  // namespace glimra::lanes
#endif
