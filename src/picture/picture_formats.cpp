// Which format a picture's file is written in, and writing it: PNG and PPM
// by this program itself, any other format by the toolkit (picture/toolkit.h).
#include "picture/picture_file.h"

#include "picture/toolkit.h"
#include "render/parallel.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace glimra {

namespace {

// Formats the toolkit writes itself, without a plugin: asking it about the
// others loads every image plugin it has, which takes longer than writing a
// small picture.
bool toolkitBuiltIn(const QByteArray& suffix)
{
    static const QByteArrayList builtIn = {"pgm", "pbm", "bmp", "xbm", "xpm"};
    return builtIn.contains(suffix);
}

// Pixels as binary PPM: a short header, then each row's RGB bytes.
bool writePpm(FILE* out, const Pixels& image, std::string* error, const std::function<bool()>& cancelled)
{
    errno = 0;
    bool ok = std::fprintf(out, "P6\n%d %d\n255\n", image.width(), image.height()) > 0;
    for (int y = 0; y < image.height() && ok; ++y) {
        if (y % 1024 == 0 && cancelled && cancelled()) {
            *error = "cancelled";
            return false;
        }
        const std::vector<unsigned char> row = rgbRow(image, y);
        ok = std::fwrite(row.data(), 1, row.size(), out) == row.size();
    }
    ok = ok && std::fflush(out) == 0;
    if (!ok)
        *error = writeFailure(errno ? errno : EIO);
    return ok;
}

}  // namespace

QByteArray pictureFormat(const QString& path)
{
    const QByteArray suffix = QFileInfo(path).suffix().toLower().toLatin1();
    if (suffix == "png" || suffix == "ppm" || toolkitBuiltIn(suffix))
        return suffix;
    if (!suffix.isEmpty()) {
        const Toolkit* other = toolkit(nullptr);
        return other && other->writes(suffix.toStdString()) ? suffix : QByteArray();
    }
    struct stat target {};
    if (::stat(QFile::encodeName(path).constData(), &target) == 0 &&
        (S_ISFIFO(target.st_mode) || S_ISCHR(target.st_mode)))
        return "png";
    return {};
}

bool writeImage(OutputFile& file, const Pixels& image, const QByteArray& suffix, const PictureRecipe* recipe,
                std::string* error, const std::function<bool()>& cancelled)
{
    if (suffix == "png") {
        PngStream png(file.stream(), image.width(), image.height(), recipe ? recipeChunks(*recipe) : TextChunks{},
                      kPngLevel, defaultThreadCount());
        constexpr int kBand = 1024;
        for (int y = 0; y < image.height() && !png.failed(); y += kBand) {
            if (cancelled && cancelled()) {
                *error = "cancelled";
                return false;
            }
            png.writeRows(image.rows(y, std::min(kBand, image.height() - y)));
        }
        if (!png.finish()) {
            *error = png.failure();
            return false;
        }
        return true;
    }
    if (suffix == "ppm")
        return writePpm(file.stream(), image, error, cancelled);
    std::string why;
    const Toolkit* other = toolkit(&why);
    if (!other) {
        *error = "cannot write ." + suffix.toStdString() + " pictures: " + why;
        return false;
    }
    int systemError = 0;
    if (other->write(file.stream(), image, suffix.toStdString(), error, &systemError))
        return true;
    if (systemError != 0)
        *error = writeFailure(systemError);
    return false;
}

bool writePicture(const Pixels& image, const QString& path, const PictureRecipe* recipe, QString* error,
                  const std::function<bool()>& cancelled)
{
    std::string why;
    const bool ok = [&] {
        const QByteArray format = pictureFormat(path);
        if (format.isEmpty()) {
            why = "cannot write pictures as ." + QFileInfo(path).suffix().toStdString();
            return false;
        }
        OutputFile file(QFile::encodeName(path).toStdString());
        return file.open(&why) && writeImage(file, image, format, recipe, &why, cancelled) && file.commit(&why);
    }();
    if (!ok && error)
        *error = QString::fromStdString(why);
    return ok;
}

}  // namespace glimra
