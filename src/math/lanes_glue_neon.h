// The two NEON lanes' Ops (see lanes_glue.h): each operation does on each
// lane what Ops<double> does on one double. Included by lanes_glue.h only.
#pragma once

#include "math/dd.h"
#include "math/lanes.h"

#if defined(__aarch64__) && defined(GLIMRA_LANES2_TYPES)

#include <cstdint>

namespace glimra::math::detail {
inline namespace GLIMRA_ISA {

// ---------------------------------------------------------------------------
// Two lanes, NEON. Masks are the comparisons' own results, all bits of a
// lane set or clear. The integer lanes are 64 bits wide: every value they
// hold (table rows, quadrant counts, exponents) is whole and below 2^31, so
// sums, masks and shifts give what 32-bit lanes would, and nothing needs
// narrowing.
template <>
struct Ops<lanes::Two> {
    using V = lanes::Two;
    using Mask = uint64x2_t;
    using Int = int64x2_t;
    static constexpr int width = 2;

    static uint64x2_t bits(V a) { return vreinterpretq_u64_f64(a.v); }
    static V ofBits(uint64x2_t b) { return V(vreinterpretq_f64_u64(b)); }
    static uint64x2_t signBit() { return vdupq_n_u64(0x8000000000000000ull); }

    // As with one lane, comparisons see no NaNs but through ordered(), whose
    // equality raises nothing for a quiet NaN.
    static Mask less(V a, V b) { return vcltq_f64(a.v, b.v); }
    static Mask equal(V a, V b) { return vceqq_f64(a.v, b.v); }
    static Mask ordered(V a) { return vceqq_f64(a.v, a.v); }
    static Mask both(Mask a, Mask b) { return vandq_u64(a, b); }
    static Mask either(Mask a, Mask b) { return vorrq_u64(a, b); }
    static Mask notMask(Mask m) { return veorq_u64(m, vdupq_n_u64(~0ull)); }
    static V select(Mask m, V a, V b) { return V(vbslq_f64(m, a.v, b.v)); }
    static std::uint64_t laneBits(Mask m) { return (vgetq_lane_u64(m, 0) & 1) | (vgetq_lane_u64(m, 1) & 1) << 1; }
    static V abs(V a) { return fabs(a); }
    static V flipWhere(Mask m, V a) { return ofBits(veorq_u64(bits(a), vandq_u64(m, signBit()))); }
    static V flipBySign(V a, V s) { return ofBits(veorq_u64(bits(a), vandq_u64(bits(s), signBit()))); }

    // Truncation, as the one lane's conversion (the values are whole).
    static Int toInt32(V a) { return vcvtq_s64_f64(a.v); }
    static V nearest(V a) { return V(vrndnq_f64(a.v)); }
    static Int nearestInt32(V a) { return vcvtnq_s64_f64(a.v); }
    static Int addInt(Int x, int c) { return vaddq_s64(x, vdupq_n_s64(c)); }
    static Int andInt(Int x, int c) { return vandq_s64(x, vdupq_n_s64(c)); }
    static Int shiftRight8(Int x) { return vshrq_n_s64(x, 8); }
    static Mask bitOfWhole(V s, int bit) { return vtstq_u64(bits(s), vdupq_n_u64(bit)); }
    static V fromExponentField(Int q) { return V(vreinterpretq_f64_s64(vshlq_n_s64(q, 52))); }
    // The exponent field (below 2^11) placed in the significand of 2^52,
    // then 2^52 taken away.
    static V exponentField(V x)
    {
        const uint64x2_t e = vshrq_n_u64(bits(x), 52);
        return ofBits(vorrq_u64(e, bits(V(0x1p52)))) - V(0x1p52);
    }
    static V significand(V x)
    {
        return ofBits(vorrq_u64(vandq_u64(bits(x), vdupq_n_u64(0x000fffffffffffffull)), bits(V(1.0))));
    }

    static const double* row(const double* t, int n, Int idx, int lane)
    {
        return t + n * (lane == 0 ? vgetq_lane_s64(idx, 0) : vgetq_lane_s64(idx, 1));
    }
    static void rowsOfFour(const double* t, Int idx, V& c0, V& c1, V& c2, V& c3)
    {
        const double* r0 = row(t, 4, idx, 0);
        const double* r1 = row(t, 4, idx, 1);
        const float64x2_t a0 = vld1q_f64(r0), a1 = vld1q_f64(r1);
        const float64x2_t b0 = vld1q_f64(r0 + 2), b1 = vld1q_f64(r1 + 2);
        c0 = V(vzip1q_f64(a0, a1));
        c1 = V(vzip2q_f64(a0, a1));
        c2 = V(vzip1q_f64(b0, b1));
        c3 = V(vzip2q_f64(b0, b1));
    }
    // Nothing beyond a row's three doubles is read.
    static void rowsOfThree(const double* t, Int idx, V& c0, V& c1, V& c2)
    {
        const double* r0 = row(t, 3, idx, 0);
        const double* r1 = row(t, 3, idx, 1);
        const float64x2_t a0 = vld1q_f64(r0), a1 = vld1q_f64(r1);
        c0 = V(vzip1q_f64(a0, a1));
        c1 = V(vzip2q_f64(a0, a1));
        c2 = V(vld1q_lane_f64(r1 + 2, vld1q_dup_f64(r0 + 2), 1));
    }
    static void rowsOfTwo(const double* t, Int idx, V& c0, V& c1)
    {
        const float64x2_t a0 = vld1q_f64(row(t, 2, idx, 0));
        const float64x2_t a1 = vld1q_f64(row(t, 2, idx, 1));
        c0 = V(vzip1q_f64(a0, a1));
        c1 = V(vzip2q_f64(a0, a1));
    }

    // Every aarch64 has a fused multiply-add: the error term in one
    // instruction, a b - p exactly, the double Dekker's split would give.
    template <bool>
    static V productError(V a, V b, V p)
    {
        return V(vfmaq_f64(vnegq_f64(p.v), a.v, b.v));
    }
    template <bool>
    static constexpr bool fused = true;
    static V negMulAdd(V a, V b, V c) { return V(vfmsq_f64(c.v, a.v, b.v)); }
    static V mulAdd(V a, V b, V c) { return V(vfmaq_f64(c.v, a.v, b.v)); }
};

}  // namespace GLIMRA_ISA
}  // namespace glimra::math::detail

#endif
