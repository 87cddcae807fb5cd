// Films of a journey between two places: the frames asked for, the ends
// exactly the two places' pictures, no film left by an interruption, and a
// film that resumes where it stopped.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

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

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList frames(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("frame-*.png")}, QDir::Files, QDir::Name);
}

// Starts a film and sends SIGINT once `count` frames are written.
Run interruptAfter(const QStringList& args, const QString& folder, int count)
{
    QProcess p;
    p.start(QStringLiteral(GLIMRA_RENDER_PATH), args);
    if (!p.waitForStarted())
        return {};
    QElapsedTimer clock;
    clock.start();
    while (frames(folder).size() < count && p.state() == QProcess::Running && clock.elapsed() < 60000)
        QThread::msleep(2);
    if (p.state() != QProcess::Running)
        return {};
    ::kill(pid_t(p.processId()), SIGINT);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

class TestFilms : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private slots:
    void pngSequence_data()
    {
        QTest::addColumn<QStringList>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<int>("count");
        QTest::addColumn<QSize>("size");
        QTest::newRow("dune, zooming in and dimming")
            << QStringList{"--place", "glimra:dune?x=1&y=1&size=120&zoom=1&bright=150"}
            << "glimra:dune?x=30&y=20&size=120&zoom=0.25&bright=90" << "1" << 6 << QSize(120, 120);
        QTest::newRow("qwin 1024 x 768, sliding")
            << QStringList{"qwin", "--size", "768", "--zoom", "3"}
            << "glimra:qwin?x=40&y=-10&size=768&zoom=3&bright=150" << "0.5" << 3 << QSize(1024, 768);
        QTest::newRow("dune, zooming out, dense and sampled")
            << QStringList{"dune", "--size", "50", "--density", "2", "--samples", "2"}
            << "glimra:dune?x=-5&y=3&size=50&zoom=4&bright=150" << "0.5" << 3 << QSize(100, 100);
    }

    // The frames asked for, of the size asked for, the first and the last
    // exactly what glimra-render writes for the two places.
    void pngSequence()
    {
        QFETCH(QStringList, start);
        QFETCH(QString, end);
        QFETCH(QString, seconds);
        QFETCH(int, count);
        QFETCH(QSize, size);
        const QString film = path(QTest::currentDataTag()) + "/";
        const Run r = runTool(start + QStringList{"--to-place", end, "--seconds", seconds, "--fps", "6", "-o", film});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QStringList got = frames(film);
        QCOMPARE(got.size(), count);
        for (const QString& f : got)
            QCOMPARE(QImage(film + f).size(), size);
        const QStringList extra = start.mid(start.indexOf("--density") >= 0 ? start.indexOf("--density") : start.size());
        QCOMPARE(runTool(start + QStringList{"-o", path("a.png")}).exitCode, 0);
        QCOMPARE(runTool(QStringList{"--place", end} + extra + QStringList{"-o", path("b.png")}).exitCode, 0);
        QVERIFY(contents(film + got.first()) == contents(path("a.png")));
        QVERIFY(contents(film + got.last()) == contents(path("b.png")));
        // A frame between is neither end.
        QVERIFY(contents(film + got[1]) != contents(path("a.png")));
        QVERIFY(contents(film + got[1]) != contents(path("b.png")));
    }

    // Ctrl+C leaves no film; with --resume it leaves the frames done, and
    // the rerun renders only the rest, to the film an uninterrupted run makes.
    void interrupted_data()
    {
        QTest::addColumn<bool>("resume");
        QTest::newRow("without --resume") << false;
        QTest::newRow("with --resume") << true;
    }

    void interrupted()
    {
        QFETCH(bool, resume);
        const QStringList args = {"qwin", "--size", "160", "--samples", "2", "--threads", "1", "--to-place",
                                  "glimra:qwin?x=10&y=10&size=160&zoom=0.5&bright=120", "--seconds", "2", "--fps",
                                  "10"};
        const QString whole = path("whole/");
        if (frames(whole).isEmpty())
            QCOMPARE(runTool(args + QStringList{"-o", whole}).exitCode, 0);
        const QString film = path(resume ? "resumed/" : "dropped/");
        const QStringList more = resume ? QStringList{"--resume"} : QStringList{};
        const Run stopped = interruptAfter(args + more + QStringList{"-o", film}, film, 4);
        QCOMPARE(stopped.exitCode, 128 + SIGINT);
        if (!resume) {
            QVERIFY(!QDir(film).exists());
            return;
        }
        const int kept = int(frames(film).size());
        QVERIFY(kept >= 4 && kept < 20);
        const Run r = runTool(args + more + QStringList{"-o", film});
        QVERIFY2(r.exitCode == 0 && r.err.contains(QStringLiteral("%1 frames kept from before").arg(kept)),
                 qPrintable(r.err));
        const QStringList got = frames(film);
        QCOMPARE(got, frames(whole));
        for (const QString& f : got)
            QVERIFY2(contents(film + f) == contents(whole + f), qPrintable(f));
    }
};

QTEST_GUILESS_MAIN(TestFilms)
#include "test_films.moc"
