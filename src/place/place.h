// A place: a pattern and the five texts that paint it, as one line of text,
//   glimra:dune?x=1&y=1&size=150&zoom=1&bright=150
// so that a view can be handed on as a link, kept in a picture file or given
// on a command line. The texts are kept exactly as typed: every byte outside
// letters, digits and "-._~" is percent-encoded as UTF-8.
#pragma once

#include "render/frame.h"

#include <optional>
#include <string>
#include <string_view>

namespace glimra {

inline constexpr std::string_view kPlaceScheme = "glimra:";

struct Place {
    std::string pattern;  // the pattern's name as its button shows it
    PatternTexts texts;
};

// The one line of a place, keys in the window's order.
std::string formatPlace(const Place& place);

// Reads a place. The scheme and the pattern name are read in any letter case,
// unknown keys are ignored and missing ones take the start values. Anything
// else (another scheme, an unknown pattern, a broken escape, text that is not
// UTF-8, a control character, a key given twice, more than a box can hold) is
// refused: nothing, with the reason in `why`. Blanks around the line (a line
// feed copied with it) are passed over.
std::optional<Place> parsePlace(std::string_view text, std::string* why);

// Longest place text read, and longest text taken for one parameter.
inline constexpr std::size_t kMaxPlaceLength = 8192;
inline constexpr std::size_t kMaxPlaceText = 1000;

}  // namespace glimra
