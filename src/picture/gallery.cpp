#include "picture/gallery.h"

#include "picture/toolkit.h"

#include <algorithm>
#include <vector>

namespace glimra {

std::variant<Pixels, PictureResult> renderGallery(const PictureRequest& request)
{
    constexpr int kAcross = 5;
    constexpr int kCaption = 26;
    constexpr int kGap = 8;
    std::vector<Pixels> thumbnails;
    long cellWidth = 0, cellHeight = 0;
    for (const Pattern* pattern : patternTable()) {
        PictureRequest one = request;
        one.pattern = pattern;
        one.recipe.pattern = pattern->name;
        one.recipe.density = 1;
        one.recipe.samples = 1;
        one.bandRows = 0;
        PictureResult result;
        result.plan = planPicture(one);
        if (result.plan.verdict == PicturePlan::Verdict::NothingToPaint) {
            result.status = PictureResult::Status::NothingToPaint;
            return result;
        }
        if (result.plan.verdict == PicturePlan::Verdict::Refused) {
            result.status = PictureResult::Status::Refused;
            result.why = result.plan.why;
            return result;
        }
        if (result.plan.width > kMaxPlainSide || result.plan.height > kMaxPlainSide) {
            result.status = PictureResult::Status::Refused;
            result.why = "gallery thumbnails are at most " + std::to_string(kMaxPlainSide) + " on a side; refused";
            return result;
        }
        std::optional<Pixels> picture = renderPlainImage(one);
        if (!picture) {
            result.status = PictureResult::Status::Stopped;
            return result;
        }
        cellWidth = std::max(cellWidth, result.plan.width);
        cellHeight = std::max(cellHeight, result.plan.height);
        thumbnails.push_back(std::move(*picture));
    }
    const int down = (kPatternCount + kAcross - 1) / kAcross;
    Pixels gallery(int(kAcross * (cellWidth + kGap) + kGap), int(down * (cellHeight + kCaption + kGap) + kGap),
                   pixelOf(kBackground));
    std::vector<Caption> captions;
    for (int k = 0; k < kPatternCount; ++k) {
        const int left = int(kGap + (k % kAcross) * (cellWidth + kGap));
        const int top = int(kGap + (k / kAcross) * (cellHeight + kCaption + kGap));
        gallery.place(thumbnails[std::size_t(k)], left, top);
        captions.push_back(
            {left, int(top + cellHeight), int(cellWidth), kCaption, patternTable()[std::size_t(k)]->name});
    }
    std::string why;
    const Toolkit* captioner = toolkit(&why);
    if (!captioner || !captioner->drawCaptions(gallery, captions, &why)) {
        PictureResult result;
        result.status = PictureResult::Status::CannotWrite;
        result.why = "cannot name the gallery's patterns: " + why;
        return result;
    }
    return gallery;
}

}  // namespace glimra
