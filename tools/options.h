// What a glimra-render command line asks for.
#pragma once

#include "formula/formula.h"
#include "patterns/patterns.h"
#include "picture/picture_file.h"
#include "picture/band_file.h"

#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace glimra {

struct Job {
    const Pattern* pattern = nullptr;  // null in gallery mode
    // A pattern written as text, compiled once; `pattern` points into it,
    // so it lives as long as the job.
    std::shared_ptr<const formula::Formula> formula;
    PictureRecipe recipe;  // pattern name, the five texts, density, samples, formula
    std::string output;
    int threads = 0;  // 0: one per core
    bool gallery = false;
    long bandRows = 0;    // rows per band of a large picture; 0: chosen by memory
    bool resume = false;  // keep finished bands, take those kept before
    PartOf part;          // render only this part of the bands
    bool join = false;    // assemble `output` from its parts
    bool film = false;    // a film from the place of `recipe` to `to`
    PatternTexts to;
    int frames = 0;
    double fps = 25;
    std::vector<std::string> warnings;  // said before the job runs
};

// Ends the program with an exit status and what to print: to standard output
// for --help and --version, else one line to standard error.
struct Exit {
    int status = 0;
    std::string message;
};

std::variant<Job, Exit> parseCommandLine(int argc, char** argv);

// Text from outside (a file's settings, a place, a file name) as a terminal
// shows it literally: control characters, C1 controls and bytes that are not
// UTF-8 become visible escapes (\x1b, \n, \u009b), so no message can move the
// cursor, retitle the window or change its colours.
std::string printable(std::string_view text);

}  // namespace glimra
