// The AVX-512 pixel stage of formulas: the same stage as the baseline's, on
// thirty-two rows at a time in four AVX-512 registers. Compiled with AVX-512 (F,
// DQ and VL, with AVX2 and FMA); the render calls it only on processors that
// have them.
#include "formula/evaluate.h"

#if defined(GLIMRA_LANES8_TYPES)
namespace glimra::formula::lanes8 {

void pixelStage(const PixelStage& stage, const double* values, double* slots, const ColumnArgs& col)
{
    formula::pixelStage<lanes::Twice<lanes::Twice<lanes::Eight>>>(stage, values, slots, col);
}

}  // namespace glimra::formula::lanes8
#endif
