// Formulas as a person writes them: what the language means where it could
// be read two ways, every kind of wrong formula with the place and words of
// its refusal, and each bound at its limit and one past it.
#include "formula/formula.h"
#include "render/frame.h"

#include <QtTest>

#include <cmath>

using namespace glimra;
using formula::Error;
using formula::Formula;

namespace {

// The frame's lines, then `body`.
std::string withFrame(const std::string& body) { return "x0 = x\ny0 = y\n" + body; }

std::string refusal(const std::string& text)
{
    Error error;
    const std::unique_ptr<Formula> f = Formula::compile(text, error);
    return f ? std::string("(accepted)") : error.text();
}

// The three components at one pixel, as the formula gives them.
Components at(const Formula& f, PatternParameters p, double i, double j)
{
    const Derived d = f.pattern().derive(p);
    return f.pattern().pixel(d, i, j);
}

}  // namespace

class TestFormulaErrors : public QObject {
    Q_OBJECT

private slots:
    // Each line the language could be read two ways, and the reading it has.
    void meaning_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<double>("value");
        QTest::newRow("a sign applies to the power") << "-2 ^ 2" << -4.0;
        QTest::newRow("a signed exponent") << "2 ^ -1" << 0.5;
        QTest::newRow("power before product") << "3 * 2 ^ 2" << 12.0;
        QTest::newRow("left to right") << "8 / 4 / 2" << 1.0;
        QTest::newRow("grouped as written") << "0.1 + 0.2 + 0.3" << (0.1 + 0.2) + 0.3;
        QTest::newRow("regrouped by parentheses") << "0.1 + (0.2 + 0.3)" << 0.1 + (0.2 + 0.3);
        QTest::newRow("counters") << "i * 1000 + j" << 7003.0;
        QTest::newRow("K") << "K" << 44.0 / 7.0;
        QTest::newRow("768 rule") << "N + S" << 1024.0 + 768.0;
        QTest::newRow("line break inside parentheses") << "(1 +\n 2) # a comment\n" << 3.0;
        QTest::newRow("power of the correctly rounded pow, not a product") << "10 ^ 0.5" << 3.1622776601683795;
    }

    void meaning()
    {
        QFETCH(QString, expression);
        QFETCH(double, value);
        Error error;
        const std::unique_ptr<Formula> f =
            Formula::compile(withFrame("green = 0; blue = 0\nred = " + expression.toStdString()), error);
        QVERIFY2(f, error.text().c_str());
        const double got = at(*f, PatternParameters{1, 1, 768, 1, 150}, 7, 3).red;
        QCOMPARE(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(value));
    }

    void wrong_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal");
        const auto row = [](const char* name, const std::string& text, const char* refusal) {
            QTest::newRow(name) << QString::fromStdString(text) << QString::fromUtf8(refusal);
        };
        const std::string colours = "red = 1\ngreen = 2\nblue = 3\n";
        row("value missing after an operator", withFrame("red = 2 * \ngreen = 1\nblue = 1"),
            "line 3, column 11: a value was expected after '*'");
        row("value missing after =", withFrame("red =\ngreen = 1\nblue = 1"),
            "line 3, column 6: a value was expected after '='");
        row("unclosed parenthesis", withFrame("red = (1 + 2\ngreen = 1\nblue = 1"),
            "line 4, column 1: ')' or an operator was expected");
        row("unclosed at the end", withFrame("red = 1\ngreen = 1\nblue = (1"),
            "line 5, column 10: ')' was expected before the end of the formula");
        row("closing nothing", withFrame("red = 1)\ngreen = 1\nblue = 1"), "line 3, column 8: this ')' closes no '('");
        row("two values side by side", withFrame("red = 1 2\ngreen = 1\nblue = 1"),
            "line 3, column 9: an operator or the end of the line was expected");
        row("unknown name", withFrame("red = c + 1\ngreen = 1\nblue = 1"),
            "line 3, column 7: 'c' has no value here: give it one on a line above");
        row("used before its line", withFrame("red = c\nc = 1\ngreen = 1\nblue = 1"),
            "line 3, column 7: 'c' has no value here: give it one on a line above");
        row("unknown function", withFrame("red = sqrt(2)\ngreen = 1\nblue = 1"),
            "line 3, column 7: 'sqrt' is not a function; the functions are sin, cos, tan, abs and texthalf");
        row("function without its argument", withFrame("red = sin 2\ngreen = 1\nblue = 1"),
            "line 3, column 11: '(' was expected after the function 'sin'");
        row("a parameter given a value", "x = 2\n" + withFrame(colours),
            "line 1, column 1: 'x' is given by the frame and cannot be given a value");
        row("a function given a value", withFrame("cos = 1\n" + colours),
            "line 3, column 1: 'cos' is a function and cannot be given a value");
        row("given twice", withFrame(colours + "red = 4"),
            "line 6, column 1: 'red' already has a value, given on line 3");
        row("no statement name", withFrame("+ 1\n" + colours),
            "line 3, column 1: a name was expected at the start of a statement, as in 'c = a + b'");
        row("no =", withFrame("red 1\ngreen = 1\nblue = 1"), "line 3, column 5: '=' was expected after 'red'");
        row("a power of a power", withFrame("red = 2 ^ 3 ^ 2\ngreen = 1\nblue = 1"),
            "line 3, column 13: a power of a power needs parentheses: (a ^ b) ^ c or a ^ (b ^ c)");
        row("stray character", withFrame("red = 2 $ 3\ngreen = 1\nblue = 1"),
            "line 3, column 9: the character '$' has no meaning in a formula");
        row("a character beyond ASCII, counted once", withFrame("# \xc3\xa9t\xc3\xa9\nred = 2 \xc3\x97 3\n"),
            "line 4, column 9: a character that has no meaning in a formula (only comments may hold any text)");
        row("exponent without digits", withFrame("red = 1e+\ngreen = 1\nblue = 1"),
            "line 3, column 10: digits were expected in the number's exponent");
        row("number beyond doubles", withFrame("red = 1e999\ngreen = 1\nblue = 1"),
            "line 3, column 7: the number '1e999' is beyond the range of doubles");
        row("number running into a name", withFrame("red = 2x\ngreen = 1\nblue = 1"),
            "line 3, column 8: a number ends here: write an operator between a number and what follows");
        row("an origin that moves with the scan", "x0 = x + i\ny0 = y\n" + colours,
            "line 1, column 1: x0 is fixed before the scan: it cannot depend on i or j");
        row("texthalf of the row", withFrame("red = texthalf(j)\ngreen = 1\nblue = 1"),
            "line 3, column 7: texthalf takes only values fixed before the scan, not i, j or what depends on them");
        row("a colour missing", withFrame("red = 1\ngreen = 2\n"),
            "line 5, column 1: blue is never given a value; a formula gives x0, y0, red, green and blue");
        row("empty", "", "line 1, column 1: x0 is never given a value; a formula gives x0, y0, red, green and blue");
    }

    void wrong()
    {
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        QCOMPARE(QString::fromStdString(::refusal(text.toStdString())), refusal);
    }

    // Each bound accepted at its limit and refused one past it, at the place
    // where the formula crosses it.
    void bounds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("refusal");
        const std::string colours = withFrame("red = 1\ngreen = 2\nblue = 3\n");
        // Length: padded with a comment to the byte.
        std::string longest = colours + "#";
        longest.resize(formula::kMaxBytes, '.');
        QTest::newRow("length at the bound") << QString::fromStdString(longest) << "(accepted)";
        QTest::newRow("length past the bound")
            << QString::fromStdString(longest + ".")
            << QString("line 6, column %1: the formula is longer than 65536 bytes; it is read no further")
                   .arg(formula::kMaxBytes - colours.size() + 1);
        // Terms: x, y, 0 and 0 are four, a sum of n counters 2n - 1 and a
        // signed 0 two.
        const auto sum = [](int n) {
            std::string s = "i";
            for (int k = 1; k < n; ++k)
                s += " + i";
            return s;
        };
        const int n = (formula::kMaxTerms - 4) / 2;
        QTest::newRow("terms at the bound")
            << QString::fromStdString(withFrame("red = -0\ngreen = 0\nblue = " + sum(n))) << "(accepted)";
        QTest::newRow("terms past the bound")
            << QString::fromStdString(withFrame("red = 0\ngreen = 0\nblue = " + sum(n + 1)))
            << QString("line 5, column %1: the formula has more than 10000 terms").arg(8 + 4 * n);
        // Nesting: the value of a statement is the first level, each
        // parenthesis one more.
        const auto nested = [](int levels) {
            return std::string(std::size_t(levels - 1), '(') + "1" + std::string(std::size_t(levels - 1), ')');
        };
        QTest::newRow("nesting at the bound")
            << QString::fromStdString(withFrame("green = 0\nblue = 0\nred = " + nested(formula::kMaxDepth)))
            << "(accepted)";
        QTest::newRow("nesting past the bound")
            << QString::fromStdString(withFrame("green = 0\nblue = 0\nred = " + nested(formula::kMaxDepth + 1)))
            << QString("line 5, column %1: the formula nests more than 64 deep (parentheses, calls, signs and powers)")
                   .arg(6 + formula::kMaxDepth);
        std::string signs(std::size_t(formula::kMaxDepth - 1), '-');
        QTest::newRow("signs at the bound")
            << QString::fromStdString(withFrame("green = 0\nblue = 0\nred = " + signs + "1")) << "(accepted)";
        QTest::newRow("signs past the bound")
            << QString::fromStdString(withFrame("green = 0\nblue = 0\nred = -" + signs + "1"))
            << QString("line 5, column %1: the formula nests more than 64 deep (parentheses, calls, signs and powers)")
                   .arg(6 + formula::kMaxDepth);
    }

    void bounds()
    {
        QFETCH(QString, text);
        QFETCH(QString, refusal);
        QCOMPARE(QString::fromStdString(::refusal(text.toStdString())), refusal);
    }

    // A refused formula paints nothing; an accepted one whose values fixed
    // before the scan fault paints nothing either, and says so.
    void faults_before_the_scan()
    {
        Error error;
        const std::unique_ptr<Formula> f =
            Formula::compile("x0 = x\ny0 = y\nq = 1 / zoom\nred = q * i\ngreen = 0\nblue = 0\n", error);
        QVERIFY2(f, error.text().c_str());
        QVERIFY(deriveChecked(f->pattern(), PatternParameters{1, 1, 10, 1, 150}));
        QVERIFY(!deriveChecked(f->pattern(), PatternParameters{1, 1, 10, 0, 150}));
    }
};

QTEST_APPLESS_MAIN(TestFormulaErrors)
#include "test_formula_errors.moc"
