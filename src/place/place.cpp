#include "place/place.h"

#include "render/numtext.h"

#include "patterns/patterns.h"

#include <array>

namespace glimra {

namespace {

bool unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

std::string encode(std::string_view text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (unreserved(c)) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// Well-formed UTF-8: no overlong form, no surrogate, nothing beyond U+10FFFF.
bool validUtf8(std::string_view s)
{
    for (std::size_t k = 0; k < s.size();) {
        const unsigned char c = s[k];
        int extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++k;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, cp = c & 0x07;
        } else {
            return false;
        }
        if (k + extra >= s.size())
            return false;
        for (int n = 1; n <= extra; ++n) {
            const unsigned char t = s[k + n];
            if ((t & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (t & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        k += std::size_t(extra) + 1;
    }
    return true;
}

// Decodes one key or value; nothing, with the reason, when it is broken.
std::optional<std::string> decode(std::string_view part, std::string* why, bool lines = false)
{
    std::string out;
    for (std::size_t k = 0; k < part.size(); ++k) {
        const unsigned char c = part[k];
        if (c == '%') {
            const int hi = k + 2 < part.size() ? hexDigit(part[k + 1]) : -1;
            const int lo = k + 2 < part.size() ? hexDigit(part[k + 2]) : -1;
            if (hi < 0 || lo < 0) {
                *why = "a \"%\" is not followed by two hexadecimal digits";
                return std::nullopt;
            }
            out += char(hi << 4 | lo);
            k += 2;
        } else if (c == ' ') {
            *why = "it holds a blank (a place writes one as %20)";
            return std::nullopt;
        } else {
            out += char(c);
        }
    }
    if (!validUtf8(out)) {
        *why = "a text is not UTF-8";
        return std::nullopt;
    }
    for (const unsigned char c : out)
        if ((c < 0x20 && !(lines && (c == '\t' || c == '\n' || c == '\r'))) || c == 0x7F) {
            *why = "a text holds a control character";
            return std::nullopt;
        }
    return out;
}

bool sameLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[k]) != lower(b[k]))
            return false;
    }
    return true;
}

}  // namespace

std::string formatPlace(const Place& place)
{
    std::string out(kPlaceScheme);
    out += encode(place.pattern);
    char separator = '?';
    for (const ParameterName& p : kParameterNames) {
        out += separator;
        out += p.name;
        out += '=';
        out += encode(place.texts.*p.text);
        separator = '&';
    }
    if (!place.formula.empty()) {
        out += "&formula=";
        out += encode(place.formula);
    }
    return out;
}

std::optional<Place> parsePlace(std::string_view text, std::string* why, PlaceKinds kinds)
{
    const bool formulas = kinds == PlaceKinds::PatternsAndFormulas;
    std::string ignored;
    std::string& reason = why ? *why : ignored;
    auto fail = [&](std::string r) -> std::optional<Place> {
        reason = std::move(r);
        return std::nullopt;
    };
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (text.size() > (formulas ? kMaxFormulaPlaceLength : kMaxPlaceLength))
        return fail(formulas ? "the text is too long to be a place (a place carries a formula of at most " +
                                   std::to_string(kMaxPlaceFormula) + " bytes)"
                             : std::string("the text is too long to be a place"));
    if (text.size() < kPlaceScheme.size() || !sameLetters(text.substr(0, kPlaceScheme.size()), kPlaceScheme))
        return fail("a place starts with \"glimra:\"");
    text.remove_prefix(kPlaceScheme.size());
    for (const unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return fail("a place is one line without control characters");
    if (text.find('#') != std::string_view::npos)
        return fail("a place has no \"#\" part");

    const std::size_t mark = text.find('?');
    std::string why2;
    const std::optional<std::string> name = decode(text.substr(0, mark), &why2);
    if (!name)
        return fail("the pattern name is broken: " + why2);
    if (name->empty())
        return fail("the place names no pattern");
    const Pattern* pattern = nullptr;
    for (const Pattern* candidate : patternTable())
        if (sameLetters(candidate->name, *name))
            pattern = candidate;
    const bool isFormula = formulas && sameLetters(*name, kFormulaName);
    if (!pattern && !isFormula)
        return fail("there is no pattern \"" + name->substr(0, 40) + "\"");

    Place place;
    place.pattern = isFormula ? std::string(kFormulaName) : std::string(pattern->name);
    std::array<bool, std::size(kParameterNames)> seen{};
    bool formulaSeen = false;
    std::string_view query = mark == std::string_view::npos ? std::string_view() : text.substr(mark + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty())
            continue;
        const std::size_t eq = pair.find('=');
        // A key that does not decode is no key of ours, and ignored as any
        // unknown one is.
        const std::optional<std::string> key = decode(pair.substr(0, eq), &why2);
        if (!key)
            continue;
        if (isFormula && *key == "formula") {
            if (eq == std::string_view::npos)
                return fail("formula has no \"=\" and value");
            if (formulaSeen)
                return fail("formula is given twice");
            formulaSeen = true;
            // Bounded before it is decoded: each byte is at most three here.
            if (pair.size() - eq - 1 > 3 * kMaxPlaceFormula)
                return fail("the formula is longer than a place carries (" + std::to_string(kMaxPlaceFormula) +
                            " bytes)");
            std::optional<std::string> value = decode(pair.substr(eq + 1), &why2, true);
            if (!value)
                return fail("the formula is broken: " + why2);
            if (value->size() > kMaxPlaceFormula)
                return fail("the formula is longer than a place carries (" + std::to_string(kMaxPlaceFormula) +
                            " bytes)");
            place.formula = std::move(*value);
            continue;
        }
        for (std::size_t k = 0; k < std::size(kParameterNames); ++k) {
            if (*key != kParameterNames[k].name)
                continue;
            if (eq == std::string_view::npos)
                return fail(*key + " has no \"=\" and value");
            if (seen[k])
                return fail(*key + " is given twice");
            seen[k] = true;
            const std::optional<std::string> value = decode(pair.substr(eq + 1), &why2);
            if (!value)
                return fail("the text of " + *key + " is broken: " + why2);
            if (value->size() > kMaxPlaceText)
                return fail("the text of " + *key + " is too long");
            place.texts.*kParameterNames[k].text = *value;
        }
    }
    if (isFormula && place.formula.empty())
        return fail("a formula's place carries its text (formula=...)");
    return place;
}

}  // namespace glimra
