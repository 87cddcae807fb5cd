// The window's controls as designed, start-up, the exit and minimize labels
// with their colours over time, and the web-address button.
#include "test_window_support.h"

#include "window/application.h"
#include "window/qtac.h"

#include <QApplication>
#include <QHash>
#include <QHelpEvent>
#include <QFontInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

using support::kGrey;

class TestWindowControls : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void controlTable_data();
    void controlTable();
    void patternButtons();
    void windowAndStartValues();
    void tabOrder();
    void exitLabelColoursOverTime();
    void reactivationBeforeTickKeepsBlue();
    void labelClicks();
    void dragByBackground();
    void browserThatCannotStart();
};

void TestWindowControls::initTestCase() { glimra::prepareApplication(*qApp); }

namespace {
const QColor kNoColour;  // not part of the design: transparent, or the toolkit's

QColor rgb(int r, int g, int b) { return QColor(r, g, b); }

// The installed faces that stand in for the design's.
QStringList facesFor(const QString& design)
{
    if (design == "Courier New")
        return {design, "Liberation Mono"};
    return {design, "DejaVu Sans"};
}
}  // namespace

void TestWindowControls::controlTable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QColor>("back");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<QString>("face");
    QTest::addColumn<int>("pixels");  // points at 96 dpi
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<int>("tab");

    auto row = [](const char* name, const char* kind, const QString& caption, QRect geometry, QColor back, QColor text,
                  const char* face, int pixels, bool bold, const QString& tip, int tab) {
        QTest::newRow(name) << kind << caption << geometry << back << text << QString(face) << pixels << bold << tip
                            << tab;
    };
    const QColor none = kNoColour;
    row("Label4", "label", "<", {8, 4, 17, 17}, rgb(64, 64, 64), rgb(255, 0, 0), "MS Sans Serif", 16, true, "  Exit  ",
        46);
    row("Label2", "label", "exit", {24, 8, 33, 17}, none, rgb(192, 0, 0), "", 0, false, "", 47);
    row("TextFour", "box", "1", {76, 5, 273, 24}, rgb(64, 32, 0), rgb(255, 128, 64), "Verdana", 13, true,
        "  Set the Xoom to a frcation to xoom into the quorbel,  ", 16);
    row("Label17", "label", "X", {356, 4, 20, 25}, rgb(64, 64, 64), rgb(255, 128, 64), "Verdana", 24, true, "", 20);
    row("Label8", "label", "OOM", {376, 8, 41, 17}, rgb(64, 64, 64), rgb(255, 128, 64), "Verdana", 15, true, "", 17);
    row("Label5", "label", "GLIMRA QUORBEL", {568, 8, 223, 25}, none, rgb(128, 128, 128), "Verdana", 11, true, "", 23);
    row("Label6", "label", "VERSION   4.2014", {832, 8, 167, 25}, none, rgb(128, 128, 128), "Verdana", 11, true, "",
        35);
    row("Command1", "button", "https://glimra.example.org/", {992, 8, 193, 22}, rgb(255, 191, 0), none, "Verdana", 11,
        false, "", 52);
    row("Label7", "label", "-", {1240, 0, 17, 25}, rgb(64, 64, 64), rgb(128, 128, 255), "MS Sans Serif", 18, true,
        "minimize", 36);
    row("Label1", "label", "x", {1256, 0, 25, 33}, rgb(64, 64, 64), rgb(128, 128, 255), "MS Sans Serif", 18, true,
        "exit", 14);
    row("cmdXX(0)", "button", "<", {16, 36, 60, 21}, rgb(255, 192, 128), none, "", 0, false, "Log Xoom", 37);
    // 74 2/3 on the design grid: the nearest pixel
    row("cmdXX(1)", "button", ">", {75, 36, 60, 21}, rgb(255, 192, 128), none, "", 0, false, "Log Xoom", 38);
    row("Label3", "label", "", {8, 64, 137, 208}, rgb(0, 0, 0), none, "", 0, false, "", 15);
    row("cmdXX(3)", "button", "<<", {16, 72, 60, 20}, rgb(255, 175, 0), none, "", 0, false, "Move and Xoom", 54);
    row("cmdXX(2)", "button", ">>", {76, 72, 60, 20}, rgb(255, 175, 0), none, "", 0, false, "Xoom and Move", 55);
    row("cmd1", "button", "S", {16, 94, 24, 22}, rgb(192, 192, 0), none, "", 0, false, "  Small  ", 31);
    row("cmdb", "button", "M", {40, 94, 36, 25}, rgb(255, 255, 0), none, "MS Sans Serif", 13, true, "  Medium  ", 32);
    row("Command4", "button", "L", {76, 94, 60, 33}, rgb(255, 255, 128), none, "MS Sans Serif", 24, true, "  Large  ",
        33);
    row("TextThree", "box", "150", {16, 120, 59, 19}, rgb(64, 32, 0), rgb(255, 128, 64), "", 0, false, "Size of image",
        0);
    row("Label9(1)", "label", "side", {96, 126, 41, 17}, none, rgb(255, 255, 255), "", 0, false, "", 44);
    row("Label9(2)", "label", "zero point", {16, 144, 65, 17}, none, rgb(255, 255, 255), "", 0, false, "", 45);
    row("verty(1)", "button", "^", {88, 150, 49, 26}, rgb(255, 128, 0), none, "Verdana", 19, true, "", 40);
    row("cmdblue(0)", "button", "x", {16, 160, 36, 20}, rgb(255, 128, 128), none, "", 0, false, "", 48);
    row("cmdblue(1)", "button", "/", {52, 160, 36, 20}, rgb(255, 128, 128), none, "", 0, false, "", 49);
    row("verty(0)", "button", "V", {88, 176, 49, 26}, rgb(255, 128, 0), none, "Courier New", 19, true, "", 39);
    row("TextTwo", "box", "1", {16, 180, 73, 19}, rgb(64, 0, 0), rgb(255, 128, 128), "", 0, false,
        "Move image up or down", 1);
    row("TextOne", "box", "1", {16, 200, 73, 19}, rgb(64, 0, 0), rgb(255, 128, 128), "", 0, false,
        "Move image left or right", 2);
    row("horz(1)", "button", "<", {88, 202, 25, 36}, rgb(255, 128, 0), none, "", 0, false, "", 42);
    row("horz(0)", "button", ">", {112, 202, 25, 36}, rgb(255, 128, 0), none, "", 0, false, "", 41);
    row("cmdblue(2)", "button", "x", {16, 218, 36, 20}, rgb(255, 128, 128), none, "", 0, false, "", 50);
    row("cmdblue(3)", "button", "/", {52, 218, 36, 20}, rgb(255, 128, 128), none, "", 0, false, "", 51);
    row("Textfive", "box", "150", {80, 248, 57, 19}, rgb(64, 32, 0), rgb(255, 128, 64), "", 0, false,
        "Vary the brightness of colour", 3);
    row("Label9(0)", "label", "brightness", {16, 250, 65, 17}, none, rgb(255, 255, 255), "", 0, false, "", 18);
    row("Command3", "button", "reset", {8, 280, 65, 25}, rgb(192, 64, 0), none, "Verdana", 13, true, "", 4);
    row("cmdstop", "button", "halt !", {80, 280, 65, 25}, rgb(255, 0, 0), none, "Verdana", 13, true, "", 24);
    row("Label10", "label", "", {8, 312, 137, 773}, rgb(0, 0, 0), none, "", 0, false, "", 43);
    row("Label13", "label", "Label13", {0, 992, 1273, 33}, rgb(0, 0, 0), none, "", 0, false, "", 19);
}

void TestWindowControls::controlTable()
{
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QRect, geometry);
    QFETCH(QColor, back);
    QFETCH(QColor, text);
    QFETCH(QString, face);
    QFETCH(int, pixels);
    QFETCH(bool, bold);
    QFETCH(QString, tip);
    QFETCH(int, tab);
    Q_UNUSED(tab);  // checked by walking the focus in tabOrder()

    // Checked as a person meets the control: where a pointer finds it, the
    // colours the window shows there, its words and the tip it shows. The
    // window as it is built, before activity and the clock change the exit
    // labels' colours (exitLabelColoursOverTime).
    qTac w;
    auto* control = w.findChild<QWidget*>(QTest::currentDataTag());
    QVERIFY(control);
    auto owns = [&](QPoint p) {
        QWidget* c = w.childAt(p);
        while (c && c != control)
            c = c->parentWidget();
        return c == control;
    };
    const QRect designed = geometry & w.rect();
    QVERIFY(!designed.isEmpty());
    // Every point of the designed place shows the control or one in front of
    // it (the buttons on a panel), never one behind it, and it reaches no
    // further: moved, grown or shrunk by a pixel, it fails here.
    const QObjectList stack = w.children();
    auto inFront = [&](QWidget* c) {
        while (c && c->parentWidget() != &w)
            c = c->parentWidget();
        return c && stack.indexOf(c) > stack.indexOf(control);
    };
    QList<QPoint> seen;
    for (int y = designed.top(); y <= designed.bottom(); ++y)
        for (int x = designed.left(); x <= designed.right(); ++x) {
            const QPoint p(x, y);
            if (owns(p))
                seen << p;
            else
                QVERIFY2(inFront(w.childAt(p)), qPrintable(QString("not shown at %1,%2").arg(x).arg(y)));
        }
    QVERIFY2(!seen.isEmpty(), "hidden behind other controls");
    const QRect ring = geometry.adjusted(-2, -2, 2, 2) & w.rect();
    for (int y = ring.top(); y <= ring.bottom(); ++y)
        for (int x = ring.left(); x <= ring.right(); ++x)
            if (!geometry.contains(x, y))
                QVERIFY2(!owns({x, y}), qPrintable(QString("reaches %1,%2").arg(x).arg(y)));

    const QImage shot = w.grab().toImage();
    QHash<QRgb, int> count;
    for (const QPoint& p : std::as_const(seen))
        ++count[shot.pixel(p) | 0xff000000u];
    QRgb ground = 0;
    for (auto it = count.cbegin(); it != count.cend(); ++it)
        if (!count.contains(ground) || it.value() > count[ground])
            ground = it.key();
    if (back.isValid())
        QCOMPARE(QColor(ground), back);
    if (text.isValid() && !caption.isEmpty()) {
        // Anti-aliased glyphs are blends of the caption's colour into the
        // ground: the one nearest the caption's colour lies on that line,
        // near its end.
        const double line[] = {double(text.red() - qRed(ground)), double(text.green() - qGreen(ground)),
                               double(text.blue() - qBlue(ground))};
        double nearest = 1e9, along = 0, offLine = 0;
        for (auto it = count.cbegin(); it != count.cend(); ++it) {
            const double d[] = {double(qRed(it.key()) - qRed(ground)), double(qGreen(it.key()) - qGreen(ground)),
                                double(qBlue(it.key()) - qBlue(ground))};
            const double distance = std::hypot(d[0] - line[0], d[1] - line[1], d[2] - line[2]);
            if (distance < nearest) {
                nearest = distance;
                along = (d[0] * line[0] + d[1] * line[1] + d[2] * line[2]) /
                        (line[0] * line[0] + line[1] * line[1] + line[2] * line[2]);
                offLine = std::hypot(d[0] - along * line[0], d[1] - along * line[1], d[2] - along * line[2]);
            }
        }
        QVERIFY2(along >= 0.7 && offLine <= 12,
                 qPrintable(QString("caption colour seen at %1 of the way, %2 off").arg(along).arg(offLine)));
    }

    if (kind == "label") {
        auto* label = qobject_cast<QLabel*>(control);
        QVERIFY(label);
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
    } else if (kind == "button") {
        auto* button = qobject_cast<QPushButton*>(control);
        QVERIFY(button);
        QCOMPARE(button->text(), caption);
    } else {
        auto* box = qobject_cast<QLineEdit*>(control);
        QVERIFY(box);
        QCOMPARE(box->text(), caption);
    }
    if (!face.isEmpty()) {
        QCOMPARE(control->font().pixelSize(), pixels);
        QCOMPARE(control->font().bold(), bold);
        const QString shown = QFontInfo(control->font()).family();
        QVERIFY2(facesFor(face).contains(shown), qPrintable(shown));
    }

    // Resting the pointer on it shows its tip, or none.
    QToolTip::hideText();
    const QPoint at = seen[seen.size() / 2];
    QHelpEvent hover(QEvent::ToolTip, control->mapFrom(&w, at), w.mapToGlobal(at));
    QApplication::sendEvent(control, &hover);
    QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), tip);
    QToolTip::hideText();
}

void TestWindowControls::patternButtons()
{
    const QStringList names = {"aries",  "blood", "celt", "dune", "eeee", "fun",  "grin",  "hix",    "ice", "joke",
                               "kraken", "limbo", "numb", "ooh",  "Punk", "qwin", "rumba", "sizZle", "Tame"};
    qTac w;
    for (int k = 0; k < 19; ++k) {
        auto* button = w.findChild<QPushButton*>(QString("CMD(%1)").arg(k));
        QVERIFY(button);
        QCOMPARE(button, w.CMD[k]);
        QCOMPARE(button->text(), names[k]);
        QCOMPARE(button->geometry(), QRect(24, 320 + 32 * k, 105, 25));
        QCOMPARE(qTac::backColour(button), kGrey);
        QCOMPARE(button->font().pixelSize(), 16);  // 12 pt
        QVERIFY(button->font().bold());
    }
}

void TestWindowControls::windowAndStartValues()
{
    qTac w;
    QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(w.size(), QSize(1272, 1016));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(w.windowTitle(), QString("Color Glimra"));
    QVERIFY(qApp->windowIcon().availableSizes().contains(QSize(32, 32)));
    QCOMPARE(w.canvas().size(), QSize(1272, 1016));
    QCOMPARE(w.canvas().pixelColor(640, 500), support::kBackground);
    QCOMPARE(w.HaltFlag, QString());
    QCOMPARE(w.Timer1->interval(), 1000);
    QVERIFY(w.Timer1->isActive());

    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(support::texts(w), QStringList({"1", "1", "150", "1", "150"}));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.TextThree));
    // Nothing is painted before a pattern is clicked: the window shows its
    // background where a picture will go.
    const QImage shown = w.grab(QRect(161, 51, 100, 100)).toImage();
    QCOMPARE(shown.pixelColor(50, 50), support::kBackground);
    // The black panels lie behind the controls placed on them.
    QCOMPARE(w.childAt(20, 80), static_cast<QWidget*>(w.cmdXX[3]));
    QCOMPARE(w.childAt(30, 420), static_cast<QWidget*>(w.CMD[3]));
}

void TestWindowControls::tabOrder()
{
    // Every control that takes the focus, by its design tab position.
    const QStringList order = {"TextThree",  "TextTwo",    "TextOne",  "Textfive", "Command3",   "CMD(0)",
                               "CMD(1)",     "CMD(2)",     "CMD(3)",   "CMD(4)",   "CMD(5)",     "CMD(6)",
                               "CMD(7)",     "CMD(8)",     "TextFour", "CMD(9)",   "CMD(10)",    "cmdstop",
                               "CMD(11)",    "CMD(12)",    "CMD(13)",  "CMD(14)",  "CMD(15)",    "CMD(16)",
                               "cmd1",       "cmdb",       "Command4", "CMD(17)",  "cmdXX(0)",   "cmdXX(1)",
                               "verty(0)",   "verty(1)",   "horz(0)",  "horz(1)",  "cmdblue(0)", "cmdblue(1)",
                               "cmdblue(2)", "cmdblue(3)", "Command1", "CMD(18)",  "cmdXX(3)",   "cmdXX(2)"};
    qTac w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget()->objectName(), order.first());
    for (int k = 1; k <= order.size(); ++k) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), order[k % order.size()]);
    }
    QCOMPARE(support::texts(w), QStringList({"1", "1", "150", "1", "150"}));
}

void TestWindowControls::exitLabelColoursOverTime()
{
    qTac w;
    QSignalSpy ticks(w.Timer1, &QTimer::timeout);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(qTac::textColour(w.Label1), rgb(0, 0, 255));
    QCOMPARE(qTac::textColour(w.Label4), rgb(255, 0, 0));

    QVERIFY(ticks.wait(5000));
    QCOMPARE(qTac::textColour(w.Label1), rgb(128, 128, 255));
    QCOMPARE(qTac::textColour(w.Label4), rgb(192, 192, 192));

    // Hovering: the pointer moving over the labels, never leaving them.
    QTest::mouseMove(w.Label4);
    QCOMPARE(qTac::textColour(w.Label4), rgb(255, 255, 255));
    QTest::mouseMove(w.Label1);
    QCOMPARE(qTac::textColour(w.Label1), rgb(0, 128, 255));
    QCOMPARE(qTac::textColour(w.Label4), rgb(255, 255, 255));  // leaving changes nothing

    w.Timer1_Timer();
    QCOMPARE(qTac::textColour(w.Label1), rgb(128, 128, 255));
    QCOMPARE(qTac::textColour(w.Label4), rgb(192, 192, 192));  // grey, not red
}

void TestWindowControls::reactivationBeforeTickKeepsBlue()
{
    qTac w;
    w.Timer1->stop();  // ticks are given by hand below
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(qTac::textColour(w.Label1), rgb(0, 0, 255));
    QVERIFY(support::switchAwayAndBack(w));
    QCOMPARE(qTac::textColour(w.Label1), rgb(0, 0, 255));
    w.Timer1_Timer();
    QCOMPARE(qTac::textColour(w.Label1), rgb(0, 0, 255));
    w.Timer1_Timer();
    QCOMPARE(qTac::textColour(w.Label1), rgb(0, 0, 255));
}

void TestWindowControls::labelClicks()
{
    qTac w;
    int ends = 0;
    w.setProgramEnder([&] { ++ends; });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QTest::mouseClick(w.Label5, Qt::LeftButton);  // a title, not an exit
    QCOMPARE(ends, 0);
    QTest::mouseClick(w.Label1, Qt::LeftButton);
    QCOMPARE(ends, 1);
    QTest::mouseClick(w.Label2, Qt::LeftButton);
    QCOMPARE(ends, 2);
    QTest::mouseClick(w.Label4, Qt::LeftButton);
    QCOMPARE(ends, 3);
    // Pressed on the label but released elsewhere is no click.
    QTest::mousePress(w.Label1, Qt::LeftButton);
    QTest::mouseRelease(w.Label1, Qt::LeftButton, {}, QPoint(200, 200));
    QCOMPARE(ends, 3);

    QVERIFY(!w.isMinimized());
    QTest::mouseClick(w.Label7, Qt::LeftButton);
    QVERIFY(w.windowState() & Qt::WindowMinimized);
    QCOMPARE(ends, 3);
}

void TestWindowControls::dragByBackground()
{
    qTac w;
    w.move(100, 80);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QPoint start = w.pos();
    QTest::mousePress(&w, Qt::LeftButton, {}, QPoint(600, 600));
    QTest::mouseMove(&w, QPoint(630, 620));
    QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(630, 620));
    QCOMPARE(w.pos(), start + QPoint(30, 20));
    // A press on a control is the control's, not a drag.
    QTest::mousePress(w.TextOne, Qt::LeftButton);
    QTest::mouseMove(w.TextOne, QPoint(40, 5));
    QTest::mouseRelease(w.TextOne, Qt::LeftButton, {}, QPoint(40, 5));
    QCOMPARE(w.pos(), start + QPoint(30, 20));
}

void TestWindowControls::browserThatCannotStart()
{
    qTac w;
    QStringList addresses;
    bool starts = false;
    w.setBrowserStarter([&](const QString& address) {
        addresses << address;
        return starts;
    });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    struct Seen {
        int boxes = 0;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        bool modal = false;
    } seen;
    // Watches for the box while it is open and answers it with OK.
    QTimer watcher;
    watcher.setInterval(10);
    connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(top);
            if (!box || !box->isVisible())
                continue;
            ++seen.boxes;
            seen.title = box->windowTitle();
            seen.text = box->text();
            seen.icon = box->icon();
            seen.buttons = box->standardButtons();
            seen.modal = box->isModal();
            box->button(QMessageBox::Ok)->click();
        }
    });
    watcher.start();

    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QCOMPARE(addresses, QStringList({"https://glimra.example.org/"}));
    QCOMPARE(seen.boxes, 1);
    QCOMPARE(seen.title, QString("Cannot find Browser:"));
    QCOMPARE(seen.text,
             QString("This function requires internet explorer (iexplore.exe) to be in the directory c:\\Program "
                     "Files\\  "));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(seen.modal);
    QVERIFY(w.isVisible());  // the program goes on

    // A browser that starts: no box.
    starts = true;
    QTest::mouseClick(w.Command1, Qt::LeftButton);  // a box would hold the click until answered
    QCOMPARE(addresses.size(), 2);
    QCOMPARE(seen.boxes, 1);
}

QTEST_MAIN(TestWindowControls)
#include "test_window_controls.moc"
