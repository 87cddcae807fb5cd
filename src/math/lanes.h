// Values of one or several lanes, so that a pattern's formula is written once
// and evaluated on one pixel or on several rows at a time. Every operation
// acts on each lane exactly as the same operation on one double would: +, -,
// *, / and negation are the IEEE operations (no fused multiply-add, no
// reordering), and sin, cos, tan and pow are those of the lane type's policy.
// With the exact policy they are correctly rounded, so a lane gives the same
// bits as one double whatever width computes it.
//
// The lane types live in an inline namespace named after the instruction set
// the including file is compiled for (GLIMRA_ISA, math/dd.h): the AVX2 and
// AVX-512 scans are compiled with those instruction sets in files of their
// own, and their copies of these inline functions must never stand in for
// the baseline ones (the linker would keep either).
#pragma once

#include "math/dd.h"
#include "math/math.h"

#include <cmath>
#include <cstddef>

#if defined(__x86_64__)
#include <emmintrin.h>
#define GLIMRA_LANES2_TYPES 1
#elif defined(__aarch64__) && defined(__ARM_NEON)
#include <arm_neon.h>
#define GLIMRA_LANES2_TYPES 1
#endif
#if defined(__AVX2__) && defined(__FMA__)
#include <immintrin.h>
#endif
#if defined(__AVX512F__) && defined(__AVX512DQ__) && defined(__AVX512VL__) && defined(__AVX2__) && defined(__FMA__)
#define GLIMRA_LANES8_TYPES 1
#endif

namespace glimra::lanes {

// sin, cos, tan or pow of n arguments (pow: x[k] ^ y[k]) on `width` lanes
// at a time (1, 2, 4 or 8; a width this processor or build lacks is taken
// by the widest narrower one it has), the rest one lane each: for the tests and the benchmark,
// which compare and time the widths.
enum class Function { Sin, Cos, Tan, Pow };
void evaluate(Function f, int width, const double* x, const double* y, double* out, std::size_t n);
// The widest of 1, 2, 4 and 8 this processor and build have, capped by the
// environment's GLIMRA_LANES when that names a narrower width.
int widestWidth();
// The width a GLIMRA_LANES text names (1, 2, 4 or 8), else 0.
int widthLimit(const char* text);

// Functions chosen at run time by the calling thread: for a check that
// evaluates a formula with functions of its own (the tools' independent
// evaluation with many more bits).
struct Functions {
    double (*sin)(double);
    double (*cos)(double);
    double (*tan)(double);
    double (*pow)(double, double);
};

inline namespace GLIMRA_ISA {

// The functions a lane type calls, by policy. (Inside the instruction set's
// namespace, as everything inline here: a copy compiled with AVX2 must never
// serve the baseline code.)
// The correctly rounded functions: the program's own.
struct Exact {
    static double sin(double x) { return math::sin(x); }
    static double cos(double x) { return math::cos(x); }
    static double tan(double x) { return math::tan(x); }
    static double pow(double x, double y) { return math::pow(x, y); }
};

// The C library's functions, whatever this machine's gives: kept only as the
// benchmark's baseline.
struct Libc {
    static double sin(double x) { return std::sin(x); }
    static double cos(double x) { return std::cos(x); }
    static double tan(double x) { return std::tan(x); }
    static double pow(double x, double y) { return std::pow(x, y); }
};

// The functions the calling thread put in `table` (see Functions).
struct Chosen {
    static inline thread_local const Functions* table = nullptr;
    static double sin(double x) { return table->sin(x); }
    static double cos(double x) { return table->cos(x); }
    static double tan(double x) { return table->tan(x); }
    static double pow(double x, double y) { return table->pow(x, y); }
};

// One lane: a double whose functions are the policy M's.
template <class M>
struct One {
    static constexpr int width = 1;
    double v;

    One() = default;
    constexpr One(double x) : v(x) {}
    static One load(const double* p) { return One(*p); }
    void store(double* p) const { *p = v; }

    friend One operator+(One a, One b) { return One(a.v + b.v); }
    friend One operator-(One a, One b) { return One(a.v - b.v); }
    friend One operator*(One a, One b) { return One(a.v * b.v); }
    friend One operator/(One a, One b) { return One(a.v / b.v); }
    friend One operator-(One a) { return One(-a.v); }
    friend One fabs(One a) { return One(std::fabs(a.v)); }
    friend One sin(One a) { return One(M::sin(a.v)); }
    friend One cos(One a) { return One(M::cos(a.v)); }
    friend One tan(One a) { return One(M::tan(a.v)); }
    friend One pow(One a, One b) { return One(M::pow(a.v, b.v)); }
};

#if defined(__x86_64__)
// Two lanes in an SSE2 register, which every x86-64 has. The functions run
// their fast paths on both lanes at once and give a lane whose fast path
// declines to the one-lane function.
struct Two {
    static constexpr int width = 2;
    __m128d v;

    Two() = default;
    Two(double x) : v(_mm_set1_pd(x)) {}
    explicit Two(__m128d x) : v(x) {}
    static Two load(const double* p) { return Two(_mm_loadu_pd(p)); }
    void store(double* p) const { _mm_storeu_pd(p, v); }

    friend Two operator+(Two a, Two b) { return Two(_mm_add_pd(a.v, b.v)); }
    friend Two operator-(Two a, Two b) { return Two(_mm_sub_pd(a.v, b.v)); }
    friend Two operator*(Two a, Two b) { return Two(_mm_mul_pd(a.v, b.v)); }
    friend Two operator/(Two a, Two b) { return Two(_mm_div_pd(a.v, b.v)); }
    friend Two operator-(Two a) { return Two(_mm_xor_pd(a.v, _mm_set1_pd(-0.0))); }
    friend Two fabs(Two a) { return Two(_mm_andnot_pd(_mm_set1_pd(-0.0), a.v)); }
    friend Two sin(Two a);
    friend Two cos(Two a);
    friend Two tan(Two a);
    friend Two pow(Two a, Two b);
};
#elif defined(GLIMRA_LANES2_TYPES)
// Two lanes in a NEON register, which every aarch64 has; as with SSE2, a
// lane whose fast path declines goes to the one-lane function. (The
// intrinsics are the IEEE operations one by one: with contraction off the
// compiler fuses none of them.)
struct Two {
    static constexpr int width = 2;
    float64x2_t v;

    Two() = default;
    Two(double x) : v(vdupq_n_f64(x)) {}
    explicit Two(float64x2_t x) : v(x) {}
    static Two load(const double* p) { return Two(vld1q_f64(p)); }
    void store(double* p) const { vst1q_f64(p, v); }

    friend Two operator+(Two a, Two b) { return Two(vaddq_f64(a.v, b.v)); }
    friend Two operator-(Two a, Two b) { return Two(vsubq_f64(a.v, b.v)); }
    friend Two operator*(Two a, Two b) { return Two(vmulq_f64(a.v, b.v)); }
    friend Two operator/(Two a, Two b) { return Two(vdivq_f64(a.v, b.v)); }
    friend Two operator-(Two a) { return Two(vnegq_f64(a.v)); }
    friend Two fabs(Two a) { return Two(vabsq_f64(a.v)); }
    friend Two sin(Two a);
    friend Two cos(Two a);
    friend Two tan(Two a);
    friend Two pow(Two a, Two b);
};
#endif

#if defined(__AVX2__) && defined(__FMA__)
// Four lanes in an AVX register, for processors with AVX2 and FMA; only the
// file compiled for them sees this type.
struct Four {
    static constexpr int width = 4;
    __m256d v;

    Four() = default;
    Four(double x) : v(_mm256_set1_pd(x)) {}
    explicit Four(__m256d x) : v(x) {}
    static Four load(const double* p) { return Four(_mm256_loadu_pd(p)); }
    void store(double* p) const { _mm256_storeu_pd(p, v); }

    friend Four operator+(Four a, Four b) { return Four(_mm256_add_pd(a.v, b.v)); }
    friend Four operator-(Four a, Four b) { return Four(_mm256_sub_pd(a.v, b.v)); }
    friend Four operator*(Four a, Four b) { return Four(_mm256_mul_pd(a.v, b.v)); }
    friend Four operator/(Four a, Four b) { return Four(_mm256_div_pd(a.v, b.v)); }
    friend Four operator-(Four a) { return Four(_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))); }
    friend Four fabs(Four a) { return Four(_mm256_andnot_pd(_mm256_set1_pd(-0.0), a.v)); }
    friend Four sin(Four a);
    friend Four cos(Four a);
    friend Four tan(Four a);
    friend Four pow(Four a, Four b);
};

#endif

#if defined(GLIMRA_LANES8_TYPES)
// Eight lanes in an AVX-512 register, for processors with AVX-512 F, DQ and
// VL; only the files compiled for them see this type.
struct Eight {
    static constexpr int width = 8;
    __m512d v;

    Eight() = default;
    Eight(double x) : v(_mm512_set1_pd(x)) {}
    explicit Eight(__m512d x) : v(x) {}
    static Eight load(const double* p) { return Eight(_mm512_loadu_pd(p)); }
    void store(double* p) const { _mm512_storeu_pd(p, v); }

    friend Eight operator+(Eight a, Eight b) { return Eight(_mm512_add_pd(a.v, b.v)); }
    friend Eight operator-(Eight a, Eight b) { return Eight(_mm512_sub_pd(a.v, b.v)); }
    friend Eight operator*(Eight a, Eight b) { return Eight(_mm512_mul_pd(a.v, b.v)); }
    friend Eight operator/(Eight a, Eight b) { return Eight(_mm512_div_pd(a.v, b.v)); }
    friend Eight operator-(Eight a) { return Eight(_mm512_xor_pd(a.v, _mm512_set1_pd(-0.0))); }
    friend Eight fabs(Eight a) { return Eight(_mm512_andnot_pd(_mm512_set1_pd(-0.0), a.v)); }
    friend Eight sin(Eight a);
    friend Eight cos(Eight a);
    friend Eight tan(Eight a);
    friend Eight pow(Eight a, Eight b);
};
#endif

#if defined(GLIMRA_LANES2_TYPES)
// Two registers side by side, twice the rows at a time: a formula's calls are
// mostly nested, each waiting for the one inside it, and independent groups
// let the processor work on one while the others wait. The scans use four
// registers: Twice<Twice<Two>> (eight rows) with SSE2 and with NEON,
// Twice<Twice<Four>> (sixteen) with AVX2 and Twice<Twice<Eight>> (thirty-two)
// with AVX-512, then a group of Half for the rows left over. (Measured per
// argument: with AVX-512's thirty-two registers, four groups of eight cost
// sin a fifth and pow a quarter less than two, and eight groups made sin
// dearer again; with AVX2's sixteen, eight groups of four made sin dearer
// than four.)
template <class H>
struct Twice {
    static constexpr int width = 2 * H::width;
    using Half = H;
    H a, b;

    Twice() = default;
    Twice(double x) : a(x), b(x) {}
    Twice(H x, H y) : a(x), b(y) {}
    static Twice load(const double* p) { return {H::load(p), H::load(p + H::width)}; }
    void store(double* p) const
    {
        a.store(p);
        b.store(p + H::width);
    }

    friend Twice operator+(Twice x, Twice y) { return {x.a + y.a, x.b + y.b}; }
    friend Twice operator-(Twice x, Twice y) { return {x.a - y.a, x.b - y.b}; }
    friend Twice operator*(Twice x, Twice y) { return {x.a * y.a, x.b * y.b}; }
    friend Twice operator/(Twice x, Twice y) { return {x.a / y.a, x.b / y.b}; }
    friend Twice operator-(Twice x) { return {-x.a, -x.b}; }
    friend Twice fabs(Twice x) { return {fabs(x.a), fabs(x.b)}; }
};
Twice<Two> sin(Twice<Two> x);
Twice<Two> cos(Twice<Two> x);
Twice<Two> tan(Twice<Two> x);
Twice<Two> pow(Twice<Two> x, Twice<Two> y);
Twice<Twice<Two>> sin(Twice<Twice<Two>> x);
Twice<Twice<Two>> cos(Twice<Twice<Two>> x);
Twice<Twice<Two>> tan(Twice<Twice<Two>> x);
Twice<Twice<Two>> pow(Twice<Twice<Two>> x, Twice<Twice<Two>> y);
#endif
#if defined(__AVX2__) && defined(__FMA__)
Twice<Four> sin(Twice<Four> x);
Twice<Four> cos(Twice<Four> x);
Twice<Four> tan(Twice<Four> x);
Twice<Four> pow(Twice<Four> x, Twice<Four> y);
Twice<Twice<Four>> sin(Twice<Twice<Four>> x);
Twice<Twice<Four>> cos(Twice<Twice<Four>> x);
Twice<Twice<Four>> tan(Twice<Twice<Four>> x);
Twice<Twice<Four>> pow(Twice<Twice<Four>> x, Twice<Twice<Four>> y);
#endif
#if defined(GLIMRA_LANES8_TYPES)
Twice<Eight> sin(Twice<Eight> x);
Twice<Eight> cos(Twice<Eight> x);
Twice<Eight> tan(Twice<Eight> x);
Twice<Eight> pow(Twice<Eight> x, Twice<Eight> y);
Twice<Twice<Eight>> sin(Twice<Twice<Eight>> x);
Twice<Twice<Eight>> cos(Twice<Twice<Eight>> x);
Twice<Twice<Eight>> tan(Twice<Twice<Eight>> x);
Twice<Twice<Eight>> pow(Twice<Twice<Eight>> x, Twice<Twice<Eight>> y);
#endif

}  // namespace GLIMRA_ISA
}  // namespace glimra::lanes
