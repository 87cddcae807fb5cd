#include "picture/toolkit.h"

#include "picture/module.h"
#include "version.h"

#include <atomic>

namespace glimra {

namespace {

std::atomic<const Toolkit*> g_linked{nullptr};

struct Module {
    const Toolkit* toolkit = nullptr;
    std::string why;
};

Module loadModule()
{
    Module module;
    const auto entry = reinterpret_cast<ToolkitEntryFunction>(
        moduleEntry(GLIMRA_TOOLKIT_MODULE, kToolkitModuleEntry, "picture toolkit module", &module.why));
    if (entry) {
        module.toolkit = entry(GLIMRA_VERSION);
        if (!module.toolkit)
            module.why = "the picture toolkit module is of another version than the program (" GLIMRA_VERSION ")";
    }
    return module;
}

}  // namespace

void useToolkit(const Toolkit* linked) { g_linked = linked; }

const Toolkit* toolkit(std::string* why)
{
    if (const Toolkit* linked = g_linked)
        return linked;
    static const Module module = loadModule();
    if (!module.toolkit && why)
        *why = module.why;
    return module.toolkit;
}

}  // namespace glimra
