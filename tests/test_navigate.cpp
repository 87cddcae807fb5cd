// Navigation arithmetic and places, on the render core alone.
#include "patterns/patterns.h"
#include "place/navigate.h"
#include "render/numtext.h"
#include "place/place.h"

#include <QTest>

#include <cmath>

using namespace glimra;

Q_DECLARE_METATYPE(glimra::PatternTexts)

namespace {

// The column (or row) whose counter, as the frame counts it, shows the plane
// point nearest to `point` (a counter times the zoom factor), 1-based.
long pixelShowing(double origin, double extent, long count, double Z, double point)
{
    const std::vector<double> counters = scanCounters(origin, extent, count);
    long best = -1;
    double bestDistance = INFINITY;
    for (std::size_t k = 0; k < counters.size(); ++k) {
        const double distance = std::fabs(counters[k] * Z - point);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = long(k) + 1;
        }
    }
    return best;
}

// Doubles equal to the last bit (QCOMPARE would allow a fuzz).
#define SAME(a, b) \
    QVERIFY2((a) == (b), qPrintable(QString("%1 is not %2").arg(double(a), 0, 'g', 17).arg(double(b), 0, 'g', 17)))

double counterAt(double origin, double extent, long k)
{
    return scanCounters(origin, extent, k).at(std::size_t(k - 1));
}

PatternTexts textsOf(const char* x, const char* y, const char* size, const char* zoom)
{
    return PatternTexts{x, y, size, zoom, "150"};
}

}  // namespace

class TestNavigate : public QObject {
    Q_OBJECT
private slots:
    void zoomInAndOut_data()
    {
        QTest::addColumn<int>("pattern");
        QTest::addColumn<PatternTexts>("texts");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        for (int k = 0; k < kPatternCount; ++k) {
            const char* name = patternTable()[std::size_t(k)]->name;
            QTest::addRow("%s 768", name) << k << textsOf("1", "1", "768", "0.15") << 700 << 123;
            QTest::addRow("%s 768 corner", name) << k << textsOf("-3.25", "17", "768", "1") << 1024 << 768;
            QTest::addRow("%s 600", name) << k << textsOf("150", "200", "600", "0.2") << 1 << 600;
            QTest::addRow("%s 150", name) << k << textsOf("1", "1", "150", "1") << 38 << 111;
        }
    }

    // One notch in about a pixel keeps the plane point under it, and one notch
    // out brings back the very numbers the boxes held.
    void zoomInAndOut()
    {
        QFETCH(int, pattern);
        QFETCH(PatternTexts, texts);
        QFETCH(int, column);
        QFETCH(int, row);
        const Pattern& p = *patternTable()[std::size_t(pattern)];
        const PicturePoint at{double(column), double(row)};

        const Derived before = p.derive(readParameters(texts));
        const double u = counterAt(before.x0, before.N, column) * before.Z;
        const double v = counterAt(before.y0, before.S, row) * before.Z;

        // Zooming in: a pixel spans half as much of the plane, so a feature is
        // twice as wide, and the point under the pointer stays there.
        const NavigationResult in = navigate(p, texts, zoomAbout(at, +1));
        QVERIFY2(in.texts, in.why.c_str());
        const Derived zoomed = p.derive(readParameters(*in.texts));
        SAME(Val(in.texts->zoom), Val(texts.zoom) / 2);
        const auto extent = pictureExtent(p, *in.texts);
        QVERIFY(extent);
        QCOMPARE(pixelShowing(zoomed.x0, zoomed.N, extent->columns, zoomed.Z, u), long(column));
        QCOMPARE(pixelShowing(zoomed.y0, zoomed.S, extent->rows, zoomed.Z, v), long(row));

        const NavigationResult out = navigate(p, *in.texts, zoomAbout(at, -1));
        QVERIFY2(out.texts, out.why.c_str());
        SAME(Val(out.texts->x), Val(texts.x));
        SAME(Val(out.texts->y), Val(texts.y));
        SAME(Val(out.texts->zoom), Val(texts.zoom));
        QCOMPARE(out.texts->size, texts.size);
        QCOMPARE(out.texts->bright, texts.bright);
    }

    void steps_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        QTest::addColumn<double>("magnification");
        // The plane point at (column, row) of the old view is at the centre of
        // the new one, its features `magnification` times as large.
        QTest::newRow("centre") << "centre" << 1000 << 20 << 1.0;
        QTest::newRow("pan right") << "pan right" << 512 + 256 << 384 << 1.0;
        QTest::newRow("pan up") << "pan up" << 512 << 384 - 192 << 1.0;
        // 101 x 51 pixels around (300.5 → 300 or 301, 600): fits by its width.
        QTest::newRow("rectangle") << "rectangle" << 300 << 600 << 1024.0 / 101;
    }

    void steps()
    {
        QFETCH(QString, step);
        QFETCH(int, column);
        QFETCH(int, row);
        QFETCH(double, magnification);
        const Pattern& p = qwin;
        const PatternTexts texts = textsOf("7", "-2", "768", "0.5");
        const PictureExtent extent = *pictureExtent(p, texts);
        NavigationStep s;
        if (step == "centre")
            s = centreOn({double(column), double(row)}, extent);
        else if (step == "pan right")
            s = panQuarter(1, 0, extent);
        else if (step == "pan up")
            s = panQuarter(0, -1, extent);
        else
            s = *zoomToRectangle({250, 575}, {350, 625}, extent);
        const NavigationResult r = navigate(p, texts, s);
        QVERIFY2(r.texts, r.why.c_str());
        // A pixel spans that much less of the plane; written with Text, 15
        // digits of the exact quotient.
        SAME(Val(r.texts->zoom), Val(Text(Val(texts.zoom) / magnification)));
        const Derived before = p.derive(readParameters(texts));
        const Derived after = p.derive(readParameters(*r.texts));
        const double u = counterAt(before.x0, before.N, column) * before.Z;
        const double v = counterAt(before.y0, before.S, row) * before.Z;
        const long cx = pixelShowing(after.x0, after.N, extent.columns, after.Z, u);
        const long cy = pixelShowing(after.y0, after.S, extent.rows, after.Z, v);
        // The centre pixel of 1024 x 768, within the half pixel a rectangle's
        // centre can lie off a pixel, magnified.
        const double slack = step == "rectangle" ? magnification / 2 + 0.5 : 0;
        QVERIFY2(std::fabs(cx - 512) <= slack && std::fabs(cy - 384) <= slack,
                 qPrintable(QString("lands at %1, %2").arg(cx).arg(cy)));
    }

    void refusals_data()
    {
        QTest::addColumn<PatternTexts>("texts");
        QTest::addColumn<int>("unreadable");
        QTest::newRow("12abc in x") << textsOf("12abc", "1", "150", "1") << 0;
        QTest::newRow("empty y") << textsOf("1", "", "150", "1") << 1;
        QTest::newRow("dangling exponent zoom") << textsOf("1", "1", "150", "2E") << 3;
        QTest::newRow("zoom 0") << textsOf("1", "1", "150", "0") << -1;
        QTest::newRow("beyond the scan") << textsOf("9e15", "1", "150", "1") << -1;
        QTest::newRow("zoom at the top") << textsOf("1", "1", "150", "1.7e308") << -1;
    }

    // What cannot be read or cannot be reached changes nothing and says why.
    void refusals()
    {
        QFETCH(PatternTexts, texts);
        QFETCH(int, unreadable);
        const NavigationResult r = navigate(dune, texts, zoomAbout({10, 10}, 1));
        QVERIFY(!r.texts);
        QVERIFY(!r.why.empty());
        QCOMPARE(r.unreadable, unreadable);
    }

    void placeRoundTrip_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<PatternTexts>("texts");
        QTest::newRow("start values") << "dune" << PatternTexts{};
        QTest::newRow("blanks and signs") << "sizZle" << textsOf(" 1 2 ", "-0.5", "+768", "1E+3");
        QTest::newRow("separators") << "Punk" << textsOf("a&b=c", "50%", "?#", "+ +");
        QTest::newRow("not ASCII") << "qwin"
                                   << textsOf("\xc3\xa9t\xc3\xa9",
                                              "\xe2\x82\xac"
                                              "5",
                                              "\xf0\x9f\x8c\x88", "");
    }

    void placeRoundTrip()
    {
        QFETCH(QString, pattern);
        QFETCH(PatternTexts, texts);
        const std::string line = formatPlace(Place{pattern.toStdString(), texts});
        for (const char c : line)
            QVERIFY2(c > ' ' && c < 0x7f && c != '#' && c != ' ', line.c_str());
        std::string why;
        const auto back = parsePlace(line, &why);
        QVERIFY2(back, why.c_str());
        QCOMPARE(QString::fromStdString(back->pattern), pattern);
        for (const ParameterName& p : kParameterNames)
            QCOMPARE(back->texts.*p.text, texts.*p.text);
    }

    void placeLenient()
    {
        std::string why;
        const auto p = parsePlace(" GLIMRA:DUNE?utm=1&zoom=2&&odd%ZZ=3&bright=%37\r\n", &why);
        QVERIFY2(p, why.c_str());
        QCOMPARE(p->pattern, std::string("dune"));
        QCOMPARE(p->texts.zoom, std::string("2"));
        QCOMPARE(p->texts.bright, std::string("7"));
        QCOMPARE(p->texts.x, PatternTexts{}.x);
        QCOMPARE(p->texts.size, PatternTexts{}.size);
    }

    void placeHostile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("other scheme") << QByteArray("https://glimra.example.org/?x=1");
        QTest::newRow("no pattern") << QByteArray("glimra:?x=1");
        QTest::newRow("unknown pattern") << QByteArray("glimra:nothing?x=1");
        QTest::newRow("pattern by number") << QByteArray("glimra:3");
        QTest::newRow("broken escape") << QByteArray("glimra:dune?x=%G1");
        QTest::newRow("cut escape") << QByteArray("glimra:dune?x=1%4");
        QTest::newRow("twice") << QByteArray("glimra:dune?x=1&x=2");
        QTest::newRow("no value") << QByteArray("glimra:dune?zoom");
        QTest::newRow("NUL") << QByteArray("glimra:dune?x=1%00");
        QTest::newRow("line feed inside") << QByteArray("glimra:dune?x=1\nglimra:qwin");
        QTest::newRow("raw blank") << QByteArray("glimra:dune?x=1 2");
        QTest::newRow("bad UTF-8") << QByteArray("glimra:dune?x=%C3%28");
        QTest::newRow("overlong UTF-8") << QByteArray("glimra:dune?x=%C0%AF");
        QTest::newRow("surrogate") << QByteArray("glimra:dune?x=%ED%A0%80");
        QTest::newRow("cut UTF-8") << QByteArray("glimra:dune?x=%E2%82");
        QTest::newRow("fragment") << QByteArray("glimra:dune?x=1#top");
        QTest::newRow("huge text") << QByteArray("glimra:dune?x=") + QByteArray(3000, '1');
        QTest::newRow("huge line") << QByteArray("glimra:dune?a=") + QByteArray(20000, 'a');
    }

    void placeHostile()
    {
        QFETCH(QByteArray, text);
        std::string why;
        QVERIFY(!parsePlace(text.toStdString(), &why));
        QVERIFY(!why.empty());
    }

    void valWhole_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("whole");
        QTest::newRow("plain") << "12.5" << true;
        QTest::newRow("blanks inside") << " 1 2 . 5 " << true;
        QTest::newRow("hex") << "&HFF" << true;
        QTest::newRow("exponent D") << "1D3" << true;
        QTest::newRow("trailing letters") << "12abc" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("sign alone") << "-" << false;
        QTest::newRow("dangling exponent") << "1E" << false;
        QTest::newRow("octal 8") << "&O8" << false;
        QTest::newRow("two points") << "1.2.3" << false;
    }

    // Whatever it accepts, it reads as Val does.
    void valWhole()
    {
        QFETCH(QString, text);
        QFETCH(bool, whole);
        const auto v = glimra::valWhole(text.toStdString());
        QCOMPARE(bool(v), whole);
        if (v)
            SAME(*v, Val(text.toStdString()));
    }
};

QTEST_APPLESS_MAIN(TestNavigate)
#include "test_navigate.moc"
