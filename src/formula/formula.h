// Patterns written as text: a small language of named values and the three
// colour components, compiled once into a program that the render frame runs
// like any built-in pattern, with the same correctly rounded functions and the
// same IEEE arithmetic, grouped exactly as the text groups it.
//
// A formula is hostile input: its length, its number of terms and its nesting
// are bounded before anything is built from it, the compiler recurses no
// deeper than the nesting bound, and a formula can do nothing but arithmetic.
#pragma once

#include "render/frame.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace glimra::formula {

// The bounds a formula must keep.
inline constexpr std::size_t kMaxBytes = 65536;  // the text's length
inline constexpr int kMaxTerms = 10000;          // numbers, names, operators and calls
inline constexpr int kMaxDepth = 64;             // parentheses, calls, signs and powers inside each other

// Why a formula was refused: where (line and column counted from 1, a column
// being one character) and what was expected there.
struct Error {
    int line = 0;
    int column = 0;
    std::string message;

    // "line 3, column 14: a value was expected after '*'"
    std::string text() const;
};

struct Program;

// What a compiled program holds, for the tests and the benchmark.
struct ProgramSize {
    int perRender = 0;  // values computed once per render
    int perColumn = 0;  // once per column
    int perRow = 0;     // once per row, kept in the row table
    int perPixel = 0;   // steps run for every pixel
};

// A compiled formula and the Pattern that renders it. The Pattern (and every
// Derived it gives) points into this object: keep it alive while they are in
// use. Compiled formulas are read-only, so any number of renders, threads or
// nested renders may share one.
class Formula {
public:
    ~Formula();
    Formula(const Formula&) = delete;
    Formula& operator=(const Formula&) = delete;

    // Compiles `text`; null with `error` filled when the text is refused.
    static std::unique_ptr<Formula> compile(std::string_view text, Error& error);

    const Pattern& pattern() const { return pattern_; }
    ProgramSize size() const;

private:
    explicit Formula(std::unique_ptr<Program> program);
    std::unique_ptr<Program> program_;
    Pattern pattern_;
};

// The text of a built-in pattern, by its name in any letter case or its
// button index; empty when there is no such pattern. Each paints exactly what the compiled pattern
// paints: a place to start one's own.
std::string_view builtinText(std::string_view name);

}  // namespace glimra::formula
