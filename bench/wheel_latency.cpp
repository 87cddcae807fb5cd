// Times a wheel notch over the picture to the first column of the new render
// on screen, for a picture at rest and for one being painted. The notch comes
// from xdotool, through the X server, as a user's would.
//
// usage (under an X display, e.g. xvfb-run -s "-screen 0 1600x1200x24"):
//   glimra-wheel-latency [RUNS] [PATTERN-INDEX] [SIZE] [ZOOM]
//   defaults: 10 15 768 0.15 (qwin, 1024 x 768)
// Prints the median and range of each, from starting xdotool and from the
// notch's arrival in the program.
#include "latency.h"
#include "window/application.h"
#include "window/qtac.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    glimra::prepareApplication(app);
    const QStringList args = QApplication::arguments();
    const int runs = args.size() > 1 ? std::max(1, args[1].toInt()) : 10;
    const int index = args.size() > 2 ? std::clamp(args[2].toInt(), 0, 18) : 15;
    const QString size = args.size() > 3 ? args[3] : QStringLiteral("768");
    const QString zoom = args.size() > 4 ? args[4] : QStringLiteral("0.15");

    qTac w;
    w.move(0, 0);
    w.show();
    w.activateWindow();
    QElapsedTimer waiting;
    waiting.start();
    while (!(w.windowHandle() && w.windowHandle()->isExposed()) && waiting.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QApplication::processEvents();
    w.TextThree->setText(size);
    w.TextFour->setText(zoom);
    w.CMD_Click(qint16(index));

    LatencyWatch watch;
    watch.isCause = [](const QEvent* e) { return e->type() == QEvent::Wheel; };
    watch.canvas = w.canvasWidget();
    watch.clock.start();
    app.installEventFilter(&watch);
    long renders = 0;
    int level1Column = -1;
    bool busyTrigger = false;
    qint64 sent = 0;
    const QPoint at = w.mapToGlobal(QPoint(161 + 300, 51 + 200));
    auto notch = [&](int button) {
        sent = watch.clock.nsecsElapsed();
        QProcess::startDetached(QStringLiteral("xdotool"), {"mousemove", QString::number(at.x()),
                                                            QString::number(at.y()), "click", QString::number(button)});
    };
    w.columnPainted = [&](int, long column) {
        level1Column = int(column);
        if (column == 0 && watch.armed && watch.arrived >= 0)
            watch.firstColumn = true;
        if (busyTrigger && column == 200) {
            busyTrigger = false;
            watch.armed = true;
            notch(renders % 2 ? 5 : 4);
        }
    };
    (void)level1Column;

    for (const bool busy : {false, true}) {
        std::vector<double> fromSend, fromArrival;
        for (int run = 0; run < runs; ++run) {
            watch.arrived = watch.shown = -1;
            watch.firstColumn = false;
            if (busy) {
                // Start a render and send the notch while it paints column 200.
                busyTrigger = true;
                w.CMD_Click(qint16(index));
            } else {
                watch.armed = true;
                notch(renders % 2 ? 5 : 4);
            }
            QElapsedTimer guard;
            guard.start();
            while (watch.shown < 0 && guard.elapsed() < 20000)
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            // Let the new render finish before the next notch.
            while ((w.renderDepth() > 0 || w.session().startPending()) && guard.elapsed() < 20000)
                QApplication::processEvents(QEventLoop::AllEvents, 5);
            ++renders;
            if (watch.shown < 0) {
                std::fprintf(stderr, "run %d: no new column within 20 s\n", run);
                return 1;
            }
            fromSend.push_back(double(watch.shown - sent) / 1e6);
            fromArrival.push_back(double(watch.shown - watch.arrived) / 1e6);
        }
        std::printf(
            "%s: notch to first new column on screen, median of %d: %.1f ms from starting xdotool "
            "(%.1f .. %.1f), %.1f ms from the notch's arrival (%.1f .. %.1f)\n",
            busy ? "while painting" : "at rest", runs, median(fromSend),
            *std::min_element(fromSend.begin(), fromSend.end()), *std::max_element(fromSend.begin(), fromSend.end()),
            median(fromArrival), *std::min_element(fromArrival.begin(), fromArrival.end()),
            *std::max_element(fromArrival.begin(), fromArrival.end()));
    }
    return 0;
}
