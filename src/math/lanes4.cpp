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

} // namespace GLIMRA_ISA

std::size_t evaluateFour(Function f, const double* x, const double* y, double* out, std::size_t n)
{
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const Four a = Four::load(x + k);
        Four r;
        switch (f) {
        case Function::Sin: r = sin(a); break;
        case Function::Cos: r = cos(a); break;
        case Function::Tan: r = tan(a); break;
        case Function::Pow: r = pow(a, Four::load(y + k)); break;
        }
        r.store(out + k);
    }
    return k;
}

} // namespace glimra::lanes
#endif
