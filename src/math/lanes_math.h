// The lane types' sin, cos, tan and pow: core.h's fast paths on every lane at
// once (the same templates as the one-lane functions, on the vector types of
// lanes.h with lanes_glue.h's Ops), so a lane's double-double result is the
// one-lane result and core.h's error analysis and rounding test hold for each
// lane unchanged. A lane whose fast path declines (an argument outside the
// fast range, a failed rounding test, a special value) is computed by the
// one-lane function, which gives the same correctly rounded result that any
// width would.
#pragma once

#include "math/core.h"
#include "math/lanes.h"
#include "math/lanes_glue.h"
#include "math/math.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#if defined(GLIMRA_LANES2_TYPES)

namespace glimra::lanes::detail {
inline namespace GLIMRA_ISA {

namespace md = math::detail;

// The lanes not set in `ok` from the one-lane function `one` of the same
// lanes of the arguments.
template <class V, class F, class... A>
V mendDeclined(V result, md::MaskOf<V> ok, F one, A... args)
{
    // One bit a lane (Twice<Twice<Eight>> has thirty-two).
    static_assert(V::width < 64);
    const std::uint64_t done = md::Ops<V>::laneBits(ok);
    if (done == (std::uint64_t(1) << V::width) - 1)
        return result;
    double r[V::width], a[sizeof...(A)][V::width];
    result.store(r);
    int n = 0;
    (args.store(a[n++]), ...);
    [&]<std::size_t... I>(std::index_sequence<I...>)
    {
        for (int l = 0; l < V::width; ++l)
            if (!(done >> l & 1))
                r[l] = one(a[I][l]...);
    }
    (std::index_sequence_for<A...>{});
    return V::load(r);
}

// Every lane's instruction set has a fused multiply-add but SSE2's; the
// templates' kFma picks nothing for the vector types (their Ops decide).
template <class V>
GLIMRA_STEP V lanesSin(V x)
{
    md::MaskOf<V> ok;
    const V r = md::trigFast<0, true>(x, ok);
    return mendDeclined(
        r, ok, [](double a) { return math::sin(a); }, x);
}
template <class V>
GLIMRA_STEP V lanesCos(V x)
{
    md::MaskOf<V> ok;
    const V r = md::trigFast<1, true>(x, ok);
    return mendDeclined(
        r, ok, [](double a) { return math::cos(a); }, x);
}
template <class V>
GLIMRA_STEP V lanesTan(V x)
{
    md::MaskOf<V> ok;
    const V r = md::trigFast<2, true>(x, ok);
    return mendDeclined(
        r, ok, [](double a) { return math::tan(a); }, x);
}
template <class V>
GLIMRA_STEP V lanesPow(V x, V y)
{
    md::MaskOf<V> ok;
    V ehi;
    const V r = md::powFast<true, false>(x, y, ok, ehi);
    return mendDeclined(
        r, ok, [](double a, double b) { return math::pow(a, b); }, x, y);
}

// f on the arguments from k on, V::width at a time; returns where it stopped.
template <class V>
std::size_t groups(Function f, const double* x, const double* y, double* out, std::size_t k, std::size_t n)
{
    for (; k + V::width <= n; k += V::width) {
        const V a = V::load(x + k);
        V r;
        switch (f) {
        case Function::Sin: r = sin(a); break;
        case Function::Cos: r = cos(a); break;
        case Function::Tan: r = tan(a); break;
        case Function::Pow: r = pow(a, V::load(y + k)); break;
        }
        r.store(out + k);
    }
    return k;
}

}  // namespace GLIMRA_ISA
}  // namespace glimra::lanes::detail

#endif
