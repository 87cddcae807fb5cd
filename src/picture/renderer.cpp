#include "picture/renderer.h"

#include "picture/picture.h"
#include "picture/samples.h"
#include "render/frame.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cmath>
#include <memory>
#include <tuple>
#include <vector>

namespace glimra {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBandBytes = 96u << 20;
const QRgb kBackgroundRgb = toQRgb(kBackground);

// What one pass of the renderer came to.
struct Pass {
    FaultAt fault;
    bool stopped = false;
    bool failed = false;
    std::string why;
    long kept = 0;  // bands taken from an earlier run
};

// Where the picture goes: a PNG streamed band by band, or (for other formats,
// which are never larger than kMaxPlainSide) one image written at the end, or
// a part's bands into its part file. A PNG's finished bands may also be kept
// beside it, for a render that resumes.
class Sink {
public:
    Sink(OutputFile& file, QByteArray suffix, const PictureRecipe& recipe, long width, long height, int threads,
         std::function<bool()> stop, const BandHeader* part = nullptr)
        : file_(file), suffix_(std::move(suffix)), recipe_(recipe), width_(width), height_(height), threads_(threads),
          stop_(std::move(stop))
    {
        if (part)
            part_ = std::make_unique<BandFileWriter>(file_.stream(), *part);
        else
            begin();
    }

    void keepBands(BandStore* store) { store_ = store; }
    BandStore* store() const { return store_; }
    // The kept bands no longer fit the picture (a fault changes it).
    void dropStore()
    {
        if (store_)
            store_->removeAll();
        store_ = nullptr;
    }

    bool restart(std::string* why)
    {
        if (!file_.restart(why))
            return false;
        begin();
        return true;
    }

    // `band` holds the picture's rows from `top`; with `above`, its first row
    // is only the row above the rest, which the rest is filtered against.
    bool write(const QImage& band, long top, long index, bool above = false)
    {
        if (png_ || part_) {
            const int from = above ? 1 : 0;
            if (part_ && (above || partPrevious_.empty()))
                partPrevious_ = above ? rgbRow(band, 0) : std::vector<unsigned char>(std::size_t(width_) * 3, 0);
            const unsigned char* previous = png_ ? png_->previousRow().data() : partPrevious_.data();
            CompressedBand compressed;
            if (!compressBand(band, from, previous, top + from, kPngLevel, threads_, compressed)) {
                why_ = writeFailure(0);
                return false;
            }
            if (part_) {
                partPrevious_ = compressed.lastRow;
                return part_->add(index, compressed) || (why_ = writeFailure(part_->error()), false);
            }
            if (!png_->writeBand(compressed))
                return false;
            if (store_ && !store_->keep(index, compressed, &why_))
                return false;
            return true;
        }
        for (int y = 0; y < band.height(); ++y)
            std::copy_n(reinterpret_cast<const QRgb*>(band.constScanLine(y)), band.width(),
                        reinterpret_cast<QRgb*>(whole_.scanLine(int(top) + y)));
        return true;
    }

    bool writeKept(const CompressedBand& band) { return png_->writeBand(band); }

    std::string failure() const { return !why_.empty() ? why_ : png_ ? png_->failure() : std::string(); }

    bool finish(std::string* why, const FaultAt& fault)
    {
        if (part_) {
            const PartFault f = fault.found() ? PartFault{fault.m, fault.n} : PartFault{};
            if (part_->finish(f))
                return true;
            *why = writeFailure(part_->error());
            return false;
        }
        if (png_) {
            if (png_->finish())
                return true;
            *why = png_->failure();
            return false;
        }
        if (into_) {
            *into_ = whole_;
            return true;
        }
        return writeImage(file_, whole_, suffix_, &recipe_, why, stop_);
    }
    void into(QImage* image) { into_ = image; }

private:
    void begin()
    {
        if (suffix_ == "png") {
            png_.reset();
            png_ = std::make_unique<PngStream>(file_.stream(), int(width_), int(height_), recipeChunks(recipe_),
                                               kPngLevel, threads_);
        } else {
            whole_ = QImage(int(width_), int(height_), QImage::Format_RGB32);
            whole_.fill(kBackgroundRgb);
        }
    }

    OutputFile& file_;
    QByteArray suffix_;
    const PictureRecipe& recipe_;
    long width_, height_;
    int threads_;
    std::function<bool()> stop_;
    std::unique_ptr<PngStream> png_;
    std::unique_ptr<BandFileWriter> part_;
    std::vector<unsigned char> partPrevious_;  // the part's last row so far
    BandStore* store_ = nullptr;
    QImage* into_ = nullptr;
    std::string why_;
    QImage whole_;
};

// The picture of a request, with everything fixed before its scan.
struct Plan {
    const PictureRequest* request = nullptr;
    const Pattern* pattern = nullptr;
    PatternParameters params;
    Derived derived;
    std::vector<double> columns;  // the plain scan's counters
    std::vector<double> rows;
    int density = 1;
    int samples = 1;
    long width = 0;
    long height = 0;
    int threads = 1;
    bool bands = false;  // in bands whatever its size (a band height was asked for)
    long bandRows = 0;   // rows per band, when not plain
    bool derives = true;  // false: deriving the values faults, before any pixel

    bool plain() const
    {
        return !bands && density == 1 && samples == 1 && width <= kMaxPlainSide && height <= kMaxPlainSide;
    }
    bool stopped() const { return request->stop && request->stop(); }
    void progress(double done) const
    {
        if (request->progress)
            request->progress(done);
    }
};

// Column or row m (0-based) of the picture. Plain pictures use the scan's
// own counters; denser ones origin + M / density for the 1-based M, and each
// sample sits evenly spaced inside its pixel around that.
double pictureCounter(const Plan& plan, double origin, long m, int sample, const std::vector<double>& plainRun)
{
    if (plan.density == 1 && plan.samples == 1)
        return plainRun[std::size_t(m)];
    return denseCounter(origin, m, plan.density, plan.samples, sample);
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
    grid.column = [&plan, left, sx](long m) { return pictureCounter(plan, plan.derived.x0, left + m, sx, plan.columns); };
    grid.row = [&plan, sy](long n) { return pictureCounter(plan, plan.derived.y0, n, sy, plan.rows); };
    return grid;
}

// A sample's column, into an image whose first row is picture row `top`
// when there is one sample per pixel, else into the sums of its light.
void plotSample(QImage& image, LinearSums& sums, const ColumnView& column, long top)
{
    if (sums.empty())
        glimra::plotColumn(image, column, QPoint(0, int(top)));
    else
        sums.add(column, top, image.width());
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
    BandRender(const Plan& plan, long bandRows) : plan_(plan), bandRows_(bandRows)
    {
    }

    Pass run(Sink& sink)
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
        sink.dropStore();
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
    Pass pass(Sink& sink, const FaultAt& limit)
    {
        Pass out;
        const long bands = (plan_.height + bandRows_ - 1) / bandRows_;
        const int perPixel = plan_.samples * plan_.samples;
        const PartOf part = plan_.request->part;
        const auto [firstBand, endBand] = part.any() ? partBands(bands, part) : std::pair<long, long>(0, bands);
        const long share = std::max(1L, endBand - firstBand);
        for (long b = firstBand; b < endBand; ++b) {
            if (sink.store() && !limit.found() && !out.fault.found()) {
                if (const auto kept = sink.store()->load(b)) {
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
            QImage band(int(plan_.width), int(rows), QImage::Format_RGB32);
            band.fill(kBackgroundRgb);
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

    static void leaveBackgroundFrom(QImage& band, long top, const FaultAt& fault)
    {
        for (int y = 0; y < band.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(band.scanLine(y));
            for (long x = std::max(0L, fault.m); x < band.width(); ++x)
                if (fault.covers(x, top + y))
                    line[x] = kBackgroundRgb;
        }
    }

    class Host : public RenderHost {
    public:
        Host(BandRender& owner, QImage& band, LinearSums& sums, long top, double doneBefore, double share,
             long columns)
            : owner_(owner), band_(band), sums_(sums), top_(top), doneBefore_(doneBefore), share_(share),
              columns_(columns)
        {
        }
        void plotColumn(const ColumnView& column) override
        {
            plotSample(band_, sums_, column, top_);
        }
        void yield() override
        {
            ++done_;
            owner_.plan_.progress(doneBefore_ + share_ * double(done_) / double(columns_));
        }
        bool haltRequested() override { return owner_.plan_.stopped(); }

    private:
        BandRender& owner_;
        QImage& band_;
        LinearSums& sums_;
        long top_;
        double doneBefore_, share_;
        long columns_;
        long done_ = 0;
    };

    const Plan& plan_;
    long bandRows_;
};

// The window's own scan, into an image the size of the scan: image pixel
// (x, y) is Canvas pixel (161 + x, 51 + y).
Pass renderPlain(const Plan& plan, QImage& picture)
{
    class Host : public RenderHost {
    public:
        Host(const Plan& plan, QImage& picture, long columns) : plan_(plan), picture_(picture), columns_(columns)
        {
        }
        void plotColumn(const ColumnView& column) override
        {
            glimra::plotColumn(picture_, column, QPoint(kCanvasLeft + 1, kCanvasTop + 1));
        }
        void yield() override { plan_.progress(double(++done_) / double(columns_)); }
        bool haltRequested() override { return plan_.stopped(); }

    private:
        const Plan& plan_;
        QImage& picture_;
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


// Bands chosen by memory hold whole pieces of the PNG (64 rows). A picture
// split into parts is cut so that every part gets its share of the rows: by
// memory alone a picture that fits one band would leave all parts but the last
// with nothing to do. Every part computes the same height from the same
// request, which is what lets their bands be joined.
long bandRowsOf(const PictureRequest& request, long width, long height, int samples)
{
    if (request.bandRows > 0)
        return std::min(request.bandRows, height);
    const std::size_t bytesPerRow =
        std::size_t(width) * (samples > 1 ? sizeof(QRgb) + LinearSums::kBytesPerPixel : sizeof(QRgb));
    const long byMemory = std::max<long>(1, long(kBandBytes / std::max<std::size_t>(1, bytesPerRow)));
    long rows = byMemory < 64 ? byMemory : byMemory / 64 * 64;
    // Parts get the tallest bands of whole pieces that leave each of them
    // one: a band that ends between pieces would make the joined file differ
    // byte for byte from the one rendered whole. Below 64 rows a part, the
    // picture has fewer parts than asked, and the plan refuses it.
    const long parts = request.part.n;
    if (request.part.any() && rows >= 64) {
        rows = std::min(rows, ((height + parts - 1) / parts + 63) / 64 * 64);
        while (rows > 64 && (height + rows - 1) / rows < parts)
            rows -= 64;
    }
    return std::min(rows, height);
}

// Everything about a request that is fixed before its scan; `out` says whether
// there is anything to render.
Plan makePlan(const PictureRequest& request, PicturePlan& out)
{
    Plan plan;
    plan.request = &request;
    plan.pattern = request.pattern;
    plan.params = readParameters(request.recipe.texts);
    plan.density = request.recipe.density;
    plan.samples = request.recipe.samples;
    plan.threads = request.threads > 0 ? request.threads : defaultThreadCount();
    plan.bands = request.bandRows > 0 || request.resume || request.part.any();
    out.threads = plan.threads;
    out.pattern = plan.pattern;
    // The sizes do not depend on whether zoom or brightness overflow; such a
    // fault shows as a picture in the background colour.
    plan.derived = plan.pattern->derive(plan.params);
    plan.derives = deriveChecked(*plan.pattern, plan.params).has_value();
    out.derives = plan.derives;
    const Derived& d = plan.derived;
    if (!(d.N >= 1 && d.S >= 1)) {
        out.verdict = PicturePlan::Verdict::NothingToPaint;
        return plan;
    }
    plan.columns = scanCounters(d.x0, d.N, kMaxSide + 1);
    plan.rows = scanCounters(d.y0, d.S, kMaxSide + 1);
    if (plan.columns.empty() || plan.rows.empty()) {
        out.verdict = PicturePlan::Verdict::Refused;
        out.why = std::string(plan.pattern->name) + ": offsets too large to scan (beyond 9e15); refused";
        return plan;
    }
    plan.width = long(plan.columns.size()) * plan.density;
    plan.height = long(plan.rows.size()) * plan.density;
    out.width = plan.width;
    out.height = plan.height;
    if (plan.width > kMaxSide || plan.height > kMaxSide) {
        char line[200];
        std::snprintf(line, sizeof line, "a picture of %.15g x %.15g is larger than %ld x %ld; refused",
                      std::floor(d.N) * plan.density, std::floor(d.S) * plan.density, kMaxSide, kMaxSide);
        out.verdict = PicturePlan::Verdict::Refused;
        out.why = line;
        return plan;
    }
    const bool png = pictureFormat(QString::fromStdString(request.output)) == "png";
    if (!png && (plan.width > kMaxPlainSide || plan.height > kMaxPlainSide)) {
        out.verdict = PicturePlan::Verdict::Refused;
        out.why = "a picture of " + std::to_string(plan.width) + " x " + std::to_string(plan.height) +
                  " is larger than " + std::to_string(kMaxPlainSide) + " on a side: write it as .png; refused";
        return plan;
    }
    if (!plan.plain()) {
        plan.bandRows = bandRowsOf(request, plan.width, plan.height, plan.samples);
        const PartOf part = request.part;
        const long bands = (plan.height + plan.bandRows - 1) / plan.bandRows;
        // Bands asked for by number may leave parts empty; that was asked.
        if (part.any() && bands < part.n && request.bandRows == 0) {
            out.verdict = PicturePlan::Verdict::Refused;
            out.why = "a picture of " + std::to_string(plan.height) + " rows can be split into at most " +
                      std::to_string(bands) + " parts, not " + std::to_string(part.n) + "; refused";
        }
    }
    return plan;
}

QImage backgroundImage(long width, long height)
{
    QImage picture(int(width), int(height), QImage::Format_RGB32);
    picture.fill(kBackgroundRgb);
    return picture;
}

}  // namespace

double denseCounter(double origin, long m, int density, int samples, int sample)
{
    const long M = m + 1;
    const long n = samples, k = density;
    if (n == 1)
        return origin + double(M) / double(k);
    return origin + double(2 * n * M + 2 * sample + 1 - n) / double(2 * n * k);
}

PicturePlan planPicture(const PictureRequest& request)
{
    PicturePlan out;
    (void)makePlan(request, out);
    return out;
}

std::string PictureResult::ending() const
{
    if (!fault.found())
        return "completed";
    return "stopped by an arithmetic fault at column " + std::to_string(fault.m + 1) + ", row " +
           std::to_string(fault.n + 1);
}

PictureResult renderPicture(const PictureRequest& request)
{
    PictureResult result;
    const Plan plan = makePlan(request, result.plan);
    switch (result.plan.verdict) {
    case PicturePlan::Verdict::NothingToPaint:
        result.status = PictureResult::Status::NothingToPaint;
        return result;
    case PicturePlan::Verdict::Refused:
        result.status = PictureResult::Status::Refused;
        result.why = result.plan.why;
        return result;
    case PicturePlan::Verdict::Render:
        break;
    }

    // Fail before a long render, not after it.
    const bool inMemory = request.into != nullptr;
    OutputFile file(inMemory ? std::string() : request.part.any() ? partPath(request.output, request.part) : request.output,
                    request.part.any() ? OutputFile::Name::Derived : OutputFile::Name::Given);
    if (!inMemory && !file.open(&result.why)) {
        result.status = PictureResult::Status::CannotWrite;
        return result;
    }
    const QByteArray suffix = inMemory ? QByteArray() : pictureFormat(QString::fromStdString(request.output));
    auto cannotWrite = [&](const std::string& why) {
        result.status = PictureResult::Status::CannotWrite;
        result.why = "cannot write " + request.output + ": " + why;
        return result;
    };
    auto stopped = [&] {
        result.status = PictureResult::Status::Stopped;
        return result;
    };

    const auto start = Clock::now();
    Pass out;
    QImage picture;
    if (plan.plain()) {
        picture = backgroundImage(plan.width, plan.height);
        out = renderPlain(plan, picture);
    } else {
        const long rows = plan.bandRows;
        BandHeader header{bandKey(recipeChunks(request.recipe), plan.width, plan.height, rows),
                          recipeChunks(request.recipe), plan.width, plan.height, rows, 0, 0, request.part};
        if (request.part.any())
            std::tie(header.first, header.end) = partBands((plan.height + rows - 1) / rows, request.part);
        Sink sink(file, suffix, request.recipe, plan.width, plan.height, plan.threads, request.stop,
                  request.part.any() ? &header : nullptr);
        if (inMemory)
            sink.into(request.into);
        std::unique_ptr<BandStore> store;
        if (request.resume) {
            store = std::make_unique<BandStore>(resumeFolder(request.output), header);
            if (!store->prepare(&result.why)) {
                result.status = PictureResult::Status::CannotWrite;
                return result;
            }
            sink.keepBands(store.get());
        }
        out = BandRender(plan, rows).run(sink);
        if (!out.stopped && !out.failed && !sink.finish(&out.why, out.fault))
            out.failed = true;
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.fault = out.fault;
    result.keptBands = out.kept;
    if (out.stopped)
        return stopped();
    result.rendered = true;
    if (out.failed)
        return cannotWrite(out.why);
    if (inMemory) {
        if (plan.plain())
            *request.into = picture;
        result.status = PictureResult::Status::Written;
        return result;
    }
    std::string why;
    if (plan.plain() && !writeImage(file, picture, suffix, &request.recipe, &why, request.stop)) {
        if (plan.stopped())
            return stopped();
        return cannotWrite(why);
    }
    if (plan.stopped())
        return stopped();
    if (!file.commit(&result.why)) {
        result.status = PictureResult::Status::CannotWrite;
        return result;
    }
    if (request.resume)
        BandStore::removeBandsOf(request.output);
    result.status = PictureResult::Status::Written;
    return result;
}

std::optional<PictureEstimate> estimatePicture(const PictureRequest& request)
{
    PicturePlan verdict;
    const Plan plan = makePlan(request, verdict);
    if (verdict.verdict != PicturePlan::Verdict::Render || !plan.derives)
        return std::nullopt;
    // Five blocks, from the middle and around it, at the picture's density
    // and samples: one block alone can be all sky or all detail.
    const long w = std::min(plan.width, 32L), h = std::min(plan.height, 32L);
    const int perPixel = plan.samples * plan.samples;
    const double places[5][2] = {{0.5, 0.5}, {0.2, 0.2}, {0.8, 0.2}, {0.2, 0.8}, {0.8, 0.8}};
    double seconds = 0, bytes = 0;
    for (const auto& at : places) {
        const long left = long(double(plan.width - w) * at[0]), top = long(double(plan.height - h) * at[1]);
        QImage block = backgroundImage(w, h);
        LinearSums sums(perPixel > 1 ? std::size_t(w) * std::size_t(h) : 0);
        class Host : public RenderHost {
        public:
            Host(QImage& block, LinearSums& sums, long top) : block_(block), sums_(sums), top_(top) {}
            void plotColumn(const ColumnView& column) override
            {
                plotSample(block_, sums_, column, top_);
            }

        private:
            QImage& block_;
            LinearSums& sums_;
            long top_;
        } host(block, sums, top);
        const auto start = Clock::now();
        for (int s = 0; s < perPixel; ++s) {
            const ScanGrid grid = sampleGrid(plan, left, w, top, h, s);
            RenderOptions options;
            options.threads = plan.threads;
            (void)renderGrid(*plan.pattern, plan.derived, grid, host, options);
        }
        if (perPixel > 1)
            sums.averageInto(block, w, perPixel);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();

        // The block's picture data as the PNG stream compresses it.
        char* data = nullptr;
        std::size_t size = 0;
        std::FILE* memory = open_memstream(&data, &size);
        if (!memory)
            return std::nullopt;
        {
            PngStream png(memory, int(w), int(h), {}, kPngLevel, 1);
            png.writeRows(block);
            png.finish();
        }
        std::fclose(memory);
        std::free(data);
        bytes += double(size);
    }
    const double scale = double(plan.width) * double(plan.height) / double(5 * w * h);
    return PictureEstimate{seconds * scale, bytes * scale};
}

std::optional<QImage> renderPlainImage(const PictureRequest& request)
{
    PicturePlan verdict;
    const Plan plan = makePlan(request, verdict);
    if (verdict.verdict != PicturePlan::Verdict::Render || !plan.plain())
        return std::nullopt;
    QImage picture = backgroundImage(plan.width, plan.height);
    if (renderPlain(plan, picture).stopped)
        return std::nullopt;
    return picture;
}

}  // namespace glimra
