// The render frame: the one skeleton that every pattern runs in.
//
// A pattern supplies only its derived-value rule and its per-pixel formula. The
// frame owns everything else: the 768 rule, the scan with double counters, the
// clamp and Round, the colour value, the plot position, the per-column yield and
// the halt check, and the handling of arithmetic faults. The caller says what
// "plot a column", "yield" and "halt requested?" mean, so the same frame drives
// the window, the command-line renderer and the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace glimra {

// The five numbers every render reads once, before its scan.
struct PatternParameters {
    double P1 = 1;    // horizontal position
    double P2 = 1;    // vertical position
    double P3 = 150;  // size S
    double P4 = 1;    // zoom
    double P5 = 150;  // brightness
};

// The five box texts, as the window holds them at start.
struct PatternTexts {
    std::string one = "1";
    std::string two = "1";
    std::string three = "150";
    std::string four = "1";
    std::string five = "150";
};

// Val of each text, each read exactly once.
PatternParameters readParameters(const PatternTexts& texts);

// The double quotient 44 / 7 that every pattern scales its counters with.
inline constexpr double K = 44.0 / 7.0;

// Values fixed before the scan. x0/y0 are the scan origins; Z and B the zoom
// and brightness factors the pattern derives from P4 and P5.
struct Derived {
    double S = 0;
    double N = 0;
    double x0 = 0;
    double y0 = 0;
    double Z = 0;
    double B = 0;
};

// Number of columns for a size: a size of 768 paints 1024 columns.
double columnsFor(double S);

// Half of a size taken through its text form, Val(Text(n)) / 2, as the
// centring rule of most patterns does.
double halfViaText(double n);

// S = P3 and N by the 768 rule; origins, Z and B left at 0 for the pattern
// to fill in.
Derived sizedFrame(const PatternParameters& p);

// sizedFrame with the centring most patterns use:
// x0 = P1 - Val(Text(N)) / 2, y0 = P2 - Val(Text(S)) / 2.
Derived centredFrame(const PatternParameters& p);

struct Components {
    double red = 0;
    double green = 0;
    double blue = 0;
};

// A pattern: its name (the one its button shows and glimra-render accepts),
// its derived-value rule and its per-pixel formula. i is the column counter,
// j the row counter, both doubles. Both functions are pure arithmetic.
struct Pattern {
    const char* name;
    Derived (*derive)(const PatternParameters&);
    Components (*pixel)(const Derived&, double i, double j);
};

// The colour value R + 256 x G + 65536 x B.
using Colour = std::uint32_t;
inline constexpr Colour rgb(int r, int g, int b) { return Colour(r) | Colour(g) << 8 | Colour(b) << 16; }
inline constexpr int redOf(Colour c) { return int(c & 0xff); }
inline constexpr int greenOf(Colour c) { return int(c >> 8 & 0xff); }
inline constexpr int blueOf(Colour c) { return int(c >> 16 & 0xff); }

// Clamp each component to 0..255, Round it, pack it. Components must be finite.
Colour packColour(const Components& c);

// One finished column, delivered strictly in scan order. `x` is the Canvas
// column it is plotted at; `ys` holds the Canvas row of every row of the scan;
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
    long columns = 0;      // columns fully painted
    long rows = 0;         // rows per column of the scan
    long faultColumn = -1; // with Faulted: 0-based column and row of the faulting pixel
    long faultRow = -1;
    std::string reason;    // with Refused: why
};

struct RenderOptions {
    // Threads computing columns; 0 means one per core. Any count gives the
    // same picture.
    int threads = 0;
};

// Canvas position of the picture's first pixel is (161, 51).
inline constexpr int kCanvasLeft = 160;
inline constexpr int kCanvasTop = 50;

// Runs one render of `pattern` with the given parameters.
RenderResult render(const Pattern& pattern, const PatternParameters& params, RenderHost& host,
                    const RenderOptions& options = {});

// The counter values a scan runs through, from origin + 1 while within
// origin + extent, each the one before plus 1, exactly as render() counts its
// columns (origin x0, extent N) and rows (y0, S). At most `most` values; empty
// when the run cannot be scanned (beyond about 9e15), or has no value.
std::vector<double> scanCounters(double origin, double extent, long most);

// One thread per core: what a render uses when it is not told otherwise.
int defaultThreadCount();

// The pattern's derived values, or nothing when deriving them faults or gives
// a value that is not finite (a render then ends before its first pixel).
std::optional<Derived> deriveChecked(const Pattern& pattern, const PatternParameters& params);

// An explicit scan instead of the usual one: column m (0 <= m < columns) has
// the counter column(m) and row n (rowBegin <= n < rowEnd) the counter row(n).
// Denser grids and bands of rows of a large picture are scanned this way.
struct ScanGrid {
    long columns = 0;
    long rowBegin = 0;
    long rowEnd = 0;
    std::function<double(long m)> column;
    std::function<double(long n)> row;
};

// Scans a grid like render() scans its picture: columns in order, faults,
// halts and threads alike. A delivered column has x = m and ys = the row
// indices n; a fault reports its column m and row n.
RenderResult renderGrid(const Pattern& pattern, const Derived& derived, const ScanGrid& grid, RenderHost& host,
                        const RenderOptions& options = {});

}  // namespace glimra
