// Keeping pictures: saving from the window and painting the saved file again
// with glimra-render, opening a saved picture (menu and drop), refusing files
// that are not ours, the shortcuts beside the boxes' own, and where the
// context menu appears.
//
// The dialogs and the message box are replaced by answers the test gives, so
// nothing waits for a person.
#include "test_window_support.h"

#include "picture/picture_file.h"
#include "render/numtext.h"
#include "window/application.h"
#include "window/large_picture.h"
#include "window/picture_menu.h"
#include "window/qtac.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <cmath>
#include <utility>

using namespace support;

namespace {

// Drags `data` onto the window and drops it there: whether the window took
// the drag, and the drop.
std::pair<bool, bool> drop(QWidget& target, const QMimeData& data)
{
    const QPoint at(400, 400);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(&target, &enter);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    dropped.setAccepted(false);
    QCoreApplication::sendEvent(&target, &dropped);
    return {enter.isAccepted(), dropped.isAccepted()};
}

// glimra-render --from `png`; empty when it worked, else why not.
QString renderFrom(const QString& png, const QString& out)
{
    QProcess p;
    p.start(QStringLiteral(GLIMRA_RENDER_PATH), {"--from", png, "-o", out});
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return "glimra-render --from failed: " + QString::fromLocal8Bit(p.readAllStandardError());
    return {};
}

QImage rgb(const QString& path) { return QImage(path).convertToFormat(QImage::Format_RGB32); }

}  // namespace

class TestWindowKeep : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void savedPictureRendersAgain_data();
    void savedPictureRendersAgain();
    void saveDuringRenderKeepsRendering();
    void openedPictureRendersAsClick_data();
    void openedPictureRendersAsClick();
    void refusedFileChangesNothing_data();
    void refusedFileChangesNothing();
    void dragsOtherThanOneLocalFileAreIgnored_data();
    void dragsOtherThanOneLocalFileAreIgnored();
    void shortcutsBesideTheBoxesOwn();
    void contextMenuOnlyOverPictureArea_data();
    void contextMenuOnlyOverPictureArea();
    void largePictureIsTheToolsFile();
    void largePictureRendersBesideTheWindow();

private:
    struct Fixture {
        qTac w;
        QTemporaryDir dir;
        QStringList offered;  // names the save dialog was offered
        QString saveAs;       // and its answer
        QString openName;
        int openAsked = 0;
        QStringList complaints;  // "title: text"
        long columns = 0;
        Fixture()
        {
            w.Timer1->stop();
            w.show();
            w.pictures()->setSaveChooser([this](const QString& suggested) {
                offered << suggested;
                return saveAs;
            });
            w.pictures()->setOpenChooser([this] {
                ++openAsked;
                return openName;
            });
            w.pictures()->setComplaint(
                [this](const QString& title, const QString& text) { complaints << title + ": " + text; });
            w.columnPainted = [this](int, long) { ++columns; };
        }
        // Through Open picture or dropped on the window, and whatever that
        // leads to handled.
        void open(const QString& path, bool dropped)
        {
            if (dropped) {
                QMimeData data;
                data.setUrls({QUrl::fromLocalFile(path)});
                QCOMPARE(drop(w, data), std::make_pair(true, true));
            } else {
                openName = path;
                w.pictures()->openAction->trigger();
            }
            QCoreApplication::processEvents();
        }
    };
};

void TestWindowKeep::initTestCase() { glimra::prepareApplication(*qApp); }

void TestWindowKeep::savedPictureRendersAgain_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<Texts>("texts");
    QTest::addColumn<QString>("name");  // the name the dialog suggests
    QTest::newRow("dune, lenient texts") << 3 << Texts{" 1", "-2.5e0", "1 00", "0.7abc", "150"} << "dune-100.png";
    QTest::newRow("hix, 1024 x 768") << 7 << Texts{"1", "1", "768", "0.15", "150"} << "hix-768.png";
    // Cut by the window's lower edge on the screen, saved whole.
    QTest::newRow("dune, 1024, cut") << 3 << Texts{"1", "1", "1024", "1", "150"} << "dune-1024.png";
    QTest::newRow("grin, 966, cut by a row") << 6 << Texts{"3", "-2", "966", "0.5", "120"} << "grin-966.png";
}

void TestWindowKeep::savedPictureRendersAgain()
{
    QFETCH(int, button);
    QFETCH(Texts, texts);
    QFETCH(QString, name);
    Fixture f;
    setTexts(f.w, texts);
    QTest::mouseClick(f.w.CMD[std::size_t(button)], Qt::LeftButton);
    // What the boxes say after the render started is not what made it.
    setTexts(f.w, {"5", "5", "50", "2", "90"});
    f.saveAs = f.dir.filePath("saved.png");
    f.w.pictures()->saveAction->trigger();

    QCOMPARE(f.offered.size(), 1);
    QCOMPARE(QFileInfo(f.offered[0]).fileName(), name);
    QVERIFY2(f.complaints.isEmpty(), qPrintable(f.complaints.join('\n')));
    const QImage saved = rgb(f.saveAs);
    const QRect shown = f.w.canvasWidget()->paintedRect();
    // What the window shows is the saved picture's top, all of it when it is
    // not cut.
    const long side = std::lround(glimra::Val(texts.size.toStdString()));
    QCOMPARE(saved.height(), side == 768 ? 768 : int(side));
    QString diff = difference(saved.copy(QRect(QPoint(0, 0), shown.size())), f.w.canvas().copy(shown));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    QString why;
    const auto recipe = glimra::readRecipe(f.saveAs, &why);
    QVERIFY2(recipe, qPrintable(why));
    const QStringList stored{QString::fromStdString(recipe->texts.x), QString::fromStdString(recipe->texts.y),
                             QString::fromStdString(recipe->texts.size), QString::fromStdString(recipe->texts.zoom),
                             QString::fromStdString(recipe->texts.bright)};
    QCOMPARE(stored, (QStringList{texts.x, texts.y, texts.size, texts.zoom, texts.bright}));

    const QString again = f.dir.filePath("again.png");
    const QString failure = renderFrom(f.saveAs, again);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    diff = difference(rgb(again), saved);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void TestWindowKeep::saveDuringRenderKeepsRendering()
{
    const Texts texts{"1", "1", "40", "1", "150"};
    const QImage picture = reference("dune", texts);
    QVERIFY(!picture.isNull());
    Fixture f;
    setTexts(f.w, texts);
    f.saveAs = f.dir.filePath("early.png");
    f.w.columnPainted = [&](int, long column) {
        ++f.columns;
        // Handled by the render's yield after this column.
        if (column == 9)
            QMetaObject::invokeMethod(
                &f.w, [&] { f.w.pictures()->saveAction->trigger(); }, Qt::QueuedConnection);
    };
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);

    QString diff = difference(rgb(f.saveAs), picture.copy(0, 0, 10, 40));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
    QCOMPARE(f.columns, 40L);
    diff = difference(f.w.canvas(), laidOver(blankCanvas(), picture));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void TestWindowKeep::openedPictureRendersAsClick_data()
{
    QTest::addColumn<bool>("dropped");
    QTest::newRow("Open picture") << false;
    QTest::newRow("dropped on the window") << true;
}

void TestWindowKeep::openedPictureRendersAsClick()
{
    QFETCH(bool, dropped);
    const Texts typed{"-3", "2.5", "  40 ", "0.2xyz", " 1 20"};
    Fixture f;
    const QString png = f.dir.filePath("punk.png");
    QProcess p;
    p.start(QStringLiteral(GLIMRA_RENDER_PATH), {"punk", "--x", typed.x, "--y", typed.y, "--size", typed.size, "--zoom",
                                                 typed.zoom, "--bright", typed.bright, "-o", png});
    QVERIFY(p.waitForFinished(300000) && p.exitCode() == 0);
    const QImage picture = rgb(png);

    setTexts(f.w, {"1", "1", "20", "1", "150"});
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);  // a highlight and a picture to replace
    f.w.cmdstop_Click();
    f.columns = 0;
    f.open(png, dropped);

    QVERIFY2(f.complaints.isEmpty(), qPrintable(f.complaints.join('\n')));
    QCOMPARE(texts(f.w), (QStringList{typed.x, typed.y, typed.size, typed.zoom, typed.bright}));
    QCOMPARE(f.columns, 40L);
    QCOMPARE(f.w.HaltFlag, QString());
    for (int b = 0; b < glimra::kPatternCount; ++b)
        QCOMPARE(qTac::backColour(f.w.CMD[b]), b == 14 ? kOrange : kGrey);
    const QString diff = difference(f.w.canvas(), laidOver(blankCanvas(), picture));
    QVERIFY2(diff.isEmpty(), qPrintable(diff));
}

void TestWindowKeep::refusedFileChangesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("not a PNG") << "text" << false;
    QTest::newRow("not a PNG, dropped") << "text" << true;
    QTest::newRow("empty file") << "empty" << false;
    QTest::newRow("missing file") << "missing" << false;
    QTest::newRow("PNG of another program") << "foreign" << false;
    QTest::newRow("broken density") << "density" << false;
    QTest::newRow("unknown pattern") << "pattern" << false;
    QTest::newRow("PNG cut short") << "cut" << false;
}

void TestWindowKeep::refusedFileChangesNothing()
{
    QFETCH(QString, kind);
    QFETCH(bool, dropped);
    Fixture f;
    const QString path = f.dir.filePath("refused.png");
    QImage ours(16, 16, QImage::Format_RGB32);
    ours.fill(Qt::red);
    const char* keys[] = {"glimra-x", "glimra-y", "glimra-size", "glimra-zoom", "glimra-bright"};
    for (const char* key : keys)
        ours.setText(key, "20");
    if (kind == "text" || kind == "empty") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == "text")
            file.write("glimra-pattern dune\n");
    } else if (kind == "foreign") {
        QImage image(16, 16, QImage::Format_RGB32);
        image.fill(Qt::red);
        image.setText("Software", "another program");
        QVERIFY(image.save(path));
    } else if (kind == "density" || kind == "pattern" || kind == "cut") {
        ours.setText("glimra-pattern", kind == "pattern" ? "nosuch" : "dune");
        if (kind == "density")
            ours.setText("glimra-density", "abc");
        QVERIFY(ours.save(path));
        if (kind == "cut")
            QVERIFY(QFile::resize(path, 40));  // the header and no more
    }

    setTexts(f.w, {"7", "8", "30", "0.5", "99"});
    f.w.cmdstop_Click();
    const QImage before = f.w.canvas().copy();
    f.open(path, dropped);

    QCOMPARE(f.complaints.size(), 1);
    QVERIFY2(f.complaints[0].startsWith("Cannot open picture: ") && f.complaints[0].contains(path),
             qPrintable(f.complaints[0]));
    QCOMPARE(texts(f.w), (QStringList{"7", "8", "30", "0.5", "99"}));
    QCOMPARE(f.w.HaltFlag, QString("p"));
    QCOMPARE(f.columns, 0L);
    QVERIFY(f.w.canvas() == before);
    for (int b = 0; b < glimra::kPatternCount; ++b)
        QCOMPARE(qTac::backColour(f.w.CMD[b]), kGrey);
}

void TestWindowKeep::dragsOtherThanOneLocalFileAreIgnored_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    const QUrl file = QUrl::fromLocalFile("/tmp/a.png");
    QTest::newRow("one file") << QList<QUrl>{file} << QString() << true;
    QTest::newRow("two files") << QList<QUrl>{file, QUrl::fromLocalFile("/tmp/b.png")} << QString() << false;
    QTest::newRow("web address") << QList<QUrl>{QUrl("https://example.org/a.png")} << QString() << false;
    QTest::newRow("plain text") << QList<QUrl>{} << QString("/tmp/a.png") << false;
}

void TestWindowKeep::dragsOtherThanOneLocalFileAreIgnored()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    Fixture f;
    QMimeData data;
    if (!urls.isEmpty())
        data.setUrls(urls);
    if (!text.isEmpty())
        data.setText(text);
    QCOMPARE(drop(f.w, data), std::make_pair(accepted, accepted));
    if (!accepted) {
        QCoreApplication::processEvents();
        QVERIFY(f.complaints.isEmpty());
    }
}

void TestWindowKeep::shortcutsBesideTheBoxesOwn()
{
    Fixture f;
    f.w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.w));
    QClipboard* clipboard = QGuiApplication::clipboard();
    f.saveAs = f.dir.filePath("keys.png");
    f.openName = f.dir.filePath("none.png");

    // Before any render there is nothing to save or copy.
    clipboard->clear();
    QTest::keyClick(f.w.TextThree, Qt::Key_S, Qt::ControlModifier);
    QTest::keyClick(f.w.TextThree, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(f.offered.isEmpty());
    QVERIFY(clipboard->image().isNull());

    setTexts(f.w, {"1", "1", "20", "1", "150"});
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);
    const QImage shown = f.w.canvas().copy(f.w.canvasWidget()->paintedRect());
    QCOMPARE(shown.size(), QSize(20, 20));

    // Ctrl+C in a box copies the box's text.
    f.w.TextOne->setFocus();
    f.w.TextOne->setText("12345");
    f.w.TextOne->selectAll();
    QTest::keyClick(f.w.TextOne, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QString("12345"));
    QVERIFY(clipboard->image().isNull());

    QTest::keyClick(f.w.TextOne, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QString diff = difference(clipboard->image().convertToFormat(QImage::Format_RGB32), shown);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    QTest::keyClick(f.w.TextOne, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(f.offered.size(), 1);
    diff = difference(rgb(f.saveAs), shown);
    QVERIFY2(diff.isEmpty(), qPrintable(diff));

    QTest::keyClick(f.w.TextOne, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(f.openAsked, 1);
    QCOMPARE(f.complaints.size(), 1);  // the file it answered does not exist
}

void TestWindowKeep::contextMenuOnlyOverPictureArea_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("shown");
    QTest::newRow("picture area") << QPoint(400, 400) << true;
    QTest::newRow("its top-left pixel") << QPoint(161, 51) << true;
    QTest::newRow("left of it") << QPoint(160, 400) << false;
    QTest::newRow("above it") << QPoint(400, 50) << false;
    QTest::newRow("panel of the pattern buttons") << QPoint(100, 400) << false;
    QTest::newRow("bar along the bottom") << QPoint(400, 1000) << false;
}

void TestWindowKeep::contextMenuOnlyOverPictureArea()
{
    QFETCH(QPoint, at);
    QFETCH(bool, shown);
    Fixture f;
    QStringList items;  // the open menu's actions, "-" when disabled
    QTimer::singleShot(0, &f.w, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* a : menu->actions())
                if (!a->isSeparator())
                    items << (a->isEnabled() ? "" : "-") + a->text();
            menu->close();
        }
    });
    // Delivered where a click would be, passed on to the window as Qt does.
    QWidget* target = f.w.childAt(at) ? f.w.childAt(at) : &f.w;
    QContextMenuEvent event(QContextMenuEvent::Mouse, target->mapFrom(&f.w, at), f.w.mapToGlobal(at));
    QApplication::sendEvent(target, &event);
    QCoreApplication::processEvents();

    // Before any render: nothing to save, copy or navigate, but a picture to
    // open, a formula to write and a place to paste.
    const QStringList expected{"-Save picture\u2026",
                               "-Save large picture\u2026",
                               "-Copy picture",
                               "Open picture\u2026",
                               "Pattern editor\u2026",
                               "-Centre here",
                               "-Zoom in",
                               "-Zoom out",
                               "-Move left",
                               "-Move right",
                               "-Move up",
                               "-Move down",
                               "-Back",
                               "-Forward",
                               "-Copy place",
                               "Paste place"};
    QCOMPARE(items, shown ? expected : QStringList());
}

// Saved from the window in the background, byte for byte what glimra-render
// --from writes of the place with that density and samples.
void TestWindowKeep::largePictureIsTheToolsFile()
{
    Fixture f;
    setTexts(f.w, {"-3.5", "12", "40", "0.7", "150"});
    QTest::mouseClick(f.w.CMD[14], Qt::LeftButton);
    setTexts(f.w, {"5", "5", "50", "2", "90"});  // later edits do not count
    f.saveAs = f.dir.filePath("shown.png");
    f.w.pictures()->saveAction->trigger();
    const QString large = f.dir.filePath("large.png");
    QSignalSpy finished(f.w.largePicture(), &LargePicture::finished);
    QVERIFY(f.w.largePicture()->start({3, 2, large}));
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.front().at(0).toBool(), true);

    const QString tool = f.dir.filePath("tool.png");
    QProcess p;
    p.start(QStringLiteral(GLIMRA_RENDER_PATH), {"--from", f.saveAs, "--density", "3", "--samples", "2", "-o", tool});
    QVERIFY(p.waitForFinished(60000) && p.exitCode() == 0);
    QFile a(large), b(tool);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    const QByteArray ours = a.readAll();
    QVERIFY(ours.size() > 1000);
    QVERIFY(ours == b.readAll());
}

// The window paints while a save renders, and a cancelled save leaves
// nothing behind, not even its temporary file.
void TestWindowKeep::largePictureRendersBesideTheWindow()
{
    Fixture f;
    setTexts(f.w, {"1", "1", "150", "1", "150"});
    QTest::mouseClick(f.w.CMD[10], Qt::LeftButton);
    QSignalSpy finished(f.w.largePicture(), &LargePicture::finished);
    // Far too large to end by itself during this test.
    QVERIFY(f.w.largePicture()->start({64, 8, f.dir.filePath("huge.png")}));
    QVERIFY(f.w.largePicture()->running());

    const long before = f.columns;
    setTexts(f.w, {"1", "1", "60", "1", "150"});
    QTest::mouseClick(f.w.CMD[3], Qt::LeftButton);
    QCOMPARE(f.columns - before, 60L);
    QVERIFY(f.w.largePicture()->running());

    f.w.largePicture()->cancel();
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.front().at(0).toBool(), false);
    QVERIFY(f.complaints.isEmpty());
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

QTEST_MAIN(TestWindowKeep)
#include "test_window_keep.moc"
