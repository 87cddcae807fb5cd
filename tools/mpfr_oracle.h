// MPFR as the reference for sin, cos, tan and pow of doubles: what the checks
// (glimra-mathcheck, glimra-pattern-check), test_math and
// glimra-golden-changes compare glimra::math with. It shares nothing with the
// library's own exact paths (math/exact.cpp): those are part of what is
// checked, so they cannot be the measure.
//
// The correctly rounded result needs the double's format in MPFR: 53 bits,
// the double's exponent range (useDoubleRange) and mpfr_subnormalize for the
// results below 2^-1022, where the double has fewer bits.
#pragma once

#include <mpfr.h>

namespace glimra::oracle {

enum class Fn { Sin, Cos, Tan, Pow };

struct Reference {
    double value;
    int flags;  // FE_OVERFLOW, FE_DIVBYZERO and FE_INVALID, as IEEE raises them for this result
};

// MPFR's exponent range and flags belong to each thread: a thread that asks
// for correctly rounded results sets the double's range first, once. The
// library does not depend on it (its exact paths widen it and restore it).
void useDoubleRange();

// Same bits, so -0 is not +0; any NaN matches any NaN.
bool sameBits(double a, double b);

// One thread's MPFR numbers, made once: a check spends most of its time in
// MPFR, and allocating numbers per argument showed in it.
class Oracle {
public:
    // The precision of the results before they are rounded to a double; the
    // arguments are held exactly either way.
    explicit Oracle(mpfr_prec_t bits = 53);
    ~Oracle();
    Oracle(const Oracle&) = delete;
    Oracle& operator=(const Oracle&) = delete;

    // The correctly rounded f(x) (pow: x^y) and the flags it implies: a quiet
    // NaN argument passes through without a flag, a signaling one that
    // reaches the result signals invalid. Needs 53 bits and useDoubleRange().
    Reference operator()(Fn f, double x, double y = 0);
    // sin x and cos x, in one MPFR call (the cost of about one) where both
    // results are normal.
    void sinCos(double x, Reference& sin, Reference& cos);

    // f(x) at the oracle's precision in MPFR's current exponent range,
    // rounded once more to the nearest double, no flags: with many more bits
    // than 53 that is the correctly rounded value unless the exact one lies
    // within 2^-bits relative of a midpoint. Zero and non-finite arguments
    // give their exact values (NaN where none is defined), and pow leaves
    // everything but positive finite bases and finite exponents to the C
    // library, whose results there are exact by definition.
    double rounded(Fn f, double x, double y = 0);

private:
    mpfr_t a_, b_, r_, c_;
};

}  // namespace glimra::oracle
