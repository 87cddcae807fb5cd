// What a glimra-render command line asks for.
#pragma once

#include "patterns/patterns.h"
#include "picture/picture_file.h"
#include "picture/poster_parts.h"

#include <string>
#include <variant>

namespace glimra {

struct Job {
    const Pattern* pattern = nullptr;  // null in gallery mode
    PictureRecipe recipe;              // pattern name, the five texts, density, samples
    std::string output;
    int threads = 0;     // 0: one per core
    bool gallery = false;
    long bandRows = 0;   // rows per band of a large picture; 0: chosen by memory
    bool resume = false; // keep finished bands, take those kept before
    PartOf part;         // render only this part of the bands
    bool join = false;   // assemble `output` from its parts
    bool film = false;   // a film from the place of `recipe` to `to`
    PatternTexts to;
    int frames = 0;
    double fps = 25;
};

// Ends the program with an exit status and what to print: to standard output
// for --help and --version, else one line to standard error.
struct Exit {
    int status = 0;
    std::string message;
};

std::variant<Job, Exit> parseCommandLine(int argc, char** argv);

}  // namespace glimra
