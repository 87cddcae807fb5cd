// How the buttons look as the application draws them: each face filled flat
// with exactly the button's back colour, edges that stand out from it and swap
// when the button is pressed, the caption centred on the face, and the focus
// a dotted rectangle.
#include "test_window_support.h"

#include "window/application.h"
#include "window/qtac.h"

#include <QApplication>
#include <QPushButton>
#include <QtTest>

using namespace support;

namespace {

// The focus rectangle's place; the face outside it shows neither caption nor
// focus, only the back colour.
QRect focusRect(QSize s) { return QRect(3, 3, s.width() - 7, s.height() - 7); }

// Inside the light top and left edge and the two lines at the bottom and right
// (raised), or inside the two lines at the top and left and the light bottom
// and right edge (pressed).
QRect face(QSize s, bool pressed)
{
    const int edge = pressed ? 2 : 1;
    return QRect(edge, edge, s.width() - 3, s.height() - 3);
}

// Empty when every pixel of the face outside the focus rectangle has the
// colour, and most pixels inside it do; else the first that does not.
QString faceDiffers(const QImage& image, bool pressed, const QColor& colour)
{
    const QRect f = face(image.size(), pressed);
    const QRect inner = focusRect(image.size());
    int same = 0;
    for (int y = f.top(); y <= f.bottom(); ++y)
        for (int x = f.left(); x <= f.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            same += c == colour;
            if (!inner.contains(x, y) && c != colour)
                return QString("face pixel (%1, %2) is %3").arg(x).arg(y).arg(c.name());
        }
    if (same * 2 < f.width() * f.height())
        return QString("only %1 of %2 face pixels are %3").arg(same).arg(f.width() * f.height()).arg(colour.name());
    return {};
}

QImage grabbed(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

}  // namespace

class TestWindowLook : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void buttonFaces_data();
    void buttonFaces();
};

void TestWindowLook::initTestCase()
{
    // As the program starts: the application's style draws the buttons.
    glimra::prepareApplication(*qApp);
}

void TestWindowLook::buttonFaces_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("clicked");  // the pattern button clicked first, or -1
    QTest::addColumn<QColor>("back");
    QTest::newRow("halt !") << "cmdstop" << -1 << QColor(255, 0, 0);
    QTest::newRow("reset") << "Command3" << -1 << QColor(192, 64, 0);
    QTest::newRow("S") << "cmd1" << -1 << QColor(192, 192, 0);
    QTest::newRow("L") << "Command4" << -1 << QColor(255, 255, 128);
    QTest::newRow("grey pattern") << "CMD(0)" << -1 << kGrey;
    QTest::newRow("highlighted pattern") << "CMD(3)" << 3 << kOrange;
    QTest::newRow("pattern greyed by a click on another") << "CMD(3)" << 5 << kGrey;
}

void TestWindowLook::buttonFaces()
{
    QFETCH(QString, button);
    QFETCH(int, clicked);
    QFETCH(QColor, back);

    qTac w;
    w.Timer1->stop();
    setTexts(w, {"1", "1", "2", "1", "150"});
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    if (clicked >= 0) {
        QTest::mouseClick(w.CMD[3], Qt::LeftButton);
        if (clicked != 3)
            QTest::mouseClick(w.CMD[clicked], Qt::LeftButton);
    }
    auto* b = w.findChild<QPushButton*>(button);
    QVERIFY(b);
    b->clearFocus();
    const QImage raised = grabbed(b);
    const int wd = raised.width(), ht = raised.height();
    QString diff = faceDiffers(raised, false, back);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    // The edges: light top and left, dark then darker at the bottom and right.
    const QColor light = raised.pixelColor(0, ht / 2), dark = raised.pixelColor(wd - 2, ht / 2),
                 darker = raised.pixelColor(wd - 1, ht / 2);
    for (const QColor& edge : {light, dark, darker})
        QVERIFY2(edge != back, qPrintable(edge.name()));
    QCOMPARE(raised.pixelColor(wd / 2, 0), light);
    QCOMPARE(raised.pixelColor(wd / 2, ht - 2), dark);
    QCOMPARE(raised.pixelColor(wd / 2, ht - 1), darker);
    QVERIFY(light.lightness() > darker.lightness());

    // The caption in black (its thin strokes blend with the face), centred on
    // the face.
    QRect caption;
    for (int y = 0; y < ht; ++y)
        for (int x = 0; x < wd; ++x)
            if (face(raised.size(), false).contains(x, y) && raised.pixelColor(x, y) != back)
                caption |= QRect(x, y, 1, 1);
    QVERIFY(!caption.isEmpty());
    QVERIFY2(qAbs(caption.center().x() - face(raised.size(), false).center().x()) <= 1,
             qPrintable(QString("caption from x %1 to %2").arg(caption.left()).arg(caption.right())));
    int darkest = 255;
    for (int y = caption.top(); y <= caption.bottom(); ++y)
        for (int x = caption.left(); x <= caption.right(); ++x)
            darkest = std::min(darkest, qGray(raised.pixel(x, y)));
    QVERIFY2(darkest <= 16, qPrintable(QString("darkest caption pixel grey %1").arg(darkest)));

    // Pressed: the face keeps its colour, the edges swap.
    b->setDown(true);
    const QImage pressed = grabbed(b);
    b->setDown(false);
    diff = faceDiffers(pressed, true, back);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QCOMPARE(pressed.pixelColor(0, ht / 2), darker);
    QCOMPARE(pressed.pixelColor(wd / 2, 0), darker);
    QCOMPARE(pressed.pixelColor(wd - 1, ht / 2), light);
    QCOMPARE(pressed.pixelColor(wd / 2, ht - 1), light);

    // The keyboard focus: a dotted rectangle on the face, every other pixel.
    b->setFocus(Qt::TabFocusReason);
    QVERIFY(b->hasFocus());
    const QImage focused = grabbed(b);
    diff = faceDiffers(focused, false, back);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    const QRect r = focusRect(focused.size());
    for (int x = r.left(); x < r.right(); ++x) {
        const QColor a = focused.pixelColor(x, r.top()), next = focused.pixelColor(x + 1, r.top());
        QVERIFY2(a != next && (a == back || next == back), qPrintable(QString("focus line at x %1").arg(x)));
    }
    QVERIFY(focused.pixelColor(r.left(), r.top() + 1) != focused.pixelColor(r.left(), r.top()));
}

QTEST_MAIN(TestWindowLook)
#include "test_window_look.moc"
