// Known colours of known pixels, for every pattern that has them, looked up
// through the pattern table exactly as the window and glimra-render do.
#include "canvas_recorder.h"
#include "patterns/patterns.h"
#include "render/frame.h"

#include <QtTest>

#include <map>
#include <utility>

using namespace glimra;

namespace {

struct Texts {
    const char *x, *y, *size, *zoom, *bright;
};
constexpr Texts kReset{"1", "1", "100", "1", "150"};
constexpr Texts kMedium{"150", "200", "600", "0.2", "100"};
constexpr Texts kMediumDark{"150", "200", "600", "0.2", "-100"};

}  // namespace

class TestReferencePixels : public QObject {
    Q_OBJECT

private slots:
    void pixel_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("setting");  // 0 reset values, 1 medium-like, 2 medium-like dark
        QTest::addColumn<int>("X");
        QTest::addColumn<int>("Y");
        QTest::addColumn<int>("red");
        QTest::addColumn<int>("green");
        QTest::addColumn<int>("blue");
        auto row = [](const char* name, int setting, int X, int Y, int r, int g, int b) {
            QTest::addRow("%s %d (%d,%d)", name, setting, X, Y) << QString(name) << setting << X << Y << r << g << b;
        };
        row("dune", 0, 161, 51, 2, 4, 8);
        row("dune", 0, 190, 120, 52, 19, 6);
        row("eeee", 0, 161, 51, 48, 26, 46);
        row("eeee", 0, 190, 120, 116, 29, 238);
        row("fun", 0, 161, 51, 17, 6, 11);
        row("fun", 0, 190, 120, 30, 11, 25);
        row("grin", 0, 161, 51, 10, 3, 15);
        row("grin", 0, 190, 120, 9, 12, 22);
        row("hix", 1, 161, 51, 0, 0, 1);
        row("hix", 1, 260, 100, 4, 2, 13);
        row("ice", 1, 161, 51, 11, 14, 16);
        row("ice", 1, 260, 100, 46, 43, 26);
        row("joke", 1, 161, 51, 48, 19, 61);
        row("joke", 1, 260, 100, 41, 14, 8);
        row("kraken", 1, 161, 51, 102, 39, 14);
        row("kraken", 1, 260, 100, 51, 0, 0);
        row("kraken", 2, 260, 100, 0, 42, 118);
        row("limbo", 1, 161, 51, 42, 8, 17);
        row("limbo", 1, 260, 100, 5, 1, 2);
        row("numb", 1, 161, 51, 12, 32, 80);
        row("numb", 1, 260, 100, 169, 36, 110);
        row("ooh", 0, 161, 51, 0, 71, 52);
        row("ooh", 0, 190, 120, 67, 22, 66);
        row("Punk", 0, 161, 51, 9, 25, 20);
        row("Punk", 0, 190, 120, 73, 175, 188);
        row("qwin", 0, 161, 51, 255, 255, 185);
        row("qwin", 0, 190, 120, 34, 57, 74);
        row("rumba", 0, 161, 51, 8, 25, 32);
        row("rumba", 0, 190, 120, 34, 38, 56);
        row("sizZle", 0, 161, 51, 58, 31, 133);
        row("sizZle", 0, 190, 120, 9, 7, 25);
        row("Tame", 0, 161, 51, 178, 35, 56);
        row("Tame", 0, 190, 120, 75, 20, 99);
    }

    void pixel()
    {
        QFETCH(QString, pattern);
        QFETCH(int, setting);
        QFETCH(int, X);
        QFETCH(int, Y);
        QFETCH(int, red);
        QFETCH(int, green);
        QFETCH(int, blue);
        const Pattern* p = findPattern(pattern.toStdString());
        QVERIFY(p);
        const Texts& t = setting == 0 ? kReset : setting == 1 ? kMedium : kMediumDark;
        PatternTexts texts;
        texts.x = t.x;
        texts.y = t.y;
        texts.size = t.size;
        texts.zoom = t.zoom;
        texts.bright = t.bright;
        // Only the columns up to X matter; halting there keeps the test quick.
        class UpTo : public CanvasRecorder {
        public:
            int lastX = 0;
            bool haltRequested() override { return kCanvasLeft + yields >= lastX; }
        } host;
        host.lastX = X;
        render(*p, readParameters(texts), host, onCanvas());
        const auto it = host.canvas.find({X, Y});
        QVERIFY(it != host.canvas.end());
        QCOMPARE(redOf(it->second), red);
        QCOMPARE(greenOf(it->second), green);
        QCOMPARE(blueOf(it->second), blue);
    }

    // The table's names and order are what the buttons and glimra-render use.
    void lookUpByNameAndIndex()
    {
        const char* names[kPatternCount] = {"aries", "blood", "celt",  "dune",   "eeee",  "fun",  "grin",
                                            "hix",   "ice",   "joke",  "kraken", "limbo", "numb", "ooh",
                                            "Punk",  "qwin",  "rumba", "sizZle", "Tame"};
        for (int k = 0; k < kPatternCount; ++k) {
            const Pattern* p = patternTable()[std::size_t(k)];
            QVERIFY(p);
            QCOMPARE(QString(p->name), QString(names[k]));
            QCOMPARE(findPattern(std::to_string(k)), p);
            QCOMPARE(findPattern(QString(names[k]).toUpper().toStdString()), p);
            QCOMPARE(patternIndex(*p), k);
        }
        QVERIFY(!findPattern("19"));
        QVERIFY(!findPattern("-1"));
        QVERIFY(!findPattern("nosuch"));
        QVERIFY(!findPattern(""));
    }
};

QTEST_APPLESS_MAIN(TestReferencePixels)
#include "test_reference_pixels.moc"
