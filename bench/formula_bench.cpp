// Each of the nineteen patterns rendered compiled (exact1) and as its formula
// (text1): one thread, 1024 x 768 (size 768, zoom 0.15, brightness 150,
// offsets 1 and 1), the widest lanes unless told, median of RUNS after a
// warm-up. Prints the time of each, their ratio, the geometric mean and the
// worst ratio, the time to compile each text, and whether the pictures agree.
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

// Median milliseconds of `runs` renders after one to warm up; the picture of
// the last in `out`.
double timeRender(const Pattern& p, int runs, int lanes, std::vector<Colour>& out)
{
    RenderOptions options;
    options.threads = 1;
    options.lanes = lanes;
    std::vector<double> ms;
    for (int k = 0; k <= runs; ++k) {
        Keep host;
        host.picture.reserve(1024 * 768);
        const auto start = std::chrono::steady_clock::now();
        render(p, PatternParameters{1, 1, 768, 0.15, 150}, host, options);
        if (k > 0)
            ms.push_back(seconds(start) * 1e3);
        out = std::move(host.picture);
    }
    return median(ms);
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
    return 0;
}
