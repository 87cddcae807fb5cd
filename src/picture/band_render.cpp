#include "picture/band_render.h"

#include "picture/picture.h"

#include <algorithm>

namespace glimra {
namespace {

// Column or row m (0-based) of the picture. Plain pictures use the scan's
// own counters; denser ones origin + M / density for the 1-based M, and each
// sample sits evenly spaced inside its pixel around that.
double pictureCounter(const Plan& plan, double origin, long m, int sample, const std::vector<double>& plainRun)
{
    if (plan.density == 1 && plan.samples == 1)
        return plainRun[std::size_t(m)];
    return denseCounter(origin, m, plan.density, plan.samples, sample);
}

// Renders in bands of rows, each band streamed out before the next. Every pixel
// is a pure function of its counters, so bands give the picture a single scan
// gives, except where a fault ends the scan: there the first fault in scan
// order decides what is painted, and a band above it may already hold columns
// right of it. So a fault found is noted, the bands after it scan only up to
// its column (an earlier fault can still hide there), and the picture is then
// written again with everything at or after the first fault left as
// background.
class BandRender {
public:
    BandRender(const Plan& plan, long bandRows) : plan_(plan), bandRows_(bandRows) {}

    Pass run(BandSink& sink)
    {
        // A part only notes a fault: what it changes reaches beyond the
        // part's bands, and joining refuses such parts.
        if (plan_.request->part.any()) {
            FaultAt none;
            if (!plan_.derives)
                none.note(0, 0);
            Pass out = pass(sink, FaultAt{});
            if (none.found())
                out.fault = none;
            return out;
        }
        FaultAt first;
        if (!plan_.derives) {
            // As the plain scan does: the render ends before its first pixel.
            first.note(0, 0);
            Pass out = pass(sink, first);
            out.fault = first;
            return out;
        }
        Pass out = pass(sink, FaultAt{});
        if (out.stopped || out.failed || !out.fault.found())
            return out;
        sink.dropKept();
        if (!sink.restart(&out.why)) {
            out.failed = true;
            return out;
        }
        first = out.fault;
        out = pass(sink, first);
        out.fault = first;
        return out;
    }

private:
    // With `limit`, the picture's first fault is known: pixels at or after it
    // stay background.
    Pass pass(BandSink& sink, const FaultAt& limit)
    {
        Pass out;
        const long bands = (plan_.height + bandRows_ - 1) / bandRows_;
        const int perPixel = plan_.samples * plan_.samples;
        const PartOf part = plan_.request->part;
        const auto [firstBand, endBand] = part.any() ? partBands(bands, part) : std::pair<long, long>(0, bands);
        const long share = std::max(1L, endBand - firstBand);
        for (long b = firstBand; b < endBand; ++b) {
            if (!limit.found() && !out.fault.found()) {
                if (const auto kept = sink.kept(b)) {
                    if (!sink.writeKept(*kept)) {
                        out.failed = true;
                        out.why = sink.failure();
                        return out;
                    }
                    ++out.kept;
                    plan_.progress(double(b + 1 - firstBand) / double(share));
                    continue;
                }
            }
            // A part's first band is filtered against the row above it,
            // which the part renders too.
            const bool above = part.any() && b == firstBand && b > 0;
            const long top = b * bandRows_ - (above ? 1 : 0);
            const long rows = std::min(bandRows_, plan_.height - b * bandRows_) + (above ? 1 : 0);
            const FaultAt& known = limit.found() ? limit : out.fault;
            const long columns = known.found() ? std::min(plan_.width, known.m + 1) : plan_.width;
            Pixels band(int(plan_.width), int(rows), kBackgroundRgb);
            LinearSums sums(perPixel > 1 ? std::size_t(plan_.width) * std::size_t(rows) : 0);
            for (int s = 0; s < perPixel; ++s) {
                const ScanGrid grid = sampleGrid(plan_, 0, columns, top, rows, s);
                Host host(*this, band, sums, top, (double(b - firstBand) * perPixel + s) / double(share * perPixel),
                          1.0 / double(share * perPixel), columns);
                RenderOptions options;
                options.threads = plan_.threads;
                const RenderResult r = renderGrid(*plan_.pattern, plan_.derived, grid, host, options);
                if (plan_.stopped()) {
                    out.stopped = true;
                    return out;
                }
                if (r.outcome == glimra::Outcome::Faulted)
                    out.fault.note(r.faultColumn, r.faultRow);
            }
            if (perPixel > 1)
                sums.averageInto(band, columns, perPixel);
            if (limit.found())
                leaveBackgroundFrom(band, top, limit);
            // Once a fault is found the picture will be written again; until
            // then every band goes out as soon as it is done.
            if ((limit.found() || !out.fault.found()) && !sink.write(band, top, b, above)) {
                out.failed = true;
                out.why = sink.failure();
                return out;
            }
        }
        return out;
    }

    static void leaveBackgroundFrom(Pixels& band, long top, const FaultAt& fault)
    {
        for (int y = 0; y < band.height(); ++y) {
            Pixel* line = band.row(y);
            for (long x = std::max(0L, fault.m); x < band.width(); ++x)
                if (fault.covers(x, top + y))
                    line[x] = kBackgroundRgb;
        }
    }

    class Host : public RenderHost {
    public:
        Host(BandRender& owner, Pixels& band, LinearSums& sums, long top, double doneBefore, double share, long columns)
            : owner_(owner), band_(band), sums_(sums), top_(top), doneBefore_(doneBefore), share_(share),
              columns_(columns)
        {
        }
        void plotColumn(const ColumnView& column) override { plotSample(band_, sums_, column, top_); }
        void yield() override
        {
            ++done_;
            owner_.plan_.progress(doneBefore_ + share_ * double(done_) / double(columns_));
        }
        bool haltRequested() override { return owner_.plan_.stopped(); }

    private:
        BandRender& owner_;
        Pixels& band_;
        LinearSums& sums_;
        long top_;
        double doneBefore_, share_;
        long columns_;
        long done_ = 0;
    };

    const Plan& plan_;
    long bandRows_;
};

}  // namespace

Pass renderInBands(const Plan& plan, BandSink& sink) { return BandRender(plan, plan.bandRows).run(sink); }

// The window's own scan, into pixels the size of the scan: render() plots
// the first pixel at (1, 1), pixel (0, 0).
Pass renderPlain(const Plan& plan, Pixels& picture)
{
    class Host : public RenderHost {
    public:
        Host(const Plan& plan, Pixels& picture, long columns) : plan_(plan), picture_(picture), columns_(columns) {}
        void plotColumn(const ColumnView& column) override { glimra::plotColumn(picture_, column, QPoint(1, 1)); }
        void yield() override { plan_.progress(double(++done_) / double(columns_)); }
        bool haltRequested() override { return plan_.stopped(); }

    private:
        const Plan& plan_;
        Pixels& picture_;
        long columns_;
        long done_ = 0;
    } host(plan, picture, plan.width);
    RenderOptions options;
    options.threads = plan.threads;
    const RenderResult r = render(*plan.pattern, plan.params, host, options);
    Pass out;
    out.stopped = plan.stopped();
    if (r.outcome == glimra::Outcome::Faulted)
        out.fault.note(r.faultColumn, r.faultRow);
    return out;
}

// The scan of sample `sample` (0 .. samples² - 1) over a block of the
// picture: `columns` columns from `left`, `rows` rows from `top`.
ScanGrid sampleGrid(const Plan& plan, long left, long columns, long top, long rows, int sample)
{
    const int sx = sample % plan.samples, sy = sample / plan.samples;
    ScanGrid grid;
    grid.columns = columns;
    grid.rowBegin = top;
    grid.rowEnd = top + rows;
    grid.column = [&plan, left, sx](long m) {
        return pictureCounter(plan, plan.derived.x0, left + m, sx, plan.columns);
    };
    grid.row = [&plan, sy](long n) { return pictureCounter(plan, plan.derived.y0, n, sy, plan.rows); };
    return grid;
}

// A sample's column, into pixels whose first row is picture row `top`
// when there is one sample per pixel, else into the sums of its light.
void plotSample(Pixels& image, LinearSums& sums, const ColumnView& column, long top)
{
    if (sums.empty())
        glimra::plotColumn(image, column, QPoint(0, int(top)));
    else
        sums.add(column, top, image.width());
}

}  // namespace glimra
