// Times renders in the window: from the click on a pattern button to the end
// of its render (the last column painted and the screen refreshed), as a user
// sees it. Runs the real window on whatever platform Qt is given (offscreen, or
// an X display).
//
// usage: glimra-window-bench [RUNS] [SIZE] [ZOOM] [PATTERN-INDEX]
//        defaults: 5 768 0.15 3 (dune, 1024 x 768)
#include "window/application.h"
#include "window/qtac.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// A left click delivered as the window system would deliver it to the button.
void click(QWidget* button)
{
    const QPointF local = QRectF(button->rect()).center();
    const QPointF global = button->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(button, &press);
    QApplication::sendEvent(button, &release);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    glimra::prepareApplication(app);
    const QStringList args = QApplication::arguments();
    const int runs = args.size() > 1 ? std::max(1, args[1].toInt()) : 5;
    const QString size = args.size() > 2 ? args[2] : QStringLiteral("768");
    const QString zoom = args.size() > 3 ? args[3] : QStringLiteral("0.15");
    const int index = args.size() > 4 ? std::clamp(args[4].toInt(), 0, 18) : 3;

    qTac w;
    glimra::placeCentred(w);
    w.show();
    QElapsedTimer waiting;
    waiting.start();
    while (!(w.windowHandle() && w.windowHandle()->isExposed()) && waiting.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    QApplication::processEvents();
    w.TextThree->setText(size);
    w.TextFour->setText(zoom);

    long columns = 0;
    w.columnPainted = [&](int, long) { ++columns; };
    std::vector<double> times;
    for (int run = 1; run <= runs; ++run) {
        columns = 0;
        QElapsedTimer clock;
        clock.start();
        click(w.CMD[std::size_t(index)]);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        times.push_back(ms);
        std::printf("run %d: %.1f ms, %ld columns\n", run, ms, columns);
        std::fflush(stdout);
        QApplication::processEvents();
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const double median =
        sorted.size() % 2 ? sorted[sorted.size() / 2] : (sorted[sorted.size() / 2 - 1] + sorted[sorted.size() / 2]) / 2;
    std::printf("platform %s, median of %d: %.1f ms\n", qPrintable(QGuiApplication::platformName()), runs, median);
    return 0;
}
