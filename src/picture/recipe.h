// What a picture file says about how it was made (its recipe: the pattern,
// the five texts, density and samples), as PNG text chunks, and reading it
// back from any file, however hostile, at a bounded cost.
#pragma once

#include "render/frame.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace glimra {

// A picture's density (its resolution over the same region) and samples per
// pixel on a side go up to these.
inline constexpr int kMaxDensity = 64;
inline constexpr int kMaxSamples = 8;

// What a picture file says about how it was made: enough to make it again.
struct PictureRecipe {
    std::string pattern;  // the pattern's name
    PatternTexts texts;   // the five box texts exactly as typed
    int density = 1;
    int samples = 1;
    // A pattern written as text carries its text here (and the name
    // "formula"); the nineteen leave it empty.
    std::string formula{};
    bool operator==(const PictureRecipe&) const = default;
};

using TextChunks = std::vector<std::pair<std::string, std::string>>;

// The text chunks that carry a recipe, the program and its version first.
TextChunks recipeChunks(const PictureRecipe& recipe);

// The recipe a PNG of ours carries; nothing, with the reason in `error`, for a
// file that cannot be read, is no regular file (a pipe is refused, not waited
// on), is no PNG, holds no recipe (or a broken one), or holds more than the
// reader takes: a setting of more than 1 MiB, more than 2 MiB of text, more
// than 32 text chunks. Whatever the file, reading it holds a few MiB at most.
// A formula's text also holds no more than formula::kMaxBytes and is taken
// only as UTF-8 text without control characters other than tab and line
// ends, so that a place, a PNG text chunk and a terminal all carry it as it is.
std::optional<PictureRecipe> readRecipe(const QString& path, QString* error);

// What makes a formula's text one this program does not take (see above);
// empty when it is taken.
std::string formulaTextProblem(std::string_view text);

// A formula's text from a file, or from standard input for "-". A file that
// is not a regular one is refused before it is opened (a pipe is never
// waited on), and no more than the longest formula and one byte is read.
std::optional<std::string> readFormulaFile(const QString& path, QString* error);

}  // namespace glimra
