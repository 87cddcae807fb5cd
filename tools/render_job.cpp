#include "render_job.h"

#include "picture/picture.h"
#include "picture/picture_file.h"
#include "picture/samples.h"
#include "render/frame.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace glimra {

volatile std::sig_atomic_t g_stopSignal = 0;

namespace {

using Clock = std::chrono::steady_clock;

constexpr long kMaxPlainSide = 8192;   // larger pictures go in bands, as PNG
constexpr long kMaxSide = 65536;
constexpr std::size_t kBandBytes = 96u << 20;
const QRgb kBackground = qRgb(64, 64, 64);

bool interrupted() { return g_stopSignal != 0; }

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A one-line progress bar on a terminal, for renders that take a while.
class Progress {
public:
    Progress() : shown_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}
    ~Progress() { clear(); }

    void update(double done)
    {
        if (!shown_)
            return;
        const double elapsed = secondsSince(start_);
        if (elapsed < 1 || elapsed - lastDrawn_ < 0.1 || done <= 0)
            return;
        lastDrawn_ = elapsed;
        const int width = 30;
        const int filled = std::clamp(int(done * width), 0, width);
        const double left = elapsed * (1 - done) / done;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %.0f s left ", filled, "##############################",
                     width - filled, "", int(done * 100), left);
        std::fflush(stderr);
        drawn_ = true;
    }

    void clear()
    {
        if (drawn_)
            std::fputs("\r\033[K", stderr);
        drawn_ = false;
    }

private:
    bool shown_;
    bool drawn_ = false;
    Clock::time_point start_;
    double lastDrawn_ = 0;
};

// The first pixel where the arithmetic faulted, in scan order (column by
// column, each top to bottom).
struct FaultAt {
    long m = LONG_MAX;
    long n = LONG_MAX;
    bool found() const { return m != LONG_MAX; }
    bool before(long mm, long nn) const { return mm < m || (mm == m && nn < n); }
    void note(long mm, long nn)
    {
        if (before(mm, nn)) {
            m = mm;
            n = nn;
        }
    }
    // A pixel the scan never reached, because it lies at or after the fault.
    bool covers(long mm, long nn) const { return found() && !before(mm, nn); }
};

struct Outcome {
    FaultAt fault;
    bool interrupted = false;
    bool failed = false;
    std::string why;
};

// Where the picture goes: a PNG streamed band by band, or (for other formats,
// which are never larger than kMaxPlainSide) one image written at the end.
class Sink {
public:
    Sink(OutputFile& file, QByteArray suffix, const PictureRecipe& recipe, long width, long height, int threads)
        : file_(file), suffix_(std::move(suffix)), recipe_(recipe), width_(width), height_(height), threads_(threads)
    {
        begin();
    }

    bool restart(std::string* why)
    {
        if (!file_.restart(why))
            return false;
        begin();
        return true;
    }

    bool write(const QImage& band, long top)
    {
        if (png_)
            return png_->writeRows(band);
        for (int y = 0; y < band.height(); ++y)
            std::copy_n(reinterpret_cast<const QRgb*>(band.constScanLine(y)), band.width(),
                        reinterpret_cast<QRgb*>(whole_.scanLine(int(top) + y)));
        return true;
    }

    std::string failure() const { return png_ ? png_->failure() : std::string(); }

    bool finish(std::string* why)
    {
        if (png_) {
            if (png_->finish())
                return true;
            *why = png_->failure();
            return false;
        }
        return writeImage(file_, whole_, suffix_, &recipe_, why, interrupted);
    }

private:
    void begin()
    {
        if (suffix_ == "png") {
            png_.reset();
            png_ = std::make_unique<PngStream>(file_.stream(), int(width_), int(height_), recipeChunks(recipe_),
                                               kPngLevel, threads_);
        } else {
            whole_ = QImage(int(width_), int(height_), QImage::Format_RGB32);
            whole_.fill(kBackground);
        }
    }

    OutputFile& file_;
    QByteArray suffix_;
    const PictureRecipe& recipe_;
    long width_, height_;
    int threads_;
    std::unique_ptr<PngStream> png_;
    QImage whole_;
};

// The picture of a render, as a job asks for it.
struct Plan {
    const Pattern* pattern;
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
    bool derives = true;  // false: deriving the values faults, before any pixel

    bool plain() const
    {
        return !bands && density == 1 && samples == 1 && width <= kMaxPlainSide && height <= kMaxPlainSide;
    }
};

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
    BandRender(const Plan& plan, long bandRows, Progress& progress)
        : plan_(plan), bandRows_(bandRows), progress_(progress)
    {
    }

    Outcome run(Sink& sink)
    {
        FaultAt first;
        if (!plan_.derives) {
            // As the plain scan does: the render ends before its first pixel.
            first.note(0, 0);
            Outcome out = pass(sink, first);
            out.fault = first;
            return out;
        }
        Outcome out = pass(sink, FaultAt{});
        if (out.interrupted || out.failed || !out.fault.found())
            return out;
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
    Outcome pass(Sink& sink, const FaultAt& limit)
    {
        Outcome out;
        const long bands = (plan_.height + bandRows_ - 1) / bandRows_;
        const int perPixel = plan_.samples * plan_.samples;
        for (long b = 0; b < bands; ++b) {
            const long top = b * bandRows_;
            const long rows = std::min(bandRows_, plan_.height - top);
            const FaultAt& known = limit.found() ? limit : out.fault;
            const long columns = known.found() ? std::min(plan_.width, known.m + 1) : plan_.width;
            QImage band(int(plan_.width), int(rows), QImage::Format_RGB32);
            band.fill(kBackground);
            LinearSums sums(perPixel > 1 ? std::size_t(plan_.width) * std::size_t(rows) : 0);
            for (int s = 0; s < perPixel; ++s) {
                const int sx = s % plan_.samples;
                const int sy = s / plan_.samples;
                ScanGrid grid;
                grid.columns = columns;
                grid.rowBegin = top;
                grid.rowEnd = top + rows;
                grid.column = [&, sx](long m) { return counter(plan_.derived.x0, m, sx, plan_.columns); };
                grid.row = [&, sy](long n) { return counter(plan_.derived.y0, n, sy, plan_.rows); };
                Host host(*this, band, sums, top, (double(b) * perPixel + s) / double(bands * perPixel),
                          1.0 / double(bands * perPixel), columns);
                RenderOptions options;
                options.threads = plan_.threads;
                const RenderResult r = renderGrid(*plan_.pattern, plan_.derived, grid, host, options);
                if (interrupted()) {
                    out.interrupted = true;
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
            if ((limit.found() || !out.fault.found()) && !sink.write(band, top)) {
                out.failed = true;
                out.why = sink.failure();
                return out;
            }
        }
        return out;
    }

    // Column or row m (0-based) of the picture. Plain pictures use the scan's
    // own counters; denser ones x0 + M / K for the 1-based M, and each sample
    // sits evenly spaced inside its pixel around that.
    double counter(double origin, long m, int sample, const std::vector<double>& plainRun) const
    {
        const long M = m + 1;
        const long K = plan_.density;
        const long N = plan_.samples;
        if (N == 1)
            return K == 1 ? plainRun[std::size_t(m)] : origin + double(M) / double(K);
        return origin + double(2 * N * M + 2 * sample + 1 - N) / double(2 * N * K);
    }

    static void leaveBackgroundFrom(QImage& band, long top, const FaultAt& fault)
    {
        for (int y = 0; y < band.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(band.scanLine(y));
            for (long x = std::max(0L, fault.m); x < band.width(); ++x)
                if (fault.covers(x, top + y))
                    line[x] = kBackground;
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
            if (sums_.empty())
                glimra::plotColumn(band_, column, QPoint(0, int(top_)));
            else
                sums_.add(column, top_, band_.width());
        }
        void yield() override
        {
            ++done_;
            owner_.progress_.update(doneBefore_ + share_ * double(done_) / double(columns_));
        }
        bool haltRequested() override { return interrupted(); }

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
    Progress& progress_;
};

// The window's own scan, into an image the size of the scan: image pixel
// (x, y) is Canvas pixel (161 + x, 51 + y).
Outcome renderPlain(const Plan& plan, QImage& picture, Progress& progress)
{
    class Host : public RenderHost {
    public:
        Host(QImage& picture, Progress& progress, long columns)
            : picture_(picture), progress_(progress), columns_(columns)
        {
        }
        void plotColumn(const ColumnView& column) override
        {
            glimra::plotColumn(picture_, column, QPoint(kCanvasLeft + 1, kCanvasTop + 1));
        }
        void yield() override { progress_.update(double(++done_) / double(columns_)); }
        bool haltRequested() override { return interrupted(); }

    private:
        QImage& picture_;
        Progress& progress_;
        long columns_;
        long done_ = 0;
    } host(picture, progress, plan.width);
    RenderOptions options;
    options.threads = plan.threads;
    const RenderResult r = render(*plan.pattern, plan.params, host, options);
    Outcome out;
    out.interrupted = interrupted();
    if (r.outcome == glimra::Outcome::Faulted)
        out.fault.note(r.faultColumn, r.faultRow);
    return out;
}

std::string ending(const Outcome& out)
{
    if (!out.fault.found())
        return "completed";
    return "stopped by an arithmetic fault at column " + std::to_string(out.fault.m + 1) + ", row " +
           std::to_string(out.fault.n + 1);
}

int stoppedBySignal()
{
    std::fprintf(stderr, "glimra-render: interrupted; no file written\n");
    return 128 + int(g_stopSignal);
}

// Sizes the picture from the scan the frame runs; an exit status when there
// is nothing to render.
std::optional<int> planPicture(const Job& job, Plan& plan)
{
    plan.pattern = job.pattern;
    plan.params = readParameters(job.recipe.texts);
    plan.density = job.recipe.density;
    plan.samples = job.recipe.samples;
    plan.threads = job.threads > 0 ? job.threads : defaultThreadCount();
    plan.bands = job.bandRows > 0;
    // The sizes do not depend on whether zoom or brightness overflow; such a
    // fault shows as a picture in the background colour.
    plan.derived = job.pattern->derive(plan.params);
    plan.derives = deriveChecked(*job.pattern, plan.params).has_value();
    const Derived& d = plan.derived;
    if (!(d.N >= 1 && d.S >= 1)) {
        std::fprintf(stderr, "%s: nothing to paint (size %s)\n", job.pattern->name, job.recipe.texts.size.c_str());
        return 0;
    }
    plan.columns = scanCounters(d.x0, d.N, kMaxSide + 1);
    plan.rows = scanCounters(d.y0, d.S, kMaxSide + 1);
    if (plan.columns.empty() || plan.rows.empty()) {
        std::fprintf(stderr, "glimra-render: %s: offsets too large to scan (beyond 9e15); refused\n",
                     job.pattern->name);
        return 2;
    }
    plan.width = long(plan.columns.size()) * plan.density;
    plan.height = long(plan.rows.size()) * plan.density;
    if (plan.width > kMaxSide || plan.height > kMaxSide) {
        std::fprintf(stderr, "glimra-render: a picture of %.15g x %.15g is larger than %ld x %ld; refused\n",
                     std::floor(d.N) * plan.density, std::floor(d.S) * plan.density, kMaxSide, kMaxSide);
        return 2;
    }
    const bool png = pictureFormat(QString::fromStdString(job.output)) == "png";
    if (!png && (plan.width > kMaxPlainSide || plan.height > kMaxPlainSide)) {
        std::fprintf(stderr,
                     "glimra-render: a picture of %ld x %ld is larger than %ld on a side: write it as .png; "
                     "refused\n",
                     plan.width, plan.height, kMaxPlainSide);
        return 2;
    }
    return std::nullopt;
}

int cannotWrite(const Job& job, const std::string& why)
{
    std::fprintf(stderr, "glimra-render: cannot write %s: %s\n", job.output.c_str(), why.c_str());
    return 1;
}

int renderPicture(const Job& job)
{
    Plan plan;
    if (const auto status = planPicture(job, plan))
        return *status;

    // Fail before a long render, not after it.
    OutputFile file(job.output);
    std::string why;
    if (!file.open(&why)) {
        std::fprintf(stderr, "glimra-render: %s\n", why.c_str());
        return 1;
    }
    const QByteArray suffix = pictureFormat(QString::fromStdString(job.output));

    Progress progress;
    const auto start = Clock::now();
    Outcome out;
    QImage picture;
    if (plan.plain()) {
        picture = QImage(int(plan.width), int(plan.height), QImage::Format_RGB32);
        picture.fill(kBackground);
        out = renderPlain(plan, picture, progress);
    } else {
        const std::size_t bytesPerRow =
            std::size_t(plan.width) * (plan.samples > 1 ? sizeof(QRgb) + LinearSums::kBytesPerPixel : sizeof(QRgb));
        const long bandRows =
            job.bandRows > 0 ? job.bandRows : std::max<long>(1, long(kBandBytes / std::max<std::size_t>(1, bytesPerRow)));
        Sink sink(file, suffix, job.recipe, plan.width, plan.height, plan.threads);
        out = BandRender(plan, std::min(bandRows, plan.height), progress).run(sink);
        if (!out.interrupted && !out.failed && !sink.finish(&out.why))
            out.failed = true;
    }
    const double seconds = secondsSince(start);
    progress.clear();
    if (out.interrupted)
        return stoppedBySignal();

    std::string extra;
    if (plan.density != 1 || plan.samples != 1)
        extra = " (density " + std::to_string(plan.density) + ", " + std::to_string(plan.samples) + "x" +
                std::to_string(plan.samples) + " samples)";
    std::fprintf(stderr, "%s: %ldx%ld%s, %d thread%s, %.3f s, %s\n", plan.pattern->name, plan.width, plan.height,
                 extra.c_str(), plan.threads, plan.threads == 1 ? "" : "s", seconds, ending(out).c_str());

    if (out.failed)
        return cannotWrite(job, out.why);
    if (plan.plain() && !writeImage(file, picture, suffix, &job.recipe, &why, interrupted)) {
        if (interrupted())
            return stoppedBySignal();
        return cannotWrite(job, why);
    }
    if (interrupted())
        return stoppedBySignal();
    if (!file.commit(&why)) {
        std::fprintf(stderr, "glimra-render: %s\n", why.c_str());
        return 1;
    }
    return 0;
}

// All nineteen patterns side by side, each named under its picture.
int renderGallery(const Job& job)
{
    // Text needs fonts, and fonts need a display connection of some kind;
    // the offscreen one needs no display at all.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "glimra-render";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    constexpr int kAcross = 5;
    constexpr int kCaption = 26;
    constexpr int kGap = 8;
    std::vector<QImage> thumbnails;
    long cellWidth = 0, cellHeight = 0;
    for (const Pattern* pattern : patternTable()) {
        Job one = job;
        one.pattern = pattern;
        one.recipe.pattern = pattern->name;
        one.recipe.density = 1;
        one.recipe.samples = 1;
        Plan plan;
        if (const auto status = planPicture(one, plan))
            return *status;
        if (!plan.plain()) {
            std::fprintf(stderr, "glimra-render: gallery thumbnails are at most %ld on a side; refused\n",
                         kMaxPlainSide);
            return 2;
        }
        QImage picture(int(plan.width), int(plan.height), QImage::Format_RGB32);
        picture.fill(kBackground);
        Progress progress;
        if (renderPlain(plan, picture, progress).interrupted)
            return stoppedBySignal();
        cellWidth = std::max(cellWidth, plan.width);
        cellHeight = std::max(cellHeight, plan.height);
        thumbnails.push_back(picture);
    }
    const int down = (kPatternCount + kAcross - 1) / kAcross;
    QImage gallery(int(kAcross * (cellWidth + kGap) + kGap), int(down * (cellHeight + kCaption + kGap) + kGap),
                   QImage::Format_RGB32);
    gallery.fill(kBackground);
    QPainter painter(&gallery);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(15);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(255, 128, 64));
    for (int k = 0; k < kPatternCount; ++k) {
        const int left = int(kGap + (k % kAcross) * (cellWidth + kGap));
        const int top = int(kGap + (k / kAcross) * (cellHeight + kCaption + kGap));
        painter.drawImage(left, top, thumbnails[std::size_t(k)]);
        painter.drawText(QRect(left, int(top + cellHeight), int(cellWidth), kCaption), Qt::AlignCenter,
                         QString::fromLatin1(patternTable()[std::size_t(k)]->name));
    }
    painter.end();
    QString why;
    if (!writePicture(gallery, QString::fromStdString(job.output), nullptr, &why, interrupted)) {
        if (interrupted())
            return stoppedBySignal();
        return cannotWrite(job, why.toStdString());
    }
    std::fprintf(stderr, "gallery: %dx%d, %d patterns\n", gallery.width(), gallery.height(), kPatternCount);
    return 0;
}

}  // namespace

int runJob(const Job& job) { return job.gallery ? renderGallery(job) : renderPicture(job); }

}  // namespace glimra
