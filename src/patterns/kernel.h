// What every pattern's formula needs: the lane types, and the scans that turn
// one formula, written once as a template on its value type, into the
// Pattern's pixel function, row table and column scans of one lane, two (SSE2 or NEON),
// AVX2's four and AVX-512's eight. (The clamp, Round and packing of a pixel are the frame's:
// render/colour.h.)
//
// A formula is a struct F with
//   static constexpr int rowTerms, columnTerms;      (each at least 1)
//   template <class V> static void row(const Derived&, V j, V* r);
//   template <class V> static void column(const Derived&, V i, V* c);
//   template <class V> static Rgb<V> pixel(const Derived&, const V* c, const V* r);
// row() gives the terms that depend on the row counter alone (computed once
// per render, one lane), column() those of the column counter alone (once per
// column), pixel() the rest. Written as the formula groups its terms, a pixel
// is row(), column() and pixel() one after the other, on whatever lanes.
//
// This header is compiled three times on x86-64: for the baseline and, in the
// files that make the AVX2 and AVX-512 scans, with those instruction sets; its
// inline functions sit in the instruction set's inline namespace (see
// math/lanes.h).
#pragma once

#include "math/lanes.h"
#include "render/frame.h"

namespace glimra {

// No pattern calls a function of one double: each formula's functions are its
// value type's, so that an unqualified call on a plain double (which would
// reach the C library) does not compile.
double sin(double) = delete;
double cos(double) = delete;
double tan(double) = delete;
double pow(double, double) = delete;
double fabs(double) = delete;

inline namespace GLIMRA_ISA {

// The frame values most patterns share: centred, the zoom doubled, the
// brightness as is.
inline Derived centredDoubledZoom(const PatternParameters& p)
{
    Derived d = centredFrame(p);
    d.Z = p.zoom + p.zoom;
    d.B = p.bright;
    return d;
}

// A fixed shift of 150 rather than half the size: the picture is not centred
// on (x, y), and its first pixel does not move when the size changes. Z and
// B are the pattern's own.
inline Derived shiftedBy150(const PatternParameters& p)
{
    Derived d = sizedFrame(p);
    d.x0 = p.x + 150;
    d.y0 = p.y - 150;
    d.B = p.bright;
    return d;
}

// The scaled coordinate of a counter as most patterns map it: K times the
// quotient, then times the zoom.
template <class V>
V scaled(V counter, double Z)
{
    return (K * (counter / 200)) * Z;
}

// Row and column terms that several formulas start from; a formula derives
// from one and adds what is its own.
// a = the scaled row counter.
struct ScaledRow {
    static constexpr int rowTerms = 1;

    template <class V>
    static void row(const Derived& v, V j, V* r)
    {
        r[0] = scaled(j, v.Z);
    }
};

// a and b, the scaled row and column counters.
struct ScaledCoordinates : ScaledRow {
    static constexpr int columnTerms = 1;

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        c[0] = scaled(i, v.Z);
    }
};

// The same, starting at 0.5.
struct ShiftedCoordinates {
    static constexpr int rowTerms = 1, columnTerms = 1;

    template <class V>
    static void row(const Derived& v, V j, V* r)
    {
        r[0] = 0.5 + scaled(j, v.Z);
    }

    template <class V>
    static void column(const Derived& v, V i, V* c)
    {
        c[0] = 0.5 + scaled(i, v.Z);
    }
};

// kraken and qwin: the scaled row coordinate and 0.000123 + K x (j / 200),
// the divisor of their quotient q.
struct QuotientRows {
    static constexpr int rowTerms = 2;

    template <class V>
    static void row(const Derived& v, V j, V* r)
    {
        const V kj = K * (j / 200);
        r[0] = kj * v.Z;
        r[1] = 0.000123 + kj;
    }
};

template <class V>
struct Rgb {
    V red, green, blue;
};

using ExactOne = lanes::One<lanes::Exact>;
using LibcOne = lanes::One<lanes::Libc>;

// The formula as written for one pixel, with the functions of M.
template <class F, class M>
Components pixelOf(const Derived& d, double i, double j)
{
    using V = lanes::One<M>;
    V r[F::rowTerms], c[F::columnTerms];
    F::row(d, V(j), r);
    F::column(d, V(i), c);
    const Rgb<V> p = F::pixel(d, c, r);
    return {p.red.v, p.green.v, p.blue.v};
}

// The row terms of every row: rowTerms arrays of one value per row.
template <class F, class M>
void rowsOf(const Derived& d, const double* j, std::size_t count, double* table)
{
    using V = lanes::One<M>;
    for (std::size_t m = 0; m < count; ++m) {
        V r[F::rowTerms];
        F::row(d, V(j[m]), r);
        for (int t = 0; t < F::rowTerms; ++t)
            table[std::size_t(t) * count + m] = r[t].v;
    }
}

// The rows from m on, V::width at a time, as far as whole groups go; returns
// where it stopped.
template <class F, class V>
std::size_t groupsOf(const Derived& d, const ColumnArgs& col, std::size_t m)
{
    V c[F::columnTerms];
    F::column(d, V(col.i), c);
    constexpr std::size_t w = V::width;
    for (; m + w <= col.count; m += w) {
        V r[F::rowTerms];
        for (int t = 0; t < F::rowTerms; ++t)
            r[t] = V::load(col.table + std::size_t(t) * col.count + m);
        const Rgb<V> p = F::pixel(d, c, r);
        double red[w], green[w], blue[w];
        p.red.store(red);
        p.green.store(green);
        p.blue.store(blue);
        for (std::size_t l = 0; l < w; ++l)
            col.out[m + l] = packPixel(red[l], green[l], blue[l]);
    }
    return m;
}

// One column, V::width rows at a time; of the rows that do not fill a last
// group, a group of half the width takes what it can, and the rest take one
// lane each.
template <class F, class V>
void columnOf(const Derived& d, const ColumnArgs& col)
{
    std::size_t m = 0;
    if constexpr (V::width > 1) {
        m = groupsOf<F, V>(d, col, m);
        if constexpr (requires { typename V::Half; })
            if (col.count - m >= std::size_t(V::Half::width))
                m = groupsOf<F, typename V::Half>(d, col, m);
        if (m == col.count)
            return;
    }
    ExactOne c[F::columnTerms];
    F::column(d, ExactOne(col.i), c);
    for (; m < col.count; ++m) {
        ExactOne r[F::rowTerms];
        for (int t = 0; t < F::rowTerms; ++t)
            r[t] = ExactOne(col.table[std::size_t(t) * col.count + m]);
        const Rgb<ExactOne> p = F::pixel(d, c, r);
        col.out[m] = packPixel(p.red.v, p.green.v, p.blue.v);
    }
}

}  // namespace GLIMRA_ISA

// The AVX2 and AVX-512 scans, made in the files compiled with those
// instruction sets (in four registers: sixteen rows at a time with AVX2,
// thirty-two with AVX-512; the SSE2 scans take eight); one function per
// pattern, named after it.
namespace lanes4 {
}
namespace lanes8 {
}

}  // namespace glimra

// Defines the Pattern `object` from its name, derive rule and formula. In the
// baseline build of a pattern file this is the Pattern itself and its checked
// forms (checking::object, see patterns/checked.h, which the file includes); in
// the AVX2 and AVX-512 builds of the same file it is the pattern's scan of
// that instruction set, which the baseline Pattern points to.
#if defined(GLIMRA_LANES8_FILE)
#define GLIMRA_SCAN_ROOM lanes8
#define GLIMRA_SCAN_LANES lanes::Twice<lanes::Twice<lanes::Eight>>
#elif defined(GLIMRA_LANES4_FILE)
#define GLIMRA_SCAN_ROOM lanes4
#define GLIMRA_SCAN_LANES lanes::Twice<lanes::Twice<lanes::Four>>
#endif
#if defined(GLIMRA_SCAN_ROOM)
#define GLIMRA_PATTERN(object, label, deriveRule, Formula) \
    namespace GLIMRA_SCAN_ROOM {                           \
    void object(const Derived& d, const ColumnArgs& col)   \
    {                                                      \
        (void)&deriveRule;                                 \
        columnOf<Formula, GLIMRA_SCAN_LANES>(d, col);      \
    }                                                      \
    }
#else
#if defined(GLIMRA_HAVE_LANES4)
#define GLIMRA_LANES4_SCAN(object)                  \
    namespace lanes4 {                              \
    void object(const Derived&, const ColumnArgs&); \
    }
#define GLIMRA_LANES4_OF(object) &lanes4::object
#else
#define GLIMRA_LANES4_SCAN(object)
#define GLIMRA_LANES4_OF(object) nullptr
#endif
#if defined(GLIMRA_HAVE_LANES8)
#define GLIMRA_LANES8_SCAN(object)                  \
    namespace lanes8 {                              \
    void object(const Derived&, const ColumnArgs&); \
    }
#define GLIMRA_LANES8_OF(object) &lanes8::object
#else
#define GLIMRA_LANES8_SCAN(object)
#define GLIMRA_LANES8_OF(object) nullptr
#endif
#if defined(GLIMRA_LANES2_TYPES)
#define GLIMRA_LANES2_OF(Formula) &columnOf<Formula, lanes::Twice<lanes::Twice<lanes::Two>>>
#else
#define GLIMRA_LANES2_OF(Formula) nullptr
#endif
#define GLIMRA_PATTERN(object, label, deriveRule, Formula)                                                    \
    GLIMRA_LANES4_SCAN(object)                                                                                \
    GLIMRA_LANES8_SCAN(object)                                                                                \
    const Pattern object{label,                                                                               \
                         deriveRule,                                                                          \
                         &pixelOf<Formula, lanes::Exact>,                                                     \
                         &columnOf<Formula, ExactOne>,                                                        \
                         Formula::rowTerms,                                                                   \
                         &rowsOf<Formula, lanes::Exact>,                                                      \
                         GLIMRA_LANES2_OF(Formula),                                                           \
                         GLIMRA_LANES4_OF(object),                                                            \
                         GLIMRA_LANES8_OF(object)};                                                           \
    namespace checking {                                                                                      \
    const CheckedForms object{&glimra::object, &pixelOf<Formula, lanes::Libc>, &rowsOf<Formula, lanes::Libc>, \
                              &pixelOf<Formula, lanes::Chosen>};                                              \
    }
#endif
