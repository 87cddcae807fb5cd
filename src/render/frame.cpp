#include "render/frame.h"

#include "math/lanes.h"

#include "render/colour.h"
#include "render/numtext.h"
#include "render/parallel.h"

#include <algorithm>
#include <cfenv>
#include <chrono>
#include <climits>
#include <cmath>
#include <vector>

namespace glimra {

PatternParameters readParameters(const PatternTexts& texts)
{
    PatternParameters p;
    p.size = Val(texts.size);
    p.x = Val(texts.x);
    p.y = Val(texts.y);
    p.zoom = Val(texts.zoom);
    p.bright = Val(texts.bright);
    return p;
}

double columnsFor(double S) { return S == 768 ? 1024 : S; }

double halfViaText(double n) { return Val(Text(n)) / 2; }

Derived sizedFrame(const PatternParameters& p)
{
    Derived d;
    d.S = p.size;
    d.N = columnsFor(d.S);
    return d;
}

Derived centredFrame(const PatternParameters& p)
{
    Derived d = sizedFrame(p);
    d.x0 = p.x - halfViaText(d.N);
    d.y0 = p.y - halfViaText(d.S);
    return d;
}

Colour packColour(const Components& c) { return packPixel(c); }

namespace {

// Beyond 2^53 adding 1 to a counter may leave it unchanged and a scan would
// never end.
constexpr double kCounterLimit = 9007199254740992.0;
// One column is held in memory per slot; this keeps a slot within 4 MiB.
constexpr long kMaxRows = 1L << 20;
constexpr long kMaxColumns = 1L << 24;
constexpr int kFaultFlags = FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID;

bool finite(const Components& c) { return std::isfinite(c.red) && std::isfinite(c.green) && std::isfinite(c.blue); }

// The pixel for a plot position: the position goes through single
// precision, as a plot call takes it, then to the nearest pixel. Far-off
// positions are pinned well outside any picture instead of overflowing int.
int canvasPixel(double position)
{
    const double v = std::nearbyint(static_cast<double>(static_cast<float>(position)));
    if (!(v > -(1 << 30)))
        return -(1 << 30);
    if (v > (1 << 30))
        return 1 << 30;
    return static_cast<int>(v);
}

// Everything a scan reads, fixed before its first column.
struct Scan {
    const Pattern* pattern = nullptr;
    Derived d;
    std::vector<double> columns;  // the column counter of every column
    std::vector<int> xs;          // and where it is plotted
    std::vector<double> rows;     // the row counter's values, the same for every column
    std::vector<int> ys;
    std::vector<double> table;        // the pattern's row terms
    ColumnScan columnScan = nullptr;  // the column scan in use; none: pixel by pixel
    long rowBase = 0;                 // added to a fault's row number
};

// Fills the pattern's row table. A row term that faults sends every column
// through the formula as written, which finds the fault where it lies.
void prepareRows(Scan& s, int lanes)
{
    const Pattern& p = *s.pattern;
    if (!p.column)
        return;
    if (lanes <= 0)
        lanes = widestLanes();
    if (p.rowTable) {
        s.table.resize(std::size_t(p.rowTerms) * s.rows.size());
        std::feclearexcept(kFaultFlags);
        p.rowTable(s.d, s.rows.data(), s.rows.size(), s.table.data());
        if (std::fetestexcept(kFaultFlags))
            return;
    }
    s.columnScan = p.column;
    if (lanes >= 2 && p.column2 && widestLanes() >= 2)
        s.columnScan = p.column2;
    if (lanes >= 4 && p.column4 && widestLanes() >= 4)
        s.columnScan = p.column4;
    if (lanes >= 8 && p.column8 && widestLanes() >= 8)
        s.columnScan = p.column8;
}

// Recomputes a column pixel by pixel from the formula as written to find the
// first pixel whose arithmetic faulted; pixels before it are stored. Returns
// that pixel's row.
std::size_t locateFault(const Scan& s, double i, Colour* out)
{
    for (std::size_t m = 0; m < s.rows.size(); ++m) {
        std::feclearexcept(kFaultFlags);
        const Components c = s.pattern->pixel(s.d, i, s.rows[m]);
        if (std::fetestexcept(kFaultFlags) || !finite(c))
            return m;
        out[m] = packColour(c);
    }
    return s.rows.size();
}

// Computes column k. Returns how many of its pixels are good: all of them, or
// the rows before the first faulting pixel. The fault flags are tested once per
// column; only a faulting column is redone.
std::size_t computeColumn(const Scan& s, long k, Colour* out)
{
    const double i = s.columns[std::size_t(k)];
    std::feclearexcept(kFaultFlags);
    if (s.columnScan) {
        s.columnScan(s.d, ColumnArgs{i, s.rows.data(), s.table.data(), s.rows.size(), out});
    } else {
        for (std::size_t m = 0; m < s.rows.size(); ++m) {
            const Components c = s.pattern->pixel(s.d, i, s.rows[m]);
            if (!finite(c))
                return locateFault(s, i, out);
            out[m] = packColour(c);
        }
    }
    if (std::fetestexcept(kFaultFlags))
        return locateFault(s, i, out);
    return s.rows.size();
}

// A computed column: its colours and how many of them are good (all, or the
// rows before the first faulting pixel).
struct ColumnResult {
    std::vector<Colour> colours;
    std::size_t good = 0;
};

int threadCount(const RenderOptions& options)
{
    if (options.threads > 0)
        return std::min(options.threads, parallel::kMaxThreads);
    return std::min(defaultThreadCount(), parallel::kMaxThreads);
}

bool beyondCounterLimit(double from, double to)
{
    return !(std::fabs(from) < kCounterLimit && std::fabs(to) < kCounterLimit);
}

using Clock = std::chrono::steady_clock;

// Runs a prepared scan: columns in order to the host, with yield and halt
// check after each.
RenderResult runScan(Scan& scan, RenderHost& host, const RenderOptions& options)
{
    RenderResult result;
    result.rows = long(scan.rows.size());
    const long total = long(scan.columns.size());
    if (total == 0)
        return result;
    prepareRows(scan, options.lanes);

    // A few columns per thread keep every thread busy; never more than the
    // picture has, nor more than 64 MiB of columns held ahead.
    const int wanted = threadCount(options);
    const std::size_t perColumn = std::max<std::size_t>(1, scan.rows.size() * sizeof(Colour));
    const std::size_t slots =
        std::max<std::size_t>(1, std::min({std::size_t(8 * wanted), std::size_t(total), (64u << 20) / perColumn}));
    const int helpers = std::min(wanted, int(slots)) - 1;
    // Idle helpers are woken when a quarter of the slots has come free, not
    // for every column.
    const long wakeEvery = std::max<long>(1, long(slots) / 4);

    const std::size_t rows = scan.rows.size();
    parallel::Ordered<ColumnResult> job(
        total, slots, helpers,
        [&scan](long k, ColumnResult& out) {
            out.good = computeColumn(scan, k, out.colours.data());
            return out.good == out.colours.size();
        },
        [rows] {
            return ColumnResult{std::vector<Colour>(rows), 0};
        });
    parallel::Pool* pool = helpers > 0 ? &parallel::Pool::instance() : nullptr;
    if (pool)
        pool->open(job);
    struct Closer {
        parallel::Pool* pool;
        parallel::Work& job;
        ~Closer()
        {
            if (pool)
                pool->close(job);
        }
    } closer{pool, job};

    double serial = 0;
    for (long k = 0; k < total; ++k) {
        const ColumnResult& column = job.take(k);
        const std::size_t good = column.good;
        const Clock::time_point taken = options.stats ? Clock::now() : Clock::time_point();
        ColumnView view;
        view.index = k;
        view.x = scan.xs[std::size_t(k)];
        view.ys = scan.ys;
        view.colours = std::span<const Colour>(column.colours.data(), good);
        host.plotColumn(view);
        if (good < scan.rows.size()) {
            result.outcome = Outcome::Faulted;
            result.faultColumn = k;
            result.faultRow = scan.rowBase + long(good);
            break;
        }
        job.release(k);
        if (pool && (k + 1) % wakeEvery == 0)
            pool->poke(false);
        if (options.stats) {
            serial += std::chrono::duration<double>(Clock::now() - taken).count();
            ++options.stats->columns;
        }
        result.columns = k + 1;
        host.yield();
        if (host.haltRequested()) {
            if (k + 1 < total)
                result.outcome = Outcome::Halted;
            break;
        }
    }
    if (options.stats)
        options.stats->serialSeconds += serial;
    return result;
}

RenderResult refused(const char* reason)
{
    RenderResult result;
    result.outcome = Outcome::Refused;
    result.reason = reason;
    return result;
}

RenderResult faultedAtOnce()
{
    RenderResult result;
    result.outcome = Outcome::Faulted;
    result.faultColumn = 0;
    result.faultRow = 0;
    return result;
}

}  // namespace

std::vector<double> scanCounters(double origin, double extent, long most)
{
    std::vector<double> run;
    const double first = origin + 1;
    const double last = origin + extent;
    if (!(first <= last) || beyondCounterLimit(first, last))
        return run;
    // By repeated addition of 1, exactly as the scan loops count.
    for (double v = first; v <= last && long(run.size()) < most; v += 1)
        run.push_back(v);
    return run;
}

int widestLanes() { return lanes::widestWidth(); }

std::optional<Derived> deriveChecked(const Pattern& pattern, const PatternParameters& params)
{
    std::feclearexcept(kFaultFlags);
    const Derived d = pattern.derive(params);
    if (std::fetestexcept(kFaultFlags) || !(std::isfinite(d.S) && std::isfinite(d.N) && std::isfinite(d.x0) &&
                                            std::isfinite(d.y0) && std::isfinite(d.Z) && std::isfinite(d.B)))
        return std::nullopt;
    return d;
}

RenderResult render(const Pattern& pattern, const PatternParameters& params, RenderHost& host,
                    const RenderOptions& options)
{
    const std::optional<Derived> derived = deriveChecked(pattern, params);
    if (!derived)
        return faultedAtOnce();
    Scan scan;
    scan.pattern = &pattern;
    scan.d = *derived;
    const Derived& d = scan.d;

    // Bounds are fixed once, when the loops are entered.
    const double iStart = d.x0 + 1;
    const double iEnd = d.x0 + d.N;
    const double jStart = d.y0 + 1;
    const double jEnd = d.y0 + d.S;
    if (!(iStart <= iEnd))
        return {};  // a size below 1: nothing to paint
    if (beyondCounterLimit(iStart, iEnd) || (jStart <= jEnd && beyondCounterLimit(jStart, jEnd)))
        return refused("offsets too large to scan (beyond 9e15)");
    if (jStart <= jEnd && jEnd - jStart >= double(kMaxRows))
        return refused("more rows than a render can hold");
    if (iEnd - iStart >= double(kMaxColumns))
        return refused("more columns than a render can hold");
    scan.rows = scanCounters(d.y0, d.S, kMaxRows);
    for (double j : scan.rows)
        scan.ys.push_back(canvasPixel((j - d.y0) + options.origin.top));
    scan.columns = scanCounters(d.x0, d.N, kMaxColumns);
    for (double i : scan.columns)
        scan.xs.push_back(canvasPixel((i - d.x0) + options.origin.left));
    return runScan(scan, host, options);
}

RenderResult renderGrid(const Pattern& pattern, const Derived& derived, const ScanGrid& grid, RenderHost& host,
                        const RenderOptions& options)
{
    if (grid.rowEnd - grid.rowBegin > kMaxRows)
        return refused("more rows than a render can hold");
    if (grid.columns > kMaxColumns)
        return refused("more columns than a render can hold");
    if (grid.rowBegin < INT_MIN || grid.rowEnd > INT_MAX)
        return refused("row numbers beyond the canvas");
    Scan scan;
    scan.pattern = &pattern;
    scan.d = derived;
    scan.rowBase = grid.rowBegin;
    for (long n = grid.rowBegin; n < grid.rowEnd; ++n) {
        scan.rows.push_back(grid.row(n));
        scan.ys.push_back(int(n));
    }
    for (long m = 0; m < grid.columns; ++m) {
        scan.columns.push_back(grid.column(m));
        scan.xs.push_back(int(m));
    }
    return runScan(scan, host, options);
}

}  // namespace glimra
