// A poster's parts, rendered apart (--part K/N), joined into its PNG.
#pragma once

#include <functional>
#include <string>

namespace glimra {

// Assembles FILE.png from its parts FILE.png.part-K-of-N, each band decoded
// against the one above it first but written as it was compressed; false,
// with a message naming the part, when a part is missing, damaged, of
// another picture, or met an arithmetic fault (whose effect reaches into
// other parts' bands: such a picture is rendered in one piece).
bool joinParts(const std::string& output, const std::function<bool()>& stop, std::string* why, long* width,
               long* height, int* parts);

}  // namespace glimra
