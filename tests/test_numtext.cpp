// Val, Text and Round: the only way numbers get into and out of the boxes.
#include "render/numtext.h"

#include <QtTest>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using namespace glimra;

namespace {

// QCOMPARE lets doubles differ in their last dozen bits; a number reader must
// not, so values are compared exactly and shown in full when they differ.
#define COMPARE_EXACT(actual, expected)                                                      \
    do {                                                                                     \
        const double a_ = (actual), e_ = (expected);                                         \
        if (a_ != e_) {                                                                      \
            char m_[128];                                                                    \
            std::snprintf(m_, sizeof m_, "%.17g (%a), expected %.17g (%a)", a_, a_, e_, e_); \
            QFAIL(m_);                                                                       \
        }                                                                                    \
    } while (0)

// A locale that writes a decimal comma, made from the system's locale sources
// when none is installed. Empty when neither is possible.
QByteArray makeCommaLocale(const QTemporaryDir& dir)
{
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "fr_FR"})
        if (std::setlocale(LC_NUMERIC, name)) {
            std::setlocale(LC_NUMERIC, "C");
            return name;
        }
    if (!QFileInfo::exists("/usr/share/i18n/locales/de_DE") || !dir.isValid())
        return {};
    QProcess def;
    def.start("localedef", {"-i", "de_DE", "-f", "ISO-8859-1", dir.filePath("de_DE")});
    if (!def.waitForFinished(60000) || def.exitCode() != 0)
        return {};
    qputenv("LOCPATH", QFile::encodeName(dir.path()));
    if (!std::setlocale(LC_NUMERIC, "de_DE"))
        return {};
    std::setlocale(LC_NUMERIC, "C");
    return "de_DE";
}

QByteArray commaLocale()
{
    static const QTemporaryDir dir;
    static const QByteArray name = makeCommaLocale(dir);
    return name;
}

// Doubles of every kind: random bit patterns (every magnitude), subnormals,
// signed zeros and the ends of the range, powers of ten across the whole
// exponent range with their neighbours, numbers of 15 and 16 significant
// digits, and 16-digit whole numbers ending in 5 (exact ties at 15 digits).
std::vector<double> generatedDoubles()
{
    std::mt19937_64 rng(20141208);
    std::vector<double> xs;
    const auto add = [&](double x) {
        if (std::isfinite(x)) {
            xs.push_back(x);
            xs.push_back(-x);
        }
    };
    for (double x : {0.0, DBL_MAX, DBL_MIN, DBL_TRUE_MIN, 1.0, 0.5})
        for (double y : {x, std::nextafter(x, 0.0), std::nextafter(x, INFINITY)})
            add(y);
    char buf[64];
    for (int k = -324; k <= 308; ++k) {
        std::snprintf(buf, sizeof buf, "1e%d", k);
        const double p = std::strtod(buf, nullptr);
        for (double y : {p, std::nextafter(p, 0.0), std::nextafter(p, INFINITY)})
            add(y);
    }
    for (int i = 0; i < 50000; ++i)
        add(std::bit_cast<double>(rng()));
    for (int i = 0; i < 5000; ++i)
        add(std::bit_cast<double>(rng() & ((std::uint64_t(1) << 52) - 1)));  // subnormal
    std::uniform_int_distribution<long long> digits15(100000000000000, 999999999999999);
    std::uniform_int_distribution<int> exponent(-320, 308);
    for (int i = 0; i < 10000; ++i) {
        std::snprintf(buf, sizeof buf, "%llde%d", digits15(rng), exponent(rng) - 14);
        add(std::strtod(buf, nullptr));
        std::snprintf(buf, sizeof buf, "%lld%de%d", digits15(rng), int(rng() % 10), exponent(rng) - 15);
        add(std::strtod(buf, nullptr));
    }
    std::uniform_int_distribution<long long> tie(100000000000000, 900719925474099);
    for (int i = 0; i < 5000; ++i)
        add(double(tie(rng) * 10 + 5));
    return xs;
}

// x rounded to 15 significant digits, by printf's decimal rounding; beyond the
// double range it is the largest double, as Val documents.
double roundedTo15(double x)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", x);
    const double r = std::strtod(buf, nullptr);
    return std::isinf(r) ? std::copysign(DBL_MAX, r) : r;
}

int significantDigits(const std::string& t)
{
    int n = 0;
    bool leading = true;
    for (char c : t) {
        if (c == 'E')
            break;
        if (c < '0' || c > '9' || (leading && c == '0'))
            continue;
        leading = false;
        ++n;
    }
    return n;
}

}  // namespace

class TestNumText : public QObject {
    Q_OBJECT

private slots:
    void val_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("whole") << "150" << 150.0;
        QTest::newRow("fraction") << "0.15" << 0.15;
        QTest::newRow("leading point") << ".5" << 0.5;
        QTest::newRow("negative") << "-250" << -250.0;
        QTest::newRow("plus sign") << "+7" << 7.0;
        QTest::newRow("blanks anywhere") << "  1 2 . 5 " << 12.5;
        QTest::newRow("tabs and line feeds") << "\t-\n3\t4" << -34.0;
        QTest::newRow("stops at letters") << "12abc" << 12.0;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("comma stops") << "1,5" << 1.0;
        QTest::newRow("exponent E") << "1.5E3" << 1500.0;
        QTest::newRow("exponent e negative") << "25e-1" << 2.5;
        QTest::newRow("exponent D") << "2D2" << 200.0;
        QTest::newRow("exponent without digits") << "3E" << 3.0;
        QTest::newRow("exponent sign without digits") << "3E+x" << 3.0;
        QTest::newRow("hex") << "&HFF" << 255.0;
        QTest::newRow("hex lower case") << "&h1a" << 26.0;
        QTest::newRow("hex stops at non-digit") << "&H1G" << 1.0;
        QTest::newRow("octal") << "&O17" << 15.0;
        QTest::newRow("octal stops at 8") << "&O78" << 7.0;
        QTest::newRow("ampersand alone") << "&" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letters") << "abc" << 0.0;
        QTest::newRow("lone minus") << "-" << 0.0;
        QTest::newRow("lone plus") << "+" << 0.0;
        QTest::newRow("lone point") << "." << 0.0;
        QTest::newRow("carriage return stops") << "1\r2" << 1.0;
        QTest::newRow("tiny underflows to zero") << "1e-400" << 0.0;
        QTest::newRow("blanks inside hex") << " & H 1 f" << 31.0;
        // Whole numbers wider than a double: one rounding to the nearest, ties to even.
        QTest::newRow("hex 2^64+2049 rounds up") << "&H10000000000000801" << std::ldexp(1.0, 64) + 4096;
        QTest::newRow("hex 2^64+2048 ties to even") << "&H10000000000000800" << std::ldexp(1.0, 64);
        QTest::newRow("hex 2^64+6144 ties to even") << "&H10000000000001800" << std::ldexp(1.0, 64) + 8192;
        QTest::newRow("hex tie broken 40 bits further")
            << "&H20000000000001" + QString(10, '0') + "1" << (std::ldexp(1.0, 53) + 2) * std::ldexp(1.0, 44);
        QTest::newRow("octal 2^64+2049 rounds up") << "&O2" + QString(17, '0') + "4001" << std::ldexp(1.0, 64) + 4096;
        QTest::newRow("hex just below 2^1024") << "&HFFFFFFFFFFFFF8" + QString(242, '0') << DBL_MAX;
        QTest::newRow("hex 2^1024") << "&H1" + QString(256, '0') << DBL_MAX;
        QTest::newRow("long decimal rounds once") << "9007199254740993." + QString(30, '0') + "1" << 9007199254740994.0;
    }
    void val()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        COMPARE_EXACT(Val(text.toStdString()), expected);
    }

    void valBeyondDoubleRangeSaturates()
    {
        QCOMPARE(Val("1e999"), DBL_MAX);
        QCOMPARE(Val("-1e999"), -DBL_MAX);
        QCOMPARE(Val("&H" + std::string(300, 'F')), DBL_MAX);
        QCOMPARE(Val("1" + std::string(400, '0')), DBL_MAX);
    }

    void text_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << 150.0 << "150";
        QTest::newRow("negative") << -150.0 << "-150";
        QTest::newRow("fraction") << 0.15 << "0.15";
        QTest::newRow("0.2 halved") << 0.2 / 2 << "0.1";
        QTest::newRow("0.2 doubled") << 0.2 + 0.2 << "0.4";
        QTest::newRow("fifteen digits") << 0.1 + 0.2 << "0.3";
        QTest::newRow("a third") << 1.0 / 3 << "0.333333333333333";
        QTest::newRow("large switches to exponent") << 1e15 << "1E+15";
        QTest::newRow("largest plain") << 123456789012345.0 << "123456789012345";
        QTest::newRow("small switches to exponent") << 0.00001 << "1E-05";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("zero") << 0.0 << "0";
    }
    void text()
    {
        QFETCH(double, value);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(Text(value)), expected);
    }

    // With a comma locale, halving 0.2 must still write "0.1": "0,1" would read
    // back as 0 and silently lose the zoom.
    void textIgnoresLocale()
    {
        const QByteArray comma = commaLocale();
        if (comma.isEmpty())
            QSKIP("no locale with a decimal comma (install the locales package)");
        std::setlocale(LC_NUMERIC, comma.constData());
        const std::string halved = Text(0.2 / 2);
        const double back = Val("0.1");
        std::setlocale(LC_NUMERIC, "C");
        QCOMPARE(QString::fromStdString(halved), QStringLiteral("0.1"));
        QCOMPARE(back, 0.1);
    }

    void roundTrip_data()
    {
        QTest::addColumn<double>("value");
        for (double v : {0.0, 1.0, -1.0, 150.0, 768.0, 1024.0, -32768.0, 999999999999999.0, -123456789.0})
            QTest::newRow(qPrintable(QString::number(v, 'g', 17))) << v;
        // what the presets, adjusters and steps write
        for (double v :
             {0.2, 0.15, 0.1, 0.4, 0.05, 0.025, 0.3, 0.6, 0.2 / 2 / 2 / 2, 0.15 + 0.15, 950.0, -150.0, 0.5, 0.25})
            QTest::newRow(qPrintable(QString::number(v, 'g', 17))) << v;
    }
    void roundTrip()
    {
        QFETCH(double, value);
        COMPARE_EXACT(Val(Text(value)), value);
    }

    // Over a large generated set: Val(Text(x)) is x rounded to 15 significant
    // digits, and Text writes at most 15 digits, with a point, never a comma.
    void textValProperty()
    {
        const std::vector<double> xs = generatedDoubles();
        for (double x : xs) {
            const std::string t = Text(x);
            COMPARE_EXACT(Val(t), roundedTo15(x));
            QVERIFY2(significantDigits(t) <= 15, t.c_str());
            QVERIFY2(t.find_first_not_of("0123456789.-+E") == std::string::npos, t.c_str());
        }
        qInfo("%zu generated doubles", xs.size());
    }

    // The boxes must not change with the locale: a comma locale gives the same
    // texts, and they read back the same.
    void textSameInEveryLocale()
    {
        const QByteArray comma = commaLocale();
        if (comma.isEmpty())
            QSKIP("no locale with a decimal comma (install the locales package)");
        const std::vector<double> xs = generatedDoubles();
        std::vector<std::string> texts;
        for (double x : xs)
            texts.push_back(Text(x));
        std::setlocale(LC_NUMERIC, comma.constData());
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 0.5);
        std::size_t same = 0;
        bool readBack = true;
        for (std::size_t i = 0; i < xs.size(); ++i) {
            same += Text(xs[i]) == texts[i];
            readBack = readBack && Val(texts[i]) == roundedTo15(xs[i]);
        }
        std::setlocale(LC_NUMERIC, "C");
        QCOMPARE(QString(probe), QStringLiteral("0,5"));  // the locale is really a comma one
        QCOMPARE(same, xs.size());
        QVERIFY(readBack);
    }

    void round_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        QTest::newRow("0.5 to even") << 0.5 << 0.0;
        QTest::newRow("1.5 to even") << 1.5 << 2.0;
        QTest::newRow("2.5 to even") << 2.5 << 2.0;
        QTest::newRow("254.5 to even") << 254.5 << 254.0;
        QTest::newRow("100.5 to even") << 100.5 << 100.0;
        QTest::newRow("101.5 to even") << 101.5 << 102.0;
        QTest::newRow("below half") << 2.49 << 2.0;
        QTest::newRow("above half") << 2.51 << 3.0;
        QTest::newRow("negative half") << -2.5 << -2.0;
    }
    void round()
    {
        QFETCH(double, value);
        QFETCH(double, expected);
        QCOMPARE(Round(value), expected);
    }

    void strictNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("expected");
        QTest::newRow("whole") << "150" << true << 150.0;
        QTest::newRow("negative fraction") << "-0.5" << true << -0.5;
        QTest::newRow("surrounding blanks") << "  950 " << true << 950.0;
        QTest::newRow("exponent") << "1e3" << true << 1000.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("trailing letters") << "12abc" << false << 0.0;
        QTest::newRow("inner blank") << "1 2" << false << 0.0;
        QTest::newRow("lone sign") << "-" << false << 0.0;
        QTest::newRow("hex is not decimal") << "&H10" << false << 0.0;
        QTest::newRow("exponent without digits") << "2e" << false << 0.0;
        QTest::newRow("beyond double range") << "1e400" << false << 0.0;
    }
    void strictNumber()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(double, expected);
        const auto v = glimra::strictNumber(text.toStdString());
        QCOMPARE(v.has_value(), valid);
        if (valid)
            QCOMPARE(*v, expected);
    }
};

QTEST_APPLESS_MAIN(TestNumText)
#include "test_numtext.moc"
