// Double-double arithmetic: a value is hi + lo, two doubles. The error-free
// transformations below are exact for finite operands whose products and sums
// neither overflow nor come near the subnormal range (every use in this room
// keeps its operands above 2^-900 or at zero).
#pragma once

#include <cmath>

namespace glimra::math::detail {

struct DD {
    double hi, lo;
};

// s + e = a + b exactly (Knuth), whatever the magnitudes.
inline DD twoSum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    const double e = (a - (s - bb)) + (b - bb);
    return {s, e};
}

// s + e = a + b exactly when |a| >= |b| or a == 0 (Dekker).
inline DD fastTwoSum(double a, double b)
{
    const double s = a + b;
    const double e = b - (s - a);
    return {s, e};
}

// p + e = a * b exactly. With a fused multiply-add (kFma, only in code
// compiled for a processor that has one) the error term is one instruction;
// without, Dekker's split does the same with plain products (exact as long as
// |a|, |b| < 2^995). Both give the same two doubles.
template <bool kFma>
inline DD twoProd(double a, double b)
{
    const double p = a * b;
    if constexpr (kFma) {
        return {p, __builtin_fma(a, b, -p)};
    } else {
        constexpr double kSplit = 134217729.0;  // 2^27 + 1
        const double ca = kSplit * a, cb = kSplit * b;
        const double ah = ca - (ca - a), al = a - ah;
        const double bh = cb - (cb - b), bl = b - bh;
        return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
    }
}

// Round to the nearest integer (ties to even) for |t| < 2^51, in the default
// rounding mode, without a library call or a branch.
inline double roundToInt(double t)
{
    constexpr double kShifter = 0x1.8p52;
    return (t + kShifter) - kShifter;
}

}  // namespace glimra::math::detail
