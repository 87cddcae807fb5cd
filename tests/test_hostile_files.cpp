// Files and signals as an attacker would choose them. Each hostile file goes
// through glimra-render --from and through the window's open routine, each in
// a child process of its own whose peak memory is measured: it must say what
// is wrong, never hang, and hold no more than a few MiB beyond the file. The
// tool is then stopped by signals, even SIGKILL, with an old file of the same
// name that must survive, and no temporary file may outlive the next write.
#include "test_window_support.h"

#include "window/application.h"
#include "window/places.h"
#include "window/picture_menu.h"
#include "window/qtac.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QWheelEvent>
#include <QtTest>

#include <zlib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A child process started without Qt's help; its standard output and error
// go to files of their own.
struct Child {
    pid_t pid = -1;
    QString out, err;
};

Child start(const QString& program, const QStringList& args, const QString& outFile)
{
    std::vector<QByteArray> bytes{QFile::encodeName(program)};
    for (const QString& a : args)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    Child child;
    child.out = outFile;
    child.err = outFile + ".err";
    const QByteArray out = QFile::encodeName(child.out), err = QFile::encodeName(child.err);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

struct Ended {
    bool finished = false;  // within the time given; else it was killed
    int status = 0;         // as waitpid gives it
    long peakKiB = 0;       // ru_maxrss, when measured
    QString out, err;       // what it printed
};

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

Ended finish(const Child& child, int seconds)
{
    Ended e;
    if (child.pid < 0)
        return e;
    for (int tick = 0; tick < seconds * 100 && !e.finished; ++tick) {
        e.finished = ::waitpid(child.pid, &e.status, WNOHANG) == child.pid;
        if (!e.finished)
            ::usleep(10000);
    }
    if (!e.finished) {
        ::kill(child.pid, SIGKILL);
        ::waitpid(child.pid, &e.status, 0);
    }
    e.out = readText(child.out);
    e.err = readText(child.err);
    return e;
}

// A child's peak memory counts whatever its parent held when it was started,
// so this (large) test starts a small process of its own, which starts the
// program, waits for it (killing it after `seconds`) and reports
// getrusage(RUSAGE_CHILDREN): the program's own peak, plus the little that
// small process holds.
int runMeasure(char** argv)
{
    const int seconds = std::atoi(argv[2]);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[4], nullptr, nullptr, argv + 4, environ) != 0)
        return 1;
    int status = 0;
    bool finished = false;
    for (int tick = 0; tick < seconds * 100 && !finished; ++tick) {
        finished = ::waitpid(pid, &status, WNOHANG) == pid;
        if (!finished)
            ::usleep(10000);
    }
    if (!finished) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    FILE* report = std::fopen(argv[3], "w");
    if (!report)
        return 1;
    std::fprintf(report, "%d %d %ld\n", finished ? 1 : 0, status, usage.ru_maxrss);
    return std::fclose(report) == 0 ? 0 : 1;
}

Ended measure(const QString& program, const QStringList& args, const QString& outFile, int seconds)
{
    const QString report = outFile + ".rusage";
    QFile::remove(report);
    Ended e = finish(start(QCoreApplication::applicationFilePath(),
                           QStringList{"--measure", QString::number(seconds), report, program} + args, outFile),
                     seconds + 60);
    const QStringList numbers = readText(report).split(' ');
    e.finished = e.finished && numbers.size() == 3 && numbers[0] == "1";
    e.status = numbers.size() == 3 ? numbers[1].toInt() : -1;
    e.peakKiB = numbers.size() == 3 ? numbers[2].trimmed().toLong() : -1;
    return e;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QByteArray bigEndian(quint32 v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
}

QByteArray chunk(const QByteArray& type, const QByteArray& data)
{
    const QByteArray body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()));
    return bigEndian(quint32(data.size())) + body + bigEndian(quint32(crc));
}

// `bytes` blanks as one zlib stream, made piece by piece.
QByteArray packedBlanks(qint64 bytes)
{
    z_stream z{};
    deflateInit(&z, 9);
    const QByteArray blanks(1 << 16, ' ');
    QByteArray out;
    char buffer[1 << 16];
    for (qint64 left = bytes; left >= 0; left -= blanks.size()) {
        const bool last = left <= blanks.size();
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(blanks.constData()));
        z.avail_in = uInt(last ? left : blanks.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer, int(sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
        if (last)
            break;
    }
    deflateEnd(&z);
    return out;
}

constexpr long kSlackKiB = 8 * 1024;  // the few MiB a read may hold beyond the file

// The window's open routine in a child of its own: opens one file as Open
// picture… would and says what came of it.
int runOpenChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    glimra::prepareApplication(app);
    qTac w;
    w.Timer1->stop();
    w.show();
    w.pictures()->setComplaint([](const QString& title, const QString& text) {
        std::printf("%s: %s\n", qPrintable(title), qPrintable(text));
    });
    w.pictures()->setOpenChooser([&] { return QString::fromLocal8Bit(argv[2]); });
    w.pictures()->openAction->trigger();
    const QSize painted = w.canvasWidget()->paintedRect().size();
    std::printf("painted %dx%d, size box %lld characters\n", painted.width(), painted.height(),
                qint64(w.TextThree->text().size()));
    return 0;
}

// Text from outside shown by the window, in a child of its own: a place
// (argv[2] "place") or a picture file ("file") named by argv[3] is opened,
// then the wheel is turned over the picture. Every message box and refusal
// note is printed as a person would read it.
int runTextChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    glimra::prepareApplication(app);
    qTac w;
    w.Timer1->stop();
    w.setProgramEnder([] {});
    w.show();
    QTimer boxes;
    QObject::connect(&boxes, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::printf("box %s: %s\n", box->textFormat() == Qt::PlainText ? "plain" : "rich", qPrintable(box->text()));
            box->done(0);
        }
    });
    boxes.start(20);
    const QString what = QString::fromLocal8Bit(argv[3]);
    if (std::strcmp(argv[2], "place") == 0)
        w.places()->openArgument(what);
    else
        w.pictures()->openFile(what);
    auto settle = [] {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    };
    settle();
    const QPoint at(support::kLeft + 2, support::kTop + 2);
    QWheelEvent notch(at, w.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                      false);
    QCoreApplication::sendEvent(&w, &notch);
    settle();
    if (!QToolTip::text().isEmpty()) {
        QTextDocument shown;
        shown.setHtml(QToolTip::text());
        std::printf("note: %s\n", qPrintable(shown.toPlainText()));
    }
    std::printf("done\n");
    return 0;
}

}  // namespace

class TestHostileFiles : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QByteArray ours_;  // a small PNG of ours: signature, IHDR, text chunks, data
    long toolBaseKiB_ = 0, windowBaseKiB_ = 0;

    QString path(const QString& name) const { return dir_.filePath(name); }

    // Our PNG with its glimra-size chunk replaced by `sizeChunk`, or cut
    // after IHDR and followed by `tail` alone.
    QByteArray withSize(const QByteArray& sizeChunk) const { return withSetting("glimra-size", sizeChunk); }

    // Our PNG with its `key` setting's chunk replaced by `replacement`.
    QByteArray withSetting(const QByteArray& key, const QByteArray& replacement) const
    {
        QByteArray out = ours_.left(8);
        const QByteArray named = key + QByteArray(1, '\0');
        for (qsizetype at = 8; at + 12 <= ours_.size();) {
            const quint32 length = quint32(uchar(ours_[at])) << 24 | quint32(uchar(ours_[at + 1])) << 16 |
                                   quint32(uchar(ours_[at + 2])) << 8 | quint32(uchar(ours_[at + 3]));
            const QByteArray whole = ours_.mid(at, 12 + qsizetype(length));
            const bool text = whole.mid(4, 4) == "iTXt" || whole.mid(4, 4) == "tEXt" || whole.mid(4, 4) == "zTXt";
            out += text && whole.mid(8, named.size()) == named ? replacement : whole;
            at += 12 + qsizetype(length);
        }
        return out;
    }

    Ended tool(const QString& from, const QString& out)
    {
        return measure(QStringLiteral(GLIMRA_RENDER_PATH), {"--from", from, "-o", out}, path("tool.txt"), 60);
    }
    Ended window(const QString& file)
    {
        return measure(QCoreApplication::applicationFilePath(), {"--open-child", file}, path("window.txt"), 60);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        qputenv("QT_QPA_PLATFORM", "offscreen");
        const Ended made = finish(start(QStringLiteral(GLIMRA_RENDER_PATH),
                                        {"dune", "--size", "8", "-o", path("ours.png")}, path("made.txt")),
                                  60);
        QVERIFY2(made.finished && made.status == 0, qPrintable(made.err));
        ours_ = contents(path("ours.png"));
        QVERIFY(ours_.contains("glimra-size"));
        // What reading a file of ours costs, to measure the others against.
        for (int k = 0; k < 2; ++k) {
            const Ended t = tool(path("ours.png"), path("again.ppm"));
            QVERIFY2(t.finished && t.status == 0, qPrintable(t.err));
            toolBaseKiB_ = std::max(toolBaseKiB_, t.peakKiB);
            const Ended w = window(path("ours.png"));
            QVERIFY2(w.finished && w.status == 0 && w.out.contains("painted 8x8"), qPrintable(w.out + w.err));
            windowBaseKiB_ = std::max(windowBaseKiB_, w.peakKiB);
        }
    }

    void hostileFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("toolSays");    // empty: it paints
        QTest::addColumn<int>("toolPaints");      // the side of the square it paints
        QTest::addColumn<QString>("windowSays");  // the window always refuses these
        QTest::newRow("chunk length 2^31 - 1") << "bomb"
                                               << "a chunk of 2147483647 bytes runs past the end of the file" << 0
                                               << "a chunk of 2147483647 bytes runs past the end of the file";
        QTest::newRow("100 MB value") << "huge"
                                      << "the setting glimra-size is too long (more than 1 MiB)" << 0
                                      << "the setting glimra-size is too long (more than 1 MiB)";
        QTest::newRow("decompression bomb") << "packed"
                                            << "the setting glimra-size is too long (more than 1 MiB unpacked)" << 0
                                            << "the setting glimra-size is too long (more than 1 MiB unpacked)";
        QTest::newRow("named pipe") << "pipe"
                                    << "is a pipe, not a picture file" << 0 << "is a pipe, not a picture file";
        QTest::newRow("100,000 blanks, then 40")
            << "blanks"
            << "" << 40 << "the setting glimra-size has 100002 characters, more than the 32767 a box holds";
        QTest::newRow("size 1025") << "oversize"
                                   << "" << 1025 << "has the size 1025; the window paints sizes from 1 to 1024";
    }
    void hostileFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, toolSays);
        QFETCH(int, toolPaints);
        QFETCH(QString, windowSays);
        // A relative path, as given: messages must keep it as it is.
        QVERIFY(QDir::setCurrent(dir_.path()));
        const QString file = "cases/" + kind + ".png";
        QDir().mkpath("cases");
        QFile::remove(file);
        const QByteArray ihdr = ours_.mid(8, 25);
        if (kind == "bomb") {
            QVERIFY(writeFile(file, ours_.left(8) + ihdr + bigEndian(0x7fffffff) + "tEXtglimra-size" +
                                        QByteArray(1, '\0') + QByteArray(3000, ' ')));
        } else if (kind == "huge") {
            QVERIFY(writeFile(file,
                              withSize(chunk("tEXt", QByteArray("glimra-size\0", 12) + QByteArray(100'000'000, ' ')))));
        } else if (kind == "packed") {
            QVERIFY(writeFile(
                file, withSize(chunk("zTXt", QByteArray("glimra-size\0\0", 13) + packedBlanks(qint64(200) << 20)))));
        } else if (kind == "pipe") {
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else if (kind == "blanks") {
            QVERIFY(writeFile(
                file, withSize(chunk("tEXt", QByteArray("glimra-size\0", 12) + QByteArray(100'000, ' ') + "40"))));
        } else if (kind == "oversize") {
            QVERIFY(writeFile(file, withSize(chunk("tEXt", QByteArray("glimra-size\0", 12) + "1025"))));
        }
        const long fileKiB = QFileInfo(file).isFile() ? long(QFileInfo(file).size() / 1024) : 0;

        QFile::remove(path("out.ppm"));
        const Ended t = tool(file, path("out.ppm"));
        QVERIFY2(t.finished, "glimra-render --from hung");
        if (toolSays.isEmpty()) {
            QVERIFY2(t.status == 0, qPrintable(t.err));
            QCOMPARE(QImage(path("out.ppm")).size(), QSize(toolPaints, toolPaints));
        } else {
            QVERIFY2(WIFEXITED(t.status) && WEXITSTATUS(t.status) == 2, qPrintable(t.err));
            QVERIFY2(t.err.startsWith("glimra-render: " + file) && t.err.contains(toolSays), qPrintable(t.err));
        }
        // The picture the tool paints is its own memory, not the reading's.
        const long pictureKiB = long(toolPaints) * toolPaints * 4 / 1024 * 2;
        QVERIFY2(
            t.peakKiB <= toolBaseKiB_ + fileKiB + kSlackKiB + pictureKiB,
            qPrintable(
                QString("glimra-render peaked at %1 KiB, %2 KiB for a file of ours").arg(t.peakKiB).arg(toolBaseKiB_)));

        const Ended w = window(file);
        QVERIFY2(w.finished, "the window hung on the file");
        qInfo("peak memory: glimra-render %ld KiB (%ld for a file of ours), window %ld KiB (%ld)", t.peakKiB,
              toolBaseKiB_, w.peakKiB, windowBaseKiB_);
        QVERIFY2(w.status == 0, qPrintable(w.err));
        QVERIFY2(w.out.startsWith("Cannot open picture: " + file) && w.out.contains(windowSays), qPrintable(w.out));
        QVERIFY2(w.out.contains("painted 0x0, size box 3 characters"), qPrintable(w.out));
        QVERIFY2(
            w.peakKiB <= windowBaseKiB_ + fileKiB + kSlackKiB,
            qPrintable(
                QString("the window peaked at %1 KiB, %2 KiB for a file of ours").arg(w.peakKiB).arg(windowBaseKiB_)));
    }

    // Markup and control characters from a place, a file's name or a file's
    // settings are shown as the text they are, at the cost of a short text.
    void hostileTexts_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");  // what a person reads of it
        const QString img = "<img src=/dev/zero>", fileImg = "<img src=file:%2Fdev%2Fzero>";
        const QString esc = "<b>x</b>\x1b]0;owned\x07";
        for (const QString route : {"place pattern", "place x", "file name", "file setting"}) {
            QTest::newRow(qPrintable(route + ", img")) << route << img << img;
            QTest::newRow(qPrintable(route + ", file img")) << route << fileImg << fileImg;
            // A place holds no control characters: that is what it is told.
            QTest::newRow(qPrintable(route + ", escapes"))
                << route << esc
                << (route == "place x" ? "a text holds a control character" : "<b>x</b>\\x1b]0;owned\\x07");
        }
    }
    void hostileTexts()
    {
        QFETCH(QString, route);
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QString mode = "place", what;
        if (route == "place pattern") {
            what = "glimra:" + text;
        } else if (route == "place x") {
            what = "glimra:dune?size=20&x=" + QString::fromLatin1(QUrl::toPercentEncoding(text));
        } else if (route == "file name") {
            // A file whose size the window refuses, so that its name is shown.
            mode = "file";
            what = path(QString(text).replace('/', '_').replace('\x1b', '_').replace('\x07', '_') + ".png");
            shown = QFileInfo(what).fileName();
            QVERIFY(writeFile(what, withSize(chunk("tEXt", QByteArray("glimra-size\0", 12) + "1025"))));
        } else {
            mode = "file";
            what = path("setting.png");
            QVERIFY(
                writeFile(what, withSetting("glimra-x", chunk("tEXt", QByteArray("glimra-x\0", 9) + text.toUtf8()))));
        }
        const Ended w =
            measure(QCoreApplication::applicationFilePath(), {"--text-child", mode, what}, path("text.txt"), 20);
        QVERIFY2(w.finished && w.status == 0 && w.out.contains("done"), qPrintable(w.out + w.err));
        QVERIFY2(
            w.peakKiB <= windowBaseKiB_ + kSlackKiB,
            qPrintable(
                QString("the window peaked at %1 KiB, %2 KiB for a file of ours").arg(w.peakKiB).arg(windowBaseKiB_)));
        QVERIFY2(!w.out.contains("box rich"), qPrintable(w.out));
        QVERIFY2(!w.out.contains(QChar(0x1b)), "a control character reached the screen");
        QVERIFY2(w.out.contains(shown), qPrintable(w.out));
    }

    // Stopped by a signal while writing over an old file: the old file stays
    // as it was, and after the next write to the same name no temporary file
    // is left, even of a process killed outright. Files that merely look like
    // leftovers (of a live process, or not regular files) are kept.
    void signalsLeaveNoTemporary_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGQUIT") << int(SIGQUIT);
        QTest::newRow("SIGUSR1") << int(SIGUSR1);
        QTest::newRow("SIGALRM") << int(SIGALRM);
        QTest::newRow("SIGKILL") << int(SIGKILL);
    }
    void signalsLeaveNoTemporary()
    {
        QFETCH(int, signal);
        QTemporaryDir here;
        const QString target = here.filePath("t.png");
        QVERIFY(writeFile(target, "the old picture"));
        const pid_t gone = ::fork();  // a process that no longer exists
        if (gone == 0)
            ::_exit(0);
        QCOMPARE(::waitpid(gone, nullptr, 0), gone);
        const QStringList kept = {
            QString(".t.png.glimra-%1-abcdef").arg(::getpid()),  // alive
            QString(".t.png.glimra-%1-abc").arg(gone),           // not the pattern
            QString(".t.png.glimra-%1-linkto").arg(gone),        // a link, not a file
        };
        QVERIFY(writeFile(here.filePath(kept[0]), "x"));
        QVERIFY(writeFile(here.filePath(kept[1]), "x"));
        QVERIFY(QFile::link(target, here.filePath(kept[2])));
        auto entries = [&] {
            QStringList names = QDir(here.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
            for (const QString& k : kept)
                names.removeOne(k);
            return names;
        };

        const Child long_ =
            start(QStringLiteral(GLIMRA_RENDER_PATH),
                  {"qwin", "--size", "768", "--density", "8", "--threads", "1", "-o", target}, path("long.txt"));
        QTRY_COMPARE_WITH_TIMEOUT(entries().size(), 2, 20000);  // its temporary file is there
        QVERIFY(entries().join(' ').contains(QString(".t.png.glimra-%1-").arg(long_.pid)));
        ::kill(long_.pid, signal);
        const Ended stopped = finish(long_, 20);
        QVERIFY(stopped.finished);
        if (signal == SIGKILL) {
            QVERIFY(WIFSIGNALED(stopped.status));
        } else {
            QVERIFY2(WIFEXITED(stopped.status) && WEXITSTATUS(stopped.status) == 128 + signal, qPrintable(stopped.err));
            QCOMPARE(entries(), QStringList{"t.png"});
        }
        QCOMPARE(contents(target), QByteArray("the old picture"));

        const Ended second = finish(
            start(QStringLiteral(GLIMRA_RENDER_PATH), {"dune", "--size", "8", "-o", target}, path("second.txt")), 60);
        QVERIFY2(second.finished && second.status == 0, qPrintable(second.err));
        QCOMPARE(entries(), QStringList{"t.png"});
        for (const QString& k : kept)
            QVERIFY2(QFileInfo(here.filePath(k)).exists() || QFileInfo(here.filePath(k)).isSymLink(), qPrintable(k));
        QVERIFY(contents(target).startsWith("\x89PNG"));
    }

    // A failed write says what failed, whatever the format.
    void writeFailuresSayWhy_data()
    {
        QTest::addColumn<QString>("shell");  // run by sh; $R is glimra-render
        QTest::addColumn<QString>("says");
        QTest::newRow("reader goes away")
            << "\"$R\" dune --size 300 -o /dev/stdout | head -c 1 >/dev/null"
            << "glimra-render: cannot write /dev/stdout: the program reading it went away";
        QTest::newRow("file size limit, BMP") << "ulimit -f 20; exec \"$R\" dune --size 300 -o limited.bmp"
                                              << "glimra-render: cannot write limited.bmp: File too large";
        QTest::newRow("file size limit, PNG") << "ulimit -f 20; exec \"$R\" dune --size 300 -o limited.png"
                                              << "glimra-render: cannot write limited.png: File too large";
    }
    void writeFailuresSayWhy()
    {
        QFETCH(QString, shell);
        QFETCH(QString, says);
        QTemporaryDir here;
        QVERIFY(QDir::setCurrent(here.path()));
        qputenv("R", GLIMRA_RENDER_PATH);
        const Ended e = finish(start("/bin/sh", {"-c", shell}, path("failed.txt")), 60);
        QVERIFY(e.finished);
        QVERIFY2(e.err.contains(says), qPrintable(e.err));
        QVERIFY(QDir(here.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    // Written through a link to a set-user-id program: the new picture keeps
    // the old file's read and write bits and nothing else.
    void setuidBitIsNotKept()
    {
        QTemporaryDir here;
        const QString old = here.filePath("program");
        QVERIFY(writeFile(old, "#!/bin/sh\n"));
        QCOMPARE(::chmod(QFile::encodeName(old).constData(), 04755), 0);
        QVERIFY(QFile::link(old, here.filePath("link.png")));
        const Ended e = finish(start(QStringLiteral(GLIMRA_RENDER_PATH),
                                     {"dune", "--size", "8", "-o", here.filePath("link.png")}, path("suid.txt")),
                               60);
        QVERIFY2(e.finished && e.status == 0, qPrintable(e.err));
        QVERIFY(QFileInfo(here.filePath("link.png")).isSymLink());
        QVERIFY(contents(old).startsWith("\x89PNG"));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(old).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0644));
    }
};

int main(int argc, char** argv)
{
    if (argc > 4 && std::strcmp(argv[1], "--measure") == 0)
        return runMeasure(argv);
    if (argc > 2 && std::strcmp(argv[1], "--open-child") == 0)
        return runOpenChild(argc, argv);
    if (argc > 3 && std::strcmp(argv[1], "--text-child") == 0)
        return runTextChild(argc, argv);
    QApplication app(argc, argv);
    TestHostileFiles test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_hostile_files.moc"
