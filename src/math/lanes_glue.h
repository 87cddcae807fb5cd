// What each vector type of lanes.h provides to core.h's templates beyond
// arithmetic (Ops, see dd.h): masks, selection, conversions between doubles
// and 32-bit integer lanes, table rows as one vector per column (row loads
// and transpositions, or gathers) and the exact product's error term. Every
// operation does on each lane what Ops<double> does on one double.
#pragma once

#include "math/dd.h"
#include "math/lanes.h"
#include "math/lanes_glue_neon.h"

#if defined(GLIMRA_LANES2_TYPES)

namespace glimra::math::detail {
inline namespace GLIMRA_ISA {
#if defined(__x86_64__)

// ---------------------------------------------------------------------------
// Two lanes, SSE2. Masks are vectors with all bits of a lane set or clear;
// the integer lanes are the low two of an __m128i.
template <>
struct Ops<lanes::Two> {
    using V = lanes::Two;
    using Mask = V;
    using Int = __m128i;
    static constexpr int width = 2;

    static V less(V a, V b) { return V(_mm_cmplt_pd(a.v, b.v)); }
    static V equal(V a, V b) { return V(_mm_cmpeq_pd(a.v, b.v)); }
    static V ordered(V a) { return V(_mm_cmpord_pd(a.v, a.v)); }
    static V both(V a, V b) { return V(_mm_and_pd(a.v, b.v)); }
    static V either(V a, V b) { return V(_mm_or_pd(a.v, b.v)); }
    static V notMask(V m) { return V(_mm_xor_pd(m.v, _mm_castsi128_pd(_mm_set1_epi32(-1)))); }
    static V select(V m, V a, V b) { return V(_mm_or_pd(_mm_and_pd(m.v, a.v), _mm_andnot_pd(m.v, b.v))); }
    static std::uint64_t laneBits(V m) { return std::uint64_t(_mm_movemask_pd(m.v)); }
    static V abs(V a) { return fabs(a); }
    static V flipWhere(V m, V a) { return V(_mm_xor_pd(a.v, _mm_and_pd(m.v, _mm_set1_pd(-0.0)))); }
    static V flipBySign(V a, V s) { return V(_mm_xor_pd(a.v, _mm_and_pd(s.v, _mm_set1_pd(-0.0)))); }

    static Int toInt32(V a) { return _mm_cvtpd_epi32(a.v); }
    static V nearest(V a) { return roundToInt(a); }
    static Int nearestInt32(V a) { return _mm_cvtpd_epi32(a.v); }  // in the rounding mode, to nearest
    static Int addInt(Int x, int c) { return _mm_add_epi32(x, _mm_set1_epi32(c)); }
    static Int andInt(Int x, int c) { return _mm_and_si128(x, _mm_set1_epi32(c)); }
    static Int shiftRight8(Int x) { return _mm_srai_epi32(x, 8); }
    // The low 32-bit word's comparison copied into the high one.
    static V bitOfWhole(V s, int bit)
    {
        const __m128i b = _mm_set1_epi64x(bit);
        const __m128i m = _mm_cmpeq_epi32(_mm_and_si128(_mm_castpd_si128(s.v), b), b);
        return V(_mm_castsi128_pd(_mm_shuffle_epi32(m, 0xa0)));
    }
    static V fromExponentField(Int q)
    {
        return V(_mm_castsi128_pd(_mm_slli_epi64(_mm_unpacklo_epi32(q, _mm_setzero_si128()), 52)));
    }
    // The exponent field (below 2^11) placed in the significand of 2^52,
    // then 2^52 taken away.
    static V exponentField(V x)
    {
        const __m128i e = _mm_srli_epi64(_mm_castpd_si128(x.v), 52);
        return V(_mm_or_pd(_mm_castsi128_pd(e), _mm_set1_pd(0x1p52))) - V(0x1p52);
    }
    static V significand(V x)
    {
        const __m128d field = _mm_castsi128_pd(_mm_set1_epi64x(0x000fffffffffffffll));
        return V(_mm_or_pd(_mm_and_pd(x.v, field), _mm_set1_pd(1.0)));
    }

    static void rowsOfFour(const double* t, Int idx, V& c0, V& c1, V& c2, V& c3)
    {
        const double* r0 = t + 4 * _mm_cvtsi128_si32(idx);
        const double* r1 = t + 4 * _mm_cvtsi128_si32(_mm_shuffle_epi32(idx, 1));
        const __m128d a0 = _mm_loadu_pd(r0), a1 = _mm_loadu_pd(r1);
        const __m128d b0 = _mm_loadu_pd(r0 + 2), b1 = _mm_loadu_pd(r1 + 2);
        c0 = V(_mm_unpacklo_pd(a0, a1));
        c1 = V(_mm_unpackhi_pd(a0, a1));
        c2 = V(_mm_unpacklo_pd(b0, b1));
        c3 = V(_mm_unpackhi_pd(b0, b1));
    }
    static void rowsOfThree(const double* t, Int idx, V& c0, V& c1, V& c2)
    {
        const double* r0 = t + 3 * _mm_cvtsi128_si32(idx);
        const double* r1 = t + 3 * _mm_cvtsi128_si32(_mm_shuffle_epi32(idx, 1));
        c0 = V(_mm_set_pd(r1[0], r0[0]));
        c1 = V(_mm_set_pd(r1[1], r0[1]));
        c2 = V(_mm_set_pd(r1[2], r0[2]));
    }
    static void rowsOfTwo(const double* t, Int idx, V& c0, V& c1)
    {
        const __m128d a0 = _mm_loadu_pd(t + 2 * _mm_cvtsi128_si32(idx));
        const __m128d a1 = _mm_loadu_pd(t + 2 * _mm_cvtsi128_si32(_mm_shuffle_epi32(idx, 1)));
        c0 = V(_mm_unpacklo_pd(a0, a1));
        c1 = V(_mm_unpackhi_pd(a0, a1));
    }

    // SSE2 has no fused multiply-add: Dekker's split, as Ops<double> without.
    template <bool>
    static constexpr bool fused = false;
    template <bool>
    static V productError(V a, V b, V p)
    {
        const Pair<V> as = split26(a), bs = split26(b);
        return ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
    }
};
#endif
#endif

#if defined(__AVX2__) && defined(__FMA__)
// ---------------------------------------------------------------------------
// Four lanes, AVX2 and FMA. Masks as with two lanes; the integer lanes are an
// __m128i.
template <>
struct Ops<lanes::Four> {
    using V = lanes::Four;
    using Mask = V;
    using Int = __m128i;
    static constexpr int width = 4;

    static V less(V a, V b) { return V(_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ)); }
    static V equal(V a, V b) { return V(_mm256_cmp_pd(a.v, b.v, _CMP_EQ_OQ)); }
    static V ordered(V a) { return V(_mm256_cmp_pd(a.v, a.v, _CMP_ORD_Q)); }
    static V both(V a, V b) { return V(_mm256_and_pd(a.v, b.v)); }
    static V either(V a, V b) { return V(_mm256_or_pd(a.v, b.v)); }
    static V notMask(V m) { return V(_mm256_xor_pd(m.v, _mm256_castsi256_pd(_mm256_set1_epi32(-1)))); }
    static V select(V m, V a, V b) { return V(_mm256_blendv_pd(b.v, a.v, m.v)); }
    static std::uint64_t laneBits(V m) { return std::uint64_t(_mm256_movemask_pd(m.v)); }
    static V abs(V a) { return fabs(a); }
    static V flipWhere(V m, V a) { return V(_mm256_xor_pd(a.v, _mm256_and_pd(m.v, _mm256_set1_pd(-0.0)))); }
    static V flipBySign(V a, V s) { return V(_mm256_xor_pd(a.v, _mm256_and_pd(s.v, _mm256_set1_pd(-0.0)))); }

    static Int toInt32(V a) { return _mm256_cvtpd_epi32(a.v); }
    static V nearest(V a) { return V(_mm256_round_pd(a.v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC)); }
    static Int nearestInt32(V a) { return _mm256_cvtpd_epi32(a.v); }
    static Int addInt(Int x, int c) { return _mm_add_epi32(x, _mm_set1_epi32(c)); }
    static Int andInt(Int x, int c) { return _mm_and_si128(x, _mm_set1_epi32(c)); }
    static Int shiftRight8(Int x) { return _mm_srai_epi32(x, 8); }
    // The bit shifted into the sign: the one bit of a mask that selections,
    // sign flips and laneBits read (blendv, and with -0.0, movemask).
    static V bitOfWhole(V s, int bit)
    {
        return V(
            _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_castpd_si256(s.v), 63 - std::countr_zero(unsigned(bit)))));
    }
    static V fromExponentField(Int q)
    {
        return V(_mm256_castsi256_pd(_mm256_slli_epi64(_mm256_cvtepu32_epi64(q), 52)));
    }
    static V exponentField(V x)
    {
        const __m256i e = _mm256_srli_epi64(_mm256_castpd_si256(x.v), 52);
        return V(_mm256_or_pd(_mm256_castsi256_pd(e), _mm256_set1_pd(0x1p52))) - V(0x1p52);
    }
    static V significand(V x)
    {
        const __m256d field = _mm256_castsi256_pd(_mm256_set1_epi64x(0x000fffffffffffffll));
        return V(_mm256_or_pd(_mm256_and_pd(x.v, field), _mm256_set1_pd(1.0)));
    }

    static void rowsOfFour(const double* t, Int idx, V& c0, V& c1, V& c2, V& c3)
    {
        const __m256d r0 = _mm256_loadu_pd(t + 4 * _mm_extract_epi32(idx, 0));
        const __m256d r1 = _mm256_loadu_pd(t + 4 * _mm_extract_epi32(idx, 1));
        const __m256d r2 = _mm256_loadu_pd(t + 4 * _mm_extract_epi32(idx, 2));
        const __m256d r3 = _mm256_loadu_pd(t + 4 * _mm_extract_epi32(idx, 3));
        const __m256d t0 = _mm256_unpacklo_pd(r0, r1), t1 = _mm256_unpackhi_pd(r0, r1);
        const __m256d t2 = _mm256_unpacklo_pd(r2, r3), t3 = _mm256_unpackhi_pd(r2, r3);
        c0 = V(_mm256_permute2f128_pd(t0, t2, 0x20));
        c1 = V(_mm256_permute2f128_pd(t1, t3, 0x20));
        c2 = V(_mm256_permute2f128_pd(t0, t2, 0x31));
        c3 = V(_mm256_permute2f128_pd(t1, t3, 0x31));
    }
    // Rows of three are read with a masked load, which touches nothing beyond
    // the row's three doubles.
    static void rowsOfThree(const double* t, Int idx, V& c0, V& c1, V& c2)
    {
        const __m256i three = _mm256_setr_epi64x(-1, -1, -1, 0);
        const __m256d r0 = _mm256_maskload_pd(t + 3 * _mm_extract_epi32(idx, 0), three);
        const __m256d r1 = _mm256_maskload_pd(t + 3 * _mm_extract_epi32(idx, 1), three);
        const __m256d r2 = _mm256_maskload_pd(t + 3 * _mm_extract_epi32(idx, 2), three);
        const __m256d r3 = _mm256_maskload_pd(t + 3 * _mm_extract_epi32(idx, 3), three);
        const __m256d t0 = _mm256_unpacklo_pd(r0, r1), t1 = _mm256_unpackhi_pd(r0, r1);
        const __m256d t2 = _mm256_unpacklo_pd(r2, r3), t3 = _mm256_unpackhi_pd(r2, r3);
        c0 = V(_mm256_permute2f128_pd(t0, t2, 0x20));
        c1 = V(_mm256_permute2f128_pd(t1, t3, 0x20));
        c2 = V(_mm256_permute2f128_pd(t0, t2, 0x31));
    }
    static void rowsOfTwo(const double* t, Int idx, V& c0, V& c1)
    {
        const __m128d p0 = _mm_loadu_pd(t + 2 * _mm_extract_epi32(idx, 0));
        const __m128d p1 = _mm_loadu_pd(t + 2 * _mm_extract_epi32(idx, 1));
        const __m128d p2 = _mm_loadu_pd(t + 2 * _mm_extract_epi32(idx, 2));
        const __m128d p3 = _mm_loadu_pd(t + 2 * _mm_extract_epi32(idx, 3));
        const __m256d t0 = _mm256_insertf128_pd(_mm256_castpd128_pd256(p0), p2, 1);
        const __m256d t1 = _mm256_insertf128_pd(_mm256_castpd128_pd256(p1), p3, 1);
        c0 = V(_mm256_unpacklo_pd(t0, t1));
        c1 = V(_mm256_unpackhi_pd(t0, t1));
    }

    // The error term in one instruction.
    template <bool>
    static V productError(V a, V b, V p)
    {
        return V(_mm256_fmsub_pd(a.v, b.v, p.v));
    }
    template <bool>
    static constexpr bool fused = true;
    static V negMulAdd(V a, V b, V c) { return V(_mm256_fnmadd_pd(a.v, b.v, c.v)); }
    static V mulAdd(V a, V b, V c) { return V(_mm256_fmadd_pd(a.v, b.v, c.v)); }
};
#endif

#if defined(GLIMRA_LANES8_TYPES)
// ---------------------------------------------------------------------------
// Eight lanes, AVX-512 F, DQ and VL. Masks are the mask registers' bits; the
// integer lanes are an __m256i.
template <>
struct Ops<lanes::Eight> {
    using V = lanes::Eight;
    using Mask = __mmask8;
    using Int = __m256i;
    static constexpr int width = 8;
    // The masked forms with every lane set: this compiler's plain ones start
    // from an undefined register, which it warns of.
    static constexpr __mmask8 kAll = 0xff;

    static Mask less(V a, V b) { return _mm512_cmp_pd_mask(a.v, b.v, _CMP_LT_OQ); }
    static Mask equal(V a, V b) { return _mm512_cmp_pd_mask(a.v, b.v, _CMP_EQ_OQ); }
    static Mask ordered(V a) { return _mm512_cmp_pd_mask(a.v, a.v, _CMP_ORD_Q); }
    static Mask both(Mask a, Mask b) { return static_cast<Mask>(a & b); }
    static Mask either(Mask a, Mask b) { return static_cast<Mask>(a | b); }
    static Mask notMask(Mask m) { return static_cast<Mask>(~m); }
    static V select(Mask m, V a, V b) { return V(_mm512_mask_blend_pd(m, b.v, a.v)); }
    static std::uint64_t laneBits(Mask m) { return m; }
    static V abs(V a) { return fabs(a); }
    static V flipWhere(Mask m, V a) { return V(_mm512_mask_xor_pd(a.v, m, a.v, _mm512_set1_pd(-0.0))); }
    static V flipBySign(V a, V s) { return V(_mm512_xor_pd(a.v, _mm512_and_pd(s.v, _mm512_set1_pd(-0.0)))); }

    static Int toInt32(V a) { return _mm512_maskz_cvtpd_epi32(kAll, a.v); }
    static V nearest(V a)
    {
        return V(_mm512_maskz_roundscale_pd(kAll, a.v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC));
    }
    static Int nearestInt32(V a) { return _mm512_maskz_cvtpd_epi32(kAll, a.v); }
    static Int addInt(Int x, int c) { return _mm256_add_epi32(x, _mm256_set1_epi32(c)); }
    static Int andInt(Int x, int c) { return _mm256_and_si256(x, _mm256_set1_epi32(c)); }
    static Int shiftRight8(Int x) { return _mm256_srai_epi32(x, 8); }
    static Mask bitOfWhole(V s, int bit)
    {
        return _mm512_test_epi64_mask(_mm512_castpd_si512(s.v), _mm512_set1_epi64(bit));
    }
    static V fromExponentField(Int q)
    {
        return V(_mm512_castsi512_pd(_mm512_maskz_slli_epi64(kAll, _mm512_maskz_cvtepu32_epi64(kAll, q), 52)));
    }
    static V exponentField(V x)
    {
        const __m512i e = _mm512_maskz_srli_epi64(kAll, _mm512_castpd_si512(x.v), 52);
        return V(_mm512_or_pd(_mm512_castsi512_pd(e), _mm512_set1_pd(0x1p52))) - V(0x1p52);
    }
    static V significand(V x)
    {
        const __m512d field = _mm512_castsi512_pd(_mm512_set1_epi64(0x000fffffffffffffll));
        return V(_mm512_or_pd(_mm512_and_pd(x.v, field), _mm512_set1_pd(1.0)));
    }

    // Column c of rows idx of a table of n doubles per row.
    template <int n>
    static V gather(const double* t, Int idx, int c)
    {
        return V(_mm512_mask_i32gather_pd(_mm512_setzero_pd(), kAll, _mm256_mullo_epi32(idx, _mm256_set1_epi32(n)),
                                          t + c, 8));
    }
    // Rows of four and three: eight row loads (rows of three masked, which
    // touches nothing beyond the row) and a transposition, quicker than
    // gathers. Row r's element e is lane r of column e.
    template <int n>
    static void transposeRows(const double* t, Int idx, V& c0, V& c1, V& c2, V& c3)
    {
        alignas(32) int i[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(i), idx);
        const auto row = [&](int r) {
            if constexpr (n == 4)
                return _mm256_loadu_pd(t + 4 * i[r]);
            else
                return _mm256_maskz_loadu_pd(0x7, t + 3 * i[r]);
        };
        // a0 = rows 0 and 4, a1 = rows 1 and 5, ...: one per 256-bit half.
        const auto pairOf = [&](int r) {
            return _mm512_maskz_insertf64x4(kAll, _mm512_castpd256_pd512(row(r)), row(r + 4), 1);
        };
        const __m512d a0 = pairOf(0), a1 = pairOf(1), a2 = pairOf(2), a3 = pairOf(3);
        // Elements 0 and 2 (lo) or 1 and 3 (hi) of rows 0, 1 (or 2, 3) and
        // 4, 5 (or 6, 7).
        const __m512d l01 = _mm512_maskz_unpacklo_pd(kAll, a0, a1), h01 = _mm512_maskz_unpackhi_pd(kAll, a0, a1);
        const __m512d l23 = _mm512_maskz_unpacklo_pd(kAll, a2, a3), h23 = _mm512_maskz_unpackhi_pd(kAll, a2, a3);
        const __m512i even = _mm512_setr_epi64(0, 1, 8, 9, 4, 5, 12, 13);
        const __m512i odd = _mm512_setr_epi64(2, 3, 10, 11, 6, 7, 14, 15);
        c0 = V(_mm512_permutex2var_pd(l01, even, l23));
        c1 = V(_mm512_permutex2var_pd(h01, even, h23));
        c2 = V(_mm512_permutex2var_pd(l01, odd, l23));
        if constexpr (n == 4)
            c3 = V(_mm512_permutex2var_pd(h01, odd, h23));
    }
    static void rowsOfFour(const double* t, Int idx, V& c0, V& c1, V& c2, V& c3)
    {
        transposeRows<4>(t, idx, c0, c1, c2, c3);
    }
    static void rowsOfThree(const double* t, Int idx, V& c0, V& c1, V& c2)
    {
        V unused;
        transposeRows<3>(t, idx, c0, c1, c2, unused);
    }
    static void rowsOfTwo(const double* t, Int idx, V& c0, V& c1)
    {
        c0 = gather<2>(t, idx, 0);
        c1 = gather<2>(t, idx, 1);
    }

    template <bool>
    static V productError(V a, V b, V p)
    {
        return V(_mm512_fmsub_pd(a.v, b.v, p.v));
    }
    template <bool>
    static constexpr bool fused = true;
    static V negMulAdd(V a, V b, V c) { return V(_mm512_fnmadd_pd(a.v, b.v, c.v)); }
    static V mulAdd(V a, V b, V c) { return V(_mm512_fmadd_pd(a.v, b.v, c.v)); }
};
#endif

#if defined(GLIMRA_LANES2_TYPES)
// ---------------------------------------------------------------------------
// Two registers side by side: each operation on both halves. Masks and
// integer lanes are pairs of what one half has. (A vector type as a template
// argument loses only its may-alias attribute, which nothing here needs.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
template <class T>
struct Halves {
    T a, b;
};

template <class H>
struct Ops<lanes::Twice<H>> {
    using V = lanes::Twice<H>;
    using O = Ops<H>;
    using Mask = Halves<typename O::Mask>;
    using Int = Halves<typename O::Int>;
    static constexpr int width = 2 * O::width;

    static Mask less(V x, V y) { return {O::less(x.a, y.a), O::less(x.b, y.b)}; }
    static Mask equal(V x, V y) { return {O::equal(x.a, y.a), O::equal(x.b, y.b)}; }
    static Mask ordered(V x) { return {O::ordered(x.a), O::ordered(x.b)}; }
    static Mask both(Mask x, Mask y) { return {O::both(x.a, y.a), O::both(x.b, y.b)}; }
    static Mask either(Mask x, Mask y) { return {O::either(x.a, y.a), O::either(x.b, y.b)}; }
    static Mask notMask(Mask m) { return {O::notMask(m.a), O::notMask(m.b)}; }
    static V select(Mask m, V x, V y) { return {O::select(m.a, x.a, y.a), O::select(m.b, x.b, y.b)}; }
    static std::uint64_t laneBits(Mask m) { return O::laneBits(m.a) | O::laneBits(m.b) << O::width; }
    static V abs(V x) { return {O::abs(x.a), O::abs(x.b)}; }
    static V flipWhere(Mask m, V x) { return {O::flipWhere(m.a, x.a), O::flipWhere(m.b, x.b)}; }
    static V flipBySign(V x, V s) { return {O::flipBySign(x.a, s.a), O::flipBySign(x.b, s.b)}; }

    static Int toInt32(V x) { return {O::toInt32(x.a), O::toInt32(x.b)}; }
    static V nearest(V x) { return {O::nearest(x.a), O::nearest(x.b)}; }
    static Int nearestInt32(V x) { return {O::nearestInt32(x.a), O::nearestInt32(x.b)}; }
    static Int addInt(Int x, int c) { return {O::addInt(x.a, c), O::addInt(x.b, c)}; }
    static Int andInt(Int x, int c) { return {O::andInt(x.a, c), O::andInt(x.b, c)}; }
    static Int shiftRight8(Int x) { return {O::shiftRight8(x.a), O::shiftRight8(x.b)}; }
    static Mask bitOfWhole(V s, int bit) { return {O::bitOfWhole(s.a, bit), O::bitOfWhole(s.b, bit)}; }
    static V fromExponentField(Int q) { return {O::fromExponentField(q.a), O::fromExponentField(q.b)}; }
    static V exponentField(V x) { return {O::exponentField(x.a), O::exponentField(x.b)}; }
    static V significand(V x) { return {O::significand(x.a), O::significand(x.b)}; }

    static void rowsOfFour(const double* t, Int idx, V& c0, V& c1, V& c2, V& c3)
    {
        O::rowsOfFour(t, idx.a, c0.a, c1.a, c2.a, c3.a);
        O::rowsOfFour(t, idx.b, c0.b, c1.b, c2.b, c3.b);
    }
    static void rowsOfThree(const double* t, Int idx, V& c0, V& c1, V& c2)
    {
        O::rowsOfThree(t, idx.a, c0.a, c1.a, c2.a);
        O::rowsOfThree(t, idx.b, c0.b, c1.b, c2.b);
    }
    static void rowsOfTwo(const double* t, Int idx, V& c0, V& c1)
    {
        O::rowsOfTwo(t, idx.a, c0.a, c1.a);
        O::rowsOfTwo(t, idx.b, c0.b, c1.b);
    }

    template <bool kFma>
    static V productError(V x, V y, V p)
    {
        return {O::template productError<kFma>(x.a, y.a, p.a), O::template productError<kFma>(x.b, y.b, p.b)};
    }
    template <bool kFma>
    static constexpr bool fused = O::template fused<kFma>;
    static V negMulAdd(V x, V y, V z) { return {O::negMulAdd(x.a, y.a, z.a), O::negMulAdd(x.b, y.b, z.b)}; }
    static V mulAdd(V x, V y, V z) { return {O::mulAdd(x.a, y.a, z.a), O::mulAdd(x.b, y.b, z.b)}; }
};
#pragma GCC diagnostic pop

}  // namespace GLIMRA_ISA
}  // namespace glimra::math::detail

#endif
