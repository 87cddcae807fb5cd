// The C library's own vector functions (libmvec: not correctly rounded, a
// few ulp off at worst), called a group at a time, so that the benchmark can
// set our lanes beside what speed without exactness costs at the same width.
#include "vector_libc.h"

#if defined(GLIMRA_HAVE_LIBMVEC)
#include <immintrin.h>

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

// The tail that does not fill a group is left out: the caller times whole
// groups only (n is a multiple of eight in the benchmark).
void two(Function f, const double* x, const double* y, double* out, std::size_t n)
{
    for (std::size_t i = 0; i + 2 <= n; i += 2) {
        const __m128d a = _mm_loadu_pd(x + i);
        __m128d r;
        switch (f) {
        case Function::Sin: r = _ZGVbN2v_sin(a); break;
        case Function::Cos: r = _ZGVbN2v_cos(a); break;
        case Function::Tan: r = _ZGVbN2v_tan(a); break;
        default: r = _ZGVbN2vv_pow(a, _mm_loadu_pd(y + i)); break;
        }
        _mm_storeu_pd(out + i, r);
    }
}

__attribute__((target("avx2"))) void four(Function f, const double* x, const double* y, double* out, std::size_t n)
{
    for (std::size_t i = 0; i + 4 <= n; i += 4) {
        const __m256d a = _mm256_loadu_pd(x + i);
        __m256d r;
        switch (f) {
        case Function::Sin: r = _ZGVdN4v_sin(a); break;
        case Function::Cos: r = _ZGVdN4v_cos(a); break;
        case Function::Tan: r = _ZGVdN4v_tan(a); break;
        default: r = _ZGVdN4vv_pow(a, _mm256_loadu_pd(y + i)); break;
        }
        _mm256_storeu_pd(out + i, r);
    }
}

__attribute__((target("avx512f"))) void eight(Function f, const double* x, const double* y, double* out, std::size_t n)
{
    for (std::size_t i = 0; i + 8 <= n; i += 8) {
        const __m512d a = _mm512_loadu_pd(x + i);
        __m512d r;
        switch (f) {
        case Function::Sin: r = _ZGVeN8v_sin(a); break;
        case Function::Cos: r = _ZGVeN8v_cos(a); break;
        case Function::Tan: r = _ZGVeN8v_tan(a); break;
        default: r = _ZGVeN8vv_pow(a, _mm512_loadu_pd(y + i)); break;
        }
        _mm512_storeu_pd(out + i, r);
    }
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
