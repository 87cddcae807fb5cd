// Finding and loading the film encoder module.
#include "picture/film_encoder.h"

#include "picture/module.h"
#include "version.h"

#include <QFileInfo>

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

struct Module {
    MakeFilmEncoderFunction make = nullptr;
    std::string why;
};

Module loadModule()
{
    Module module;
    module.make = reinterpret_cast<MakeFilmEncoderFunction>(
        moduleEntry(GLIMRA_FILM_MODULE, kFilmModuleEntry, "film module", &module.why));
    if (!module.make)
        module.why = "films need the film module: " + module.why;
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
