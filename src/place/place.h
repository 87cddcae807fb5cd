// A place: a pattern and the five texts that paint it, as one line of text,
//   glimra:dune?x=1&y=1&size=150&zoom=1&bright=150
// so that a view can be handed on as a link, kept in a picture file or given
// on a command line. The texts are kept exactly as typed: every byte outside
// letters, digits and "-._~" is percent-encoded as UTF-8.
//
// A place may carry a pattern written as text, under the name "formula":
//   glimra:formula?x=1&y=1&size=150&zoom=1&bright=150&formula=x0%20%3D%20...
// the formula's text percent-encoded like the five.
#pragma once

#include "render/frame.h"

#include <optional>
#include <string>
#include <string_view>

namespace glimra {

inline constexpr std::string_view kPlaceScheme = "glimra:";

struct Place {
    std::string pattern;  // the pattern's name as its button shows it, or kFormulaName
    PatternTexts texts;
    std::string formula{};  // with kFormulaName, the formula's text; else empty
};

// The name a pattern written as text goes by.
inline constexpr std::string_view kFormulaName = "formula";

// What a reader of places opens: the nineteen alone, or formulas as well.
// A reader that cannot paint a formula refuses a formula's place as it
// refuses any unknown pattern.
enum class PlaceKinds { Patterns, PatternsAndFormulas };

// The one line of a place, keys in the window's order.
std::string formatPlace(const Place& place);

// Reads a place. The scheme and the pattern name are read in any letter case,
// unknown keys are ignored and missing ones take the start values. Anything
// else (another scheme, an unknown pattern, a broken escape, text that is not
// UTF-8, a control character, a key given twice, more than a box can hold) is
// refused: nothing, with the reason in `why`. Blanks around the line (a line
// feed copied with it) are passed over.
// A formula's text may hold line ends and tabs, and no more than
// kMaxPlaceFormula bytes; its compiling is left to the caller.
std::optional<Place> parsePlace(std::string_view text, std::string* why, PlaceKinds kinds = PlaceKinds::Patterns);

// Longest place text read, and longest text taken for one parameter.
inline constexpr std::size_t kMaxPlaceLength = 8192;
inline constexpr std::size_t kMaxPlaceText = 1000;
// Longest formula a place carries (its text before encoding), and the longest
// place read when it may carry one: every byte of it encoded, and the rest.
inline constexpr std::size_t kMaxPlaceFormula = 8192;
inline constexpr std::size_t kMaxFormulaPlaceLength = 3 * kMaxPlaceFormula + kMaxPlaceLength;

}  // namespace glimra
