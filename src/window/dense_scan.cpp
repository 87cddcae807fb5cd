#include "window/dense_scan.h"

#include "picture/renderer.h"
#include "window/canvas_origin.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace glimra {

int densityForRatio(double ratio)
{
    if (!(ratio >= 1))
        return 1;
    return int(std::min(std::floor(ratio), double(kMaxScreenDensity)));
}

namespace {

// Moves each column to its place in the dense Canvas.
class DenseHost : public RenderHost {
public:
    DenseHost(RenderHost& inner, int left, std::vector<int> ys) : inner_(inner), left_(left), ys_(std::move(ys)) {}

    void plotColumn(const ColumnView& column) override
    {
        ColumnView placed = column;
        placed.x = left_ + int(column.index);
        placed.ys = std::span<const int>(ys_.data(), std::min(ys_.size(), column.ys.size()));
        inner_.plotColumn(placed);
    }
    void yield() override { inner_.yield(); }
    bool haltRequested() override { return inner_.haltRequested(); }

private:
    RenderHost& inner_;
    int left_;
    std::vector<int> ys_;
};

}  // namespace

RenderResult renderDense(const Pattern& pattern, const PatternParameters& params, int density, long maxColumns,
                         long maxRows, RenderHost& host, const RenderOptions& options)
{
    RenderResult result;
    const std::optional<Derived> derived = deriveChecked(pattern, params);
    if (!derived) {
        result.outcome = Outcome::Faulted;
        result.faultColumn = 0;
        result.faultRow = 0;
        return result;
    }
    const Derived& d = *derived;
    if (!(d.N >= 1 && d.S >= 1))
        return result;
    // The plain scan's extent, as glimra-render sizes a dense picture.
    const std::vector<double> columns = scanCounters(d.x0, d.N, maxColumns);
    const std::vector<double> rows = scanCounters(d.y0, d.S, maxRows);
    if (columns.empty() || rows.empty()) {
        result.outcome = Outcome::Refused;
        result.reason = "offsets too large to scan";
        return result;
    }
    ScanGrid grid;
    grid.columns = long(columns.size()) * density;
    grid.rowBegin = 0;
    grid.rowEnd = long(rows.size()) * density;
    grid.column = [&](long m) { return denseCounter(d.x0, m, density, 1, 0); };
    grid.row = [&](long n) { return denseCounter(d.y0, n, density, 1, 0); };
    std::vector<int> ys(std::size_t(grid.rowEnd));
    for (std::size_t n = 0; n < ys.size(); ++n)
        ys[n] = density * (kCanvasTop + 1) + int(n);
    DenseHost dense(host, density * (kCanvasLeft + 1), std::move(ys));
    return renderGrid(pattern, d, grid, dense, options);
}

}  // namespace glimra
