// glimra-pattern-check: the arguments the patterns themselves give sin, cos,
// tan and pow, checked against MPFR. Every pixel of every pattern at the
// reset values and the "M" and "L" presets is evaluated by its formula as
// written, and each call of the four functions compares our result with
// MPFR's correctly rounded one (53 bits, the double's exponent range with
// subnormals), bit for bit. Prints the calls, mismatches and the calls the
// fast path left to the exact one (tiny, huge, undecided) per function;
// exits with 1 on any mismatch.
//
//   glimra-pattern-check [--threads T] [--only PATTERN]
#include "math/core.h"
#include "math/lanes.h"
#include "math/math.h"
#include "patterns/checked.h"
#include "patterns/patterns.h"
#include "mpfr_oracle.h"
#include "render/frame.h"

#include <mpfr.h>

#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace glimra;

namespace {

struct Tally {
    std::uint64_t calls[4] = {};
    std::uint64_t mismatches[4] = {};
    std::uint64_t declined[4] = {};  // calls the one-lane fast path left to the exact one
};

// Per thread: the reference's MPFR numbers, made once, and the thread's counts.
struct Checker {
    oracle::Oracle reference;
    Tally tally;

    Checker() { oracle::useDoubleRange(); }
};

thread_local Checker* checker = nullptr;

void report(const char* fn, double x, double y, double ours, double ref)
{
    std::fprintf(stderr, "%s(%a, %a): ours %a, MPFR %a\n", fn, x, y, ours, ref);
}

template <int k, double (*ours)(double), bool (*fast)(double, double&), oracle::Fn f>
double checked(double x)
{
    const double mine = ours(x);
    Checker& c = *checker;
    ++c.tally.calls[k];
    double r;
    c.tally.declined[k] += !fast(x, r);
    if (std::isfinite(x)) {
        const double ref = c.reference(f, x).value;
        if (!oracle::sameBits(mine, ref) && c.tally.mismatches[k]++ < 10)
            report(k == 0 ? "sin" : k == 1 ? "cos" : "tan", x, 0, mine, ref);
    }
    return mine;
}

double checkedPow(double x, double y)
{
    const double mine = math::pow(x, y);
    Checker& c = *checker;
    ++c.tally.calls[3];
    double r, e;
    c.tally.declined[3] +=
        x > 0 && std::isfinite(x) && x != 1 && y != 0 && std::isfinite(y) && !math::detail::fastPow(x, y, r, e);
    if (std::isfinite(x) && std::isfinite(y) && x > 0) {
        const double ref = c.reference(oracle::Fn::Pow, x, y).value;
        if (!oracle::sameBits(mine, ref) && c.tally.mismatches[3]++ < 10)
            report("pow", x, y, mine, ref);
    }
    return mine;
}

namespace md = math::detail;
const lanes::Functions kChecked{checked<0, math::sin, md::fastSin, oracle::Fn::Sin>,
                                checked<1, math::cos, md::fastCos, oracle::Fn::Cos>,
                                checked<2, math::tan, md::fastTan, oracle::Fn::Tan>, checkedPow};

struct Picture {
    const Pattern* pattern;
    const char* set;
    PatternParameters params;
};

}  // namespace

int main(int argc, char** argv)
{
    int threads = 2;
    const char* only = nullptr;
    for (int k = 1; k < argc; ++k) {
        if (!std::strcmp(argv[k], "--threads") && k + 1 < argc)
            threads = std::max(1, std::atoi(argv[++k]));
        else if (!std::strcmp(argv[k], "--only") && k + 1 < argc)
            only = argv[++k];
        else {
            std::fprintf(stderr, "usage: glimra-pattern-check [--threads T] [--only PATTERN]\n");
            return 2;
        }
    }
    // The reset values and the two presets that change the picture's extent.
    const PatternParameters reset{1, 1, 100, 1, 150}, medium{150, 200, 600, 0.2, 150}, large{1, 1, 768, 0.15, 150};
    std::vector<Picture> pictures;
    for (const Pattern* p : patternTable())
        if (!only || !std::strcmp(only, p->name))
            for (const auto& [set, params] : {std::pair{"reset", reset}, std::pair{"M", medium}, std::pair{"L", large}})
                pictures.push_back({p, set, params});

    // Columns are dealt out one at a time over every picture.
    struct Column {
        std::size_t picture;
        double i;
    };
    std::vector<Column> columns;
    std::vector<std::vector<double>> rows(pictures.size());
    std::vector<Derived> derived(pictures.size());
    for (std::size_t n = 0; n < pictures.size(); ++n) {
        derived[n] = *deriveChecked(*pictures[n].pattern, pictures[n].params);
        const Derived& d = derived[n];
        rows[n] = scanCounters(d.y0, d.S, 1 << 20);
        for (double i : scanCounters(d.x0, d.N, 1 << 24))
            columns.push_back({n, i});
    }
    std::atomic<std::size_t> next{0};
    std::vector<Tally> tallies(static_cast<std::size_t>(threads));
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back([&, t] {
            Checker c;
            checker = &c;
            lanes::Chosen::table = &kChecked;
            for (std::size_t k; (k = next++) < columns.size();) {
                const Column& col = columns[k];
                const PixelFormula chosenPixel = checkedFormsOf(*pictures[col.picture].pattern)->chosenPixel;
                for (double j : rows[col.picture])
                    chosenPixel(derived[col.picture], col.i, j);
            }
            tallies[std::size_t(t)] = c.tally;
            mpfr_free_cache();
        });
    for (std::thread& t : pool)
        t.join();

    Tally all;
    for (const Tally& t : tallies)
        for (int f = 0; f < 4; ++f) {
            all.calls[f] += t.calls[f];
            all.mismatches[f] += t.mismatches[f];
            all.declined[f] += t.declined[f];
        }
    std::printf("%zu pictures, %zu columns\n", pictures.size(), columns.size());
    const char* names[] = {"sin", "cos", "tan", "pow"};
    std::uint64_t bad = 0;
    for (int f = 0; f < 4; ++f) {
        std::printf("%-4s %14" PRIu64 " calls %8" PRIu64 " mismatches %10" PRIu64 " left by the fast path (%.2g)\n",
                    names[f], all.calls[f], all.mismatches[f], all.declined[f],
                    all.calls[f] ? double(all.declined[f]) / double(all.calls[f]) : 0.0);
        bad += all.mismatches[f];
    }
    mpfr_free_cache();
    return bad ? 1 : 0;
}
