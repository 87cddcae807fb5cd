// Large pictures rendered in bands that survive a kill (--resume) and that
// are spread over several processes (--part, --join): the file at the end is
// the one a single uninterrupted run writes, byte for byte.
#include "tool_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using toolsupport::contents;
using toolsupport::Run;
using toolsupport::runTool;

int bandFiles(const QString& folder)
{
    return int(QDir(folder).entryList({QStringLiteral("band-*")}, QDir::Files).size());
}

// Starts a resumable render and kills it once it has kept `bands` bands.
bool killAfter(const QStringList& args, const QString& folder, int bands)
{
    QProcess p;
    p.start(QStringLiteral(GLIMRA_RENDER_PATH), args);
    if (!p.waitForStarted())
        return false;
    QElapsedTimer clock;
    clock.start();
    while (bandFiles(folder) < bands && p.state() == QProcess::Running && clock.elapsed() < 60000)
        QThread::msleep(2);
    const bool inTime = p.state() == QProcess::Running;
    ::kill(pid_t(p.processId()), SIGKILL);
    p.waitForFinished();
    return inTime;
}

void flipByte(const QString& path, qint64 at)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(at));
    char c = 0;
    QVERIFY(f.getChar(&c));
    QVERIFY(f.seek(at));
    QVERIFY(f.putChar(char(c ^ 0x20)));
}

// A band file's fields are little-endian 64-bit numbers; its last four bytes
// are a CRC-32 of the rest, which anyone can compute again.
quint64 numberAt(const QByteArray& file, qint64 at)
{
    quint64 v = 0;
    for (int k = 7; k >= 0; --k)
        v = v << 8 | quint8(file[at + k]);
    return v;
}

void setNumberAt(QByteArray& file, qint64 at, quint64 v)
{
    for (int k = 0; k < 8; ++k)
        file[at + k] = char(v >> (8 * k));
}

void reseal(QByteArray& file)
{
    quint32 crc = 0xffffffffu;
    for (qint64 k = 0; k + 4 < file.size(); ++k) {
        crc ^= quint8(file[k]);
        for (int b = 0; b < 8; ++b)
            crc = crc >> 1 ^ (0xedb88320u & (0u - (crc & 1)));
    }
    crc ^= 0xffffffffu;
    for (int k = 0; k < 4; ++k)
        file[file.size() - 4 + k] = char(crc >> (24 - 8 * k));
}

// Where the header's seven numbers (width, height, band rows, first, end,
// part, parts) begin, past the magic line, the key and the text chunks.
qint64 headerNumbers(const QByteArray& file)
{
    qint64 at = 15;
    at += 8 + qint64(numberAt(file, at));
    const quint64 chunks = numberAt(file, at);
    at += 8;
    for (quint64 c = 0; c < 2 * chunks; ++c)
        at += 8 + qint64(numberAt(file, at));
    return at;
}

}  // namespace

class TestPosters : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    // Slow enough (one thread, samples) to be killed in the middle.
    const QStringList slow_ = {"qwin", "--size", "300", "--samples", "3", "--band-rows", "10"};

private slots:
    void resumeAfterKill_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("killed, then resumed") << QString();
        QTest::newRow("a kept band's data altered") << QStringLiteral("flip");
        QTest::newRow("a kept band cut short") << QStringLiteral("cut");
        QTest::newRow("a band of another picture in its place") << QStringLiteral("foreign");
    }

    // 30 bands; the kill comes after a random number of them are kept.
    void resumeAfterKill()
    {
        QFETCH(QString, damage);
        const QString whole = path("whole.png");
        if (!QFile::exists(whole))
            QCOMPARE(runTool(slow_ + QStringList{"-o", whole}).exitCode, 0);

        const QString out = path("resumed.png");
        const QString folder = out + ".parts";
        QFile::remove(out);
        QDir(folder).removeRecursively();
        const int at = QRandomGenerator::global()->bounded(3, 25);
        const QStringList args = slow_ + QStringList{"--resume", "--threads", "1", "-o", out};
        QVERIFY2(killAfter(args, folder, at), "the render ended before it could be killed");
        QVERIFY(!QFile::exists(out));
        const int kept = bandFiles(folder);
        QVERIFY(kept >= at);

        const QString victim = folder + "/band-1";
        if (damage == "flip") {
            flipByte(victim, QFileInfo(victim).size() / 2);
        } else if (damage == "cut") {
            QVERIFY(QFile::resize(victim, QFileInfo(victim).size() - 100));
        } else if (damage == "foreign") {
            // Band 1 of the same picture but one brightness step dimmer.
            const QString other = path("other.png");
            QDir(other + ".parts").removeRecursively();
            QVERIFY(killAfter(slow_ + QStringList{"--bright", "149", "--resume", "--threads", "1", "-o", other},
                              other + ".parts", 3));
            QVERIFY(QFile::remove(victim));
            QVERIFY(QFile::copy(other + ".parts/band-1", victim));
        }

        const Run r = runTool(args);
        QCOMPARE(r.exitCode, 0);
        // Every kept band is taken, except one that was damaged or foreign.
        const int taken = damage.isEmpty() ? kept : kept - 1;
        QVERIFY2(r.err.contains(QStringLiteral(", %1 bands kept from before").arg(taken)), qPrintable(r.err));
        QVERIFY(contents(out) == contents(whole));
        QVERIFY(!QDir(folder).exists());
    }

    void partsJoin_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("parts");
        QTest::newRow("3 parts of small bands") << QStringList{"qwin", "--size", "200", "--band-rows", "9"} << 3;
        QTest::newRow("more parts than bands") << QStringList{"dune", "--size", "100", "--band-rows", "40"} << 5;
        QTest::newRow("4 parts, sampled, bands by memory")
            << QStringList{"fun", "--size", "300", "--samples", "2"} << 4;
    }

    void partsJoin()
    {
        QFETCH(QStringList, args);
        QFETCH(int, parts);
        const QString whole = path("one.png");
        const QString joined = path("joined.png");
        QCOMPARE(runTool(args + QStringList{"-o", whole}).exitCode, 0);
        // Each part on another thread count: that changes nothing either.
        for (int k = 1; k <= parts; ++k)
            QCOMPARE(runTool(args + QStringList{"--part", QStringLiteral("%1/%2").arg(k).arg(parts), "--threads",
                                                QString::number(k % 2 + 1), "-o", joined})
                         .exitCode,
                     0);
        // Bands chosen by memory are cut so that every part has its share
        // (by memory alone this picture is one band, all in the last part).
        if (!args.contains("--band-rows"))
            for (int k = 1; k <= parts; ++k)
                QVERIFY2(QFileInfo(joined + QStringLiteral(".part-%1-of-%2").arg(k).arg(parts)).size() >
                             QFileInfo(whole).size() / (3 * parts),
                         qPrintable(QStringLiteral("part %1 of %2 has too small a share").arg(k).arg(parts)));
        const Run r = runTool({"--join", joined});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(contents(joined) == contents(whole));
        for (int k = 1; k <= parts; ++k)
            QFile::remove(joined + QStringLiteral(".part-%1-of-%2").arg(k).arg(parts));
    }

    void joinRefuses_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing part") << "missing"
                                      << "part 2 of 3 is missing: %1.part-2-of-3";
        QTest::newRow("part of another recipe") << "foreign"
                                                << "%1.part-2-of-3 is a part of another picture";
        QTest::newRow("damaged part") << "flip"
                                      << "%1.part-2-of-3 is damaged";
        QTest::newRow("part cut short") << "cut"
                                        << "%1.part-2-of-3 is damaged";
        QTest::newRow("part that met a fault") << "fault"
                                               << "%1.part-1-of-3 met an arithmetic fault at column 16";
        // Altered and sealed again: the checksum is no proof.
        QTest::newRow("resealed: band height 2^63 - 1") << "bandrows"
                                                        << "%1.part-2-of-3 is damaged";
        QTest::newRow("resealed: a band of 10^9 rows") << "rows"
                                                       << "%1.part-2-of-3 is damaged";
        QTest::newRow("resealed: compressed bytes altered") << "piece"
                                                            << "%1.part-2-of-3 is damaged";
        QTest::newRow("a pipe at a part's name") << "pipe"
                                                 << "%1.part-2-of-3 is not a regular file";
    }

    void joinRefuses()
    {
        QFETCH(QString, damage);
        QFETCH(QString, message);
        const QString out = path("refused.png");
        QStringList args = {"dune", "--size", "60", "--band-rows", "7"};
        if (damage == "fault")
            args << "--bright"
                 << "3e306";
        for (int k = 1; k <= 3; ++k)
            QCOMPARE(runTool(args + QStringList{"--part", QStringLiteral("%1/3").arg(k), "-o", out}).exitCode, 0);
        const QString second = out + ".part-2-of-3";
        if (damage == "missing")
            QVERIFY(QFile::remove(second));
        if (damage == "foreign")
            QCOMPARE(runTool(args + QStringList{"--zoom", "2", "--part", "2/3", "-o", out}).exitCode, 0);
        if (damage == "flip")
            flipByte(second, QFileInfo(second).size() - 200);
        if (damage == "cut")
            QVERIFY(QFile::resize(second, QFileInfo(second).size() - 9));
        if (damage == "bandrows" || damage == "rows" || damage == "piece") {
            QByteArray part = contents(second);
            const qint64 numbers = headerNumbers(part), band = numbers + 7 * 8;
            const qint64 width = qint64(numberAt(part, numbers));
            QCOMPARE(width, 60);
            if (damage == "bandrows")
                setNumberAt(part, numbers + 2 * 8, 0x7fffffffffffffffull);
            if (damage == "rows")
                setNumberAt(part, band + 2 * 8, 1000000000ull);
            if (damage == "piece") {  // a byte inside the first band's first piece
                const qint64 piece = band + 5 * 8 + 8 + 3 * width + 8 + 8;
                part[piece + 20] = char(part[piece + 20] ^ 0x5a);
            }
            reseal(part);
            QFile f(second);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(part) == part.size());
        }
        if (damage == "pipe") {
            QVERIFY(QFile::remove(second));
            QCOMPARE(::mkfifo(QFile::encodeName(second).constData(), 0600), 0);
        }
        const Run r = runTool({"--join", out});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(message.arg(out)), qPrintable(r.err));
        QVERIFY(!QFile::exists(out));
        for (int k = 1; k <= 3; ++k)
            QFile::remove(out + QStringLiteral(".part-%1-of-3").arg(k));
    }

    // Whoever can plant a link, a pipe or a file at a name this program makes
    // cannot aim its writes, stall it, or have it delete what is not its own.
    void plantedAtDerivedNames_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("message");
        QTest::newRow("link at a part's name") << "part-link"
                                               << "planted.png.part-2-of-2 is a link";
        QTest::newRow("pipe at a part's name") << "part-pipe"
                                               << "planted.png.part-2-of-2 is not a regular file";
        QTest::newRow("kept bands' folder is a link") << "folder-link"
                                                      << "planted.png.parts is a link";
        QTest::newRow("kept bands' folder writable by all") << "folder-open"
                                                            << "can be written by others";
        QTest::newRow("a file of the user's among the bands") << "folder-file"
                                                              << "holds notes.txt, which is no band";
        QTest::newRow("link at a band's name") << "band-link"
                                               << "holds band-0, which is no band";
        QTest::newRow("pipe at a band's name") << "band-pipe"
                                               << "holds band-0, which is no band";
    }

    void plantedAtDerivedNames()
    {
        QFETCH(QString, planted);
        QFETCH(QString, message);
        QTemporaryDir here;
        const QString out = here.filePath("planted.png"), folder = out + ".parts";
        const QString victim = here.filePath("victim.txt"), elsewhere = here.filePath("elsewhere");
        const QByteArray precious = "the user's own words\n";
        {
            QFile v(victim);
            QVERIFY(v.open(QIODevice::WriteOnly) && v.write(precious) == precious.size());
        }
        QVERIFY(QDir().mkpath(elsewhere));
        QVERIFY(QFile::copy(victim, elsewhere + "/notes.txt"));
        auto fifo = [](const QString& at) { return ::mkfifo(QFile::encodeName(at).constData(), 0600) == 0; };
        QStringList args = {"dune", "--size", "40", "--band-rows", "8"};
        if (planted.startsWith("part-")) {
            const QString part = out + ".part-2-of-2";
            QVERIFY(planted == "part-link" ? QFile::link(victim, part) : fifo(part));
            args << "--part"
                 << "2/2";
        } else {
            args << "--resume";
            if (planted == "folder-link") {
                QVERIFY(QFile::link(elsewhere, folder));
            } else {
                QVERIFY(QDir().mkdir(folder));
                QVERIFY(QFile::setPermissions(folder, planted == "folder-open" ? QFileDevice::Permissions(0x7777)
                                                                               : QFileDevice::Permissions(0x7700)));
                if (planted == "folder-file")
                    QVERIFY(QFile::copy(victim, folder + "/notes.txt"));
                if (planted == "band-link")
                    QVERIFY(QFile::link(victim, folder + "/band-0"));
                if (planted == "band-pipe")
                    QVERIFY(fifo(folder + "/band-0"));
            }
        }
        const Run r = runTool(args + QStringList{"-o", out});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(!QFile::exists(out));
        // Nothing the program did not write was written or removed.
        QCOMPARE(contents(victim), precious);
        QCOMPARE(contents(elsewhere + "/notes.txt"), precious);
        if (planted == "folder-file")
            QCOMPARE(contents(folder + "/notes.txt"), precious);
        if (planted.startsWith("band-"))
            QVERIFY(QFileInfo(folder + "/band-0").isSymLink() || QFileInfo(folder + "/band-0").exists());
    }

    // The parts run as GNU parallel's jobs, as on a cluster of hosts.
    void gnuParallel()
    {
        const QString parallel = QStandardPaths::findExecutable(QStringLiteral("parallel"));
        QVERIFY2(!parallel.isEmpty(), "GNU parallel is not installed (scripts/setup.sh installs it)");
        const QStringList args = {"qwin", "--size", "240", "--band-rows", "16"};
        const QString whole = path("piece.png");
        const QString joined = path("spread.png");
        QCOMPARE(runTool(args + QStringList{"-o", whole}).exitCode, 0);
        QProcess p;
        p.start(parallel, QStringList{"--will-cite", "--halt", "now,fail=1", QStringLiteral(GLIMRA_RENDER_PATH)} +
                              args + QStringList{"--part", "{}/4", "-o", joined, ":::", "1", "2", "3", "4"});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(runTool({"--join", joined}).exitCode, 0);
        QVERIFY(contents(joined) == contents(whole));
    }

    // The parts as a Slurm job array, on a one-node Slurm started here (its
    // own munge socket, ports and state in a temporary folder) and stopped
    // after.
    void slurmArray()
    {
        // Its own CTest entry (label cluster) runs it, so that the sanitizer
        // pass can leave Slurm's daemons out and keep this program's tests.
        if (qEnvironmentVariableIsEmpty("GLIMRA_CLUSTER_TEST"))
            QSKIP("run by the test_posters_cluster entry");
        const QStringList sbin = {"/usr/sbin", "/usr/bin"};
        const QString munged = QStandardPaths::findExecutable("munged", sbin);
        const QString slurmctld = QStandardPaths::findExecutable("slurmctld", sbin);
        const QString slurmd = QStandardPaths::findExecutable("slurmd", sbin);
        const QString sbatch = QStandardPaths::findExecutable("sbatch");
        const QString sinfo = QStandardPaths::findExecutable("sinfo");
        const QString squeue = QStandardPaths::findExecutable("squeue");
        QVERIFY2(!munged.isEmpty() && !slurmctld.isEmpty() && !slurmd.isEmpty() && !sbatch.isEmpty(),
                 "Slurm (slurm-wlm) is not installed (scripts/setup.sh installs it)");
        if (::geteuid() != 0 || !QFile::exists("/etc/munge/munge.key"))
            QSKIP("a one-node Slurm is started as root, with the munge key of slurm-wlm's install");
        QTemporaryDir slurm;
        const QString t = slurm.path();
        struct Daemons {
            QString folder;
            ~Daemons()
            {
                for (const char* pid : {"/slurmd.pid", "/slurmctld.pid", "/munged.pid"}) {
                    const int p = QString::fromLatin1(contents(folder + pid)).trimmed().toInt();
                    if (p > 1)
                        ::kill(pid_t(p), SIGTERM);
                }
                QThread::msleep(300);
            }
        } daemons{t};
        const QString socket = t + "/munge.socket";
        QCOMPARE(QProcess::execute(munged, {"--force", "--socket", socket, "--pid-file", t + "/munged.pid",
                                            "--log-file", t + "/munged.log", "--seed-file", t + "/munged.seed"}),
                 0);
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        const QString node = QString::fromLocal8Bit(host).section('.', 0, 0);
        const int port = 20000 + int(::getpid() % 10000) * 2;
        QFile conf(t + "/slurm.conf");
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("ClusterName=glimra\nSlurmctldHost=%1\nAuthType=auth/munge\nAuthInfo=socket=%2\n"
                                  "SlurmctldPort=%3\nSlurmdPort=%4\nProctrackType=proctrack/linuxproc\n"
                                  "TaskPlugin=task/none\nSlurmUser=root\nSlurmdUser=root\n"
                                  "SlurmctldPidFile=%5/slurmctld.pid\nSlurmdPidFile=%5/slurmd.pid\n"
                                  "SlurmdSpoolDir=%5/spool\nStateSaveLocation=%5/state\n"
                                  "SelectType=select/cons_tres\nSchedulerType=sched/builtin\nReturnToService=2\n"
                                  "NodeName=%1 CPUs=%6 State=UNKNOWN\n"
                                  "PartitionName=glimra Nodes=%1 Default=YES MaxTime=INFINITE State=UP\n")
                       .arg(node, socket)
                       .arg(port)
                       .arg(port + 1)
                       .arg(t)
                       .arg(QThread::idealThreadCount())
                       .toUtf8());
        conf.close();
        QVERIFY(QDir(t).mkpath("spool") && QDir(t).mkpath("state"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SLURM_CONF", conf.fileName());
        auto run = [&](const QString& program, const QStringList& args, QString* out = nullptr) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(program, args);
            p.waitForFinished(120000);
            if (out)
                *out = QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
            return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        };
        QCOMPARE(run(slurmctld, {"-f", conf.fileName(), "-L", t + "/slurmctld.log"}), 0);
        QCOMPARE(run(slurmd, {"-f", conf.fileName(), "-L", t + "/slurmd.log"}), 0);
        QString state;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000 && !state.contains("idle")) {
            run(sinfo, {"-h", "-o", "%t"}, &state);
            QThread::msleep(200);
        }
        QVERIFY2(state.contains("idle"), qPrintable("Slurm did not start within a minute: " + state));

        const QStringList args = {"qwin", "--size", "240", "--band-rows", "16"};
        const QString whole = path("slurm-one.png");
        const QString joined = path("slurm.png");
        QCOMPARE(runTool(args + QStringList{"-o", whole}).exitCode, 0);
        QFile job(t + "/poster.sh");
        QVERIFY(job.open(QIODevice::WriteOnly));
        job.write(QStringLiteral("#!/bin/sh\n#SBATCH --array=1-4\n#SBATCH --output=%1/job-%a.log\n"
                                 "exec '%2' %3 --threads 1 --part $SLURM_ARRAY_TASK_ID/4 -o '%4'\n")
                      .arg(t, QStringLiteral(GLIMRA_RENDER_PATH), args.join(' '), joined)
                      .toUtf8());
        job.close();
        QString said;
        QVERIFY2(run(sbatch, {"--parsable", job.fileName()}, &said) == 0, qPrintable(said));
        const QString id = said.trimmed().section(';', 0, 0);
        // Waits for the array to leave the queue, more promptly than
        // sbatch --wait polls.
        QString queued = id;
        clock.restart();
        while (clock.elapsed() < 60000 && !queued.trimmed().isEmpty()) {
            QThread::msleep(200);
            run(squeue, {"-h", "-j", id, "-o", "%i"}, &queued);
        }
        QVERIFY2(queued.trimmed().isEmpty(), "the job array did not end within a minute");
        const Run r = runTool({"--join", joined});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(contents(joined) == contents(whole));
    }
};

QTEST_GUILESS_MAIN(TestPosters)
#include "test_posters.moc"
