#include "picture/gallery.h"

#include "picture/picture.h"

#include <QFont>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace glimra {

std::variant<QImage, PictureResult> renderGallery(const PictureRequest& request)
{
    constexpr int kAcross = 5;
    constexpr int kCaption = 26;
    constexpr int kGap = 8;
    std::vector<QImage> thumbnails;
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
        std::optional<QImage> picture = renderPlainImage(one);
        if (!picture) {
            result.status = PictureResult::Status::Stopped;
            return result;
        }
        cellWidth = std::max(cellWidth, result.plan.width);
        cellHeight = std::max(cellHeight, result.plan.height);
        thumbnails.push_back(*picture);
    }
    const int down = (kPatternCount + kAcross - 1) / kAcross;
    QImage gallery(int(kAcross * (cellWidth + kGap) + kGap), int(down * (cellHeight + kCaption + kGap) + kGap),
                   QImage::Format_RGB32);
    gallery.fill(toQRgb(kBackground));
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
    return gallery;
}

}  // namespace glimra
