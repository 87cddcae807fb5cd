// Writing a picture to PNG or binary PPM.
#pragma once

#include "render/frame.h"

#include <string>
#include <vector>

namespace glimra {

// A picture in colour values (R + 256 G + 65536 B), row by row.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Colour> pixels;
    Colour& at(int x, int y) { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

enum class ImageFormat { Png, Ppm, Unknown };
ImageFormat formatForPath(const std::string& path);

// False when the file cannot be written.
bool writeImage(const Picture& picture, const std::string& path, ImageFormat format);

}  // namespace glimra
