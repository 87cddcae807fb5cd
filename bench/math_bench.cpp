// glimra-math-bench: what one call of sin, cos, tan and pow costs, the C
// library's against glimra::math's (overall, its fast path alone and its
// exact path alone), and how often the fast path declines. Arguments are
// drawn like the patterns' own: nested calls see |x| of a few units, the
// outer ones up to about 1e4; powers take bases up to 1e6 (or |tan| values)
// and exponents in 0..1 (or 0.4). Huge arguments (|x| >= 2^30, every binade
// to the largest double equally often) are reduced with the bits of 2/pi: the
// "ours fast" column of their rows is that path. Beside them the C library's
// vector functions (not correctly rounded) at two, four and eight lanes, and
// how many of theirs one of our calls costs at the same width.
//
//   glimra-math-bench [--n N] [--rounds R]
#include "math/core.h"
#include "math/lanes.h"
#include "math/math.h"
#include "math/reduce_large.h"
#include "vector_libc.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <time.h>
#include <vector>

namespace {

namespace gm = glimra::math;
namespace gd = glimra::math::detail;

volatile double sink;

double threadNs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// The fastest of `rounds` passes over the arguments, in ns of this thread's
// processor time per call (the machine is shared: wall time would count the
// others' work too).
double timeIt(int rounds, std::size_t n, const std::function<double()>& pass)
{
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        const double t0 = threadNs();
        sink = pass();
        best = std::min(best, (threadNs() - t0) / static_cast<double>(n));
    }
    return best;
}

struct Row {
    const char* fn;
    const char* args;
    double libc, ours, fast, exact, declined;
    double two = 0, four = 0, eight = 0;  // ours on two, four and eight lanes, per argument
    double vec[3] = {0, 0, 0};            // the C library's vector functions on 2, 4, 8 lanes (0: none)
};

void print(const Row& r)
{
    std::printf("%-4s %-18s %10.2f %10.2f %10.2f %10.0f %12.3g %8.2f %8.2f %8.2f %8.2f %9.2f", r.fn, r.args, r.libc,
                r.ours, r.fast, r.exact, r.declined, r.libc / r.ours, r.two, r.four, r.eight,
                r.libc / std::min({r.two, r.four, r.eight}));
    // One of our calls in calls of the vector library at the same width ("-"
    // where that width cannot be called here).
    const double ours[3] = {r.two, r.four, r.eight};
    for (double v : r.vec)
        v > 0 ? std::printf(" %8.2f", v) : std::printf(" %8s", "-");
    for (int w = 0; w < 3; ++w)
        r.vec[w] > 0 ? std::printf(" %7.1fx", ours[w] / r.vec[w]) : std::printf(" %8s", "-");
    std::printf("\n");
}

Row trigRow(const char* fn, const char* name, double (*libc)(double), double (*ours)(double),
            bool (*fast)(double, double&), double (*exact)(double), const std::vector<double>& xs, int rounds)
{
    const std::size_t n = xs.size();
    Row row{fn, name, 0, 0, 0, 0, 0};
    row.libc = timeIt(rounds, n, [&] {
        double s = 0;
        for (double x : xs)
            s += libc(x);
        return s;
    });
    row.ours = timeIt(rounds, n, [&] {
        double s = 0;
        for (double x : xs)
            s += ours(x);
        return s;
    });
    std::size_t declined = 0;
    std::vector<double> fastArgs;
    for (double x : xs) {
        double r = 0;
        if (fast(x, r))
            fastArgs.push_back(x);
        else
            ++declined;
    }
    row.declined = static_cast<double>(declined) / static_cast<double>(n);
    row.fast = timeIt(rounds, fastArgs.size(), [&] {
        double s = 0, r = 0;
        for (double x : fastArgs) {
            fast(x, r);
            s += r;
        }
        return s;
    });
    const std::size_t m = std::min<std::size_t>(n, 20000);
    row.exact = timeIt(1, m, [&] {
        double s = 0;
        for (std::size_t i = 0; i < m; ++i)
            s += exact(xs[i]);
        return s;
    });
    return row;
}

Row powRow(const char* name, const std::vector<double>& xs, const std::vector<double>& ys, int rounds)
{
    const std::size_t n = xs.size();
    Row row{"pow", name, 0, 0, 0, 0, 0};
    row.libc = timeIt(rounds, n, [&] {
        double s = 0;
        for (std::size_t i = 0; i < n; ++i)
            s += std::pow(xs[i], ys[i]);
        return s;
    });
    row.ours = timeIt(rounds, n, [&] {
        double s = 0;
        for (std::size_t i = 0; i < n; ++i)
            s += gm::pow(xs[i], ys[i]);
        return s;
    });
    std::size_t declined = 0;
    std::vector<double> fx, fy;
    for (std::size_t i = 0; i < n; ++i) {
        double r, e;
        if (gd::fastPow(xs[i], ys[i], r, e)) {
            fx.push_back(xs[i]);
            fy.push_back(ys[i]);
        } else
            ++declined;
    }
    row.declined = static_cast<double>(declined) / static_cast<double>(n);
    row.fast = timeIt(rounds, fx.size(), [&] {
        double s = 0, r, e;
        for (std::size_t i = 0; i < fx.size(); ++i) {
            gd::fastPow(fx[i], fy[i], r, e);
            s += r;
        }
        return s;
    });
    const std::size_t m = std::min<std::size_t>(n, 20000);
    row.exact = timeIt(1, m, [&] {
        double s = 0;
        for (std::size_t i = 0; i < m; ++i)
            s += gd::powExact(xs[i], ys[i]);
        return s;
    });
    return row;
}

// ns per argument of glimra::lanes::evaluate at each width.
void timeLanes(Row& row, glimra::lanes::Function f, const std::vector<double>& xs, const std::vector<double>& ys,
               int rounds)
{
    std::vector<double> out(xs.size());
    const auto at = [&](int width) {
        return timeIt(rounds, xs.size(), [&] {
            glimra::lanes::evaluate(f, width, xs.data(), ys.data(), out.data(), xs.size());
            return out[xs.size() / 2];
        });
    };
    row.two = at(2);
    row.four = glimra::lanes::widestWidth() >= 4 ? at(4) : row.two;
    row.eight = glimra::lanes::widestWidth() >= 8 ? at(8) : row.four;
    const int widths[3] = {2, 4, 8};
    for (int w = 0; w < 3; ++w) {
        if (!vectorLibc(f, widths[w], xs.data(), ys.data(), out.data(), 8))
            continue;
        const std::size_t whole = xs.size() / 8 * 8;
        row.vec[w] = timeIt(rounds, whole, [&] {
            vectorLibc(f, widths[w], xs.data(), ys.data(), out.data(), whole);
            return out[whole / 2];
        });
    }
}

double libcSin(double x) { return std::sin(x); }
double libcCos(double x) { return std::cos(x); }
double libcTan(double x) { return std::tan(x); }

}  // namespace

int main(int argc, char** argv)
{
    std::size_t n = 1 << 20;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--n") && i + 1 < argc)
            n = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: glimra-math-bench [--n N] [--rounds R]\n");
            return 2;
        }
    }
    std::mt19937_64 g(42);
    auto uni = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(g); };
    std::vector<double> small(n), wide(n), huge(n), base(n), expo(n), tanBase(n), point4(n, 0.4);
    for (std::size_t i = 0; i < n; ++i) {
        small[i] = uni(-4, 4);
        wide[i] = uni(-1e4, 1e4);
        base[i] = std::exp2(uni(-10, std::log2(1e6)));
        expo[i] = uni(0, 1);
        tanBase[i] = std::fabs(std::tan(uni(-1e4, 1e4)));
        const std::uint64_t field = 1053 + g() % (2046 - 1053 + 1);  // 2^30 .. the largest binade
        huge[i] = std::bit_cast<double>((g() & 0x800fffffffffffffull) | (field << 52));
    }

    std::printf("ns per call (fastest of %d passes over %zu arguments; exact path over 20000)\n", rounds, n);
    std::printf("%-4s %-18s %10s %10s %10s %10s %12s %8s %8s %8s %8s %9s %8s %8s %8s %8s %8s %8s\n", "fn", "arguments",
                "libc", "ours", "ours fast", "ours exact", "exact share", "libc/ours", "2 lanes", "4 lanes", "8 lanes",
                "libc/best", "libc 2v", "libc 4v", "libc 8v", "ours/2v", "ours/4v", "ours/8v");
    using F = glimra::lanes::Function;
    const auto trig = [&](const char* fn, const char* name, double (*libc)(double), double (*ours)(double),
                          bool (*fast)(double, double&), double (*exact)(double), F f, const std::vector<double>& xs) {
        Row row = trigRow(fn, name, libc, ours, fast, exact, xs, rounds);
        timeLanes(row, f, xs, xs, rounds);
        print(row);
    };
    trig("sin", "|x| <= 4", libcSin, gm::sin, gd::fastSin, gd::sinExact, F::Sin, small);
    trig("sin", "|x| <= 1e4", libcSin, gm::sin, gd::fastSin, gd::sinExact, F::Sin, wide);
    trig("cos", "|x| <= 4", libcCos, gm::cos, gd::fastCos, gd::cosExact, F::Cos, small);
    trig("cos", "|x| <= 1e4", libcCos, gm::cos, gd::fastCos, gd::cosExact, F::Cos, wide);
    trig("tan", "|x| <= 4", libcTan, gm::tan, gd::fastTan, gd::tanExact, F::Tan, small);
    trig("tan", "|x| <= 1e4", libcTan, gm::tan, gd::fastTan, gd::tanExact, F::Tan, wide);
    trig("sin", "huge", libcSin, gm::sin, gd::largeSin, gd::sinExact, F::Sin, huge);
    trig("cos", "huge", libcCos, gm::cos, gd::largeCos, gd::cosExact, F::Cos, huge);
    trig("tan", "huge", libcTan, gm::tan, gd::largeTan, gd::tanExact, F::Tan, huge);
    const auto power = [&](const char* name, const std::vector<double>& xs, const std::vector<double>& ys) {
        Row row = powRow(name, xs, ys, rounds);
        timeLanes(row, F::Pow, xs, ys, rounds);
        print(row);
    };
    power("2^-10..1e6 ^ 0..1", base, expo);
    power("|tan| ^ 0.4", tanBase, point4);
    return 0;
}
