// glimra-mathcheck: compares glimra::math's sin, cos, tan and pow with MPFR
// (53 bits, rounding to nearest, the double exponent range with subnormals)
// on many arguments of several kinds, bit for bit, and the fault flags too.
// Prints, per function and kind, the arguments checked, the mismatches, how
// many went to the exact path and how many times the C library's result
// differs ("not fast": the fast paths declined, for an exact MPFR evaluation
// or a special value) and the lane results checked; exits with 1 on any
// mismatch.
//
//   glimra-mathcheck [--count N] [--start K] [--seed S] [--threads T] [--only sin|cos|tan|pow]
//   glimra-mathcheck --errors N [--seed S]
//   glimra-mathcheck --find-hard N [--seed S] [--threads T] [--only F]
//
// N is the number of arguments per function; argument n (K <= n < K + N) is
// of kind n mod (the number of kinds) and drawn from (S, n) alone, so a long
// run split into --start ranges checks exactly what one run would, with any
// number of threads. sin, cos and tan see the same arguments (MPFR gives sin
// and cos in one call). Where a fast path decides, every form of it (the one
// chosen on this processor, the baseline one without fused multiply-add, the
// huge range's) must give the correctly rounded result too, and so must the
// lanes of every width this processor has (2, 4, 8, as GLIMRA_LANES caps
// them), which see every argument in groups of their width; their flags are
// not checked (a group raises the flags of all its lanes at once).
//
// --find-hard scans N arguments per function for results nearest a midpoint
// between two doubles (a long double filter, then MPFR at 200 bits) and
// prints the closest as rows for math_hard_cases.h.
#include "math/core.h"
#include "math/lanes.h"
#include "math/math.h"
#include "math/reduce_large.h"
#include "mpfr_oracle.h"

#include <mpfr.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cfenv>
#include <cfloat>
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
using glimra::oracle::Fn;
using glimra::oracle::Oracle;
using glimra::oracle::Reference;
using glimra::oracle::sameBits;

constexpr int kFaults = FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID;

// --- argument kinds ---------------------------------------------------------

// splitmix64: a generator whose whole state is one word, so each argument can
// have its own, made from the seed and the argument's index.
struct Rng {
    using result_type = std::uint64_t;
    std::uint64_t s;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return ~result_type{0}; }
    result_type operator()()
    {
        std::uint64_t z = (s += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
};

// The generator of argument n of one stream (0: sin, cos, tan; 1: pow).
Rng argumentRng(std::uint64_t seed, std::uint64_t stream, std::uint64_t n)
{
    Rng k{seed * 2 + stream};
    Rng g{k() ^ n};
    g.s = g();
    return g;
}

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
    double x = std::nextafter(k * 1.5707963267948966, 0.0);  // then search the nearest below/above
    const int shift = static_cast<int>(g() % 9) - 4;
    for (int i = 0; i < std::abs(shift); ++i)
        x = std::nextafter(x, shift > 0 ? INFINITY : 0.0);
    return (g() & 1) ? -x : x;
}
// Random bits with the exponent field in 2^30 .. the largest finite binade:
// every binade of the huge range equally often.
double huge(Rng& g)
{
    const std::uint64_t r = g();
    const std::uint64_t field = 1053 + g() % (2046 - 1053 + 1);
    return std::bit_cast<double>((r & 0x800fffffffffffffull) | (field << 52));
}

struct HardCase {
    const char* fn;
    double x, y, log2Distance;
};

const HardCase kHardCases[] = {
#include "math_hard_cases.h"
};

// x moved by up to 2^20 ulps, the distance spread over its binary orders
// (the case itself one time in 21).
double neighbour(Rng& g, double x)
{
    const unsigned order = static_cast<unsigned>(g() % 21);
    const std::uint64_t d =
        order == 0 ? 0 : (std::uint64_t{1} << (order - 1)) + g() % (std::uint64_t{1} << (order - 1));
    std::uint64_t b = std::bit_cast<std::uint64_t>(x);
    // Moving the bits keeps the sign; across zero or infinity is not needed.
    b = (g() & 1) ? b + d : b - d;
    const double v = std::bit_cast<double>(b);
    return std::isfinite(v) && (v < 0) == (x < 0) ? v : x;
}

const HardCase& pickHard(Rng& g, bool pow)
{
    std::size_t n = 0;
    for (const HardCase& h : kHardCases)
        n += (std::strcmp(h.fn, "pow") == 0) == pow;
    std::size_t i = g() % n;
    for (const HardCase& h : kHardCases)
        if ((std::strcmp(h.fn, "pow") == 0) == pow && i-- == 0)
            return h;
    return kHardCases[0];
}

struct Kind {
    const char* name;
    double (*x)(Rng&);
    double (*y)(Rng&);  // pow only
};

const Kind kTrigKinds[] = {
    {"random bits", randomBits, nullptr},
    {"|x| <= 1e4", [](Rng& g) { return uniform(g, -1e4, 1e4); }, nullptr},
    {"2^-30..2^3", [](Rng& g) { return logUniform(g, -30, 3); }, nullptr},
    {"near k pi/2", nearPiOver2, nullptr},
    {"huge", huge, nullptr},
    {"hard cases", [](Rng& g) { return neighbour(g, pickHard(g, false).x); }, nullptr},
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
    {"near 1 ^ big",
     [](Rng& g) { return 1.0 + static_cast<double>(static_cast<std::int64_t>(g() % 2000001) - 1000000) * 0x1p-52; },
     [](Rng& g) { return logUniform(g, 20, 61); }},
    {"edges of range", [](Rng& g) { return logUniform(g, -8, 8, false); }, [](Rng&) { return 0.0; }},
    {"midpoints n^2", odd27, [](Rng&) { return 2.0; }},
    {"squares ^ 0.5",
     [](Rng& g) {
         const double v = odd27(g) * logUniform(g, -60, 60, false);
         return v * v;
     },
     [](Rng&) { return 0.5; }},
    {"negative ^ int", [](Rng& g) { return -uniform(g, 0, 100); },
     [](Rng& g) { return static_cast<double>(static_cast<int>(g() % 301) - 150); }},
    {"hard cases", nullptr, nullptr},
};
constexpr std::size_t kEdgesPowKind = 5, kHardPowKind = 9;
constexpr std::size_t kTrigKindCount = std::size(kTrigKinds), kPowKindCount = std::size(kPowKinds);
constexpr std::size_t kMaxKinds = std::max(kTrigKindCount, kPowKindCount);

// --- the run ------------------------------------------------------------------

struct Tally {
    std::uint64_t checked = 0, wrong = 0, wrongFlags = 0, exact = 0, libcDiffers = 0, lanes = 0;
    void add(const Tally& o)
    {
        checked += o.checked;
        lanes += o.lanes;
        wrong += o.wrong;
        wrongFlags += o.wrongFlags;
        exact += o.exact;
        libcDiffers += o.libcDiffers;
    }
};

const char* const kFnNames[4] = {"sin", "cos", "tan", "pow"};

// Tallies of one piece of work: function by kind.
struct Tallies {
    Tally t[4][kMaxKinds];
};

struct Job {
    int stream;                // 0: sin, cos and tan; 1: pow
    std::uint64_t begin, end;  // argument indices
};

struct Options {
    std::uint64_t seed = 1;
    bool want[4] = {true, true, true, true};
    std::vector<int> widths;  // of the lanes checked besides one
};

// The arguments of a group and their references, for the lanes to take
// again after the one-lane checks.
struct Group {
    static constexpr std::size_t kSize = 64;
    std::size_t size = 0;
    std::size_t kind[kSize];
    double x[kSize], y[kSize], want[4][kSize];
};

std::mutex printLock;
int printed = 0;

void report(const char* fn, double x, double y, bool two, double got, double want, int gotF, int wantF)
{
    std::lock_guard<std::mutex> lock(printLock);
    if (++printed > 20)
        return;
    if (two)
        std::printf("MISMATCH %s(%a, %a) = %a flags %d, expected %a flags %d\n", fn, x, y, got, gotF, want, wantF);
    else
        std::printf("MISMATCH %s(%a) = %a flags %d, expected %a flags %d\n", fn, x, got, gotF, want, wantF);
}

// Tallies one argument: the public function's value and flags, and every
// fast form that decided, against the reference.
void judge(Tally& t, int fn, double x, double y, double got, int gotFlags, bool usedFast, const double* forms,
           const bool* decided, int formCount, double libc, const Reference& want)
{
    ++t.checked;
    if (!usedFast)
        ++t.exact;
    if (!sameBits(libc, want.value))
        ++t.libcDiffers;
    bool bad = !sameBits(got, want.value);
    for (int i = 0; i < formCount; ++i)
        bad = bad || (decided[i] && !sameBits(forms[i], want.value));
    if (bad) {
        ++t.wrong;
        report(kFnNames[fn], x, y, fn == 3, got, want.value, gotFlags, want.flags);
    } else if (gotFlags != want.flags) {
        ++t.wrongFlags;
        report(kFnNames[fn], x, y, fn == 3, got, want.value, gotFlags, want.flags);
    }
}

void checkTrig(Tallies& out, Oracle& m, const Options& o, std::uint64_t n, Group& group)
{
    Rng g = argumentRng(o.seed, 0, n);
    const std::size_t kind = n % kTrigKindCount;
    const double x = kTrigKinds[kind].x(g);
    double (*const pub[3])(double) = {gm::sin, gm::cos, gm::tan};
    bool (*const chosen[3])(double, double&) = {gd::fastSin, gd::fastCos, gd::fastTan};
    bool (*const base[3])(double, double&) = {gd::trigFastOne<0, false>, gd::trigFastOne<1, false>,
                                              gd::trigFastOne<2, false>};
    bool (*const large[3])(double, double&) = {gd::largeSin, gd::largeCos, gd::largeTan};
    double (*const libc[3])(double) = {std::sin, std::cos, std::tan};
    Reference want[3];
    if (o.want[0] && o.want[1])
        m.sinCos(x, want[0], want[1]);
    else if (o.want[0])
        want[0] = m(Fn::Sin, x);
    else if (o.want[1])
        want[1] = m(Fn::Cos, x);
    if (o.want[2])
        want[2] = m(Fn::Tan, x);
    const std::size_t slot = group.size++;
    group.kind[slot] = kind;
    group.x[slot] = x;
    group.y[slot] = 0;
    for (int f = 0; f < 3; ++f)
        group.want[f][slot] = want[f].value;
    for (int f = 0; f < 3; ++f) {
        if (!o.want[f])
            continue;
        std::feclearexcept(FE_ALL_EXCEPT);
        const double got = pub[f](x);
        const int gotFlags = std::fetestexcept(kFaults);
        double forms[3] = {0, 0, 0};
        bool decided[3];
        decided[0] = chosen[f](x, forms[0]);
        decided[1] = base[f](x, forms[1]);
        decided[2] = large[f](x, forms[2]);
        judge(out.t[f][kind], f, x, 0, got, gotFlags, decided[0] || decided[2], forms, decided, 3, libc[f](x), want[f]);
    }
}

void checkPow(Tallies& out, Oracle& m, const Options& o, std::uint64_t n, Group& group)
{
    Rng g = argumentRng(o.seed, 1, n);
    const std::size_t kind = n % kPowKindCount;
    double x, y;
    if (kind == kHardPowKind) {
        const HardCase& h = pickHard(g, true);
        x = neighbour(g, h.x);
        y = h.y;
    } else {
        x = kPowKinds[kind].x(g);
        y = kPowKinds[kind].y(g);
    }
    if (kind == kEdgesPowKind)
        y = uniform(g, -746.0, 710.5) / std::log(x);  // |x^y| near the ends of the range
    std::feclearexcept(FE_ALL_EXCEPT);
    const double got = gm::pow(x, y);
    const int gotFlags = std::fetestexcept(kFaults);
    double forms[2] = {0, 0}, e;
    bool decided[2];
    const bool domain = std::isless(std::fabs(x), INFINITY) && x != 0 && std::fabs(x) != 1 && y != 0 &&
                        std::isless(std::fabs(y), gd::kPowFastYMax) && (x > 0 || y == std::trunc(y));
    // A negative base with an integer exponent takes the fast path on |x|.
    decided[0] = domain && gd::fastPow(std::fabs(x), y, forms[0], e);
    decided[1] = domain && gd::powFastOne<false>(std::fabs(x), y, forms[1], e);
    if (x < 0 && std::fabs(std::fmod(y, 2.0)) == 1.0) {
        forms[0] = -forms[0];
        forms[1] = -forms[1];
    }
    const Reference want = m(Fn::Pow, x, y);
    judge(out.t[3][kind], 3, x, y, got, gotFlags, decided[0], forms, decided, 2, std::pow(x, y), want);
    const std::size_t slot = group.size++;
    group.kind[slot] = kind;
    group.x[slot] = x;
    group.y[slot] = y;
    group.want[3][slot] = want.value;
}

// The group's arguments again, on the lanes of each width.
void checkLanes(Tallies& out, const Options& o, int stream, const Group& group)
{
    static constexpr glimra::lanes::Function kFunctions[4] = {
        glimra::lanes::Function::Sin, glimra::lanes::Function::Cos, glimra::lanes::Function::Tan,
        glimra::lanes::Function::Pow};
    for (int f = stream == 0 ? 0 : 3; f < (stream == 0 ? 3 : 4); ++f) {
        if (!o.want[f])
            continue;
        for (const int width : o.widths) {
            double got[Group::kSize];
            glimra::lanes::evaluate(kFunctions[f], width, group.x, group.y, got, group.size);
            for (std::size_t i = 0; i < group.size; ++i) {
                Tally& t = out.t[f][group.kind[i]];
                ++t.lanes;
                if (!sameBits(got[i], group.want[f][i])) {
                    ++t.wrong;
                    std::lock_guard<std::mutex> lock(printLock);
                    if (++printed <= 20)
                        std::printf("MISMATCH %s on %d lanes (%a, %a) = %a, expected %a\n", kFnNames[f], width,
                                    group.x[i], group.y[i], got[i], group.want[f][i]);
                }
            }
        }
    }
}

void runJob(const Job& job, const Options& o, Tallies& out)
{
    glimra::oracle::useDoubleRange();
    Oracle m;
    Group group;
    for (std::uint64_t n = job.begin; n < job.end; ++n) {
        if (job.stream == 0)
            checkTrig(out, m, o, n, group);
        else
            checkPow(out, m, o, n, group);
        if (group.size == Group::kSize || n + 1 == job.end) {
            checkLanes(out, o, job.stream, group);
            group.size = 0;
        }
    }
}

// Runs fn(i) for i = 0 .. n-1 on `threads` threads, each taking the next.
template <typename F>
void onThreads(unsigned threads, std::size_t n, F fn)
{
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (std::size_t j; (j = next++) < n;)
                fn(j);
        });
    for (auto& th : pool)
        th.join();
}

int check(std::uint64_t count, std::uint64_t start, unsigned threads, const Options& o)
{
    // Pieces small enough that the threads finish together and that progress
    // shows; the pieces do not change which arguments are drawn.
    std::vector<Job> jobs;
    const std::uint64_t piece = std::clamp<std::uint64_t>(count / (threads * 16u), 1, 1u << 20);
    for (int stream = 0; stream < 2; ++stream) {
        const bool any = stream == 0 ? (o.want[0] || o.want[1] || o.want[2]) : o.want[3];
        if (!any)
            continue;
        for (std::uint64_t b = start; b < start + count; b += piece)
            jobs.push_back({stream, b, std::min(b + piece, start + count)});
    }
    std::vector<Tallies> tallies(jobs.size());
    std::atomic<std::size_t> done{0};
    onThreads(threads, jobs.size(), [&](std::size_t j) {
        runJob(jobs[j], o, tallies[j]);
        const std::size_t d = ++done;
        std::lock_guard<std::mutex> lock(printLock);
        std::fprintf(stderr, "\r%zu of %zu pieces", d, jobs.size());
    });
    std::fprintf(stderr, "\n");

    Tallies sum;
    for (const Tallies& t : tallies)
        for (int f = 0; f < 4; ++f)
            for (std::size_t k = 0; k < kMaxKinds; ++k)
                sum.t[f][k].add(t.t[f][k]);

    std::printf("arguments %" PRIu64 " .. %" PRIu64 " of seed %" PRIu64 "\n", start, start + count, o.seed);
    std::printf("lanes checked besides one:");
    for (const int w : o.widths)
        std::printf(" %d", w);
    std::printf(o.widths.empty() ? " none on this processor\n" : "\n");
    std::printf("%-4s %-16s %12s %9s %9s %12s %12s %12s\n", "fn", "arguments", "checked", "wrong", "flags", "not fast",
                "libc differs", "on lanes");
    bool bad = false;
    const auto line = [](const char* fn, const char* kind, const Tally& t) {
        std::printf("%-4s %-16s %12" PRIu64 " %9" PRIu64 " %9" PRIu64 " %12" PRIu64 " %12" PRIu64 " %12" PRIu64 "\n",
                    fn, kind, t.checked, t.wrong, t.wrongFlags, t.exact, t.libcDiffers, t.lanes);
    };
    for (int f = 0; f < 4; ++f) {
        if (!o.want[f])
            continue;
        const std::size_t kinds = f == 3 ? kPowKindCount : kTrigKindCount;
        Tally all;
        for (std::size_t k = 0; k < kinds; ++k) {
            line(kFnNames[f], f == 3 ? kPowKinds[k].name : kTrigKinds[k].name, sum.t[f][k]);
            all.add(sum.t[f][k]);
        }
        line(kFnNames[f], "all", all);
        bad = bad || all.wrong || all.wrongFlags;
    }
    std::printf(bad ? "FAILED\n" : "all correctly rounded\n");
    return bad ? 1 : 0;
}

// --- hard cases -----------------------------------------------------------------
//
// Arguments whose exact results lie nearest a midpoint between two doubles,
// where a rounding test has least room. A long double evaluation (64 bits,
// error about 2^-63 relative) keeps the candidates within 2^-61 of a
// midpoint, under one in a hundred; MPFR at 200 bits measures those.

// log2 of |v - mid| / |v| for the midpoint mid nearest v (finite, nonzero,
// normal as a double); t is scratch.
double log2MidpointDistance(mpfr_t v, mpfr_t t)
{
    mpfr_abs(t, v, MPFR_RNDN);
    const mpfr_exp_t e = mpfr_get_exp(t);   // |v| in [2^(e-1), 2^e)
    mpfr_mul_2si(t, t, 53 - e, MPFR_RNDN);  // the doubles there are the integers
    mpfr_frac(t, t, MPFR_RNDN);
    mpfr_sub_d(t, t, 0.5, MPFR_RNDN);
    if (mpfr_zero_p(t))
        return -1000.0;
    mpfr_abs(t, t, MPFR_RNDN);  // ulps from the midpoint
    mpfr_mul_2si(t, t, e - 53, MPFR_RNDN);
    mpfr_div(t, t, v, MPFR_RNDN);
    mpfr_abs(t, t, MPFR_RNDN);
    long ex;
    const double mant = mpfr_get_d_2exp(&ex, t, MPFR_RNDN);
    return std::log2(mant) + static_cast<double>(ex);
}

bool nearMidpoint(long double v)
{
    if (!std::isfinite(v) || v == 0)
        return false;
    int e;
    const long double t = std::ldexp(std::frexp(std::fabs(v), &e), 53);  // in [2^52, 2^53)
    return std::fabs(t - std::floor(t) - 0.5L) < 0x1p-61L * t;
}

struct Found {
    double x, y, log2Distance;
};

// Candidates of the patterns' ranges and beyond.
void candidate(int fn, Rng& g, double& x, double& y)
{
    y = 0;
    const unsigned pick = static_cast<unsigned>(g() % 4);
    if (fn < 3) {
        x = pick == 0   ? uniform(g, -1e4, 1e4)
            : pick == 1 ? logUniform(g, -27, 3)
            : pick == 2 ? logUniform(g, 3, 30)
                        : huge(g);
    } else if (pick < 2) {
        x = uniform(g, 0, 1e6);
        y = uniform(g, 0, 2);
    } else if (pick == 2) {
        x = logUniform(g, -40, 40, false);
        y = 0.4;
    } else {
        x = logUniform(g, -300, 300, false);
        y = logUniform(g, -8, 1);
    }
}

void findHard(std::uint64_t count, unsigned threads, const Options& o)
{
    constexpr std::size_t kKeep = 12;
    for (int fn = 0; fn < 4; ++fn) {
        if (!o.want[fn])
            continue;
        const std::uint64_t piece = 1u << 20;
        const std::size_t pieces = static_cast<std::size_t>((count + piece - 1) / piece);
        std::vector<std::vector<Found>> best(pieces);
        onThreads(threads, pieces, [&](std::size_t p) {
            glimra::oracle::useDoubleRange();
            mpfr_t a, b, v, t;
            mpfr_inits2(200, v, t, (mpfr_ptr) nullptr);
            mpfr_inits2(53, a, b, (mpfr_ptr) nullptr);
            std::vector<Found>& keep = best[p];
            const std::uint64_t end = std::min<std::uint64_t>(count, (p + 1) * piece);
            for (std::uint64_t n = p * piece; n < end; ++n) {
                Rng g = argumentRng(o.seed, 2 + static_cast<std::uint64_t>(fn), n);
                double x, y;
                candidate(fn, g, x, y);
                const long double lx = x;
                const long double approx = fn == 0   ? std::sin(lx)
                                           : fn == 1 ? std::cos(lx)
                                           : fn == 2 ? std::tan(lx)
                                                     : std::pow(lx, static_cast<long double>(y));
                if (!nearMidpoint(approx) || std::fabs(approx) < 0x1p-1000L || std::fabs(approx) > 0x1p1000L)
                    continue;
                mpfr_set_d(a, x, MPFR_RNDN);
                mpfr_set_d(b, y, MPFR_RNDN);
                if (fn == 0)
                    mpfr_sin(v, a, MPFR_RNDN);
                else if (fn == 1)
                    mpfr_cos(v, a, MPFR_RNDN);
                else if (fn == 2)
                    mpfr_tan(v, a, MPFR_RNDN);
                else
                    mpfr_pow(v, a, b, MPFR_RNDN);
                const double d = log2MidpointDistance(v, t);
                if (keep.size() < kKeep || d < keep.back().log2Distance) {
                    keep.push_back({x, y, d});
                    std::sort(keep.begin(), keep.end(),
                              [](const Found& l, const Found& r) { return l.log2Distance < r.log2Distance; });
                    if (keep.size() > kKeep)
                        keep.pop_back();
                }
            }
            mpfr_clears(a, b, v, t, (mpfr_ptr) nullptr);
            mpfr_free_cache();
        });
        std::vector<Found> all;
        for (const auto& k : best)
            all.insert(all.end(), k.begin(), k.end());
        std::sort(all.begin(), all.end(),
                  [](const Found& l, const Found& r) { return l.log2Distance < r.log2Distance; });
        if (all.size() > kKeep)
            all.resize(kKeep);
        std::printf("// %s: the closest of %" PRIu64 " arguments (--find-hard, seed %" PRIu64 ")\n", kFnNames[fn],
                    count, o.seed);
        for (const Found& f : all)
            std::printf("{\"%s\", %a, %a, %.1f},\n", kFnNames[fn], f.x, f.y, f.log2Distance);
        std::fflush(stdout);
    }
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

// sin x, cos x and tan x before the rounding test (without the quadrant's
// sign, which does not change relative errors: compare |values|).
template <bool kFma>
[[gnu::always_inline]] inline void trigValues(double x, gd::DD v[3], bool& ok)
{
    bool negate = false;
    v[0] = gd::trigDD<0, kFma, false>(x, 0.0, 0.0, ok, negate);
    v[1] = gd::trigDD<1, kFma, false>(x, 0.0, 0.0, ok, negate);
    v[2] = gd::trigDD<2, kFma, false>(x, 0.0, 0.0, ok, negate);
}

// The same values in the forms with fused multiply-adds (one rounding fewer
// in the sums, and another reduction), where the processor has them.
#if defined(__x86_64__)
[[gnu::target("fma")]] void fusedValues(double x, gd::DD v[3], bool& ok) { trigValues<true>(x, v, ok); }
[[gnu::target("fma")]] gd::DD fusedLog(double x) { return gd::logDD<true>(x); }
bool haveFused() { return __builtin_cpu_supports("fma"); }
#else
void fusedValues(double, gd::DD*, bool& ok) { ok = false; }
gd::DD fusedLog(double x) { return gd::logDD<false>(x); }
bool haveFused() { return false; }
#endif

void measureErrors(std::uint64_t count, std::uint64_t seed)
{
    const bool fused = haveFused();
    mpfr_set_emin(mpfr_get_emin_min());
    mpfr_set_emax(mpfr_get_emax_max());
    Rng g{seed};
    // Unfused, then fused.
    double worst[8] = {-300, -300, -300, -300, -300, -300, -300, -300};
    double worstArg[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    const auto note = [&](int k, gd::DD v, mpfr_t exact, double arg) {
        const double e = log2RelErr(v, exact);
        if (e > worst[k]) {
            worst[k] = e;
            worstArg[k] = arg;
        }
    };
    mpfr_t a, y;
    mpfr_init2(a, 53);
    mpfr_init2(y, 300);
    for (std::uint64_t n = 0; n < count; ++n) {
        const double x = n % 3 == 0 ? uniform(g, -1e4, 1e4) : n % 3 == 1 ? logUniform(g, -27, 3) : nearPiOver2(g);
        bool ok = false;
        gd::DD v[3];
        trigValues<false>(x, v, ok);
        gd::DD vf[3];
        bool okFused = false;
        if (fused)
            fusedValues(x, vf, okFused);
        if (ok || okFused) {
            mpfr_set_d(a, x, MPFR_RNDN);
            int (*f[3])(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t) = {mpfr_sin, mpfr_cos, mpfr_tan};
            const auto magnitude = [](gd::DD w) { return gd::DD{std::fabs(w.hi), w.hi < 0 ? -w.lo : w.lo}; };
            for (int k = 0; k < 3; ++k) {
                f[k](y, a, MPFR_RNDN);
                mpfr_abs(y, y, MPFR_RNDN);
                if (ok)
                    note(k, magnitude(v[k]), y, x);
                if (okFused)
                    note(4 + k, magnitude(vf[k]), y, x);
            }
        }
        const double lx = n % 2 ? logUniform(g, -1074, 1023, false) : 1.0 + uniform(g, -0x1p-8, 0x1p-8);
        if (lx != 1.0) {
            mpfr_set_d(a, lx, MPFR_RNDN);
            mpfr_log(y, a, MPFR_RNDN);
            note(3, gd::logDD<false>(lx), y, lx);
            if (fused)
                note(7, fusedLog(lx), y, lx);
        }
    }
    mpfr_clear(a);
    mpfr_clear(y);

    // The huge range's reduction, r = x - k pi/2, against MPFR's remainder
    // with pi/2 to 1400 bits (its own error below 2^-370 for any double), and
    // k mod 4 against the remainder's quotient. Arguments with |r| < 2^-40
    // take the exact path and are not counted.
    double worstR = -300, worstRArg = 0;
    std::uint64_t wrongQuadrant = 0;
    {
        mpfr_t pio2, xr, rem;
        mpfr_inits2(1400, pio2, xr, rem, (mpfr_ptr) nullptr);
        mpfr_const_pi(pio2, MPFR_RNDN);
        mpfr_div_2ui(pio2, pio2, 1, MPFR_RNDN);
        for (std::uint64_t n = 0; n < count; ++n) {
            const double x = huge(g);
            const gd::LargeReduced r = gd::reduceLarge(x);
            if (std::fabs(r.rh) < 0x1p-40)
                continue;
            mpfr_set_d(xr, x, MPFR_RNDN);
            long quotient;
            mpfr_remquo(rem, &quotient, xr, pio2, MPFR_RNDN);
            if ((static_cast<unsigned long>(quotient) & 3u) != r.q)
                ++wrongQuadrant;
            const double e = log2RelErr({r.rh, r.rl}, rem);
            if (e > worstR) {
                worstR = e;
                worstRArg = x;
            }
        }
        mpfr_clears(pio2, xr, rem, (mpfr_ptr) nullptr);
    }

    const char* names[8] = {"sin",        "cos",        "tan",        "log (in pow)",
                            "sin, fused", "cos, fused", "tan, fused", "log, fused"};
    const double bounds[4] = {-69.5, -70.8, -69.0, -79.0};
    std::printf("largest relative error of the fast paths' double-double values, %" PRIu64 " arguments\n", count);
    for (int k = 0; k < (fused ? 8 : 4); ++k)
        std::printf("%-13s 2^%.2f at %a (proven bound 2^%.1f)\n", names[k], worst[k], worstArg[k], bounds[k % 4]);
    std::printf("%-13s 2^%.2f at %a (proven bound 2^-96.2), k mod 4 wrong %" PRIu64 " times\n", "huge r", worstR,
                worstRArg, wrongQuadrant);
    mpfr_free_cache();
}

}  // namespace

int main(int argc, char** argv)
{
    std::uint64_t count = 1000000, start = 0;
    unsigned threads = 1;
    std::string only;
    std::uint64_t errors = 0, findHardCount = 0;
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--errors" && i + 1 < argc) {
            errors = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--find-hard" && i + 1 < argc) {
            findHardCount = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--count" && i + 1 < argc) {
            count = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--start" && i + 1 < argc) {
            start = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--seed" && i + 1 < argc) {
            o.seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--threads" && i + 1 < argc) {
            threads = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else if (a == "--only" && i + 1 < argc) {
            only = argv[++i];
            bool known = false;
            for (int f = 0; f < 4; ++f) {
                o.want[f] = only == kFnNames[f];
                known = known || o.want[f];
            }
            if (!known) {
                std::fprintf(stderr, "glimra-mathcheck: --only takes sin, cos, tan or pow\n");
                return 2;
            }
        } else {
            std::fprintf(
                stderr,
                "usage: glimra-mathcheck [--count N] [--start K] [--seed S] [--threads T] [--only sin|cos|tan|pow]\n"
                "       glimra-mathcheck --errors N [--seed S]\n"
                "       glimra-mathcheck --find-hard N [--seed S] [--threads T] [--only F]\n");
            return 2;
        }
    }
    for (const int w : {2, 4, 8})
        if (w <= glimra::lanes::widestWidth())
            o.widths.push_back(w);
    if (threads < 1)
        threads = 1;
    if (start > UINT64_MAX - count) {
        std::fprintf(stderr, "glimra-mathcheck: --start + --count beyond 2^64\n");
        return 2;
    }
    if (errors) {
        measureErrors(errors, o.seed);
        return 0;
    }
    if (findHardCount) {
        findHard(findHardCount, threads, o);
        return 0;
    }
    return check(count, start, threads, o);
}
