// glimra-render as a user runs it: files, exit codes and what it says.
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int exitCode = -1;
    QString err;
};

Run runTool(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(GLIMRA_RENDER_PATH), args);
    if (!p.waitForFinished(120000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

class TestRenderTool : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

private slots:
    // Both formats decode to the picture size and carry dune's known pixels:
    // image (0, 0) is Canvas (161, 51), image (29, 69) is Canvas (190, 120).
    void writesPngAndPpm_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("png by name") << "d.png" << "dune";
        QTest::newRow("ppm by index") << "d.ppm" << "3";
        QTest::newRow("upper-case name") << "D.PPM" << "DUNE";
    }
    void writesPngAndPpm()
    {
        QFETCH(QString, file);
        QFETCH(QString, pattern);
        const QString out = dir_.filePath(file);
        const Run r = runTool({pattern, "--size", "100", "--threads", "2", "-o", out});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.contains("dune: 100x100, 2 threads") && r.err.contains("completed"), qPrintable(r.err));
        QImage img(out);
        QCOMPARE(img.size(), QSize(100, 100));
        QCOMPARE(img.pixelColor(0, 0), QColor(2, 4, 8));
        QCOMPARE(img.pixelColor(29, 69), QColor(52, 19, 6));
    }

    // 768 paints 1024 x 768; the texts are read as the window reads its boxes.
    void largeSizeAndLenientTexts()
    {
        const QString out = path("wide.ppm");
        QCOMPARE(runTool({"dune", "--size", " 7 6 8abc", "--zoom", "0.15", "-o", out}).exitCode, 0);
        QCOMPARE(QImage(out).size(), QSize(1024, 768));
    }

    // A fault ends the render quietly: the file is written, the unpainted part
    // keeps the window's background colour, and the line says where it stopped.
    void faultKeepsBackground()
    {
        const QString out = path("fault.ppm");
        const Run r = runTool({"dune", "--size", "50", "--bright", "1e308", "--threads", "1", "-o", out});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.contains("stopped by an arithmetic fault at column"), qPrintable(r.err));
        QImage img(out);
        QCOMPARE(img.size(), QSize(50, 50));
        QCOMPARE(img.pixelColor(49, 49), QColor(64, 64, 64));
    }

    void refusalsAndErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown pattern lists names") << QStringList{"nosuch", "-o", "x.png"} << 2 << "dune";
        QTest::newRow("index out of range") << QStringList{"19", "-o", "x.png"} << 2 << "unknown pattern";
        QTest::newRow("unknown option") << QStringList{"dune", "--colour", "-o", "x.png"} << 2 << "unknown option";
        QTest::newRow("missing -o") << QStringList{"dune"} << 2 << "missing -o";
        QTest::newRow("option without value") << QStringList{"dune", "-o"} << 2 << "missing value";
        QTest::newRow("no pattern") << QStringList{"-o", "x.png"} << 2 << "no pattern";
        QTest::newRow("bad threads") << QStringList{"dune", "--threads", "0", "-o", "x.png"} << 2 << "--threads";
        QTest::newRow("bad extension") << QStringList{"dune", "-o", "x.nosuch"} << 2 << "suffix";
        QTest::newRow("too large") << QStringList{"dune", "--size", "70000", "-o", "x.png"} << 2 << "refused";
        QTest::newRow("too dense") << QStringList{"dune", "--size", "2000", "--density", "40", "-o", "x.png"} << 2
                                   << "refused";
        QTest::newRow("large only as png") << QStringList{"dune", "--size", "9000", "-o", "x.ppm"} << 2 << ".png";
        QTest::newRow("bad density") << QStringList{"dune", "--density", "65", "-o", "x.png"} << 2 << "--density";
        QTest::newRow("bad samples") << QStringList{"dune", "--samples", "1.5", "-o", "x.png"} << 2 << "--samples";
        QTest::newRow("from a file that is no png") << QStringList{"--from", "x.png", "-o", "y.png"} << 2
                                                    << "cannot open";
        QTest::newRow("offsets too large") << QStringList{"dune", "--x", "1e17", "-o", "x.png"} << 2 << "refused";
        QTest::newRow("nothing to paint") << QStringList{"dune", "--size", "0", "-o", "x.png"} << 0 << "nothing to paint";
        QTest::newRow("unwritable") << QStringList{"dune", "--size", "5", "-o", "/nonexistent/dir/x.ppm"} << 1
                                    << "cannot write";
    }
    void refusalsAndErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        // relative outputs land in the temporary folder and must not appear
        QFile::remove(dir_.filePath("x.png"));
        QProcess p;
        p.setWorkingDirectory(dir_.path());
        p.start(QStringLiteral(GLIMRA_RENDER_PATH), args);
        QVERIFY(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QCOMPARE(p.exitCode(), exitCode);
        QVERIFY2(err.contains(says), qPrintable(err));
        QCOMPARE(err.count('\n'), 1);
        QVERIFY(!QFile::exists(dir_.filePath("x.png")));
    }

    void helpAndVersion()
    {
        QProcess p;
        p.start(QStringLiteral(GLIMRA_RENDER_PATH), {"--help"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().contains("usage: glimra-render PATTERN"));
        p.start(QStringLiteral(GLIMRA_RENDER_PATH), {"--version"});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRenderTool)
#include "test_render_tool.moc"
