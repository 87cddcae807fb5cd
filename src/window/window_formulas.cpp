#include "window/window_formulas.h"

#include "patterns/patterns.h"
#include "place/place.h"

#include <algorithm>
#include <deque>
#include <map>

namespace glimra {
namespace {

struct Live {
    std::weak_ptr<const formula::Formula> formula;
    std::string text;
};

// Every formula held anywhere, by its pattern; a formula leaves when its last
// holder lets go. Renders run on the user-interface thread, and so does all
// of this.
std::map<const Pattern*, Live>& live()
{
    static std::map<const Pattern*, Live> formulas;
    return formulas;
}

// The last few used, held here too: going back and forth between formulas
// compiles none of them again. Few, so that pasting many long formulas cannot
// keep much memory.
constexpr std::size_t kRecent = 16;
std::deque<HeldFormula>& recent()
{
    static std::deque<HeldFormula> formulas;
    return formulas;
}

void touch(const HeldFormula& formula)
{
    auto& r = recent();
    r.erase(std::remove(r.begin(), r.end(), formula), r.end());
    r.push_front(formula);
    if (r.size() > kRecent)
        r.pop_back();
}

}  // namespace

HeldFormula windowFormula(const std::string& text, QString* why)
{
    for (const auto& [pattern, formula] : live())
        if (formula.text == text)
            if (HeldFormula held = formula.formula.lock()) {
                touch(held);
                return held;
            }
    // What places and picture files refuse (other than UTF-8 text, control
    // characters, a text too long) is refused here too, whatever brought it.
    if (const std::string problem = formulaTextProblem(text); !problem.empty()) {
        *why = QStringLiteral("the formula ") + QString::fromStdString(problem);
        return nullptr;
    }
    formula::Error error;
    std::unique_ptr<formula::Formula> compiled = formula::Formula::compile(text, error);
    if (!compiled) {
        *why = QString::fromStdString(error.text());
        return nullptr;
    }
    const Pattern* pattern = &compiled->pattern();
    HeldFormula held(compiled.release(), [](const formula::Formula* f) {
        live().erase(&f->pattern());
        delete f;
    });
    live()[pattern] = Live{held, text};
    touch(held);
    return held;
}

HeldFormula heldFormula(const Pattern& pattern)
{
    const auto found = live().find(&pattern);
    return found == live().end() ? nullptr : found->second.formula.lock();
}

std::string formulaText(const Pattern& pattern)
{
    const auto found = live().find(&pattern);
    return found == live().end() ? std::string() : found->second.text;
}

const Pattern* recipePattern(const PictureRecipe& recipe, HeldFormula* hold, QString* why)
{
    hold->reset();
    if (recipe.pattern == kFormulaName) {
        *hold = windowFormula(recipe.formula, why);
        return *hold ? &(*hold)->pattern() : nullptr;
    }
    const Pattern* pattern = findPattern(recipe.pattern);
    if (!pattern)
        *why = QStringLiteral("names a pattern this program does not have");
    return pattern;
}

}  // namespace glimra
