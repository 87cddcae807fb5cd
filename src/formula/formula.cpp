// A compiled formula as a Pattern: its derived-value rule, its formula one
// pixel at a time, its row table and its column scans of one, two (SSE2),
// four (AVX2) and eight (AVX-512) lanes.
#include "formula/formula.h"
#include "formula/evaluate.h"

#include <cfenv>
#include <cmath>
#include <vector>

namespace glimra::formula {

std::unique_ptr<Program> compileProgram(std::string_view text, Error& error);

namespace {

const Program& programOf(const Derived& d) { return *static_cast<const Program*>(d.formula); }

void paramsOf(const PatternParameters& p, double* out)
{
    out[0] = p.x;
    out[1] = p.y;
    out[2] = p.size;
    out[3] = p.zoom;
    out[4] = p.bright;
}

// Every value fixed before the scan, computed once. One that is not finite
// (from a parameter that is not) cannot be painted from, as one that
// overflows cannot: both count as a fault of the derived values.
Derived deriveFormula(const void* data, const PatternParameters& params)
{
    const Program& p = *static_cast<const Program*>(data);
    Derived d = sizedFrame(params);
    d.formula = data;
    d.params = params;
    double in[5];
    paramsOf(params, in);
    std::vector<double> values(p.nodes.size());
    bool finite = true;
    for (std::uint32_t k = 0; k < p.nodes.size(); ++k) {
        if (p.stage[k] != kRender)
            continue;
        values[k] = evaluateNode(p, k, in, 0, 0, values.data());
        finite = finite && std::isfinite(values[k]);
    }
    if (!finite)
        std::feraiseexcept(FE_INVALID);
    d.x0 = values[p.x0];
    d.y0 = values[p.y0];
    d.Z = p.zoomFactor >= 0 ? values[std::size_t(p.zoomFactor)] : params.zoom;
    d.B = p.brightFactor >= 0 ? values[std::size_t(p.brightFactor)] : params.bright;
    return d;
}

// The values a column reads before its pixel stage: those fixed per render
// (computed again here, to the same bits as when the render derived them)
// and the column's own.
std::vector<double> valuesBeforePixels(const Program& p, const Derived& d, double i)
{
    double in[5];
    paramsOf(d.params, in);
    std::vector<double> values(p.nodes.size());
    for (const std::uint32_t k : p.render)
        values[k] = evaluateNode(p, k, in, i, 0, values.data());
    for (const std::uint32_t k : p.column)
        values[k] = evaluateNode(p, k, in, i, 0, values.data());
    return values;
}

Components pixelFormula(const Derived& d, double i, double j)
{
    const Program& p = programOf(d);
    double in[5];
    paramsOf(d.params, in);
    std::vector<double> values(p.nodes.size());
    for (const std::uint32_t k : p.render)
        values[k] = evaluateNode(p, k, in, i, j, values.data());
    for (std::uint32_t k = 0; k < p.nodes.size(); ++k)
        if (p.stage[k] != kRender)
            values[k] = evaluateNode(p, k, in, i, j, values.data());
    return {values[p.colours[0]], values[p.colours[1]], values[p.colours[2]]};
}

void rowTableFormula(const Derived& d, const double* j, std::size_t count, double* table)
{
    const Program& p = programOf(d);
    if (p.rowTerms.empty())
        return;
    std::vector<double> values = valuesBeforePixels(p, d, 0);
    double in[5];
    paramsOf(d.params, in);
    for (std::size_t m = 0; m < count; ++m) {
        for (const std::uint32_t k : p.row)
            values[k] = evaluateNode(p, k, in, 0, j[m], values.data());
        for (std::size_t t = 0; t < p.rowTerms.size(); ++t)
            table[t * count + m] = values[p.rowTerms[t]];
    }
}

using StageRun = void (*)(const PixelStage&, const double*, double*, const ColumnArgs&);

void columnWith(StageRun run, const Derived& d, const ColumnArgs& col)
{
    const Program& p = programOf(d);
    const std::vector<double> values = valuesBeforePixels(p, d, col.i);
    std::vector<double> slots(std::size_t(p.slots) * kBlock);
    const PixelStage stage{p.pixel.data(), p.pixel.size(), p.red, p.green, p.blue};
    run(stage, values.data(), slots.data(), col);
}

void columnOne(const Derived& d, const ColumnArgs& col) { columnWith(&pixelStage<ExactOne>, d, col); }

#if defined(GLIMRA_LANES2_TYPES)
void columnTwo(const Derived& d, const ColumnArgs& col)
{
    columnWith(&pixelStage<lanes::Twice<lanes::Twice<lanes::Two>>>, d, col);
}
#define GLIMRA_FORMULA_LANES2 &columnTwo
#else
#define GLIMRA_FORMULA_LANES2 nullptr
#endif

#if defined(GLIMRA_HAVE_LANES4)
void columnFour(const Derived& d, const ColumnArgs& col) { columnWith(&lanes4::pixelStage, d, col); }
#define GLIMRA_FORMULA_LANES4 &columnFour
#else
#define GLIMRA_FORMULA_LANES4 nullptr
#endif

#if defined(GLIMRA_HAVE_LANES8)
void columnEight(const Derived& d, const ColumnArgs& col) { columnWith(&lanes8::pixelStage, d, col); }
#define GLIMRA_FORMULA_LANES8 &columnEight
#else
#define GLIMRA_FORMULA_LANES8 nullptr
#endif

}  // namespace

Formula::Formula(std::unique_ptr<Program> program)
    : program_(std::move(program)), pattern_{"formula",
                                             DeriveRule(&deriveFormula, program_.get()),
                                             &pixelFormula,
                                             &columnOne,
                                             int(program_->rowTerms.size()),
                                             &rowTableFormula,
                                             GLIMRA_FORMULA_LANES2,
                                             GLIMRA_FORMULA_LANES4,
                                             GLIMRA_FORMULA_LANES8}
{
}

Formula::~Formula() = default;

std::unique_ptr<Formula> Formula::compile(std::string_view text, Error& error)
{
    std::unique_ptr<Program> program = compileProgram(text, error);
    if (!program)
        return nullptr;
    return std::unique_ptr<Formula>(new Formula(std::move(program)));
}

ProgramSize Formula::size() const
{
    ProgramSize s;
    s.perRender = int(program_->render.size());
    s.perColumn = int(program_->column.size());
    s.perRow = int(program_->rowTerms.size());
    s.perPixel = int(program_->pixel.size());
    return s;
}

}  // namespace glimra::formula
