// Renders in the window: the Canvas against glimra-render, halting, the
// highlight, and renders nested inside one another.
//
// Clicks that must land during a render are queued from the column observer,
// so the render's own yield after that column is what handles them.
#include "test_window_support.h"

#include "window/application.h"
#include "window/qtac.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QPushButton>
#include <QtTest>

#include <utility>
#include <vector>

using namespace support;

using Log = std::vector<std::pair<int, long>>;  // (level, column) in painting order

class TestWindowRender : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void canvasMatchesRenderer_data();
    void canvasMatchesRenderer();
    void haltLeavesColumnsAndOldPicture_data();
    void haltLeavesColumnsAndOldPicture();
    void haltBeforeClickIsCleared();
    void clickDuringRenderMovesHighlight();
    void nestedRenderPaintsThenOuterResumes();
    void haltDuringNestingEndsEveryLevel();
    void nestingStopsAtSixteenLevels();
    void pictureGrowsVisibly();

private:
    // A shown window with a column log.
    struct Fixture {
        qTac w;
        Log log;
        Fixture()
        {
            w.Timer1->stop();
            w.show();
        }
    };
    static void record(Fixture& f, std::function<void(int, long)> also = {})
    {
        f.w.columnPainted = [&f, also](int level, long column) {
            f.log.emplace_back(level, column);
            if (also)
                also(level, column);
        };
    }
};

namespace {
Log columns(int level, long from, long to)
{
    Log log;
    for (long c = from; c <= to; ++c)
        log.emplace_back(level, c);
    return log;
}
Log operator+(Log a, const Log& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
}  // namespace

namespace QTest {
template <>
char* toString(const Log& log)
{
    QString s;
    for (auto [level, column] : log)
        s += QString("%1:%2 ").arg(level).arg(column);
    return qstrdup(qPrintable(s));
}
}  // namespace QTest

void TestWindowRender::initTestCase() { glimra::prepareApplication(*qApp); }

void TestWindowRender::canvasMatchesRenderer_data()
{
    QTest::addColumn<Texts>("texts");
    QTest::newRow("start values, small") << Texts{"1", "1", "40", "1", "150"};
    QTest::newRow("offsets, zoom, brightness") << Texts{"-30", "12.5", "37", "0.35", "210"};
    QTest::newRow("fractional size") << Texts{"1", "1", "20.7", "1", "150"};
    QTest::newRow("lenient texts") << Texts{" 5 0", "&H10", "33abc", ".5e0", "150"};
}

void TestWindowRender::canvasMatchesRenderer()
{
    QFETCH(Texts, texts);
    QString failure;
    const QImage picture = reference("dune", texts, &failure);
    QVERIFY2(!picture.isNull(), qPrintable(failure));

    Fixture f;
    setTexts(f.w, texts);
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);
    const QString diff = difference(f.w.canvas(), laidOver(blankCanvas(), picture));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    // And the screen shows what the Canvas holds.
    const QImage shown =
        f.w.grab(QRect(kLeft, kTop, picture.width(), picture.height())).toImage().convertToFormat(QImage::Format_RGB32);
    const QString shownDiff = difference(shown, picture);
    QVERIFY2(shownDiff.isEmpty(), qPrintable(shownDiff));
}

void TestWindowRender::haltLeavesColumnsAndOldPicture_data()
{
    QTest::addColumn<int>("k");  // the halt arrives while column k (1-based) is painted
    QTest::newRow("first column") << 1;
    QTest::newRow("column 13") << 13;
    QTest::newRow("last column") << 40;
}

void TestWindowRender::haltLeavesColumnsAndOldPicture()
{
    QFETCH(int, k);
    const Texts oldTexts{"1", "1", "40", "1", "150"};
    const Texts newTexts{"1", "1", "40", "0.5", "150"};
    const QImage oldPicture = reference("dune", oldTexts);
    const QImage newPicture = reference("dune", newTexts);
    QVERIFY(!oldPicture.isNull() && !newPicture.isNull());
    QVERIFY(difference(oldPicture, newPicture) != QString());

    Fixture f;
    setTexts(f.w, oldTexts);
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);
    setTexts(f.w, newTexts);
    record(f, [&](int, long column) {
        if (column == k - 1)
            postClick(f.w.cmdstop);
    });
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);

    QCOMPARE(f.log, columns(1, 0, k - 1));
    QCOMPARE(f.w.HaltFlag, QString("p"));
    const QImage expected = laidOver(laidOver(blankCanvas(), oldPicture), newPicture, QRect(0, 0, k, 40));
    const QString diff = difference(f.w.canvas(), expected);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    // The clicked button keeps its highlight after the halt.
    for (int b = 0; b < glimra::kPatternCount; ++b)
        QCOMPARE(qTac::backColour(f.w.CMD[b]), b == 3 ? kOrange : kGrey);
}

void TestWindowRender::haltBeforeClickIsCleared()
{
    Fixture f;
    setTexts(f.w, {"1", "1", "25", "1", "150"});
    QTest::mouseClick(f.w.cmdstop, Qt::LeftButton);
    QCOMPARE(f.w.HaltFlag, QString("p"));
    record(f);
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);
    QCOMPARE(f.log, columns(1, 0, 24));
    QCOMPARE(f.w.HaltFlag, QString());
}

void TestWindowRender::clickDuringRenderMovesHighlight()
{
    Fixture f;
    setTexts(f.w, {"1", "1", "12", "1", "150"});
    QTest::mouseClick(f.w.CMD[1], Qt::LeftButton);  // a highlight to move away from
    QColor threeWhileFivePaints, fiveWhileFivePaints;
    record(f, [&](int level, long column) {
        if (level == 1 && column == 2)
            postClick(f.w.CMD[5]);
        if (level == 2 && column == 0) {
            threeWhileFivePaints = qTac::backColour(f.w.CMD[3]);
            fiveWhileFivePaints = qTac::backColour(f.w.CMD[5]);
        }
    });
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);
    QCOMPARE(threeWhileFivePaints, kGrey);
    QCOMPARE(fiveWhileFivePaints, kOrange);
    for (int b = 0; b < glimra::kPatternCount; ++b)
        QCOMPARE(qTac::backColour(f.w.CMD[b]), b == 5 ? kOrange : kGrey);
}

void TestWindowRender::nestedRenderPaintsThenOuterResumes()
{
    const Texts outerTexts{"1", "1", "50", "1", "150"};
    const Texts innerTexts{"1", "1", "30", "0.5", "150"};
    const QImage outer = reference("dune", outerTexts);
    const QImage inner = reference("dune", innerTexts);
    QVERIFY(!outer.isNull() && !inner.isNull());

    Fixture f;
    setTexts(f.w, outerTexts);
    QImage whenInnerEnded;
    record(f, [&](int level, long column) {
        if (level == 1 && column == 9) {
            // The running render read its texts at its start; these are for
            // the second one only.
            setTexts(f.w, innerTexts);
            postClick(f.w.CMD[3]);
        }
        if (level == 2 && column == 29)
            whenInnerEnded = f.w.canvas().copy();
    });
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);

    QCOMPARE(f.log, columns(1, 0, 9) + columns(2, 0, 29) + columns(1, 10, 49));
    QCOMPARE(f.w.renderDepth(), 0);
    // The inner picture whole, over the first ten outer columns ...
    QString diff = difference(whenInnerEnded, laidOver(laidOver(blankCanvas(), outer, QRect(0, 0, 10, 50)), inner));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    // ... then the outer painted its remaining columns over it.
    diff = difference(f.w.canvas(), laidOver(laidOver(blankCanvas(), outer), inner, QRect(0, 0, 10, 30)));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void TestWindowRender::haltDuringNestingEndsEveryLevel()
{
    Fixture f;
    setTexts(f.w, {"1", "1", "40", "1", "150"});
    record(f, [&](int level, long column) {
        if (level < 3 && column == 4)
            postClick(f.w.CMD[3]);
        if (level == 3 && column == 2)
            postClick(f.w.cmdstop);
    });
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);
    QCOMPARE(f.log, columns(1, 0, 4) + columns(2, 0, 4) + columns(3, 0, 2));
    QCOMPARE(f.w.renderDepth(), 0);
    QCOMPARE(f.w.HaltFlag, QString("p"));
}

void TestWindowRender::nestingStopsAtSixteenLevels()
{
    Fixture f;
    setTexts(f.w, {"1", "1", "3", "1", "150"});
    int deepest = 0;
    record(f, [&](int level, long column) {
        deepest = std::max(deepest, level);
        if (column == 0)
            postClick(f.w.CMD[3]);  // every level asks for one more
    });
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);
    QCOMPARE(deepest, 16);
    // Each of the sixteen levels painted its three columns; the click at the
    // sixteenth level started nothing.
    Log expected;
    for (int level = 1; level <= 16; ++level)
        expected = expected + columns(level, 0, 0);
    for (int level = 16; level >= 1; --level)
        expected = expected + columns(level, 1, 2);
    QCOMPARE(f.log, expected);
    QCOMPARE(f.w.renderDepth(), 0);
}

// What the screen shows (the window's backing store), not what the Canvas
// holds: a picture is on screen while it grows, within 100 ms of the click.
void TestWindowRender::pictureGrowsVisibly()
{
    Fixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    setTexts(f.w, Texts{"1", "1", "768", "0.15", "150"});
    QElapsedTimer sinceClick;
    QImage shown;
    long columnThen = -1;
    f.w.columnPainted = [&](int, long column) {
        if (shown.isNull() && sinceClick.elapsed() >= 100) {
            shown = f.w.screen()->grabWindow(f.w.winId()).toImage().convertToFormat(QImage::Format_RGB32);
            columnThen = column;
        }
    };
    sinceClick.start();
    f.w.CMD_Click(15);  // qwin: slow enough to be caught growing
    if (shown.isNull())
        QSKIP("the whole picture took less than 100 ms here");
    QVERIFY2(columnThen < 1023, "the render had ended");
    int painted = 0;
    for (int x = kLeft; x < kLeft + 1024; x += 8)
        painted += shown.pixelColor(x, kTop + 300) != kBackground;
    QVERIFY2(painted > 0, qPrintable(QString("nothing on screen after %1 columns").arg(columnThen + 1)));
    QVERIFY2(painted < 128, "the whole picture was on screen");
}

QTEST_MAIN(TestWindowRender)
#include "test_window_render.moc"
