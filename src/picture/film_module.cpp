// Finding and loading the film encoder module.
#include "picture/film_encoder.h"

#include "version.h"

#include <QFileInfo>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <vector>

namespace glimra {

std::string filmFormat(const std::string& path)
{
    const QString suffix = QFileInfo(QString::fromStdString(path)).suffix().toLower();
    if (suffix == QLatin1String("mp4"))
        return "mp4";
    if (suffix == QLatin1String("webm"))
        return "webm";
    return {};
}

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

// Where the module is looked for, in this order: where an installation puts
// it, then where the build tree does, both relative to the program's folder.
// Never the working folder or a path from the environment: only whoever can
// replace the program itself can put code where it loads it from.
std::vector<std::string> modulePlaces()
{
    const std::string folder = programFolder();
    if (folder.empty())
        return {};
    std::vector<std::string> places;
    for (const char* relative : {GLIMRA_FILM_MODULE_INSTALLED, GLIMRA_FILM_MODULE_BUILT})
        places.push_back((std::filesystem::path(folder) / relative).lexically_normal().string());
    return places;
}

struct Module {
    MakeFilmEncoderFunction make = nullptr;
    std::string why;
};

Module loadModule()
{
    Module module;
    const std::vector<std::string> places = modulePlaces();
    for (const std::string& place : places) {
        struct stat st {};
        if (::stat(place.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        // Never unloaded: encoders made by it may live until the end.
        void* handle = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* error = ::dlerror();
            module.why = "cannot load the film module " + place + ": " + (error ? error : "unknown error");
            return module;
        }
        module.make = reinterpret_cast<MakeFilmEncoderFunction>(::dlsym(handle, kFilmModuleEntry));
        if (!module.make)
            module.why = "the film module " + place + " is not one of this program";
        return module;
    }
    module.why = "films need the film module, which is not installed";
    if (!places.empty())
        module.why += " (looked for " + places.front() + ")";
    return module;
}

}  // namespace

std::unique_ptr<FilmEncoder> makeFilmEncoder(std::string* why)
{
    static const Module module = loadModule();
    if (!module.make) {
        *why = module.why;
        return nullptr;
    }
    std::unique_ptr<FilmEncoder> encoder(module.make(GLIMRA_VERSION));
    if (!encoder)
        *why = "the film module is of another version than the program (" GLIMRA_VERSION ")";
    return encoder;
}

}  // namespace glimra
