// glimra-render as a user runs it: files, exit codes and what it says.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Run {
    int exitCode = -1;
    QString err;
};

Run runTool(const QStringList& args, std::function<void()> inChild = {})
{
    QProcess p;
    if (inChild)
        p.setChildProcessModifier(inChild);
    p.start(QStringLiteral(GLIMRA_RENDER_PATH), args);
    if (!p.waitForFinished(120000))
        return {};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

// Runs glimra-render and returns its exit status and peak memory in KiB, as
// the system accounts it for that one child.
std::pair<int, long> runMeasured(const QStringList& args)
{
    std::vector<QByteArray> owned{QByteArrayLiteral(GLIMRA_RENDER_PATH)};
    for (const QString& a : args)
        owned.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status))
        return {-1, 0};
    return {WEXITSTATUS(status), usage.ru_maxrss};
}

QImage picture(const QString& path) { return QImage(path).convertToFormat(QImage::Format_RGB32); }

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
        QTest::newRow("png by name") << "d.png"
                                     << "dune";
        QTest::newRow("ppm by index") << "d.ppm"
                                      << "3";
        QTest::newRow("upper-case name") << "D.PPM"
                                         << "DUNE";
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
        QTest::newRow("from a file that is no png")
            << QStringList{"--from", "x.png", "-o", "y.png"} << 2 << "cannot open";
        QTest::newRow("offsets too large") << QStringList{"dune", "--x", "1e17", "-o", "x.png"} << 2 << "refused";
        QTest::newRow("nothing to paint")
            << QStringList{"dune", "--size", "0", "-o", "x.png"} << 0 << "nothing to paint";
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

    // The picture has the rows and columns the scan runs, not the whole part
    // of the size: near 9e15 the scan's bounds round to cover one more.
    void sizeFromTheScan_data()
    {
        QTest::addColumn<QStringList>("offset");
        QTest::addColumn<QSize>("size");
        QTest::newRow("rows") << QStringList{"--y", "-9E15"} << QSize(2, 3);
        QTest::newRow("columns") << QStringList{"--x", "-9E15"} << QSize(3, 2);
    }
    void sizeFromTheScan()
    {
        QFETCH(QStringList, offset);
        QFETCH(QSize, size);
        const QString out = path("edge.png");
        QCOMPARE(runTool(QStringList{"aries", "--size", "2.5", "-o", out} + offset).exitCode, 0);
        QCOMPARE(picture(out).size(), size);
    }

    // A picture written in bands of rows is the picture written in one piece,
    // also where an arithmetic fault ends the scan in a later band left of
    // columns that earlier bands already held; and a dense picture holds the
    // plain one at every K-th pixel.
    void bandsAndDensity_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("dune") << QStringList{"dune", "--size", "60"};
        QTest::newRow("dune, fault in a later band") << QStringList{"dune", "--size", "60", "--bright", "3e306"};
        QTest::newRow("dune, fault at an earlier column") << QStringList{"dune", "--size", "60", "--bright", "1e307"};
        QTest::newRow("qwin, fault") << QStringList{"qwin", "--size", "60", "--zoom", "3", "--bright", "1e306"};
        QTest::newRow("celt, odd origin") << QStringList{"celt", "--size", "61", "--x", "-7", "--y", "12"};
        QTest::newRow("dune, zoom overflows before the scan") << QStringList{"dune", "--size", "30", "--zoom", "1e308"};
    }
    void bandsAndDensity()
    {
        QFETCH(QStringList, args);
        const Run whole = runTool(args + QStringList{"-o", path("whole.png")});
        const Run banded = runTool(args + QStringList{"--band-rows", "7", "-o", path("banded.png")});
        QCOMPARE(whole.exitCode, 0);
        QCOMPARE(banded.exitCode, 0);
        QCOMPARE(banded.err.section(',', -1), whole.err.section(',', -1));  // how it ended, fault place included
        const QImage plain = picture(path("whole.png"));
        QCOMPARE(picture(path("banded.png")), plain);

        const Run dense = runTool(args + QStringList{"--density", "2", "--band-rows", "9", "-o", path("dense.png")});
        QCOMPARE(dense.exitCode, 0);
        const QImage twice = picture(path("dense.png"));
        QCOMPARE(twice.size(), plain.size() * 2);
        if (whole.err.contains("fault"))
            return;  // a dense scan meets other pixels first, so it may fault elsewhere
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x)
                if (twice.pixel(2 * x + 1, 2 * y + 1) != plain.pixel(x, y))
                    QFAIL(qPrintable(QString("dense (%1, %2) differs").arg(2 * x + 1).arg(2 * y + 1)));
    }

    // A large picture in bands never holds the whole picture: it matches the
    // picture rendered in one piece, and needs far less memory than that.
    void posterInBoundedMemory()
    {
        const QStringList args{"dune", "--size", "3000", "--zoom", "0.05", "-o"};
        const auto [wholeStatus, wholeKiB] = runMeasured(args + QStringList{path("whole.png")});
        const auto [bandStatus, bandKiB] = runMeasured(args + QStringList{path("bands.png"), "--band-rows", "50"});
        QCOMPARE(wholeStatus, 0);
        QCOMPARE(bandStatus, 0);
        QCOMPARE(picture(path("bands.png")), picture(path("whole.png")));
        qInfo("peak memory: %ld KiB in one piece, %ld KiB in bands of 50 rows", wholeKiB, bandKiB);
#if defined(GLIMRA_ASAN)
        QSKIP("an instrumented build's memory is not the program's");
#endif
        const long pictureKiB = 3000L * 3000L * 4 / 1024;
        QVERIFY2(bandKiB < 512 * 1024, "over the bound");
        QVERIFY2(bandKiB < wholeKiB - pictureKiB / 2, "the banded render holds about the whole picture");
    }

    // What a PNG says about how it was made makes it again, bit for bit;
    // options given as well win.
    void fromAPicture()
    {
        const QStringList made{"fun",  "--x",      " 3 0abc", "--y",       "-12.5", "--size", " 6 4",          "--zoom",
                               "0.7x", "--bright", "90",      "--samples", "2",     "-o",     path("made.png")};
        QCOMPARE(runTool(made).exitCode, 0);
        QCOMPARE(runTool({"--from", path("made.png"), "-o", path("again.png")}).exitCode, 0);
        QCOMPARE(picture(path("again.png")), picture(path("made.png")));

        QCOMPARE(
            runTool({"--from", path("made.png"), "--bright", "40", "--samples", "1", "-o", path("dim.png")}).exitCode,
            0);
        QCOMPARE(runTool({"fun", "--x", "30", "--y", "-12.5", "--size", "64", "--zoom", "0.7", "--bright", "40", "-o",
                          path("direct.png")})
                     .exitCode,
                 0);
        QCOMPARE(picture(path("dim.png")), picture(path("direct.png")));
    }

    // A file is written whole or not at all: a write that fails part-way (a
    // file size limit stands in for a full disk) leaves the good file of that
    // name as it was and no temporary file; a device that refuses writes fails
    // cleanly.
    void failedWritesKeepTheOldFile()
    {
        QDir(dir_.path()).mkdir("full");
        const QString good = dir_.filePath("full/picture.png");
        QCOMPARE(runTool({"dune", "--size", "20", "-o", good}).exitCode, 0);
        const QByteArray before = contents(good);
        const Run r = runTool({"dune", "--size", "300", "-o", good}, [] {
            const rlimit small{20000, 20000};
            ::setrlimit(RLIMIT_FSIZE, &small);
        });
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("cannot write"), qPrintable(r.err));
        QCOMPARE(contents(good), before);
        QCOMPARE(QDir(dir_.filePath("full")).entryList(QDir::Files | QDir::Hidden).size(), 1);

        QVERIFY(QFile::link("/dev/full", path("full.png")));
        const Run device = runTool({"dune", "--size", "20", "-o", path("full.png")});
        QCOMPARE(device.exitCode, 1);
        QVERIFY2(device.err.contains("cannot write"), qPrintable(device.err));
    }

    // Interrupted: no file left behind, exit 128 + the signal.
    void interruptedLeavesNothing_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }
    void interruptedLeavesNothing()
    {
        QFETCH(int, signal);
        QTemporaryDir here;
        QProcess p;
        p.start(QStringLiteral(GLIMRA_RENDER_PATH),
                {"qwin", "--size", "768", "--density", "8", "--threads", "1", "-o", here.filePath("long.png")});
        QVERIFY(p.waitForStarted());
        // Once the temporary file exists the render is under way.
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(here.path()).entryList(QDir::Files | QDir::Hidden).isEmpty(), 20000);
        ::kill(pid_t(p.processId()), signal);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 128 + signal);
        QVERIFY(QDir(here.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // Stopped before its one band is done, --resume leaves no empty folder.
    void interruptedResumeLeavesNoFolder()
    {
        QTemporaryDir here;
        QProcess p;
        p.start(QStringLiteral(GLIMRA_RENDER_PATH), {"qwin", "--size", "300", "--samples", "8", "--threads", "1",
                                                     "--resume", "-o", here.filePath("one.png")});
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QDir(here.filePath("one.png.parts")).exists(), 20000);
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 128 + SIGINT);
        QCOMPARE(QDir(here.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    // A pipe nobody reads is refused at once instead of waiting forever; one
    // that is read, and standard output, get the picture.
    void pipes()
    {
        const QByteArray fifo = QFile::encodeName(path("pipe.png"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const Run unread = runTool({"dune", "--size", "20", "-o", path("pipe.png")});
        QCOMPARE(unread.exitCode, 1);
        QVERIFY2(unread.err.contains("nobody reads"), qPrintable(unread.err));

        const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        QProcess p;
        p.start(QStringLiteral(GLIMRA_RENDER_PATH), {"dune", "--size", "20", "-o", path("pipe.png")});
        QByteArray read;
        char buffer[4096];
        // Whatever the program wrote stays in the pipe after it ends.
        for (bool ended = false;;) {
            const ssize_t n = ::read(reader, buffer, sizeof buffer);
            if (n > 0)
                read.append(buffer, n);
            else if (ended)
                break;
            else
                ended = p.waitForFinished(10) || p.state() == QProcess::NotRunning;
        }
        ::close(reader);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QImage::fromData(read).size(), QSize(20, 20));

        QProcess out;
        out.start(QStringLiteral(GLIMRA_RENDER_PATH), {"dune", "--size", "20", "-o", "/dev/stdout"});
        QVERIFY(out.waitForFinished(60000));
        QCOMPARE(out.exitCode(), 0);
        QCOMPARE(QImage::fromData(out.readAllStandardOutput()).size(), QSize(20, 20));
    }

    // The toolkit's graphics are a module's, loaded only for what needs
    // them: a PNG or PPM render never loads them; the gallery's captions and
    // the toolkit's formats do, from beside the program's own file (through
    // a link to it too) and from nowhere else, not from the working folder.
    void toolkitOnlyWhenNeeded()
    {
        const QDir root(path("toolkit"));
        for (const char* folder : {"bare", "planted/modules", "linked"})
            QVERIFY(root.mkpath(folder));
        const QString module =
            QFileInfo(QStringLiteral(GLIMRA_RENDER_PATH)).dir().filePath("modules/glimra-picture-toolkit.so");
        QVERIFY(QFile::exists(module));
        for (const char* plant : {"planted/glimra-picture-toolkit.so", "planted/modules/glimra-picture-toolkit.so"})
            QVERIFY(QFile::copy(module, root.filePath(plant)));
        QVERIFY(QFile::copy(QStringLiteral(GLIMRA_RENDER_PATH), root.filePath("bare/glimra-render")));
        QVERIFY(QFile::link(QStringLiteral(GLIMRA_RENDER_PATH), root.filePath("linked/glimra-render")));
        // The run, with the shared libraries it loaded as the dynamic loader
        // tells them on standard error, and whether it started one.
        auto loaded = [](const QString& err, const QString& library) {
            return err.contains(QRegularExpression("calling init: \\S*/" + QRegularExpression::escape(library)));
        };
        auto run = [&](const QString& program, const QStringList& args) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("libs"));
            p.setProcessEnvironment(env);
            p.setWorkingDirectory(root.filePath("planted"));
            p.start(program, args);
            if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
                return Run{};
            return Run{p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
        };
        const QString tool = QStringLiteral(GLIMRA_RENDER_PATH);
        const QString bare = root.filePath("bare/glimra-render");
        const QStringList dune = {"dune", "--size", "30"};
        struct Case {
            QString program;
            QStringList args;
            QString output;
            int exitCode;
            bool toolkit;  // the toolkit's graphics loaded
        };
        const Case cases[] = {
            {tool, dune, "plain.png", 0, false},
            {tool, dune, "plain.ppm", 0, false},
            {bare, dune, "bare.png", 0, false},
            {tool, dune, "toolkit.bmp", 0, true},
            {root.filePath("linked/glimra-render"), dune, "linked.bmp", 0, true},
            {tool, {"--gallery", "--size", "30"}, "gallery.png", 0, true},
            {bare, dune, "bare.bmp", 1, false},
            {bare, {"--gallery", "--size", "30"}, "bare-gallery.png", 1, false},
        };
        for (const Case& c : cases) {
            const QString out = path(qPrintable(c.output));
            const Run r = run(c.program, c.args + QStringList{"-o", out});
            // The loader's report is there to read: the tool's own Qt is.
            QVERIFY2(loaded(r.err, "libQt6Core.so.6"), qPrintable(c.output));
            QVERIFY2(r.exitCode == c.exitCode, qPrintable(c.output + ": " + r.err.right(2000)));
            QCOMPARE(loaded(r.err, "libQt6Gui.so.6"), c.toolkit);
            QCOMPARE(loaded(r.err, "glimra-picture-toolkit.so"), c.toolkit);
            QCOMPARE(QFile::exists(out), c.exitCode == 0);
            if (c.exitCode != 0)
                QVERIFY2(r.err.contains("toolkit module is not installed"), qPrintable(r.err.right(2000)));
        }
        const QImage plain = picture(path("plain.png"));
        QCOMPARE(plain.size(), QSize(30, 30));
        QCOMPARE(picture(path("plain.ppm")), plain);
        QCOMPARE(picture(path("bare.png")), plain);
        QCOMPARE(picture(path("toolkit.bmp")), plain);
        QCOMPARE(picture(path("linked.bmp")), plain);
        // Nineteen thumbnails in rows of five, each with its name below it.
        const QImage gallery = picture(path("gallery.png"));
        QCOMPARE(gallery.size(), QSize(5 * (30 + 8) + 8, 4 * (30 + 26 + 8) + 8));
        QCOMPARE(gallery.copy(8 + 3 * (30 + 8), 8, 30, 30), plain);  // dune is the fourth
    }

    // Both programs answer --help and --version on standard output, exit 0.
    void helpAndVersion_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QByteArray>("says");
        QTest::newRow("glimra-render --help")
            << GLIMRA_RENDER_PATH << "--help" << QByteArray("usage: glimra-render PATTERN");
        QTest::newRow("glimra-render --version") << GLIMRA_RENDER_PATH << "--version" << QByteArray("glimra-render 4.");
        QTest::newRow("glimra --help") << GLIMRA_WINDOW_PATH << "--help" << QByteArray("usage: glimra");
        QTest::newRow("glimra --version") << GLIMRA_WINDOW_PATH << "--version" << QByteArray("glimra 4.");
    }
    void helpAndVersion()
    {
        QFETCH(QString, program);
        QFETCH(QString, option);
        QFETCH(QByteArray, says);
        QProcess p;
        p.start(program, {option});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().startsWith(says));
    }

    // What a user gets told about what was read: a value the lenient reading
    // takes only the start of, a misspelt option; texts from outside (a PNG's
    // settings, a file name) reach the terminal with their control characters
    // made visible, and the PNG library prints nothing of its own.
    void saysWhatItRead_data()
    {
        QCOMPARE(runTool({"dune", "--size", "8", "--x", "\x1b]0;owned\x07\x1b[31m1", "-o", path("esc.png")}).exitCode,
                 0);
        QFile broken(path("broken.png"));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write(contents(path("esc.png")).left(60)) == 60);
        broken.close();

        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("comma for a point") << QStringList{"dune", "--size", "8", "--zoom", "0,5", "-o", path("c.png")}
                                           << 0 << "zoom '0,5' is not wholly a number; it is read as 0";
        QTest::newRow("misspelt option") << QStringList{"dune", "--zom", "3", "-o", path("c.png")} << 2
                                         << "Did you mean --zoom?";
        QTest::newRow("escapes in a PNG's settings")
            << QStringList{"--from", path("esc.png"), "-o", path("c.png")} << 0 << "x '\\x1b]0;owned\\x07\\x1b[31m1'";
        QTest::newRow("escape in a file name")
            << QStringList{"--from", path("no\x1b[2J.png"), "-o", path("c.png")} << 2 << "no\\x1b[2J.png";
        QTest::newRow("broken PNG, --print-place")
            << QStringList{"--print-place", path("broken.png")} << 1 << "damaged";
    }
    void saysWhatItRead()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        QProcess p;
        p.start(QStringLiteral(GLIMRA_RENDER_PATH), args);
        QVERIFY(p.waitForFinished(60000));
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(p.exitCode(), exitCode);
        QVERIFY2(err.contains(says.toUtf8()), err.constData());
        QVERIFY2(!err.contains("libpng"), err.constData());
        for (const char c : err)
            QVERIFY2(c == '\n' || static_cast<unsigned char>(c) >= 0x20, err.toPercentEncoding().constData());
    }
};

QTEST_GUILESS_MAIN(TestRenderTool)
#include "test_render_tool.moc"
