#include "image_file.h"

#include <QImage>
#include <QString>

#include <cstdio>
#include <memory>

namespace glimra {
namespace {

bool endsWith(const std::string& s, const std::string& tail)
{
    if (s.size() < tail.size())
        return false;
    for (std::size_t k = 0; k < tail.size(); ++k) {
        char c = s[s.size() - tail.size() + k];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != tail[k])
            return false;
    }
    return true;
}

bool writePpm(const Picture& picture, const std::string& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!f)
        return false;
    std::fprintf(f.get(), "P6\n%d %d\n255\n", picture.width, picture.height);
    std::vector<unsigned char> row(std::size_t(picture.width) * 3);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const Colour c = picture.pixels[std::size_t(y) * std::size_t(picture.width) + std::size_t(x)];
            row[std::size_t(x) * 3] = static_cast<unsigned char>(redOf(c));
            row[std::size_t(x) * 3 + 1] = static_cast<unsigned char>(greenOf(c));
            row[std::size_t(x) * 3 + 2] = static_cast<unsigned char>(blueOf(c));
        }
        if (std::fwrite(row.data(), 1, row.size(), f.get()) != row.size())
            return false;
    }
    return std::fclose(f.release()) == 0;
}

bool writePng(const Picture& picture, const std::string& path)
{
    QImage image(picture.width, picture.height, QImage::Format_RGB32);
    for (int y = 0; y < picture.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < picture.width; ++x) {
            const Colour c = picture.pixels[std::size_t(y) * std::size_t(picture.width) + std::size_t(x)];
            line[x] = qRgb(redOf(c), greenOf(c), blueOf(c));
        }
    }
    return image.save(QString::fromStdString(path), "PNG");
}

}  // namespace

ImageFormat formatForPath(const std::string& path)
{
    if (endsWith(path, ".png"))
        return ImageFormat::Png;
    if (endsWith(path, ".ppm"))
        return ImageFormat::Ppm;
    return ImageFormat::Unknown;
}

bool writeImage(const Picture& picture, const std::string& path, ImageFormat format)
{
    switch (format) {
    case ImageFormat::Png:
        return writePng(picture, path);
    case ImageFormat::Ppm:
        return writePpm(picture, path);
    case ImageFormat::Unknown:
        break;
    }
    return false;
}

}  // namespace glimra
