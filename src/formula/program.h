// The compiled form of a formula, shared by the compiler and the evaluator.
//
// The program is a graph of nodes in an order where every operand comes
// before its user. Each node belongs to the stage where its value can first
// be computed: once per render (it depends on the parameters alone), once per
// column (on the column counter i and not on j), once per row (on j and not
// on i) or for every pixel. The first three are computed one value at a time;
// the pixel stage runs step by step over a block of a column's rows, each step
// one operation over whole arrays, so that interpreting a step costs once per
// block, not once per pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace glimra::formula {

enum class Op : std::uint8_t {
    // Leaves.
    Const,
    X,
    Y,
    Size,
    Zoom,
    Bright,
    Columns,  // N: the size, except 1024 for a size of 768
    I,        // the column counter
    J,        // the row counter
    // Two operands.
    Add,
    Sub,
    Mul,
    Div,
    Pow,
    // One operand.
    Neg,
    Abs,
    Sin,
    Cos,
    Tan,
    TextHalf,  // Val(Text(v)) / 2; only on values fixed before the scan
};

inline bool binary(Op op) { return op >= Op::Add && op <= Op::Pow; }
inline bool unary(Op op) { return op >= Op::Neg; }

// Bit 1: depends on the column counter; bit 2: on the row counter.
enum Stage : std::uint8_t { kRender = 0, kColumn = 1, kRow = 2, kPixel = 3 };

struct Node {
    Op op = Op::Const;
    std::uint32_t a = 0, b = 0;  // operands, by node number
    double value = 0;            // of a constant
};

// Where a pixel step finds an operand: a value computed before the pixel
// stage (the same for every row of the column), a row term in the row table,
// or an earlier step's block array.
struct Operand {
    enum Kind : std::uint8_t { Scalar, RowTerm, Slot } kind = Scalar;
    std::uint32_t index = 0;  // node number, row term or slot
};

struct Step {
    Op op;
    Operand a, b;
    std::uint32_t out;  // slot
};

struct Program {
    std::vector<Node> nodes;              // every node a result needs, operands first
    std::vector<Stage> stage;             // of each node
    std::vector<std::uint32_t> render;    // per-render nodes the scan reads, in order
    std::vector<std::uint32_t> column;    // per-column nodes, in order
    std::vector<std::uint32_t> row;       // per-row nodes, in order
    std::vector<std::uint32_t> rowTerms;  // per-row nodes kept in the row table
    std::vector<Step> pixel;              // the pixel stage
    std::uint32_t slots = 0;              // block arrays the pixel stage needs
    Operand red, green, blue;
    std::uint32_t colours[3] = {0, 0, 0};             // nodes of red, green and blue
    std::uint32_t x0 = 0, y0 = 0;                     // nodes of the scan origins
    std::int64_t zoomFactor = -1, brightFactor = -1;  // nodes of Z and B, when given
};

// Rows of a column the pixel stage takes at once: a multiple of every lane
// width, and small enough that a block's arrays stay in the nearest cache.
inline constexpr std::size_t kBlock = 64;

// One node's value, its operands' values in `values`; `params` holds x, y,
// size, zoom and bright.
double evaluateNode(const Program& p, std::uint32_t k, const double* params, double i, double j, const double* values);

// Every node's value computed one at a time, in order, with the parameters
// and counters given: the formula as written for one pixel.
void evaluateAll(const Program& p, const double* params, double i, double j, double* values);

// One node from its operands' values (a leaf other than Const excluded).
double apply(const Node& n, double a, double b);

}  // namespace glimra::formula
