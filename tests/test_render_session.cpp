// The render session on its own Canvas: nesting, halts, the start that waits
// for running renders, how a render ended; and a pattern of no button started
// through the window.
#include "test_window_support.h"

#include "patterns/patterns.h"
#include "window/application.h"
#include "window/canvas.h"
#include "window/render_session.h"

#include <QApplication>
#include <QPushButton>

#include <functional>
#include <string>

using namespace support;

namespace {

glimra::PatternTexts sized(std::string size, std::string x = "1", std::string zoom = "1")
{
    return glimra::PatternTexts{std::move(x), "1", std::move(size), std::move(zoom), "150"};
}

const glimra::Pattern& dune() { return *glimra::findPattern("dune"); }

// dune under a name of its own, as a pattern from outside the button table.
const glimra::Pattern& sketch()
{
    static const glimra::Pattern pattern = [] {
        glimra::Pattern p = dune();
        p.name = "sketch";
        return p;
    }();
    return pattern;
}

// A session on a Canvas of the window's size, and what it told: a line per
// start ("start LEVEL PATTERN SIZE at depth D #TICKET") and end ("end LEVEL
// HOW COLUMNS at depth D"), and the level of each painted column.
struct Fixture {
    Canvas canvas{nullptr, QSize(qTac::kClientWidth, qTac::kClientHeight), kBackground};
    RenderSession session{canvas};
    QStringList told;
    QString trace;
    std::function<void(int level, long column)> onColumn;

    Fixture()
    {
        using glimra::Pattern, glimra::PatternTexts, glimra::RenderResult;
        QObject::connect(&session, &RenderSession::started,
                         [this](const Pattern& p, const PatternTexts& t, int level, quint64 ticket) {
                             told << QStringLiteral("start %1 %2 %3 at depth %4 #%5")
                                         .arg(level)
                                         .arg(p.name, QString::fromStdString(t.size))
                                         .arg(session.depth())
                                         .arg(ticket);
                         });
        QObject::connect(&session, &RenderSession::columnPainted, [this](int level, long column) {
            trace += QString::number(level);
            if (onColumn)
                onColumn(level, column);
        });
        QObject::connect(&session, &RenderSession::ended, [this](const RenderResult& r, int level) {
            static const char* const how[] = {"completed", "halted", "faulted", "refused"};
            told << QStringLiteral("end %1 %2 %3 at depth %4")
                        .arg(level)
                        .arg(how[int(r.outcome)])
                        .arg(r.columns)
                        .arg(session.depth());
        });
    }

    // As a click comes: handled at the running render's next yield.
    void soon(std::function<void()> what)
    {
        QMetaObject::invokeMethod(&session, std::move(what), Qt::QueuedConnection);
    }
};

}  // namespace

class TestRenderSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { glimra::prepareApplication(*qApp); }

    // A start during a render paints its whole picture inside it; the
    // interrupted render goes on with its next column.
    void startDuringRenderNests()
    {
        Fixture f;
        f.onColumn = [&](int level, long column) {
            if (level == 1 && column == 4)
                f.soon([&] { QVERIFY(f.session.start(sketch(), sized("6"))); });
        };
        QVERIFY(f.session.start(dune(), sized("10")));
        QCOMPARE(f.told, (QStringList{"start 1 dune 10 at depth 0 #0", "start 2 sketch 6 at depth 1 #0",
                                      "end 2 completed 6 at depth 1", "end 1 completed 10 at depth 0"}));
        QCOMPARE(f.trace, QString("11111"
                                  "222222"
                                  "11111"));
    }

    void endedTellsHow_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("zoom");
        QTest::addColumn<int>("haltAt");  // the column during which halt() comes; -2: before the start
        QTest::addColumn<QString>("ending");
        QTest::newRow("completed") << "1"
                                   << "1" << -1 << "end 1 completed 12 at depth 0";
        QTest::newRow("halted after its column") << "1"
                                                 << "1" << 4 << "end 1 halted 5 at depth 0";
        QTest::newRow("earlier halt cleared") << "1"
                                              << "1" << -2 << "end 1 completed 12 at depth 0";
        QTest::newRow("faulted") << "1"
                                 << "1e308" << -1 << "end 1 faulted 0 at depth 0";
        QTest::newRow("refused") << "1e16"
                                 << "1" << -1 << "end 1 refused 0 at depth 0";
    }
    void endedTellsHow()
    {
        QFETCH(QString, x);
        QFETCH(QString, zoom);
        QFETCH(int, haltAt);
        QFETCH(QString, ending);
        Fixture f;
        QVERIFY(!f.session.lastOutcome());
        if (haltAt == -2)
            f.session.halt();
        f.onColumn = [&](int, long column) {
            if (column == haltAt)
                f.soon([&] { f.session.halt(); });
        };
        QVERIFY(f.session.start(dune(), sized("12", x.toStdString(), zoom.toStdString())));
        QCOMPARE(f.told.size(), 2);
        QCOMPARE(f.told.back(), ending);
        const QStringList how{"completed", "halted", "faulted", "refused"};
        QCOMPARE(int(*f.session.lastOutcome()), int(how.indexOf(ending.section(u' ', 2, 2))));
    }

    // A halt in nested renders stops the innermost after its column, and each
    // one it interrupted at its own next check. As the design's text, "p" asks
    // for it and any other text is none.
    void haltStopsEveryNestedRender()
    {
        Fixture f;
        RenderSession* const session = &f.session;
        HaltText flag(session);
        f.onColumn = [&](int level, long column) {
            if (level == 1 && column == 3)
                f.soon([&] { f.session.start(sketch(), sized("10")); });
            if (level == 2 && column == 2)
                f.soon([&] { flag = QStringLiteral("p"); });
        };
        f.session.start(dune(), sized("10"));
        QCOMPARE(f.told.mid(2), (QStringList{"end 2 halted 3 at depth 1", "end 1 halted 4 at depth 0"}));
        QCOMPARE(flag, QString("p"));
        flag = QStringLiteral("q");
        QVERIFY(!f.session.haltRequested());
        QCOMPARE(flag, QString());
    }

    // A start that must not paint over the running renders halts them and
    // begins when the last has returned, from the texts as they are then; a
    // start meanwhile takes its place instead.
    void waitingStart_data()
    {
        QTest::addColumn<bool>("takenOver");
        QTest::newRow("begins after the renders return") << false;
        QTest::newRow("a start meanwhile takes its place") << true;
    }
    void waitingStart()
    {
        QFETCH(bool, takenOver);
        Fixture f;
        const char* size = "5";
        quint64 ticket = 0;
        f.onColumn = [&](int level, long column) {
            if (level == 1 && column == 3)
                f.soon([&] { f.session.start(sketch(), sized("10")); });
            if (level == 2 && column == 2)
                f.soon([&] {
                    ticket = f.session.startWhenIdle(sketch(), [&] { return sized(size); });
                    size = "7";  // after the ask, before the start
                });
        };
        f.session.start(dune(), sized("10"));
        f.onColumn = nullptr;
        QVERIFY(f.session.startPending());
        QCOMPARE(f.told.mid(2), (QStringList{"end 2 halted 3 at depth 1", "end 1 halted 4 at depth 0"}));
        if (takenOver)
            f.session.start(dune(), sized("4"));
        for (int k = 0; k < 5; ++k)
            QCoreApplication::processEvents();
        QVERIFY(!f.session.startPending());
        QVERIFY(ticket != 0);
        const QStringList after = takenOver
                                      ? QStringList{"start 1 dune 4 at depth 0 #0", "end 1 completed 4 at depth 0"}
                                      : QStringList{QStringLiteral("start 1 sketch 7 at depth 0 #%1").arg(ticket),
                                                    "end 1 completed 7 at depth 0"};
        QCOMPARE(f.told.mid(4), after);
    }

    // Through the window: a pattern of no button paints as its formula does,
    // every button turns grey, and the title names it.
    void patternOfNoButtonThroughTheWindow()
    {
        qTac w;
        w.CMD_Click(5);
        QCOMPARE(qTac::backColour(w.CMD[5]), kOrange);
        w.session().start(sketch(), sized("30"));
        for (QPushButton* b : w.CMD)
            QCOMPARE(qTac::backColour(b), kGrey);
        QVERIFY2(w.windowTitle().startsWith("Color Glimra - sketch 30 x 30"), qPrintable(w.windowTitle()));
        Fixture f;
        f.session.start(dune(), sized("30"));
        const QRect picture(kLeft, kTop, 30, 30);
        QCOMPARE(w.canvas().copy(picture), f.canvas.image().copy(picture));
    }
};

QTEST_MAIN(TestRenderSession)
#include "test_render_session.moc"
