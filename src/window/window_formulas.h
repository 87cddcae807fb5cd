// Patterns written as text, as the window paints them: each text compiled
// once and shared. Whoever starts or keeps a render of one (a running render,
// the most recent render, a large picture being saved) holds it, so the
// pattern lives exactly as long as something paints or points at it; and a
// pattern can be asked which text it is, so history, places and saved files
// carry the text and not a pointer.
#pragma once

#include "formula/formula.h"
#include "picture/recipe.h"
#include "render/frame.h"

#include <QString>

#include <memory>
#include <string>

namespace glimra {

using HeldFormula = std::shared_ptr<const formula::Formula>;

// The compiled formula of `text`: one already held or recently used, or
// compiled now. Null, with `why` saying where and what is wrong, for a text
// that is refused.
HeldFormula windowFormula(const std::string& text, QString* why);

// The formula whose pattern `pattern` is, while it is held; null for the
// nineteen and for a pattern no longer held.
HeldFormula heldFormula(const Pattern& pattern);

// The text of the formula whose pattern `pattern` is; empty for the nineteen.
std::string formulaText(const Pattern& pattern);

// The pattern a recipe names: one of the nineteen, or its formula, compiled
// and held in `hold`. Null, with `why` saying why, when there is none.
const Pattern* recipePattern(const PictureRecipe& recipe, HeldFormula* hold, QString* why);

}  // namespace glimra
