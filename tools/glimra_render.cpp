// glimra-render: renders one pattern to an image file, pixel for pixel what the
// window paints into its Canvas rectangle (image pixel (x, y) is Canvas pixel
// (161 + x, 51 + y)).
#include "image_file.h"
#include "patterns/patterns.h"
#include "render/frame.h"
#include "render/numtext.h"
#include "version.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

using namespace glimra;

namespace {

constexpr int kMaxSide = 8192;
constexpr Colour kBackground = rgb(64, 64, 64);

const char* const kUsage =
    "usage: glimra-render PATTERN [--x TEXT] [--y TEXT] [--size TEXT] [--zoom TEXT]\n"
    "                     [--bright TEXT] [--threads N] -o FILE\n"
    "\n"
    "Renders one pattern to FILE (.png or .ppm), exactly as the window paints it.\n"
    "PATTERN is a pattern's name (any letter case) or its button index 0 to 18.\n"
    "The five values are read as the window reads its boxes; defaults are the\n"
    "window's start values: --x 1 --y 1 --size 150 --zoom 1 --bright 150.\n"
    "--threads N computes on N threads (default: one per core); the picture is\n"
    "the same for any N.\n";

std::string patternNames()
{
    std::string names;
    for (const Pattern* p : patternTable()) {
        if (!names.empty())
            names += ", ";
        names += p->name;
    }
    return names;
}

int usageError(const std::string& reason)
{
    std::fprintf(stderr, "glimra-render: %s (try --help)\n", reason.c_str());
    return 2;
}

// Paints columns into the picture the way the Canvas would receive them.
class PictureHost : public RenderHost {
public:
    explicit PictureHost(Picture& picture) : picture_(picture) {}
    void plotColumn(const ColumnView& column) override
    {
        const int x = column.x - (kCanvasLeft + 1);
        if (x < 0 || x >= picture_.width)
            return;
        for (std::size_t m = 0; m < column.colours.size(); ++m) {
            const int y = column.ys[m] - (kCanvasTop + 1);
            if (y >= 0 && y < picture_.height)
                picture_.at(x, y) = column.colours[m];
        }
    }

private:
    Picture& picture_;
};

}  // namespace

int main(int argc, char** argv)
{
    PatternTexts texts;
    std::string patternArg, output;
    int threads = 0;
    bool havePattern = false;

    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::printf("\npatterns: %s\n", patternNames().c_str());
            return 0;
        }
        if (arg == "--version") {
            std::printf("glimra-render %s\n", GLIMRA_VERSION);
            return 0;
        }
        std::string* target = nullptr;
        if (arg == "--x")
            target = &texts.one;
        else if (arg == "--y")
            target = &texts.two;
        else if (arg == "--size")
            target = &texts.three;
        else if (arg == "--zoom")
            target = &texts.four;
        else if (arg == "--bright")
            target = &texts.five;
        else if (arg == "-o" || arg == "--output")
            target = &output;
        if (target || arg == "--threads") {
            if (k + 1 >= argc)
                return usageError(arg + " needs a value");
            const std::string value = argv[++k];
            if (target) {
                *target = value;
                continue;
            }
            const auto n = strictNumber(value);
            if (!n || *n != std::floor(*n) || *n < 1 || *n > 256)
                return usageError("--threads takes a whole number from 1 to 256");
            threads = int(*n);
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-' && !(arg[1] >= '0' && arg[1] <= '9'))
            return usageError("unknown option " + arg);
        if (havePattern)
            return usageError("more than one pattern given: " + arg);
        patternArg = arg;
        havePattern = true;
    }
    if (!havePattern)
        return usageError("no pattern given; patterns: " + patternNames());
    const Pattern* pattern = findPattern(patternArg);
    if (!pattern)
        return usageError("unknown pattern '" + patternArg + "'; patterns: " + patternNames() +
                          " (or an index 0 to 18)");
    if (output.empty())
        return usageError("missing -o FILE");
    const ImageFormat format = formatForPath(output);
    if (format == ImageFormat::Unknown)
        return usageError("FILE must end in .png or .ppm");

    const PatternParameters params = readParameters(texts);
    const Derived d = pattern->derive(params);
    if (!(d.N >= 1 && d.S >= 1)) {
        std::fprintf(stderr, "%s: nothing to paint (size %s)\n", pattern->name, texts.three.c_str());
        return 0;
    }
    if (d.N >= kMaxSide + 1 || d.S >= kMaxSide + 1) {
        std::fprintf(stderr, "glimra-render: a picture of %.15g x %.15g is larger than %d x %d; refused\n",
                     std::floor(d.N), std::floor(d.S), kMaxSide, kMaxSide);
        return 2;
    }

    // Fail before a long render, not after it; a refused render leaves no
    // empty file behind.
    const bool existed = std::ifstream(output).good();
    if (FILE* probe = std::fopen(output.c_str(), "ab")) {
        std::fclose(probe);
    } else {
        std::fprintf(stderr, "glimra-render: cannot write %s: %s\n", output.c_str(), std::strerror(errno));
        return 1;
    }

    Picture picture;
    picture.width = int(d.N);
    picture.height = int(d.S);
    picture.pixels.assign(std::size_t(picture.width) * std::size_t(picture.height), kBackground);

    RenderOptions options;
    options.threads = threads > 0 ? threads : std::max(1, int(std::thread::hardware_concurrency()));
    PictureHost host(picture);
    const auto start = std::chrono::steady_clock::now();
    const RenderResult result = render(*pattern, params, host, options);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    std::string ending;
    switch (result.outcome) {
    case Outcome::Completed:
    case Outcome::Halted:
        ending = "completed";
        break;
    case Outcome::Faulted:
        ending = "stopped by an arithmetic fault at column " + std::to_string(result.faultColumn + 1) +
                 ", row " + std::to_string(result.faultRow + 1);
        break;
    case Outcome::Refused:
        std::fprintf(stderr, "glimra-render: %s: %s; refused\n", pattern->name, result.reason.c_str());
        if (!existed)
            std::remove(output.c_str());
        return 2;
    }
    std::fprintf(stderr, "%s: %dx%d, %d thread%s, %.3f s, %s\n", pattern->name, picture.width, picture.height,
                 options.threads, options.threads == 1 ? "" : "s", seconds, ending.c_str());

    if (!writeImage(picture, output, format)) {
        std::fprintf(stderr, "glimra-render: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}
