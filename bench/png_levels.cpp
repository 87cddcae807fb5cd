// What PNG's compression level costs and saves: renders one picture, then
// encodes it at every zlib level, timing each (median of RUNS) against the
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
    explicit ImageHost(QImage& image) : image_(image) {}
    void plotColumn(const ColumnView& column) override
    {
        glimra::plotColumn(image_, column, QPoint(kCanvasLeft + 1, kCanvasTop + 1));
    }

private:
    QImage& image_;
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
    texts.three = argc > 2 ? argv[2] : "768";
    texts.four = argc > 3 ? argv[3] : "0.15";
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
    const PatternParameters params = readParameters(texts);
    const Derived d = pattern->derive(params);
    QImage image(int(d.N), int(d.S), QImage::Format_RGB32);

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
    struct Filters {
        const char* name;
        int bits;
    };
    const Filters filterSets[] = {{"adaptive", 0}, {"none", PNG_FILTER_NONE}, {"sub", PNG_FILTER_SUB},
                                  {"up", PNG_FILTER_UP}, {"paeth", PNG_FILTER_PAETH}};
    std::printf("filters   level  encode ms  size KiB  encode/render\n");
    for (const Filters& f : filterSets)
    for (int level = 0; level <= 9; ++level) {
        if (f.bits && level > 3)
            continue;
        std::vector<double> times;
        long size = 0;
        for (int r = 0; r < runs; ++r) {
            FILE* sink = std::tmpfile();
            const auto start = Clock::now();
            PngStream png(sink, image.width(), image.height(), {}, level, f.bits);
            png.writeRows(image);
            png.finish();
            std::fflush(sink);
            times.push_back(ms(start));
            size = std::ftell(sink);
            std::fclose(sink);
        }
        std::printf("%-8s  %5d  %9.1f  %8ld  %13.2f\n", f.name, level, median(times), size / 1024, median(times) / median(renders));
    }
    return 0;
}
