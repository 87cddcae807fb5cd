// The AVX2 pixel stage of formulas: the same stage as the baseline's, on
// sixteen rows at a time in four AVX2 registers. Compiled with AVX2 and FMA;
// the render calls it only on processors that have both.
#include "formula/evaluate.h"

namespace glimra::formula::lanes4 {

void pixelStage(const PixelStage& stage, const double* values, double* slots, const ColumnArgs& col)
{
    formula::pixelStage<lanes::Twice<lanes::Twice<lanes::Four>>>(stage, values, slots, col);
}

}  // namespace glimra::formula::lanes4
