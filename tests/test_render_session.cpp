// The render session on its own Canvas: nesting, halts, the start that waits
// for running renders, how a render ended, and a pattern that is none of the
// buttons started through the window.
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

// dune under a name of its own: what a pattern from outside the button table
// looks like to the session.
const glimra::Pattern& sketch()
{
    static const glimra::Pattern pattern = [] {
        glimra::Pattern p = *glimra::findPattern("dune");
        p.name = "sketch";
        return p;
    }();
    return pattern;
}

const char* outcomeName(glimra::Outcome o)
{
    switch (o) {
    case glimra::Outcome::Completed: return "completed";
    case glimra::Outcome::Halted: return "halted";
    case glimra::Outcome::Faulted: return "faulted";
    case glimra::Outcome::Refused: return "refused";
    }
    return "?";
}

// A session on a Canvas of the window's size, and what it told, one line per
// start and end (columns are counted per level, not listed).
struct Fixture {
    Canvas canvas{nullptr, QSize(qTac::kClientWidth, qTac::kClientHeight), kBackground};
    RenderSession session{canvas};
    QStringList told;
    std::vector<quint64> tickets;
    std::vector<glimra::PatternTexts> startedWith;
    // Runs after each column, with the session's depth already counting it.
    std::function<void(int level, long column)> onColumn;

    Fixture()
    {
        QObject::connect(&session, &RenderSession::started, &session,
                         [this](const glimra::Pattern& p, const glimra::PatternTexts& texts, int level, quint64 ticket) {
                             told << QStringLiteral("start %1 %2 at depth %3").arg(level).arg(p.name).arg(session.depth());
                             tickets.push_back(ticket);
                             startedWith.push_back(texts);
                         });
        QObject::connect(&session, &RenderSession::columnPainted, &session, [this](int level, long column) {
            if (onColumn)
                onColumn(level, column);
        });
        QObject::connect(&session, &RenderSession::ended, &session, [this](const glimra::RenderResult& r, int level) {
            told << QStringLiteral("end %1 %2 %3 at depth %4")
                        .arg(level)
                        .arg(outcomeName(r.outcome))
                        .arg(r.columns)
                        .arg(session.depth());
        });
    }

    // As a click would come: handled at the running render's next yield.
    void soon(std::function<void()> what) { QMetaObject::invokeMethod(&session, std::move(what), Qt::QueuedConnection); }

    void settle()
    {
        for (int k = 0; k < 5; ++k)
            QCoreApplication::processEvents();
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
        QList<int> levels;
        f.onColumn = [&](int level, long column) {
            levels << level;
            if (level == 1 && column == 4)
                f.soon([&] { QVERIFY(f.session.start(sketch(), sized("6"))); });
        };
        QVERIFY(f.session.start(dune(), sized("10")));
        QCOMPARE(f.told, (QStringList{"start 1 dune at depth 0", "start 2 sketch at depth 1",
                                      "end 2 completed 6 at depth 1", "end 1 completed 10 at depth 0"}));
        QList<int> expected;
        for (int k = 0; k < 10; ++k) {
            expected << 1;
            if (k == 4)
                expected << QList<int>(6, 2);
        }
        QCOMPARE(levels, expected);
        QCOMPARE(f.session.depth(), 0);
    }

    // How a render ended, as `ended` and lastOutcome() tell it.
    void endedTellsHow_data()
    {
        QTest::addColumn<QString>("x");
        QTest::addColumn<QString>("zoom");
        QTest::addColumn<int>("haltAt");  // column during which halt() comes; -2: before the start
        QTest::addColumn<QString>("ending");
        QTest::newRow("completed") << "1" << "1" << -1 << "end 1 completed 12 at depth 0";
        QTest::newRow("halted after its current column") << "1" << "1" << 4 << "end 1 halted 5 at depth 0";
        QTest::newRow("an earlier halt is cleared by the start") << "1" << "1" << -2 << "end 1 completed 12 at depth 0";
        QTest::newRow("faulted") << "1" << "1e308" << -1 << "end 1 faulted 0 at depth 0";
        QTest::newRow("refused") << "1e16" << "1" << -1 << "end 1 refused 0 at depth 0";
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
        QCOMPARE(QString(outcomeName(*f.session.lastOutcome())), ending.section(u' ', 2, 2));
    }

    // A halt in nested renders stops the innermost after its column, and each
    // one it interrupted at its own next check; the design's text says so too.
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
        QCOMPARE(f.told, (QStringList{"start 1 dune at depth 0", "start 2 sketch at depth 1",
                                      "end 2 halted 3 at depth 1", "end 1 halted 4 at depth 0"}));
        QVERIFY(f.session.haltRequested());
        QCOMPARE(flag, QString("p"));
        // Any other text is no halt.
        flag = QStringLiteral("q");
        QVERIFY(!f.session.haltRequested());
        QCOMPARE(flag, QString());
    }

    // A start that must not paint over the running renders halts them and
    // begins when the last has returned, from the texts as they are then.
    void waitingStartBeginsAfterRunningRendersReturn()
    {
        Fixture f;
        const char* size = "5";
        quint64 ticket = 0;
        f.onColumn = [&](int level, long column) {
            if (level == 1 && column == 3)
                f.soon([&] { f.session.start(sketch(), sized("10")); });
            if (level == 2 && column == 2)
                f.soon([&] {
                    ticket = f.session.startWhenIdle(sketch(), [&] { return sized(size); });
                    size = "7";  // changed after the ask, before the start
                });
        };
        f.session.start(dune(), sized("10"));
        f.onColumn = nullptr;
        QVERIFY(f.session.startPending());
        QCOMPARE(f.told, (QStringList{"start 1 dune at depth 0", "start 2 sketch at depth 1",
                                      "end 2 halted 3 at depth 1", "end 1 halted 4 at depth 0"}));
        f.settle();
        QVERIFY(!f.session.startPending());
        QCOMPARE(f.told.mid(4), (QStringList{"start 1 sketch at depth 0", "end 1 completed 7 at depth 0"}));
        QVERIFY(ticket != 0);
        QCOMPARE(f.tickets, (std::vector<quint64>{0, 0, ticket}));
        QCOMPARE(QString::fromStdString(f.startedWith.back().size), QString("7"));
    }

    // A start meanwhile is the render a waiting start waited to make; the
    // waiting one does not come after it.
    void startTakesOverWaitingStart()
    {
        Fixture f;
        f.session.startWhenIdle(sketch(), [] { return sized("5"); });
        QVERIFY(f.session.startPending());
        f.session.start(dune(), sized("4"));
        QVERIFY(!f.session.startPending());
        f.settle();
        QCOMPARE(f.told, (QStringList{"start 1 dune at depth 0", "end 1 completed 4 at depth 0"}));
        QCOMPARE(f.tickets, std::vector<quint64>{0});
    }

    // Past the nesting limit a start is refused and tells nothing.
    void startPastTheLimitIsRefused()
    {
        Fixture f;
        bool refused = false;
        f.onColumn = [&](int level, long column) {
            if (column != 0)
                return;
            if (level < RenderSession::kMaxNesting)
                f.soon([&] { f.session.start(dune(), sized("2")); });
            else
                refused = !f.session.start(dune(), sized("2"));
        };
        f.session.start(dune(), sized("2"));
        QVERIFY(refused);
        QCOMPARE(int(f.told.filter("start").size()), RenderSession::kMaxNesting);
        QCOMPARE(int(f.told.filter("end").size()), RenderSession::kMaxNesting);
        QCOMPARE(f.session.depth(), 0);
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
        const QImage painted = w.canvas().copy(QRect(kLeft, kTop, 30, 30));

        Fixture f;
        f.session.start(dune(), sized("30"));
        QCOMPARE(painted, f.canvas.image().copy(QRect(kLeft, kTop, 30, 30)));
    }
};

QTEST_MAIN(TestRenderSession)
#include "test_render_session.moc"
