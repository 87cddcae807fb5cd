#include "mpfr_oracle.h"

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>

namespace glimra::oracle {
namespace {

bool isSignaling(double x) { return std::isnan(x) && (std::bit_cast<std::uint64_t>(x) & 0x0008000000000000ull) == 0; }

// The flags of the MPFR call just made, as IEEE raises them: MPFR's NaN flag
// also comes from NaN arguments, which pass through quietly unless they
// signal.
int flagsOf(bool anyNanArgument, bool signalingArgument, double result)
{
    int f = 0;
    if (mpfr_overflow_p())
        f |= FE_OVERFLOW;
    if (mpfr_divby0_p())
        f |= FE_DIVBYZERO;
    if (mpfr_nanflag_p() && !anyNanArgument)
        f |= FE_INVALID;
    if (signalingArgument && std::isnan(result))
        f |= FE_INVALID;
    return f;
}

int call(Fn f, mpfr_ptr r, mpfr_srcptr a, mpfr_srcptr b)
{
    switch (f) {
    case Fn::Sin: return mpfr_sin(r, a, MPFR_RNDN);
    case Fn::Cos: return mpfr_cos(r, a, MPFR_RNDN);
    case Fn::Tan: return mpfr_tan(r, a, MPFR_RNDN);
    case Fn::Pow: break;
    }
    return mpfr_pow(r, a, b, MPFR_RNDN);
}

}  // namespace

void useDoubleRange()
{
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
}

bool sameBits(double a, double b)
{
    if (std::isnan(a) && std::isnan(b))
        return true;
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

Oracle::Oracle(mpfr_prec_t bits)
{
    mpfr_inits2(53, a_, b_, (mpfr_ptr) nullptr);
    mpfr_inits2(bits, r_, c_, (mpfr_ptr) nullptr);
}

Oracle::~Oracle() { mpfr_clears(a_, b_, r_, c_, (mpfr_ptr) nullptr); }

Reference Oracle::operator()(Fn f, double x, double y)
{
    const bool pow = f == Fn::Pow;
    mpfr_set_d(a_, x, MPFR_RNDN);
    if (pow)
        mpfr_set_d(b_, y, MPFR_RNDN);
    mpfr_clear_flags();
    int t = call(f, r_, a_, b_);
    t = mpfr_subnormalize(r_, t, MPFR_RNDN);
    const double d = mpfr_get_d(r_, MPFR_RNDN);
    return {d, flagsOf(std::isnan(x) || (pow && std::isnan(y)), isSignaling(x) || (pow && isSignaling(y)), d)};
}

// Both results are normal for |x| >= 2^-1000 (no double comes nearer a
// nonzero multiple of pi/2 than 2^-61), so nothing needs subnormalizing
// there; below, each is computed alone with its own ternary value.
void Oracle::sinCos(double x, Reference& sin, Reference& cos)
{
    if (std::fabs(x) < 0x1p-1000) {
        sin = (*this)(Fn::Sin, x);
        cos = (*this)(Fn::Cos, x);
        return;
    }
    mpfr_set_d(a_, x, MPFR_RNDN);
    mpfr_clear_flags();
    mpfr_sin_cos(r_, c_, a_, MPFR_RNDN);
    const double ds = mpfr_get_d(r_, MPFR_RNDN), dc = mpfr_get_d(c_, MPFR_RNDN);
    const int flags = flagsOf(std::isnan(x), isSignaling(x), ds);
    sin = {ds, flags};
    cos = {dc, flags};
}

double Oracle::rounded(Fn f, double x, double y)
{
    if (f == Fn::Pow) {
        if (!(x > 0) || !std::isfinite(x) || !std::isfinite(y))
            return std::pow(x, y);
        mpfr_set_d(b_, y, MPFR_RNDN);
    } else if (!std::isfinite(x) || x == 0) {
        if (!std::isfinite(x))
            return std::nan("");
        return f == Fn::Cos ? 1.0 : x;
    }
    mpfr_set_d(a_, x, MPFR_RNDN);
    call(f, r_, a_, b_);
    return mpfr_get_d(r_, MPFR_RNDN);
}

}  // namespace glimra::oracle
