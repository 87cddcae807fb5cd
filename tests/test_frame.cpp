// The shared frame: scan geometry, halting, arithmetic faults, and pictures that
// do not depend on how many threads compute them.
#include "canvas_recorder.h"
#include "patterns/patterns.h"
#include "render/frame.h"
#include "render/numtext.h"

#include <QCryptographicHash>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

using namespace glimra;

namespace {

class Recorder : public CanvasRecorder {
public:
    long haltAfter = -1;  // columns after which a halt is requested
    bool haltRequested() override { return haltAfter >= 0 && yields >= haltAfter; }
    int maxX() const { return canvas.empty() ? 0 : canvas.rbegin()->first.first; }
};

PatternParameters params(const char* size, const char* x = "1", const char* y = "1", const char* zoom = "1",
                         const char* bright = "150")
{
    PatternTexts t;
    t.x = x;
    t.y = y;
    t.size = size;
    t.zoom = zoom;
    t.bright = bright;
    return readParameters(t);
}

// A pattern whose arithmetic faults at one chosen pixel, in one of three ways.
// The kind, place and counters are set by the test before each render.
enum class FaultKind { DivideByZero, HiddenOverflow, Invalid };
struct Injection {
    FaultKind kind = FaultKind::DivideByZero;
    double i = 0, j = 0;
};
Injection injection;
volatile double zero = 0, huge = 1e300;

Components faultingPixel(const Derived&, double i, double j)
{
    Components c{10, 20, 30};
    if (i == injection.i && j == injection.j) {
        switch (injection.kind) {
        case FaultKind::DivideByZero: c.red = 1 / zero; break;
        case FaultKind::HiddenOverflow:
            // overflows, yet the component that comes out is finite
            c.red = 1 / (huge * huge);
            break;
        case FaultKind::Invalid: c.green = std::sqrt(zero - 1); break;
        }
    }
    return c;
}
Derived centredPlain(const PatternParameters& p) { return centredFrame(p); }
const Pattern faulting{"faulting", centredPlain, faultingPixel};

QByteArray pictureHash(const Recorder& r)
{
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const auto& [pos, colour] : r.canvas) {
        const int v[3] = {pos.first, pos.second, int(colour)};
        h.addData(QByteArrayView(reinterpret_cast<const char*>(v), sizeof v));
    }
    return h.result().toHex();
}

}  // namespace

class TestFrame : public QObject {
    Q_OBJECT

private slots:
    void geometry_data()
    {
        QTest::addColumn<QString>("size");
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rows");
        QTest::newRow("768 is 1024 wide") << "768"
                                          << "1"
                                          << "1" << 1024 << 768;
        QTest::newRow("767 is square") << "767"
                                       << "1"
                                       << "1" << 767 << 767;
        QTest::newRow("fraction paints whole part") << "150.5"
                                                    << "1"
                                                    << "1" << 150 << 150;
        QTest::newRow("300.7") << "300.7"
                               << "0"
                               << "0" << 300 << 300;
        QTest::newRow("offsets never move the rectangle") << "120"
                                                          << "12345.25"
                                                          << "-777" << 120 << 120;
        QTest::newRow("size 1") << "1"
                                << "1"
                                << "1" << 1 << 1;
        QTest::newRow("size 0") << "0"
                                << "1"
                                << "1" << 0 << 0;
        QTest::newRow("negative size") << "-5"
                                       << "1"
                                       << "1" << 0 << 0;
        QTest::newRow("not a number") << "abc"
                                      << "1"
                                      << "1" << 0 << 0;
        QTest::newRow("below 1") << "0.9"
                                 << "1"
                                 << "1" << 0 << 0;
    }
    void geometry()
    {
        QFETCH(QString, size);
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(int, columns);
        QFETCH(int, rows);
        const PatternParameters p = params(size.toUtf8().constData(), x.toUtf8().constData(), y.toUtf8().constData());
        Recorder r, plain;
        const RenderResult res = render(dune, p, r, onCanvas());
        QCOMPARE(res.outcome, Outcome::Completed);
        QCOMPARE(res.columns, long(columns));
        QCOMPARE(long(r.canvas.size()), long(columns) * rows);
        QCOMPARE(r.yields, long(columns));
        if (columns > 0) {
            // the picture always starts at Canvas (161, 51), scanned column by column
            QCOMPARE(r.order.front(), std::make_pair(161, 51));
            QCOMPARE(r.order.back(), std::make_pair(160 + columns, 50 + rows));
            if (columns > 1)
                QCOMPARE(r.order[std::size_t(rows)], std::make_pair(162, 51));
        }
        // The origin is the caller's: without one the first pixel is (1, 1).
        render(dune, p, plain);
        QCOMPARE(plain.order.size(), r.order.size());
        for (std::size_t k = 0; k < r.order.size(); ++k)
            QCOMPARE(plain.order[k], std::make_pair(r.order[k].first - 160, r.order[k].second - 50));
    }

    // S = 300 with P1 = P2 = 0: x0 = y0 = -150, counters run -149 ... 150.
    void centringOfSize300()
    {
        const Derived d = dune.derive(params("300", "0", "0"));
        QCOMPARE(d.x0, -150.0);
        QCOMPARE(d.y0, -150.0);
        const Derived wide = dune.derive(params("768", "0", "0"));
        QCOMPARE(wide.N, 1024.0);
        QCOMPARE(wide.x0, -512.0);
        QCOMPARE(wide.y0, -384.0);
    }

    void duneDarkWithoutZoomOrBrightness_data()
    {
        QTest::addColumn<QString>("zoom");
        QTest::addColumn<QString>("bright");
        QTest::newRow("zoom 0") << "0"
                                << "150";
        QTest::newRow("brightness 0") << "1"
                                      << "0";
    }
    void duneDarkWithoutZoomOrBrightness()
    {
        QFETCH(QString, zoom);
        QFETCH(QString, bright);
        Recorder r;
        render(dune, params("40", "1", "1", zoom.toUtf8().constData(), bright.toUtf8().constData()), r);
        QCOMPARE(r.canvas.size(), std::size_t(1600));
        for (const auto& [pos, colour] : r.canvas)
            QCOMPARE(colour, rgb(0, 0, 0));
    }

    void haltLeavesExactlyKColumns_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("k");
        QTest::newRow("1 thread, after column 10") << 1 << 10;
        QTest::newRow("2 threads, after column 10") << 2 << 10;
        QTest::newRow("4 threads, after column 1") << 4 << 1;
        QTest::newRow("2 threads, after the last column") << 2 << 60;
    }
    void haltLeavesExactlyKColumns()
    {
        QFETCH(int, threads);
        QFETCH(int, k);
        Recorder r;
        r.haltAfter = k;
        const RenderResult res = render(dune, params("60"), r, onCanvas(threads));
        QCOMPARE(res.columns, long(k));
        QCOMPARE(res.outcome, k < 60 ? Outcome::Halted : Outcome::Completed);
        QCOMPARE(long(r.canvas.size()), long(k) * 60);
        QCOMPARE(r.maxX(), 160 + k);
    }

    void faultEndsRenderAtThatPixel_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        QTest::newRow("division by zero mid-column") << 1 << int(FaultKind::DivideByZero) << 7 << 13;
        QTest::newRow("overflow with finite result") << 1 << int(FaultKind::HiddenOverflow) << 7 << 13;
        QTest::newRow("invalid operation") << 1 << int(FaultKind::Invalid) << 7 << 13;
        QTest::newRow("first pixel") << 2 << int(FaultKind::DivideByZero) << 0 << 0;
        QTest::newRow("2 threads, late column") << 2 << int(FaultKind::HiddenOverflow) << 33 << 39;
        QTest::newRow("8 threads") << 8 << int(FaultKind::Invalid) << 20 << 5;
    }
    void faultEndsRenderAtThatPixel()
    {
        QFETCH(int, threads);
        QFETCH(int, kind);
        QFETCH(int, column);
        QFETCH(int, row);
        // size 40, P1 = P2 = 0: x0 = y0 = -20, so column c has i = c - 19
        injection = {FaultKind(kind), double(column - 19), double(row - 19)};
        Recorder r;
        const RenderResult res = render(faulting, params("40", "0", "0"), r, onCanvas(threads));
        QCOMPARE(res.outcome, Outcome::Faulted);
        QCOMPARE(res.faultColumn, long(column));
        QCOMPARE(res.faultRow, long(row));
        QCOMPARE(res.columns, long(column));
        QCOMPARE(long(r.order.size()), long(column) * 40 + row);
        if (!r.order.empty())
            QCOMPARE(r.order.back(),
                     row > 0 ? std::make_pair(161 + column, 50 + row) : std::make_pair(160 + column, 90));
        for (const auto& [pos, colour] : r.canvas)
            QCOMPARE(colour, rgb(10, 20, 30));
    }

    // A zoom whose double overflows faults before the first pixel is plotted.
    void overflowInDerivedValues()
    {
        Recorder r;
        const RenderResult res = render(dune, params("10", "1", "1", "1e308"), r);
        QCOMPARE(res.outcome, Outcome::Faulted);
        QVERIFY(r.canvas.empty());
    }

    // Enormous brightness meeting a large tangent: overflow, never an infinity
    // passed on to Round.
    void enormousBrightnessEndsQuietly()
    {
        Recorder r;
        const RenderResult res = render(dune, params("100", "1", "1", "1", "1e308"), r);
        QCOMPARE(res.outcome, Outcome::Faulted);
        QCOMPARE(long(r.order.size()), res.faultColumn * 100 + res.faultRow);
    }

    void offsetsTooLargeAreRefused_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("y");
        QTest::addColumn<int>("outcome");
        QTest::newRow("x 1e16") << "1e16"
                                << "1" << int(Outcome::Refused);
        QTest::newRow("x -1e16") << "-1e16"
                                 << "1" << int(Outcome::Refused);
        QTest::newRow("y 1e16") << "1"
                                << "1e16" << int(Outcome::Refused);
        QTest::newRow("x 1e300") << "1e300"
                                 << "1" << int(Outcome::Refused);
        QTest::newRow("x 9e15 still scans") << "9e15"
                                            << "1" << int(Outcome::Completed);
    }
    void offsetsTooLargeAreRefused()
    {
        QFETCH(QString, x);
        QFETCH(QString, y);
        QFETCH(int, outcome);
        Recorder r;
        const RenderResult res = render(dune, params("20", x.toUtf8().constData(), y.toUtf8().constData()), r);
        QCOMPARE(int(res.outcome), outcome);
        QCOMPARE(long(r.canvas.size()), outcome == int(Outcome::Refused) ? 0L : 400L);
    }

    // A render started inside another's yield runs to its end on the shared
    // helpers while the outer one's look-ahead columns are pending; then the
    // outer one resumes. Both pictures are the ones they paint alone.
    void nestedRenderInsideYield_data()
    {
        QTest::addColumn<int>("threads");
        QTest::newRow("1 thread") << 1;
        QTest::newRow("2 threads") << 2;
        QTest::newRow("5 threads") << 5;
    }
    void nestedRenderInsideYield()
    {
        QFETCH(int, threads);
        const PatternParameters outerParams = params("90", "3", "-4", "0.8");
        const PatternParameters innerParams = params("70", "1", "1", "1.3");
        Recorder outerAlone, innerAlone;
        render(qwin, outerParams, outerAlone, RenderOptions{1});
        render(fun, innerParams, innerAlone, RenderOptions{1});

        struct Nesting : Recorder {
            Recorder inner;
            PatternParameters innerParams;
            int threads = 1;
            RenderResult innerResult;
            void yield() override
            {
                if (++yields == 7)
                    innerResult = render(fun, innerParams, inner, RenderOptions{threads});
            }
        } outer;
        outer.innerParams = innerParams;
        outer.threads = threads;
        const RenderResult res = render(qwin, outerParams, outer, RenderOptions{threads});
        QCOMPARE(res.outcome, Outcome::Completed);
        QCOMPARE(outer.innerResult.outcome, Outcome::Completed);
        QCOMPARE(pictureHash(outer.inner), pictureHash(innerAlone));
        QCOMPARE(pictureHash(outer), pictureHash(outerAlone));
    }

    // The explicit grid: its columns and rows are the counters it is given, in
    // its own numbering; a fault is reported at the grid's column and row.
    void gridRender_data()
    {
        QTest::addColumn<int>("threads");
        QTest::newRow("1 thread") << 1;
        QTest::newRow("3 threads") << 3;
    }
    void gridRender()
    {
        QFETCH(int, threads);
        // size 40, P1 = P2 = 0: column c of the plain render has i = c - 19
        const PatternParameters p = params("40", "0", "0");
        Recorder plain;
        render(dune, p, plain);
        const std::optional<Derived> d = deriveChecked(dune, p);
        QVERIFY(d);
        ScanGrid grid;
        grid.columns = 30;
        grid.rowBegin = 5;
        grid.rowEnd = 35;
        grid.column = [](long m) { return double(m + 10) - 19; };
        grid.row = [](long n) { return double(n) - 19; };
        Recorder r;
        const RenderResult res = renderGrid(dune, *d, grid, r, RenderOptions{threads});
        QCOMPARE(res.outcome, Outcome::Completed);
        QCOMPARE(res.columns, 30L);
        QCOMPARE(long(r.canvas.size()), 30L * 30);
        QCOMPARE(r.order.front(), std::make_pair(0, 5));
        for (const auto& [pos, colour] : r.canvas)
            QCOMPARE(colour, plain.canvas.at({pos.first + 10 + 1, pos.second + 1}));

        injection = {FaultKind::Invalid, double(12 + 10) - 19, double(17) - 19};
        Recorder f;
        const RenderResult faulted = renderGrid(faulting, *d, grid, f, RenderOptions{threads});
        QCOMPARE(faulted.outcome, Outcome::Faulted);
        QCOMPARE(faulted.faultColumn, 12L);
        QCOMPARE(faulted.faultRow, 17L);
        QCOMPARE(long(f.order.size()), 12L * 30 + (17 - 5));
    }

    // Deriving faults as a render would: nothing derived, where a render ends
    // at once.
    void derivedValuesChecked()
    {
        QVERIFY(!deriveChecked(dune, params("10", "1", "1", "1e308")));
        const std::optional<Derived> d = deriveChecked(dune, params("10", "1", "1", "0.5"));
        QVERIFY(d);
        QCOMPARE(d->Z, 1.0);
        QCOMPARE(d->B, 75.0);
    }

    // Every pattern in the table gives the same picture on 1, 2 and 8 threads,
    // for a size that is no multiple of any slot count.
    void threadCountInvariance()
    {
        for (const Pattern* p : patternTable()) {
            QByteArray first;
            for (int threads : {1, 2, 8}) {
                Recorder r;
                render(*p, params("173", "3.5", "-20", "0.37", "170"), r, RenderOptions{threads});
                const QByteArray h = pictureHash(r);
                if (first.isEmpty())
                    first = h;
                QVERIFY2(h == first, p->name);
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestFrame)
#include "test_frame.moc"
