#include "picture/render_plan.h"

#include "picture/picture.h"
#include "picture/samples.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace glimra {
namespace {

constexpr std::size_t kBandBytes = 96u << 20;

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
        std::size_t(width) * (samples > 1 ? sizeof(Pixel) + LinearSums::kBytesPerPixel : sizeof(Pixel));
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

}  // namespace

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

Pixels backgroundImage(long width, long height) { return Pixels(int(width), int(height), kBackgroundRgb); }

}  // namespace glimra
