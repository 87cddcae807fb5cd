// The fast paths of sin, cos, tan and pow. Each is pure arithmetic on doubles
// and a few table reads, so it can later run on several lanes at once; each
// either delivers the correctly rounded result or says that it cannot, and
// the caller then takes the exact (MPFR) path. A fast path never raises
// overflow, divide-by-zero or invalid: every intermediate is finite and of
// moderate size, no division has a zero divisor, and no conversion to an
// integer sees a value out of range.
//
// Notation: u = 2^-53 is the unit roundoff; "RN" is rounding to nearest.
//
// The rounding test (roundedOrFail). The fast result is a double-double
// h + l with |l| <= ulp(h) (each path ends with fastTwoSum) and a proven
// bound |y - (h + l)| <= eps * |h| on its distance from the exact value y.
// The test computes up = RN(h + RN(l + e)) and down = RN(h + RN(l - e)) with
// e = RN(c * |h|), c >= 2 * eps. Since RN(l + e) >= (l + e)(1 - u) and
// |l| <= 2^-52 |h|, h + RN(l + e) >= h + l + c|h|(1 - u)^2 - 2^-105 |h|
// >= h + l + eps|h| >= y (as eps >= 2^-100), and likewise on the other side.
// Rounding to nearest is monotonic, so down <= RN(y) <= up; when they are
// equal, that double is RN(y). When they differ the exact value may lie on
// either side of a rounding boundary (a midpoint between doubles) and the
// exact path decides. The share of such calls is about 2 eps / u.
#pragma once

#include "math/dd.h"
#include "math/tables.h"

#include <bit>
#include <cmath>
#include <cstdint>

namespace glimra::math::detail {

inline bool roundedOrFail(double h, double l, double c, double& out)
{
    const double e = c * std::fabs(h);
    const double up = h + (l + e);
    const double down = h + (l - e);
    out = up;
    return up == down;
}

// ---------------------------------------------------------------------------
// sin, cos and tan
//
// Fast path for 2^-27 <= |x| < 2^30 (below 2^-27 the results are x, 1 and x,
// decided directly; from 2^30 on, reduce_large.h reduces the argument with
// the bits of 2/pi and the same steps 2 and 3 follow, in trig.cpp).
//
// 1. Reduction, Cody-Waite with pi/2 = P1 + P2 + P3 + t (three doubles,
//    |t| < 2^-160): k = RN(RN(x * 2/pi)), |k| < 2^29.3, so
//    |x - k pi/2| <= pi/4 + 2^-21 (the product's relative error is below
//    2^-52). k * P1 = p1 + e1 and k * P2 = p2 + e2 exactly (twoProd);
//    x - p1 is exact (Sterbenz for |k| >= 2; for |k| = 1 the difference is a
//    multiple of ulp(x) of magnitude below |x|); both twoSums are exact. The
//    only roundings are the three additions of the small terms and k * P3:
//    with |e1|, |p2| < 2^-22, |e2|, |k P3| < 2^-76 and the twoSum errors below
//    u times their sums, the absolute error of r is at most
//    3u (2u |r| + 2^-74.3) + 2^-129.7 (k P3) + 2^-130.7 (k t)
//    < 2^-103.4 |r| + 2^-125.5. The fast path requires |r| >= 2^-40, so the
//    relative error of r is below 2^-85, and an error delta in r moves
//    sin(r), cos(r) (|r| <= 0.79) by at most delta relative. Below 2^-40 (one
//    argument in 2^39) the exact path takes over; for |x| < pi/4, k = 0 and
//    r = x exactly.
// 2. r = a + b with a = j/512, |b| <= 2^-10 (1 + 2^-40): sin(r) =
//    S + C b + (S cb + C sb), cos(r) = C - S b + (C cb - S sb), where S, C =
//    sin a, cos a come from a table as hi + lo (relative error < 2^-105),
//    cb = cos b - 1 and sb = sin b - b. C b and S b are double-doubles
//    (twoProd, error < 2^-104 relative); cb and sb are Taylor polynomials
//    evaluated in double: cb = b^2(-1/2 + b^2(1/24 - b^2/720)) (remainder
//    < b^8/8! < 2^-95), sb = b b^2(-1/6 + b^2(1/120 - b^2/5040)) (remainder
//    < |b|^9/9! < 2^-108). The series alternate with falling terms, so the
//    remainder bounds are the first omitted terms.
// 3. Error of sin(r). Counting one u per rounding: b^2 = RN(bh^2) is b^2
//    within 3u (bl < u bh); cb within 7u including the coefficients and
//    S_hi for S; |cb| <= 2^-21. For j >= 1, |S| <= 2 |sin r| (worst at j = 1),
//    so S cb contributes 7u * 2^-20 = 2^-70.2 relative; C sb (|sb| < 2^-31.6,
//    6u) at most 2^-72; the tail's own sum and its addition to the low word
//    (each at most u |tail|, |tail| <= 2^-19.4 |sin r|) 2^-72.4 each; the
//    table, C b and the reduction below 2^-84.8 together. Total < 2^-69.5.
//    For cos(r), |C| <= 1.001 |cos r| (r is within 2^-10 of a and tan a <= 1)
//    and |C cb| <= 2^-21 |C|: 7u * 2^-21 = 2^-71.2, the tail's additions
//    2^-74 each, the rest below 2^-80: total < 2^-70.8.
//    tan = sin/cos (or -cos/sin) in double-double division (error < 2^-100):
//    the two errors add, < 2^-69. The rounding test uses c = 2^-67 (sin, cos) and 2^-66 (tan),
//    more than twice the bound, so the tests are safe with room to spare.
//
// The checker (glimra-mathcheck) compares the fast path with MPFR on many
// millions of arguments; the largest error it sees is reported there.
// ---------------------------------------------------------------------------

constexpr double kTrigFastMax = 0x1p30;
constexpr double kTrigTiny = 0x1p-27;
constexpr double kSinCosErr = 0x1p-67;
constexpr double kTanErr = 0x1p-66;

struct TrigReduced {
    double rh, rl;  // r = rh + rl, |rl| <= ulp(rh) / 2
    unsigned q;     // k mod 4
};

// x - k pi/2 for |x| < 2^30 (step 1 above).
template <bool kFma>
inline TrigReduced reduceTrig(double x)
{
    const double kd = roundToInt(x * kTwoOverPi);
    const DD p1 = twoProd<kFma>(kd, kPio2[0]);
    const double t = x - p1.hi;
    const DD p2 = twoProd<kFma>(kd, kPio2[1]);
    const double p3 = kd * kPio2[2];
    const DD s1 = twoSum(t, -p2.hi);
    const DD s2 = twoSum(s1.hi, -p1.lo);
    const double low = ((s1.lo + s2.lo) - p2.lo) - p3;
    const DD r = twoSum(s2.hi, low);
    return {r.hi, r.lo, static_cast<unsigned>(static_cast<std::int64_t>(kd)) & 3u};
}

struct TrigParts {
    double sh, sl, ch, cl;  // sin a, cos a
    double bh, bl;          // b = r - a
    double cb, sb;          // cos b - 1, sin b - b
};

inline TrigParts trigParts(double rh, double rl)
{
    const double jd = roundToInt(rh * 512.0);
    const double a = jd * 0x1p-9;
    const DD b = twoSum(rh - a, rl);  // rh - a is exact: a multiple of ulp(rh), below |rh|
    const int j = static_cast<int>(jd);
    const double* row = kSinCos[j < 0 ? -j : j];
    const double sign = j < 0 ? -1.0 : 1.0;
    const double b2 = b.hi * b.hi;
    TrigParts p;
    p.sh = sign * row[0];
    p.sl = sign * row[1];
    p.ch = row[2];
    p.cl = row[3];
    p.bh = b.hi;
    p.bl = b.lo;
    p.cb = b2 * (-0.5 + b2 * (1.0 / 24 - b2 * (1.0 / 720)));
    p.sb = b.hi * b2 * (-1.0 / 6 + b2 * (1.0 / 120 - b2 * (1.0 / 5040)));
    return p;
}

// P + Q b + (P cb + Q sb): sin r for (P, Q) = (S, C), cos r for (C, -S),
// and their negatives for (-P, -Q) (every step is symmetric in sign, so the
// selection changes no bit). |P| >= 2^-9 > |Q b| or P = 0 (sin), |P| >= 0.7
// (cos).
template <bool kFma>
inline DD trigOfParts(const TrigParts& p, double ph, double pl, double qh, double ql)
{
    DD qb = twoProd<kFma>(qh, p.bh);
    qb.lo += qh * p.bl + ql * p.bh;
    const DD h = fastTwoSum(ph, qb.hi);
    const double tail = ph * p.cb + qh * p.sb;
    const double lo = tail + ((h.lo + pl) + qb.lo);
    return fastTwoSum(h.hi, lo);
}

// n / d in double-double, |d.hi| well away from zero.
template <bool kFma>
inline DD divDD(DD n, DD d)
{
    const double q1 = n.hi / d.hi;
    const DD p = twoProd<kFma>(q1, d.hi);
    const double rem = (((n.hi - p.hi) - p.lo) + n.lo) - q1 * d.lo;
    return fastTwoSum(q1, rem / d.hi);
}

// Steps 2 and 3 for a reduced argument r = rh + rl in quadrant q (k mod 4),
// from whichever reduction: this range's or the huge range's
// (reduce_large.h, at least as precise).
template <int kind, bool kFma>
inline bool trigOfReduced(double rh, double rl, unsigned q0, double& out)
{
    if (std::fabs(rh) < 0x1p-40)
        return false;
    const TrigParts p = trigParts(rh, rl);
    if constexpr (kind == 2) {
        const DD s = trigOfParts<kFma>(p, p.sh, p.sl, p.ch, p.cl);
        const DD c = trigOfParts<kFma>(p, p.ch, p.cl, -p.sh, -p.sl);
        DD t = (q0 & 1u) ? divDD<kFma>(c, s) : divDD<kFma>(s, c);
        if (q0 & 1u)
            t = {-t.hi, -t.lo};
        return roundedOrFail(t.hi, t.lo, kTanErr, out);
    } else {
        // sin x = sin r, cos r, -sin r, -cos r for q = 0..3; cos x is one
        // quadrant further on.
        // Selections rather than branches: the quadrant is as good as random.
        const unsigned q = kind == 1 ? q0 + 1u : q0;
        const bool odd = (q & 1u) != 0;
        const double sign = (q & 2u) ? -1.0 : 1.0;
        const double ph = sign * (odd ? p.ch : p.sh), pl = sign * (odd ? p.cl : p.sl);
        const double qh = sign * (odd ? -p.sh : p.ch), ql = sign * (odd ? -p.sl : p.cl);
        const DD v = trigOfParts<kFma>(p, ph, pl, qh, ql);
        return roundedOrFail(v.hi, v.lo, kSinCosErr, out);
    }
}

// kind 0: sin, 1: cos, 2: tan.
template <int kind, bool kFma>
inline bool trigFast(double x, double& out)
{
    // Quiet comparisons: an ordered < on a NaN would raise invalid.
    const double ax = std::fabs(x);
    if (std::isless(ax, kTrigTiny)) {
        // |x|^3/6 and |x|^3/3 are below half an ulp of x, x^2/2 below half
        // the gap under 1.
        out = kind == 1 ? 1.0 : x;
        return true;
    }
    if (!std::isless(ax, kTrigFastMax))
        return false;  // also NaN and infinities
    const TrigReduced r = reduceTrig<kFma>(x);
    return trigOfReduced<kind, kFma>(r.rh, r.rl, r.q, out);
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
// absolute, |r| < 2^-9.52. 2^(j/256) (j = k mod 256) from a table as
// hi + lo (2^-105); exp(r) = 1 + r + r^2/2 + r^3 (1/6 + r/24 + r^2/120 +
// r^3/720 + r^4/5040): remainder < |r|^8 / 8! * 1.002 < 2^-91; r^2 in
// double-double, the r^3 term in double (6u of 2^-31.2: 2^-81.6), the low
// word's additions 2^-82.1: exp(r) - 1 within 2^-80.8 absolute, the product
// with the table entry and the final sums within 2^-100. An error d in E
// changes the result by d relative (to first order; d < 2^-60).
// Altogether |pow - result| <= (2^-80.6 + |E| 2^-78.8) |result|; the test
// uses c = 2^-78 + |E| 2^-77, more than twice that.
// ---------------------------------------------------------------------------

constexpr double kPowFastYMax = 0x1p64;
constexpr double kPowFastEMin = -708.0, kPowFastEMax = 709.0;

// log x as hi + lo for finite x > 0 (subnormals too).
template <bool kFma>
inline DD logDD(double x)
{
    std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    int e = static_cast<int>(bits >> 52) - 1023;
    if (e == -1023) {  // subnormal: scale into the normal range first
        bits = std::bit_cast<std::uint64_t>(x * 0x1p54);
        e = static_cast<int>(bits >> 52) - 1023 - 54;
    }
    // m in [1, 2), and beyond sqrt(2) halved (one off the exponent field:
    // exact) with e + 1; on the bits, without a branch.
    const std::uint64_t mbits = (bits & 0x000fffffffffffffull) | 0x3ff0000000000000ull;
    const std::uint64_t over = mbits > std::bit_cast<std::uint64_t>(0x1.6a09e667f3bcdp+0) ? 1u : 0u;
    const double m = std::bit_cast<double>(mbits - (over << 52));
    e += static_cast<int>(over);
    const int i1 = static_cast<int>(roundToInt((m - 1.0) * 128.0));
    const double* t1 = kLog1[i1 - kLog1First];
    const DD m1 = twoProd<kFma>(m, t1[0]);
    const int i2 = static_cast<int>(roundToInt((m1.hi - 1.0) * 8192.0));
    const double* t2 = kLog2[i2 - kLog2First];
    const DD p = twoProd<kFma>(m1.hi, t2[0]);
    const DD z = twoSum(p.hi - 1.0, p.lo + m1.lo * t2[0]);  // p.hi - 1 is exact (Sterbenz)

    DD z2 = twoProd<kFma>(z.hi, z.hi);
    z2.lo += 2.0 * z.hi * z.lo;
    const double w = 1.0 / 3 + z.hi * (-0.25 + z.hi * (0.2 - z.hi * (1.0 / 6)));
    const double t3 = z2.hi * z.hi * w;
    const DD s = fastTwoSum(z.hi, -0.5 * z2.hi);  // |z| >= z^2/2
    const double l1lo = s.lo + (z.lo + (t3 - 0.5 * z2.lo));

    const double ed = static_cast<double>(e);
    const DD a = twoSum(ed * kLn2[0], t1[1]);  // e * kLn2[0] exact: 42 bits times 11
    const DD b = twoSum(a.hi, t2[1]);
    const DD c = twoSum(b.hi, s.hi);
    const double low = ((a.lo + b.lo) + c.lo) + (((ed * kLn2[1] + t1[2]) + t2[2]) + l1lo);
    return fastTwoSum(c.hi, low);
}

// Sets ehi = the high word of y log x in every case, so that a caller can
// tell overflow and underflow apart when the fast path declines.
template <bool kFma>
inline bool powFast(double x, double y, double& out, double& ehi)
{
    const DD l = logDD<kFma>(x);
    DD e = twoProd<kFma>(y, l.hi);
    e = fastTwoSum(e.hi, e.lo + y * l.lo);
    ehi = e.hi;
    if (!(e.hi >= kPowFastEMin && e.hi <= kPowFastEMax))
        return false;

    const double kd = roundToInt(e.hi * k256OverLn2);
    const DD p2 = twoProd<kFma>(kd, kLn2By256[1]);
    const double t = e.hi - kd * kLn2By256[0];  // exact, as in reduceTrig
    const DD s1 = twoSum(t, -p2.hi);
    const double low = ((s1.lo - p2.lo) + e.lo) - kd * kLn2By256[2];
    const DD r = twoSum(s1.hi, low);

    const std::int64_t k = static_cast<std::int64_t>(kd);
    const double* tj = kExp2[k & 255];
    const std::int64_t q = k >> 8;  // floor(k / 256)

    const DD r2 = twoProd<kFma>(r.hi, r.hi);
    const double w = 1.0 / 6 + r.hi * (1.0 / 24 + r.hi * (1.0 / 120 + r.hi * (1.0 / 720 + r.hi * (1.0 / 5040))));
    const double t3 = r2.hi * r.hi * w;
    const DD s = fastTwoSum(r.hi, 0.5 * r2.hi);
    const DD pm = fastTwoSum(s.hi, s.lo + (r.lo + (r.hi * r.lo + (0.5 * r2.lo + t3))));  // exp(r) - 1

    DD tp = twoProd<kFma>(tj[0], pm.hi);
    tp.lo += tj[0] * pm.lo + tj[1] * pm.hi;
    const DD h = fastTwoSum(tj[0], tp.hi);  // 2^(j/256) >= 1 > |tp|
    const DD v = fastTwoSum(h.hi, h.lo + (tj[1] + tp.lo));

    double rounded;
    if (!roundedOrFail(v.hi, v.lo, 0x1p-78 + std::fabs(e.hi) * 0x1p-77, rounded))
        return false;
    // The result is normal (|E| bounds above), so scaling by 2^q is exact and
    // commutes with the rounding.
    out = rounded * std::bit_cast<double>(static_cast<std::uint64_t>(q + 1023) << 52);
    return true;
}

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
