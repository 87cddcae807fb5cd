// Exploring by pointing: wheel notches during nested renders, back and
// forward, places through the clipboard, picture files and glimra-render,
// and refusals that leave the boxes alone.
#include "test_window_support.h"

#include "patterns/patterns.h"
#include "picture/picture_file.h"
#include "place/place.h"
#include "window/application.h"
#include "window/back_forward.h"
#include "window/places.h"
#include "window/pointing.h"
#include "window/pattern_editor.h"
#include "window/picture_menu.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QClipboard>
#include <QRegularExpression>
#include <QToolTip>
#include <QWheelEvent>

#include <cmath>

using namespace support;

namespace {

struct Fixture {
    qTac w;
    QStringList complaints;
    Fixture()
    {
        w.setProgramEnder([] { QFAIL("the program was ended"); });
        w.places()->setComplaint(
            [this](const QString& title, const QString& text) { complaints << title + ": " + text; });
        w.pictures()->setComplaint(
            [this](const QString& title, const QString& text) { complaints << title + ": " + text; });
        w.show();
    }
    // Lets a queued start run, and the render it starts.
    void settle()
    {
        for (int k = 0; k < 5; ++k)
            QCoreApplication::processEvents();
    }
};

void postWheel(qTac& w, QPoint at, int angle)
{
    QCoreApplication::postEvent(&w, new QWheelEvent(QPointF(at), QPointF(w.mapToGlobal(at)), QPoint(), QPoint(0, angle),
                                                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false));
}

QImage pictureOf(const qTac& w, QSize size) { return w.canvas().copy(QRect(QPoint(kLeft, kTop), size)); }

Texts textsOf(const qTac& w)
{
    const QStringList t = texts(w);
    return {t[0], t[1], t[2], t[3], t[4]};
}

}  // namespace

class TestWindowExplore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { glimra::prepareApplication(*qApp); }

    // A notch during a render nested in another: both end, the new view is
    // painted once, and nothing of the old ones paints over it.
    void wheelDuringNestedRender()
    {
        Fixture f;
        setTexts(f.w, {"1", "1", "768", "0.15", "150"});
        long outer = 0, inner = 0, after = 0;
        bool zoomed = false;
        f.w.columnPainted = [&](int level, long column) {
            if (zoomed) {
                ++after;
                QVERIFY2(level == 1 && f.w.renderDepth() == 1, "a stale render painted after the zoom");
                return;
            }
            (level == 1 ? outer : inner)++;
            if (level == 1 && column == 5) {
                setTexts(f.w, {"-20", "35", "300", "0.5", "150"});
                postClick(f.w.CMD[3]);  // dune, inside qwin
            }
            if (level == 2 && column == 10)
                postWheel(f.w, QPoint(kLeft + 99, kTop + 200), 120);
        };
        // The notch's render starts only once qwin has returned.
        f.w.CMD_Click(15);
        QVERIFY(f.w.session().startPending());
        QCOMPARE(f.w.HaltFlag, QString("p"));
        QVERIFY2(outer == 6 && inner == 11, qPrintable(QString("%1 %2").arg(outer).arg(inner)));
        zoomed = true;
        f.settle();
        QCOMPARE(f.w.renderDepth(), 0);
        QCOMPARE(after, 300L);

        const Texts now = textsOf(f.w);
        QCOMPARE(now.zoom, QString("0.25"));  // a notch in from 0.5
        QCOMPARE(now.size, QString("300"));
        QString why;
        const QImage expected = reference("dune", now, &why);
        QVERIFY2(!expected.isNull(), qPrintable(why));
        QCOMPARE(difference(pictureOf(f.w, expected.size()), expected), QString());
        QCOMPARE(f.w.backForward()->history().size(), std::size_t(3));
        QVERIFY(
            QRegularExpression("^Color Glimra - dune 300 x 300, \\d+\\.\\d\\d s$").match(f.w.windowTitle()).hasMatch());
    }

    // Notches that arrive before the new render has started make one step.
    void notchesCombine()
    {
        Fixture f;
        setTexts(f.w, {"1", "1", "40", "1", "150"});
        f.w.CMD_Click(3);
        const QPoint at(kLeft + 10, kTop + 30);
        for (int k = 0; k < 3; ++k)
            postWheel(f.w, at, 120);
        postWheel(f.w, at, 60);  // half a notch from a touchpad: waits for its other half
        f.settle();
        QCOMPARE(f.w.TextFour->text(), QString("0.125"));  // three notches in from 1
        QCOMPARE(f.w.backForward()->history().size(), std::size_t(2));
        postWheel(f.w, at, -180);  // completes the half and goes one back
        f.settle();
        QCOMPARE(f.w.TextFour->text(), QString("0.25"));
    }

    void backAndForward()
    {
        Fixture f;
        QVERIFY(!f.w.backForward()->back());  // nothing yet
        QVERIFY(!f.w.pointing()->zoomCentre(1));
        setTexts(f.w, {"1", "1", "40", "1", "150"});
        f.w.CMD_Click(7);
        const QStringList a = texts(f.w);
        QVERIFY(f.w.pointing()->zoomCentre(1));
        f.settle();
        const QStringList b = texts(f.w);
        QVERIFY(f.w.pointing()->move(1, 0));
        f.settle();
        const QStringList c = texts(f.w);
        QVERIFY(a != b && b != c);

        QVERIFY(f.w.backForward()->back());
        f.settle();
        QCOMPARE(texts(f.w), b);
        QVERIFY(f.w.backForward()->back());
        f.settle();
        QCOMPARE(texts(f.w), a);
        QVERIFY(!f.w.backForward()->back());
        QVERIFY(f.w.backForward()->forward());
        f.settle();
        QCOMPARE(texts(f.w), b);
        QCOMPARE(f.w.backForward()->history().size(), std::size_t(3));

        // A new road from b drops c.
        QVERIFY(f.w.pointing()->move(0, 1));
        f.settle();
        const QStringList d = texts(f.w);
        QCOMPARE(f.w.backForward()->history().size(), std::size_t(3));
        QVERIFY(!f.w.backForward()->forward());
        QVERIFY(f.w.backForward()->back());
        f.settle();
        QCOMPARE(texts(f.w), b);
        QVERIFY(f.w.backForward()->forward());
        f.settle();
        QCOMPARE(texts(f.w), d);
        // Every one of them was painted with the pattern of the first.
        for (const auto& e : f.w.backForward()->history())
            QCOMPARE(e.pattern, std::string("hix"));
    }

    // Texts no box would read as a number survive every way a place travels.
    void placeTravels()
    {
        Fixture f;
        const Texts odd{" 1 & 2", "50%=x", "30", "1 \u00e9\u20ac", "+150#"};
        setTexts(f.w, odd);
        f.w.CMD_Click(14);  // Punk
        f.w.places()->copyPlace();
        const QString place = QGuiApplication::clipboard()->text();
        QVERIFY2(place.startsWith("glimra:Punk?x=") && !place.contains(' '), qPrintable(place));

        // The clipboard, back into the boxes.
        setTexts(f.w, {"9", "9", "9", "9", "9"});
        f.w.TextThree->clearFocus();
        f.w.places()->pastePlace();
        f.settle();
        QCOMPARE(texts(f.w), (QStringList{odd.x, odd.y, odd.size, odd.zoom, odd.bright}));
        QCOMPARE(f.w.backForward()->history().back().pattern, std::string("Punk"));

        // glimra-render paints it, its PNG carries it, --print-place gives it back.
        QTemporaryDir dir;
        const QString png = dir.filePath("p.png");
        QProcess render;
        render.start(GLIMRA_RENDER_PATH, {"--place", place, "-o", png});
        QVERIFY(render.waitForFinished(60000) && render.exitCode() == 0);
        QProcess print;
        print.start(GLIMRA_RENDER_PATH, {"--print-place", png});
        QVERIFY(print.waitForFinished(60000) && print.exitCode() == 0);
        QCOMPARE(QString::fromUtf8(print.readAllStandardOutput()).trimmed(), place);
        QCOMPARE(difference(pictureOf(f.w, QSize(30, 30)), QImage(png).convertToFormat(QImage::Format_RGB32)),
                 QString());

        // The window's argument, as a place and as that PNG.
        setTexts(f.w, {"9", "9", "9", "9", "9"});
        f.w.places()->openArgument(place);
        f.settle();
        QCOMPARE(texts(f.w), (QStringList{odd.x, odd.y, odd.size, odd.zoom, odd.bright}));
        setTexts(f.w, {"9", "9", "9", "9", "9"});
        f.w.places()->openArgument(QUrl::fromLocalFile(png).toString());
        f.settle();
        QCOMPARE(texts(f.w), (QStringList{odd.x, odd.y, odd.size, odd.zoom, odd.bright}));
        QVERIFY2(f.complaints.isEmpty(), qPrintable(f.complaints.join('\n')));
    }

    // A formula painted from the editor is the picture glimra-render paints
    // of it, and goes where a pattern goes: back, a place, a picture file.
    void formulaTravels()
    {
        Fixture f;
        const QString file = QStringLiteral(GLIMRA_EXAMPLES "/tide.glimra");
        QFile source(file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QString tide = QString::fromUtf8(source.readAll());
        const QSize size(40, 40);
        setTexts(f.w, {"1", "1", "40", "0.5", "150"});
        QTemporaryDir dir;
        const QString png = dir.filePath("tide.png");
        QProcess render;
        render.start(GLIMRA_RENDER_PATH,
                     {"--formula", file, "--size", "40", "--zoom", "0.5", "--bright", "150", "-o", png});
        QVERIFY(render.waitForFinished(60000) && render.exitCode() == 0);
        const QImage expected = QImage(png).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(expected.size(), size);

        PatternEditor* editor = f.w.patternEditor();
        editor->setText(tide, false);
        editor->paintAction()->trigger();
        f.settle();
        QCOMPARE(difference(pictureOf(f.w, size), expected), QString());
        QCOMPARE(QString::fromStdString(f.w.backForward()->history().back().formula), tide);
        // What Save picture and Save large picture record.
        QCOMPARE(QString::fromStdString(f.w.pictures()->recipe()->formula), tide);
        const QImage painted = pictureOf(f.w, size);

        // A wrong formula paints nothing and changes nothing.
        editor->setText(tide + QStringLiteral("\nred = x +\n"), false);
        editor->paintAction()->trigger();
        f.settle();
        QVERIFY2(editor->message().contains(QStringLiteral("line %1, column").arg(tide.count('\n') + 2)),
                 qPrintable(editor->message()));
        QCOMPARE(f.w.backForward()->history().size(), std::size_t(1));
        QCOMPARE(texts(f.w), (QStringList{"1", "1", "40", "0.5", "150"}));
        QCOMPARE(difference(pictureOf(f.w, size), painted), QString());

        // Back over a pattern's picture to the formula's.
        f.w.CMD_Click(3);
        QVERIFY(difference(pictureOf(f.w, size), painted) != QString());
        QVERIFY(f.w.backForward()->back());
        f.settle();
        QCOMPARE(difference(pictureOf(f.w, size), painted), QString());

        // Its place, pasted over another pattern's picture, paints it again
        // and shows it in the editor.
        f.w.places()->copyPlace();
        const QString place = QGuiApplication::clipboard()->text();
        QVERIFY2(place.startsWith(QStringLiteral("glimra:formula?")), qPrintable(place));
        editor->setText(QString(), true);
        f.w.CMD_Click(5);
        f.w.TextThree->clearFocus();
        f.w.places()->pastePlace();
        f.settle();
        QCOMPARE(difference(pictureOf(f.w, size), painted), QString());
        QCOMPARE(editor->text(), tide);

        // And the PNG glimra-render wrote, opened in the window, and the
        // formula file given as the program's argument.
        f.w.CMD_Click(5);
        f.w.pictures()->openFile(png);
        f.settle();
        QCOMPARE(difference(pictureOf(f.w, size), painted), QString());
        f.w.CMD_Click(5);
        f.w.places()->openArgument(QUrl::fromLocalFile(file).toString());
        f.settle();
        QCOMPARE(difference(pictureOf(f.w, size), painted), QString());
        QCOMPARE(editor->fileName(), file);
        QVERIFY2(f.complaints.isEmpty(), qPrintable(f.complaints.join('\n')));
    }

    void notAPlaceChangesNothing_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("web address") << "https://example.org/";
        QTest::newRow("unknown pattern") << "glimra:nothing?x=1";
        QTest::newRow("broken escape") << "glimra:dune?x=%zz";
    }

    void notAPlaceChangesNothing()
    {
        QFETCH(QString, text);
        Fixture f;
        setTexts(f.w, {"1", "1", "20", "1", "150"});
        f.w.CMD_Click(3);
        QGuiApplication::clipboard()->setText(text);
        f.w.places()->pastePlace();
        f.settle();
        QCOMPARE(f.complaints.size(), 1);
        QVERIFY2(f.complaints[0].contains("is not a place: "), qPrintable(f.complaints[0]));
        QCOMPARE(texts(f.w), (QStringList{"1", "1", "20", "1", "150"}));
        QCOMPARE(f.w.backForward()->history().size(), std::size_t(1));
    }

    // A box that does not hold a number is not overwritten, and its note
    // names the text; the steps that refuse say so the same way.
    void unreadableBoxIsNamed()
    {
        Fixture f;
        setTexts(f.w, {"1", "1", "40", "1", "150"});
        f.w.CMD_Click(3);
        f.w.TextTwo->setText("12abc");
        QToolTip::hideText();
        QVERIFY(!f.w.pointing()->zoomAt(QPoint(kLeft + 5, kTop + 5), 1));
        f.settle();
        QCOMPARE(texts(f.w), (QStringList{"1", "12abc", "40", "1", "150"}));
        QVERIFY2(QToolTip::text().contains("\u201c12abc\u201d"), qPrintable(QToolTip::text()));
        QVERIFY(!f.w.session().startPending());

        QToolTip::hideText();
        f.w.cmdXX_Click(3);
        QCOMPARE(texts(f.w), (QStringList{"1", "12abc", "40", "1", "150"}));
        QVERIFY2(QToolTip::text().contains("\u201c12abc\u201d"), qPrintable(QToolTip::text()));
    }

    // In a box its own keys win: Ctrl+Left moves by words and Ctrl+V pastes
    // there; keys the box has no use for navigate from anywhere.
    void keysBesideTheBoxesOwn()
    {
        Fixture f;
        f.w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.w));
        setTexts(f.w, {"1", "1", "40", "1", "150"});
        f.w.CMD_Click(3);
        QGuiApplication::clipboard()->setText("glimra:qwin?size=40");
        f.w.TextOne->setFocus();
        f.w.TextOne->setCursorPosition(1);
        QTest::keyClick(f.w.TextOne, Qt::Key_Left, Qt::ControlModifier);
        QTest::keyClick(f.w.TextOne, Qt::Key_V, Qt::ControlModifier);
        f.settle();
        QCOMPARE(texts(f.w), (QStringList{"glimra:qwin?size=401", "1", "40", "1", "150"}));
        QCOMPARE(f.w.backForward()->history().size(), std::size_t(1));

        f.w.TextOne->setText("1");
        QTest::keyClick(f.w.TextOne, Qt::Key_Up, Qt::ControlModifier);  // move up: y less by 10 (40 / 4)
        f.settle();
        QCOMPARE(f.w.TextTwo->text(), QString("-9"));
        QTest::keyClick(f.w.TextOne, Qt::Key_Plus, Qt::ControlModifier);
        f.settle();
        QCOMPARE(f.w.TextFour->text(), QString("0.5"));
        QTest::keyClick(f.w.TextOne, Qt::Key_Left, Qt::AltModifier);
        f.settle();
        QCOMPARE(f.w.TextFour->text(), QString("1"));

        // With the focus on a button, Ctrl+Left and Ctrl+V navigate.
        f.w.CMD[3]->setFocus();
        QTest::keyClick(f.w.CMD[3], Qt::Key_Left, Qt::ControlModifier);
        f.settle();
        QCOMPARE(f.w.TextOne->text(), QString("-9"));
        QTest::keyClick(f.w.CMD[3], Qt::Key_V, Qt::ControlModifier);
        f.settle();
        QCOMPARE(f.w.backForward()->history().back().pattern, std::string("qwin"));
        QCOMPARE(f.w.TextThree->text(), QString("40"));
        QCOMPARE(f.w.TextOne->text(), QString("1"));
    }

    // A place is held to the size box's range, as a picture file is: a link
    // cannot start a render that would take months.
    void placeHeldToSizeRange_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("refusal");  // empty: it is painted
        QTest::newRow("size 2^20 at zoom 1e-315") << "glimra:sizzle?size=1048576&zoom=1e-315"
                                                  << "has the size 1048576; the window paints sizes from 1 to 1024";
        QTest::newRow("size 0") << "glimra:dune?size=0"
                                << "has the size 0; the window paints sizes from 1 to 1024";
        QTest::newRow("size 1024.5") << "glimra:dune?size=1024.5"
                                     << "has the size 1024.5;";
        QTest::newRow("size 1024") << "glimra:dune?size=1024&zoom=1e-315"
                                   << "";
        QTest::newRow("size 1") << "glimra:dune?size=1"
                                << "";
    }

    void placeHeldToSizeRange()
    {
        QFETCH(QString, place);
        QFETCH(QString, refusal);
        Fixture f;
        setTexts(f.w, {"5", "6", "40", "0.5", "99"});
        const QStringList before = texts(f.w);
        // As an argument, a paste and a drop all arrive.
        QGuiApplication::clipboard()->setText(place);
        f.w.places()->pastePlace();
        f.settle();
        if (refusal.isEmpty()) {
            QVERIFY2(f.complaints.isEmpty(), qPrintable(f.complaints.join('\n')));
            QCOMPARE(f.w.backForward()->history().size(), std::size_t(1));
            return;
        }
        QCOMPARE(f.complaints.size(), 1);
        QVERIFY2(f.complaints[0].contains(refusal), qPrintable(f.complaints[0]));
        QCOMPARE(texts(f.w), before);
        QCOMPARE(f.w.backForward()->history().size(), std::size_t(0));
        QCOMPARE(f.w.renderDepth(), 0);
    }

    // Zooming in makes what is seen larger, zooming out smaller, whichever
    // way it is asked for: pixel c of the old picture is pixel
    // to + m (c - from) of the new one, m the magnification.
    void zoomAsSeen_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<double>("m");
        QTest::addColumn<QPointF>("from");  // a fixed point of the old picture, 1-based
        QTest::addColumn<QPointF>("to");    // where it is in the new one
        const QPointF pointer(61, 71), centre(100, 100);
        QTest::newRow("wheel forward") << "wheel+" << 2.0 << pointer << pointer;
        QTest::newRow("wheel back") << "wheel-" << 0.5 << pointer << pointer;
        QTest::newRow("Ctrl++") << "Ctrl++" << 2.0 << centre << centre;
        QTest::newRow("Ctrl+=") << "Ctrl+=" << 2.0 << centre << centre;
        QTest::newRow("Ctrl+-") << "Ctrl+-" << 0.5 << centre << centre;
        QTest::newRow("menu Zoom in") << "menu in" << 2.0 << centre << centre;
        QTest::newRow("menu Zoom out") << "menu out" << 0.5 << centre << centre;
        // Columns 21 to 70, rows 31 to 55 fill the picture's width.
        QTest::newRow("rectangle") << "rectangle" << 4.0 << QPointF(45.5, 43) << centre;
    }

    void zoomAsSeen()
    {
        QFETCH(QString, how);
        QFETCH(double, m);
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        Fixture f;
        f.w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.w));
        setTexts(f.w, {"0", "0", "200", "0.25", "150"});
        f.w.CMD_Click(3);
        const QImage before = pictureOf(f.w, QSize(200, 200));
        QSet<QRgb> colours;
        for (int r = 0; r < 200; r += 5)
            for (int c = 0; c < 200; c += 5)
                colours.insert(before.pixel(c, r));
        QVERIFY2(colours.size() > 50,
                 qPrintable(QString("%1 colours: a picture without features shows no zoom").arg(colours.size())));

        const QPoint pointer(kLeft - 1 + int(from.x()), kTop - 1 + int(from.y()));
        f.w.CMD[3]->setFocus();
        if (how.startsWith("wheel"))
            postWheel(f.w, pointer, how.endsWith('+') ? 120 : -120);
        else if (how == "Ctrl++")
            QTest::keyClick(f.w.CMD[3], Qt::Key_Plus, Qt::ControlModifier);
        else if (how == "Ctrl+=")
            QTest::keyClick(f.w.CMD[3], Qt::Key_Equal, Qt::ControlModifier);
        else if (how == "Ctrl+-")
            QTest::keyClick(f.w.CMD[3], Qt::Key_Minus, Qt::ControlModifier);
        else if (how.startsWith("menu"))
            (how.endsWith("in") ? f.w.pointing()->zoomInAction : f.w.pointing()->zoomOutAction)->trigger();
        else {
            const QPoint a(kLeft + 20, kTop + 30), b(kLeft + 69, kTop + 54);
            QTest::mousePress(&f.w, Qt::LeftButton, Qt::ShiftModifier, a);
            QTest::mouseMove(&f.w, b);
            QTest::mouseRelease(&f.w, Qt::LeftButton, Qt::ShiftModifier, b);
        }
        f.settle();
        QCOMPARE(f.w.backForward()->history().size(), std::size_t(2));
        const QImage after = pictureOf(f.w, QSize(200, 200));

        int compared = 0, same = 0;
        for (int r = 1; r <= 200; ++r)
            for (int c = 1; c <= 200; ++c) {
                const double nc = to.x() + m * (c - from.x()), nr = to.y() + m * (r - from.y());
                if (nc != std::floor(nc) || nr != std::floor(nr) || nc < 1 || nr < 1 || nc > 200 || nr > 200)
                    continue;
                ++compared;
                same += before.pixel(c - 1, r - 1) == after.pixel(int(nc) - 1, int(nr) - 1);
            }
        QVERIFY2(compared >= 600, qPrintable(QString::number(compared)));
        QVERIFY2(same == compared, qPrintable(QString("%1 of %2 pixels where they should be").arg(same).arg(compared)));
    }

    // Shift and a left drag zoom to the rectangle; a plain drag does not.
    void rubberBand()
    {
        Fixture f;
        setTexts(f.w, {"0", "0", "200", "1", "150"});
        f.w.CMD_Click(3);
        const QPoint a(kLeft + 20, kTop + 30), b(kLeft + 69, kTop + 54);  // 50 x 25 pixels
        QTest::mousePress(&f.w, Qt::LeftButton, Qt::ShiftModifier, a);
        QTest::mouseMove(&f.w, b);
        QTest::mouseRelease(&f.w, Qt::LeftButton, Qt::ShiftModifier, b);
        f.settle();
        QCOMPARE(f.w.TextFour->text(), QString("0.25"));  // magnified 200 / 50 = 4 times
        QCOMPARE(f.w.backForward()->history().size(), std::size_t(2));
        // Columns 21 to 70, rows 31 to 55: the centre, pixel (45.5, 43) of dune
        // at x = y = 0 (origin -100), shows counters (-54.5, -57) at zoom 1,
        // which are (-218, -228) at zoom 0.25; dune's centre pixel 100 shows
        // the position boxes.
        QCOMPARE(f.w.TextOne->text(), QString("-218"));
        QCOMPARE(f.w.TextTwo->text(), QString("-228"));
    }
};

QTEST_MAIN(TestWindowExplore)
#include "test_window_explore.moc"
