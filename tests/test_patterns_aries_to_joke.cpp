// Patterns aries … joke: derived values, flat pictures (zoom 0, brightness 0 or
// below), eeee's own centring, and an overflow that ends a render mid-picture.
#include "canvas_recorder.h"
#include "patterns/patterns.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <map>

using namespace glimra;

Q_DECLARE_METATYPE(const Pattern*)

namespace {

using Recorder = CanvasRecorder;

uint colourOf(double red, double green, double blue)
{
    auto channel = [](double v) { return int(std::nearbyint(std::clamp(v, 0.0, 255.0))); };
    return rgb(channel(red), channel(green), channel(blue));
}

// Zoom 0: a = b = 0, so every Sin, Tan and power of a coordinate is 0 and every Cos is 1.
uint bloodAtZoomZero(double B)  // (24, 16, 88) at 150
{
    const double c1 = std::fabs(std::sin(std::tan(1.0))) / 7;
    const double c2 = std::fabs(std::tan(std::sin(-c1 + std::cos(c1 + std::cos(c1)))));
    const double c3 = std::fabs(std::tan(std::sin(c1 + std::cos(c2)) + std::sin(1.0)));
    const double c4 = std::fabs(std::tan(std::sin(c3) + std::sin(1.0)));
    return colourOf(B * (c4 * 0.2 + c3 * 0.002), 5 + B * (c4 * 0.02 + c3 * 0.01), 15 + B * (c4 * 0.002 + c3 * 0.08));
}

uint celtAtZoomZero(double B)  // (34, 65, 171) at 150
{
    const double c1 = 1;  // Abs(Tan(0) + Cos(Sin(0) + Tan(0)))
    const double c2 = std::fabs(std::tan(std::sin(1.0) + 1));
    const double c3 = std::fabs(std::tan(1.0));  // Sin(…) × a vanishes, Cos(a + b / 3) is 1
    const double c4 = std::fabs(std::tan((std::sin(c1 - c3 * 2) + c3) + std::cos(c2 * c3)));
    const double u = ((c2 * 0.05 + c3 * 0.05) + c4 * 0.05) + c1 * 0.3;
    const double v = ((c2 * 0.01 + c3 * 0.01) + c4 * 0.03) + c1 * 0.03;
    const double w = ((c2 * 0.015 + c3 * 0.03) + c4 * 0.01) + c1 * 0.01;
    return colourOf(B * w, B * v, B * u);
}

}  // namespace

class TestPatternsAriesToJoke : public QObject {
    Q_OBJECT

private slots:
    // Zoom factors and centring of the three patterns that have no reference
    // pixels to pin them (the other six have).
    void derivedValues_data()
    {
        QTest::addColumn<const Pattern*>("pattern");
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("Z");
        const double P4 = 0.3;
        QTest::newRow("aries") << &aries << 0 << P4 + P4;
        QTest::newRow("blood") << &blood << 1 << P4 + P4;
        QTest::newRow("celt") << &celt << 2 << P4 * 0.7;
    }
    void derivedValues()
    {
        QFETCH(const Pattern*, pattern);
        QFETCH(int, index);
        QFETCH(double, Z);
        QCOMPARE(patternTable()[std::size_t(index)], pattern);
        const Derived d = pattern->derive(PatternParameters{10, 20, 768, 0.3, 150});
        QVERIFY(d.N == 1024 && d.S == 768 && d.x0 == 10 - 512 && d.y0 == 20 - 384);
        QVERIFY(d.Z == Z);
        QVERIFY(d.B == 150);  // not halved
    }

    // More digits than the 15 of a size's text form: eeee halves the size
    // itself, the others halve the text "100.123456789012". Exact comparisons,
    // since QCOMPARE on doubles would forgive the difference.
    void eeeeHalvesTheSizeItself()
    {
        const PatternParameters p{7, 9, 100.12345678901234, 1, 150};
        const Derived e = eeee.derive(p), f = fun.derive(p);
        QVERIFY(e.x0 == 7 - 100.12345678901234 / 2 && e.y0 == 9 - 100.12345678901234 / 2);
        QVERIFY(f.x0 == 7 - 100.123456789012 / 2 && f.y0 == 9 - 100.123456789012 / 2);
        QVERIFY(e.x0 != f.x0);
    }

    void flatPictures_data()
    {
        QTest::addColumn<const Pattern*>("pattern");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<double>("bright");
        QTest::addColumn<uint>("colour");
        QTest::newRow("blood zoom 0") << &blood << 0.0 << 150.0 << bloodAtZoomZero(150);
        QTest::newRow("celt zoom 0") << &celt << 0.0 << 150.0 << celtAtZoomZero(150);
        QTest::newRow("eeee zoom 0") << &eeee << 0.0 << 150.0 << uint(rgb(23, 1, 42));
        QTest::newRow("fun zoom 0") << &fun << 0.0 << 150.0 << uint(rgb(31, 18, 56));
        QTest::newRow("grin zoom 0") << &grin << 0.0 << 150.0 << uint(rgb(19, 26, 58));
        for (const Pattern* p : {&aries, &celt, &eeee, &fun, &grin, &hix, &ice, &joke})
            QTest::addRow("%s bright 0", p->name) << p << 1.0 << 0.0 << uint(rgb(0, 0, 0));
        QTest::newRow("blood bright 0") << &blood << 1.0 << 0.0 << uint(rgb(0, 5, 15));
        // sums of non-negative terms: any brightness below 0 is black too
        for (const Pattern* p : {&hix, &ice, &joke})
            QTest::addRow("%s bright -150", p->name) << p << 1.0 << -150.0 << uint(rgb(0, 0, 0));
    }
    void flatPictures()
    {
        QFETCH(const Pattern*, pattern);
        QFETCH(double, zoom);
        QFETCH(double, bright);
        QFETCH(uint, colour);
        Recorder host;
        QCOMPARE(render(*pattern, PatternParameters{1, 1, 40, zoom, bright}, host).outcome, Outcome::Completed);
        QCOMPARE(host.canvas.size(), std::size_t(40 * 40));
        for (const auto& entry : host.canvas)
            QCOMPARE(entry.second, colour);
    }

    // joke adds a and b. With i and j running 1 … 60 and Z = 5.7e307, a and b
    // stay finite ((K × (60 / 200)) × Z ≈ 1.07e308) and so does a + b while
    // i + j <= 100 (≈ 1.7914e308), but i + j = 101 gives ≈ 1.809e308, beyond
    // the largest double ≈ 1.7977e308. The first such pixel in scan order is
    // i = 41, j = 60: columns 0 … 39 and 59 rows of column 40 are painted.
    void overflowEndsRenderAtThatPixel()
    {
        Recorder host;
        const RenderResult r = render(joke, PatternParameters{30, 30, 60, 2.85e307, 150}, host, onCanvas());
        QCOMPARE(r.outcome, Outcome::Faulted);
        QCOMPARE(r.faultColumn, 40L);
        QCOMPARE(r.faultRow, 59L);
        QCOMPARE(host.canvas.size(), std::size_t(40 * 60 + 59));
        QVERIFY(host.canvas.count({kCanvasLeft + 41, kCanvasTop + 59}));
        QVERIFY(!host.canvas.count({kCanvasLeft + 41, kCanvasTop + 60}));
    }
};

QTEST_GUILESS_MAIN(TestPatternsAriesToJoke)
#include "test_patterns_aries_to_joke.moc"
