// Navigation: new position and zoom texts that move a point of a pattern's
// plane to a chosen pixel of its picture, zoomed by a chosen factor.
//
// Every pattern maps its column and row counters to its plane through its own
// derived-value rule. The arithmetic here asks that rule itself (through
// Pattern::derive) where a picture's origin and zoom factor lie for given
// parameters, rather than knowing any pattern's shift or multiple, so a new or
// changed pattern needs nothing here.
#pragma once

#include "render/frame.h"

#include <optional>
#include <string>

namespace glimra {

// A position in the picture in pixels: column 1 is the picture's first
// column (Canvas x 161), row 1 its first row. Fractions lie between pixels.
struct PicturePoint {
    double column = 0;
    double row = 0;
};

// The columns and rows a picture of these texts has; nothing when it has
// none (a size below 1) or its values cannot be derived.
struct PictureExtent {
    long columns = 0;
    long rows = 0;
    // The pixel that is the picture's centre: for an even count the first of
    // the two middle pixels (for the centred patterns, where the counter
    // equals the position box).
    PicturePoint centre() const;
};
std::optional<PictureExtent> pictureExtent(const Pattern& pattern, const PatternTexts& texts);

// What a navigation does: the plane point shown at `from` is shown at `to`
// afterwards, with the zoom box's number multiplied by `factor`. The box holds
// how much of the plane a pixel spans, so a factor below 1 zooms in: the
// features grow by 1 / factor.
struct NavigationStep {
    PicturePoint from;
    PicturePoint to;
    double factor = 1;
};

// One notch of the wheel or a zoom key: `notches` > 0 zooms in (the features
// under `at` twice as large per notch), < 0 out.
NavigationStep zoomAbout(PicturePoint at, int notches);
// The pixel `at` becomes the centre; the zoom stays.
NavigationStep centreOn(PicturePoint at, const PictureExtent& extent);
// Moves the view by a quarter of the picture: dx, dy are -1, 0 or +1
// (+1 shows more of what lies to the right or below).
NavigationStep panQuarter(int dx, int dy, const PictureExtent& extent);
// The rectangle of pixels from `a` to `b` (both corners included) becomes the
// whole view: its centre goes to the picture's centre and it is magnified
// until it just fits. Nothing for a rectangle narrower than 2 pixels.
std::optional<NavigationStep> zoomToRectangle(PicturePoint a, PicturePoint b, const PictureExtent& extent);

struct NavigationResult {
    // The texts to write into the boxes: x, y and zoom new (written with
    // Text), size and bright as they were.
    std::optional<PatternTexts> texts;
    // Otherwise why not, and which parameter's text could not be read (an
    // index into kParameterNames, -1 when the reason is not one text).
    std::string why;
    int unreadable = -1;
};

// The new texts for a step from these texts. Position and zoom texts must
// each be a number as Val reads it, to the end (a text that is not is never
// overwritten). The new values are chosen so that the moved point lands
// within half a pixel of `to`; where the 15 digits of Text cannot hold the
// exact value, the value written is a Text form that still lands there, and
// where none does (positions near the end of the scannable range) the step is
// refused.
NavigationResult navigate(const Pattern& pattern, const PatternTexts& texts, const NavigationStep& step);

}  // namespace glimra
