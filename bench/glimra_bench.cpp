// The render benchmark: for every pattern at size 768, zoom 0.15, brightness
// 150, offsets 1 and 1 (1024 x 768 pixels), in one run, median of RUNS after a
// warm-up:
//   plain1  each formula exactly as written with the C library's sin, cos,
//           tan and pow (CheckedForms::libcPixel, one call per pixel), clamped,
//           rounded and packed into a buffer, one thread: the straightforward
//           program;
//   exact1  the render core on one thread with the correctly rounded
//           functions, several rows at a time, columns copied into a buffer;
//   exactN  the same on every core;
//   text1   the pattern written as a formula (glimra-render --print-formula),
//           compiled once before the runs, on one thread like exact1;
//   window  the window's render, from the pattern click to its return.
// Prints one table, writes it as CSV with the core count and CPU model, and
// measures how long the window takes to return after a halt click. cpuN/cpu1
// (processor time of all threads of exactN over that of exact1) shows what
// the threads cost in work, and cpu plain1/exact1 the gain in work, both also
// when other programs keep the cores busy. "libc px" counts the pixels where
// the C library's functions paint another colour than the exact ones.
//
// usage: glimra-bench [RUNS] [CSV-FILE] [LANES]
//   (defaults: 5, bench/results/bench.csv, 0 = the widest this processor has;
//   2 shows the render without AVX2)
// Run with QT_QPA_PLATFORM=offscreen; see bench/run_bench.sh.
#include "formula/formula.h"
#include "patterns/checked.h"
#include "patterns/patterns.h"
#include "render/frame.h"
#include "render/numtext.h"
#include "window/application.h"
#include "window/qtac.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace glimra;

namespace {

const PatternParameters kLarge{1, 1, 768, 0.15, 150};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double processCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall time of `work`; its processor time (all threads) goes to *cpu when given.
double millisecondsOf(const std::function<void()>& work, double* cpu = nullptr)
{
    const double cpuBefore = processCpuMs();
    QElapsedTimer clock;
    clock.start();
    work();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    if (cpu)
        *cpu = processCpuMs() - cpuBefore;
    return ms;
}

// The plain reference: the scan written out once more as loops, the formula
// called through its pointer for every pixel, the colour packed as the frame
// defines it. Returns a checksum so that nothing is optimised away.
std::uint32_t plainRender(const Pattern& p, std::vector<Colour>& picture)
{
    const Derived d = p.derive(kLarge);
    const PixelFormula libcPixel = checkedFormsOf(p)->libcPixel;
    std::size_t at = 0;
    for (double i = d.x0 + 1; i <= d.x0 + d.N; i += 1) {
        for (double j = d.y0 + 1; j <= d.y0 + d.S; j += 1) {
            const Components c = libcPixel(d, i, j);
            auto channel = [](double v) {
                if (v < 0)
                    v = 0;
                if (v > 255)
                    v = 255;
                return int(Round(v));
            };
            picture[at++] = rgb(channel(c.red), channel(c.green), channel(c.blue));
        }
    }
    std::uint32_t sum = 0;
    for (Colour c : picture)
        sum = sum * 31 + c;
    return sum;
}

// Keeps each column, column after column, as a buffer would.
class BufferHost : public RenderHost {
public:
    explicit BufferHost(std::vector<Colour>& picture) : picture_(picture) {}
    void plotColumn(const ColumnView& c) override
    {
        std::memcpy(picture_.data() + std::size_t(c.index) * c.ys.size(), c.colours.data(),
                    c.colours.size() * sizeof(Colour));
    }

private:
    std::vector<Colour>& picture_;
};

std::string cpuModel()
{
    std::ifstream in("/proc/cpuinfo");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown";
}

struct Row {
    std::string name;
    double plain1 = 0, exact1 = 0, exactN = 0, text1 = 0, window = 0, serialMicros = 0;
    double cpuRatio = 0;    // processor time of exactN (all threads) over that of exact1
    double cpuGain = 0;     // processor time of plain1 over that of exact1
    bool identical = true;  // exact1, exactN and text1 paint the same picture
    long libcPixels = 0;    // pixels where plain1's picture differs
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    prepareApplication(app);
    const QStringList args = QApplication::arguments();
    const int runs = args.size() > 1 ? std::max(1, args[1].toInt()) : 5;
    const std::string csvPath = args.size() > 2 ? args[2].toStdString() : "bench/results/bench.csv";
    const int lanes = args.size() > 3 ? args[3].toInt() : 0;
    const int cores = defaultThreadCount();

    qTac w;
    placeCentred(w);
    w.show();
    QApplication::processEvents();
    w.TextOne->setText(QStringLiteral("1"));
    w.TextTwo->setText(QStringLiteral("1"));
    w.TextThree->setText(QStringLiteral("768"));
    w.TextFour->setText(QStringLiteral("0.15"));
    w.Textfive->setText(QStringLiteral("150"));

    std::vector<Colour> plainPicture(1024 * 768), corePicture(1024 * 768), widePicture(1024 * 768),
        textPicture(1024 * 768);
    std::vector<Row> rows;
    std::uint32_t sink = 0;
    for (int index = 0; index < kPatternCount; ++index) {
        const Pattern& p = *patternTable()[std::size_t(index)];
        Row row;
        row.name = p.name;
        formula::Error error;
        const auto text = formula::Formula::compile(formula::builtinText(p.name), error);
        if (!text) {
            std::fprintf(stderr, "%s as a formula: %s\n", p.name, error.text().c_str());
            return 1;
        }
        std::vector<double> plain1, exact1, exactN, text1, window, serial, cpuRatio, cpuGain;
        for (int run = 0; run <= runs; ++run) {  // run 0 warms up
            double cpuPlain = 0;
            const double tPlain = millisecondsOf([&] { sink += plainRender(p, plainPicture); }, &cpuPlain);
            BufferHost host(corePicture), wide(widePicture);
            double cpu1 = 0, cpuN = 0;
            RenderOptions one{1};
            one.lanes = lanes;
            const double tExact1 = millisecondsOf([&] { render(p, kLarge, host, one); }, &cpu1);
            RenderStats stats;
            RenderOptions all{cores, &stats};
            all.lanes = lanes;
            const double tExactN = millisecondsOf([&] { render(p, kLarge, wide, all); }, &cpuN);
            BufferHost written(textPicture);
            const double tText1 = millisecondsOf([&] { render(text->pattern(), kLarge, written, one); });
            row.identical = row.identical && corePicture == widePicture && corePicture == textPicture;
            row.libcPixels = 0;
            for (std::size_t k = 0; k < corePicture.size(); ++k)
                row.libcPixels += corePicture[k] != plainPicture[k];
            const double tWindow = millisecondsOf([&] { w.CMD_Click(qint16(index)); });
            QApplication::processEvents();
            if (run == 0)
                continue;
            plain1.push_back(tPlain);
            exact1.push_back(tExact1);
            exactN.push_back(tExactN);
            text1.push_back(tText1);
            window.push_back(tWindow);
            serial.push_back(stats.serialSeconds * 1e6 / double(std::max(1L, stats.columns)));
            cpuRatio.push_back(cpuN / cpu1);
            cpuGain.push_back(cpuPlain / cpu1);
        }
        row.plain1 = median(plain1);
        row.exact1 = median(exact1);
        row.exactN = median(exactN);
        row.text1 = median(text1);
        row.window = median(window);
        row.serialMicros = median(serial);
        row.cpuRatio = median(cpuRatio);
        row.cpuGain = median(cpuGain);
        std::fprintf(stderr, "%s done\n", p.name);
        rows.push_back(row);
    }

    // Halt latency: a halt clicked while the slowest pattern paints column 100,
    // measured from the click being handled to the render's return.
    double haltMs = 0;
    {
        int slowest = 0;
        for (int k = 0; k < kPatternCount; ++k)
            if (rows[std::size_t(k)].exactN > rows[std::size_t(slowest)].exactN)
                slowest = k;
        std::vector<double> latencies;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer sinceHalt;
            w.columnPainted = [&](int, long column) {
                if (column == 100) {
                    w.cmdstop_Click();
                    sinceHalt.start();
                }
            };
            w.CMD_Click(qint16(slowest));
            latencies.push_back(double(sinceHalt.nsecsElapsed()) / 1e6);
            w.columnPainted = nullptr;
            QApplication::processEvents();
        }
        haltMs = median(latencies);
        std::printf("halt latency (%s, halt at column 100): median %.2f ms\n", rows[std::size_t(slowest)].name.c_str(),
                    haltMs);
    }

    const std::string cpu = cpuModel();
    std::printf("%d cores, %s, 1024 x 768, median of %d, %d lanes (0: widest = %d)\n", cores, cpu.c_str(), runs, lanes,
                widestLanes());
    std::printf("%-7s %9s %9s %9s %9s %9s %12s %13s %21s %13s %10s %10s %18s %8s\n", "pattern", "plain1", "exact1",
                "exactN", "text1", "window", "text1/exact1", "plain1/exact1", "exactN/(exact1/cores)", "window/exactN",
                "serial/col", "cpuN/cpu1", "cpu plain1/exact1", "libc px");
    std::ofstream csv(csvPath);
    csv << "# cores," << cores << "\n# cpu," << cpu << "\n# runs," << runs << "\n# halt latency ms," << haltMs
        << "\n# lanes," << lanes
        << "\npattern,plain1_ms,exact1_ms,exactN_ms,window_ms,plain1_over_exact1,"
           "exactN_over_exact1_per_core,window_over_exactN,serial_us_per_column,cpuN_over_cpu1,cpu_plain1_over_exact1,"
           "identical,libc_pixels,text1_ms,text1_over_exact1\n";
    double logGain = 0, logCpuGain = 0, logText = 0, worstText = 0;
    for (const Row& r : rows) {
        const double gain = r.plain1 / r.exact1;
        const double scaling = r.exactN / (r.exact1 / cores);
        const double windowRatio = r.window / r.exactN;
        const double textRatio = r.text1 / r.exact1;
        logText += std::log(textRatio);
        worstText = std::max(worstText, textRatio);
        logGain += std::log(gain);
        logCpuGain += std::log(r.cpuGain);
        std::printf("%-7s %9.1f %9.1f %9.1f %9.1f %9.1f %12.3f %13.3f %21.3f %13.3f %8.2fus %10.3f %18.3f %8ld%s\n",
                    r.name.c_str(), r.plain1, r.exact1, r.exactN, r.text1, r.window, textRatio, gain, scaling,
                    windowRatio, r.serialMicros, r.cpuRatio, r.cpuGain, r.libcPixels,
                    r.identical ? "" : "  PICTURES DIFFER");
        csv << r.name << ',' << r.plain1 << ',' << r.exact1 << ',' << r.exactN << ',' << r.window << ',' << gain << ','
            << scaling << ',' << windowRatio << ',' << r.serialMicros << ',' << r.cpuRatio << ',' << r.cpuGain << ','
            << (r.identical ? "yes" : "no") << ',' << r.libcPixels << ',' << r.text1 << ',' << textRatio << '\n';
    }
    std::printf("geometric mean plain1/exact1: %.3f (processor time: %.3f)\n", std::exp(logGain / double(rows.size())),
                std::exp(logCpuGain / double(rows.size())));
    std::printf("geometric mean text1/exact1: %.3f, worst %.3f\n", std::exp(logText / double(rows.size())), worstText);
    std::printf("CSV written to %s (checksum %u)\n", csvPath.c_str(), sink);
    return 0;
}
