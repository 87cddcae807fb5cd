// The C library's own vector functions (libmvec: not correctly rounded, a
// few ulp off at worst), called a group at a time, so that the benchmark can
// set our lanes beside what speed without exactness costs at the same width.
#include "vector_libc.h"

#if defined(GLIMRA_HAVE_LIBMVEC)
#include <immintrin.h>

#include <cstring>

// The vector-ABI names; each group is passed and returned in one register of
// its width, so the callers below are compiled for that width's instructions.
extern "C" {
__m128d _ZGVbN2v_sin(__m128d);
__m128d _ZGVbN2v_cos(__m128d);
__m128d _ZGVbN2v_tan(__m128d);
__m128d _ZGVbN2vv_pow(__m128d, __m128d);
__attribute__((target("avx2"))) __m256d _ZGVdN4v_sin(__m256d);
__attribute__((target("avx2"))) __m256d _ZGVdN4v_cos(__m256d);
__attribute__((target("avx2"))) __m256d _ZGVdN4v_tan(__m256d);
__attribute__((target("avx2"))) __m256d _ZGVdN4vv_pow(__m256d, __m256d);
__attribute__((target("avx512f"))) __m512d _ZGVeN8v_sin(__m512d);
__attribute__((target("avx512f"))) __m512d _ZGVeN8v_cos(__m512d);
__attribute__((target("avx512f"))) __m512d _ZGVeN8v_tan(__m512d);
__attribute__((target("avx512f"))) __m512d _ZGVeN8vv_pow(__m512d, __m512d);
}

namespace {

using glimra::lanes::Function;

// f on whole groups of R's lanes (the tail that does not fill one is left
// out: the caller times whole groups only, n a multiple of eight). Inlined
// into a caller compiled for R's instructions, which the calls need (so the
// compiler's warning about the vector ABI of an out-of-line copy does not
// apply: there is none).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
template <class R>
[[gnu::always_inline]] inline void groups(Function f, R (*sin)(R), R (*cos)(R), R (*tan)(R), R (*pow)(R, R),
                                          const double* x, const double* y, double* out, std::size_t n)
{
    constexpr std::size_t w = sizeof(R) / sizeof(double);
    for (std::size_t i = 0; i + w <= n; i += w) {
        R a, b, r;
        std::memcpy(&a, x + i, sizeof a);
        switch (f) {
        case Function::Sin: r = sin(a); break;
        case Function::Cos: r = cos(a); break;
        case Function::Tan: r = tan(a); break;
        default:
            std::memcpy(&b, y + i, sizeof b);
            r = pow(a, b);
            break;
        }
        std::memcpy(out + i, &r, sizeof r);
    }
}
#pragma GCC diagnostic pop

void two(Function f, const double* x, const double* y, double* out, std::size_t n)
{
    groups<__m128d>(f, _ZGVbN2v_sin, _ZGVbN2v_cos, _ZGVbN2v_tan, _ZGVbN2vv_pow, x, y, out, n);
}

__attribute__((target("avx2"))) void four(Function f, const double* x, const double* y, double* out, std::size_t n)
{
    groups<__m256d>(f, _ZGVdN4v_sin, _ZGVdN4v_cos, _ZGVdN4v_tan, _ZGVdN4vv_pow, x, y, out, n);
}

__attribute__((target("avx512f"))) void eight(Function f, const double* x, const double* y, double* out, std::size_t n)
{
    groups<__m512d>(f, _ZGVeN8v_sin, _ZGVeN8v_cos, _ZGVeN8v_tan, _ZGVeN8vv_pow, x, y, out, n);
}

}  // namespace

bool vectorLibc(Function f, int width, const double* x, const double* y, double* out, std::size_t n)
{
    // The library picks no code for us: a width is called only where the
    // processor has its instructions.
    if (width == 2)
        two(f, x, y, out, n);
    else if (width == 4 && __builtin_cpu_supports("avx2"))
        four(f, x, y, out, n);
    else if (width == 8 && __builtin_cpu_supports("avx512f"))
        eight(f, x, y, out, n);
    else
        return false;
    return true;
}

#else

bool vectorLibc(glimra::lanes::Function, int, const double*, const double*, double*, std::size_t) { return false; }

#endif
