// Each of the nineteen patterns rendered compiled (exact1) and as its formula
// (text1): one thread, 1024 x 768 (size 768, zoom 0.15, brightness 150,
// offsets 1 and 1), the widest lanes unless told, median of RUNS after a
// warm-up. Prints the time of each, their ratio, the geometric mean and the
// worst ratio, the time to compile each text, and whether the pictures agree.
// Then what a formula at the bounds costs: the most terms a formula may have,
// each a step of every pixel (a chain of sines that nothing can merge or
// fold), compiled, and one column of 1024 rows of it painted at each width.
//
// usage: glimra-formula-bench [RUNS] [LANES]   (defaults: 5, 0 = the widest)
#include "formula/formula.h"
#include "patterns/patterns.h"
#include "render/frame.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace glimra;

namespace {

class Keep : public RenderHost {
public:
    std::vector<Colour> picture;
    void plotColumn(const ColumnView& c) override { picture.insert(picture.end(), c.colours.begin(), c.colours.end()); }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Median milliseconds of `runs` calls of `work` after one to warm up.
template <class Work>
double medianMs(int runs, Work work)
{
    std::vector<double> ms;
    for (int k = 0; k <= runs; ++k) {
        const auto start = std::chrono::steady_clock::now();
        work();
        if (k > 0)
            ms.push_back(seconds(start) * 1e3);
    }
    return median(ms);
}

// One thread, `lanes` wide (0: the widest).
RenderResult renderOn(const Pattern& p, const PatternParameters& parameters, RenderHost& host, int lanes)
{
    RenderOptions options;
    options.threads = 1;
    options.lanes = lanes;
    return render(p, parameters, host, options);
}

// Paints the first column and halts.
class FirstColumn : public RenderHost {
public:
    void plotColumn(const ColumnView&) override {}
    bool haltRequested() override { return true; }
};

// v1 = sin(i * j + 1), v2 = sin(v1 * j + 2), ...: `links` steps of every
// pixel, the last one red.
std::string chain(int links)
{
    std::string text = "x0 = x\ny0 = y\ngreen = 0\nblue = 0\nv0 = i\n";
    for (int k = 1; k <= links; ++k) {
        const std::string n = std::to_string(k), before = std::to_string(k - 1);
        text.append("v").append(n).append(" = sin(v").append(before).append(" * j + ").append(n).append(")\n");
    }
    return text.append("red = v").append(std::to_string(links)).append("\n");
}

void bounds(int runs)
{
    // The longest chain the term bound lets through.
    int lo = 1, hi = formula::kMaxTerms;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        formula::Error error;
        if (formula::Formula::compile(chain(mid), error))
            lo = mid;
        else
            hi = mid - 1;
    }
    const std::string text = chain(lo);
    std::unique_ptr<formula::Formula> f;
    const double compileMs = medianMs(runs, [&] {
        formula::Error error;
        f = formula::Formula::compile(text, error);
    });
    std::printf("\nat the term bound: %d sines a pixel, %zu bytes, %d steps a pixel; compiled in %.2f ms\n", lo,
                text.size(), f->size().perPixel, compileMs);
    for (const int lanes : {1, 2, 4, 8}) {
        if (lanes > widestLanes())
            break;
        FirstColumn host;
        const double ms = medianMs(runs, [&] { renderOn(f->pattern(), {1, 1, 1024, 0.15, 150}, host, lanes); });
        std::printf("one column of 1024 rows at %d lanes: %.1f ms\n", lanes, ms);
    }
}

// Median milliseconds of `runs` renders after one to warm up; the picture of
// the last in `out`.
double timeRender(const Pattern& p, int runs, int lanes, std::vector<Colour>& out)
{
    return medianMs(runs, [&] {
        Keep host;
        host.picture.reserve(1024 * 768);
        renderOn(p, {1, 1, 768, 0.15, 150}, host, lanes);
        out = std::move(host.picture);
    });
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int lanes = argc > 2 ? std::atoi(argv[2]) : 0;
    std::printf("lanes %d, %d runs\n%-8s %9s %9s %7s %11s %s\n", lanes ? lanes : widestLanes(), runs, "pattern",
                "exact1 ms", "text1 ms", "ratio", "compile us", "same");
    double logSum = 0, worst = 0;
    for (const Pattern* p : patternTable()) {
        formula::Error error;
        const auto start = std::chrono::steady_clock::now();
        const std::unique_ptr<formula::Formula> f = formula::Formula::compile(formula::builtinText(p->name), error);
        const double compileUs = seconds(start) * 1e6;
        if (!f) {
            std::printf("%s: %s\n", p->name, error.text().c_str());
            return 1;
        }
        std::vector<Colour> a, b;
        const double exact = timeRender(*p, runs, lanes, a);
        const double text = timeRender(f->pattern(), runs, lanes, b);
        const double ratio = text / exact;
        logSum += std::log(ratio);
        worst = std::max(worst, ratio);
        std::printf("%-8s %9.1f %9.1f %7.3f %11.1f %s\n", p->name, exact, text, ratio, compileUs,
                    a == b ? "yes" : "NO");
    }
    std::printf("geometric mean of text1 / exact1: %.3f, worst %.3f\n", std::exp(logSum / kPatternCount), worst);
    bounds(runs);
    return 0;
}
