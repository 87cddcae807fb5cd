// A film file encoded frame by frame: MP4 with H.264 or WebM with VP9.
//
// The encoder is a module of its own (glimra-film-encoder.so), the only part
// of the program that links the video libraries: they are well over a hundred
// shared libraries, which every start of the program would otherwise load.
// It is loaded when a film file is first written, from beside the program.
#pragma once

#include "picture/pixels.h"

#include <cstdio>
#include <memory>
#include <string>

namespace glimra {

// "mp4" or "webm" for a film file's name, else empty.
std::string filmFormat(const std::string& path);

class FilmEncoder {
public:
    virtual ~FilmEncoder() = default;

    // Writes into `out` (which must allow seeking back: the MP4 index is
    // written last); `format` as filmFormat gives. The encoder runs on the
    // calling thread only.
    virtual bool open(FILE* out, const std::string& format, int width, int height, double fps, std::string* why) = 0;
    virtual bool add(const Pixels& frame, std::string* why) = 0;
    virtual bool finish(std::string* why) = 0;
};

// A new encoder from the film module; null, with the reason in `why`, when
// the module cannot be loaded. The module stays loaded once it is.
std::unique_ptr<FilmEncoder> makeFilmEncoder(std::string* why);

// The module's one entry, a C name so it can be looked up; it makes an
// encoder only for a program of the same version, whose FilmEncoder it
// shares.
extern "C" {
using MakeFilmEncoderFunction = FilmEncoder* (*)(const char* version);
}
inline constexpr const char* kFilmModuleEntry = "glimra_make_film_encoder";

}  // namespace glimra
