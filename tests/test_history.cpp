// Back and forward as a browser keeps them: what lay ahead goes when a new
// render follows a step back, a render repeated is kept once, the oldest go
// past the limit, and steps beyond either end change nothing.
#include "window/history.h"

#include <QtTest>

using glimra::History;
using glimra::HistoryEntry;

namespace {

HistoryEntry entry(const char* pattern, const char* size = "150", const char* formula = "")
{
    HistoryEntry e{pattern, {}, formula};
    e.texts.size = size;
    return e;
}

std::string patterns(const History& h)
{
    std::string s;
    for (const auto& e : h.entries())
        s += e.pattern + (e.texts.size == "150" ? "" : e.texts.size) + " ";
    return s + "@" + std::to_string(h.current());
}

}  // namespace

class TestHistory : public QObject {
    Q_OBJECT
private slots:
    void keptAsABrowserKeepsPages_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("kept");
        // a NAME: a render of NAME; < and >: back and forward; limit 4.
        QTest::newRow("renders in a row") << "a dune a qwin a hix"
                                          << "dune qwin hix @2";
        QTest::newRow("back, then a new road") << "a dune a qwin a hix < < a fun"
                                               << "dune fun @1";
        QTest::newRow("back and forward again") << "a dune a qwin a hix < < > "
                                                << "dune qwin hix @1";
        QTest::newRow("the same twice is one") << "a dune a dune a dune"
                                               << "dune @0";
        QTest::newRow("the oldest go past the limit") << "a a a b a c a d a e a f"
                                                      << "c d e f @3";
        QTest::newRow("nothing before the first") << "< > a dune < <"
                                                  << "dune @0";
        QTest::newRow("another size is another render") << "a dune a dune:40"
                                                        << "dune dune40 @1";
        QTest::newRow("a formula is another render") << "a formula a formula:150:x"
                                                     << "formula formula @1";
    }

    void keptAsABrowserKeepsPages()
    {
        QFETCH(QString, steps);
        QFETCH(QString, kept);
        History h(4);
        const QStringList words = steps.split(' ', Qt::SkipEmptyParts);
        for (int k = 0; k < words.size(); ++k) {
            if (words[k] == "<")
                h.moveTo(h.current() - 1);
            else if (words[k] == ">")
                h.moveTo(h.current() + 1);
            else if (words[k] == "a") {
                const QStringList parts = words[++k].split(':');
                h.add(entry(qPrintable(parts[0]), parts.size() > 1 ? qPrintable(parts[1]) : "150",
                            parts.size() > 2 ? qPrintable(parts[2]) : ""));
            }
        }
        QCOMPARE(QString::fromStdString(patterns(h)), kept);
        QCOMPARE(h.canGoBack(), h.current() > 0);
        QCOMPARE(h.canGoForward(), h.current() + 1 < int(h.entries().size()));
    }
};

QTEST_APPLESS_MAIN(TestHistory)
#include "test_history.moc"
