// The nineteen formulas in the forms only checks and the benchmark use: with
// the C library's sin, cos, tan and pow, and with the functions the calling
// thread chose. No picture is ever made from them, so the Pattern the window
// and the picture renderer look up does not carry them; the tools, the tests
// and the benchmark include this header.
#pragma once

#include "patterns/patterns.h"
#include "render/frame.h"

#include <span>

namespace glimra {

struct CheckedForms {
    const Pattern* pattern;
    // The formula with the C library's sin, cos, tan and pow: the
    // benchmark's baseline, never a picture.
    PixelFormula libcPixel;
    RowTable libcRowTable;
    // The formula as written with the functions the calling thread chose
    // (lanes::Chosen), for checks that evaluate it independently.
    PixelFormula chosenPixel;
};

// In button order, as patternTable().
std::span<const CheckedForms* const> checkedTable();

// The checked forms of one of the nineteen; null for any other pattern (a
// formula's).
const CheckedForms* checkedFormsOf(const Pattern& pattern);

// Each defined beside its pattern, in the pattern's file.
namespace checking {
extern const CheckedForms aries, blood, celt, dune, eeee, fun, grin, hix, ice, joke, kraken, limbo, numb, ooh, Punk,
    qwin, rumba, sizZle, Tame;
}

}  // namespace glimra
