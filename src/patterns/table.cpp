#include "patterns/patterns.h"

#include <array>
#include <cctype>
#include <charconv>

namespace glimra {
namespace {

// In button order. A family that is not built yet leaves its slots null.
const std::array<const Pattern*, kPatternCount> kTable = {
    nullptr,  // 0 aries
    nullptr,  // 1 blood
    nullptr,  // 2 celt
    &dune,    // 3
    nullptr,  // 4 eeee
    nullptr,  // 5 fun
    nullptr,  // 6 grin
    nullptr,  // 7 hix
    nullptr,  // 8 ice
    nullptr,  // 9 joke
    nullptr,  // 10 kraken
    nullptr,  // 11 limbo
    nullptr,  // 12 numb
    nullptr,  // 13 ooh
    nullptr,  // 14 Punk
    nullptr,  // 15 qwin
    nullptr,  // 16 rumba
    nullptr,  // 17 sizZle
    nullptr,  // 18 Tame
};

bool sameNameIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t k = 0; k < a.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(a[k])) != std::tolower(static_cast<unsigned char>(b[k])))
            return false;
    return true;
}

}  // namespace

std::span<const Pattern* const> patternTable() { return kTable; }

const Pattern* findPattern(std::string_view nameOrIndex)
{
    int index = -1;
    auto [end, ec] = std::from_chars(nameOrIndex.data(), nameOrIndex.data() + nameOrIndex.size(), index);
    if (ec == std::errc() && end == nameOrIndex.data() + nameOrIndex.size())
        return index >= 0 && index < kPatternCount ? kTable[std::size_t(index)] : nullptr;
    for (const Pattern* p : kTable)
        if (p && sameNameIgnoringCase(p->name, nameOrIndex))
            return p;
    return nullptr;
}

int patternIndex(const Pattern& pattern)
{
    for (int k = 0; k < kPatternCount; ++k)
        if (kTable[std::size_t(k)] == &pattern)
            return k;
    return -1;
}

}  // namespace glimra
