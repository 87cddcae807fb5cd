#include "place/navigate.h"

#include "render/numtext.h"

#include <algorithm>
#include <cmath>

namespace glimra {

namespace {

// Index of each parameter in kParameterNames that a navigation rewrites.
constexpr int kX = 0, kY = 1, kZoom = 3;

NavigationResult refused(std::string why, int unreadable = -1)
{
    NavigationResult r;
    r.why = std::move(why);
    r.unreadable = unreadable;
    return r;
}

// The scan of a run that starts here can be painted (its counters still grow
// by 1), as render() would find.
bool scannable(double origin, double extent) { return !scanCounters(origin, extent, 1).empty() || extent < 1; }

}  // namespace

PicturePoint PictureExtent::centre() const { return {double((columns + 1) / 2), double((rows + 1) / 2)}; }

std::optional<PictureExtent> pictureExtent(const Pattern& pattern, const PatternTexts& texts)
{
    const std::optional<Derived> d = deriveChecked(pattern, readParameters(texts));
    // A picture wider than the Canvas could ever show is no picture to point at.
    if (!d || !(d->N >= 1 && d->S >= 1) || d->N > 1e6 || d->S > 1e6)
        return std::nullopt;
    return PictureExtent{long(std::floor(d->N)), long(std::floor(d->S))};
}

NavigationStep zoomAbout(PicturePoint at, int notches)
{
    return {at, at, std::ldexp(1.0, -std::clamp(notches, -64, 64))};
}

NavigationStep centreOn(PicturePoint at, const PictureExtent& extent) { return {at, extent.centre(), 1}; }

NavigationStep panQuarter(int dx, int dy, const PictureExtent& extent)
{
    const PicturePoint c = extent.centre();
    // Whole pixels, so that whole positions stay whole.
    const double qx = Round(double(extent.columns) / 4), qy = Round(double(extent.rows) / 4);
    return {{c.column + dx * qx, c.row + dy * qy}, c, 1};
}

std::optional<NavigationStep> zoomToRectangle(PicturePoint a, PicturePoint b, const PictureExtent& extent)
{
    const double left = std::min(a.column, b.column), right = std::max(a.column, b.column);
    const double top = std::min(a.row, b.row), bottom = std::max(a.row, b.row);
    const double w = right - left + 1, h = bottom - top + 1;
    if (!(w >= 2 && h >= 2))
        return std::nullopt;
    // The whole rectangle stays in view: in a picture wider than high, a wide
    // rectangle fills the width, a tall one the height.
    const double magnification = std::min(double(extent.columns) / w, double(extent.rows) / h);
    return NavigationStep{{(left + right) / 2, (top + bottom) / 2}, extent.centre(), 1 / magnification};
}

NavigationResult navigate(const Pattern& pattern, const PatternTexts& texts, const NavigationStep& step)
{
    for (const int k : {kX, kY, kZoom}) {
        const std::string& text = texts.*kParameterNames[k].text;
        if (!valWhole(text))
            return refused("\"" + text + "\" is not a number", k);
    }
    const PatternParameters p = readParameters(texts);
    const std::optional<Derived> before = deriveChecked(pattern, p);
    if (!before)
        return refused("these values cannot be painted");
    if (before->Z == 0)
        return refused("at a zoom of 0 every pixel shows the same point");
    if (!(step.factor > 0 && std::isfinite(step.factor)))
        return refused("no such zoom step");

    PatternTexts out = texts;
    PatternParameters q = p;
    if (step.factor != 1) {
        const double zoomed = p.zoom * step.factor;
        if (!std::isfinite(zoomed))
            return refused("the zoom would grow beyond the range of numbers");
        out.zoom = Text(zoomed);
        q.zoom = Val(out.zoom);
    }
    const std::optional<Derived> zoomedFrame = deriveChecked(pattern, q);
    if (!zoomedFrame || zoomedFrame->Z == 0 || !std::isfinite(before->Z / zoomedFrame->Z))
        return refused("the zoom would leave the range of numbers");

    // The plane point a counter c shows is c times the zoom factor; in the new
    // view the same point is shown by the counter c x Z / Z'.
    const double ratio = before->Z / zoomedFrame->Z;
    const double targetX = (before->x0 + step.from.column) * ratio;
    const double targetY = (before->y0 + step.from.row) * ratio;
    if (!std::isfinite(targetX) || !std::isfinite(targetY))
        return refused("the point would leave the range of numbers");

    // The origin follows the position through the pattern's own rule: correct
    // the position by what the origin misses, write it as Text, derive again
    // and check where the point lands. Text keeps 15 digits, so the value
    // written may differ from the exact one; a further pass corrects for it,
    // and a value that cannot land within half a pixel is refused.
    double x = p.x, y = p.y;
    std::string xText = texts.x, yText = texts.y;
    for (int pass = 0; pass < 4; ++pass) {
        q.x = x;
        q.y = y;
        const std::optional<Derived> now = deriveChecked(pattern, q);
        if (!now)
            return refused("these values cannot be painted");
        const double landX = now->x0 + step.to.column, landY = now->y0 + step.to.row;
        if (pass > 0 && std::fabs(landX - targetX) <= 0.5 && std::fabs(landY - targetY) <= 0.5) {
            if (!scannable(now->x0, now->N) || !scannable(now->y0, now->S))
                break;
            // A position that did not change keeps its text as typed.
            if (x != p.x)
                out.x = xText;
            if (y != p.y)
                out.y = yText;
            NavigationResult r;
            r.texts = out;
            return r;
        }
        const double nx = x + (targetX - landX), ny = y + (targetY - landY);
        if (!std::isfinite(nx) || !std::isfinite(ny))
            break;
        xText = Text(nx);
        yText = Text(ny);
        x = Val(xText);
        y = Val(yText);
    }
    return refused("so far out the picture could not be painted there");
}

}  // namespace glimra
