// Double-double arithmetic on any value type: a value is hi + lo, two doubles
// (or two vectors of doubles, lane by lane). The error-free transformations
// below are exact for finite operands whose products and sums neither
// overflow nor come near the subnormal range (every use in this room keeps
// its operands above 2^-900 or at zero).
//
// The steps are written once, as templates on the value type V: a plain
// double is the one-lane form, and each vector type of lanes.h has the same
// operators, IEEE operation for IEEE operation, so a lane computes the bits a
// double would. What a type provides beyond + - * / (comparisons into masks,
// selection, table rows, the exact product's error term) is Ops<V>: the one
// lane's here, the vector types' in lanes_glue.h.
//
// Everything inline sits in an inline namespace named after the instruction
// set its file is compiled for (see lanes.h): a copy compiled with AVX2 or
// AVX-512 must never stand in for the baseline one.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__AVX512F__) && defined(__AVX512DQ__) && defined(__AVX512VL__) && defined(__AVX2__) && defined(__FMA__)
#define GLIMRA_ISA isa_avx512
#elif defined(__AVX2__) && defined(__FMA__)
#define GLIMRA_ISA isa_avx2
#else
#define GLIMRA_ISA isa_base
#endif

// core.h's steps are inlined wherever they are used: into the one-lane
// functions compiled with fused multiply-add (fast.cpp), which a call to an
// out-of-line copy compiled without would lose, and into each lane function
// as one body. (The small steps below are left to the compiler: forcing them
// too made the four-lane functions' register allocation worse.)
#define GLIMRA_STEP [[gnu::always_inline]] inline

namespace glimra::math::detail {
inline namespace GLIMRA_ISA {

template <class V>
struct Pair {
    V hi, lo;
};
using DD = Pair<double>;

// Round to the nearest integer (ties to even) for |t| < 2^51, in the default
// rounding mode, without a library call or a branch.
template <class V>
inline V roundToInt(V t)
{
    const V shifter(0x1.8p52);
    return (t + shifter) - shifter;
}

// What a value type provides beyond arithmetic; specialised for each.
template <class V>
struct Ops;

template <class V>
using MaskOf = typename Ops<V>::Mask;
template <class V>
using IntOf = typename Ops<V>::Int;

// a = hi + lo exactly, hi of 26 significant bits and lo of 26 and a sign
// (Veltkamp's split; hi is a rounded to 26 bits, so |lo| <= 2^-26 |a|):
// products of such halves are exact.
template <class V>
inline Pair<V> split26(V a)
{
    const V c = V(134217729.0) * a;  // 2^27 + 1
    const V hi = c - (c - a);
    return {hi, a - hi};
}

// One lane: masks are bools, integers 32-bit ints.
template <>
struct Ops<double> {
    using Mask = bool;
    using Int = std::int32_t;
    static constexpr int width = 1;

    // Comparisons are made on values without NaNs (callers replace them
    // first), so an ordered comparison raises nothing.
    static bool less(double a, double b) { return a < b; }
    static bool equal(double a, double b) { return a == b; }
    static bool ordered(double a) { return !std::isunordered(a, a); }
    static bool both(bool a, bool b) { return a & b; }
    static bool either(bool a, bool b) { return a | b; }
    static bool notMask(bool a) { return !a; }
    static double select(bool m, double a, double b) { return m ? a : b; }
    static double abs(double a) { return std::fabs(a); }
    // a with its sign flipped where m is set, or where s is negative: the
    // same bits as products by -1.
    static double flipWhere(bool m, double a) { return m ? -a : a; }
    static double flipBySign(double a, double s)
    {
        return std::bit_cast<double>(std::bit_cast<std::uint64_t>(a) ^
                                     (std::bit_cast<std::uint64_t>(s) & 0x8000000000000000ull));
    }

    // Whole-numbered values below 2^31 (exact: no rounding).
    static Int toInt32(double a) { return static_cast<Int>(a); }
    // The nearest whole number (ties to even), as a double and as an integer
    // lane (|a| < 2^31), in the default rounding mode.
    static double nearest(double a) { return roundToInt(a); }
    static Int nearestInt32(double a) { return static_cast<Int>(roundToInt(a)); }
    static Int addInt(Int x, int c) { return x + c; }
    static Int andInt(Int x, int c) { return x & c; }
    static Int shiftRight8(Int x) { return x >> 8; }  // floor(x / 256)
    // For s = 1.5 * 2^52 + k with k whole, |k| < 2^51 (the sum that rounds k
    // in roundToInt): whether k has the bit `bit` (a power of two) set. The
    // low bits of s's significand are k's in two's complement.
    static bool bitOfWhole(double s, int bit) { return (std::bit_cast<std::uint64_t>(s) & unsigned(bit)) != 0; }
    // 2^(q - 1023) for a biased exponent q in [1, 2046].
    static double fromExponentField(Int q)
    {
        return std::bit_cast<double>(static_cast<std::uint64_t>(static_cast<std::uint32_t>(q)) << 52);
    }
    // For a positive normal x: its biased exponent as a double, and its
    // significand in [1, 2).
    static double exponentField(double x) { return static_cast<double>(std::bit_cast<std::uint64_t>(x) >> 52); }
    static double significand(double x)
    {
        return std::bit_cast<double>((std::bit_cast<std::uint64_t>(x) & 0x000fffffffffffffull) | 0x3ff0000000000000ull);
    }

    // Rows idx of a table of n doubles per row, one value per column.
    static void rowsOfFour(const double* t, Int i, double& c0, double& c1, double& c2, double& c3)
    {
        const double* r = t + 4 * i;
        c0 = r[0];
        c1 = r[1];
        c2 = r[2];
        c3 = r[3];
    }
    static void rowsOfThree(const double* t, Int i, double& c0, double& c1, double& c2)
    {
        const double* r = t + 3 * i;
        c0 = r[0];
        c1 = r[1];
        c2 = r[2];
    }
    static void rowsOfTwo(const double* t, Int i, double& c0, double& c1)
    {
        const double* r = t + 2 * i;
        c0 = r[0];
        c1 = r[1];
    }

    // c - a b rounded once, where a fused multiply-add is at hand (kFma).
    template <bool kFma>
    static constexpr bool fused = kFma;
    static double negMulAdd(double a, double b, double c) { return __builtin_fma(-a, b, c); }
    static double mulAdd(double a, double b, double c) { return __builtin_fma(a, b, c); }

    // The error of p = RN(a b): with a fused multiply-add (kFma, only in code
    // compiled for a processor that has one) one instruction; without,
    // Dekker's split does the same with plain products (exact as long as
    // |a|, |b| < 2^995). Both give the same double.
    template <bool kFma>
    static double productError(double a, double b, double p)
    {
        if constexpr (kFma) {
            return __builtin_fma(a, b, -p);
        } else {
            const Pair<double> as = split26(a), bs = split26(b);
            return ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
        }
    }
};

// s + e = a + b exactly (Knuth), whatever the magnitudes.
template <class V>
inline Pair<V> twoSum(V a, V b)
{
    const V s = a + b;
    const V bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// s + e = a + b exactly when |a| >= |b| or a == 0 (Dekker).
template <class V>
inline Pair<V> fastTwoSum(V a, V b)
{
    const V s = a + b;
    return {s, b - (s - a)};
}

// p + e = a * b exactly (see Ops::productError: the same two doubles with or
// without fused multiply-add).
template <bool kFma, class V>
inline Pair<V> twoProd(V a, V b)
{
    const V p = a * b;
    return {p, Ops<V>::template productError<kFma>(a, b, p)};
}

// a b + c and c - a b: one fused instruction where the width has one (kFma
// for one lane), else a product and a sum. An error bound that counts a
// rounding for each holds for the fused form, which has one rounding fewer;
// the results may differ, so only in code whose output is checked for
// correct rounding (core.h), where they change at most which lanes decline.
template <bool kFma, class V>
GLIMRA_STEP V mulAdd(V a, V b, V c)
{
    if constexpr (Ops<V>::template fused<kFma>)
        return Ops<V>::mulAdd(a, b, c);
    else
        return a * b + c;
}
template <bool kFma, class V>
GLIMRA_STEP V negMulAdd(V a, V b, V c)
{
    if constexpr (Ops<V>::template fused<kFma>)
        return Ops<V>::negMulAdd(a, b, c);
    else
        return c - a * b;
}

// n / d in double-double for a normalised n (|n.lo| <= ulp(n.hi) / 2) and
// |d.lo| <= u |d.hi|, d.hi well away from zero and infinity: error below
// 2^-100 relative. One division, the costliest step on every width. With
// v = RN(1/d.hi) and q1 = RN(n.hi v), q1 d.hi = n.hi (1 + t), |t| < 2.01u,
// so n.hi - p.hi is exact (Sterbenz) and the remainder rho = n - q1 d (exact
// value) is below 4.03u |n.hi|. Its computed value rem takes four roundings,
// of results below 2.01u, 3.02u, 1.01u and 4.03u times |n.hi|: within
// 10.1u^2 |n.hi| = 2^-102.7 |n.hi|. rem v is rem / d.hi within 2.01u
// relative (2^-103 |q|), and rho / d differs from rho / d.hi by less than
// 1.01u of it (2^-104 |q|). The last sum is exact (|rem v| < 2^-50 |q1|).
// Altogether below 2^-101.5 |n / d|.
// Without a fused multiply-add, q1 is cut to its first 26 bits (Veltkamp's
// split, |t'| < 2^-25.9 in place of t) and d.hi split into two halves of 26
// bits, so q1 d.hi is the sum of two exact products, and n.hi - p.hi is
// still exact (Sterbenz: p.hi is n.hi within 2^-24.9). The remainder is then
// below 2^-25.9 |n.hi|, and its three roundings, of values below that, cost
// 2^-77.4 |n.hi|; rem v adds 2u of the remainder, and d.lo 2^-79: below
// 2^-76.4 |n / d| altogether, and the last sum is still exact.
template <bool kFma, class V>
inline Pair<V> divDD(Pair<V> n, Pair<V> d)
{
    const V v = V(1.0) / d.hi;
    V q1 = n.hi * v;
    Pair<V> p;
    if constexpr (Ops<V>::template fused<kFma>) {
        p = twoProd<kFma>(q1, d.hi);
    } else {
        q1 = split26(q1).hi;
        const Pair<V> ds = split26(d.hi);
        p = {q1 * ds.hi, q1 * ds.lo};
    }
    const V rem = negMulAdd<kFma>(q1, d.lo, ((n.hi - p.hi) - p.lo) + n.lo);
    return fastTwoSum(q1, rem * v);
}

}  // namespace GLIMRA_ISA
}  // namespace glimra::math::detail
