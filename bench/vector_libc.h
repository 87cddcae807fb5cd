// The C library's vector functions at 2, 4 and 8 lanes, where the library
// and the processor have them (x86-64 only).
#pragma once

#include "math/lanes.h"

#include <cstddef>

// f of the first n arguments (y for pow), whole groups of `width` only; false
// when that width cannot be called here.
bool vectorLibc(glimra::lanes::Function f, int width, const double* x, const double* y, double* out, std::size_t n);
