// The window as assistive technology sees it: walking the accessibility tree
// from the window, every control that acts has a name of its own and, where
// it is pressed, the press action; pressing through that action does what a
// click does. Decoration is not in the tree; the picture area says what it
// shows. Enter and Return press the focused button.
#include "test_window_support.h"

#include "window/accessibility.h"
#include "window/application.h"
#include "window/picture_menu.h"
#include "window/qtac.h"

#include <QAccessible>
#include <QApplication>
#include <QAction>
#include <QContextMenuEvent>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using namespace support;

namespace {

void walk(QAccessibleInterface* node, const std::function<void(QAccessibleInterface*)>& visit)
{
    if (!node)
        return;
    visit(node);
    for (int k = 0; k < node->childCount(); ++k)
        walk(node->child(k), visit);
}

// A window whose exit, browser and dialogs only count.
struct Counted {
    qTac w;
    int exits = 0;
    int browsers = 0;
    Counted()
    {
        w.setProgramEnder([this] { ++exits; });
        w.setBrowserStarter([this](const QString&) {
            ++browsers;
            return true;
        });
        setTexts(w, Texts{"3", "5", "100", "0.5", "150"});
        w.show();
    }
};

}  // namespace

class TestWindowAccess : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyActingControlNamed();
    void pressIsClick();
    void pictureDescribed();
    void enterPresses_data();
    void enterPresses();
    void shortcutsForTheLabels();
    void menuKeyOpensPictureMenu_data();
    void menuKeyOpensPictureMenu();
};

void TestWindowAccess::initTestCase() { glimra::prepareApplication(*qApp); }

void TestWindowAccess::everyActingControlNamed()
{
    Counted c;
    QVERIFY(QTest::qWaitForWindowExposed(&c.w));
    QHash<QObject*, QAccessibleInterface*> seen;
    walk(QAccessible::queryAccessibleInterface(&c.w), [&](QAccessibleInterface* node) { seen[node->object()] = node; });

    QSet<QString> names;
    for (QWidget* control : support::actingControls(c.w)) {
        const QString id = control->objectName();
        QAccessibleInterface* node = seen.value(control);
        QVERIFY2(node, qPrintable(id + " is not in the tree"));
        const QString name = node->text(QAccessible::Name);
        QVERIFY2(!name.trimmed().isEmpty(), qPrintable(id + " has no name"));
        QVERIFY2(!names.contains(name), qPrintable(id + " shares its name " + name));
        names.insert(name);
        // The caption is the eye's, the name the ear's; only a pattern
        // button's caption is its name.
        auto* button = qobject_cast<QPushButton*>(control);
        if (button && std::find(c.w.CMD.begin(), c.w.CMD.end(), button) == c.w.CMD.end())
            QVERIFY2(button->text() != name, qPrintable(id + " is named only by its caption"));
        if (!qobject_cast<TextBox*>(control)) {
            QVERIFY2(node->role() == QAccessible::Button, qPrintable(id + " is no button"));
            QVERIFY2(node->actionInterface() &&
                         node->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()),
                     qPrintable(id + " cannot be pressed"));
        }
        if (!control->toolTip().isEmpty())
            QCOMPARE(node->text(QAccessible::Description), control->toolTip().trimmed());
    }
    for (const char* panel : {"Label3", "Label10", "Label13"})
        QVERIFY2(!seen.contains(c.w.findChild<QWidget*>(panel)), panel);
    QVERIFY(seen.contains(c.w.canvasWidget()));
    QCOMPARE(seen[c.w.canvasWidget()]->text(QAccessible::Name), QString("Picture"));
    // Where a reader shows the picture: right of the left column, below the
    // top row, not over the controls.
    const QRect picture = seen[c.w.canvasWidget()]->rect();
    QCOMPARE(picture.topLeft(), c.w.mapToGlobal(QPoint(kLeft, kTop)));
    QCOMPARE(picture.bottomRight(), c.w.mapToGlobal(QPoint(qTac::kClientWidth - 1, qTac::kClientHeight - 1)));
}

void TestWindowAccess::pressIsClick()
{
    // Two windows alike; in one each control is pressed through its
    // interface, in the other clicked; afterwards they must agree.
    Counted pressed, clicked;
    QVERIFY(QTest::qWaitForWindowExposed(&pressed.w));
    QVERIFY(QTest::qWaitForWindowExposed(&clicked.w));
    const QList<QWidget*> a = support::actingControls(pressed.w);
    const QList<QWidget*> b = support::actingControls(clicked.w);
    QCOMPARE(a.size(), b.size());
    for (qsizetype k = 0; k < a.size(); ++k) {
        if (qobject_cast<TextBox*>(a[k]))
            continue;
        const QString id = a[k]->objectName();
        QCOMPARE(b[k]->objectName(), id);
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(a[k]);
        node->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTest::mouseClick(b[k], Qt::LeftButton, {}, b[k]->rect().center());
        // A button pressed through its interface shows itself pressed for a
        // moment before it clicks, as the toolkit does.
        auto agree = [&] {
            return texts(pressed.w) == texts(clicked.w) && pressed.exits == clicked.exits &&
                   pressed.browsers == clicked.browsers && pressed.w.isMinimized() == clicked.w.isMinimized() &&
                   pressed.w.HaltFlag == clicked.w.HaltFlag &&
                   difference(pressed.w.canvas(), clicked.w.canvas()).isEmpty();
        };
        QTRY_VERIFY2_WITH_TIMEOUT(agree(), qPrintable(id + ": a press and a click differ"), 2000);
        for (qTac* w : {&pressed.w, &clicked.w})
            if (w->isMinimized())
                w->showNormal();
    }
    // Every kind of action happened at least once.
    QVERIFY(pressed.exits == 3 && pressed.browsers == 1);
}

void TestWindowAccess::pictureDescribed()
{
    Counted c;
    QAccessibleInterface* picture = QAccessible::queryAccessibleInterface(c.w.canvasWidget());
    QCOMPARE(picture->text(QAccessible::Description), QString("Nothing painted"));
    setTexts(c.w, Texts{"1", "1", "768", "0.15", "150"});
    c.w.CMD_Click(3);
    QCOMPARE(picture->text(QAccessible::Description), QString("dune, 1024 \u00d7 768, finished"));
    int columns = 0;
    c.w.columnPainted = [&](int, long) {
        if (++columns == 5)
            c.w.cmdstop_Click();
    };
    setTexts(c.w, Texts{"1", "1", "300", "1", "150"});
    c.w.CMD_Click(5);
    QCOMPARE(picture->text(QAccessible::Description), QString("fun, 300 \u00d7 300, halted"));
}

void TestWindowAccess::enterPresses_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

void TestWindowAccess::enterPresses()
{
    QFETCH(int, key);
    Counted c;
    c.w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&c.w));
    c.w.cmdblue[2]->setFocus();
    QTest::keyClick(c.w.cmdblue[2], Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    QCOMPARE(c.w.TextOne->text(), QString("6"));
}

void TestWindowAccess::shortcutsForTheLabels()
{
    // What only the mouse reached: exit and minimize.
    Counted c;
    c.w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&c.w));
    QTest::keyClick(c.w.TextThree, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(c.exits, 1);
    QTest::keyClick(c.w.TextThree, Qt::Key_M, Qt::ControlModifier);
    QTRY_VERIFY(c.w.isMinimized());
}

void TestWindowAccess::menuKeyOpensPictureMenu_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Menu") << int(Qt::Key_Menu) << int(Qt::NoModifier);
    QTest::newRow("Shift+F10") << int(Qt::Key_F10) << int(Qt::ShiftModifier);
}

void TestWindowAccess::menuKeyOpensPictureMenu()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    Counted c;
    c.w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&c.w));
    c.w.CMD[3]->setFocus();
    QStringList shown;
    QTimer::singleShot(200, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            for (QAction* a : popup->actions())
                shown << a->text();
            popup->close();
        }
    });
    if (key == Qt::Key_Menu) {
        // What the window system makes of the menu key: a context menu event
        // for the focused control.
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, c.w.CMD[3]->rect().center(),
                               c.w.CMD[3]->mapToGlobal(c.w.CMD[3]->rect().center()));
        QApplication::sendEvent(c.w.CMD[3], &menu);
    } else {
        QTest::keyClick(c.w.CMD[3], Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    }
    QTRY_VERIFY(!shown.isEmpty());
    QVERIFY(shown.contains(c.w.pictures()->saveAction->text()));
}

QTEST_MAIN(TestWindowAccess)
#include "test_window_access.moc"
