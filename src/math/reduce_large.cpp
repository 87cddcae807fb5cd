// r = x - k pi/2 for huge x, from the bits of 2/pi in integer arithmetic.
//
// Notation as in core.h: u = 2^-53, RN rounding to nearest.
//
// 1. The product with 2/pi, exact. x = m 2^e with 2^52 <= m < 2^53 and
//    -22 <= e <= 971 (2^30 <= |x| <= the largest double), 2/pi = sum of
//    b_i 2^-i over i >= 1. Then x 2/pi = sum of m b_i 2^(e - i); the terms
//    with i <= e - 2 are multiples of 4 and change neither r nor k mod 4, so
//    they are left out. The next 192 bits, i = e - 1 .. e + 190, form the
//    integer B (bits with i <= 0 are zero: the table's word 0), and
//    F = (m B mod 2^192) 2^-190 in [0, 4) is computed exactly with 64-bit
//    words and 128-bit products. The bits beyond add d with
//    0 <= d < m 2^e 2^-(e + 190) < 2^-137. So x 2/pi = F + d modulo 4. The
//    table holds bits up to i = 1216; the largest exponent needs i = 1161.
// 2. k = floor(F + 1/2) mod 4 and f = F - k in [-1/2, 1/2), exact as a
//    fixed-point number of 190 fraction bits; then x - k pi/2 = (pi/2)(f + d)
//    modulo 2 pi, which sin, cos and tan do not see.
// 3. |f| as a double-double. |f| = c3 2^-53 + c2 2^-105 + c1 2^-157 + e1 with
//    c3 <= 2^52, c2, c1 < 2^52 (exact doubles) and 0 <= e1 < 2^-157. The
//    first sum is exact (fastTwoSum: c3 2^-53 is a multiple of 2^-53 above
//    c2 2^-105, or zero); adding c1 2^-157 to its low word (at most 2^-53 of
//    the high word) rounds by at most u (2^-53 |f| + 2^-105): fh + fl is |f|
//    within 2^-105.9 |f| + 2^-156.4.
// 4. r = (fh + fl)(P0 + P1) with pi/2 = P0 + P1 + t, |t| < 2^-109 (kPio2).
//    fh P0 is exact (Dekker's product); the roundings of fh P1
//    (|P1| < 2^-53.8), of fl P0 (|fl| <= 2^-53 fh), of their sum and of its
//    sum with the product's low word, and the omitted fl P1 and fh t, add
//    up to 2^-102.9 fh, that is 2^-103.5 |r|. With the errors of steps 1 and
//    3: |r' - r| <= 2^-103.2 |r| + (pi/2)(2^-137 + 2^-156.4)
//    <= 2^-103.2 |r| + 2^-136.3. (glimra-mathcheck --errors measures the
//    relative error on random huge arguments: 2^-104.3 at most in 3 * 10^5.)
// 5. The fast path needs |r| >= 2^-40 (else the exact path): then r's
//    relative error is below 2^-96.2, well inside the 2^-85 that the
//    evaluation's bounds in core.h take for the reduction, so those bounds
//    and the rounding tests' constants hold unchanged. |r| <= pi/4 (1 + 2^-100)
//    keeps the table index of step 2 (core.h, trigDD) within its 405 rows.
//
// How close can a huge double come to a multiple of pi/2? make_tables.cpp
// measures it with MPFR, exponent by exponent, with the continued fraction of
// frac(2^e 2/pi): the nearest is x = 0x1.6ac5b262ca1ffp+849, within
// 2^-60.89 (the value printed at the end of tables.cpp). So |r| >= 2^-61 for
// every huge argument: the 2^-40 threshold, not the closest approach, sets
// the precision needed, and the 190 bits after the point of step 1 give
// r's absolute error 2^-136.3, which is 2^-96 relative at the threshold (the
// closest approach would still see 2^-75). Arguments below the threshold, one
// in about 2^39, take the exact path.
#include "math/reduce_large.h"

#include "math/tables.h"

#include <bit>
#include <cstdint>

namespace glimra::math::detail {
namespace {

using U128 = unsigned __int128;

constexpr std::uint64_t kLow52 = (std::uint64_t{1} << 52) - 1;

// c < 2^53: the conversion is exact.
double exact(std::uint64_t c) { return static_cast<double>(static_cast<std::int64_t>(c)); }

struct Pair {
    double hi, lo;
};

// hi + lo = a + b exactly for |a| >= |b| or a == 0.
Pair quickSum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

// hi + lo = a * b exactly (Dekker's split; no fused multiply-add, so every
// processor gives the same two doubles).
Pair exactProduct(double a, double b)
{
    constexpr double kSplit = 134217729.0;  // 2^27 + 1
    const double p = a * b;
    const double ca = kSplit * a, cb = kSplit * b;
    const double ah = ca - (ca - a), al = a - ah;
    const double bh = cb - (cb - b), bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

}  // namespace

LargeReduced reduceLarge(double x)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    const bool negative = (bits >> 63) != 0;
    const int e = static_cast<int>((bits >> 52) & 0x7ff) - 1075;
    const std::uint64_t m = (bits & kLow52) | (std::uint64_t{1} << 52);

    // B: the 192 bits from i = e - 1 on, at bit offset e + 62 of the table
    // (whose word 0 holds i = -63 .. 0).
    const int offset = e + 62;
    const std::uint64_t* w = kTwoOverPiBits + (offset >> 6);
    const int sh = offset & 63;
    // (next >> 1) >> (63 - sh) is next >> (64 - sh), defined for sh = 0 too.
    const auto word = [&](int i) { return (w[i] << sh) | ((w[i + 1] >> 1) >> (63 - sh)); };
    const std::uint64_t b2 = word(0), b1 = word(1), b0 = word(2);

    // m B mod 2^192 as hi (bits 64..191) and lo (bits 0..63).
    const U128 p0 = static_cast<U128>(m) * b0;
    const U128 p1 = static_cast<U128>(m) * b1;
    const U128 mid = (p0 >> 64) + static_cast<std::uint64_t>(p1);
    const std::uint64_t top = static_cast<std::uint64_t>(mid >> 64) + static_cast<std::uint64_t>(p1 >> 64) + m * b2;
    U128 hi = (static_cast<U128>(top) << 64) | static_cast<std::uint64_t>(mid);
    const std::uint64_t lo = static_cast<std::uint64_t>(p0);

    // F + 1/2 (mod 4): k is its integer part, f what remains minus 1/2.
    hi += U128{1} << 125;
    const unsigned k = static_cast<unsigned>(hi >> 126);
    const __int128 ghi = static_cast<__int128>(hi & ((U128{1} << 126) - 1)) - (static_cast<__int128>(1) << 125);
    const bool fNegative = ghi < 0;
    // |f| 2^190 = ahi 2^64 + alo <= 2^189.
    U128 ahi;
    std::uint64_t alo;
    if (fNegative) {
        ahi = static_cast<U128>(-ghi) - (lo != 0 ? 1 : 0);
        alo = -lo;
    } else {
        ahi = static_cast<U128>(ghi);
        alo = lo;
    }

    const std::uint64_t c3 = static_cast<std::uint64_t>(ahi >> 73);
    const std::uint64_t c2 = static_cast<std::uint64_t>(ahi >> 21) & kLow52;
    const std::uint64_t c1 = (static_cast<std::uint64_t>(ahi << 31) | (alo >> 33)) & kLow52;
    const Pair s = quickSum(exact(c3) * 0x1p-53, exact(c2) * 0x1p-105);
    const Pair f = quickSum(s.hi, s.lo + exact(c1) * 0x1p-157);

    const Pair p = exactProduct(f.hi, kPio2[0]);
    const double low = p.lo + (f.hi * kPio2[1] + f.lo * kPio2[0]);
    Pair r = quickSum(p.hi, low);
    if (fNegative != negative)
        r = {-r.hi, -r.lo};
    // x < 0: r and k change sign.
    return {r.hi, r.lo, (negative ? 0u - k : k) & 3u};
}

}  // namespace glimra::math::detail
