// The pixel stage of a formula's program over one column, written once on the
// lane type V: each step runs over a block of rows, V::width rows at a time,
// then a group of half the width where one fits, and the rows left one lane
// each. Every lane gives the bits one double would, so every width paints the
// same picture.
//
// This header is compiled for the baseline and, in the files that make the
// AVX2 and AVX-512 stages, with those instruction sets; everything here sits
// in the instruction set's inline namespace, and it uses no standard library
// template, so that no copy compiled with AVX2 or AVX-512 can stand in for a
// baseline one.
#pragma once

#include "formula/program.h"
#include "patterns/kernel.h"

namespace glimra::formula {

// What the pixel stage reads, as plain pointers.
struct PixelStage {
    const Step* steps = nullptr;
    std::size_t count = 0;
    Operand red, green, blue;
};

inline namespace GLIMRA_ISA {

// The operations, each on any lane type.
struct Negate {
    template <class T>
    T operator()(T x) const
    {
        return -x;
    }
};
struct Absolute {
    template <class T>
    T operator()(T x) const
    {
        return fabs(x);
    }
};
struct Sine {
    template <class T>
    T operator()(T x) const
    {
        return sin(x);
    }
};
struct Cosine {
    template <class T>
    T operator()(T x) const
    {
        return cos(x);
    }
};
struct Tangent {
    template <class T>
    T operator()(T x) const
    {
        return tan(x);
    }
};
struct Plus {
    template <class T>
    T operator()(T x, T y) const
    {
        return x + y;
    }
};
struct Minus {
    template <class T>
    T operator()(T x, T y) const
    {
        return x - y;
    }
};
struct Times {
    template <class T>
    T operator()(T x, T y) const
    {
        return x * y;
    }
};
struct Divide {
    template <class T>
    T operator()(T x, T y) const
    {
        return x / y;
    }
};
struct Power {
    template <class T>
    T operator()(T x, T y) const
    {
        return pow(x, y);
    }
};

// The rows from k on, V::width at a time as far as whole groups go; returns
// where it stopped.
template <class V, class F>
std::size_t groupsOver(F f, const double* a, double sa, const double* b, double sb, double* out, std::size_t k,
                       std::size_t n)
{
    constexpr std::size_t w = V::width;
    if (a && b) {
        for (; k + w <= n; k += w)
            f(V::load(a + k), V::load(b + k)).store(out + k);
    } else if (a) {
        const V vb(sb);
        for (; k + w <= n; k += w)
            f(V::load(a + k), vb).store(out + k);
    } else {
        const V va(sa);
        for (; k + w <= n; k += w)
            f(va, V::load(b + k)).store(out + k);
    }
    return k;
}

// f over n rows of a and b (sa, sb where a or b is null): V::width rows at a
// time, then a group of half the width where one fits, and the rows left one
// lane each.
template <class V, class F>
void overRows(F f, const double* a, double sa, const double* b, double sb, double* out, std::size_t n)
{
    std::size_t k = groupsOver<V>(f, a, sa, b, sb, out, 0, n);
    if constexpr (requires { typename V::Half; })
        k = groupsOver<typename V::Half>(f, a, sa, b, sb, out, k, n);
    for (; k < n; ++k)
        out[k] = f(ExactOne(a ? a[k] : sa), ExactOne(b ? b[k] : sb)).v;
}

template <class V, class F>
void overRows(F f, const double* a, double* out, std::size_t n)
{
    constexpr std::size_t w = V::width;
    std::size_t k = 0;
    for (; k + w <= n; k += w)
        f(V::load(a + k)).store(out + k);
    if constexpr (requires { typename V::Half; })
        for (; k + V::Half::width <= n; k += V::Half::width)
            f(V::Half::load(a + k)).store(out + k);
    for (; k < n; ++k)
        out[k] = f(ExactOne(a[k])).v;
}

// The rows [start, start + n) of a column: `values` holds every value fixed
// before the pixel stage (by node), `slots` room for the stage's arrays.
template <class V>
void pixelBlock(const PixelStage& stage, const double* values, double* slots, const ColumnArgs& col, std::size_t start,
                std::size_t n)
{
    const auto array = [&](const Operand& o) -> const double* {
        if (o.kind == Operand::Slot)
            return slots + std::size_t(o.index) * kBlock;
        if (o.kind == Operand::RowTerm)
            return col.table + std::size_t(o.index) * col.count + start;
        return nullptr;
    };
    for (std::size_t s = 0; s < stage.count; ++s) {
        const Step& step = stage.steps[s];
        const double* a = array(step.a);
        double* out = slots + std::size_t(step.out) * kBlock;
        switch (step.op) {
        case Op::Neg: overRows<V>(Negate(), a, out, n); break;
        case Op::Abs: overRows<V>(Absolute(), a, out, n); break;
        case Op::Sin: overRows<V>(Sine(), a, out, n); break;
        case Op::Cos: overRows<V>(Cosine(), a, out, n); break;
        case Op::Tan: overRows<V>(Tangent(), a, out, n); break;
        default: {
            const double* b = array(step.b);
            const double sa = a ? 0 : values[step.a.index];
            const double sb = b ? 0 : values[step.b.index];
            switch (step.op) {
            case Op::Add: overRows<V>(Plus(), a, sa, b, sb, out, n); break;
            case Op::Sub: overRows<V>(Minus(), a, sa, b, sb, out, n); break;
            case Op::Mul: overRows<V>(Times(), a, sa, b, sb, out, n); break;
            case Op::Div: overRows<V>(Divide(), a, sa, b, sb, out, n); break;
            case Op::Pow: overRows<V>(Power(), a, sa, b, sb, out, n); break;
            default: break;  // no other operation reaches the pixel stage
            }
        }
        }
    }
    const double* r = array(stage.red);
    const double* g = array(stage.green);
    const double* b = array(stage.blue);
    const double sr = r ? 0 : values[stage.red.index];
    const double sg = g ? 0 : values[stage.green.index];
    const double sb = b ? 0 : values[stage.blue.index];
    for (std::size_t k = 0; k < n; ++k)
        col.out[start + k] = packPixel(r ? r[k] : sr, g ? g[k] : sg, b ? b[k] : sb);
}

// A whole column, a block of rows at a time.
template <class V>
void pixelStage(const PixelStage& stage, const double* values, double* slots, const ColumnArgs& col)
{
    static_assert(kBlock % V::width == 0);
    for (std::size_t start = 0; start < col.count; start += kBlock)
        pixelBlock<V>(stage, values, slots, col, start, col.count - start < kBlock ? col.count - start : kBlock);
}

}  // namespace GLIMRA_ISA

// The AVX2 pixel stage, made in the file compiled with AVX2.
namespace lanes4 {
void pixelStage(const PixelStage& stage, const double* values, double* slots, const ColumnArgs& col);
}

// The AVX-512 pixel stage, made in the file compiled with AVX-512.
namespace lanes8 {
void pixelStage(const PixelStage& stage, const double* values, double* slots, const ColumnArgs& col);
}

}  // namespace glimra::formula
