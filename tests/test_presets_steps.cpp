// Presets, adjusters, the size check and the zoom-and-move steps: what each
// click writes into the five boxes, and how they behave during a render.
#include "test_window_support.h"

#include "window/application.h"
#include "window/qtac.h"

#include <QApplication>
#include <QPushButton>
#include <QtTest>

using namespace support;

class TestPresetsSteps : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void clicksRewriteBoxes_data();
    void clicksRewriteBoxes();
    void sizeCheckOnLeavingTheBox_data();
    void sizeCheckOnLeavingTheBox();
    void zoomLabelsLeaveSizeBoxAlone();
    void resetDuringRender();
    void clicksDuringRenderLeavePictureAlone();
};

void TestPresetsSteps::initTestCase() { glimra::prepareApplication(*qApp); }

void TestPresetsSteps::clicksRewriteBoxes_data()
{
    QTest::addColumn<Texts>("before");
    QTest::addColumn<QStringList>("clicks");  // object names, clicked in turn
    QTest::addColumn<Texts>("after");

    const Texts start;  // "1", "1", "150", "1", "150"
    const Texts medium{"150", "200", "600", "0.2", "150"};
    auto row = [](const char* name, Texts before, QStringList clicks, Texts after) {
        QTest::newRow(name) << before << clicks << after;
    };

    // presets
    row("S", start, {"cmd1"}, {"1", "1", "300", "1", "150"});
    row("M", start, {"cmdb"}, medium);
    row("M then L", start, {"cmdb", "Command4"}, {"150", "200", "768", "0.15", "150"});
    row("reset", {"5", "6", "7", "8", "9"}, {"Command3"}, {"1", "1", "100", "1", "150"});

    // adjusters: lenient reading, double arithmetic, text form
    row("horz < on 100", {"100", "1", "150", "1", "150"}, {"horz(1)"}, {"-150", "1", "150", "1", "150"});
    row("horz > on 100", {"100", "1", "150", "1", "150"}, {"horz(0)"}, {"350", "1", "150", "1", "150"});
    row("verty V and ^", start, {"verty(0)", "verty(0)", "verty(1)"}, {"1", "251", "150", "1", "150"});
    row("cmdblue / on 1", start, {"cmdblue(1)"}, {"1", "0.5", "150", "1", "150"});
    row("cmdblue / on 0.5", {"1", "0.5", "150", "1", "150"}, {"cmdblue(1)"}, {"1", "0.25", "150", "1", "150"});
    row("cmdblue x on TextTwo", {"1", "0.25", "150", "1", "150"}, {"cmdblue(0)"}, {"1", "0.5", "150", "1", "150"});
    row("cmdblue x and / on TextOne", {"150", "1", "150", "1", "150"}, {"cmdblue(2)", "cmdblue(3)", "cmdblue(3)"},
        {"75", "1", "150", "1", "150"});
    row("X halves, OOM doubles", {"1", "1", "150", "0.2", "150"}, {"Label17", "Label8"},
        {"1", "1", "150", "0.2", "150"});
    row("OOM on 0.2", {"1", "1", "150", "0.2", "150"}, {"Label8"}, {"1", "1", "150", "0.4", "150"});
    row("X on an empty zoom", {"1", "1", "150", "", "150"}, {"Label17"}, {"1", "1", "150", "0", "150"});
    row("move on a non-number", {"abc", "1", "150", "1", "150"}, {"horz(0)"}, {"250", "1", "150", "1", "150"});
    row("doubling past the double range", {"1", "1.5e308", "150", "1.7e308", "150"}, {"cmdblue(0)", "Label8"},
        {"1", "1.5e308", "150", "1.7e308", "150"});

    // steps
    row("step << on the medium values", medium, {"cmdXX(3)"}, {"950", "800", "600", "0.4", "150"});
    row("step << then >> gives them back", medium, {"cmdXX(3)", "cmdXX(2)"}, medium);
    row("size 768 steps by 1024 and 768", {"0", "0", "768", "1", "150"}, {"cmdXX(3)"},
        {"1024", "768", "768", "2", "150"});
    row("size 768 back", {"0", "0", "768", "1", "150"}, {"cmdXX(2)"}, {"-1024", "-768", "768", "0.5", "150"});
    row("size 100.5 rounds to 100", {"0", "0", "100.5", "1", "150"}, {"cmdXX(3)"}, {"100", "100", "100.5", "2", "150"});
    row("size 101.5 rounds to 102", {"0", "0", "101.5", "1", "150"}, {"cmdXX(3)"}, {"102", "102", "101.5", "2", "150"});
    row("0.3 doubled", {"1", "1", "150", "0.3", "150"}, {"cmdXX(0)"}, {"1", "1", "150", "0.6", "150"});
    row("0.3 doubled and halved", {"1", "1", "150", "0.3", "150"}, {"cmdXX(0)", "cmdXX(1)"},
        {"1", "1", "150", "0.3", "150"});
    row("empty zoom doubled", {"1", "1", "150", "", "150"}, {"cmdXX(0)"}, {"1", "1", "150", "0", "150"});
    row("empty zoom halved", {"1", "1", "150", "", "150"}, {"cmdXX(1)"}, {"1", "1", "150", "0", "150"});
    row("zoom read leniently by a moving step", {"0", "0", "300", "abc", "150"}, {"cmdXX(3)"},
        {"300", "300", "300", "0", "150"});
    row("TextOne not a number as a whole", {"12x", "200", "600", "0.2", "150"}, {"cmdXX(3)"},
        {"12x", "200", "600", "0.2", "150"});
    row("TextTwo empty", {"150", "", "600", "0.2", "150"}, {"cmdXX(2)"}, {"150", "", "600", "0.2", "150"});
    row("size beyond 16 bits", {"150", "200", "40000", "0.2", "150"}, {"cmdXX(0)", "cmdXX(3)"},
        {"150", "200", "40000", "0.2", "150"});
    row("zoom doubled past the double range", {"150", "200", "600", "1e308", "150"}, {"cmdXX(3)", "cmdXX(0)"},
        {"150", "200", "600", "1e308", "150"});
}

void TestPresetsSteps::clicksRewriteBoxes()
{
    QFETCH(Texts, before);
    QFETCH(QStringList, clicks);
    QFETCH(Texts, after);

    qTac w;
    w.Timer1->stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    // Away from the size box first: its own check is tested on its own.
    w.Textfive->setFocus();
    setTexts(w, before);
    const QImage picture = w.canvas();
    for (const QString& name : clicks) {
        QWidget* control = w.findChild<QWidget*>(name);
        QVERIFY2(control, qPrintable(name));
        QTest::mouseClick(control, Qt::LeftButton);
    }
    const QStringList expected{after.x, after.y, after.size, after.zoom, after.bright};
    QCOMPARE(texts(w), expected);
    // Only the reset halts and clears; nothing here paints.
    QCOMPARE(w.HaltFlag, clicks.contains("Command3") ? QString("p") : QString());
    QCOMPARE(w.canvas(), picture);
}

void TestPresetsSteps::sizeCheckOnLeavingTheBox_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("2000") << "2000"
                          << "100";
    QTest::newRow("1024") << "1024"
                          << "1024";
    QTest::newRow("1025") << "1025"
                          << "100";
    QTest::newRow("0.5") << "0.5"
                         << "100";
    QTest::newRow("abc") << "abc"
                         << "100";
    QTest::newRow("empty") << ""
                           << "100";
    QTest::newRow("-5") << "-5"
                        << "100";
    QTest::newRow("1") << "1"
                       << "1";
    QTest::newRow("1.5") << "1.5"
                         << "1.5";
    QTest::newRow("99.9") << "99.9"
                          << "99.9";
}

void TestPresetsSteps::sizeCheckOnLeavingTheBox()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    qTac w;
    w.Timer1->stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.TextThree));
    w.TextThree->selectAll();
    QTest::keyClicks(w.TextThree, typed);
    QTest::keyClick(w.TextThree, Qt::Key_Backspace);  // typing as a user would, with a slip
    QTest::keyClicks(w.TextThree, typed.right(1));
    QCOMPARE(w.TextThree->text(), typed);
    QTest::keyClick(w.TextThree, Qt::Key_Tab);
    QCOMPARE(w.TextThree->text(), kept);
    // Leaving by a click on a button checks it the same way.
    w.TextThree->setFocus();
    w.TextThree->setText(typed);
    QTest::mouseClick(w.cmdstop, Qt::LeftButton);
    QCOMPARE(w.TextThree->text(), kept);
}

void TestPresetsSteps::zoomLabelsLeaveSizeBoxAlone()
{
    qTac w;
    w.Timer1->stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.TextThree->setText("2000");
    QTest::mouseClick(w.Label17, Qt::LeftButton);
    QTest::mouseClick(w.Label17, Qt::LeftButton);
    QTest::mouseClick(w.Label8, Qt::LeftButton);
    QCOMPARE(w.TextFour->text(), QString("0.5"));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.TextThree));
    QCOMPARE(w.TextThree->text(), QString("2000"));
    // Switching to another window is not leaving the box either.
    QVERIFY(support::switchAwayAndBack(w));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.TextThree));
    QCOMPARE(w.TextThree->text(), QString("2000"));
    QTest::mouseClick(w.TextOne, Qt::LeftButton);
    QCOMPARE(w.TextThree->text(), QString("100"));
}

void TestPresetsSteps::resetDuringRender()
{
    qTac w;
    w.Timer1->stop();
    w.show();
    setTexts(w, {"1", "1", "30", "1", "150"});
    QTest::mouseClick(w.CMD[3], Qt::LeftButton);  // an old picture for the reset to take away
    QVERIFY(w.canvas() != blankCanvas());

    setTexts(w, {"1", "1", "40", "0.5", "150"});
    std::vector<long> painted;
    w.columnPainted = [&](int, long column) {
        painted.push_back(column);
        if (column == 7)
            postClick(w.Command3);
    };
    QTest::mouseClick(w.CMD[3], Qt::LeftButton);
    QCOMPARE(painted.size(), std::size_t(8));  // stopped after the column that was being painted
    QCOMPARE(painted.back(), 7L);
    QCOMPARE(texts(w), QStringList({"1", "1", "100", "1", "150"}));
    QCOMPARE(w.HaltFlag, QString("p"));
    const QString diff = difference(w.canvas(), blankCanvas());
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    // The next pattern click paints normally, with the reset values.
    painted.clear();
    w.columnPainted = [&](int, long column) { painted.push_back(column); };
    QTest::mouseClick(w.CMD[3], Qt::LeftButton);
    QCOMPARE(painted.size(), std::size_t(100));
    QCOMPARE(w.canvas().pixelColor(161, 51), QColor(2, 4, 8));
}

void TestPresetsSteps::clicksDuringRenderLeavePictureAlone()
{
    const Texts texts0{"1", "1", "40", "1", "150"};
    const QImage undisturbed = reference("dune", texts0);
    QVERIFY(!undisturbed.isNull());

    qTac w;
    w.Timer1->stop();
    w.show();
    setTexts(w, texts0);
    const QStringList clicks = {"cmdb", "cmdXX(3)", "Command4", "horz(0)", "Label8", "cmdblue(1)", "cmdXX(1)"};
    long painted = 0;
    w.columnPainted = [&](int level, long column) {
        QVERIFY(level == 1);
        ++painted;
        if (column % 5 == 0 && column / 5 < clicks.size())
            postClick(w.findChild<QWidget*>(clicks[column / 5]));
    };
    QTest::mouseClick(w.CMD[3], Qt::LeftButton);
    QCOMPARE(painted, 40L);
    const QString diff = difference(w.canvas(), laidOver(blankCanvas(), undisturbed));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    // M: 150, 200, 600, 0.2; <<: 950, 800, zoom 0.4; L: 768, 0.15; >: 1200;
    // OOM: 0.3; / on TextTwo: 400; > zoom step: 0.15.
    QCOMPARE(support::texts(w), QStringList({"1200", "400", "768", "0.15", "150"}));
}

QTEST_MAIN(TestPresetsSteps)
#include "test_presets_steps.moc"
