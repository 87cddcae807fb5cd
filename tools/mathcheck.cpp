// glimra-mathcheck: compares glimra::math's sin, cos, tan and pow with MPFR
// (53 bits, rounding to nearest, the double exponent range with subnormals)
// on many arguments of several kinds, bit for bit, and the fault flags too.
// Prints, per function and kind, the arguments checked, the mismatches, how
// many went to the exact path and how many times the C library's result
// differs ("not fast": the fast path declined, for an exact MPFR evaluation
// or a special value); exits with 1 on any mismatch.
//
//   glimra-mathcheck [--count N] [--seed S] [--threads T] [--only sin|cos|tan|pow]
//   glimra-mathcheck --errors N [--seed S]
//
// N is the number of arguments per function, shared equally by its kinds.
// Where the fast path decides, both of its forms (the one chosen on this
// processor and the baseline one without fused multiply-add) must give the
// correctly rounded result too.
#include "math/core.h"
#include "math/math.h"

#include <mpfr.h>

#include <atomic>
#include <bit>
#include <cfenv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace gm = glimra::math;
namespace gd = glimra::math::detail;

constexpr int kFaults = FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID;

struct Ref {
    double value;
    int flags;
};

// The correctly rounded value and the flags it implies, from MPFR alone.
// MPFR's exponent range is set to the double's once per thread (mathcheck
// owns it; the library never changes it).
void setDoubleRange()
{
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
}

bool isSignaling(double x)
{
    return std::isnan(x) && (std::bit_cast<std::uint64_t>(x) & 0x0008000000000000ull) == 0;
}

// A quiet NaN passes through without a flag; a signaling NaN that reaches
// the result signals invalid, as every IEEE operation on one does.
int mpfrFlags(bool anyNanInput, bool signalingInput, double result)
{
    int f = 0;
    if (mpfr_overflow_p()) f |= FE_OVERFLOW;
    if (mpfr_divby0_p()) f |= FE_DIVBYZERO;
    if (mpfr_nanflag_p() && !anyNanInput) f |= FE_INVALID;
    if (signalingInput && std::isnan(result)) f |= FE_INVALID;
    return f;
}

Ref reference1(int (*f)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t), double x)
{
    mpfr_t a, r;
    mpfr_init2(a, 53);
    mpfr_init2(r, 53);
    mpfr_set_d(a, x, MPFR_RNDN);
    mpfr_clear_flags();
    int t = f(r, a, MPFR_RNDN);
    t = mpfr_subnormalize(r, t, MPFR_RNDN);
    const double d = mpfr_get_d(r, MPFR_RNDN);
    Ref out{d, mpfrFlags(std::isnan(x), isSignaling(x), d)};
    mpfr_clear(a);
    mpfr_clear(r);
    return out;
}

Ref referencePow(double x, double y)
{
    mpfr_t a, b, r;
    mpfr_init2(a, 53);
    mpfr_init2(b, 53);
    mpfr_init2(r, 53);
    mpfr_set_d(a, x, MPFR_RNDN);
    mpfr_set_d(b, y, MPFR_RNDN);
    mpfr_clear_flags();
    int t = mpfr_pow(r, a, b, MPFR_RNDN);
    t = mpfr_subnormalize(r, t, MPFR_RNDN);
    const double d = mpfr_get_d(r, MPFR_RNDN);
    Ref out{d, mpfrFlags(std::isnan(x) || std::isnan(y), isSignaling(x) || isSignaling(y), d)};
    mpfr_clear(a);
    mpfr_clear(b);
    mpfr_clear(r);
    return out;
}

bool sameBits(double a, double b)
{
    if (std::isnan(a) && std::isnan(b)) return true;
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// --- argument kinds ---------------------------------------------------------

using Rng = std::mt19937_64;

double randomBits(Rng& g) { return std::bit_cast<double>(g()); }
double uniform(Rng& g, double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(g); }
// |x| spread evenly over the binades 2^lo .. 2^hi, random sign.
double logUniform(Rng& g, double lo, double hi, bool withSign = true)
{
    const double v = std::exp2(uniform(g, lo, hi));
    return withSign && (g() & 1) ? -v : v;
}
// The double nearest k pi/2 for a random k, moved by a few ulps: where cos
// and tan (and sin at odd... even multiples) are small and their arguments
// hard to reduce.
double nearPiOver2(Rng& g)
{
    const double k = static_cast<double>(1 + g() % (1u << 20));
    double x = std::nextafter(k * 1.5707963267948966, 0.0); // then search the nearest below/above
    const int shift = static_cast<int>(g() % 9) - 4;
    for (int i = 0; i < std::abs(shift); ++i) x = std::nextafter(x, shift > 0 ? INFINITY : 0.0);
    return (g() & 1) ? -x : x;
}

struct Kind {
    const char* name;
    double (*x)(Rng&);
    double (*y)(Rng&); // pow only
};

const Kind kTrigKinds[] = {
    {"random bits", randomBits, nullptr},
    {"|x| <= 1e4", [](Rng& g) { return uniform(g, -1e4, 1e4); }, nullptr},
    {"2^-30..2^3", [](Rng& g) { return logUniform(g, -30, 3); }, nullptr},
    {"near k pi/2", nearPiOver2, nullptr},
};

// An odd integer below 2^27: its square has 53 or 54 bits, and with 54 the
// exact square is a midpoint between two doubles.
double odd27(Rng& g) { return static_cast<double>((g() % (1u << 26)) * 2 + 1 + (1u << 26)); }

const Kind kPowKinds[] = {
    {"random bits", randomBits, randomBits},
    {"0..1e6 ^ 0..2", [](Rng& g) { return uniform(g, 0, 1e6); }, [](Rng& g) { return uniform(g, 0, 2); }},
    {"|tan| ^ 0.4", [](Rng& g) { return logUniform(g, -40, 40, false); }, [](Rng&) { return 0.4; }},
    {"wide ^ wide", [](Rng& g) { return logUniform(g, -1074, 1023, false); },
     [](Rng& g) { return logUniform(g, -20, 12); }},
    {"near 1 ^ big", [](Rng& g) { return 1.0 + static_cast<double>(static_cast<std::int64_t>(g() % 2000001) - 1000000) * 0x1p-52; },
     [](Rng& g) { return logUniform(g, 20, 61); }},
    {"edges of range", [](Rng& g) { return logUniform(g, -8, 8, false); }, [](Rng&) { return 0.0; }},
    {"midpoints n^2", odd27, [](Rng&) { return 2.0; }},
    {"squares ^ 0.5", [](Rng& g) { const double v = odd27(g) * logUniform(g, -60, 60, false); return v * v; },
     [](Rng&) { return 0.5; }},
    {"negative ^ int", [](Rng& g) { return -uniform(g, 0, 100); },
     [](Rng& g) { return static_cast<double>(static_cast<int>(g() % 301) - 150); }},
};

// --- the run ------------------------------------------------------------------

struct Tally {
    std::uint64_t checked = 0, wrong = 0, wrongFlags = 0, exact = 0, libcDiffers = 0;
};

struct Job {
    std::string fn;
    int kind;
    std::uint64_t count;
    std::uint64_t seed;
};

std::mutex printLock;
int printed = 0;

void report(const char* fn, double x, double y, bool two, double got, double want, int gotF, int wantF)
{
    std::lock_guard<std::mutex> lock(printLock);
    if (++printed > 20) return;
    if (two)
        std::printf("MISMATCH %s(%a, %a) = %a flags %d, expected %a flags %d\n", fn, x, y, got, gotF, want, wantF);
    else
        std::printf("MISMATCH %s(%a) = %a flags %d, expected %a flags %d\n", fn, x, got, gotF, want, wantF);
}

Tally run(const Job& job)
{
    setDoubleRange();
    Rng g(job.seed);
    Tally t;
    const bool isPow = job.fn == "pow";
    const Kind& kind = isPow ? kPowKinds[job.kind] : kTrigKinds[job.kind];
    const bool edges = isPow && std::strcmp(kind.name, "edges of range") == 0;
    for (std::uint64_t n = 0; n < job.count; ++n) {
        double x = kind.x(g), y = isPow ? kind.y(g) : 0.0;
        if (edges) y = uniform(g, -746.0, 710.5) / std::log(x); // |x^y| near the ends of the range
        double got, fast = 0, base = 0, libc;
        Ref want;
        bool usedFast, usedBase;
        std::feclearexcept(FE_ALL_EXCEPT);
        if (job.fn == "sin") {
            got = gm::sin(x);
        } else if (job.fn == "cos") {
            got = gm::cos(x);
        } else if (job.fn == "tan") {
            got = gm::tan(x);
        } else {
            got = gm::pow(x, y);
        }
        const int gotFlags = std::fetestexcept(kFaults);
        if (job.fn == "sin") {
            usedFast = gd::fastSin(x, fast);
            usedBase = gd::trigFast<0, false>(x, base);
            libc = std::sin(x);
            want = reference1(mpfr_sin, x);
        } else if (job.fn == "cos") {
            usedFast = gd::fastCos(x, fast);
            usedBase = gd::trigFast<1, false>(x, base);
            libc = std::cos(x);
            want = reference1(mpfr_cos, x);
        } else if (job.fn == "tan") {
            usedFast = gd::fastTan(x, fast);
            usedBase = gd::trigFast<2, false>(x, base);
            libc = std::tan(x);
            want = reference1(mpfr_tan, x);
        } else {
            double e;
            const bool domain = std::isless(std::fabs(x), INFINITY) && x != 0 && std::fabs(x) != 1 && y != 0 &&
                                std::isless(std::fabs(y), gd::kPowFastYMax) && (x > 0 || y == std::trunc(y));
            // A negative base with an integer exponent takes the fast path on |x|.
            usedFast = domain && gd::fastPow(std::fabs(x), y, fast, e);
            usedBase = domain && gd::powFast<false>(std::fabs(x), y, base, e);
            if (x < 0 && std::fabs(std::fmod(y, 2.0)) == 1.0) {
                fast = -fast;
                base = -base;
            }
            libc = std::pow(x, y);
            want = referencePow(x, y);
        }
        ++t.checked;
        if (!usedFast) ++t.exact;
        if (!sameBits(libc, want.value)) ++t.libcDiffers;
        if (!sameBits(got, want.value) || (usedFast && !sameBits(fast, want.value)) ||
            (usedBase && !sameBits(base, want.value))) {
            ++t.wrong;
            report(job.fn.c_str(), x, y, isPow, got, want.value, gotFlags, want.flags);
        } else if (gotFlags != want.flags) {
            ++t.wrongFlags;
            report(job.fn.c_str(), x, y, isPow, got, want.value, gotFlags, want.flags);
        }
    }
    mpfr_free_cache();
    return t;
}

// --- the fast paths' errors ---------------------------------------------------
//
// The double-double values the fast paths round, rebuilt from their inline
// steps, against MPFR at 300 bits: the largest relative error seen, beside the
// bound the rounding test relies on.

double log2RelErr(gd::DD v, mpfr_t exact)
{
    mpfr_t t;
    mpfr_init2(t, 300);
    mpfr_set_d(t, v.hi, MPFR_RNDN);
    mpfr_add_d(t, t, v.lo, MPFR_RNDN);
    mpfr_sub(t, t, exact, MPFR_RNDN);
    mpfr_div(t, t, exact, MPFR_RNDN);
    mpfr_abs(t, t, MPFR_RNDN);
    const double e = mpfr_zero_p(t) ? -300.0 : std::log2(mpfr_get_d(t, MPFR_RNDN));
    mpfr_clear(t);
    return e;
}

void measureErrors(std::uint64_t count, std::uint64_t seed)
{
    mpfr_set_emin(mpfr_get_emin_min());
    mpfr_set_emax(mpfr_get_emax_max());
    Rng g(seed);
    double worst[4] = {-300, -300, -300, -300};
    double worstArg[4] = {0, 0, 0, 0};
    mpfr_t a, y;
    mpfr_init2(a, 53);
    mpfr_init2(y, 300);
    for (std::uint64_t n = 0; n < count; ++n) {
        const double x = n % 3 == 0 ? uniform(g, -1e4, 1e4) : n % 3 == 1 ? logUniform(g, -27, 3) : nearPiOver2(g);
        const gd::TrigReduced r = gd::reduceTrig<false>(x);
        if (std::fabs(x) >= 0x1p-27 && std::fabs(r.rh) >= 0x1p-40) {
            const gd::TrigParts p = gd::trigParts(r.rh, r.rl);
            const gd::DD s = gd::trigOfParts<false>(p, p.sh, p.sl, p.ch, p.cl);
            const gd::DD c = gd::trigOfParts<false>(p, p.ch, p.cl, -p.sh, -p.sl);
            const gd::DD t = (r.q & 1u) ? gd::divDD<false>(c, s) : gd::divDD<false>(s, c);
            // Signs do not change relative errors: compare |values|.
            const gd::DD vs = (r.q & 1u) ? c : s, vc = (r.q & 1u) ? s : c;
            mpfr_set_d(a, x, MPFR_RNDN);
            const gd::DD v[3] = {vs, vc, t};
            int (*f[3])(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t) = {mpfr_sin, mpfr_cos, mpfr_tan};
            for (int k = 0; k < 3; ++k) {
                f[k](y, a, MPFR_RNDN);
                mpfr_abs(y, y, MPFR_RNDN);
                const double e = log2RelErr({std::fabs(v[k].hi), v[k].hi < 0 ? -v[k].lo : v[k].lo}, y);
                if (e > worst[k]) {
                    worst[k] = e;
                    worstArg[k] = x;
                }
            }
        }
        const double lx = n % 2 ? logUniform(g, -1074, 1023, false) : 1.0 + uniform(g, -0x1p-8, 0x1p-8);
        if (lx != 1.0) {
            mpfr_set_d(a, lx, MPFR_RNDN);
            mpfr_log(y, a, MPFR_RNDN);
            const double e = log2RelErr(gd::logDD<false>(lx), y);
            if (e > worst[3]) {
                worst[3] = e;
                worstArg[3] = lx;
            }
        }
    }
    mpfr_clear(a);
    mpfr_clear(y);
    const char* names[4] = {"sin", "cos", "tan", "log (in pow)"};
    const double bounds[4] = {-69.5, -70.8, -69.0, -79.0};
    std::printf("largest relative error of the fast paths' double-double values, %" PRIu64 " arguments\n", count);
    for (int k = 0; k < 4; ++k)
        std::printf("%-13s 2^%.2f at %a (proven bound 2^%.1f)\n", names[k], worst[k], worstArg[k], bounds[k]);
    mpfr_free_cache();
}

} // namespace

int main(int argc, char** argv)
{
    std::uint64_t count = 1000000, seed = 1;
    unsigned threads = 1;
    std::string only;
    std::uint64_t errors = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--errors" && i + 1 < argc) {
            errors = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--count" && i + 1 < argc) {
            count = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--threads" && i + 1 < argc) {
            threads = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr, "usage: glimra-mathcheck [--count N] [--seed S] [--threads T] [--only sin|cos|tan|pow]\n"
                                 "       glimra-mathcheck --errors N [--seed S]\n");
            return 2;
        }
    }
    if (errors) {
        measureErrors(errors, seed);
        return 0;
    }
    if (threads < 1) threads = 1;

    std::vector<Job> jobs;
    for (const char* fn : {"sin", "cos", "tan", "pow"}) {
        if (!only.empty() && only != fn) continue;
        const bool isPow = std::strcmp(fn, "pow") == 0;
        const int kinds = isPow ? static_cast<int>(std::size(kPowKinds)) : static_cast<int>(std::size(kTrigKinds));
        for (int k = 0; k < kinds; ++k) {
            // Each kind is cut into pieces so the threads share the work.
            const std::uint64_t per = count / kinds, pieces = threads * 4;
            for (std::uint64_t p = 0; p < pieces; ++p)
                jobs.push_back({fn, k, per / pieces + (p < per % pieces ? 1 : 0),
                                seed * 1000003u + jobs.size() * 7919u + 17u});
        }
    }
    std::vector<Tally> tallies(jobs.size());
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (std::size_t j; (j = next++) < jobs.size();) tallies[j] = run(jobs[j]);
        });
    for (auto& th : pool) th.join();

    std::printf("%-4s %-16s %12s %9s %9s %12s %12s\n", "fn", "arguments", "checked", "wrong", "flags", "not fast",
                "libc differs");
    bool bad = false;
    Tally total;
    for (std::size_t j = 0; j < jobs.size();) {
        Tally sum;
        std::size_t k = j;
        for (; k < jobs.size() && jobs[k].fn == jobs[j].fn && jobs[k].kind == jobs[j].kind; ++k) {
            sum.checked += tallies[k].checked;
            sum.wrong += tallies[k].wrong;
            sum.wrongFlags += tallies[k].wrongFlags;
            sum.exact += tallies[k].exact;
            sum.libcDiffers += tallies[k].libcDiffers;
        }
        const Kind& kind = jobs[j].fn == "pow" ? kPowKinds[jobs[j].kind] : kTrigKinds[jobs[j].kind];
        std::printf("%-4s %-16s %12" PRIu64 " %9" PRIu64 " %9" PRIu64 " %12" PRIu64 " %12" PRIu64 "\n",
                    jobs[j].fn.c_str(), kind.name, sum.checked, sum.wrong, sum.wrongFlags, sum.exact, sum.libcDiffers);
        bad = bad || sum.wrong || sum.wrongFlags;
        total.checked += sum.checked;
        total.wrong += sum.wrong;
        total.wrongFlags += sum.wrongFlags;
        total.exact += sum.exact;
        total.libcDiffers += sum.libcDiffers;
        j = k;
        if (j == jobs.size() || jobs[j].fn != jobs[j - 1].fn) {
            std::printf("%-4s %-16s %12" PRIu64 " %9" PRIu64 " %9" PRIu64 " %12" PRIu64 " %12" PRIu64 "\n",
                        jobs[j - 1].fn.c_str(), "all", total.checked, total.wrong, total.wrongFlags, total.exact,
                        total.libcDiffers);
            total = Tally{};
        }
    }
    std::printf(bad ? "FAILED\n" : "all correctly rounded\n");
    return bad ? 1 : 0;
}
