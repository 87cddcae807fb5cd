// Val, Text and Round: the only way numbers get into and out of the boxes.
#include "render/numtext.h"

#include <QtTest>

#include <cfloat>
#include <clocale>
#include <cmath>

using namespace glimra;

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
    }
    void val()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(Val(text.toStdString()), expected);
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
        const char* chosen = nullptr;
        for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8", "de_DE", "C.UTF-8"})
            if ((chosen = std::setlocale(LC_NUMERIC, name)))
                break;
        const std::string halved = Text(0.2 / 2);
        const double back = Val("0.1");
        std::setlocale(LC_NUMERIC, "C");
        QCOMPARE(QString::fromStdString(halved), QStringLiteral("0.1"));
        QCOMPARE(back, 0.1);
    }

    void roundTrip_data()
    {
        QTest::addColumn<double>("value");
        for (double v : {0.0, 1.0, -1.0, 150.0, 768.0, 1024.0, -32768.0, 9007199254740991.0, -123456789.0})
            QTest::newRow(qPrintable(QString::number(v, 'g', 17))) << v;
        // what the presets, adjusters and steps write
        for (double v : {0.2, 0.15, 0.1, 0.4, 0.05, 0.025, 0.3, 0.6, 0.2 / 2 / 2 / 2, 0.15 + 0.15, 950.0, -150.0, 0.5, 0.25})
            QTest::newRow(qPrintable(QString::number(v, 'g', 17))) << v;
    }
    void roundTrip()
    {
        QFETCH(double, value);
        QCOMPARE(Val(Text(value)), value);
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
