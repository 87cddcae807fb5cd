// Ending the program in the middle of a render. The window runs in a child
// process (this same program started with --exit-child), which reports every
// painted column on its standard output; the exit must end it right after the
// column during which the click was handled, with status 0.
#include "test_window_support.h"

#include "window/application.h"
#include "window/qtac.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <cstring>

namespace {

constexpr long kExitColumn = 4;  // 0-based column after which the exit is handled

// The child: a 1024 x 768 render; after column kExitColumn the given way of
// ending the program is queued.
int runChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    glimra::prepareApplication(app);
    const QString how = argc > 2 ? QString::fromLatin1(argv[2]) : QString();
    qTac w;
    w.show();
    support::setTexts(w, {"1", "1", "768", "0.15", "150"});
    // The slowest columns a place can ask for: the largest size, at a zoom
    // whose numbers are all subnormal.
    const bool slow = how.endsWith("-slow");
    int button = 3;
    QElapsedTimer asked;
    if (slow) {
        support::setTexts(w, {"1", "1", "1024", "1e-315", "150"});
        button = 17;
        w.setProgramEnder([&] {
            std::printf("ended %lld ms after the exit was asked\n", qint64(asked.elapsed()));
            endProgramAtOnce();
        });
    }
    w.columnPainted = [&](int level, long column) {
        std::printf("column %d %ld\n", level, column);
        std::fflush(stdout);
        if (column != kExitColumn)
            return;
        asked.start();
        if (how == "close")
            QMetaObject::invokeMethod(&w, "close", Qt::QueuedConnection);  // as the system closes a window
        else if (how == "Ctrl+Q-slow")
            QTimer::singleShot(0, &w, [&w] { QTest::keyClick(w.CMD[3], Qt::Key_Q, Qt::ControlModifier); });
        else if (QWidget* label = w.findChild<QWidget*>(how))
            support::postClick(label);
    };
    w.CMD[std::size_t(button)]->click();
    std::printf("render returned\n");
    return 3;
}

}  // namespace

class TestWindowExit : public QObject {
    Q_OBJECT
private slots:
    void exitDuringRender_data();
    void exitDuringRender();
};

void TestWindowExit::exitDuringRender_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("x") << "Label1";
    QTest::newRow("exit") << "Label2";
    QTest::newRow("<") << "Label4";
    QTest::newRow("window closed") << "close";
    QTest::newRow("Ctrl+Q, sizzle 1024 at zoom 1e-315") << "Ctrl+Q-slow";
}

void TestWindowExit::exitDuringRender()
{
    QFETCH(QString, how);
    const support::ChildRun child = support::runExitChild(how);
    QVERIFY(child.finished);
    QVERIFY(child.normalExit);
    QCOMPARE(child.exitCode, 0);

    QStringList expected;
    for (long c = 0; c <= kExitColumn; ++c)
        expected << QString("column 1 %1").arg(c);
    QStringList lines = child.out.split('\n', Qt::SkipEmptyParts);
    if (how.endsWith("-slow")) {
        QVERIFY2(!lines.isEmpty(), qPrintable(child.out));
        const QRegularExpressionMatch ended =
            QRegularExpression("^ended (\\d+) ms after the exit was asked$").match(lines.takeLast());
        QVERIFY2(ended.hasMatch(), qPrintable(child.out));
        QVERIFY2(ended.captured(1).toLong() < 1000, qPrintable(child.out));
    }
    QCOMPARE(lines, expected);
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--exit-child") == 0)
        return runChild(argc, argv);
    QApplication app(argc, argv);
    TestWindowExit test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_window_exit.moc"
