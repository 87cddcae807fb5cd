// The window on screens of every size and density: each case runs this program
// again as a child on a virtual screen of that size (the offscreen platform's
// screen configuration, and an X server where one can be started), where the
// window must lie inside the screen's available area and every control must
// be reachable by scrolling and clickable. On a screen that holds the design
// nothing may change. Runs the dense picture check where the screen's ratio
// is 2.
#include "test_window_support.h"

#include "picture/picture_file.h"
#include "window/application.h"
#include "window/picture_menu.h"
#include "window/qtac.h"
#include "window/screen_fit.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QAction>
#include <QStandardPaths>
#include <QWheelEvent>
#include <QWindow>
#include <QtTest>

#include <cstring>
#include <memory>

using namespace support;

namespace {

void sendWheel(QWidget* target, QPoint at, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, modifiers,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &wheel);
}

}  // namespace

// ---------------------------------------------------------------------------
// The child: one screen, the checks on it.

class ScreenChild : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void insideTheScreen();
    void everyControlReachable();
    void wheel();
    void realWheel();
    void anotherScreen();
    void densePicture();
    void startFocus();

private:
    std::unique_ptr<qTac> design_;
    std::unique_ptr<ScreenFit> window_;
    bool holds_ = qEnvironmentVariableIntValue("GLIMRA_SCREEN_HOLDS") != 0;
};

void ScreenChild::init()
{
    design_ = std::make_unique<qTac>();
    design_->setProgramEnder([] {});
    design_->setBrowserStarter([](const QString&) { return true; });
    window_ = std::make_unique<ScreenFit>(*design_);
    window_->fit(true);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
}

void ScreenChild::cleanup()
{
    window_.reset();
    design_.reset();
}

void ScreenChild::insideTheScreen()
{
    const QRect area = window_->availableArea();
    QVERIFY2(area.contains(window_->frameGeometry()), qPrintable(QString("frame %1,%2 %3x%4 outside %5,%6 %7x%8")
                                                                     .arg(window_->frameGeometry().x())
                                                                     .arg(window_->frameGeometry().y())
                                                                     .arg(window_->frameGeometry().width())
                                                                     .arg(window_->frameGeometry().height())
                                                                     .arg(area.x())
                                                                     .arg(area.y())
                                                                     .arg(area.width())
                                                                     .arg(area.height())));
    const bool bars = window_->verticalScrollBar()->isVisible() || window_->horizontalScrollBar()->isVisible();
    QCOMPARE(bars, !holds_);
    if (!holds_) {
        // Taking the room there is, not less.
        QVERIFY(window_->width() == area.width() || window_->height() == area.height());
        return;
    }
    // As the design alone: its size, its place, its pixels.
    QCOMPARE(window_->size(), QSize(qTac::kClientWidth, qTac::kClientHeight));
    QCOMPARE(design_->mapTo(window_.get(), QPoint(0, 0)), QPoint(0, 0));
    const QImage whole = window_->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage alone = design_->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(difference(whole, alone), QString());
}

void ScreenChild::everyControlReachable()
{
    const QList<QWidget*> controls = support::actingControls(*design_);
    QVERIFY(controls.size() >= 48);
    for (QWidget* c : controls) {
        window_->reveal(c);
        const QPoint centre = c->mapTo(window_.get(), c->rect().center());
        const QString name = c->objectName();
        QVERIFY2(window_->viewport()->geometry().contains(centre), qPrintable(name + " not in view"));
        QVERIFY2(window_->childAt(centre) == c, qPrintable(name + " covered"));
        QVERIFY2(window_->availableArea().contains(c->mapToGlobal(c->rect().center())),
                 qPrintable(name + " off the screen"));
        if (auto* box = qobject_cast<TextBox*>(c)) {
            window_->viewport()->setFocus();
            QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
            QVERIFY2(box->hasFocus(), qPrintable(name));
            continue;
        }
        std::unique_ptr<QSignalSpy> spy;
        if (auto* button = qobject_cast<QPushButton*>(c))
            spy = std::make_unique<QSignalSpy>(button, &QPushButton::clicked);
        else
            spy = std::make_unique<QSignalSpy>(static_cast<ClickLabel*>(c), &ClickLabel::clicked);
        QTest::mouseClick(c, Qt::LeftButton, {}, c->rect().center());
        QVERIFY2(spy->count() == 1, qPrintable(name + " not clicked"));
        if (window_->isMinimized()) {
            window_->showNormal();
            QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        }
    }
}

void ScreenChild::wheel()
{
    if (holds_)
        QSKIP("nothing to scroll");
    QScrollBar* bar = window_->verticalScrollBar();
    bar->setValue(0);
    // What the design leaves alone reaches the scroll area's viewport (a
    // synthetic wheel event does not travel up by itself). Over the picture
    // the wheel is the picture's; over a control it scrolls; Shift+wheel
    // scrolls anywhere.
    QWidget* viewport = window_->viewport();
    const QPoint picture = design_->mapTo(viewport, QPoint(600, 100));
    sendWheel(viewport, picture, Qt::NoModifier);
    QCOMPARE(bar->value(), 0);
    sendWheel(viewport, picture, Qt::ShiftModifier);
    const int shifted = bar->value();
    QVERIFY(shifted > 0);
    const QPoint button = design_->CMD[0]->mapTo(viewport, QPoint(5, 5));
    sendWheel(viewport, button, Qt::NoModifier);
    QVERIFY(bar->value() > shifted);
}

void ScreenChild::realWheel()
{
    // Under X the wheel comes from the server, as a person's would: it
    // travels from the control under the pointer up to the scroll area.
    const QString xdotool = QStandardPaths::findExecutable("xdotool");
    if (QGuiApplication::platformName() != "xcb" || xdotool.isEmpty() || holds_)
        QSKIP("needs an X server, xdotool and a window that scrolls");
    QScrollBar* bar = window_->verticalScrollBar();
    bar->setValue(0);
    // A synchronous move to where the pointer already is waits for a motion
    // that never comes (seconds, until xdotool gives up): move only when the
    // place changes.
    QPoint pointer(-1, -1);
    auto wheelAt = [&](QPoint global, bool shift) {
        QStringList args;
        if (global != pointer)
            args << "mousemove"
                 << "--sync" << QString::number(global.x()) << QString::number(global.y());
        pointer = global;
        if (shift)
            args << "keydown"
                 << "shift";
        args << "click"
             << "5";
        if (shift)
            args << "keyup"
                 << "shift";
        QProcess::execute(xdotool, args);
        QTest::qWait(300);
    };
    wheelAt(design_->mapToGlobal(QPoint(600, 100)), false);
    QCOMPARE(bar->value(), 0);
    wheelAt(design_->mapToGlobal(QPoint(600, 100)), true);
    const int shifted = bar->value();
    QVERIFY(shifted > 0);
    wheelAt(design_->CMD[0]->mapToGlobal(QPoint(5, 5)), false);
    QVERIFY(bar->value() > shifted);
}

void ScreenChild::anotherScreen()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() < 2)
        QSKIP("one screen");
    // Moved onto the other screen (as a drag would move it), it fits there.
    QScreen* other = screens[1] == window_->currentScreen() ? screens[0] : screens[1];
    window_->move(other->availableGeometry().topLeft() + QPoint(200, 100));
    QTRY_COMPARE(window_->currentScreen(), other);
    QTRY_VERIFY(other->availableGeometry().contains(window_->frameGeometry()));
    const QSize design(qTac::kClientWidth, qTac::kClientHeight);
    const bool holds =
        other->availableGeometry().width() >= design.width() && other->availableGeometry().height() >= design.height();
    QTRY_COMPARE(window_->verticalScrollBar()->isVisible() || window_->horizontalScrollBar()->isVisible(), !holds);
}

void ScreenChild::densePicture()
{
    const qreal ratio = window_->devicePixelRatioF();
    if (ratio < 2)
        QSKIP("a screen of ratio 1");
    const int K = int(ratio);
    const Texts t{"3.25", "-7", "150", "0.7", "150"};
    setTexts(*design_, t);
    design_->CMD_Click(3);
    QString failure;
    QTemporaryDir dir;
    const QString out = dir.filePath("dense.ppm");
    QProcess p;
    p.start(QStringLiteral(GLIMRA_RENDER_PATH), {"dune", "--x", t.x, "--y", t.y, "--size", t.size, "--zoom", t.zoom,
                                                 "--bright", t.bright, "--density", QString::number(K), "-o", out});
    QVERIFY(p.waitForFinished(300000) && p.exitCode() == 0);
    const QImage expected = QImage(out).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(expected.size(), QSize(150 * K, 150 * K));
    const QImage& canvas = design_->canvas();
    QCOMPARE(canvas.size(), QSize(qTac::kClientWidth * K, qTac::kClientHeight * K));
    const QImage shown =
        canvas.copy(kLeft * K, kTop * K, expected.width(), expected.height()).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(difference(shown, expected), QString());
    // And on the screen, through the window's own painting, where the
    // screen's pixels are the picture's.
    const QImage painted = window_->grab(QRect(design_->mapTo(window_.get(), QPoint(kLeft, kTop)), QSize(150, 150)))
                               .toImage()
                               .convertToFormat(QImage::Format_RGB32);
    if (ratio == K) {
        QCOMPARE(painted.size(), expected.size());
        QCOMPARE(difference(painted, expected), QString());
    }

    // Saved at the screen's resolution it is that picture; at the window's,
    // the plain one.
    const QImage plain = reference("dune", t, &failure);
    QVERIFY2(!plain.isNull(), qPrintable(failure));
    for (const bool dense : {true, false}) {
        const QString path = dir.filePath(dense ? "screen.png" : "window.png");
        QList<QSize> offered;
        design_->pictures()->setSaveChooser([&](const QString&) { return path; });
        design_->pictures()->setResolutionChooser([&](QSize window, QSize screen) {
            offered = {window, screen};
            return std::optional<bool>(dense);
        });
        design_->pictures()->saveAction->trigger();
        QCOMPARE(offered, QList<QSize>({plain.size(), expected.size()}));
        const QImage saved = QImage(path).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(difference(saved, dense ? expected : plain), QString());
        QString why;
        const auto recipe = glimra::readRecipe(path, &why);
        QVERIFY2(recipe, qPrintable(why));
        QCOMPARE(recipe->density, dense ? K : 1);
    }
}

void ScreenChild::startFocus()
{
    // Typing at once goes into the size box, under a window manager too.
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(design_->TextThree));
    // Tab goes round the design's controls only, in the design's order, and
    // comes back to the size box: no stop on the window that holds them.
    QList<QWidget*> order;
    for (int k = 0; k < 200; ++k) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        QVERIFY2(now && design_->isAncestorOf(now), qPrintable(QString("stop %1 outside the design").arg(k)));
        if (now == design_->TextThree)
            break;
        order << now;
    }
    QVERIFY(order.size() >= 40);
    QCOMPARE(order.mid(0, 4),
             (QList<QWidget*>{design_->TextTwo, design_->TextOne, design_->Textfive, design_->Command3}));
    // Return on a button reached with Tab presses that button: the fourth stop
    // is reset, which writes its values into the boxes.
    setTexts(*design_, {"7", "8", "300", "0.5", "99"});
    for (int k = 0; k < 4; ++k)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(design_->Command3));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(texts(*design_), (QStringList{"1", "1", "100", "1", "150"}));
}

// ---------------------------------------------------------------------------
// The parent: one child per screen.

class TestWindowScreens : public QObject {
    Q_OBJECT
private slots:
    void screens_data();
    void screens();
};

namespace {

QString screenConfig(const QTemporaryDir& dir, const QString& screens)
{
    const QString path = dir.filePath("screens.json");
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(QString("{ \"screens\": [ %1 ] }").arg(screens).toUtf8());
    return path;
}

QString screen(int x, int width, int height, double dpr)
{
    return QString(
               "{ \"name\": \"s%1\", \"x\": %1, \"y\": 0, \"width\": %2, \"height\": %3, \"dpi\": 96, "
               "\"dpr\": %4 }")
        .arg(x)
        .arg(width)
        .arg(height)
        .arg(dpr);
}

struct Run {
    int code = -1;
    QString out;
};

Run runChild(const QProcessEnvironment& env)
{
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--screen-child"});
    Run run;
    if (child.waitForFinished(300000) && child.exitStatus() == QProcess::NormalExit)
        run.code = child.exitCode();
    run.out = QString::fromLocal8Bit(child.readAll());
    return run;
}

// An X server of that size for the child, with a window manager when one is
// installed; stopped when the test ends.
struct XServer {
    QProcess server, manager;
    QString display;

    bool start(QSize size)
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty())
            return false;
        for (int n = 90 + int(QCoreApplication::applicationPid() % 50); n < 200; ++n) {
            if (QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)) || QFile::exists(QString("/tmp/.X%1-lock").arg(n)))
                continue;
            display = QString(":%1").arg(n);
            server.start(xvfb, {display, "-screen", "0", QString("%1x%2x24").arg(size.width()).arg(size.height()),
                                "-nolisten", "tcp"});
            for (int wait = 0; wait < 100 && !QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)); ++wait)
                QTest::qWait(50);
            if (!QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)))
                return false;
            const QString wm = QStandardPaths::findExecutable("openbox");
            if (!wm.isEmpty()) {
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert("DISPLAY", display);
                manager.setProcessEnvironment(env);
                manager.start(wm, {});
                QTest::qWait(1000);
            }
            return true;
        }
        return false;
    }

    ~XServer()
    {
        for (QProcess* p : {&manager, &server})
            if (p->state() != QProcess::NotRunning) {
                p->terminate();
                p->waitForFinished(5000);
            }
    }
};

}  // namespace

void TestWindowScreens::screens_data()
{
    QTest::addColumn<QString>("platform");  // "offscreen" or "xcb"
    QTest::addColumn<QString>("screens");   // offscreen: the screens; xcb: WIDTHxHEIGHT
    QTest::addColumn<bool>("holds");        // the screen holds the design at 1 : 1
    QTest::newRow("offscreen 1920x1200") << "offscreen" << screen(0, 1920, 1200, 1) << true;
    QTest::newRow("offscreen 1366x768") << "offscreen" << screen(0, 1366, 768, 1) << false;
    QTest::newRow("offscreen 1024x600") << "offscreen" << screen(0, 1024, 600, 1) << false;
    // The offscreen screens' sizes are in window pixels, whatever the ratio.
    QTest::newRow("offscreen 1366x768 at ratio 2") << "offscreen" << screen(0, 1366, 768, 2) << false;
    QTest::newRow("offscreen 1920x1200 at ratio 2") << "offscreen" << screen(0, 1920, 1200, 2) << true;
    // A fractional ratio paints at the whole density below it.
    QTest::newRow("offscreen 1920x1200 at ratio 2.5") << "offscreen" << screen(0, 1920, 1200, 2.5) << true;
    QTest::newRow("offscreen 1920x1200 beside 1280x720")
        << "offscreen" << screen(0, 1920, 1200, 1) + ", " + screen(1920, 1280, 720, 1) << true;
    QTest::newRow("offscreen 1280x720 beside 1920x1200")
        << "offscreen" << screen(0, 1280, 720, 1) + ", " + screen(1280, 1920, 1200, 1) << false;
    QTest::newRow("Xvfb 1366x768") << "xcb"
                                   << "1366x768" << false;
    QTest::newRow("Xvfb 1280x720") << "xcb"
                                   << "1280x720" << false;
}

void TestWindowScreens::screens()
{
    QFETCH(QString, platform);
    QFETCH(QString, screens);
    QFETCH(bool, holds);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("GLIMRA_SCREEN_HOLDS", holds ? "1" : "0");
    QTemporaryDir dir;
    XServer x;
    if (platform == "offscreen") {
        env.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + screenConfig(dir, screens));
    } else {
        const QStringList size = screens.split('x');
        if (!x.start(QSize(size[0].toInt(), size[1].toInt())))
            QSKIP("no X server can be started here");
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("DISPLAY", x.display);
        // The X keymap library reads its strings with strndup past their end
        // (bounded by a length, so harmless); AddressSanitizer's strict string
        // checks would stop every X client at its start.
        if (env.contains("ASAN_OPTIONS"))
            env.insert("ASAN_OPTIONS",
                       env.value("ASAN_OPTIONS").replace("strict_string_checks=1", "strict_string_checks=0"));
    }
    const Run run = runChild(env);
    QVERIFY2(run.code == 0, qPrintable(run.out));
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--screen-child") == 0) {
        QApplication app(argc, argv);
        glimra::prepareApplication(app);
        ScreenChild child;
        return QTest::qExec(&child, 1, argv);
    }
    QApplication app(argc, argv);
    TestWindowScreens test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_window_screens.moc"
