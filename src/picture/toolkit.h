// What only the graphics toolkit does for pictures: the file formats only it
// writes (BMP, JPEG, ...) and the gallery's captions, whose text needs its
// fonts. The window links the toolkit and gives it here (useToolkit);
// glimra-render loads it as a module (glimra-picture-toolkit.so) the first
// time it is needed, so that a PNG or PPM render never loads the toolkit's
// graphics libraries, nor starts its application object.
#pragma once

#include "picture/pixels.h"

#include <cstdio>
#include <string>
#include <vector>

namespace glimra {

// A line of text centred in a rectangle of a picture.
struct Caption {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::string text;  // Latin-1
};

class Toolkit {
public:
    virtual ~Toolkit() = default;

    // Whether the toolkit writes the format a file suffix names ("bmp", ...).
    virtual bool writes(const std::string& suffix) const = 0;
    // Writes a picture into `out` in that format. On failure, `why` says why,
    // and `systemError` is the system's error number when writing the bytes
    // failed (0 when the toolkit refused the picture itself).
    virtual bool write(FILE* out, const Pixels& picture, const std::string& suffix, std::string* why,
                       int* systemError) const = 0;
    // Draws the captions into the picture, in the gallery's font and colour.
    virtual bool drawCaptions(Pixels& picture, const std::vector<Caption>& captions, std::string* why) const = 0;
};

// The program's toolkit: the one given by useToolkit, else the module beside
// the program; null, with the reason in `why`, when there is neither.
const Toolkit* toolkit(std::string* why);

// The toolkit a program linked itself, taken instead of any module.
void useToolkit(const Toolkit* linked);

// The toolkit module's one entry, a C name so it can be looked up: the
// toolkit for a program of the same version, whose Toolkit it shares.
extern "C" {
using ToolkitEntryFunction = const Toolkit* (*)(const char* version);
}
inline constexpr const char* kToolkitModuleEntry = "glimra_picture_toolkit";

}  // namespace glimra
