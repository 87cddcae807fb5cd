// The nineteen patterns written as formulas paint every golden picture bit
// for bit, faults included, on every lane width this machine has: the proof
// that the formula language means what the compiled patterns mean.
#include "formula/formula.h"
#include "render/frame.h"
#include "golden_table.h"

#include <QtTest>

using namespace glimra;
using namespace glimra::golden;

namespace {

std::unique_ptr<formula::Formula> compiled(const QString& pattern)
{
    const std::string_view text = formula::builtinText(pattern.toStdString());
    if (text.empty())
        return nullptr;
    formula::Error error;
    std::unique_ptr<formula::Formula> f = formula::Formula::compile(text, error);
    if (!f)
        qWarning("%s: %s", qPrintable(pattern), error.text().c_str());
    return f;
}

}  // namespace

class TestFormulaBuiltins : public QObject {
    Q_OBJECT

private slots:
    // A row per golden picture: its pattern's place in the table and its
    // own among the pattern's pictures. Under the sanitizers, which look for
    // memory faults rather than colours, the small pictures only: they take
    // every stage, width and fault path of the evaluator, the large ones
    // twenty times the time.
    void pictures_data()
    {
        QTest::addColumn<int>("golden");
        QTest::addColumn<int>("picture");
        for (int k = 0; k < int(std::size(kGolden)); ++k) {
            const std::vector<GoldenPicture> pictures = picturesOf(kGolden[k]);
            for (int n = 0; n < int(pictures.size()); ++n) {
#ifdef GLIMRA_SMALL_PICTURES_ONLY
                if (pictures[std::size_t(n)].set.p.size > 100)
                    continue;
#endif
                QTest::addRow("%s %s", kGolden[k].pattern, pictures[std::size_t(n)].set.name) << k << n;
            }
        }
    }

    // Each width forced in turn; a width the processor has must have its
    // scan, so that none is skipped unseen.
    void pictures()
    {
        QFETCH(int, golden);
        QFETCH(int, picture);
        const Golden& g = kGolden[golden];
        const GoldenPicture want = picturesOf(g)[std::size_t(picture)];
        const QString pattern = QString::fromLatin1(g.pattern);
        const std::unique_ptr<formula::Formula> f = compiled(pattern);
        QVERIFY(f);
        const Pattern& p = f->pattern();
        QVERIFY(p.column);
        QVERIFY(widestLanes() < 2 || p.column2);
        QVERIFY(widestLanes() < 4 || p.column4);
        QVERIFY(widestLanes() < 8 || p.column8);
        for (const int lanes : {1, 2, 4, 8}) {
            if (lanes > widestLanes())
                continue;
            DigestHost host;
            RenderOptions options = digest::renderOptions();
            options.lanes = lanes;
            const RenderResult r = render(p, want.set.p, host, options);
            QCOMPARE(r.outcome, want.faultColumn >= 0 ? Outcome::Faulted : Outcome::Completed);
            QCOMPARE(r.faultColumn, want.faultColumn);
            QCOMPARE(r.faultRow, want.faultRow);
            const QByteArray got = host.finish(r);
            QVERIFY2(got == want.digest,
                     qPrintable(QStringLiteral("%1 lanes: %2").arg(lanes).arg(QString::fromLatin1(got))));
        }
    }

    // The components before any clamp or Round, one pixel at a time, of
    // every pattern.
    void formulas()
    {
        for (const Golden& g : kGolden) {
            const std::unique_ptr<formula::Formula> f = compiled(g.pattern);
            QVERIFY2(f, g.pattern);
            QVERIFY2(formulaDigest(f->pattern()) == g.formula, g.pattern);
        }
    }
};

QTEST_APPLESS_MAIN(TestFormulaBuiltins)
#include "test_formula_builtins.moc"
