#include "render/numtext.h"

#include <bit>
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <locale.h>

namespace glimra {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Goes through the text one character at a time. The lenient reading passes
// over blanks, tabs and line feeds wherever they stand; the strict one sees
// every character.
class Reader {
public:
    Reader(std::string_view t, bool skipBlanks) : text_(t), skipBlanks_(skipBlanks) {}
    // '\0' at the end of the text
    char peek()
    {
        while (skipBlanks_ && pos_ < text_.size() && isBlank(text_[pos_]))
            ++pos_;
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    void next() { ++pos_; }
    bool atEnd()
    {
        peek();
        return pos_ == text_.size();
    }

private:
    std::string_view text_;
    bool skipBlanks_;
    std::size_t pos_ = 0;
};

// A decimal number as far as it goes, in the form strtod takes.
struct Decimal {
    std::string clean;
    bool digits = false;            // the mantissa has at least one digit
    bool danglingExponent = false;  // E or D with no digits after it
};

// The one decimal scanner behind both the lenient and the strict reading:
// sign, digits, one point, digits, then E or D with an optional sign and
// digits. It stops at the first character that cannot continue the number.
Decimal scanDecimal(Reader& r)
{
    Decimal d;
    char c = r.peek();
    if (c == '+' || c == '-') {
        if (c == '-')
            d.clean += '-';
        r.next();
    }
    const auto digitRun = [&] {
        while (isDigit(r.peek())) {
            d.clean += r.peek();
            r.next();
            d.digits = true;
        }
    };
    digitRun();
    if (r.peek() == '.') {
        d.clean += '.';
        r.next();
        digitRun();
    }
    if (!d.digits)
        return d;

    c = r.peek();
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
        r.next();
        std::string exponent = "e";
        const char s = r.peek();
        if (s == '+' || s == '-') {
            exponent += s;
            r.next();
        }
        bool expDigits = false;
        while (isDigit(r.peek())) {
            exponent += r.peek();
            r.next();
            expDigits = true;
        }
        if (expDigits)
            d.clean += exponent;
        else
            d.danglingExponent = true;
    }
    return d;
}

struct Parsed {
    double value;
    bool overflow;  // beyond the double range; value is then the largest double of its sign
};

// strtod honours LC_NUMERIC; the boxes always use a point, so parse in "C".
// glibc's strtod rounds correctly however many digits there are.
Parsed parseDecimal(const std::string& clean)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const double v = strtod_l(clean.c_str(), nullptr, cLocale);
    if (std::isinf(v))
        return {std::copysign(DBL_MAX, v), true};
    return {v, false};
}

// A whole number after &H or &O, however long, is exact up to one rounding:
// its leading bits are kept, the rest only noted as zero or not, and the
// result rounded once to the nearest double, a tie going to the even one.
// Adding digit after digit in a double would round at every step instead.
double readWhole(Reader& r, int bitsPerDigit)
{
    const int radix = 1 << bitsPerDigit;
    std::uint64_t top = 0;      // the leading bits
    std::uint64_t below = 0;    // number of bits after them
    bool belowNonZero = false;  // any of those bits set
    for (;;) {
        const int d = hexDigit(r.peek());
        if (d < 0 || d >= radix)
            break;
        r.next();
        // Beyond 60 bits, top has more than the 53 a double keeps plus the
        // rounding bit, so later digits only matter as zero or not.
        if (top >> 60 == 0) {
            top = top << bitsPerDigit | std::uint64_t(d);
        } else {
            below += std::uint64_t(bitsPerDigit);
            belowNonZero = belowNonZero || d != 0;
        }
    }
    const int width = std::bit_width(top);
    if (width > DBL_MANT_DIG) {
        const int cut = width - DBL_MANT_DIG;
        const std::uint64_t rest = top & ((std::uint64_t(1) << cut) - 1);
        const std::uint64_t half = std::uint64_t(1) << (cut - 1);
        top >>= cut;
        below += std::uint64_t(cut);
        if (rest > half || (rest == half && (belowNonZero || (top & 1))))
            ++top;  // 2^53 at most, still exact
    }
    if (below >= std::uint64_t(DBL_MAX_EXP))
        return DBL_MAX;  // top is at least 1 here: 2^1024 or more
    const double v = std::ldexp(double(top), int(below));
    return std::isinf(v) ? DBL_MAX : v;
}

}  // namespace

int hexDigit(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

double Val(std::string_view text)
{
    Reader r(text, true);
    if (r.peek() == '&') {
        r.next();
        const char p = r.peek();
        if (p == 'H' || p == 'h') {
            r.next();
            return readWhole(r, 4);
        }
        if (p == 'O' || p == 'o') {
            r.next();
            return readWhole(r, 3);
        }
        return 0;
    }
    // "1E" or "1E+" stop before the exponent: the mantissa stands alone.
    const Decimal d = scanDecimal(r);
    return d.digits ? parseDecimal(d.clean).value : 0;
}

std::optional<double> valWhole(std::string_view text)
{
    Reader r(text, true);
    double value = 0;
    if (r.peek() == '&') {
        r.next();
        const char p = r.peek();
        const int bits = p == 'H' || p == 'h' ? 4 : p == 'O' || p == 'o' ? 3 : 0;
        if (bits == 0)
            return std::nullopt;
        r.next();
        if (hexDigit(r.peek()) < 0 || hexDigit(r.peek()) >= 1 << bits)
            return std::nullopt;
        value = readWhole(r, bits);
    } else {
        const Decimal d = scanDecimal(r);
        if (!d.digits || d.danglingExponent)
            return std::nullopt;
        value = parseDecimal(d.clean).value;
    }
    if (!r.atEnd())
        return std::nullopt;
    return value;
}

std::string Text(double x)
{
    if (x == 0)
        return "0";  // also for -0, which would otherwise show a sign
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 15);
    std::string s(buf, res.ptr);
    for (char& ch : s)
        if (ch == 'e')
            ch = 'E';
    return s;
}

double Round(double x) { return std::nearbyint(x); }

std::optional<double> strictNumber(std::string_view text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && isBlank(text[b]))
        ++b;
    while (e > b && isBlank(text[e - 1]))
        --e;
    Reader r(text.substr(b, e - b), false);
    const Decimal d = scanDecimal(r);
    if (!d.digits || d.danglingExponent || !r.atEnd())
        return std::nullopt;
    const Parsed v = parseDecimal(d.clean);
    if (v.overflow)
        return std::nullopt;
    return v.value;
}

}  // namespace glimra
