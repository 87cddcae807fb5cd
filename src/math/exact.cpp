// The exact paths: MPFR computes the correctly rounded result. MPFR works with
// integers, but its conversions from and to double may touch the
// floating-point flags, so each call holds the environment and restores it:
// the public functions raise the flags the result implies themselves.
#include "math/core.h"

#include <mpfr.h>

#include <cfenv>
#include <limits>

namespace glimra::math::detail {
namespace {

using MpfrFn = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

class HeldEnvironment {
public:
    HeldEnvironment() { feholdexcept(&env_); }
    ~HeldEnvironment() { fesetenv(&env_); }
    HeldEnvironment(const HeldEnvironment&) = delete;
    HeldEnvironment& operator=(const HeldEnvironment&) = delete;

private:
    fenv_t env_;
};

// MPFR's exponent range and flags are per thread and belong to whoever else
// uses MPFR there: the exact paths widen the range to the largest MPFR allows
// (no double argument can then overflow or underflow inside) and put range
// and flags back afterwards.
// MPFR keeps the constants it computes (pi among them) in a cache of each
// thread's own. The render's threads take the exact path now and then; each
// gives its cache back when it ends, rather than leaving it behind.
struct ThreadCache {
    bool used = false;
    ~ThreadCache()
    {
        if (used)
            mpfr_free_cache2(MPFR_FREE_LOCAL_CACHE);
    }
};
thread_local ThreadCache threadCache;

class WideExponents {
public:
    WideExponents() : emin_(mpfr_get_emin()), emax_(mpfr_get_emax()), flags_(mpfr_flags_save())
    {
        threadCache.used = true;
        mpfr_set_emin(mpfr_get_emin_min());
        mpfr_set_emax(mpfr_get_emax_max());
    }
    ~WideExponents()
    {
        mpfr_set_emin(emin_);
        mpfr_set_emax(emax_);
        mpfr_flags_restore(flags_, MPFR_FLAGS_ALL);
    }
    WideExponents(const WideExponents&) = delete;
    WideExponents& operator=(const WideExponents&) = delete;

private:
    mpfr_exp_t emin_, emax_;
    mpfr_flags_t flags_;
};

// For the trigonometric functions 53 bits are enough: their results for x >= 2^-27 exceed 2^-62 in magnitude (no double
// comes nearer a multiple of pi/2 than 2^-61), so they are never subnormal and
// never overflow.
double exact53(MpfrFn f, double x)
{
    HeldEnvironment held;
    WideExponents wide;
    mpfr_t a, r;
    mpfr_init2(a, 53);
    mpfr_init2(r, 53);
    mpfr_set_d(a, x, MPFR_RNDN);
    f(r, a, MPFR_RNDN);
    const double d = mpfr_get_d(r, MPFR_RNDN);
    mpfr_clear(a);
    mpfr_clear(r);
    return d;
}

}  // namespace

double sinExact(double x) { return exact53(mpfr_sin, x); }
double cosExact(double x) { return exact53(mpfr_cos, x); }
double tanExact(double x) { return exact53(mpfr_tan, x); }

// A subnormal result has fewer than 53 bits: x^y is first found to within its
// binade (rounding towards zero keeps the exponent of the exact value), and
// then computed at exactly the precision the double grid has there, so it is
// rounded once.
double powExact(double x, double y)
{
    HeldEnvironment held;
    WideExponents wide;
    mpfr_t a, b, r;
    mpfr_init2(a, 53);
    mpfr_init2(b, 53);
    mpfr_init2(r, 53);
    mpfr_set_d(a, x, MPFR_RNDN);
    mpfr_set_d(b, y, MPFR_RNDN);
    const int ternary = mpfr_pow(r, a, b, MPFR_RNDZ);
    double d;
    if (mpfr_zero_p(r)) {
        d = 0.0;  // below MPFR's range: far below the smallest subnormal
    } else if (mpfr_inf_p(r) || mpfr_get_exp(r) > 1024) {
        d = std::numeric_limits<double>::infinity();
    } else {
        // x^y lies in [2^(e-1), 2^e).
        const mpfr_exp_t e = mpfr_get_exp(r);
        if (e >= -1021) {
            mpfr_pow(r, a, b, MPFR_RNDN);
            d = mpfr_get_d(r, MPFR_RNDN);  // exact, or +inf past the largest double
        } else if (e >= -1073) {
            mpfr_set_prec(r, static_cast<mpfr_prec_t>(e + 1074));
            mpfr_pow(r, a, b, MPFR_RNDN);
            d = mpfr_get_d(r, MPFR_RNDN);  // a multiple of 2^-1074: exact
        } else if (e == -1074) {
            // In [2^-1075, 2^-1074): the nearest is 2^-1074 unless x^y is
            // exactly the midpoint 2^-1075, where the tie goes to the even 0.
            d = (ternary == 0 && mpfr_cmp_si_2exp(r, 1, -1075) == 0) ? 0.0 : 0x1p-1074;
        } else {
            d = 0.0;
        }
    }
    mpfr_clear(a);
    mpfr_clear(b);
    mpfr_clear(r);
    return d;
}

}  // namespace glimra::math::detail
