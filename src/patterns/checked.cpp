#include "patterns/checked.h"

#include <array>

namespace glimra {
namespace {

// In button order.
const std::array<const CheckedForms*, kPatternCount> kChecked = {
    &checking::aries,  &checking::blood, &checking::celt,   &checking::dune, &checking::eeee,
    &checking::fun,    &checking::grin,  &checking::hix,    &checking::ice,  &checking::joke,
    &checking::kraken, &checking::limbo, &checking::numb,   &checking::ooh,  &checking::Punk,
    &checking::qwin,   &checking::rumba, &checking::sizZle, &checking::Tame,
};

}  // namespace

std::span<const CheckedForms* const> checkedTable() { return kChecked; }

const CheckedForms* checkedFormsOf(const Pattern& pattern)
{
    const int index = patternIndex(pattern);
    return index < 0 ? nullptr : kChecked[std::size_t(index)];
}

}  // namespace glimra
