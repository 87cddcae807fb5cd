// The window under load: its memory over a thousand renders, and a seeded storm
// of user actions delivered through the event queue while renders run (and
// nest), after which the window must still be sound. The seed is printed; set
// GLIMRA_STORM_SEED to replay another one.
#include "test_window_support.h"

#include "render/numtext.h"
#include "window/application.h"
#include "window/qtac.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QPixmapCache>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#if defined(GLIMRA_ASAN)
// The sanitizer runtime's count of the bytes it has handed out (GCC installs
// no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

using namespace support;

namespace {

constexpr std::size_t kMiB = 1024 * 1024;

unsigned stormSeed()
{
    bool ok = false;
    const unsigned seed = qEnvironmentVariable("GLIMRA_STORM_SEED").toUInt(&ok);
    return ok ? seed : 20261208u;
}

// Bytes the program holds on the heap right now (the sanitizer's allocator
// replaces malloc's in the sanitizer build).
std::size_t heapInUse()
{
#if defined(GLIMRA_ASAN)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
#endif
}

double residentMiB()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096 / double(kMiB) : 0;
}

double mib(std::size_t bytes) { return double(bytes) / double(kMiB); }

// Grows by `after - before`, in MiB, also when it shrank.
double growthMiB(std::size_t before, std::size_t after) { return (double(after) - double(before)) / double(kMiB); }

// The user's hands: random actions on the window's controls, each delivered as
// the window system would deliver it, through the event queue.
class Storm {
public:
    enum Allow { Everything, NoHaltsNoPatterns };

    Storm(qTac& w, unsigned seed) : w_(w), random_(seed)
    {
        for (QLineEdit* box : boxes())
            QObject::connect(box, &QLineEdit::textEdited, [this, box](const QString& t) { typed_[box] = t; });
    }

    std::array<QLineEdit*, 5> boxes() const { return {w_.TextOne, w_.TextTwo, w_.TextThree, w_.TextFour, w_.Textfive}; }

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    // Queues one action.
    void act(Allow allow = Everything)
    {
        ++actions;
        if (minimized_) {
            // Nobody clicks into a minimized window: the next thing is to
            // bring it back, active, as a click on its task-bar entry does.
            QMetaObject::invokeMethod(
                &w_,
                [this] {
                    w_.showNormal();
                    w_.activateWindow();
                },
                Qt::QueuedConnection);
            ++events;
            minimized_ = false;
            return;
        }
        if (gust_ > 0 && allow == Everything) {
            // A run of pattern clicks, one a column: nesting to the limit and past it.
            --gust_;
            click(w_.CMD[std::size_t(pick(glimra::kPatternCount))]);
            return;
        }
        if (allow == Everything && pick(150) == 0)
            gust_ = qTac::kMaxNesting + pick(6);
        const bool all = allow == Everything;
        switch (pick(22)) {
        case 0:
        case 1:
        case 2:
        case 3:
            if (all)
                click(w_.CMD[std::size_t(pick(glimra::kPatternCount))]);
            break;
        case 4:
        case 5:
            if (all)
                click(w_.cmdstop);
            break;
        case 6:
            if (all)
                click(w_.Command3);
            break;
        case 7:
        case 8: click(std::array<QWidget*, 3>{w_.cmd1, w_.cmdb, w_.Command4}[std::size_t(pick(3))]); break;
        case 9:
        case 10:
        case 11: {
            const std::array<QWidget*, 10> adjusters = {w_.cmdblue[0], w_.cmdblue[1], w_.cmdblue[2], w_.cmdblue[3],
                                                        w_.horz[0],    w_.horz[1],    w_.verty[0],   w_.verty[1],
                                                        w_.Label17,    w_.Label8};
            click(adjusters[std::size_t(pick(10))]);
            break;
        }
        case 12:
        case 13: click(w_.cmdXX[std::size_t(pick(4))]); break;
        case 14:
        case 15:
        case 16:
        case 17: type(boxes()[std::size_t(pick(5))]); break;
        case 18:
        case 19:
            if (QWidget* focus = QApplication::focusWidget())
                key(focus, pick(2) ? Qt::Key_Tab : Qt::Key_Backtab, {}, pick(2) ? Qt::NoModifier : Qt::ShiftModifier);
            break;
        case 20:
            // Space on whatever has the focus: a button it clicks may be a
            // pattern or the halt.
            if (QWidget* focus = QApplication::focusWidget(); focus && all)
                key(focus, Qt::Key_Space, QStringLiteral(" "));
            break;
        case 21:
            click(w_.Label7);
            minimized_ = true;
            break;
        }
    }

    // Whether a box holds what a handler could have written there: the text
    // last typed into it, or the text form of a number.
    QString unexplained() const
    {
        for (QLineEdit* box : boxes()) {
            const QString t = box->text();
            const auto last = typed_.find(box);
            if (last != typed_.end() && last->second == t)
                continue;
            const std::string s = t.toStdString();
            if (glimra::Text(glimra::Val(s)) != s)
                return box->objectName() + " holds \"" + t + "\"";
        }
        return {};
    }

    long actions = 0;
    long events = 0;

private:
    void click(QWidget* control)
    {
        postClick(control);
        events += 2;
    }

    void key(QWidget* target, int code, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, code, modifiers, text));
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, code, modifiers, text));
        events += 2;
    }

    // Clicks into a box (it takes the focus) and types a few keys: numbers,
    // letters the reading knows, others it does not, and editing keys.
    void type(QLineEdit* box)
    {
        click(box);
        static const QString keys = QStringLiteral("0123456789.-+eEdD&HhOo x,;\u00e4");
        for (int n = 1 + pick(6); n > 0; --n) {
            switch (pick(12)) {
            case 0: key(box, Qt::Key_Backspace, {}); break;
            case 1:
                key(box, Qt::Key_A, {}, Qt::ControlModifier);  // select all: the next key replaces it
                break;
            case 2: key(box, pick(2) ? Qt::Key_Home : Qt::Key_End, {}); break;
            default: {
                const QChar c = keys[pick(int(keys.size()))];
                key(box, c.unicode() < 128 ? c.toUpper().unicode() : int(Qt::Key_unknown), QString(c));
            }
            }
        }
    }

    qTac& w_;
    std::mt19937 random_;
    int gust_ = 0;
    bool minimized_ = false;
    std::map<const QLineEdit*, QString> typed_;
};

// The exit labels, clicked at the deepest nesting while the storm blows: the
// child prints the depth it reached and must end right there with status 0.
int runExitChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    glimra::prepareApplication(app);
    qTac w;
    w.show();
    setTexts(w, {"1", "1", "40", "1", "150"});
    Storm storm(w, stormSeed());
    QWidget* exitLabel = w.findChild<QWidget*>(QString::fromLatin1(argc > 2 ? argv[2] : ""));
    w.columnPainted = [&](int level, long column) {
        storm.act(Storm::NoHaltsNoPatterns);
        if (level < qTac::kMaxNesting && column == 0)
            postClick(w.CMD[std::size_t(storm.pick(glimra::kPatternCount))]);
        if (level == qTac::kMaxNesting && column == 0 && exitLabel) {
            std::printf("deepest %d\n", level);
            std::fflush(stdout);
            postClick(exitLabel);
        }
    };
    w.CMD[3]->click();
    std::printf("render returned\n");
    return 3;
}

}  // namespace

class TestWindowStorm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void memoryFlatOverThousandRenders();
    void storm();
    void sizeCheckedWhenClickedWhileInactive();
    void exitAtDeepestNesting_data();
    void exitAtDeepestNesting();
};

void TestWindowStorm::initTestCase()
{
    glimra::prepareApplication(*qApp);
    qInfo("seed %u", stormSeed());
}

void TestWindowStorm::memoryFlatOverThousandRenders()
{
    qTac w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    std::mt19937 random(stormSeed());
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };

    // What one render does besides painting: a halt at a column, a second
    // render nested in it at a column, or both (the halt then in the inner).
    struct Plan {
        long halt = -1, nest = -1;
        int inner = 0;
    } plan;
    long renders = 0;
    w.columnPainted = [&](int level, long column) {
        if (column == 0)
            ++renders;
        if (level == 1 && column == plan.nest)
            postClick(w.CMD[std::size_t(plan.inner)]);
        if (level == (plan.nest >= 0 ? 2 : 1) && column == plan.halt)
            postClick(w.cmdstop);
    };
    const QString sizes[] = {"1", "2", "3", "8", "768"};
    auto render = [&] {
        const QString size = sizes[pick(5)];
        w.TextThree->setText(size);
        plan = {};
        if (pick(3) == 0 || size == "768")  // of a large picture only a column or two
            plan.halt = pick(2);
        if (pick(3) == 0) {
            plan.nest = pick(2);
            plan.inner = pick(glimra::kPatternCount);
        }
        QTest::mouseClick(w.CMD[std::size_t(pick(glimra::kPatternCount))], Qt::LeftButton);
        QCoreApplication::processEvents();
    };

    for (int k = 0; k < 20; ++k)
        render();
    const std::size_t heapBefore = heapInUse();
    const double residentBefore = residentMiB();
    renders = 0;
    for (int k = 0; k < 1000; ++k)
        render();
    const std::size_t heapAfter = heapInUse();
    QPixmapCache::clear();
    const std::size_t heapCacheCleared = heapInUse();
    qInfo(
        "%ld renders after 20: heap %.2f -> %.2f MiB (%.2f MiB with the pixmap cache cleared), resident %.1f -> "
        "%.1f MiB",
        renders, mib(heapBefore), mib(heapAfter), mib(heapCacheCleared), residentBefore, residentMiB());
    QVERIFY(renders >= 1000);
    QVERIFY2(growthMiB(heapBefore, heapAfter) < 1.0,
             qPrintable(QString("grew by %1 MiB").arg(growthMiB(heapBefore, heapAfter))));
}

void TestWindowStorm::storm()
{
    constexpr long kActions = 4000;
    constexpr long kWarmUp = 400;
    constexpr int kSlowest = 15;  // qwin, the slowest pattern at size 768

    qTac w;
    w.setProgramEnder([] { QFAIL("nothing in the storm ends the program"); });
    // The focus may come to the web-address button; a browser that starts
    // leaves no message box to wait for an answer.
    w.setBrowserStarter([](const QString&) { return true; });
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    Storm storm(w, stormSeed());

    // A halt clicked just as a column of qwin at 768 begins, the worst moment:
    // it is queued from the yield before that column (so it waits through the
    // whole column) and the render must end after it.
    struct Probe {
        bool on = false;
        long column = 0;  // the halt is queued in the yield after this column
        long last = -1;   // the last column painted
        qint64 queuedNs = 0;
    } probe;
    QElapsedTimer clock;
    clock.start();
    std::vector<double> haltMs;

    int deepest = 0;
    int refused = 0;  // pattern clicks at the deepest nesting, which start nothing
    for (QPushButton* b : w.CMD)
        connect(b, &QPushButton::clicked, [&] { refused += w.renderDepth() == qTac::kMaxNesting; });
    bool finishing = false;
    w.columnPainted = [&](int level, long column) {
        deepest = std::max(deepest, level);
        if (finishing) {
            postClick(w.cmdstop);
            return;
        }
        if (!probe.on) {
            storm.act();
            if (storm.pick(2))
                storm.act();
            return;
        }
        probe.last = column;
        if (column < probe.column)
            storm.act(Storm::NoHaltsNoPatterns);
        else if (column == probe.column)
            QMetaObject::invokeMethod(
                &w,
                [&] {
                    probe.queuedNs = clock.nsecsElapsed();
                    postClick(w.cmdstop);
                },
                Qt::QueuedConnection);
    };

    std::size_t heapBefore = 0;
    for (int round = 0; storm.actions < kActions; ++round) {
        if (!heapBefore && storm.actions >= kWarmUp)
            heapBefore = heapInUse();
        if (round % 10 == 9) {
            // Offsets the storm typed may be beyond what a scan can run
            // through: reset them first, then 1024 x 768.
            QTest::mouseClick(w.Command3, Qt::LeftButton);
            QTest::mouseClick(w.Command4, Qt::LeftButton);
            probe = {true, 1 + storm.pick(40)};
            QTest::mouseClick(w.CMD[kSlowest], Qt::LeftButton);
            const double ms = double(clock.nsecsElapsed() - probe.queuedNs) / 1e6;
            probe.on = false;
            QCOMPARE(probe.last, probe.column + 1);
            haltMs.push_back(ms);
        } else {
            QTest::mouseClick(w.CMD[std::size_t(storm.pick(glimra::kPatternCount))], Qt::LeftButton);
        }
        QCoreApplication::processEvents();  // what the last yields left queued
    }
    // Calm: whatever the queue still holds runs, every render it starts halts.
    finishing = true;
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    if (w.isMinimized()) {
        w.showNormal();
        w.activateWindow();
    }
    QVERIFY(QTest::qWaitForWindowActive(&w));
    const std::size_t heapAfter = heapInUse();
    std::sort(haltMs.begin(), haltMs.end());
    qInfo(
        "storm: %ld actions, %ld events, deepest nesting %d (%d clicks beyond it), halts of qwin at 768: median "
        "%.1f ms, worst %.1f ms of %zu; heap %.2f -> %.2f MiB",
        storm.actions, storm.events, deepest, refused, haltMs[haltMs.size() / 2], haltMs.back(), haltMs.size(),
        mib(heapBefore), mib(heapAfter));

    QCOMPARE(w.renderDepth(), 0);
    QCOMPARE(deepest, qTac::kMaxNesting);
    QVERIFY(refused > 0);
    QVERIFY2(w.HaltFlag.isEmpty() || w.HaltFlag == "p", qPrintable(w.HaltFlag));
    const QString odd = storm.unexplained();
    QVERIFY2(odd.isEmpty(), qPrintable(odd));
    QVERIFY2(growthMiB(heapBefore, heapAfter) < 1.0,
             qPrintable(QString("grew by %1 MiB").arg(growthMiB(heapBefore, heapAfter))));

    // The window still answers: a click paints what glimra-render paints for
    // the boxes the storm left (a small size, so that it is quick).
    w.columnPainted = nullptr;
    if (glimra::Val(w.TextThree->text().toStdString()) > 64) {
        QTest::mouseClick(w.TextThree, Qt::LeftButton);
        QTest::keyClick(w.TextThree, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(w.TextThree, "48");
    }
    const int k = storm.pick(glimra::kPatternCount);
    QTest::mouseClick(w.CMD[std::size_t(k)], Qt::LeftButton);
    const Texts texts{w.TextOne->text(), w.TextTwo->text(), w.TextThree->text(), w.TextFour->text(),
                      w.Textfive->text()};
    qInfo() << "afterwards pattern" << k << "with" << support::texts(w);
    QString failure;
    const QImage picture = reference(QString::number(k), texts, &failure);
    QVERIFY2(!picture.isNull(), qPrintable(failure));
    const QString diff = difference(w.canvas().copy(kLeft, kTop, picture.width(), picture.height()), picture);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QCOMPARE(qTac::backColour(w.CMD[std::size_t(k)]), kOrange);
}

void TestWindowStorm::sizeCheckedWhenClickedWhileInactive()
{
    // Found by the storm: a click on a window that is not active moves the
    // focus without a focus event, and a pattern painted 1500 rows.
    qTac w;
    w.Timer1->stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(w.TextThree, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(w.TextThree, "1500");
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QCOMPARE(w.TextThree->text(), QString("1500"));  // another application is no other control
    long columns = 0;
    w.columnPainted = [&](int, long) { ++columns; };
    QTest::mouseClick(w.CMD[3], Qt::LeftButton);
    QCOMPARE(w.TextThree->text(), QString("100"));
    QCOMPARE(columns, 100L);
}

void TestWindowStorm::exitAtDeepestNesting_data()
{
    QTest::addColumn<QString>("label");
    QTest::newRow("x") << "Label1";
    QTest::newRow("exit") << "Label2";
    QTest::newRow("<") << "Label4";
}

void TestWindowStorm::exitAtDeepestNesting()
{
    QFETCH(QString, label);
    const ChildRun child = runExitChild(label);
    QVERIFY(child.finished);
    QVERIFY(child.normalExit);
    QCOMPARE(child.exitCode, 0);
    QCOMPARE(child.out, QString("deepest %1\n").arg(qTac::kMaxNesting));
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--exit-child") == 0)
        return runExitChild(argc, argv);
    QApplication app(argc, argv);
    TestWindowStorm test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_window_storm.moc"
