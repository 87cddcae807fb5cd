// Number text: how the five parameter boxes are read and written.
//
// Every reader and writer of a parameter box goes through these helpers, so the
// boxes behave the same wherever a number comes from or goes to.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace glimra {

// The value of c as a digit of base 16, or -1.
int hexDigit(char c);

// Lenient reading: blanks, tabs and line feeds are ignored wherever they stand;
// an optional sign, digits, one point, an exponent (E or D), or a whole number
// after &H (hexadecimal) or &O (octal). Reading stops at the first character
// that cannot continue the number; text without a number reads as 0.
// Whatever its length, the number read is the double nearest to it (a tie
// going to the even one).
// A value beyond the double range reads as the largest finite double of its
// sign, so a typed "1e999" can never put an infinity into a computation.
double Val(std::string_view text);

// Val of a text that Val reads to its end: nothing when the text holds no
// number or something follows it ("12abc"), so that an action that writes a
// box back can refuse rather than overwrite what the user typed.
std::optional<double> valWhole(std::string_view text);

// Text form with at most 15 significant digits, always with a point as the
// decimal separator whatever the locale, so that Val(Text(x)) keeps fractions.
// x must be finite.
std::string Text(double x);

// Nearest whole number, a half going to the even neighbour (0.5 -> 0, 1.5 -> 2).
double Round(double x);

// Strict conversion: the whole text (surrounding blanks aside) must be one
// decimal number: sign, digits, optional point and fraction, optional exponent.
// Anything else, an empty text included, gives no value; so does a number
// beyond the double range.
std::optional<double> strictNumber(std::string_view text);

}  // namespace glimra
