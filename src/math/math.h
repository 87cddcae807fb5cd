// sin, cos, tan and pow, each correctly rounded to nearest for every double
// argument: the result is the double nearest the exact value, so it is the
// same bits on every machine and with any instruction set.
//
// Special values follow C99 Annex F. Of the floating-point flags, overflow,
// divide-by-zero and invalid are raised exactly when the correctly rounded
// result implies them and never by an intermediate step; inexact and
// underflow carry no meaning here. The default rounding mode (to nearest) is
// assumed.
#pragma once

namespace glimra::math {

double sin(double x);
double cos(double x);
double tan(double x);
double pow(double x, double y);

}  // namespace glimra::math
