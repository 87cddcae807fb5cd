// Golden pictures: the SHA-256 of every pattern's picture, as the Canvas
// receives it, together with how the render ended (and where, for a fault), at
// four parameter sets. The digests were recorded from the formulas evaluated
// exactly as written, one pixel at a time; any change to a formula, to its
// shared or hoisted terms, to the frame or to the threading that alters a
// single pixel or the place of a fault fails here.
#include "patterns/patterns.h"
#include "render/frame.h"
#include "golden_table.h"

#include <QtTest>

Q_DECLARE_METATYPE(glimra::PatternParameters)

using namespace glimra;
using namespace glimra::golden;

class TestGolden : public QObject {
    Q_OBJECT

private slots:
    void pictures_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<PatternParameters>("params");
        QTest::addColumn<QByteArray>("digest");
        QTest::addColumn<long>("faultColumn");
        QTest::addColumn<long>("faultRow");
        for (const Golden& g : kGolden) {
            const auto row = [&](const Set& s, const char* digest, long column, long row) {
                QTest::addRow("%s %s", g.pattern, s.name) << g.pattern << s.p << QByteArray(digest) << column << row;
            };
            row(kReset, g.reset, -1, -1);
            row(kLarge, g.large, -1, -1);
            row(kOffset, g.offset, -1, -1);
            row(kMedium, g.medium, -1, -1);
            row(*digest::faultSet(g.pattern), g.fault, g.faultColumn, g.faultRow);
        }
    }

    // Every thread count and every column scan gives the recorded picture.
    void pictures()
    {
        QFETCH(QString, pattern);
        QFETCH(PatternParameters, params);
        QFETCH(QByteArray, digest);
        QFETCH(long, faultColumn);
        QFETCH(long, faultRow);
        const Pattern* p = findPattern(pattern.toStdString());
        QVERIFY(p);
        // The widest column scan (AVX-512's eight lanes, else AVX2's four,
        // else SSE2's two) with one thread, an odd count and one per core,
        // and the narrower ones once each; the large pictures with fewer of
        // these, as each takes a second or more.
        struct Run {
            int threads, lanes;
            bool large;
        };
        const bool large = params.size >= 600;
        for (const Run run : {Run{1, 0, false}, Run{3, 0, true}, Run{0, 0, false}, Run{0, 1, false}, Run{0, 2, true},
                              Run{0, 4, false}}) {
            if (run.lanes > widestLanes() || (large && !run.large))
                continue;
            const int threads = run.threads;
            DigestHost host;
            RenderOptions options = digest::renderOptions(threads);
            options.lanes = run.lanes;
            const RenderResult r = render(*p, params, host, options);
            QCOMPARE(r.outcome, faultColumn >= 0 ? Outcome::Faulted : Outcome::Completed);
            QCOMPARE(r.faultColumn, faultColumn);
            QCOMPARE(r.faultRow, faultRow);
            const QByteArray got = host.finish(r);
            QVERIFY2(got == digest, qPrintable(QStringLiteral("%1 threads (0: one per core), %2 lanes (0: widest): %3")
                                                   .arg(threads)
                                                   .arg(run.lanes)
                                                   .arg(QString::fromLatin1(got))));
        }
    }

    // The formulas themselves, before any clamp or Round.
    void formulas_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QByteArray>("digest");
        for (const Golden& g : kGolden)
            QTest::newRow(g.pattern) << g.pattern << QByteArray(g.formula);
    }

    void formulas()
    {
        QFETCH(QString, pattern);
        QFETCH(QByteArray, digest);
        const Pattern* p = findPattern(pattern.toStdString());
        QVERIFY(p);
        QCOMPARE(formulaDigest(*p), digest);
    }
};

QTEST_APPLESS_MAIN(TestGolden)
#include "test_golden.moc"
