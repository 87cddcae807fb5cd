// Patterns kraken … Tame (buttons 10 to 18): where each one puts the origin of
// its plane, the sign of its brightness, and a divisor that cancels exactly.
#include "canvas_recorder.h"
#include "patterns/patterns.h"
#include "render/frame.h"

#include <QtTest>

#include <map>
#include <utility>

using namespace glimra;

namespace {

using Recorder = CanvasRecorder;

// The counters the scan hands to a pattern's formula, recorded in scan order.
struct CounterLog {
    long calls = 0;
    double firstI = 0, firstJ = 0, lastI = 0, lastJ = 0;
} counterLog;

Components logCounters(const Derived&, double i, double j)
{
    if (counterLog.calls++ == 0) {
        counterLog.firstI = i;
        counterLog.firstJ = j;
    }
    counterLog.lastI = i;
    counterLog.lastJ = j;
    return {};
}

RenderResult paint(const QString& name, const PatternParameters& p, Recorder& host)
{
    const Pattern* pattern = findPattern(name.toStdString());
    if (!pattern)
        qFatal("pattern %s is not in the table", qPrintable(name));
    return render(*pattern, p, host, onCanvas());
}

}  // namespace

class PatternsKrakenToTame : public QObject {
    Q_OBJECT

private slots:
    // Each pattern's own derived-value rule, run through the real scan with a
    // formula that only records the counters.
    void scanCounters_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* column : {"size", "x", "y", "firstI", "lastI", "firstJ", "lastJ"})
            QTest::addColumn<double>(column);
        auto row = [](const char* tag, const char* name, double size, double x, double y, double i0, double i1,
                      double j0,
                      double j1) { QTest::newRow(tag) << QString(name) << size << x << y << i0 << i1 << j0 << j1; };
        // x0 = P1 always, so the first column is i = 1 (b = (K × (1 / 200)) × Z)
        // whatever the size; y0 = P2 - S / 2.
        row("kraken 100", "kraken", 100, 0, 0, 1, 100, -49, 50);
        row("kraken 768", "kraken", 768, 0, 0, 1, 1024, -383, 384);
        // x0 = 150 - 768 / 2 = -234, y0 = 200 - 1024 / 2 = -312; at 600 the usual -150, -100.
        row("limbo 768", "limbo", 768, 150, 200, -233, -234 + 1024, -311, -312 + 768);
        row("limbo 600", "limbo", 600, 150, 200, -149, 450, -99, 500);
        // x0 = P1 + 150, y0 = P2 - 150 at any size: the first pixel, and so its
        // colour, does not move when the size changes.
        row("numb 100", "numb", 100, 10, 20, 161, 260, -129, -30);
        row("numb 300", "numb", 300, 10, 20, 161, 460, -129, 170);
        row("ooh 300", "ooh", 300, 0, 0, 151, 450, -149, 150);
        row("ooh 768", "ooh", 768, 0, 0, 151, 150 + 1024, -149, -150 + 768);
        // No centring: the scan starts at (P1 + 1, P2 + 1).
        row("Punk 300", "Punk", 300, 0, 0, 1, 300, 1, 300);
        row("rumba 300", "rumba", 300, 0, 0, 1, 300, 1, 300);
        // Centred: x0 = y0 = -150.
        row("qwin 300", "qwin", 300, 0, 0, -149, 150, -149, 150);
        // y0 = P2 + S / 2: 150 at 300, 384 at 768.
        row("Tame 300", "Tame", 300, 0, 0, -149, 150, 151, 450);
        row("Tame 768", "Tame", 768, 0, 0, -511, 512, 385, 1152);
    }
    void scanCounters()
    {
        QFETCH(QString, name);
        QFETCH(double, size);
        QFETCH(double, x);
        QFETCH(double, y);
        const Pattern* pattern = findPattern(name.toStdString());
        QVERIFY(pattern);
        const Pattern probe{"probe", pattern->derive, logCounters};
        counterLog = {};
        Recorder host;
        const RenderOptions oneThread = onCanvas(1);  // the log is not shared between threads
        const RenderResult r = render(probe, PatternParameters{x, y, size, 1, 150}, host, oneThread);
        QCOMPARE(r.outcome, Outcome::Completed);
        const long columns = size == 768 ? 1024 : long(size);
        QCOMPARE(counterLog.calls, columns * long(size));
        QTEST(counterLog.firstI, "firstI");
        QTEST(counterLog.lastI, "lastI");
        QTEST(counterLog.firstJ, "firstJ");
        QTEST(counterLog.lastJ, "lastJ");
        // Wherever the plane starts, the picture stays at the same Canvas place.
        QCOMPARE(host.canvas.begin()->first, std::make_pair(161, 51));
        QCOMPARE(host.canvas.rbegin()->first, std::make_pair(160 + int(columns), 50 + int(size)));
    }

    // The mixtures of limbo, Punk and sizZle are never negative; the others'
    // are in places, so a negative brightness still lights some pixels.
    void brightnessSign_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("bright");
        QTest::addColumn<bool>("allBlack");
        for (const char* n : {"kraken", "limbo", "numb", "ooh", "Punk", "qwin", "rumba", "sizZle", "Tame"}) {
            QTest::addRow("%s 0", n) << QString(n) << 0.0 << true;
            const bool neverNegative = QByteArray(n) == "limbo" || QByteArray(n) == "Punk" || QByteArray(n) == "sizZle";
            QTest::addRow("%s -150", n) << QString(n) << -150.0 << neverNegative;
        }
    }
    void brightnessSign()
    {
        QFETCH(QString, name);
        QFETCH(double, bright);
        QFETCH(bool, allBlack);
        Recorder host;
        QCOMPARE(paint(name, PatternParameters{1, 1, 60, 1, bright}, host).outcome, Outcome::Completed);
        QCOMPARE(host.canvas.size(), std::size_t(60 * 60));
        bool black = true;
        for (const auto& entry : host.canvas)
            black = black && entry.second == rgb(0, 0, 0);
        QCOMPARE(black, allBlack);
    }

    // qwin's a follows the column, so a zoom entry can make a + 0.000123, the
    // divisor of b in g, exactly 0 in one chosen column.
    void exactZeroDivisorEndsTheRender()
    {
        // Size 20 at P1 = 0: x0 = -10, columns i = -9, -8, -7, -6, … The zoom
        // below makes a = K × (-6 / 200) × (3 × P4) round to exactly -0.000123.
        const double P4 = 0x1.c7f8c0569642fp-13;            // 0.00021742424242424246
        QVERIFY(K * (-6.0 / 200) * (3 * P4) == -0.000123);  // exactly: QCOMPARE would be fuzzy
        Recorder host;
        const RenderResult r = paint("qwin", PatternParameters{0, 0, 20, P4, 150}, host);
        QCOMPARE(r.outcome, Outcome::Faulted);
        QCOMPARE(r.faultColumn, 3L);  // i = -6
        QCOMPARE(r.faultRow, 0L);     // every pixel of that column divides by 0
        QCOMPARE(r.columns, 3L);
        QCOMPARE(host.canvas.size(), std::size_t(3 * 20));
        QCOMPARE(host.canvas.rbegin()->first, std::make_pair(163, 70));
    }
};

QTEST_GUILESS_MAIN(PatternsKrakenToTame)
#include "test_patterns_kraken_to_tame.moc"
