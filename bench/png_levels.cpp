// What PNG encoding costs and saves: renders one picture, then encodes it the
// way glimra does at a few zlib levels, on one thread and on every core, and
// the way libpng does by itself, timing each (median of RUNS) against the
// render itself.
//   build/glimra-png-levels [PATTERN] [SIZE] [ZOOM] [RUNS]   (dune 768 0.15 5)
#include "patterns/patterns.h"
#include "picture/picture.h"
#include "picture/picture_file.h"

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace glimra;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class ImageHost : public RenderHost {
public:
    explicit ImageHost(Pixels& image) : image_(image) {}
    void plotColumn(const ColumnView& column) override { glimra::plotColumn(image_, column, QPoint(1, 1)); }

private:
    Pixels& image_;
};

}  // namespace

int main(int argc, char** argv)
{
    const Pattern* pattern = findPattern(argc > 1 ? argv[1] : "dune");
    if (!pattern) {
        std::fprintf(stderr, "unknown pattern\n");
        return 2;
    }
    PatternTexts texts;
    texts.size = argc > 2 ? argv[2] : "768";
    texts.zoom = argc > 3 ? argv[3] : "0.15";
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    const PatternParameters params = readParameters(texts);
    const Derived d = pattern->derive(params);
    Pixels image(int(d.N), int(d.S));

    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::time_point a) { return std::chrono::duration<double, std::milli>(Clock::now() - a).count(); };
    std::vector<double> renders;
    for (int r = 0; r < runs; ++r) {
        ImageHost host(image);
        const auto start = Clock::now();
        render(*pattern, params, host);
        renders.push_back(ms(start));
    }
    std::printf("%s %dx%d: render (all cores) %.1f ms, median of %d\n", pattern->name, image.width(), image.height(),
                median(renders), runs);
    // libpng alone, as a reference: its defaults, and its fastest level with
    // the up filter, on one thread.
    auto libpng = [&](int level, int filters) {
        return [&image, level, filters](FILE* sink) {
            png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
            png_infop info = png_create_info_struct(png);
            png_init_io(png, sink);
            png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8, PNG_COLOR_TYPE_RGB,
                         PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            png_set_compression_level(png, level);
            if (filters)
                png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
            png_write_info(png, info);
            std::vector<png_byte> row(std::size_t(image.width()) * 3);
            for (int y = 0; y < image.height(); ++y) {
                const Pixel* line = image.row(y);
                for (int x = 0; x < image.width(); ++x) {
                    row[std::size_t(3 * x)] = png_byte(redOfPixel(line[x]));
                    row[std::size_t(3 * x + 1)] = png_byte(greenOfPixel(line[x]));
                    row[std::size_t(3 * x + 2)] = png_byte(blueOfPixel(line[x]));
                }
                png_write_row(png, row.data());
            }
            png_write_end(png, info);
            png_destroy_write_struct(&png, &info);
        };
    };
    auto ours = [&](int level, int threads) {
        return [&image, level, threads](FILE* sink) {
            PngStream png(sink, image.width(), image.height(), {}, level, threads);
            png.writeRows(image);
            png.finish();
        };
    };
    struct Way {
        std::string name;
        std::function<void(FILE*)> encode;
    };
    const int cores = defaultThreadCount();
    std::vector<Way> ways = {{"libpng defaults (level 6, all filters), 1 thread", libpng(6, 0)},
                             {"libpng level 1, up filter, 1 thread", libpng(1, PNG_FILTER_UP)}};
    for (int level = 1; level <= 6; level += (level < 3 ? 1 : 3)) {
        ways.push_back({"glimra level " + std::to_string(level) + ", 1 thread", ours(level, 1)});
        ways.push_back(
            {"glimra level " + std::to_string(level) + ", " + std::to_string(cores) + " threads", ours(level, cores)});
    }
    std::printf("%-50s %9s %9s %13s\n", "encoder", "ms", "KiB", "encode/render");
    for (const Way& way : ways) {
        std::vector<double> times;
        long size = 0;
        for (int r = 0; r < runs; ++r) {
            FILE* sink = std::tmpfile();
            const auto start = Clock::now();
            way.encode(sink);
            std::fflush(sink);
            times.push_back(ms(start));
            size = std::ftell(sink);
            std::fclose(sink);
        }
        std::printf("%-50s %9.1f %9ld %13.2f\n", way.name.c_str(), median(times), size / 1024,
                    median(times) / median(renders));
    }
    return 0;
}
