// Loading the program's own modules: parts kept out of its start because
// they pull in many shared libraries (the film encoder, the toolkit's
// graphics), loaded the first time they are needed.
#pragma once

#include <string>

namespace glimra {

// The address of `entry` in the module file `file` (its name alone), looked
// for only beside the program's own file: where an installation puts it,
// then where the build tree does. Never the working folder, nor a path from
// the environment: only whoever can replace the program itself can put code
// where it is loaded from. Null, with the reason in `why`, when it is not
// there or cannot be loaded; `what` names the module in that reason (the
// film module, ...). A module once loaded stays loaded.
void* moduleEntry(const std::string& file, const char* entry, const std::string& what, std::string* why);

}  // namespace glimra
