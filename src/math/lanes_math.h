// The lane types' sin, cos, tan and pow, written once for any width: the fast
// paths of core.h, step for step, on every lane at once. Each step is the
// same IEEE operation on the same operands as in core.h, so a lane's
// double-double result is the one-lane result and core.h's error analysis and
// rounding test hold for each lane unchanged. A lane whose fast path declines
// (an argument outside the fast range, a failed rounding test, a special
// value) is computed by the one-lane function, which gives the same correctly
// rounded result that any width would.
//
// Lanes outside the fast range are replaced by a harmless argument before any
// arithmetic, so that nothing here raises a flag a lane's own result does not
// imply; comparisons are made on values without NaNs, since SSE2's ordered
// comparisons signal on them.
#pragma once

#include "math/core.h"
#include "math/lanes.h"

#include <cstdint>

namespace glimra::lanes::detail {
inline namespace GLIMRA_ISA {

namespace md = math::detail;

// ---------------------------------------------------------------------------
// What each width provides beyond arithmetic: masks (all bits of a lane set
// or clear), selection, and the exact product.
#if defined(__x86_64__)
// 32-bit lane masks widened to a width's 64-bit lanes; non-negative 32-bit
// integers as its 64-bit integers; column `column` of rows idx of a table
// of `stride` doubles per row.
template <class V>
V laneMask(__m128i m);
template <class V>
auto widen(__m128i v);
template <class V>
V gather(const double* table, __m128i idx, int stride, int column);
// Rows idx of a table of four doubles per row, one vector per column: row
// loads and a transposition, quicker than four gathers.
template <class V>
void rowsOfFour(const double* table, __m128i idx, V& c0, V& c1, V& c2, V& c3);
// The same for three and two doubles per row.
template <class V>
void rowsOfThree(const double* table, __m128i idx, V& c0, V& c1, V& c2);
template <class V>
void rowsOfTwo(const double* table, __m128i idx, V& c0, V& c1);

// 32-bit integer lanes: sums, masks of bits, floor(x / 256).
inline __m128i addInt(__m128i x, int c) { return _mm_add_epi32(x, _mm_set1_epi32(c)); }
inline __m128i andInt(__m128i x, int c) { return _mm_and_si128(x, _mm_set1_epi32(c)); }
inline __m128i equalInt(__m128i x, int c) { return _mm_cmpeq_epi32(x, _mm_set1_epi32(c)); }
inline __m128i shiftRight8(__m128i x) { return _mm_srai_epi32(x, 8); }

inline Two less(Two a, Two b) { return Two(_mm_cmplt_pd(a.v, b.v)); }
inline Two equal(Two a, Two b) { return Two(_mm_cmpeq_pd(a.v, b.v)); }
inline Two ordered(Two a) { return Two(_mm_cmpord_pd(a.v, a.v)); }
inline Two both(Two a, Two b) { return Two(_mm_and_pd(a.v, b.v)); }
inline Two select(Two m, Two a, Two b) { return Two(_mm_or_pd(_mm_and_pd(m.v, a.v), _mm_andnot_pd(m.v, b.v))); }
inline int laneBits(Two m) { return _mm_movemask_pd(m.v); }
inline Two notMask(Two m) { return Two(_mm_xor_pd(m.v, _mm_castsi128_pd(_mm_set1_epi32(-1)))); }
inline Two xorBits(Two a, Two b) { return Two(_mm_xor_pd(a.v, b.v)); }
inline Two asLanes(__m128i bits) { return Two(_mm_castsi128_pd(bits)); }
inline __m128i bitsOf(Two a) { return _mm_castpd_si128(a.v); }
// Whole-numbered lanes below 2^31 as 32-bit integers (exact: no rounding).
inline __m128i toInt32(Two a) { return _mm_cvtpd_epi32(a.v); }
template <>
inline Two laneMask<Two>(__m128i m)
{
    return Two(_mm_castsi128_pd(_mm_unpacklo_epi32(m, m)));
}
template <>
inline auto widen<Two>(__m128i v)
{
    return _mm_unpacklo_epi32(v, _mm_setzero_si128());
}
inline __m128i orBits(__m128i a, __m128i b) { return _mm_or_si128(a, b); }
inline __m128i andBits(__m128i a, __m128i b) { return _mm_and_si128(a, b); }
inline __m128i shiftRight52(__m128i a) { return _mm_srli_epi64(a, 52); }
inline __m128i shiftLeft52(__m128i a) { return _mm_slli_epi64(a, 52); }
template <>
inline void rowsOfFour<Two>(const double* table, __m128i idx, Two& c0, Two& c1, Two& c2, Two& c3)
{
    const double* r0 = table + 4 * _mm_cvtsi128_si32(idx);
    const double* r1 = table + 4 * _mm_cvtsi128_si32(_mm_shuffle_epi32(idx, 1));
    const __m128d a0 = _mm_loadu_pd(r0), a1 = _mm_loadu_pd(r1), b0 = _mm_loadu_pd(r0 + 2), b1 = _mm_loadu_pd(r1 + 2);
    c0 = Two(_mm_unpacklo_pd(a0, a1));
    c1 = Two(_mm_unpackhi_pd(a0, a1));
    c2 = Two(_mm_unpacklo_pd(b0, b1));
    c3 = Two(_mm_unpackhi_pd(b0, b1));
}

template <>
inline Two gather<Two>(const double* table, __m128i idx, int stride, int column)
{
    const int i0 = _mm_cvtsi128_si32(idx), i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(idx, 1));
    return Two(_mm_set_pd(table[i1 * stride + column], table[i0 * stride + column]));
}

template <>
inline void rowsOfThree<Two>(const double* table, __m128i idx, Two& c0, Two& c1, Two& c2)
{
    c0 = gather<Two>(table, idx, 3, 0);
    c1 = gather<Two>(table, idx, 3, 1);
    c2 = gather<Two>(table, idx, 3, 2);
}

template <>
inline void rowsOfTwo<Two>(const double* table, __m128i idx, Two& c0, Two& c1)
{
    const __m128d a0 = _mm_loadu_pd(table + 2 * _mm_cvtsi128_si32(idx));
    const __m128d a1 = _mm_loadu_pd(table + 2 * _mm_cvtsi128_si32(_mm_shuffle_epi32(idx, 1)));
    c0 = Two(_mm_unpacklo_pd(a0, a1));
    c1 = Two(_mm_unpackhi_pd(a0, a1));
}

// Dekker's split, exactly as md::twoProd<false>: SSE2 has no fused
// multiply-add.
inline void twoProd(Two a, Two b, Two& p, Two& e)
{
    p = a * b;
    const Two kSplit(134217729.0);
    const Two ca = kSplit * a, cb = kSplit * b;
    const Two ah = ca - (ca - a), al = a - ah;
    const Two bh = cb - (cb - b), bl = b - bh;
    e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}
#endif

#if defined(__AVX2__) && defined(__FMA__)
inline Four less(Four a, Four b) { return Four(_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ)); }
inline Four equal(Four a, Four b) { return Four(_mm256_cmp_pd(a.v, b.v, _CMP_EQ_OQ)); }
inline Four ordered(Four a) { return Four(_mm256_cmp_pd(a.v, a.v, _CMP_ORD_Q)); }
inline Four both(Four a, Four b) { return Four(_mm256_and_pd(a.v, b.v)); }
inline Four select(Four m, Four a, Four b) { return Four(_mm256_blendv_pd(b.v, a.v, m.v)); }
inline int laneBits(Four m) { return _mm256_movemask_pd(m.v); }
inline Four notMask(Four m) { return Four(_mm256_xor_pd(m.v, _mm256_castsi256_pd(_mm256_set1_epi32(-1)))); }
inline Four xorBits(Four a, Four b) { return Four(_mm256_xor_pd(a.v, b.v)); }
inline Four asLanes(__m256i bits) { return Four(_mm256_castsi256_pd(bits)); }
inline __m256i bitsOf(Four a) { return _mm256_castpd_si256(a.v); }
inline __m128i toInt32(Four a) { return _mm256_cvtpd_epi32(a.v); }
template <>
inline Four laneMask<Four>(__m128i m)
{
    return Four(_mm256_castsi256_pd(_mm256_cvtepi32_epi64(m)));
}
template <>
inline auto widen<Four>(__m128i v)
{
    return _mm256_cvtepu32_epi64(v);
}
inline __m256i orBits(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }
inline __m256i andBits(__m256i a, __m256i b) { return _mm256_and_si256(a, b); }
inline __m256i shiftRight52(__m256i a) { return _mm256_srli_epi64(a, 52); }
inline __m256i shiftLeft52(__m256i a) { return _mm256_slli_epi64(a, 52); }
template <>
inline void rowsOfFour<Four>(const double* table, __m128i idx, Four& c0, Four& c1, Four& c2, Four& c3)
{
    const __m256d r0 = _mm256_loadu_pd(table + 4 * _mm_extract_epi32(idx, 0));
    const __m256d r1 = _mm256_loadu_pd(table + 4 * _mm_extract_epi32(idx, 1));
    const __m256d r2 = _mm256_loadu_pd(table + 4 * _mm_extract_epi32(idx, 2));
    const __m256d r3 = _mm256_loadu_pd(table + 4 * _mm_extract_epi32(idx, 3));
    const __m256d t0 = _mm256_unpacklo_pd(r0, r1), t1 = _mm256_unpackhi_pd(r0, r1);
    const __m256d t2 = _mm256_unpacklo_pd(r2, r3), t3 = _mm256_unpackhi_pd(r2, r3);
    c0 = Four(_mm256_permute2f128_pd(t0, t2, 0x20));
    c1 = Four(_mm256_permute2f128_pd(t1, t3, 0x20));
    c2 = Four(_mm256_permute2f128_pd(t0, t2, 0x31));
    c3 = Four(_mm256_permute2f128_pd(t1, t3, 0x31));
}

// Rows of three are read with a masked load, which touches nothing beyond
// the row's three doubles.
template <>
inline void rowsOfThree<Four>(const double* table, __m128i idx, Four& c0, Four& c1, Four& c2)
{
    const __m256i three = _mm256_setr_epi64x(-1, -1, -1, 0);
    const __m256d r0 = _mm256_maskload_pd(table + 3 * _mm_extract_epi32(idx, 0), three);
    const __m256d r1 = _mm256_maskload_pd(table + 3 * _mm_extract_epi32(idx, 1), three);
    const __m256d r2 = _mm256_maskload_pd(table + 3 * _mm_extract_epi32(idx, 2), three);
    const __m256d r3 = _mm256_maskload_pd(table + 3 * _mm_extract_epi32(idx, 3), three);
    const __m256d t0 = _mm256_unpacklo_pd(r0, r1), t1 = _mm256_unpackhi_pd(r0, r1);
    const __m256d t2 = _mm256_unpacklo_pd(r2, r3), t3 = _mm256_unpackhi_pd(r2, r3);
    c0 = Four(_mm256_permute2f128_pd(t0, t2, 0x20));
    c1 = Four(_mm256_permute2f128_pd(t1, t3, 0x20));
    c2 = Four(_mm256_permute2f128_pd(t0, t2, 0x31));
}

template <>
inline void rowsOfTwo<Four>(const double* table, __m128i idx, Four& c0, Four& c1)
{
    const __m128d p0 = _mm_loadu_pd(table + 2 * _mm_extract_epi32(idx, 0));
    const __m128d p1 = _mm_loadu_pd(table + 2 * _mm_extract_epi32(idx, 1));
    const __m128d p2 = _mm_loadu_pd(table + 2 * _mm_extract_epi32(idx, 2));
    const __m128d p3 = _mm_loadu_pd(table + 2 * _mm_extract_epi32(idx, 3));
    const __m256d t0 = _mm256_insertf128_pd(_mm256_castpd128_pd256(p0), p2, 1);
    const __m256d t1 = _mm256_insertf128_pd(_mm256_castpd128_pd256(p1), p3, 1);
    c0 = Four(_mm256_unpacklo_pd(t0, t1));
    c1 = Four(_mm256_unpackhi_pd(t0, t1));
}

template <>
inline Four gather<Four>(const double* table, __m128i idx, int stride, int column)
{
    // The masked form, with every lane set: the plain one leaves its unused
    // source undefined, which the compiler warns of.
    return Four(_mm256_mask_i32gather_pd(_mm256_setzero_pd(), table + column,
                                         _mm_mullo_epi32(idx, _mm_set1_epi32(stride)),
                                         _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8));
}
// The error term in one instruction, as md::twoProd<true>.
inline void twoProd(Four a, Four b, Four& p, Four& e)
{
    p = a * b;
    e = Four(_mm256_fmsub_pd(a.v, b.v, p.v));
}

#endif

// The rest needs SSE2 at least: lanes exist only on x86-64.
#if defined(__x86_64__)

// Twice: each operation on both halves.
template <class H>
Twice<H> less(Twice<H> x, Twice<H> y)
{
    return {less(x.a, y.a), less(x.b, y.b)};
}
template <class H>
Twice<H> equal(Twice<H> x, Twice<H> y)
{
    return {equal(x.a, y.a), equal(x.b, y.b)};
}
template <class H>
Twice<H> ordered(Twice<H> x)
{
    return {ordered(x.a), ordered(x.b)};
}
template <class H>
Twice<H> both(Twice<H> x, Twice<H> y)
{
    return {both(x.a, y.a), both(x.b, y.b)};
}
template <class H>
Twice<H> select(Twice<H> m, Twice<H> x, Twice<H> y)
{
    return {select(m.a, x.a, y.a), select(m.b, x.b, y.b)};
}
template <class H>
int laneBits(Twice<H> m)
{
    return laneBits(m.a) | laneBits(m.b) << H::width;
}
template <class H>
Twice<H> notMask(Twice<H> m)
{
    return {notMask(m.a), notMask(m.b)};
}
template <class H>
Twice<H> xorBits(Twice<H> x, Twice<H> y)
{
    return {xorBits(x.a, y.a), xorBits(x.b, y.b)};
}

// The halves' integers (32-bit indices, the 64-bit lanes' bits), as pairs
// of whatever one half gives, at any depth. (A vector type as a template
// argument loses only its may-alias attribute, which nothing here needs.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
template <class T>
struct Halves {
    T a, b;
};
template <class H>
void twoProd(Twice<H> x, Twice<H> y, Twice<H>& p, Twice<H>& e)
{
    twoProd(x.a, y.a, p.a, e.a);
    twoProd(x.b, y.b, p.b, e.b);
}
template <class H>
auto toInt32(Twice<H> x)
{
    return Halves<decltype(toInt32(x.a))>{toInt32(x.a), toInt32(x.b)};
}
template <class H>
auto bitsOf(Twice<H> x)
{
    return Halves<decltype(bitsOf(x.a))>{bitsOf(x.a), bitsOf(x.b)};
}
template <class T>
auto asLanes(Halves<T> x)
{
    return Twice<decltype(asLanes(x.a))>{asLanes(x.a), asLanes(x.b)};
}
template <class T>
Halves<T> addInt(Halves<T> x, int c)
{
    return {addInt(x.a, c), addInt(x.b, c)};
}
template <class T>
Halves<T> andInt(Halves<T> x, int c)
{
    return {andInt(x.a, c), andInt(x.b, c)};
}
template <class T>
Halves<T> equalInt(Halves<T> x, int c)
{
    return {equalInt(x.a, c), equalInt(x.b, c)};
}
template <class T>
Halves<T> shiftRight8(Halves<T> x)
{
    return {shiftRight8(x.a), shiftRight8(x.b)};
}
template <class T>
Halves<T> orBits(Halves<T> x, Halves<T> y)
{
    return {orBits(x.a, y.a), orBits(x.b, y.b)};
}
template <class T>
Halves<T> andBits(Halves<T> x, Halves<T> y)
{
    return {andBits(x.a, y.a), andBits(x.b, y.b)};
}
template <class T>
Halves<T> shiftRight52(Halves<T> x)
{
    return {shiftRight52(x.a), shiftRight52(x.b)};
}
template <class T>
Halves<T> shiftLeft52(Halves<T> x)
{
    return {shiftLeft52(x.a), shiftLeft52(x.b)};
}
template <class V, class T>
V laneMask(Halves<T> m)
{
    using H = decltype(V::a);
    return {laneMask<H>(m.a), laneMask<H>(m.b)};
}
template <class V, class T>
auto widen(Halves<T> v)
{
    using H = decltype(V::a);
    return Halves<decltype(widen<H>(v.a))>{widen<H>(v.a), widen<H>(v.b)};
}
template <class V, class T>
void rowsOfFour(const double* table, Halves<T> idx, V& c0, V& c1, V& c2, V& c3)
{
    using H = decltype(V::a);
    rowsOfFour<H>(table, idx.a, c0.a, c1.a, c2.a, c3.a);
    rowsOfFour<H>(table, idx.b, c0.b, c1.b, c2.b, c3.b);
}
template <class V, class T>
void rowsOfThree(const double* table, Halves<T> idx, V& c0, V& c1, V& c2)
{
    using H = decltype(V::a);
    rowsOfThree<H>(table, idx.a, c0.a, c1.a, c2.a);
    rowsOfThree<H>(table, idx.b, c0.b, c1.b, c2.b);
}
template <class V, class T>
void rowsOfTwo(const double* table, Halves<T> idx, V& c0, V& c1)
{
    using H = decltype(V::a);
    rowsOfTwo<H>(table, idx.a, c0.a, c1.a);
    rowsOfTwo<H>(table, idx.b, c0.b, c1.b);
}

// Sign flipped where m is set: the same bits as a product by -1.
template <class V>
V flipWhere(V m, V a)
{
    return xorBits(a, both(m, V(-0.0)));
}

template <class V>
struct Pair {
    V hi, lo;
};

template <class V>
Pair<V> twoSum(V a, V b)
{
    const V s = a + b;
    const V bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

template <class V>
Pair<V> fastTwoSum(V a, V b)
{
    const V s = a + b;
    return {s, b - (s - a)};
}

template <class V>
Pair<V> product(V a, V b)
{
    Pair<V> p;
    twoProd(a, b, p.hi, p.lo);
    return p;
}

template <class V>
V roundToInt(V t)
{
    const V shifter(0x1.8p52);
    return (t + shifter) - shifter;
}

template <class V>
Pair<V> divDD(Pair<V> n, Pair<V> d)
{
    const V q1 = n.hi / d.hi;
    const Pair<V> p = product(q1, d.hi);
    const V rem = (((n.hi - p.hi) - p.lo) + n.lo) - q1 * d.lo;
    return fastTwoSum(q1, rem / d.hi);
}

// core.h's rounding test on every lane: the rounded value where `ok` is
// left set.
template <class V>
V roundedOrFail(Pair<V> v, V c, V& ok)
{
    const V e = c * fabs(v.hi);
    const V up = v.hi + (v.lo + e);
    const V down = v.hi + (v.lo - e);
    ok = both(ok, equal(up, down));
    return up;
}

// The lanes not set in `ok` from the one-lane function.
template <class V, class F>
V mendDeclined(V result, V ok, V x, F one)
{
    const int done = laneBits(ok);
    if (done == (1 << V::width) - 1)
        return result;
    double r[V::width], a[V::width];
    result.store(r);
    x.store(a);
    for (int l = 0; l < V::width; ++l)
        if (!(done >> l & 1))
            r[l] = one(a[l]);
    return V::load(r);
}

// ---------------------------------------------------------------------------
// sin (kind 0), cos (1) and tan (2): core.h's trigFast.
template <int kind, class V, class F>
V trig(V x, F one)
{
    const V ax = fabs(select(ordered(x), x, V(0.0)));
    // The tiny arguments, which core.h decides without arithmetic, go to the
    // one-lane function too: they are rare in a picture.
    V ok = both(less(V(md::kTrigTiny), ax), less(ax, V(md::kTrigFastMax)));
    const V xs = select(ok, x, V(1.0));

    // Step 1, the reduction.
    const V kd = roundToInt(xs * V(md::kTwoOverPi));
    const Pair<V> p1 = product(kd, V(md::kPio2[0]));
    const V t = xs - p1.hi;
    const Pair<V> p2 = product(kd, V(md::kPio2[1]));
    const V p3 = kd * V(md::kPio2[2]);
    const Pair<V> s1 = twoSum(t, -p2.hi);
    const Pair<V> s2 = twoSum(s1.hi, -p1.lo);
    const V low = ((s1.lo + s2.lo) - p2.lo) - p3;
    const Pair<V> r = twoSum(s2.hi, low);
    // core.h declines |r| < 2^-40; declining 2^-40 itself as well only sends
    // that lane to the one-lane function. (Every test here may decline more
    // than core.h's, never less.)
    ok = both(ok, less(V(0x1p-40), fabs(r.hi)));
    // Step 2: a = j/512 and the table rows.
    const V rh = select(ok, r.hi, V(0.5)), rl = select(ok, r.lo, V(0.0));
    const V jd = roundToInt(rh * V(512.0));
    const V a = jd * V(0x1p-9);
    const Pair<V> b = twoSum(rh - a, rl);
    // The table row |j| and the sign of j, which core.h's products by -1
    // give; the quadrant's bits from k.
    const auto row = toInt32(fabs(jd));
    const V signJ = both(jd, V(-0.0));
    V sh, sl, ch, cl;
    rowsOfFour<V>(&md::kSinCos[0][0], row, sh, sl, ch, cl);
    sh = xorBits(sh, signJ);
    sl = xorBits(sl, signJ);
    const auto k = addInt(toInt32(kd), kind == 1 ? 1 : 0);
    const V odd = laneMask<V>(equalInt(andInt(k, 1), 1));
    const V neg = laneMask<V>(equalInt(andInt(k, 2), 2));
    const V b2 = b.hi * b.hi;
    const V cb = b2 * (V(-0.5) + b2 * (V(1.0 / 24) - b2 * V(1.0 / 720)));
    const V sb = b.hi * b2 * (V(-1.0 / 6) + b2 * (V(1.0 / 120) - b2 * V(1.0 / 5040)));
    // P + Q b + (P cb + Q sb), as core.h's trigOfParts.
    const auto ofParts = [&](V Ph, V Pl, V Qh, V Ql) {
        Pair<V> qb = product(Qh, b.hi);
        qb.lo = qb.lo + (Qh * b.lo + Ql * b.hi);
        const Pair<V> h = fastTwoSum(Ph, qb.hi);
        const V tail = Ph * cb + Qh * sb;
        const V lo = tail + ((h.lo + Pl) + qb.lo);
        return fastTwoSum(h.hi, lo);
    };
    V result;
    if constexpr (kind == 2) {
        const Pair<V> s = ofParts(sh, sl, ch, cl);
        const Pair<V> c = ofParts(ch, cl, -sh, -sl);
        const V isOdd = odd;
        const Pair<V> n{select(isOdd, c.hi, s.hi), select(isOdd, c.lo, s.lo)};
        const Pair<V> d{select(isOdd, s.hi, c.hi), select(isOdd, s.lo, c.lo)};
        Pair<V> q = divDD(n, d);
        q = {select(isOdd, -q.hi, q.hi), select(isOdd, -q.lo, q.lo)};
        result = roundedOrFail(q, V(md::kTanErr), ok);
    } else {
        // sin r, cos r, -sin r, -cos r by quadrant, as core.h selects them.
        const V Ph = flipWhere(neg, select(odd, ch, sh)), Pl = flipWhere(neg, select(odd, cl, sl));
        const V Qh = flipWhere(neg, select(odd, -sh, ch)), Ql = flipWhere(neg, select(odd, -sl, cl));
        result = roundedOrFail(ofParts(Ph, Pl, Qh, Ql), V(md::kSinCosErr), ok);
    }
    return mendDeclined(select(ok, result, V(0.0)), ok, x, one);
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

template <class V>
V lanesSin(V a)
{
    return trig<0>(a, [](double x) { return math::sin(x); });
}
template <class V>
V lanesCos(V a)
{
    return trig<1>(a, [](double x) { return math::cos(x); });
}
template <class V>
V lanesTan(V a)
{
    return trig<2>(a, [](double x) { return math::tan(x); });
}

// ---------------------------------------------------------------------------
// pow: core.h's logDD and powFast.
template <class V>
V lanesPow(V x, V y)
{
    // The fast path's domain (positive normal x other than 1, finite y with
    // 0 < |y| < 2^64), tested on NaN-free lanes; other lanes compute 2^0.5
    // and are mended.
    const V xq = select(ordered(x), x, V(2.0)), yq = select(ordered(y), y, V(0.5));
    const V ay = fabs(yq);
    V ok = both(both(ordered(x), ordered(y)), both(notMask(less(xq, V(0x1p-1022))), less(xq, V(HUGE_VAL))));
    ok = both(ok, both(notMask(equal(xq, V(1.0))), both(less(V(0.0), ay), less(ay, V(md::kPowFastYMax)))));
    const V xs = select(ok, xq, V(2.0)), ys = select(ok, yq, V(0.5));

    // log x, as logDD: the exponent field as a double (the integer below
    // 2^11 placed in the mantissa of 2^52, then 2^52 taken away) and m in
    // [1, 2), halved beyond sqrt(2) (exactly, as one off its exponent).
    const auto bits = bitsOf(xs);
    const V biased = asLanes(orBits(bitsOf(V(0x1p52)), shiftRight52(bits))) - V(0x1p52);
    const V m0 =
        asLanes(orBits(andBits(bits, bitsOf(V(std::bit_cast<double>(0x000fffffffffffffull)))), bitsOf(V(1.0))));
    const V over = less(V(0x1.6a09e667f3bcdp+0), m0);
    const V mv = select(over, m0 * V(0.5), m0);
    const V E = (biased - V(1023.0)) + select(over, V(1.0), V(0.0));

    const auto i1 = addInt(toInt32(roundToInt((mv - V(1.0)) * V(128.0))), -md::kLog1First);
    V T10, T11, T12;
    rowsOfThree<V>(&md::kLog1[0][0], i1, T10, T11, T12);
    const Pair<V> m1 = product(mv, T10);
    const auto i2 = addInt(toInt32(roundToInt((m1.hi - V(1.0)) * V(8192.0))), -md::kLog2First);
    V T20, T21, T22;
    rowsOfThree<V>(&md::kLog2[0][0], i2, T20, T21, T22);
    const Pair<V> p = product(m1.hi, T20);
    const Pair<V> z = twoSum(p.hi - V(1.0), p.lo + m1.lo * T20);

    Pair<V> z2 = product(z.hi, z.hi);
    z2.lo = z2.lo + V(2.0) * z.hi * z.lo;
    const V w = V(1.0 / 3) + z.hi * (V(-0.25) + z.hi * (V(0.2) - z.hi * V(1.0 / 6)));
    const V t3 = z2.hi * z.hi * w;
    const Pair<V> s = fastTwoSum(z.hi, V(-0.5) * z2.hi);
    const V l1lo = s.lo + (z.lo + (t3 - V(0.5) * z2.lo));

    const Pair<V> la = twoSum(E * V(md::kLn2[0]), T11);
    const Pair<V> lb = twoSum(la.hi, T21);
    const Pair<V> lc = twoSum(lb.hi, s.hi);
    const V lowLog = ((la.lo + lb.lo) + lc.lo) + (((E * V(md::kLn2[1]) + T12) + T22) + l1lo);
    const Pair<V> lg = fastTwoSum(lc.hi, lowLog);

    // y log x, then exp, as powFast.
    Pair<V> e = product(ys, lg.hi);
    e = fastTwoSum(e.hi, e.lo + ys * lg.lo);
    ok = both(ok, both(less(V(md::kPowFastEMin), e.hi), less(e.hi, V(md::kPowFastEMax))));
    const V eh = select(ok, e.hi, V(0.5)), el = select(ok, e.lo, V(0.0));

    const V kd = roundToInt(eh * V(md::k256OverLn2));
    const Pair<V> p2 = product(kd, V(md::kLn2By256[1]));
    const V t = eh - kd * V(md::kLn2By256[0]);
    const Pair<V> s1 = twoSum(t, -p2.hi);
    const V low = ((s1.lo - p2.lo) + el) - kd * V(md::kLn2By256[2]);
    const Pair<V> r = twoSum(s1.hi, low);

    // j = k mod 256 and q = floor(k / 256), as core.h's integer steps.
    const auto k = toInt32(kd);
    const auto j = andInt(k, 255);
    const auto q = addInt(shiftRight8(k), 1023);
    const V scale = asLanes(shiftLeft52(widen<V>(q)));
    V Tj0, Tj1;
    rowsOfTwo<V>(&md::kExp2[0][0], j, Tj0, Tj1);

    const Pair<V> r2 = product(r.hi, r.hi);
    const V w2 =
        V(1.0 / 6) + r.hi * (V(1.0 / 24) + r.hi * (V(1.0 / 120) + r.hi * (V(1.0 / 720) + r.hi * V(1.0 / 5040))));
    const V t3e = r2.hi * r.hi * w2;
    const Pair<V> se = fastTwoSum(r.hi, V(0.5) * r2.hi);
    const Pair<V> pm = fastTwoSum(se.hi, se.lo + (r.lo + (r.hi * r.lo + (V(0.5) * r2.lo + t3e))));

    Pair<V> tp = product(Tj0, pm.hi);
    tp.lo = tp.lo + (Tj0 * pm.lo + Tj1 * pm.hi);
    const Pair<V> h = fastTwoSum(Tj0, tp.hi);
    const Pair<V> v = fastTwoSum(h.hi, h.lo + (Tj1 + tp.lo));

    const V rounded = roundedOrFail(v, V(0x1p-78) + fabs(eh) * V(0x1p-77), ok);
    const V result = select(ok, rounded, V(1.0)) * scale;

    const int done = laneBits(ok);
    if (done == (1 << V::width) - 1)
        return result;
    double out[V::width], a[V::width], b[V::width];
    result.store(out);
    x.store(a);
    y.store(b);
    for (int l = 0; l < V::width; ++l)
        if (!(done >> l & 1))
            out[l] = math::pow(a[l], b[l]);
    return V::load(out);
}

#pragma GCC diagnostic pop
#endif

}  // namespace GLIMRA_ISA
}  // namespace glimra::lanes::detail
