#include "render/frame.h"

#include "render/numtext.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace glimra {

PatternParameters readParameters(const PatternTexts& texts)
{
    PatternParameters p;
    p.P3 = Val(texts.three);
    p.P1 = Val(texts.one);
    p.P2 = Val(texts.two);
    p.P4 = Val(texts.four);
    p.P5 = Val(texts.five);
    return p;
}

double columnsFor(double S) { return S == 768 ? 1024 : S; }

double halfViaText(double n) { return Val(Text(n)) / 2; }

Derived sizedFrame(const PatternParameters& p)
{
    Derived d;
    d.S = p.P3;
    d.N = columnsFor(d.S);
    return d;
}

Derived centredFrame(const PatternParameters& p)
{
    Derived d = sizedFrame(p);
    d.x0 = p.P1 - halfViaText(d.N);
    d.y0 = p.P2 - halfViaText(d.S);
    return d;
}

Colour packColour(const Components& c)
{
    auto channel = [](double v) {
        if (v < 0)
            v = 0;
        if (v > 255)
            v = 255;
        return static_cast<int>(Round(v));
    };
    return rgb(channel(c.red), channel(c.green), channel(c.blue));
}

namespace {

// Beyond 2^53 adding 1 to a counter may leave it unchanged and a scan would
// never end.
constexpr double kCounterLimit = 9007199254740992.0;
// One column is held in memory per slot; this keeps a slot within 4 MiB.
constexpr long kMaxRows = 1L << 20;
constexpr int kFaultFlags = FE_OVERFLOW | FE_DIVBYZERO | FE_INVALID;

bool finite(const Components& c)
{
    return std::isfinite(c.red) && std::isfinite(c.green) && std::isfinite(c.blue);
}

// Canvas pixel for a plot position: the position goes through single
// precision, as a plot call takes it, then to the nearest pixel. Far-off
// positions are pinned well outside any canvas instead of overflowing int.
int canvasPixel(double position)
{
    const double v = std::nearbyint(static_cast<double>(static_cast<float>(position)));
    if (!(v > -(1 << 30)))
        return -(1 << 30);
    if (v > (1 << 30))
        return 1 << 30;
    return static_cast<int>(v);
}

struct Scan {
    const Pattern* pattern = nullptr;
    Derived d;
    std::vector<double> rows;  // the row counter's values, the same for every column
    double iEnd = 0;
    const ScanGrid* grid = nullptr;  // with a grid, its columns instead of iStart, iStart + 1, ...
};

// Recomputes a column pixel by pixel to find the first pixel whose arithmetic
// faulted; pixels before it are stored. Returns that pixel's row.
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

// Computes the column at counter i. Returns how many of its pixels are good:
// all of them, or the rows before the first faulting pixel. The common case
// tests the fault flags once per column; only a faulting column is redone.
std::size_t computeColumn(const Scan& s, double i, Colour* out, const std::atomic<bool>& cancelled)
{
    std::feclearexcept(kFaultFlags);
    for (std::size_t m = 0; m < s.rows.size(); ++m) {
        const Components c = s.pattern->pixel(s.d, i, s.rows[m]);
        if (!finite(c))
            return locateFault(s, i, out);
        out[m] = packColour(c);
        if ((m & 63) == 63 && cancelled.load(std::memory_order_relaxed))
            return m + 1;
    }
    if (std::fetestexcept(kFaultFlags))
        return locateFault(s, i, out);
    return s.rows.size();
}

// Columns are computed by worker threads and by the consumer itself, and handed
// to the consumer strictly in scan order. Workers run at most `slots` columns
// ahead of the consumer; a cancel stops them at once and the destructor joins
// them, so nothing outlives the render.
class Pipeline {
public:
    struct Slot {
        long k = -1;
        bool ready = false;
        double i = 0;
        std::size_t good = 0;
        std::vector<Colour> pixels;
    };

    Pipeline(const Scan& scan, double iStart, int threads, std::size_t slots)
        : scan_(scan), nextI_(iStart), slots_(slots)
    {
        for (Slot& s : slots_)
            s.pixels.resize(scan.rows.size());
        for (int t = 1; t < threads; ++t) {
            try {
                workers_.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                break;  // fewer helpers: the same picture, only slower
            }
        }
    }

    ~Pipeline()
    {
        cancel();
        for (std::thread& t : workers_)
            t.join();
    }

    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // Column k, in order; null past the last. While column k is not ready the
    // caller computes whatever column is next to claim, so it works alongside
    // the helpers instead of waiting for them.
    const Slot* column(long k)
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            Slot& s = slotFor(k);
            if (s.k == k && s.ready)
                return &s;
            if (exhausted_ && k >= total_)
                return nullptr;
            if (computeNext(lock))
                continue;
            // The claim may just have found the end of the scan.
            if (exhausted_ && k >= total_)
                return nullptr;
            ready_.wait(lock);
        }
    }

    // Whether the scan has a column k (k at most one past the consumer).
    bool exists(long k)
    {
        std::lock_guard lock(mutex_);
        if (exhausted_)
            return k < total_;
        if (scan_.grid)
            return k < scan_.grid->columns;
        return k < nextK_ || nextI_ <= scan_.iEnd;
    }

    void release(long k)
    {
        std::lock_guard lock(mutex_);
        slotFor(k).ready = false;
        slotFor(k).k = -1;
        consumed_ = k + 1;
        space_.notify_all();
    }

    void cancel()
    {
        std::lock_guard lock(mutex_);
        cancelled_.store(true, std::memory_order_relaxed);
        space_.notify_all();
    }

private:
    Slot& slotFor(long k) { return slots_[std::size_t(k) % slots_.size()]; }

    // Hands out the next column and its counter value; the counter advances by
    // repeated addition of 1, exactly as a single scan loop would.
    bool claim(long& k, double& i)
    {
        if (exhausted_)
            return false;
        if (scan_.grid ? nextK_ >= scan_.grid->columns : !(nextI_ <= scan_.iEnd)) {
            exhausted_ = true;
            total_ = nextK_;
            return false;
        }
        k = nextK_++;
        if (scan_.grid) {
            i = scan_.grid->column(k);
        } else {
            i = nextI_;
            nextI_ += 1;
        }
        Slot& s = slotFor(k);
        s.k = k;
        s.i = i;
        s.ready = false;
        return true;
    }

    bool mayClaim() const
    {
        return nextK_ < consumed_ + long(slots_.size()) && nextK_ <= firstFault_;
    }

    // Claims the next column and computes it with the lock released. False
    // when there is nothing to claim now.
    bool computeNext(std::unique_lock<std::mutex>& lock)
    {
        long k;
        double i;
        if (cancelled_.load(std::memory_order_relaxed) || !mayClaim() || !claim(k, i))
            return false;
        Slot& s = slotFor(k);
        lock.unlock();
        const std::size_t good = computeColumn(scan_, i, s.pixels.data(), cancelled_);
        lock.lock();
        if (cancelled_.load(std::memory_order_relaxed))
            return true;
        s.good = good;
        s.ready = true;
        if (good < scan_.rows.size())
            firstFault_ = std::min(firstFault_, k);
        ready_.notify_all();
        return true;
    }

    void work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            space_.wait(lock, [this] { return cancelled_.load(std::memory_order_relaxed) || exhausted_ || mayClaim(); });
            if (!computeNext(lock) && (cancelled_.load(std::memory_order_relaxed) || exhausted_))
                return;
        }
    }

    const Scan& scan_;
    std::mutex mutex_;
    std::condition_variable ready_;  // a column became ready
    std::condition_variable space_;  // the consumer freed a slot, or cancel
    std::atomic<bool> cancelled_{false};
    long nextK_ = 0;
    double nextI_;
    bool exhausted_ = false;
    long total_ = 0;
    long consumed_ = 0;
    long firstFault_ = LONG_MAX;  // no column past a known fault is worth computing
    std::vector<Slot> slots_;
    std::vector<std::thread> workers_;
};

int threadCount(const RenderOptions& options)
{
    if (options.threads > 0)
        return std::min(options.threads, 256);
    return defaultThreadCount();
}

bool beyondCounterLimit(double from, double to)
{
    return !(std::fabs(from) < kCounterLimit && std::fabs(to) < kCounterLimit);
}

// Columns in order through the pipeline, each plotted with its Canvas or grid
// position; ends at the last column, a halt or a fault.
void scanColumns(Scan& scan, double iStart, const std::vector<int>& ys, long columns, RenderHost& host,
                 const RenderOptions& options, RenderResult& result)
{
    const Derived& d = scan.d;
    result.rows = long(scan.rows.size());
    // A few columns per thread keep every thread busy; never more than the
    // picture has, nor more than 64 MiB of columns held ahead.
    const std::size_t perColumn = std::max<std::size_t>(1, scan.rows.size() * sizeof(Colour));
    const double slots =
        std::max(1.0, std::min({4.0 * threadCount(options), double(columns), double((64u << 20) / perColumn)}));
    const int threads = std::min(threadCount(options), int(slots));
    Pipeline pipeline(scan, iStart, threads, std::size_t(slots));
    for (long k = 0;; ++k) {
        const Pipeline::Slot* slot = pipeline.column(k);
        if (!slot)
            break;
        ColumnView view;
        view.index = k;
        view.x = scan.grid ? int(k) : canvasPixel((slot->i - d.x0) + kCanvasLeft);
        view.ys = ys;
        view.colours = std::span<const Colour>(slot->pixels.data(), slot->good);
        host.plotColumn(view);
        if (slot->good < scan.rows.size()) {
            result.outcome = Outcome::Faulted;
            result.faultColumn = k;
            result.faultRow = scan.grid ? scan.grid->rowBegin + long(slot->good) : long(slot->good);
            break;
        }
        pipeline.release(k);
        result.columns = k + 1;
        host.yield();
        if (host.haltRequested()) {
            if (pipeline.exists(k + 1))
                result.outcome = Outcome::Halted;
            break;
        }
    }
}

RenderResult faultedBeforeTheScan()
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
    for (double v = first; v <= last && long(run.size()) < most; v += 1)
        run.push_back(v);
    return run;
}

int defaultThreadCount() { return std::max(1, int(std::thread::hardware_concurrency())); }

std::optional<Derived> deriveChecked(const Pattern& pattern, const PatternParameters& params)
{
    std::feclearexcept(kFaultFlags);
    const Derived d = pattern.derive(params);
    if (std::fetestexcept(kFaultFlags) ||
        !(std::isfinite(d.S) && std::isfinite(d.N) && std::isfinite(d.x0) && std::isfinite(d.y0) &&
          std::isfinite(d.Z) && std::isfinite(d.B)))
        return std::nullopt;
    return d;
}

RenderResult render(const Pattern& pattern, const PatternParameters& params, RenderHost& host,
                    const RenderOptions& options)
{
    const std::optional<Derived> derived = deriveChecked(pattern, params);
    if (!derived)
        return faultedBeforeTheScan();
    RenderResult result;
    Scan scan;
    scan.pattern = &pattern;
    scan.d = *derived;
    const Derived& d = scan.d;

    // Bounds are fixed once, when the loops are entered.
    const double iStart = d.x0 + 1;
    scan.iEnd = d.x0 + d.N;
    const double jStart = d.y0 + 1;
    const double jEnd = d.y0 + d.S;
    if (!(iStart <= scan.iEnd))
        return result;  // a size below 1: nothing to paint
    if (beyondCounterLimit(iStart, scan.iEnd) || (jStart <= jEnd && beyondCounterLimit(jStart, jEnd))) {
        result.outcome = Outcome::Refused;
        result.reason = "offsets too large to scan (beyond 9e15)";
        return result;
    }
    if (jStart <= jEnd && jEnd - jStart >= double(kMaxRows)) {
        result.outcome = Outcome::Refused;
        result.reason = "more rows than a render can hold";
        return result;
    }
    scan.rows = scanCounters(d.y0, d.S, kMaxRows);

    std::vector<int> ys(scan.rows.size());
    for (std::size_t m = 0; m < ys.size(); ++m)
        ys[m] = canvasPixel((scan.rows[m] - d.y0) + kCanvasTop);
    scanColumns(scan, iStart, ys, long(std::floor(d.N)), host, options, result);
    return result;
}

RenderResult renderGrid(const Pattern& pattern, const Derived& derived, const ScanGrid& grid, RenderHost& host,
                        const RenderOptions& options)
{
    RenderResult result;
    if (grid.columns <= 0 || grid.rowEnd <= grid.rowBegin)
        return result;
    if (grid.rowEnd - grid.rowBegin > kMaxRows) {
        result.outcome = Outcome::Refused;
        result.reason = "more rows than a render can hold";
        return result;
    }
    Scan scan;
    scan.pattern = &pattern;
    scan.d = derived;
    scan.grid = &grid;
    std::vector<int> ys;
    for (long n = grid.rowBegin; n < grid.rowEnd; ++n) {
        scan.rows.push_back(grid.row(n));
        ys.push_back(int(n));
    }
    scanColumns(scan, 0, ys, grid.columns, host, options, result);
    return result;
}

}  // namespace glimra
