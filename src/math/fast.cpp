// The fast paths compiled for the processor at hand: on x86-64 once for the
// baseline and once with fused multiply-add, chosen per call from what the
// processor reports (a load and a test). Elsewhere the baseline form.
#include "math/core.h"

namespace glimra::math::detail {
namespace {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define GLIMRA_WITH_FMA __attribute__((target("fma")))
// Before the C runtime's constructors have run this reads false, and the
// baseline form gives the same results.
inline bool haveFma() { return __builtin_cpu_supports("fma"); }
#else
#define GLIMRA_WITH_FMA
inline bool haveFma() { return false; }
#endif

// trigFastOne and powFastOne are inlined (always) into these, so that the
// fused multiply-adds are compiled into them.
template <int kind>
GLIMRA_WITH_FMA bool trigWithFma(double x, double& out)
{
    return trigFastOne<kind, true>(x, out);
}

GLIMRA_WITH_FMA bool powWithFma(double x, double y, double& out, double& ehi)
{
    return powFastOne<true>(x, y, out, ehi);
}

}  // namespace

bool fastSin(double x, double& out) { return haveFma() ? trigWithFma<0>(x, out) : trigFastOne<0, false>(x, out); }
bool fastCos(double x, double& out) { return haveFma() ? trigWithFma<1>(x, out) : trigFastOne<1, false>(x, out); }
bool fastTan(double x, double& out) { return haveFma() ? trigWithFma<2>(x, out) : trigFastOne<2, false>(x, out); }

bool fastPow(double x, double y, double& out, double& ehi)
{
    return haveFma() ? powWithFma(x, y, out, ehi) : powFastOne<false>(x, y, out, ehi);
}

}  // namespace glimra::math::detail
