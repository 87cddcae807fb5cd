// libFuzzer target for reading a picture's settings: readRecipe on any bytes
// given as a file.
//
// Besides crashes and sanitizer reports (and, run with -malloc_limit_mb, any
// allocation beyond the reader's few MiB) it stops on a broken promise:
// - a file that is refused says why;
// - a recipe read has a density of 1 to 64, samples of 1 to 8 and no setting
//   over 1 MiB;
// - a recipe read comes back the same from a PNG written with it, so that
//   whatever the reader takes, the program can save and read again.
#include "picture/picture_file.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

using glimra::PictureRecipe;

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// A file in memory under a path the reader opens as any other.
struct MemoryFile {
    int fd = ::memfd_create("glimra-fuzz", 0);
    QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
};

bool sameRecipe(const PictureRecipe& a, const PictureRecipe& b)
{
    return a.pattern == b.pattern && a.texts.x == b.texts.x && a.texts.y == b.texts.y && a.texts.size == b.texts.size &&
           a.texts.zoom == b.texts.zoom && a.texts.bright == b.texts.bright && a.density == b.density &&
           a.samples == b.samples;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static MemoryFile in, again;
    if (in.fd < 0 || again.fd < 0)
        fail("no memory file");
    if (::ftruncate(in.fd, 0) != 0 || ::pwrite(in.fd, data, size, 0) != ssize_t(size))
        fail("cannot write the input");

    QString why;
    const auto recipe = glimra::readRecipe(in.path, &why);
    if (!recipe) {
        if (why.isEmpty())
            fail("refused without a reason");
        return 0;
    }
    if (recipe->density < 1 || recipe->density > 64 || recipe->samples < 1 || recipe->samples > 8)
        fail("density or samples out of range");
    for (const glimra::ParameterName& p : glimra::kParameterNames)
        if ((recipe->texts.*p.text).size() > (1u << 20))
            fail("a setting over 1 MiB");

    // Written as the program writes it, then read again.
    if (::ftruncate(again.fd, 0) != 0 || ::lseek(again.fd, 0, SEEK_SET) != 0)
        fail("cannot empty the second file");
    FILE* out = ::fdopen(::dup(again.fd), "wb");
    if (!out)
        fail("cannot open the second file");
    {
        glimra::PngStream png(out, 1, 1, glimra::recipeChunks(*recipe), 1, 1);
        const glimra::Pixels pixel(1, 1);
        if (!png.writeRows(pixel) || !png.finish())
            fail("cannot write the recipe");
    }
    std::fclose(out);
    const auto back = glimra::readRecipe(again.path, &why);
    if (!back)
        std::fprintf(stderr, "%s\n", qPrintable(why));
    if (!back || !sameRecipe(*back, *recipe))
        fail("the recipe did not come back the same");
    return 0;
}
