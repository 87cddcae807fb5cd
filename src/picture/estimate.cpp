// How long a picture will take and how large its file will be, from a few
// small blocks of it rendered and compressed as the picture would be.
#include "picture/band_render.h"
#include "picture/picture_file.h"
#include "picture/render_plan.h"
#include "picture/renderer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace glimra {

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
        Pixels block = backgroundImage(w, h);
        LinearSums sums(perPixel > 1 ? std::size_t(w) * std::size_t(h) : 0);
        class Host : public RenderHost {
        public:
            Host(Pixels& block, LinearSums& sums, long top) : block_(block), sums_(sums), top_(top) {}
            void plotColumn(const ColumnView& column) override { plotSample(block_, sums_, column, top_); }

        private:
            Pixels& block_;
            LinearSums& sums_;
            long top_;
        } host(block, sums, top);
        const auto start = std::chrono::steady_clock::now();
        for (int s = 0; s < perPixel; ++s) {
            const ScanGrid grid = sampleGrid(plan, left, w, top, h, s);
            RenderOptions options;
            options.threads = plan.threads;
            (void)renderGrid(*plan.pattern, plan.derived, grid, host, options);
        }
        if (perPixel > 1)
            sums.averageInto(block, w, perPixel);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

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

}  // namespace glimra
