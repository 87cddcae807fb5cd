// Films of a journey between two places: the frames asked for, the ends
// exactly the two places' pictures, no film left by an interruption, and a
// film that resumes where it stopped.
#include "tool_support.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace {

using toolsupport::contents;
using toolsupport::Run;
using toolsupport::runTool;

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

// Every frame of a film file, decoded with the libraries that wrote it.
QList<QImage> decode(const QString& path)
{
    QList<QImage> out;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return out;
    avformat_find_stream_info(format, nullptr);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    AVCodecContext* context = index >= 0 ? avcodec_alloc_context3(codec) : nullptr;
    if (context && avcodec_parameters_to_context(context, format->streams[index]->codecpar) >= 0 &&
        avcodec_open2(context, codec, nullptr) >= 0) {
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        SwsContext* scale = nullptr;
        auto receive = [&] {
            while (avcodec_receive_frame(context, frame) >= 0) {
                QImage image(frame->width, frame->height, QImage::Format_RGB32);
                scale = sws_getCachedContext(scale, frame->width, frame->height, AVPixelFormat(frame->format),
                                             frame->width, frame->height, AV_PIX_FMT_BGRA,
                                             SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
                const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
                sws_setColorspaceDetails(scale, bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
                uint8_t* data[1] = {image.bits()};
                const int stride[1] = {int(image.bytesPerLine())};
                sws_scale(scale, frame->data, frame->linesize, 0, frame->height, data, stride);
                out << image;
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == index && avcodec_send_packet(context, packet) >= 0)
                receive();
            av_packet_unref(packet);
        }
        avcodec_send_packet(context, nullptr);
        receive();
        sws_freeContext(scale);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return out;
}

// Peak signal to noise ratio of two pictures of one size, over R, G and B.
double psnr(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                sum += double(d) * d;
        }
    const double mse = sum / (3.0 * a.width() * a.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
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
            << "glimra:dune?x=30&y=20&size=120&zoom=0.25&bright=90"
            << "1" << 6 << QSize(120, 120);
        QTest::newRow("qwin 1024 x 768, sliding") << QStringList{"qwin", "--size", "768", "--zoom", "3"}
                                                  << "glimra:qwin?x=40&y=-10&size=768&zoom=3&bright=150"
                                                  << "0.5" << 3 << QSize(1024, 768);
        QTest::newRow("dune, zooming out, dense and sampled")
            << QStringList{"dune", "--size", "50", "--density", "2", "--samples", "2"}
            << "glimra:dune?x=-5&y=3&size=50&zoom=4&bright=150"
            << "0.5" << 3 << QSize(100, 100);
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
        const QStringList extra =
            start.mid(start.indexOf("--density") >= 0 ? start.indexOf("--density") : start.size());
        QCOMPARE(runTool(start + QStringList{"-o", path("a.png")}).exitCode, 0);
        QCOMPARE(runTool(QStringList{"--place", end} + extra + QStringList{"-o", path("b.png")}).exitCode, 0);
        QVERIFY(contents(film + got.first()) == contents(path("a.png")));
        QVERIFY(contents(film + got.last()) == contents(path("b.png")));
        // A frame between is neither end.
        QVERIFY(contents(film + got[1]) != contents(path("a.png")));
        QVERIFY(contents(film + got[1]) != contents(path("b.png")));
    }

    // An encoded film decodes to the frames asked for, and its ends are the
    // two places' pictures within the codec's loss. These pictures are all
    // fine, saturated lines, which 4:2:0 colour loses most on: the ends score
    // 25 to 36 dB here, a frame of the other end under 9 dB, so the bound is
    // 20 dB (a swapped colour or a frame out of place falls below it).
    void encoded_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("MP4, H.264") << "mp4";
        QTest::newRow("WebM, VP9") << "webm";
    }

    void encoded()
    {
        QFETCH(QString, suffix);
        const QString a = "glimra:dune?x=1&y=1&size=120&zoom=1&bright=150";
        const QString b = "glimra:dune?x=30&y=20&size=120&zoom=0.25&bright=90";
        const QString film = path("film." + suffix);
        const Run r = runTool({"--place", a, "--to-place", b, "--seconds", "1", "--fps", "7", "-o", film});
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        const QList<QImage> got = decode(film);
        QCOMPARE(got.size(), 7);
        QCOMPARE(got.first().size(), QSize(120, 120));
        QCOMPARE(runTool({"--place", a, "-o", path("a.png")}).exitCode, 0);
        QCOMPARE(runTool({"--place", b, "-o", path("b.png")}).exitCode, 0);
        const QImage first(path("a.png")), last(path("b.png"));
        QVERIFY2(psnr(got.first(), first) > 20, qPrintable(QString::number(psnr(got.first(), first))));
        QVERIFY2(psnr(got.last(), last) > 20, qPrintable(QString::number(psnr(got.last(), last))));
        QVERIFY(psnr(got.first(), last) < 15);
    }

    void encodedInterrupted()
    {
        const QString film = path("stopped.mp4");
        QProcess p;
        p.start(QStringLiteral(GLIMRA_RENDER_PATH),
                {"qwin", "--size", "200", "--samples", "3", "--to-place",
                 "glimra:qwin?x=10&y=10&size=200&zoom=0.5&bright=120", "--seconds", "20", "--fps", "10", "-o", film});
        QVERIFY(p.waitForStarted());
        QThread::msleep(1500);
        QCOMPARE(p.state(), QProcess::Running);
        ::kill(pid_t(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 128 + SIGINT);
        QVERIFY(!QFile::exists(film));
        QCOMPARE(QDir(path("")).entryList({".stopped.mp4*"}, QDir::Files | QDir::Hidden).size(), 0);
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
        const QStringList args = {"qwin",      "--size",     "160",
                                  "--samples", "2",          "--threads",
                                  "1",         "--to-place", "glimra:qwin?x=10&y=10&size=160&zoom=0.5&bright=120",
                                  "--seconds", "2",          "--fps",
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

    // The last place is of the first one's pattern and, naming no size, has
    // its size.
    void lastPlace_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("no size") << "glimra:dune?x=5&zoom=0.5" << 0 << "film of 3 frames, 48x48";
        QTest::newRow("another size") << "glimra:dune?x=5&size=40" << 2 << "different sizes";
        QTest::newRow("another pattern") << "glimra:qwin?x=5&size=48" << 2 << "one pattern";
    }
    void lastPlace()
    {
        QFETCH(QString, end);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        const QString folder = path("last-" + QString::number(exitCode) + says.left(3) + "/");
        const Run r =
            runTool({"dune", "--size", "48", "--to-place", end, "--seconds", "1", "--fps", "3", "-o", folder});
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        QCOMPARE(frames(folder).size(), exitCode == 0 ? 3 : 0);
    }

    // A folder that holds another film's frames is refused, with --resume
    // or without: no film is spliced into another, and nothing the run did
    // not write (the other film, a user's file) is replaced or removed.
    void folderWithAnotherFilm_data()
    {
        QTest::addColumn<QStringList>("more");
        QTest::newRow("without --resume") << QStringList{};
        QTest::newRow("with --resume, fewer frames") << QStringList{"--resume"};
    }
    void folderWithAnotherFilm()
    {
        QFETCH(QStringList, more);
        const QString folder = path(more.isEmpty() ? "shared/" : "shared-resumed/");
        const QStringList film = {"--place",    "glimra:dune?x=1&y=1&size=40&zoom=1&bright=150",
                                  "--to-place", "glimra:dune?x=5&zoom=0.5",
                                  "--fps",      "6",
                                  "-o",         folder};
        QCOMPARE(runTool(film + QStringList{"--seconds", "2"}).exitCode, 0);
        QFile mine(folder + "notes.txt");
        QVERIFY(mine.open(QIODevice::WriteOnly) && mine.write("mine") == 4);
        mine.close();
        QMap<QString, QByteArray> before;
        for (const QString& f : QDir(folder).entryList(QDir::Files))
            before[f] = contents(folder + f);
        QCOMPARE(before.size(), 13);
        const Run r = runTool(film + QStringList{"--seconds", "1"} + more);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("frames"), qPrintable(r.err));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), before.size());
        for (auto f = before.cbegin(); f != before.cend(); ++f)
            QVERIFY2(contents(folder + f.key()) == f.value(), qPrintable(f.key()));
    }

    // The video libraries are the film module's alone: the program starts
    // without them, and loads the module from beside its own file (through
    // a link to it too) and from nowhere else, not from the working folder.
    void filmModule()
    {
        QProcess listing;  // what the dynamic loader loads at the start, as ldd lists it
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_TRACE_LOADED_OBJECTS"), QStringLiteral("1"));
        listing.setProcessEnvironment(env);
        listing.start(QStringLiteral(GLIMRA_RENDER_PATH), {});
        QVERIFY(listing.waitForFinished(60000));
        const QByteArray loaded = listing.readAllStandardOutput();
        QVERIFY2(loaded.contains("libQt6Core") && !loaded.contains("libavcodec") && !loaded.contains("libavformat"),
                 loaded.constData());

        const QString module = QStringLiteral(GLIMRA_FILM_MODULE_PATH);
        QVERIFY(QFile::exists(module));
        const QDir root(path("module"));
        for (const char* folder : {"bare", "planted/bin/modules", "planted/lib/glimra", "linked"})
            QVERIFY(root.mkpath(folder));
        QVERIFY(QFile::copy(QStringLiteral(GLIMRA_RENDER_PATH), root.filePath("bare/glimra-render")));
        for (const char* plant : {"planted/bin/glimra-film-encoder.so", "planted/bin/modules/glimra-film-encoder.so",
                                  "planted/lib/glimra/glimra-film-encoder.so"})
            QVERIFY(QFile::copy(module, root.filePath(plant)));
        QVERIFY(QFile::link(QStringLiteral(GLIMRA_RENDER_PATH), root.filePath("linked/glimra-render")));
        auto film = [&](const QString& program, const QString& output) {
            QProcess p;
            p.setWorkingDirectory(root.filePath("planted/bin"));
            p.start(program, {"dune", "--size", "20", "--to-place", "glimra:dune?x=3&size=20&zoom=0.5", "--seconds",
                              "1", "--fps", "2", "-o", output});
            if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
                return Run{};
            return Run{p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
        };
        const QString bare = root.filePath("bare/glimra-render");
        Run r = film(bare, root.filePath("bare.mp4"));
        QVERIFY2(r.exitCode == 2 && r.err.contains("film module"), qPrintable(r.err));
        QVERIFY(!QFile::exists(root.filePath("bare.mp4")));
        QCOMPARE(root.entryList(QDir::Files | QDir::Hidden), QStringList());
        // Frames need no encoder.
        r = film(bare, root.filePath("frames/"));
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(frames(root.filePath("frames")).size(), 2);
        r = film(root.filePath("linked/glimra-render"), root.filePath("linked.webm"));
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(decode(root.filePath("linked.webm")).size(), 2);
    }

    // A link planted at a frame's name is not written through: the file it
    // points at stays as it was; nor is a folder that is a link written into.
    void plantedLinks()
    {
        QFile victim(path("victim"));
        QVERIFY(victim.open(QIODevice::WriteOnly) && victim.write("victim") == 6);
        victim.close();
        QDir(dir_.path()).mkdir("planted");
        QVERIFY(QFile::link(path("victim"), path("planted/frame-00002.png")));
        QVERIFY(QFile::link(path("planted"), path("linked")));
        const QStringList film = {"dune",      "--size", "40",    "--to-place", "glimra:dune?x=5&size=40&zoom=0.5",
                                  "--seconds", "1",      "--fps", "3"};
        for (const QString& folder : {path("planted/"), path("linked/")}) {
            for (const QStringList& more : {QStringList{}, QStringList{"--resume"}}) {
                const Run r = runTool(film + more + QStringList{"-o", folder});
                QVERIFY2(r.exitCode == 2 && r.err.contains("link"), qPrintable(r.err));
                QCOMPARE(contents(path("victim")), QByteArray("victim"));
                QCOMPARE(frames(path("planted/")), QStringList{"frame-00002.png"});
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestFilms)
#include "test_films.moc"
