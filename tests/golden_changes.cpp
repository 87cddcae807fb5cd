// glimra-golden-changes: what the golden pictures change to when the formulas'
// sin, cos, tan and pow change from the C library's to the correctly rounded
// ones. For every pattern and golden parameter set it renders the picture
// both ways (the C library's pixel by pixel, ours as the render core paints
// it), lists every pixel whose colour differs (pattern, set, column, row,
// old and new colour) and every change in where a render faults, and
// confirms each new colour by evaluating that pixel's formula once more with
// MPFR's functions at 200 bits, each result rounded to the nearest double:
// an evaluation that shares nothing with our functions but the formula and
// its IEEE operations. Then it prints the new digests as the golden table
// holds them (the M set and the formulas' digests included). Exits with 1 when a confirmation fails.
//
//   glimra-golden-changes
#include "golden_table.h"
#include "math/lanes.h"
#include "mpfr_oracle.h"
#include "patterns/checked.h"
#include "patterns/patterns.h"
#include "render/frame.h"

#include <mpfr.h>

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

using namespace glimra;
using namespace glimra::golden;

namespace {

// 200 bits leave the result so far above the double's 53 that rounding it
// once more to a double gives the correctly rounded value, unless the exact
// value lay within 2^-200 relative of a midpoint, far closer than any double
// argument of these functions comes.
constexpr mpfr_prec_t kBits = 200;

double refSin(double x) { return oracle::Oracle(kBits).rounded(oracle::Fn::Sin, x); }
double refCos(double x) { return oracle::Oracle(kBits).rounded(oracle::Fn::Cos, x); }
double refTan(double x) { return oracle::Oracle(kBits).rounded(oracle::Fn::Tan, x); }
double refPow(double x, double y) { return oracle::Oracle(kBits).rounded(oracle::Fn::Pow, x, y); }

const lanes::Functions kReference{refSin, refCos, refTan, refPow};

// Every pixel of a render, and the digest of what the Canvas received.
class Picture : public digest::Host {
public:
    std::vector<std::vector<Colour>> columns;
    std::vector<double> rows;

    void plotColumn(const ColumnView& c) override
    {
        digest::Host::plotColumn(c);
        columns.emplace_back(c.colours.begin(), c.colours.end());
    }
};

const char* hex(Colour c)
{
    static thread_local char text[3][8];
    static thread_local int next = 0;
    char* t = text[next++ % 3];
    std::snprintf(t, 8, "#%02x%02x%02x", redOf(c), greenOf(c), blueOf(c));
    return t;
}

}  // namespace

int main()
{
    mpfr_set_default_prec(kBits);
    lanes::Chosen::table = &kReference;
    int failures = 0, changed = 0;
    std::vector<std::string> table;
    for (const Golden& g : kGolden) {
        const Pattern& p = *findPattern(g.pattern);
        const CheckedForms* forms = checkedFormsOf(p);
        if (!forms) {
            std::printf("%s: no C library form to compare with\n", g.pattern);
            ++failures;
            continue;
        }
        // The formula with the C library's functions, pixel by pixel.
        const Pattern old{p.name, p.derive, forms->libcPixel};
        const Set fault = *digest::faultSet(g.pattern);
        const Set* sets[] = {&kReset, &kLarge, &kOffset, &fault, &kMedium};
        std::string digests;
        RenderResult faulted;
        for (const Set* s : sets) {
            Picture before, after;
            const RenderResult rb = render(old, s->p, before, digest::renderOptions(1));
            const RenderResult ra = render(p, s->p, after, digest::renderOptions());
            const std::string digest = after.finish(ra);
            const Derived d = *deriveChecked(p, s->p);
            const std::vector<double> is = scanCounters(d.x0, d.N, 1 << 24);
            const std::vector<double> js = scanCounters(d.y0, d.S, 1 << 20);
            if (rb.outcome != ra.outcome || rb.faultColumn != ra.faultColumn || rb.faultRow != ra.faultRow) {
                std::printf("%s %s: the render ends otherwise: outcome %d at column %ld row %ld, now %d at %ld, %ld\n",
                            g.pattern, s->name, int(rb.outcome), rb.faultColumn, rb.faultRow, int(ra.outcome),
                            ra.faultColumn, ra.faultRow);
                ++changed;
                if (ra.outcome == Outcome::Faulted) {
                    // The new fault must be one in the reference evaluation too.
                    std::feclearexcept(FE_ALL_EXCEPT);
                    const Components c =
                        forms->chosenPixel(d, is[std::size_t(ra.faultColumn)], js[std::size_t(ra.faultRow)]);
                    const bool faults = std::fetestexcept(FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID) ||
                                        !std::isfinite(c.red) || !std::isfinite(c.green) || !std::isfinite(c.blue);
                    std::printf("  confirmed by MPFR at %d bits: %s\n", int(kBits), faults ? "yes" : "NO");
                    failures += faults ? 0 : 1;
                }
            }
            const std::size_t columns = std::min(before.columns.size(), after.columns.size());
            for (std::size_t m = 0; m < columns; ++m) {
                const std::size_t n = std::min(before.columns[m].size(), after.columns[m].size());
                for (std::size_t r = 0; r < n; ++r) {
                    const Colour a = before.columns[m][r], b = after.columns[m][r];
                    if (a == b)
                        continue;
                    ++changed;
                    const Colour ref = packColour(forms->chosenPixel(d, is[m], js[r]));
                    std::printf("%s %s: column %zu row %zu (i = %.17g, j = %.17g): %s -> %s; MPFR at %d bits: %s %s\n",
                                g.pattern, s->name, m, r, is[m], js[r], hex(a), hex(b), int(kBits), hex(ref),
                                ref == b ? "confirmed" : "DIFFERS");
                    failures += ref == b ? 0 : 1;
                }
            }
            digests += ", \"" + digest + "\"";
            if (s == &fault)
                faulted = ra;
        }
        char head[160];
        std::snprintf(head, sizeof head, "    {\"%s\", %ld, %ld", g.pattern, faulted.faultColumn, faulted.faultRow);
        table.push_back(head + digests + ", \"" + digest::formulaDigest(p) + "\"},");
    }
    std::printf("%d changes, %d not confirmed\n\nThe new golden table:\n", changed, failures);
    for (const std::string& l : table)
        std::printf("%s\n", l.c_str());
    return failures ? 1 : 0;
}
