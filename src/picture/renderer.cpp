#include "picture/renderer.h"

#include "picture/band_render.h"
#include "picture/band_sink.h"
#include "picture/band_store.h"
#include "picture/render_plan.h"

#include <chrono>
#include <memory>
#include <tuple>

namespace glimra {

PicturePlan planPicture(const PictureRequest& request)
{
    PicturePlan out;
    (void)makePlan(request, out);
    return out;
}

PictureResult renderPicture(const PictureRequest& request)
{
    PictureResult result;
    const Plan plan = makePlan(request, result.plan);
    switch (result.plan.verdict) {
    case PicturePlan::Verdict::NothingToPaint: result.status = PictureResult::Status::NothingToPaint; return result;
    case PicturePlan::Verdict::Refused:
        result.status = PictureResult::Status::Refused;
        result.why = result.plan.why;
        return result;
    case PicturePlan::Verdict::Render: break;
    }

    // Fail before a long render, not after it.
    const bool inMemory = request.into != nullptr;
    OutputFile file(inMemory             ? std::string()
                    : request.part.any() ? partPath(request.output, request.part)
                                         : request.output,
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

    const auto start = std::chrono::steady_clock::now();
    Pass out;
    Pixels picture;
    if (plan.plain()) {
        picture = backgroundImage(plan.width, plan.height);
        out = renderPlain(plan, picture);
    } else {
        const long rows = plan.bandRows;
        BandHeader header{bandKey(recipeChunks(request.recipe), plan.width, plan.height, rows),
                          recipeChunks(request.recipe),
                          plan.width,
                          plan.height,
                          rows,
                          0,
                          0,
                          request.part};
        if (request.part.any())
            std::tie(header.first, header.end) = partBands((plan.height + rows - 1) / rows, request.part);
        std::unique_ptr<BandStore> store;
        if (request.resume) {
            store = std::make_unique<BandStore>(resumeFolder(request.output), header);
            if (!store->prepare(&result.why)) {
                result.status = PictureResult::Status::CannotWrite;
                return result;
            }
        }
        const auto sink =
            makeBandSink(SinkTarget{&file, suffix, &request.recipe, plan.width, plan.height, plan.threads, request.stop,
                                    request.part.any() ? &header : nullptr, request.into, store.get()});
        out = renderInBands(plan, *sink);
        const PartFault fault = out.fault.found() ? PartFault{out.fault.m, out.fault.n} : PartFault{};
        if (!out.stopped && !out.failed && !sink->finish(&out.why, fault))
            out.failed = true;
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

std::optional<Pixels> renderPlainImage(const PictureRequest& request)
{
    PicturePlan verdict;
    const Plan plan = makePlan(request, verdict);
    if (verdict.verdict != PicturePlan::Verdict::Render || !plan.plain())
        return std::nullopt;
    Pixels picture = backgroundImage(plan.width, plan.height);
    if (renderPlain(plan, picture).stopped)
        return std::nullopt;
    return picture;
}

}  // namespace glimra
