// The render frame: the one skeleton that every pattern runs in.
//
// A pattern supplies only its derived-value rule and its per-pixel formula. The
// frame owns everything else: the 768 rule, the scan with double counters, the
// clamp and Round, the colour value, the plot position, the per-column yield and
// the halt check, and the handling of arithmetic faults. The caller says what
// "plot a column", "yield" and "halt requested?" mean, so the same frame drives
// the window, the command-line renderer and the tests.
#pragma once

#include "render/colour.h"
#include "render/parallel.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace glimra {

// The five parameters go by one set of names throughout the core: x, y,
// size, zoom and bright. The window's boxes (TextOne, TextTwo, TextThree,
// TextFour, Textfive) and a file's keys (glimra-x ...) are mapped to them
// only where they meet the core.

// The five numbers every render reads once, before its scan.
struct PatternParameters {
    double x = 1;         // horizontal position
    double y = 1;         // vertical position
    double size = 150;    // size S
    double zoom = 1;      // zoom
    double bright = 150;  // brightness
};

// The five texts the numbers are read from, as the window's boxes hold them
// at start.
struct PatternTexts {
    std::string x = "1";
    std::string y = "1";
    std::string size = "150";
    std::string zoom = "1";
    std::string bright = "150";
    bool operator==(const PatternTexts&) const = default;
};

// Each parameter's name (as a file's key, a command-line option or a place
// spells it) and its text, in the window's order.
struct ParameterName {
    const char* name;
    std::string PatternTexts::*text;
};
inline constexpr ParameterName kParameterNames[] = {
    {"x", &PatternTexts::x},       {"y", &PatternTexts::y},           {"size", &PatternTexts::size},
    {"zoom", &PatternTexts::zoom}, {"bright", &PatternTexts::bright},
};

// Val of each text, each read exactly once.
PatternParameters readParameters(const PatternTexts& texts);

// The double quotient 44 / 7 that every pattern scales its counters with.
inline constexpr double K = 44.0 / 7.0;

// Values fixed before the scan. x0/y0 are the scan origins; Z and B the zoom
// and brightness factors the pattern derives from zoom and bright.
struct Derived {
    double S = 0;
    double N = 0;
    double x0 = 0;
    double y0 = 0;
    double Z = 0;
    double B = 0;
    // A pattern made at run time (a formula) keeps its program here and the
    // parameters its formula reads; the nineteen leave both untouched.
    const void* formula = nullptr;
    PatternParameters params;
};

// A pattern's derived-value rule: for the nineteen a plain function of the
// parameters; for a pattern made at run time one that also takes that
// pattern's own data.
class DeriveRule {
public:
    using Plain = Derived (*)(const PatternParameters&);
    using WithData = Derived (*)(const void* data, const PatternParameters&);
    constexpr DeriveRule(Plain plain) : plain_(plain) {}
    constexpr DeriveRule(WithData rule, const void* data) : withData_(rule), data_(data) {}
    Derived operator()(const PatternParameters& p) const { return plain_ ? plain_(p) : withData_(data_, p); }

private:
    Plain plain_ = nullptr;
    WithData withData_ = nullptr;
    const void* data_ = nullptr;
};

// Number of columns for a size: a size of 768 paints 1024 columns.
double columnsFor(double S);

// Half of a size taken through its text form, Val(Text(n)) / 2, as the
// centring rule of most patterns does.
double halfViaText(double n);

// S = size and N by the 768 rule; origins, Z and B left at 0 for the pattern
// to fill in.
Derived sizedFrame(const PatternParameters& p);

// sizedFrame with the centring most patterns use:
// x0 = x - Val(Text(N)) / 2, y0 = y - Val(Text(S)) / 2.
Derived centredFrame(const PatternParameters& p);

// One column of a pattern's formula at once: the colours of rows j[0 .. count)
// at column counter i, written to out. `table` holds the pattern's row terms
// (see Pattern::rowTable).
struct ColumnArgs {
    double i = 0;
    const double* j = nullptr;
    const double* table = nullptr;
    std::size_t count = 0;
    Colour* out = nullptr;
};

// A pattern: its name (the one its button shows and glimra-render accepts),
// its derived-value rule and its per-pixel formula. i is the column counter,
// j the row counter, both doubles. Both functions are pure arithmetic.
//
// `pixel` is the formula as written, one pixel at a time. `column` (one row
// at a time), `column2` (SSE2 or NEON registers of two lanes), `column4` (AVX2
// registers of four) and `column8` (AVX-512 registers of eight; each where the
// build and the processor have them) evaluate
// the same formula over a whole column, reading the terms that depend on the row alone from a table that
// `rowTable` fills once per render (`rowTerms` arrays of one value per row,
// one array after the other). They give bit for bit the colours that `pixel`
// gives; they may leave a pixel that faults with any colour, since a column
// that faults is computed again pixel by pixel from `pixel`.
// (The same formula with other functions, for the tools' checks and the
// benchmark, is in patterns/checked.h.)
using PixelFormula = Components (*)(const Derived&, double i, double j);
using ColumnScan = void (*)(const Derived&, const ColumnArgs&);
using RowTable = void (*)(const Derived&, const double* j, std::size_t count, double* table);

struct Pattern {
    const char* name;
    DeriveRule derive;
    PixelFormula pixel;
    ColumnScan column = nullptr;
    int rowTerms = 0;
    RowTable rowTable = nullptr;
    ColumnScan column2 = nullptr;
    ColumnScan column4 = nullptr;
    ColumnScan column8 = nullptr;
};

// One finished column, delivered strictly in scan order. `x` is the column it
// is plotted at; `ys` holds the row every row of the scan is plotted at (see
// PlotOrigin);
// `colours` holds one colour per row, fewer only in the column where an
// arithmetic fault ended the render (the pixels before the fault).
struct ColumnView {
    long index = 0;  // 0-based column number in scan order
    int x = 0;
    std::span<const int> ys;
    std::span<const Colour> colours;
};

// What the caller supplies.
class RenderHost {
public:
    virtual ~RenderHost() = default;
    virtual void plotColumn(const ColumnView& column) = 0;
    // Called after every completed column, before the halt check.
    virtual void yield() {}
    virtual bool haltRequested() { return false; }
};

enum class Outcome {
    Completed,  // every column painted (also a size below 1: nothing to paint)
    Halted,     // the host asked to halt after `columns` columns
    Faulted,    // an overflow, division by zero or invalid operation
    Refused,    // offsets or sizes the scan cannot run through; nothing painted
};

struct RenderResult {
    Outcome outcome = Outcome::Completed;
    long columns = 0;       // columns fully painted
    long rows = 0;          // rows per column of the scan
    long faultColumn = -1;  // with Faulted: 0-based column and row of the faulting pixel
    long faultRow = -1;
    std::string reason;  // with Refused: why
};

// Where the consuming thread's time went, for the benchmark.
struct RenderStats {
    double serialSeconds = 0;  // taking each finished column, plotting it and handing its slot back
    long columns = 0;          // columns delivered
};

// Where render() plots: the column counter i at x = left + (i - x0), the row
// counter j at y = top + (j - y0), each through single precision to the
// nearest pixel, as the design's plot call takes it. The first pixel of a
// picture is at (left + 1, top + 1); the caller says where that is (the window
// its canvas, a picture file its own corner).
struct PlotOrigin {
    int left = 0;
    int top = 0;
};

struct RenderOptions {
    // Threads computing columns; 0 means defaultThreadCount(). Any count gives
    // the same picture.
    int threads = 0;
    RenderStats* stats = nullptr;  // filled in when given
    // The column scan by its registers' lanes: 0 for the widest this
    // processor has, else 1, 2 (SSE2 or NEON), 4 (AVX2 with FMA) or 8 (AVX-512 F, DQ
    // and VL); a width the build or processor lacks falls back to a narrower
    // one. Every width gives the same picture.
    int lanes = 0;
    PlotOrigin origin = {};  // render() only; renderGrid() plots at m and n
};

// The widest column scan a render can use here, by its registers' lanes: 8
// with AVX-512 F, DQ and VL, 4 with AVX2 and FMA, 2 on any other x86-64, else
// 1 (GLIMRA_LANES caps it).
int widestLanes();

// One thread per core: what a render uses unless told otherwise.
using parallel::defaultThreadCount;

// The counter values a scan runs through, from origin + 1 while within
// origin + extent, each the one before plus 1, exactly as render() counts its
// columns (origin x0, extent N) and rows (y0, S). At most `most` values; empty
// when the run cannot be scanned (beyond about 9e15), or has no value.
std::vector<double> scanCounters(double origin, double extent, long most);

// Runs one render of `pattern` with the given parameters.
RenderResult render(const Pattern& pattern, const PatternParameters& params, RenderHost& host,
                    const RenderOptions& options = {});

// The pattern's derived values, or nothing when deriving them faults or gives
// a value that is not finite (a render then ends at once with a fault at
// column 0, row 0).
std::optional<Derived> deriveChecked(const Pattern& pattern, const PatternParameters& params);

// An explicit scan: columns m = 0 .. columns - 1 in order, each over the rows
// n = rowBegin .. rowEnd - 1, with column counter column(m) and row counter
// row(n). Both functions are called on the calling thread only, before the
// scan, once per column and once per row.
struct ScanGrid {
    long columns = 0;
    long rowBegin = 0, rowEnd = 0;
    std::function<double(long m)> column;
    std::function<double(long n)> row;
};

// Renders a grid with already derived values: ColumnView.index and .x are m,
// .ys holds the row numbers n. Halts, yields, threads and faults behave as in
// render(); a fault ends the render with faultColumn = m and faultRow = n of
// the first faulting pixel. Grids of more than 2^20 rows or 2^24 columns are
// refused.
RenderResult renderGrid(const Pattern& pattern, const Derived& derived, const ScanGrid& grid, RenderHost& host,
                        const RenderOptions& options = {});

}  // namespace glimra
