// libFuzzer target for the number reader: Val and strictNumber on any bytes.
//
// Besides crashes and sanitizer reports it stops on a broken promise:
// - Val is finite (beyond the double range it is the largest double), never NaN;
// - reading stops at a character that cannot continue any number, so whatever
//   follows one changes nothing;
// - blanks, tabs and line feeds change nothing wherever they stand;
// - &H and &O whole numbers are the nearest double to their exact value
//   (checked against the C library's reading of hexadecimal floating point);
// - strictNumber gives a finite value or none, ignores surrounding blanks,
//   rejects trailing junk, and where it gives a value Val gives the same.
#include "render/numtext.h"

#include <bit>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using glimra::strictNumber;
using glimra::Val;

namespace {

void fail(const char* what, std::string_view input, double got, double expected)
{
    std::fprintf(stderr, "%s: got %a, expected %a for input of %zu bytes\n", what, got, expected, input.size());
    std::abort();
}

// Same bits: a -0 for a 0 counts as a difference too.
void expectSame(const char* what, std::string_view input, double got, double expected)
{
    if (std::bit_cast<std::uint64_t>(got) != std::bit_cast<std::uint64_t>(expected))
        fail(what, input, got, expected);
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Characters that continue no number in any state: not a digit, hex digit,
// sign, point, exponent letter, &, H, O or blank.
constexpr std::string_view junk = "xXgGzZ,;:#!?/*()[]_=<>\"'\r\v\f\x7f\x80\xff";

// The exact value of the &H or &O number that a blank-free text starts with,
// rounded by strtod; octal digits are regrouped into hexadecimal ones.
bool wholeNumberOracle(const std::string& clean, double& expected)
{
    if (clean.size() < 2 || clean[0] != '&')
        return false;
    const char p = clean[1];
    const bool hex = p == 'H' || p == 'h';
    if (!hex && p != 'O' && p != 'o')
        return false;
    std::string digits;
    for (std::size_t i = 2; i < clean.size(); ++i) {
        const char c = clean[i];
        const bool ok = hex ? std::isxdigit(static_cast<unsigned char>(c)) : (c >= '0' && c <= '7');
        if (!ok)
            break;
        digits += c;
    }
    if (!hex) {
        std::string bits;
        for (char c : digits)
            for (int b = 2; b >= 0; --b)
                bits += ((c - '0') >> b & 1) ? '1' : '0';
        bits.insert(0, (4 - bits.size() % 4) % 4, '0');
        digits.clear();
        for (std::size_t i = 0; i < bits.size(); i += 4)
            digits += "0123456789abcdef"[std::stoi(bits.substr(i, 4), nullptr, 2)];
    }
    const double v = std::strtod(("0x0" + digits).c_str(), nullptr);
    expected = std::isinf(v) ? DBL_MAX : v;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double v = Val(text);
    if (!std::isfinite(v))
        fail("Val not finite", text, v, 0);

    const unsigned char pick = size ? data[size - 1] : 0;
    const char j = junk[pick % junk.size()];
    expectSame("junk appended", text, Val(text + j), v);
    expectSame("junk then more text", text, Val(text + j + text), v);

    std::string spread;
    for (std::size_t i = 0; i < text.size(); ++i) {
        spread += " \t\n"[i % 3];
        spread += text[i];
    }
    spread += '\n';
    expectSame("blanks between all characters", text, Val(spread), v);
    std::string one = text;
    one.insert(pick % (size + 1), 1, " \t\n"[pick % 3]);
    expectSame("one blank inserted", text, Val(one), v);

    std::string clean;
    for (char c : text)
        if (!isBlank(c))
            clean += c;
    double whole;
    if (wholeNumberOracle(clean, whole))
        expectSame("whole number not the nearest double", text, v, whole);

    const auto s = strictNumber(text);
    const auto padded = strictNumber(" \t\n" + text + "\n\t ");
    if (padded.has_value() != s.has_value())
        fail("strictNumber changed by surrounding blanks", text, padded.value_or(NAN), s.value_or(NAN));
    if (s) {
        if (!std::isfinite(*s))
            fail("strictNumber not finite", text, *s, 0);
        expectSame("strictNumber differs from Val", text, *s, v);
        expectSame("strictNumber changed by surrounding blanks", text, *padded, *s);
    }
    if (const auto withJunk = strictNumber(text + j))
        fail("strictNumber accepted trailing junk", text, *withJunk, 0);
    return 0;
}
