// The control kit of the window: the two control kinds of its own (a label
// that can be clicked, a box that reports losing the focus), the design of
// every control, and how a design becomes a control.
#pragma once

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QRect>
#include <QString>

#include <variant>
#include <vector>

class QPushButton;
class qTac;

// A label that can be clicked and that reports the pointer moving over it.
// Labels that nobody listens to let mouse presses through to the window, so the
// window can be dragged by its titles and panels as well as its background.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(QWidget* parent = nullptr);
    void setClickable(bool clickable) { clickable_ = clickable; }
    bool isClickable() const { return clickable_; }

signals:
    void clicked();
    void mouseMoved();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    bool clickable_ = false;
    bool pressed_ = false;
};

// A one-line box that reports losing the focus to another control of the
// window (not to another application, nor to its own context menu).
class TextBox : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

    // The focus object of the box's window changed. While another application
    // is active, a click on a control moves the focus without any focus event,
    // so this is where the box learns that the focus left it.
    void focusMovedInWindow(QObject* now);

signals:
    void lostFocus();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool leftWithWindow_ = false;  // lost the focus to another application
};

namespace glimra {

inline constexpr int kNoColour = -1;  // no colour of its own: transparent back, default text

struct FontChoice {
    const char* face = nullptr;  // null: the window's own font
    double points = 0;
    bool bold = false;
};

// One control as designed. `member` is where the window keeps it; its type
// decides the kind of control, so a label cannot be built into a button's slot.
struct ControlDesign {
    std::variant<ClickLabel**, TextBox**, QPushButton**> member;
    QString name;  // the design name, also the control's object name
    QString caption;
    QRect place;
    int back = kNoColour;  // 0xRRGGBB
    int text = kNoColour;  // 0xRRGGBB
    FontChoice font;
    const char* tip = nullptr;
    int tab = 0;  // focus order; labels take no focus
};

// Every control of the window in design order, the pattern buttons last.
std::vector<ControlDesign> windowDesign(qTac& window);

// Creates the control, places, colours and labels it, and stores it in its
// member of the window.
QWidget* buildControl(QWidget* parent, const ControlDesign& design);

// The window's own small font and the faces that stand in for missing ones.
QFont windowFont();

// The palette roles that hold a control's back and text colour.
QPalette::ColorRole backRole(const QWidget* control);
QPalette::ColorRole textRole(const QWidget* control);

}  // namespace glimra
