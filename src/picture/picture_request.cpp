#include "picture/picture_request.h"

namespace glimra {

double denseCounter(double origin, long m, int density, int samples, int sample)
{
    const long M = m + 1;
    const long n = samples, k = density;
    if (n == 1)
        return origin + double(M) / double(k);
    return origin + double(2 * n * M + 2 * sample + 1 - n) / double(2 * n * k);
}

std::string PictureResult::ending() const
{
    if (!fault.found())
        return "completed";
    return "stopped by an arithmetic fault at column " + std::to_string(fault.m + 1) + ", row " +
           std::to_string(fault.n + 1);
}

}  // namespace glimra
