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
} // namespace glimra::lanes
#endif
