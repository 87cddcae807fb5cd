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
inline Two less(Two a, Two b) { return Two(_mm_cmplt_pd(a.v, b.v)); }
inline Two equal(Two a, Two b) { return Two(_mm_cmpeq_pd(a.v, b.v)); }
inline Two ordered(Two a) { return Two(_mm_cmpord_pd(a.v, a.v)); }
inline Two both(Two a, Two b) { return Two(_mm_and_pd(a.v, b.v)); }
inline Two select(Two m, Two a, Two b) { return Two(_mm_or_pd(_mm_and_pd(m.v, a.v), _mm_andnot_pd(m.v, b.v))); }
inline int laneBits(Two m) { return _mm_movemask_pd(m.v); }

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

// The error term in one instruction, as md::twoProd<true>.
inline void twoProd(Four a, Four b, Four& p, Four& e)
{
    p = a * b;
    e = Four(_mm256_fmsub_pd(a.v, b.v, p.v));
}
#endif

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
    constexpr int W = V::width;
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
    // Step 2: a = j/512 and the table rows, lane by lane.
    const V rh = select(ok, r.hi, V(0.5)), rl = select(ok, r.lo, V(0.0));
    const V jd = roundToInt(rh * V(512.0));
    const V a = jd * V(0x1p-9);
    const Pair<V> b = twoSum(rh - a, rl);
    double jv[W], kv[W], ph[W], pl[W], qh[W], ql[W], odd[W];
    jd.store(jv);
    kd.store(kv);
    for (int l = 0; l < W; ++l) {
        const int j = static_cast<int>(jv[l]);
        const double* row = md::kSinCos[j < 0 ? -j : j];
        const double sign = j < 0 ? -1.0 : 1.0;
        const double sh = sign * row[0], sl = sign * row[1], ch = row[2], cl = row[3];
        const unsigned k = static_cast<unsigned>(static_cast<std::int64_t>(kv[l])) & 3u;
        if constexpr (kind == 2) {
            ph[l] = sh, pl[l] = sl, qh[l] = ch, ql[l] = cl;
            odd[l] = (k & 1u) ? 1.0 : 0.0;
        } else {
            const unsigned q = kind == 1 ? k + 1u : k;
            const bool isOdd = (q & 1u) != 0;
            const double s = (q & 2u) ? -1.0 : 1.0;
            ph[l] = s * (isOdd ? ch : sh), pl[l] = s * (isOdd ? cl : sl);
            qh[l] = s * (isOdd ? -sh : ch), ql[l] = s * (isOdd ? -sl : cl);
        }
    }
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
    const V Ph = V::load(ph), Pl = V::load(pl), Qh = V::load(qh), Ql = V::load(ql);
    V result;
    if constexpr (kind == 2) {
        const Pair<V> s = ofParts(Ph, Pl, Qh, Ql);
        const Pair<V> c = ofParts(Qh, Ql, -Ph, -Pl);
        const V isOdd = equal(V::load(odd), V(1.0));
        const Pair<V> n{select(isOdd, c.hi, s.hi), select(isOdd, c.lo, s.lo)};
        const Pair<V> d{select(isOdd, s.hi, c.hi), select(isOdd, s.lo, c.lo)};
        Pair<V> q = divDD(n, d);
        q = {select(isOdd, -q.hi, q.hi), select(isOdd, -q.lo, q.lo)};
        result = roundedOrFail(q, V(md::kTanErr), ok);
    } else {
        result = roundedOrFail(ofParts(Ph, Pl, Qh, Ql), V(md::kSinCosErr), ok);
    }
    return mendDeclined(select(ok, result, V(0.0)), ok, x, one);
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
    constexpr int W = V::width;
    double xv[W], yv[W], m[W], ed[W], okv[W];
    x.store(xv);
    y.store(yv);
    // The fast path's domain, lane by lane (quiet comparisons): positive
    // normal x other than 1, finite y with 0 < |y| < 2^64. Other lanes
    // compute 2^0.5 and are mended.
    for (int l = 0; l < W; ++l) {
        const double ay = std::fabs(yv[l]);
        const bool fast = std::isgreaterequal(xv[l], 0x1p-1022) && std::isfinite(xv[l]) && xv[l] != 1 &&
                          std::isgreater(ay, 0.0) && std::isless(ay, md::kPowFastYMax);
        okv[l] = fast ? 1.0 : 0.0;
        const double xs = fast ? xv[l] : 2.0;
        yv[l] = fast ? yv[l] : 0.5;
        const std::uint64_t bits = std::bit_cast<std::uint64_t>(xs);
        int e = static_cast<int>(bits >> 52) - 1023;
        const std::uint64_t mbits = (bits & 0x000fffffffffffffull) | 0x3ff0000000000000ull;
        const std::uint64_t over = mbits > std::bit_cast<std::uint64_t>(0x1.6a09e667f3bcdp+0) ? 1u : 0u;
        m[l] = std::bit_cast<double>(mbits - (over << 52));
        ed[l] = static_cast<double>(e + static_cast<int>(over));
    }
    V ok = equal(V::load(okv), V(1.0));
    const V ys = V::load(yv);

    // log x, as logDD.
    const V mv = V::load(m);
    const V i1d = roundToInt((mv - V(1.0)) * V(128.0));
    double i1v[W], t10[W], t11[W], t12[W];
    i1d.store(i1v);
    for (int l = 0; l < W; ++l) {
        const double* t1 = md::kLog1[static_cast<int>(i1v[l]) - md::kLog1First];
        t10[l] = t1[0], t11[l] = t1[1], t12[l] = t1[2];
    }
    const V T10 = V::load(t10);
    const Pair<V> m1 = product(mv, T10);
    const V i2d = roundToInt((m1.hi - V(1.0)) * V(8192.0));
    double i2v[W], t20[W], t21[W], t22[W];
    i2d.store(i2v);
    for (int l = 0; l < W; ++l) {
        const double* t2 = md::kLog2[static_cast<int>(i2v[l]) - md::kLog2First];
        t20[l] = t2[0], t21[l] = t2[1], t22[l] = t2[2];
    }
    const V T20 = V::load(t20);
    const Pair<V> p = product(m1.hi, T20);
    const Pair<V> z = twoSum(p.hi - V(1.0), p.lo + m1.lo * T20);

    Pair<V> z2 = product(z.hi, z.hi);
    z2.lo = z2.lo + V(2.0) * z.hi * z.lo;
    const V w = V(1.0 / 3) + z.hi * (V(-0.25) + z.hi * (V(0.2) - z.hi * V(1.0 / 6)));
    const V t3 = z2.hi * z.hi * w;
    const Pair<V> s = fastTwoSum(z.hi, V(-0.5) * z2.hi);
    const V l1lo = s.lo + (z.lo + (t3 - V(0.5) * z2.lo));

    const V E = V::load(ed);
    const Pair<V> la = twoSum(E * V(md::kLn2[0]), V::load(t11));
    const Pair<V> lb = twoSum(la.hi, V::load(t21));
    const Pair<V> lc = twoSum(lb.hi, s.hi);
    const V lowLog =
        ((la.lo + lb.lo) + lc.lo) + (((E * V(md::kLn2[1]) + V::load(t12)) + V::load(t22)) + l1lo);
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

    double kv[W], tj0[W], tj1[W], scale[W];
    kd.store(kv);
    for (int l = 0; l < W; ++l) {
        const std::int64_t k = static_cast<std::int64_t>(kv[l]);
        const double* tj = md::kExp2[k & 255];
        tj0[l] = tj[0], tj1[l] = tj[1];
        scale[l] = std::bit_cast<double>(static_cast<std::uint64_t>((k >> 8) + 1023) << 52);
    }
    const V Tj0 = V::load(tj0), Tj1 = V::load(tj1);

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
    const V result = select(ok, rounded, V(1.0)) * V::load(scale);

    const int done = laneBits(ok);
    if (done == (1 << W) - 1)
        return result;
    double out[W];
    result.store(out);
    y.store(yv);
    for (int l = 0; l < W; ++l)
        if (!(done >> l & 1))
            out[l] = math::pow(xv[l], yv[l]);
    return V::load(out);
}

} // namespace GLIMRA_ISA
} // namespace glimra::lanes::detail
