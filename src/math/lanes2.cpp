// sin, cos, tan and pow on two lanes (SSE2 on x86-64, NEON on aarch64), and
// the choice of width.
#include "math/lanes.h"
#include "math/lanes_math.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

namespace glimra::lanes {

#if defined(GLIMRA_LANES2_TYPES)
inline namespace GLIMRA_ISA {

Two sin(Two a) { return detail::lanesSin(a); }
Two cos(Two a) { return detail::lanesCos(a); }
Two tan(Two a) { return detail::lanesTan(a); }
Two pow(Two a, Two b) { return detail::lanesPow(a, b); }
Twice<Two> sin(Twice<Two> a) { return detail::lanesSin(a); }
Twice<Two> cos(Twice<Two> a) { return detail::lanesCos(a); }
Twice<Two> tan(Twice<Two> a) { return detail::lanesTan(a); }
Twice<Two> pow(Twice<Two> a, Twice<Two> b) { return detail::lanesPow(a, b); }
Twice<Twice<Two>> sin(Twice<Twice<Two>> a) { return detail::lanesSin(a); }
Twice<Twice<Two>> cos(Twice<Twice<Two>> a) { return detail::lanesCos(a); }
Twice<Twice<Two>> tan(Twice<Twice<Two>> a) { return detail::lanesTan(a); }
Twice<Twice<Two>> pow(Twice<Twice<Two>> a, Twice<Twice<Two>> b) { return detail::lanesPow(a, b); }

}  // namespace GLIMRA_ISA
#endif

#if defined(__x86_64__)
// In lanes4.cpp, compiled with AVX2: the groups of four, returning how many
// arguments it took; in lanes8.cpp, compiled with AVX-512, those of eight.
std::size_t evaluateFour(Function f, const double* x, const double* y, double* out, std::size_t n);
#if defined(GLIMRA_HAVE_LANES8)
std::size_t evaluateEight(Function f, const double* x, const double* y, double* out, std::size_t n);
#else
// Never called: without lanes8.cpp no processor reports eight lanes.
std::size_t evaluateEight(Function f, const double* x, const double* y, double* out, std::size_t n)
{
    return evaluateFour(f, x, y, out, n);
}
#endif
#endif

namespace {

int processorWidth()
{
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma"))
        return 2;
#if defined(GLIMRA_HAVE_LANES8)
    // (The runtime's test includes the system's saving of the wide registers.)
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl"))
        return 8;
#endif
    return 4;
#elif defined(GLIMRA_LANES2_TYPES)
    return 2;
#else
    return 1;
#endif
}

}  // namespace

int widthLimit(const char* text)
{
    if (!text)
        return 0;
    const std::string_view t(text);
    for (const int w : {1, 2, 4, 8})
        if (t == std::to_string(w))
            return w;
    return 0;
}

// GLIMRA_LANES=1, 2, 4 or 8 caps the width, so that one machine can compare
// its narrower paths with its widest (every width paints the same picture);
// any other value is ignored.
int widestWidth()
{
    static const int widest = [] {
        const int processor = processorWidth();
        const int limit = widthLimit(std::getenv("GLIMRA_LANES"));
        return limit > 0 && limit < processor ? limit : processor;
    }();
    return widest;
}

void evaluate(Function f, int width, const double* x, const double* y, double* out, std::size_t n)
{
    std::size_t k = 0;
#if defined(GLIMRA_LANES2_TYPES)
    const int w = std::min(width, widestWidth());
#if defined(__x86_64__)
    if (w >= 8)
        k = evaluateEight(f, x, y, out, n);
    else if (w >= 4)
        k = evaluateFour(f, x, y, out, n);
#endif
    if (w >= 2 && w < 4)
        k = detail::groups<Two>(
            f, x, y, out,
            detail::groups<Twice<Two>>(f, x, y, out, detail::groups<Twice<Twice<Two>>>(f, x, y, out, 0, n), n), n);
#else
    (void)width;
#endif
    for (; k < n; ++k) {
        switch (f) {
        case Function::Sin: out[k] = math::sin(x[k]); break;
        case Function::Cos: out[k] = math::cos(x[k]); break;
        case Function::Tan: out[k] = math::tan(x[k]); break;
        case Function::Pow: out[k] = math::pow(x[k], y[k]); break;
        }
    }
}

}  // namespace glimra::lanes
