// The reduction of huge trigonometric arguments, 2^30 <= |x| < inf, with the
// bits of 2/pi and exact integer arithmetic (reduce_large.cpp has the error
// analysis), and the fast paths of sin, cos and tan built on it (trig.cpp).
#pragma once

namespace glimra::math::detail {

constexpr double kTrigLargeMin = 0x1p30;

struct LargeReduced {
    double rh, rl;  // r = rh + rl = x - k pi/2 within 2^-96 |r| when |r| >= 2^-40; |rl| <= ulp(rh) / 2
    unsigned q;     // k mod 4
};

// Finite x with |x| >= kTrigLargeMin. Integer arithmetic and exact
// conversions only: raises no floating-point flag.
LargeReduced reduceLarge(double x);

// The fast paths for finite |x| >= kTrigLargeMin: the reduction above, then
// the polynomial and rounding test of the small range. false: the caller
// takes the exact path (|r| < 2^-40 or the rounding test failed).
bool largeSin(double x, double& out);
bool largeCos(double x, double& out);
bool largeTan(double x, double& out);

}  // namespace glimra::math::detail
