#include "picture/module.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <vector>

namespace glimra {

namespace {

// The folder of the program's own file, as the system resolved it when it
// started the program: links followed, whatever name it was started by.
std::string programFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return {};
    const std::string file(path, std::size_t(length));
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos || file[0] != '/')
        return {};
    return slash == 0 ? "/" : file.substr(0, slash);
}

// Where a module is looked for, in this order; both folders are relative to
// the program's own.
std::vector<std::string> modulePlaces(const std::string& file)
{
    const std::string folder = programFolder();
    if (folder.empty())
        return {};
    std::vector<std::string> places;
    for (const char* relative : {GLIMRA_MODULE_DIR_INSTALLED, GLIMRA_MODULE_DIR_BUILT})
        places.push_back((std::filesystem::path(folder) / relative / file).lexically_normal().string());
    return places;
}

}  // namespace

void* moduleEntry(const std::string& file, const char* entry, const std::string& what, std::string* why)
{
    const std::vector<std::string> places = modulePlaces(file);
    for (const std::string& place : places) {
        struct stat st {};
        if (::stat(place.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        // Never unloaded: what it made may live until the end.
        void* handle = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* error = ::dlerror();
            *why = "cannot load the " + what + " " + place + ": " + (error ? error : "unknown error");
            return nullptr;
        }
        void* found = ::dlsym(handle, entry);
        if (!found)
            *why = "the " + what + " " + place + " is not one of this program";
        return found;
    }
    *why = "the " + what + " is not installed";
    if (!places.empty())
        *why += " (looked for " + places.front() + ")";
    return nullptr;
}

}  // namespace glimra
