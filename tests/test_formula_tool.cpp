// Formulas through glimra-render as a user runs it: a file or standard input
// in place of a pattern, and the formula's text carried by a place, a PNG,
// parts and film frames.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

Run runTool(const QStringList& args, const QByteArray& input = {})
{
    QProcess p;
    p.start(QStringLiteral(GLIMRA_RENDER_PATH), args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            QString::fromUtf8(p.readAllStandardError())};
}

QImage picture(const QString& path) { return QImage(path).convertToFormat(QImage::Format_RGB32); }

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A formula of exactly `bytes` bytes: one of the examples, its comment grown.
QByteArray formulaOfLength(qsizetype bytes)
{
    QByteArray text = contents(QStringLiteral(GLIMRA_EXAMPLES "/tide.glimra"));
    text.prepend("# ");
    text.insert(2, QByteArray(bytes - text.size() - 1, 'w') + '\n');
    return text;
}

}  // namespace

class TestFormulaTool : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private slots:
    // Every example (and dune's own text, read from standard input), dense
    // and sampled, paints the same picture again from the place it prints,
    // from its PNG (the same file, byte for byte) and from two parts joined.
    void examplesRoundTrip_data()
    {
        QTest::addColumn<QString>("file");
        for (const QString& name : QDir(QStringLiteral(GLIMRA_EXAMPLES)).entryList({"*.glimra"}))
            QTest::newRow(qPrintable(name)) << QStringLiteral(GLIMRA_EXAMPLES "/") + name;
        QTest::newRow("dune's text") << QStringLiteral("-");
    }
    void examplesRoundTrip()
    {
        QFETCH(QString, file);
        const Run printed = runTool({"--print-formula", "dune"});
        QCOMPARE(printed.exitCode, 0);
        const QStringList texts = {"--size", "24", "--x", "3.5", "--zoom", "0.7", "--density", "2", "--samples", "2"};
        const QString whole = path(QFileInfo(file).baseName() + ".png"), again = path("again.png");
        QCOMPARE(runTool(QStringList{"--formula", file, "-o", whole} + texts, printed.out).exitCode, 0);
        const QImage expected = picture(whole);
        QCOMPARE(expected.size(), QSize(48, 48));
        if (file == "-") {
            QCOMPARE(runTool(QStringList{"dune", "-o", again} + texts).exitCode, 0);
            QCOMPARE(picture(again), expected);
        }

        const Run place = runTool({"--print-place", whole});
        QVERIFY(place.exitCode == 0 && place.out.startsWith("glimra:formula?"));
        QCOMPARE(runTool({"--place", QString::fromUtf8(place.out.trimmed()), "--density", "2", "--samples", "2", "-o",
                          again})
                     .exitCode,
                 0);
        QCOMPARE(picture(again), expected);

        QCOMPARE(runTool({"--from", whole, "-o", again}).exitCode, 0);
        QCOMPARE(contents(again), contents(whole));

        const QString joined = path("joined.png");
        for (const char* part : {"1/2", "2/2"})
            QCOMPARE(runTool({"--from", whole, "--band-rows", "10", "--part", part, "-o", joined}).exitCode, 0);
        QCOMPARE(runTool({"--join", joined}).exitCode, 0);
        QCOMPARE(picture(joined), expected);
        QVERIFY(QFile::remove(joined));
    }

    // What is refused says why (what came from outside shown literally),
    // nothing is written, and a pipe is not waited on.
    void refusals_data()
    {
        QTest::addColumn<QString>("name");  // of the formula file; "fifo" makes a pipe
        QTest::addColumn<QByteArray>("formula");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        const QString place = "glimra:formula?formula=" + formulaOfLength(8193).toPercentEncoding();
        QTest::newRow("wrong formula") << "wrong\x1b.glimra" << QByteArray("x0 = 0\ny0 = 0\nred = 2 * \ngreen = 1\n")
                                       << QStringList{}
                                       << "wrong\\x1b.glimra: line 3, column 11: a value was expected after '*'";
        QTest::newRow("control character") << "c.glimra" << QByteArray("x0 = 0; y0 = 0\x1b\n") << QStringList{}
                                           << "c.glimra holds a control character";
        QTest::newRow("pipe") << "fifo" << QByteArray() << QStringList{} << "fifo is a pipe";
        QTest::newRow("longest formula and one byte") << "long.glimra" << formulaOfLength(65537) << QStringList{}
                                                      << "long.glimra is longer than a formula may be (65536 bytes)";
        QTest::newRow("place's longest formula and one byte")
            << QString() << QByteArray() << QStringList{"--place", place}
            << "the formula is longer than a place carries (8192 bytes)";
        QTest::newRow("formula and pattern")
            << "tide.glimra" << formulaOfLength(900) << QStringList{"dune"} << "give a pattern or --formula, not both";
    }
    void refusals()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, formula);
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        if (name == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path(name)).constData(), 0600), 0);
        else if (!name.isEmpty())
            QVERIFY(write(path(name), formula));
        if (!name.isEmpty())
            args << "--formula" << path(name);
        const QString out = path("refused.png");
        const Run r = runTool(args + QStringList{"-o", out});
        QVERIFY2(r.exitCode == 2 && r.err.contains(said) && !r.err.contains(QChar(0x1b)), qPrintable(r.err));
        QVERIFY(!QFile::exists(out));
    }

    // A place carries a formula at its bound, and a PNG the longest formula
    // (one byte more of either is refused above).
    void formulasAtTheirBounds()
    {
        const QString file = path("longest.glimra"), out = path("longest.png"), again = path("again.png");
        QVERIFY(write(file, formulaOfLength(8192)));
        QCOMPARE(runTool({"--formula", file, "--size", "8", "-o", out}).exitCode, 0);
        const Run place = runTool({"--print-place", out});
        QCOMPARE(place.exitCode, 0);
        QCOMPARE(runTool({"--place", QString::fromUtf8(place.out.trimmed()), "-o", again}).exitCode, 0);
        QCOMPARE(contents(again), contents(out));

        QVERIFY(write(file, formulaOfLength(65536)));
        QCOMPARE(runTool({"--formula", file, "--size", "8", "-o", out}).exitCode, 0);
        QCOMPARE(runTool({"--from", out, "-o", again}).exitCode, 0);
        QCOMPARE(contents(again), contents(out));
    }

    // The formula's text is part of what makes parts and kept frames belong
    // together: those of another formula, at the same place, are refused.
    void anotherFormulasPartsAndFramesRefused()
    {
        const QString a = QStringLiteral(GLIMRA_EXAMPLES "/tide.glimra"), b = path("tide-changed.glimra");
        QVERIFY(write(b, contents(a).replace("0.25 * w * w", "0.2 * w * w")));
        const QString out = path("mixed.png");
        const QStringList parts = {"--size", "40", "--band-rows", "8", "-o", out, "--part"};
        QCOMPARE(runTool(QStringList{"--formula", a} + parts + QStringList{"1/2"}).exitCode, 0);
        QCOMPARE(runTool(QStringList{"--formula", b} + parts + QStringList{"2/2"}).exitCode, 0);
        QVERIFY(runTool({"--join", out}).exitCode != 0);
        QVERIFY(!QFile::exists(out));

        // The same journey of each formula: a film kept by the first is not
        // taken by the second.
        const QString folder = path("film/"), last = folder + "frame-00003.png";
        auto film = [&](const QString& file) {
            const QString to = "glimra:formula?size=16&zoom=2&formula=" + contents(file).toPercentEncoding();
            return runTool({"--formula", file, "--size", "16", "--to-place", to, "--seconds", "1", "--fps", "3",
                            "--resume", "-o", folder});
        };
        QCOMPARE(film(a).exitCode, 0);
        QVERIFY(QFile::remove(last));
        const Run r = film(b);
        QVERIFY2(r.exitCode == 2 && r.err.contains("frames of another film"), qPrintable(r.err));
        QVERIFY(!QFile::exists(last));
    }
};

QTEST_MAIN(TestFormulaTool)
#include "test_formula_tool.moc"
