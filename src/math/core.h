// The fast paths of sin, cos, tan and pow, written once for every width: each
// is a template on the value type V (a double for one lane, a vector type of
// lanes.h for several; dd.h says how they agree bit for bit), pure arithmetic
// and a few table reads. Each lane either gets the correctly rounded result
// or is marked as declined in the mask `ok`, and the caller then takes the
// exact (MPFR) path for it (the lanes' callers through the one-lane
// function: lanes_math.h). A fast path never raises
// overflow, divide-by-zero or invalid: every intermediate is finite and of
// moderate size, no division has a zero divisor, and no conversion to an
// integer sees a value out of range.
//
// Notation: u = 2^-53 is the unit roundoff; "RN" is rounding to nearest.
// Where a width has a fused multiply-add, a b + c below is one instruction
// (mulAdd, dd.h): the bounds count a rounding for the product and one for
// the sum, so they hold for both forms.
//
// The rounding test (roundedOrFail). The fast result is a sum h + l of two
// doubles with |l| <= 2^-18 |h| (pow's ends with fastTwoSum, |l| <= u |h|;
// sin's and cos's need not) and a proven bound |y - (h + l)| <= eps * |h| on
// its distance from the exact value y. The test computes
// up = RN(h + RN(l + e)) and down = RN(h + RN(l - e)) with e = RN(c * |h|),
// where c (1 - u)^2 >= eps + u |l| / |h| (2 eps is enough for pow; sin, cos
// and tan have c = 4 eps or more against u |l| / |h| <= 2^-71 <= eps / 2).
// Since RN(l + e) >= (l + e) - u |l + e|, h + RN(l + e)
// >= h + l + c|h|(1 - u)^2 - u|l| >= h + l + eps|h| >= y, and likewise on the
// other side.
// Rounding to nearest is monotonic, so down <= RN(y) <= up; when they are
// equal, that double is RN(y). When they differ the exact value may lie on
// either side of a rounding boundary (a midpoint between doubles) and the
// exact path decides. The share of such calls is about 2 eps / u.
#pragma once

#include "math/dd.h"
#include "math/tables.h"

#include <bit>
#include <cstdint>
#include <type_traits>

namespace glimra::math::detail {

constexpr double kTrigFastMax = 0x1p30;
constexpr double kTrigTiny = 0x1p-27;
constexpr double kSinCosErr = 0x1p-67;
constexpr double kTanErr = 0x1p-66;
constexpr double kPowFastYMax = 0x1p64;
constexpr double kPowFastEMin = -708.0, kPowFastEMax = 709.0;

inline namespace GLIMRA_ISA {

// The rounding test: RN(v) where `ok` stays set (see above; c >= 2 eps).
template <class V>
GLIMRA_STEP V roundedOrFail(Pair<V> v, V c, MaskOf<V>& ok)
{
    using O = Ops<V>;
    const V e = c * O::abs(v.hi);
    const V up = v.hi + (v.lo + e);
    const V down = v.hi + (v.lo - e);
    ok = O::both(ok, O::equal(up, down));
    return up;
}

// ---------------------------------------------------------------------------
// sin, cos and tan
//
// Fast path for |x| < 2^30 (below 2^-27 the results are x, 1 and x,
// decided directly; from 2^30 on, reduce_large.h reduces the argument with
// the bits of 2/pi and the same steps 2 and 3 follow, in trig.cpp).
//
// 1. Reduction, Cody-Waite with pi/2 = P1 + P2 + P3 + t (three doubles,
//    P1 = RN(pi/2), |t| < 2^-160): k = RN(RN(x * 2/pi)), |k| < 2^29.3, so
//    |x - k pi/2| <= pi/4 + 2^-21 (the product's relative error is below
//    2^-52). k * P2 = p2 + e2 exactly (twoProd), and with a fused
//    multiply-add x - k P1 is exact in one rounding: it is below
//    pi/4 + 2^-21 + 2^-23.7 < 1 in magnitude and a multiple of 2^-52 (for
//    |x| >= 1 both terms are; below 1, k = 0 or |k| = 1 and |x| > 1/2,
//    multiples of 2^-53 below 1).
//    The twoSum is exact, and so is the last fastTwoSum in every lane kept:
//    the low word it adds is below 2^-52 |s| + 2^-74.9, s the larger word.
//    The only roundings are the additions of the small terms (two) and
//    k * P3: with |p2| < 2^-22, |e2|, |k P3| < 2^-76 and the twoSum error
//    below u times its sum, the absolute error of r is at most
//    3u (2u |r| + 2^-74.3) + 2^-129.7 (k P3) + 2^-130.7 (k t)
//    < 2^-103.4 |r| + 2^-125.5. The fast path requires |r| >= 2^-40, so the
//    relative error of r is below 2^-85, and an error delta in r moves
//    sin(r), cos(r) (|r| <= 0.79) by at most delta relative. Below 2^-40 (one
//    argument in 2^39) the exact path takes over; for |x| < pi/4, k = 0 and
//    r = x exactly.
//    Without a fused multiply-add, pi/2 = Q1 + Q2 + Q3 + Q4 + t'
//    (kPio2Short: Q1 to Q3 of 23 bits, |Q2| < 2^-23.6, |Q3| < 2^-47.3,
//    |Q4| < 2^-71.3, |t'| < 2^-124), so k Q1, k Q2 and k Q3 are exact (30 and
//    23 bits). x - k Q1 is exact (Sterbenz for |k| >= 2, k Q1 being within
//    2^-23 relative of k pi/2; for |k| = 1 a multiple of 2^-53 below 1), and
//    so is t2 = x - k Q1 - k Q2: a multiple of 2^-52 (of 2^-53 for |x| < 1),
//    below pi/4 + 2^-21 + 2^29.4 |Q3 + Q4| < 1 in magnitude. The twoSum of t2
//    and -k Q3 is exact; low = s.lo - k Q4 rounds the product (2^-95, as
//    |k Q4| < 2^-42) and the difference (u (u + 2^-42) < 2^-95), and k t'
//    is below 2^-94.6: the absolute error of r is below 2^-93.2. So for
//    k != 0 the fast path requires |r| > 2^-20 (one argument in 2^20.6), and
//    the relative error of r is below 2^-73.2; for k = 0, r = x exactly. The
//    fastTwoSum is exact in those lanes (the low word is below 2^-41.9).
// 2. r = a + b with a = j/512, |b| <= 2^-10 (1 + 2^-40) (rh - a is zero or
//    a multiple of ulp(rh), at least twice |rl|: the sum with rl is exact in
//    fastTwoSum): sin(r) =
//    S + C b + (S cb + C sb), cos(r) = C - S b + (C cb - S sb), where S, C =
//    sin a, cos a come from a table as hi + lo (relative error < 2^-105),
//    cb = cos b - 1 and sb = sin b - b. In C b and S b the high word times
//    b.hi is exact: in twoProd, or without a fused multiply-add as
//    qh1 bh1 + qh1 bh2 + qh2 b.hi, where qh = qh1 + qh2 and b.hi = bh1 + bh2
//    are split into halves of 26 bits (split26, dd.h): the first product is
//    exact, the other two (each below 2^-25.9 |qh b.hi|) are rounded in
//    their sum, within 2^-77.4 |Q b|, and the sum is below 2^-24.9 |Q b|.
//    The low words' products join the low word. cb and sb are
//    Taylor polynomials evaluated in double:
//    cb = b^2(-1/2 + b^2(1/24 - b^2/720)) (remainder < b^8/8! < 2^-95),
//    sb = b b^2(-1/6 + b^2(1/120 - b^2/5040)) (remainder < |b|^9/9! <
//    2^-108). The series alternate with falling terms, so the remainder
//    bounds are the first omitted terms.
// 3. Error of sin(r). Counting one u per rounding: b^2 = RN(bh^2) is b^2
//    within 3u (bl < u bh); cb within 7u including the coefficients and
//    S_hi for S; |cb| <= 2^-21. For j >= 1, |S| <= 2 |sin r| and
//    |sin r| >= 2^-10 (worst at j = 1), so S cb contributes 7u * 2^-20 =
//    2^-70.2 relative; C sb (|sb| < 2^-31.6, 6u) at most 2^-72; the tail's
//    own sum and its addition to the low word (each at most u |tail|,
//    |tail| <= 2^-19.4 |sin r|) 2^-72.4 each; the table, C b and the
//    reduction below 2^-84.8 together: total < 2^-69.5. Without a fused
//    multiply-add, C b adds 2^-77.4 (|C b| <= |sin r|; so for j = 0, where
//    S = 0, C = 1 and sin r is b) and the reduction 2^-73.2: total < 2^-69.2.
//    For cos(r), |C| <= 1.001 |cos r| (r is within 2^-10 of a and tan a <= 1)
//    and |C cb| <= 2^-21 |C|: 7u * 2^-21 = 2^-71.2, the tail's additions
//    2^-74 each, the rest below 2^-80: total < 2^-70.8.
//    The result is left as the sum of two doubles, the high word h of the
//    first fastTwoSum and the low word l: |l| <= 2^-19 |h| (the tail is below
//    2^-19.5 |sin r|, the other terms near ulp(h)).
//    tan = sin/cos (or -cos/sin) in double-double division (error < 2^-100,
//    2^-76.4 without a fused multiply-add)
//    of the two results normalised by one more fastTwoSum each: the two
//    errors add, < 2^-68.7. The rounding test uses c = 2^-67 (sin, cos) and
//    2^-66 (tan), four times the bound or more (see roundedOrFail).
//
// The checker (glimra-mathcheck) compares the fast path with MPFR on many
// millions of arguments; the largest error it sees is reported there.
// ---------------------------------------------------------------------------

// sin x, cos x or tan x (kind 0, 1, 2) as a double-double before the
// rounding test, in one body (split into functions, the four-lane forms lost
// a fifth of their speed to the registers' allocation), and in `negate` the
// lanes whose result is the negative of that (the sign is applied to the
// rounded result: rounding to nearest is symmetric). With kReduced false,
// steps 1 to 3 for x = a, |x| < 2^30; with kReduced true, steps 2 and 3 for a
// reduced argument r = a + b with k mod 4 = q mod 4 (q a whole number below
// 2^30 in magnitude) from the huge range's reduction (reduce_large.h, at
// least as precise). Lanes outside the range and lanes with |r| <= 2^-40 are
// cleared in `ok` and computed on a harmless argument (nothing here raises a
// flag the result does not imply).
template <int kind, bool kFma, bool kReduced, class V>
GLIMRA_STEP Pair<V> trigDD(V a0, V b0, V q, MaskOf<V>& ok, MaskOf<V>& negate)
{
    using O = Ops<V>;
    // ks = 1.5 * 2^52 + k: k rounded, and its bits for the quadrant.
    const V shifter(0x1.8p52);
    V rh0, rl0, ks;
    if constexpr (kReduced) {
        rh0 = a0;
        rl0 = b0;
        ks = q + shifter;
    } else {
        // Step 1, the reduction (NaNs tested quietly).
        const V ax = O::abs(O::select(O::ordered(a0), a0, V(0.0)));
        ok = O::both(O::less(V(kTrigTiny), ax), O::less(ax, V(kTrigFastMax)));
        const V x = O::select(ok, a0, V(1.0));
        ks = x * V(kTwoOverPi) + shifter;
        const V kd = ks - shifter;
        Pair<V> s;
        V low;
        if constexpr (O::template fused<kFma>) {
            const Pair<V> p2 = twoProd<kFma>(kd, V(kPio2[1]));
            s = twoSum(O::negMulAdd(kd, V(kPio2[0]), x), -p2.hi);
            low = negMulAdd<kFma>(kd, V(kPio2[2]), s.lo - p2.lo);
        } else {
            const V t2 = (x - kd * V(kPio2Short[0])) - kd * V(kPio2Short[1]);
            s = twoSum(t2, -(kd * V(kPio2Short[2])));
            low = s.lo - kd * V(kPio2Short[3]);
        }
        const Pair<V> r = fastTwoSum(s.hi, low);
        rh0 = r.hi;
        rl0 = r.lo;
        if constexpr (!O::template fused<kFma>)
            ok = O::both(ok, O::either(O::less(V(0x1p-20), O::abs(rh0)), O::equal(kd, V(0.0))));
    }
    if constexpr (kReduced || O::template fused<kFma>)
        ok = O::both(ok, O::less(V(0x1p-40), O::abs(rh0)));
    const V rh = O::select(ok, rh0, V(0.5)), rl = O::select(ok, rl0, V(0.0));
    // Step 2: a = j/512, b = r - a (rh - a is exact: a multiple of ulp(rh),
    // below |rh|), and table row |j| with the sign of j.
    const V jd = O::nearest(rh * V(512.0));
    const V a = jd * V(0x1p-9);
    const Pair<V> b = fastTwoSum(rh - a, rl);
    V sh, sl, ch, cl;
    O::rowsOfFour(&kSinCos[0][0], O::toInt32(O::abs(jd)), sh, sl, ch, cl);
    sh = O::flipBySign(sh, jd);
    sl = O::flipBySign(sl, jd);
    // Selections rather than branches: the quadrant is as good as random.
    const V kq = kind == 1 ? ks + V(1.0) : ks;
    const MaskOf<V> odd = O::bitOfWhole(kq, 1);
    const V b2 = b.hi * b.hi;
    const V cb = b2 * mulAdd<kFma>(b2, negMulAdd<kFma>(b2, V(1.0 / 720), V(1.0 / 24)), V(-0.5));
    const V sb = b.hi * b2 * mulAdd<kFma>(b2, negMulAdd<kFma>(b2, V(1.0 / 5040), V(1.0 / 120)), V(-1.0 / 6));
    // P + Q b + (P cb + Q sb): sin r for (P, Q) = (S, C), cos r for (C, -S).
    // |P| >= 2^-9 > |Q b| or P = 0 (sin), |P| >= 0.7 (cos).
    // Q b: qh b.hi in twoProd, or without a fused multiply-add from the
    // halves of qh and b.hi (split26) as qh1 bh1 (exact) + qh1 bh2 + qh2 b.hi
    // (rounded); then the low parts of Q and b.
    Pair<V> bs{b.hi, V(0.0)};
    if constexpr (!O::template fused<kFma>)
        bs = split26(b.hi);
    const auto ofParts = [&](V ph, V pl, V qh, V ql) {
        Pair<V> qb;
        if constexpr (O::template fused<kFma>) {
            qb = twoProd<kFma>(qh, b.hi);
        } else {
            const Pair<V> qs = split26(qh);
            qb = {qs.hi * bs.hi, mulAdd<kFma>(qs.hi, bs.lo, qs.lo * b.hi)};
        }
        qb.lo = qb.lo + mulAdd<kFma>(qh, b.lo, ql * b.hi);
        const Pair<V> h = fastTwoSum(ph, qb.hi);
        const V tail = mulAdd<kFma>(ph, cb, qh * sb);
        return Pair<V>{h.hi, tail + ((h.lo + pl) + qb.lo)};
    };
    if constexpr (kind == 2) {
        const Pair<V> s0 = ofParts(sh, sl, ch, cl), c0 = ofParts(ch, cl, -sh, -sl);
        const Pair<V> s = fastTwoSum(s0.hi, s0.lo), c = fastTwoSum(c0.hi, c0.lo);
        const Pair<V> n{O::select(odd, c.hi, s.hi), O::select(odd, c.lo, s.lo)};
        const Pair<V> d{O::select(odd, s.hi, c.hi), O::select(odd, s.lo, c.lo)};
        negate = odd;
        return divDD<kFma>(n, d);
    } else {
        // sin x = sin r, cos r, -sin r, -cos r for k = 0..3; cos x is one
        // quadrant further on.
        negate = O::bitOfWhole(kq, 2);
        return ofParts(O::select(odd, ch, sh), O::select(odd, cl, sl), O::select(odd, -sh, ch),
                       O::select(odd, -sl, cl));
    }
}

// sin, cos or tan (kind 0, 1, 2) of x: the result where `ok` is set. NaNs,
// infinities, |x| >= 2^30 and |x| <= 2^-27 are declined. Below 2^-27,
// |x|^3/6 and |x|^3/3 are below half an ulp of x, x^2/2 below half the gap
// under 1: the one-lane function gives x, 1 and x without arithmetic (lanes
// send them there too: they are rare in a picture).
template <int kind, bool kFma, class V>
GLIMRA_STEP V trigFast(V x, MaskOf<V>& ok)
{
    MaskOf<V> negate;
    const Pair<V> v = trigDD<kind, kFma, false>(x, V(0.0), V(0.0), ok, negate);
    return Ops<V>::flipWhere(negate, roundedOrFail(v, V(kind == 2 ? kTanErr : kSinCosErr), ok));
}

// The same after the huge range's reduction r = rh + rl, k mod 4 = q mod 4.
template <int kind, bool kFma, class V>
GLIMRA_STEP V trigOfReduced(V rh, V rl, V q, MaskOf<V>& ok)
{
    MaskOf<V> negate;
    const Pair<V> v = trigDD<kind, kFma, true>(rh, rl, q, ok, negate);
    return Ops<V>::flipWhere(negate, roundedOrFail(v, V(kind == 2 ? kTanErr : kSinCosErr), ok));
}

// ---------------------------------------------------------------------------
// pow(x, y) = exp(y log x) for finite x > 0, x != 1, finite y != 0,
// |y| < 2^64 (so |y log x| < 2^74: nothing overflows) and results in the
// normal range: |E| = |y log x| within [-708, 709], else the caller decides.
//
// log x = e ln2 - log r1 - log r2 + log1p(z): x = 2^e m, m in [sqrt(1/2),
// sqrt(2)); r1 = RN(1/(1 + i1/128)) for the nearest i1, m1 = m r1 exactly as
// hi + lo (twoProd), |m1 - 1| < 2^-7.5; r2 = RN(1/(1 + i2/8192)) for the
// nearest i2, z = m1 r2 - 1 as hi + lo (twoProd; m1.lo * r2 rounds at 2^-105
// absolute, zero when i1 = 0), |z| < 2^-13.99. Tables give -log r as hi + lo
// (2^-106 relative). log1p(z) = z - z^2/2 + z^3 (1/3 - z/4 + z^2/5 - z^3/6):
// Taylor remainder < |z|^7 / 7 / (1 - |z|), relative to z < 2^-86.7; z^2 is a
// double-double (twoProd), the z^3 term is evaluated in double (6u relative,
// |z^3/3| < 2^-29.5 |z|): 2^-80; the low word's three additions 2^-81; so
// log1p within 2^-79.4 relative. |log1p(z)| <= 1.1 |log x| in every case (when
// e, i1, i2 are all 0 they are equal; when only i2 != 0, |m - 1| >= 2^-14
// (1 - 2^-13); otherwise |log x| >= 2^-8.1 against |z| < 2^-13.9), and the
// remaining terms add exactly (twoSum) or at 2^-100: log x within 2^-79
// relative. E = y log x as hi + lo adds 2^-104: |E - y log x| <= |E| 2^-78.9.
//
// exp(E) = 2^(k/256) exp(r), k = RN(E 256 / ln2), r = E - k ln2/256 with
// ln2/256 in three parts (the first of 34 bits: k * L1 exact for |k| < 2^19),
// the same exact steps as the trigonometric reduction: r within 2^-94
// absolute, |r| < 2^-9.52. Without a fused multiply-add the second part is
// of 35 bits too (kLn2By256Short), so k times it is exact where twoProd
// was, and the third, below 2^-78, is rounded once in k times it (2^-114).
// 2^(j/256) (j = k mod 256) from a table as hi + lo (2^-105);
// exp(r) = 1 + r + r^2/2 + r^3 (1/6 + r/24 + r^2/120 + r^3/720 + r^4/5040):
// remainder < |r|^8 / 8! * 1.002 < 2^-91; r^2 in
// double-double, the r^3 term in double (6u of 2^-31.2: 2^-81.6), the low
// word's additions 2^-82.1: exp(r) - 1 within 2^-80.8 absolute, the product
// with the table entry and the final sums within 2^-100. An error d in E
// changes the result by d relative (to first order; d < 2^-60).
// Altogether |pow - result| <= (2^-80.6 + |E| 2^-78.8) |result|; the test
// uses c = 2^-78 + |E| 2^-77, more than twice that.
// ---------------------------------------------------------------------------

// log x as hi + lo for finite x > 0 (subnormals too).
template <bool kFma, class V>
GLIMRA_STEP Pair<V> logDD(V x)
{
    using O = Ops<V>;
    // x = 2^e m: m in [1, 2), and beyond sqrt(2) halved (exact) with e + 1.
    V m, ed;
    if constexpr (std::is_same_v<V, double>) {
        // One lane on the bits: cheaper than the lanes' selections.
        std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
        int e = static_cast<int>(bits >> 52) - 1023;
        if (e == -1023) {  // subnormal: scaled into the normal range first
            bits = std::bit_cast<std::uint64_t>(x * 0x1p54);
            e = static_cast<int>(bits >> 52) - 1023 - 54;
        }
        const std::uint64_t mbits = (bits & 0x000fffffffffffffull) | 0x3ff0000000000000ull;
        const std::uint64_t over = mbits > std::bit_cast<std::uint64_t>(0x1.6a09e667f3bcdp+0) ? 1u : 0u;
        m = std::bit_cast<double>(mbits - (over << 52));
        ed = static_cast<double>(e + static_cast<int>(over));
    } else {
        // A subnormal x is scaled into the normal range first (exactly; a
        // product by 1 for the others, which must not overflow).
        const MaskOf<V> sub = O::less(x, V(0x1p-1022));
        const V xn = x * O::select(sub, V(0x1p54), V(1.0));
        const V m0 = O::significand(xn);
        const MaskOf<V> over = O::less(V(0x1.6a09e667f3bcdp+0), m0);
        m = O::select(over, m0 * V(0.5), m0);
        ed = ((O::exponentField(xn) - V(1023.0)) - O::select(sub, V(54.0), V(0.0))) + O::select(over, V(1.0), V(0.0));
    }

    V t10, t11, t12;
    O::rowsOfThree(&kLog1[0][0], O::addInt(O::nearestInt32((m - V(1.0)) * V(128.0)), -kLog1First), t10, t11, t12);
    const Pair<V> m1 = twoProd<kFma>(m, t10);
    V t20, t21, t22;
    O::rowsOfThree(&kLog2[0][0], O::addInt(O::nearestInt32((m1.hi - V(1.0)) * V(8192.0)), -kLog2First), t20, t21, t22);
    const Pair<V> p = twoProd<kFma>(m1.hi, t20);
    const Pair<V> z = twoSum(p.hi - V(1.0), mulAdd<kFma>(m1.lo, t20, p.lo));  // p.hi - 1 is exact (Sterbenz)

    Pair<V> z2 = twoProd<kFma>(z.hi, z.hi);
    z2.lo = mulAdd<kFma>(V(2.0) * z.hi, z.lo, z2.lo);
    const V w = mulAdd<kFma>(z.hi, mulAdd<kFma>(z.hi, negMulAdd<kFma>(z.hi, V(1.0 / 6), V(0.2)), V(-0.25)), V(1.0 / 3));
    const V t3 = z2.hi * z.hi * w;
    const Pair<V> s = fastTwoSum(z.hi, V(-0.5) * z2.hi);  // |z| >= z^2/2
    const V l1lo = s.lo + (z.lo + negMulAdd<kFma>(V(0.5), z2.lo, t3));

    const Pair<V> a = twoSum(ed * V(kLn2[0]), t11);  // e * kLn2[0] exact: 42 bits times 11
    const Pair<V> b = twoSum(a.hi, t21);
    const Pair<V> c = twoSum(b.hi, s.hi);
    const V low = ((a.lo + b.lo) + c.lo) + ((mulAdd<kFma>(ed, V(kLn2[1]), t12) + t22) + l1lo);
    return fastTwoSum(c.hi, low);
}

// x^y where `ok` is set. The fast path's domain: x > 0 finite, x != 1, y
// finite, 0 < |y| < kPowFastYMax; other lanes are declined and computed on
// harmless arguments (kInDomain: the caller has made sure every lane is in
// it, as the one-lane function does). Sets ehi = the high word of y log x for
// every lane in the domain, so that a caller can tell overflow and underflow
// apart when the fast path declines.
template <bool kFma, bool kInDomain, class V>
GLIMRA_STEP V powFast(V x, V y, MaskOf<V>& ok, V& ehi)
{
    using O = Ops<V>;
    V xs = x, ys = y;
    if constexpr (kInDomain) {
        ok = O::equal(x, x);
    } else {
        // Tested on NaN-free values (quiet comparisons only where NaNs may be).
        const MaskOf<V> num = O::both(O::ordered(x), O::ordered(y));
        const V xq = O::select(num, x, V(2.0)), ay = O::abs(O::select(num, y, V(0.5)));
        ok = O::both(
            O::both(num, O::both(O::less(V(0.0), xq), O::less(xq, V(HUGE_VAL)))),
            O::both(O::notMask(O::equal(xq, V(1.0))), O::both(O::less(V(0.0), ay), O::less(ay, V(kPowFastYMax)))));
        xs = O::select(ok, x, V(2.0));
        ys = O::select(ok, y, V(0.5));
    }

    const Pair<V> l = logDD<kFma>(xs);
    Pair<V> e = twoProd<kFma>(ys, l.hi);
    e = fastTwoSum(e.hi, mulAdd<kFma>(ys, l.lo, e.lo));
    ehi = e.hi;
    ok = O::both(ok, O::both(O::less(V(kPowFastEMin), e.hi), O::less(e.hi, V(kPowFastEMax))));
    const V eh = O::select(ok, e.hi, V(0.5)), el = O::select(ok, e.lo, V(0.0));

    const V kd = O::nearest(eh * V(k256OverLn2));
    const V t = negMulAdd<kFma>(kd, V(kLn2By256[0]), eh);  // exact, as in the trigonometric reduction
    Pair<V> s1;
    V low;
    if constexpr (O::template fused<kFma>) {
        const Pair<V> p2 = twoProd<kFma>(kd, V(kLn2By256[1]));
        s1 = twoSum(t, -p2.hi);
        low = negMulAdd<kFma>(kd, V(kLn2By256[2]), (s1.lo - p2.lo) + el);
    } else {
        s1 = twoSum(t, -(kd * V(kLn2By256Short[0])));
        low = (s1.lo + el) - kd * V(kLn2By256Short[1]);
    }
    const Pair<V> r = twoSum(s1.hi, low);

    // j = k mod 256 and q = floor(k / 256).
    const IntOf<V> k = O::toInt32(kd);
    V tj0, tj1;
    O::rowsOfTwo(&kExp2[0][0], O::andInt(k, 255), tj0, tj1);
    const V scale = O::fromExponentField(O::addInt(O::shiftRight8(k), 1023));

    const Pair<V> r2 = twoProd<kFma>(r.hi, r.hi);
    const V w = mulAdd<kFma>(
        r.hi,
        mulAdd<kFma>(r.hi, mulAdd<kFma>(r.hi, mulAdd<kFma>(r.hi, V(1.0 / 5040), V(1.0 / 720)), V(1.0 / 120)),
                     V(1.0 / 24)),
        V(1.0 / 6));
    const V t3 = r2.hi * r.hi * w;
    const Pair<V> s = fastTwoSum(r.hi, V(0.5) * r2.hi);
    const Pair<V> pm =
        fastTwoSum(s.hi, s.lo + (r.lo + mulAdd<kFma>(r.hi, r.lo, mulAdd<kFma>(V(0.5), r2.lo, t3))));  // exp(r) - 1

    Pair<V> tp = twoProd<kFma>(tj0, pm.hi);
    tp.lo = tp.lo + mulAdd<kFma>(tj0, pm.lo, tj1 * pm.hi);
    const Pair<V> h = fastTwoSum(tj0, tp.hi);  // 2^(j/256) >= 1 > |tp|
    const Pair<V> v = fastTwoSum(h.hi, h.lo + (tj1 + tp.lo));

    const V rounded = roundedOrFail(v, V(0x1p-78) + O::abs(eh) * V(0x1p-77), ok);
    // The result is normal (|E| bounds above), so scaling by 2^q is exact and
    // commutes with the rounding.
    return O::select(ok, rounded, V(1.0)) * scale;
}

// One lane, as the public functions call it: true when out is the result.
template <int kind, bool kFma>
GLIMRA_STEP bool trigFastOne(double x, double& out)
{
    // The tiny arguments decided here; beyond the fast range straight back
    // (quiet comparisons: an ordered < on a NaN would raise invalid).
    const double ax = std::fabs(x);
    if (std::isless(ax, kTrigTiny)) {
        out = kind == 1 ? 1.0 : x;
        return true;
    }
    if (!std::isless(ax, kTrigFastMax))
        return false;
    bool ok;
    out = trigFast<kind, kFma>(x, ok);
    return ok;
}

template <bool kFma>
GLIMRA_STEP bool powFastOne(double x, double y, double& out, double& ehi)
{
    bool ok;
    out = powFast<kFma, true>(x, y, ok, ehi);
    return ok;
}

}  // namespace GLIMRA_ISA

// ---------------------------------------------------------------------------
// The fast paths as the public functions call them: compiled twice on x86-64,
// with and without fused multiply-add, the one chosen at run time (twoProd is
// exact either way, so the results are the same bits).
bool fastSin(double x, double& out);
bool fastCos(double x, double& out);
bool fastTan(double x, double& out);
// x > 0 finite, x != 1, y finite, y != 0, |y| < kPowFastYMax.
bool fastPow(double x, double y, double& out, double& ehi);

// The exact paths (MPFR), for finite arguments the fast paths decline. They
// leave the floating-point environment as they found it.
double sinExact(double x);
double cosExact(double x);
double tanExact(double x);
// x > 0 finite, y finite: the correctly rounded x^y, subnormal and zero
// results included; an overflowing result is returned as +inf without flags.
double powExact(double x, double y);

}  // namespace glimra::math::detail
