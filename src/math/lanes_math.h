// The lane types' sin, cos, tan and pow, written once for any width.
#pragma once

#include "math/lanes.h"

namespace glimra::lanes::detail {
inline namespace GLIMRA_ISA {

// Each lane through the one-lane function.
template <class V, class F>
V eachLane(V a, F f)
{
    double x[V::width];
    a.store(x);
    for (int l = 0; l < V::width; ++l)
        x[l] = f(x[l]);
    return V::load(x);
}

template <class V>
V lanesSin(V a)
{
    return eachLane(a, [](double x) { return Exact::sin(x); });
}
template <class V>
V lanesCos(V a)
{
    return eachLane(a, [](double x) { return Exact::cos(x); });
}
template <class V>
V lanesTan(V a)
{
    return eachLane(a, [](double x) { return Exact::tan(x); });
}
template <class V>
V lanesPow(V a, V b)
{
    double x[V::width], y[V::width];
    a.store(x);
    b.store(y);
    for (int l = 0; l < V::width; ++l)
        x[l] = Exact::pow(x[l], y[l]);
    return V::load(x);
}

} // namespace GLIMRA_ISA
} // namespace glimra::lanes::detail
