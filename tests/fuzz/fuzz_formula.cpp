// libFuzzer target for formulas: the reader and compiler on any bytes, and a
// small render of whatever they accept.
//
// Besides crashes, hangs and sanitizer reports (and, run with
// -malloc_limit_mb, any allocation beyond what the bounds allow) it stops on
// a broken promise:
// - a refused formula says where (a line and column within the text, or just
//   past its end) and why;
// - an accepted one renders a few columns of rows the same, colour for colour
//   and fault for fault, one lane wide and at the widest width there is.
#include "formula/formula.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

using namespace glimra;

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

class Keep : public RenderHost {
public:
    std::vector<Colour> colours;
    void plotColumn(const ColumnView& c) override { colours.insert(colours.end(), c.colours.begin(), c.colours.end()); }
};

// Two columns of 21 rows: a whole group of lanes and a rest taken one lane
// at a time.
RenderResult renderSome(const Pattern& p, int lanes, Keep& host)
{
    const std::optional<Derived> d = deriveChecked(p, PatternParameters{1, 1, 21, 1, 150});
    if (!d)
        return RenderResult{Outcome::Faulted, 0, 0, 0, 0, {}};
    ScanGrid grid;
    grid.columns = 2;
    grid.rowBegin = 0;
    grid.rowEnd = 21;
    grid.column = [&](long m) { return d->x0 + 1 + double(m); };
    grid.row = [&](long n) { return d->y0 + 1 + double(n); };
    RenderOptions options;
    options.threads = 1;
    options.lanes = lanes;
    return renderGrid(p, *d, grid, host, options);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    formula::Error error;
    const std::unique_ptr<formula::Formula> f = formula::Formula::compile(text, error);
    if (!f) {
        std::size_t lines = 1;
        for (const char c : text)
            lines += c == '\n';
        if (error.message.empty() || error.line < 1 || error.column < 1 || std::size_t(error.line) > lines ||
            std::size_t(error.column) > text.size() + 1)
            fail("a refusal without a place or a reason");
        return 0;
    }
    Keep one, widest;
    const RenderResult a = renderSome(f->pattern(), 1, one);
    const RenderResult b = renderSome(f->pattern(), 0, widest);
    if (a.outcome != b.outcome || a.faultColumn != b.faultColumn || a.faultRow != b.faultRow ||
        one.colours != widest.colours)
        fail("one lane and the widest lanes paint differently");
    return 0;
}
