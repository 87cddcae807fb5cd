#include "render/numtext.h"

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace glimra {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// strtod honours LC_NUMERIC; the boxes always use a point, so parse in "C".
double parseDecimal(const std::string& clean)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    errno = 0;
    double v = strtod_l(clean.c_str(), nullptr, cLocale);
    if (std::isinf(v))
        v = std::copysign(DBL_MAX, v);
    return v;
}

// Collects the characters of the text with blanks, tabs and line feeds removed,
// which is what "ignored wherever they stand" amounts to.
class Reader {
public:
    explicit Reader(std::string_view t) : text_(t) {}
    char peek()
    {
        while (pos_ < text_.size() && isBlank(text_[pos_]))
            ++pos_;
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    void next() { ++pos_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

double readRadix(Reader& r, int radix)
{
    double v = 0;
    for (;;) {
        char c = r.peek();
        int d;
        if (isDigit(c))
            d = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (radix == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        if (d >= radix)
            break;
        v = v * radix + d;
        r.next();
    }
    return std::isinf(v) ? DBL_MAX : v;
}

}  // namespace

double Val(std::string_view text)
{
    Reader r(text);
    if (r.peek() == '&') {
        r.next();
        char p = r.peek();
        if (p == 'H' || p == 'h') {
            r.next();
            return readRadix(r, 16);
        }
        if (p == 'O' || p == 'o') {
            r.next();
            return readRadix(r, 8);
        }
        return 0;
    }

    std::string clean;
    char c = r.peek();
    if (c == '+' || c == '-') {
        if (c == '-')
            clean += '-';
        r.next();
    }
    bool mantissaDigits = false;
    while (isDigit(r.peek())) {
        clean += r.peek();
        r.next();
        mantissaDigits = true;
    }
    if (r.peek() == '.') {
        clean += '.';
        r.next();
        while (isDigit(r.peek())) {
            clean += r.peek();
            r.next();
            mantissaDigits = true;
        }
    }
    if (!mantissaDigits)
        return 0;

    c = r.peek();
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
        r.next();
        std::string exponent = "e";
        char s = r.peek();
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
        // "1E" or "1E+" stop before the exponent: the mantissa stands alone.
        if (expDigits)
            clean += exponent;
    }
    return parseDecimal(clean);
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
    std::string_view t = text.substr(b, e - b);
    std::size_t p = 0;
    std::string clean;
    if (p < t.size() && (t[p] == '+' || t[p] == '-')) {
        if (t[p] == '-')
            clean += '-';
        ++p;
    }
    bool digits = false;
    while (p < t.size() && isDigit(t[p])) {
        clean += t[p++];
        digits = true;
    }
    if (p < t.size() && t[p] == '.') {
        clean += t[p++];
        while (p < t.size() && isDigit(t[p])) {
            clean += t[p++];
            digits = true;
        }
    }
    if (!digits)
        return std::nullopt;
    if (p < t.size() && (t[p] == 'E' || t[p] == 'e' || t[p] == 'D' || t[p] == 'd')) {
        clean += 'e';
        ++p;
        if (p < t.size() && (t[p] == '+' || t[p] == '-'))
            clean += t[p++];
        bool expDigits = false;
        while (p < t.size() && isDigit(t[p])) {
            clean += t[p++];
            expDigits = true;
        }
        if (!expDigits)
            return std::nullopt;
    }
    if (p != t.size())
        return std::nullopt;
    double v = parseDecimal(clean);
    if (std::fabs(v) == DBL_MAX && errno == ERANGE)
        return std::nullopt;
    return v;
}

}  // namespace glimra
