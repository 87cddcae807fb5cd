#include "patterns/patterns.h"

#include <array>
#include <cctype>
#include <charconv>

namespace glimra {
namespace {

// In button order.
const std::array<const Pattern*, kPatternCount> kTable = {
    &aries,   // 0
    &blood,   // 1
    &celt,    // 2
    &dune,    // 3
    &eeee,    // 4
    &fun,     // 5
    &grin,    // 6
    &hix,     // 7
    &ice,     // 8
    &joke,    // 9
    &kraken,  // 10
    &limbo,   // 11
    &numb,    // 12
    &ooh,     // 13
    &Punk,    // 14
    &qwin,    // 15
    &rumba,   // 16
    &sizZle,  // 17
    &Tame,    // 18
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
