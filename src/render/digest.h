// The golden pictures' digests: the parameter sets, the bytes hashed and the
// brightness at which each pattern's picture faults, for the golden tests and
// glimra-digest alike. Without Qt, so that a core-only (cross) build prints
// the digests the tests record, line for line.
#pragma once

#include "render/frame.h"
#include "render/sha256.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace glimra::digest {

struct Set {
    const char* name;
    PatternParameters p;  // P1, P2, P3 (size), P4 (zoom), P5 (brightness)
};

inline constexpr Set kReset{"reset", {1, 1, 100, 1, 150}};
inline constexpr Set kLarge{"L", {1, 1, 768, 0.15, 150}};
inline constexpr Set kOffset{"offset", {37.5, -12.25, 64.5, 0.6, 90}};
inline constexpr Set kMedium{"M", {150, 200, 600, 0.2, 150}};

// The digests were recorded with each picture plotted where the window's
// Canvas receives it, its first pixel at (161, 51): every golden render
// plots at this origin.
inline constexpr PlotOrigin kOrigin{160, 50};

// How a golden picture is rendered: on `threads` threads (0: one per core), at
// kOrigin.
inline RenderOptions renderOptions(int threads = 0)
{
    RenderOptions options;
    options.threads = threads;
    options.origin = kOrigin;
    return options;
}

// The reset picture at the brightness where the pattern's overflows after
// some columns, named "fault"; nothing for a pattern that has no such
// picture recorded.
std::optional<Set> faultSet(std::string_view pattern);

// Hashes every column exactly as it is delivered, in delivery order, and at
// the end how the render ended. Each value is hashed as the little-endian
// bytes of its fixed width (long 8 bytes, int 4), the same on any processor.
class Host : public RenderHost {
public:
    void plotColumn(const ColumnView& c) override;
    // The SHA-256 in lower-case hex; the host starts afresh afterwards.
    std::string finish(const RenderResult& r);

private:
    void add32(std::uint32_t v);
    void add64(std::int64_t v);

    Sha256 sha_;
};

// The bits of the three components of the pattern's formula at every pixel
// of the reset and offset sets, column by column, before any clamp or Round:
// a change of one rounding in a formula rarely moves a pixel's colour, but
// always changes this.
std::string formulaDigest(const Pattern& p);

}  // namespace glimra::digest
