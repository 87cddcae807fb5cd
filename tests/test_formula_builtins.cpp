// The nineteen patterns written as formulas paint every golden picture bit
// for bit, faults included, on every lane width this machine has: the proof
// that the formula language means what the compiled patterns mean.
#include "formula/formula.h"
#include "render/frame.h"
#include "golden_table.h"

#include <QtTest>

Q_DECLARE_METATYPE(glimra::PatternParameters)

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
            Set fault{"fault", kReset.p};
            fault.p.bright = g.faultBrightness;
            row(fault, g.fault, g.faultColumn, g.faultRow);
        }
    }

    // Each width forced in turn; a width the processor has must have its
    // scan, so that none is skipped unseen.
    void pictures()
    {
        QFETCH(QString, pattern);
        QFETCH(PatternParameters, params);
        QFETCH(QByteArray, digest);
        QFETCH(long, faultColumn);
        QFETCH(long, faultRow);
        const std::unique_ptr<formula::Formula> f = compiled(pattern);
        QVERIFY(f);
        const Pattern& p = f->pattern();
        QVERIFY(p.column);
        QVERIFY(widestLanes() < 2 || p.column2);
        QVERIFY(widestLanes() < 4 || p.column4);
        for (const int lanes : {1, 2, 4}) {
            if (lanes > widestLanes())
                continue;
            DigestHost host;
            RenderOptions options;
            options.lanes = lanes;
            const RenderResult r = render(p, params, host, options);
            QCOMPARE(r.outcome, faultColumn >= 0 ? Outcome::Faulted : Outcome::Completed);
            QCOMPARE(r.faultColumn, faultColumn);
            QCOMPARE(r.faultRow, faultRow);
            const QByteArray got = host.finish(r);
            QVERIFY2(got == digest, qPrintable(QStringLiteral("%1 lanes: %2").arg(lanes).arg(QString::fromLatin1(got))));
        }
    }

    // The components before any clamp or Round, one pixel at a time.
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
        const std::unique_ptr<formula::Formula> f = compiled(pattern);
        QVERIFY(f);
        QCOMPARE(formulaDigest(f->pattern()), digest);
    }
};

QTEST_APPLESS_MAIN(TestFormulaBuiltins)
#include "test_formula_builtins.moc"
