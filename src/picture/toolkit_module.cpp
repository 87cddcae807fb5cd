// The toolkit as a module of its own (glimra-picture-toolkit.so), the one
// part of glimra-render that links the toolkit's graphics libraries.
#include "picture/qt_toolkit.h"
#include "version.h"

#include <cstring>

// Only this name is visible outside the module (it is built with hidden
// symbols), so nothing in it can stand in for the program's own.
extern "C" __attribute__((visibility("default"))) const glimra::Toolkit* glimra_picture_toolkit(const char* version)
{
    if (!version || std::strcmp(version, GLIMRA_VERSION) != 0)
        return nullptr;
    return &glimra::qtToolkit();
}
