#include "window/accessibility.h"

#include "render/frame.h"
#include "window/canvas_origin.h"
#include "window/picture_area.h"
#include "window/picture_area_menu.h"
#include "window/picture_menu.h"
#include "window/qtac.h"
#include "window/window_action.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPushButton>

#include <cmath>

namespace glimra {
namespace {

// Marks the controls that only decorate: assistive technology does not see them.
constexpr const char* kDecoration = "glimraDecoration";

struct Naming {
    const char* control;
    const char* name;
};

// What each control does, in words; the captions ("x", "/", "<") say it only
// to the eye.
constexpr Naming kNames[] = {
    {"Label1", "Exit"},
    {"Label4", "Exit (arrow at the top left)"},
    {"Label2", "Exit (word at the top left)"},
    {"Label7", "Minimize"},
    {"Label17", "Zoom: halve"},
    {"Label8", "Zoom: double"},
    {"TextFour", "Zoom"},
    {"TextThree", "Size"},
    {"TextTwo", "Vertical position"},
    {"TextOne", "Horizontal position"},
    {"Textfive", "Brightness"},
    {"Command1", "Open the maker's web page"},
    {"cmdXX(0)", "Step: double the zoom"},
    {"cmdXX(1)", "Step: halve the zoom"},
    {"cmdXX(2)", "Step: halve the zoom and move back one picture"},
    {"cmdXX(3)", "Step: double the zoom and move on one picture"},
    {"cmd1", "Preset: small"},
    {"cmdb", "Preset: medium"},
    {"Command4", "Preset: large"},
    {"Command3", "Reset"},
    {"cmdstop", "Halt"},
    {"cmdblue(0)", "Double the vertical position"},
    {"cmdblue(1)", "Halve the vertical position"},
    {"cmdblue(2)", "Double the horizontal position"},
    {"cmdblue(3)", "Halve the horizontal position"},
    {"verty(1)", "Move the view up by 250"},
    {"verty(0)", "Move the view down by 250"},
    {"horz(1)", "Move the view left by 250"},
    {"horz(0)", "Move the view right by 250"},
};

// Descriptions where the control has no tool tip to lend one.
constexpr Naming kDescriptions[] = {
    {"Label17", "Halves the zoom box without taking the focus"},
    {"Label8", "Doubles the zoom box without taking the focus"},
    {"Command3", "Stops painting, clears the picture and sets the boxes to 1, 1, 100, 1 and 150"},
    {"cmdstop", "Stops the picture after the column being painted"},
};

constexpr const char* kDecorations[] = {"Label3", "Label10", "Label13"};

// A label that acts: a button to assistive technology, pressed as a click
// presses it.
class ActingLabel : public QAccessibleWidget {
public:
    explicit ActingLabel(ClickLabel* label) : QAccessibleWidget(label, QAccessible::Button) {}

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override
    {
        if (action == pressAction())
            emit static_cast<ClickLabel*>(widget())->clicked();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
};

// The picture area: what it shows, in words.
class PictureArea : public QAccessibleWidget {
public:
    PictureArea(QWidget* canvas, const qTac& window) : QAccessibleWidget(canvas, QAccessible::Graphic), window_(window)
    {
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return QStringLiteral("Picture");
        if (t == QAccessible::Description)
            return pictureDescription(window_);
        return QAccessibleWidget::text(t);
    }

    // The Canvas lies under the whole window; what a reader shows as the
    // picture is the part of it that patterns paint, right of the left
    // column and below the top row.
    QRect rect() const override
    {
        const QRect whole = QAccessibleWidget::rect();
        if (whole.isEmpty())
            return whole;
        return pictureArea(whole);
    }

private:
    const qTac& window_;
};

// The client area without its decoration.
class ClientArea : public QAccessibleWidget {
public:
    explicit ClientArea(QWidget* window) : QAccessibleWidget(window, QAccessible::Client) {}

    int childCount() const override { return int(shown().size()); }
    QAccessibleInterface* child(int index) const override
    {
        const QList<QWidget*> list = shown();
        return index >= 0 && index < list.size() ? QAccessible::queryAccessibleInterface(list[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return child ? int(shown().indexOf(qobject_cast<QWidget*>(child->object()))) : -1;
    }

private:
    QList<QWidget*> shown() const
    {
        QList<QWidget*> list;
        for (QObject* o : widget()->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && !w->isWindow() && !w->property(kDecoration).toBool())
                list.append(w);
        }
        return list;
    }
};

QAccessibleInterface* windowFactory(const QString& key, QObject* object)
{
    if (key == QLatin1String("ClickLabel")) {
        auto* label = qobject_cast<ClickLabel*>(object);
        return label && label->isClickable() ? new ActingLabel(label) : nullptr;
    }
    if (key == QLatin1String("Canvas")) {
        auto* canvas = qobject_cast<QWidget*>(object);
        auto* window = canvas ? qobject_cast<qTac*>(canvas->parentWidget()) : nullptr;
        return window ? new PictureArea(canvas, *window) : nullptr;
    }
    if (key == QLatin1String("qTac"))
        return new ClientArea(qobject_cast<QWidget*>(object));
    return nullptr;
}

// Enter and Return press the focused button, as the space bar does.
class ButtonKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
        auto* button = qobject_cast<QPushButton*>(watched);
        if (!enter || modifiers != Qt::NoModifier || !button || key->isAutoRepeat())
            return false;
        button->click();
        return true;
    }
};

// The picture area's menu where the mouse opens it, on the picture.
bool showPictureMenu(qTac& window)
{
    const QPoint onPicture(kCanvasLeft + 9, kCanvasTop + 9);
    return window.pictureAreaMenu()->show(onPicture, window.mapToGlobal(onPicture));
}

// The keyboard's way to the picture menu: the menu key with a button focused
// (the window system makes it a context menu event for the focus) opens it
// on the picture area. A box keeps its own menu.
class MenuKey : public QObject {
public:
    MenuKey(qTac& window) : QObject(&window), window_(window) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::ContextMenu ||
            static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Keyboard)
            return false;
        return showPictureMenu(window_);
    }

private:
    qTac& window_;
};

QString sizeWords(const PatternTexts& texts)
{
    const Derived d = sizedFrame(readParameters(texts));
    if (!(d.N >= 1 && d.S >= 1) || !std::isfinite(d.N) || !std::isfinite(d.S))
        return QStringLiteral("nothing to paint");
    return QStringLiteral("%1 \u00d7 %2").arg(std::floor(d.N), 0, 'f', 0).arg(std::floor(d.S), 0, 'f', 0);
}

}  // namespace

QString pictureDescription(const qTac& window)
{
    const auto recipe = window.pictures()->recipe();
    if (!recipe || !window.pictures()->hasPicture())
        return QStringLiteral("Nothing painted");
    QString state;
    if (window.renderDepth() > 0)
        state = QStringLiteral("painting");
    else if (const auto outcome = window.lastOutcome()) {
        switch (*outcome) {
        case Outcome::Completed: state = QStringLiteral("finished"); break;
        case Outcome::Halted: state = QStringLiteral("halted"); break;
        case Outcome::Faulted: state = QStringLiteral("ended by an arithmetic fault"); break;
        case Outcome::Refused: state = QStringLiteral("refused"); break;
        }
    }
    return QStringLiteral("%1, %2, %3").arg(QString::fromStdString(recipe->pattern), sizeWords(recipe->texts), state);
}

void makeAccessible(qTac& window)
{
    static const bool installed = [] {
        QAccessible::installFactory(windowFactory);
        return true;
    }();
    (void)installed;

    for (const Naming& n : kNames)
        if (QWidget* w = window.findChild<QWidget*>(QString::fromLatin1(n.control)))
            w->setAccessibleName(QString::fromLatin1(n.name));
    for (const glimra::Pattern* p : patternTable()) {
        QPushButton* button = window.CMD[std::size_t(patternIndex(*p))];
        button->setAccessibleName(QString::fromLatin1(p->name));
        button->setAccessibleDescription(QStringLiteral("Paints the pattern %1").arg(QString::fromLatin1(p->name)));
    }
    // The tool tips, without the blanks that pad them on the screen.
    for (QWidget* w : window.findChildren<QWidget*>())
        if (!w->toolTip().isEmpty())
            w->setAccessibleDescription(w->toolTip().trimmed());
    for (const Naming& n : kDescriptions)
        if (QWidget* w = window.findChild<QWidget*>(QString::fromLatin1(n.control)))
            w->setAccessibleDescription(QString::fromLatin1(n.name));
    for (const char* name : kDecorations)
        if (QWidget* w = window.findChild<QWidget*>(QString::fromLatin1(name)))
            w->setProperty(kDecoration, true);
    window.setAccessibleName(QStringLiteral("Color Glimra"));
    // The toolkit made (and kept) the plain interfaces of these as they were
    // built, when a label's text was first set; they are made again, as ours.
    QList<QObject*> ours{&window, window.canvasWidget()};
    for (ClickLabel* l : window.findChildren<ClickLabel*>())
        if (l->isClickable())
            ours.append(l);
    for (QObject* o : ours)
        if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(o))
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));

    auto* keys = new ButtonKeys(&window);
    for (QPushButton* b : window.findChildren<QPushButton*>())
        b->installEventFilter(keys);
    window.installEventFilter(new MenuKey(window));

    // What only the exit and minimize labels did, for the keyboard.
    auto shortcut = [&](const char* name, const QString& text, const QKeySequence& keys, auto slot) {
        windowAction(window, &window, name, text, {keys}, slot);
    };
    shortcut("exitAction", QStringLiteral("Exit"), QKeySequence(Qt::CTRL | Qt::Key_Q), &qTac::Label1_Click);
    shortcut("minimizeAction", QStringLiteral("Minimize"), QKeySequence(Qt::CTRL | Qt::Key_M), &qTac::Label7_Click);
    // Shift+F10 is the menu key where a keyboard has none; the window system
    // does not make it a context menu event by itself.
    shortcut("pictureMenuAction", QStringLiteral("Picture menu"), QKeySequence(Qt::SHIFT | Qt::Key_F10),
             [&window] { showPictureMenu(window); });
}

}  // namespace glimra
