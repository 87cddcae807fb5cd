// The nineteen patterns and the table that maps button index and name to them.
// The window and glimra-render both look patterns up here and nowhere else.
#pragma once

#include "render/frame.h"

#include <span>
#include <string_view>

namespace glimra {

// Button index to pattern, 0 .. 18.
inline constexpr int kPatternCount = 19;
std::span<const Pattern* const> patternTable();

// By name (any letter case) or by index written as a number; null when unknown.
const Pattern* findPattern(std::string_view nameOrIndex);

// The index of a pattern in the table, -1 when absent.
int patternIndex(const Pattern& pattern);

// Each routine, defined in the file of its family.
extern const Pattern aries, blood, celt;   // aries_blood_celt.cpp
extern const Pattern dune;                 // dune.cpp
extern const Pattern eeee;                 // eeee.cpp
extern const Pattern fun, grin;            // fun_grin.cpp
extern const Pattern hix, ice, joke;       // hix_ice_joke.cpp
extern const Pattern kraken, limbo, numb;  // kraken_limbo_numb.cpp
extern const Pattern ooh, Punk, qwin;      // ooh_punk_qwin.cpp
extern const Pattern rumba, sizZle, Tame;  // rumba_sizzle_tame.cpp

}  // namespace glimra
