// sin, cos, tan and pow on two lanes (SSE2).
#include "math/lanes.h"
#include "math/lanes_math.h"

#if defined(__x86_64__)
namespace glimra::lanes {
inline namespace GLIMRA_ISA {

Two sin(Two a) { return detail::lanesSin(a); }
Two cos(Two a) { return detail::lanesCos(a); }
Two tan(Two a) { return detail::lanesTan(a); }
Two pow(Two a, Two b) { return detail::lanesPow(a, b); }

} // namespace GLIMRA_ISA
} // namespace glimra::lanes
#endif
