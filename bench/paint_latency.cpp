// Times the pattern editor's Paint to the first column of the formula's
// picture on screen: a formula the size of qwin's (qwin written as text), a
// comment changed before each run so that every Paint compiles it anew, as
// after an edit. Paint is pressed as Ctrl+Return sent by xdotool to the
// editor's window, through the X server, as a person's would be.
//
// usage (under an X display with a window manager, e.g.
//   xvfb-run -s "-screen 0 1600x1200x24" sh -c 'openbox & sleep 1; build/glimra-paint-latency'):
//   glimra-paint-latency [RUNS] [SIZE] [ZOOM]
//   defaults: 10 768 0.15 (1024 x 768)
// Prints the median and range, from starting xdotool and from the key's
// arrival in the program.
#include "formula/formula.h"
#include "latency.h"
#include "window/application.h"
#include "window/pattern_editor.h"
#include "window/qtac.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void waitExposed(QWidget& w)
{
    QElapsedTimer waiting;
    waiting.start();
    while (!(w.windowHandle() && w.windowHandle()->isExposed()) && waiting.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    glimra::prepareApplication(app);
    const QStringList args = QApplication::arguments();
    const int runs = args.size() > 1 ? std::max(1, args[1].toInt()) : 10;
    const QString size = args.size() > 2 ? args[2] : QStringLiteral("768");
    const QString zoom = args.size() > 3 ? args[3] : QStringLiteral("0.15");

    qTac w;
    w.move(0, 0);
    w.show();
    waitExposed(w);
    w.TextThree->setText(size);
    w.TextFour->setText(zoom);
    PatternEditor* editor = w.patternEditor();
    editor->move(w.frameGeometry().right() + 10, 0);
    editor->show();
    waitExposed(*editor);
    const QString qwin = QString::fromUtf8(glimra::formula::builtinText("qwin").data(),
                                           qsizetype(glimra::formula::builtinText("qwin").size()));

    LatencyWatch watch;
    // A shortcut's key comes first as the override question, then (not as a
    // key press) as the shortcut.
    watch.isCause = [](const QEvent* e) {
        return (e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress) &&
               static_cast<const QKeyEvent*>(e)->key() == Qt::Key_Return;
    };
    watch.canvas = w.canvasWidget();
    watch.clock.start();
    app.installEventFilter(&watch);
    w.columnPainted = [&](int, long column) {
        if (column == 0 && watch.armed && watch.arrived >= 0)
            watch.firstColumn = true;
    };
    std::vector<double> fromSend, fromArrival;
    for (int run = 0; run < runs; ++run) {
        editor->setText(qwin + QStringLiteral("\n# run %1\n").arg(run), false);
        editor->activateWindow();
        editor->textArea()->setFocus();
        QApplication::processEvents(QEventLoop::AllEvents, 100);
        watch.arrived = watch.shown = -1;
        watch.firstColumn = false;
        watch.armed = true;
        const qint64 sent = watch.clock.nsecsElapsed();
        QProcess::startDetached(QStringLiteral("xdotool"), {"key", "--clearmodifiers", "ctrl+Return"});
        QElapsedTimer guard;
        guard.start();
        while (watch.shown < 0 && guard.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        while (w.renderDepth() > 0 && guard.elapsed() < 60000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (watch.shown < 0) {
            std::fprintf(stderr, "run %d: no column within 20 s (is the editor focused? a window manager runs?)\n",
                         run);
            return 1;
        }
        fromSend.push_back(double(watch.shown - sent) / 1e6);
        fromArrival.push_back(double(watch.shown - watch.arrived) / 1e6);
    }
    std::printf(
        "Paint to first column on screen (qwin as a formula, compiled each time), median of %d: %.1f ms "
        "from starting xdotool (%.1f .. %.1f), %.1f ms from the key's arrival (%.1f .. %.1f)\n",
        runs, median(fromSend), *std::min_element(fromSend.begin(), fromSend.end()),
        *std::max_element(fromSend.begin(), fromSend.end()), median(fromArrival),
        *std::min_element(fromArrival.begin(), fromArrival.end()),
        *std::max_element(fromArrival.begin(), fromArrival.end()));
    return 0;
}
