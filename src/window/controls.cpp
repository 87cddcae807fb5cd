#include "window/controls.h"

#include "patterns/patterns.h"
#include "version.h"
#include "window/qtac.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QFont>
#include <QMouseEvent>
#include <QPushButton>

#include <type_traits>
#include <utility>

// ---------------------------------------------------------------------------
// ClickLabel, TextBox

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    if (!clickable_ || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    pressed_ = true;
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (!clickable_) {
        event->ignore();
        return;
    }
    const bool wasPressed = std::exchange(pressed_, false);
    if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void ClickLabel::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMoved();
    if (!clickable_)
        event->ignore();
}

void TextBox::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    leftWithWindow_ = false;
}

void TextBox::focusMovedInWindow(QObject* now)
{
    if (leftWithWindow_ && now && now != this) {
        leftWithWindow_ = false;
        emit lostFocus();
    }
}

void TextBox::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    leftWithWindow_ = event->reason() == Qt::ActiveWindowFocusReason;
    // Switching to another application or opening the box's own menu is not
    // leaving the box.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        emit lostFocus();
}

namespace glimra {
namespace {

constexpr FontChoice kDefault{};
constexpr FontChoice kPatternFont{"Verdana", 12, true};
constexpr int kPatternTabs[kPatternCount] = {5, 6, 7, 8, 9, 10, 11, 12, 13, 21, 22, 25, 26, 27, 28, 29, 30, 34, 53};

QColor colourOf(int rgb) { return QColor((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff); }

// Positions are pixels, so sizes are taken at 96 dots per inch whatever the
// screen claims: a font then fills its control as it was designed to.
int pixelsForPoints(double points) { return qRound(points * 96.0 / 72.0); }

void registerFaceSubstitutes()
{
    static const bool done = [] {
        QFont::insertSubstitution(QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"));
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));
        QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
        return true;
    }();
    (void)done;
}

QFont fontFor(const FontChoice& choice, const QFont& windowFont)
{
    if (!choice.face)
        return windowFont;
    QFont font(QString::fromLatin1(choice.face));
    font.setPixelSize(pixelsForPoints(choice.points));
    font.setBold(choice.bold);
    return font;
}

}  // namespace

QFont windowFont()
{
    registerFaceSubstitutes();
    // A fixed small face: the design's box and button sizes hold whatever the
    // desktop's default font happens to be.
    QFont own(QStringLiteral("DejaVu Sans"));
    own.setPixelSize(pixelsForPoints(8.25));
    return own;
}

QPalette::ColorRole backRole(const QWidget* control)
{
    if (qobject_cast<const QAbstractButton*>(control))
        return QPalette::Button;
    if (qobject_cast<const QLineEdit*>(control))
        return QPalette::Base;
    return QPalette::Window;
}

QPalette::ColorRole textRole(const QWidget* control)
{
    if (qobject_cast<const QAbstractButton*>(control))
        return QPalette::ButtonText;
    if (qobject_cast<const QLineEdit*>(control))
        return QPalette::Text;
    return QPalette::WindowText;
}

std::vector<ControlDesign> windowDesign(qTac& w)
{
    const int none = kNoColour;
    std::vector<ControlDesign> d = {
        {&w.Label4, "Label4", "<", {8, 4, 17, 17}, 0x404040, 0xff0000, {"MS Sans Serif", 12, true}, "  Exit  ", 46},
        {&w.Label2, "Label2", "exit", {24, 8, 33, 17}, none, 0xc00000, kDefault, nullptr, 47},
        {&w.TextFour,
         "TextFour",
         "1",
         {76, 5, 273, 24},
         0x402000,
         0xff8040,
         {"Verdana", 9.75, true},
         "  Set the Xoom to a frcation to xoom into the quorbel,  ",
         16},
        {&w.Label17, "Label17", "X", {356, 4, 20, 25}, 0x404040, 0xff8040, {"Verdana", 18, true}, nullptr, 20},
        {&w.Label8, "Label8", "OOM", {376, 8, 41, 17}, 0x404040, 0xff8040, {"Verdana", 11.25, true}, nullptr, 17},
        {&w.Label5,
         "Label5",
         "GLIMRA QUORBEL",
         {568, 8, 223, 25},
         none,
         0x808080,
         {"Verdana", 8.25, true},
         nullptr,
         23},
        {&w.Label6,
         "Label6",
         "VERSION   " GLIMRA_VERSION,
         {832, 8, 167, 25},
         none,
         0x808080,
         {"Verdana", 8.25, true},
         nullptr,
         35},
        {&w.Command1,
         "Command1",
         qTac::kWebAddress,
         {992, 8, 193, 22},
         0xffbf00,
         none,
         {"Verdana", 8.25, false},
         nullptr,
         52},
        {&w.Label7,
         "Label7",
         "-",
         {1240, 0, 17, 25},
         0x404040,
         0x8080ff,
         {"MS Sans Serif", 13.5, true},
         "minimize",
         36},
        {&w.Label1, "Label1", "x", {1256, 0, 25, 33}, 0x404040, 0x8080ff, {"MS Sans Serif", 13.5, true}, "exit", 14},
        // The second step button sits at 74 2/3 in the design: the nearest pixel.
        {&w.cmdXX[0], "cmdXX(0)", "<", {16, 36, 60, 21}, 0xffc080, none, kDefault, "Log Xoom", 37},
        {&w.cmdXX[1], "cmdXX(1)", ">", {75, 36, 60, 21}, 0xffc080, none, kDefault, "Log Xoom", 38},
        {&w.Label3, "Label3", "", {8, 64, 137, 208}, 0x000000, none, kDefault, nullptr, 15},
        {&w.cmdXX[3], "cmdXX(3)", "<<", {16, 72, 60, 20}, 0xffaf00, none, kDefault, "Move and Xoom", 54},
        {&w.cmdXX[2], "cmdXX(2)", ">>", {76, 72, 60, 20}, 0xffaf00, none, kDefault, "Xoom and Move", 55},
        {&w.cmd1, "cmd1", "S", {16, 94, 24, 22}, 0xc0c000, none, kDefault, "  Small  ", 31},
        {&w.cmdb, "cmdb", "M", {40, 94, 36, 25}, 0xffff00, none, {"MS Sans Serif", 9.75, true}, "  Medium  ", 32},
        {&w.Command4, "Command4", "L", {76, 94, 60, 33}, 0xffff80, none, {"MS Sans Serif", 18, true}, "  Large  ", 33},
        {&w.TextThree, "TextThree", "150", {16, 120, 59, 19}, 0x402000, 0xff8040, kDefault, "Size of image", 0},
        {&w.Label9[1], "Label9(1)", "side", {96, 126, 41, 17}, none, 0xffffff, kDefault, nullptr, 44},
        {&w.Label9[2], "Label9(2)", "zero point", {16, 144, 65, 17}, none, 0xffffff, kDefault, nullptr, 45},
        {&w.verty[1], "verty(1)", "^", {88, 150, 49, 26}, 0xff8000, none, {"Verdana", 14.25, true}, nullptr, 40},
        {&w.cmdblue[0], "cmdblue(0)", "x", {16, 160, 36, 20}, 0xff8080, none, kDefault, nullptr, 48},
        {&w.cmdblue[1], "cmdblue(1)", "/", {52, 160, 36, 20}, 0xff8080, none, kDefault, nullptr, 49},
        {&w.verty[0], "verty(0)", "V", {88, 176, 49, 26}, 0xff8000, none, {"Courier New", 14.25, true}, nullptr, 39},
        {&w.TextTwo, "TextTwo", "1", {16, 180, 73, 19}, 0x400000, 0xff8080, kDefault, "Move image up or down", 1},
        {&w.TextOne, "TextOne", "1", {16, 200, 73, 19}, 0x400000, 0xff8080, kDefault, "Move image left or right", 2},
        {&w.horz[1], "horz(1)", "<", {88, 202, 25, 36}, 0xff8000, none, kDefault, nullptr, 42},
        {&w.horz[0], "horz(0)", ">", {112, 202, 25, 36}, 0xff8000, none, kDefault, nullptr, 41},
        {&w.cmdblue[2], "cmdblue(2)", "x", {16, 218, 36, 20}, 0xff8080, none, kDefault, nullptr, 50},
        {&w.cmdblue[3], "cmdblue(3)", "/", {52, 218, 36, 20}, 0xff8080, none, kDefault, nullptr, 51},
        {&w.Textfive,
         "Textfive",
         "150",
         {80, 248, 57, 19},
         0x402000,
         0xff8040,
         kDefault,
         "Vary the brightness of colour",
         3},
        {&w.Label9[0], "Label9(0)", "brightness", {16, 250, 65, 17}, none, 0xffffff, kDefault, nullptr, 18},
        {&w.Command3, "Command3", "reset", {8, 280, 65, 25}, 0xc04000, none, {"Verdana", 9.75, true}, nullptr, 4},
        {&w.cmdstop, "cmdstop", "halt !", {80, 280, 65, 25}, 0xff0000, none, {"Verdana", 9.75, true}, nullptr, 24},
        {&w.Label10, "Label10", "", {8, 312, 137, 773}, 0x000000, none, kDefault, nullptr, 43},
        {&w.Label13, "Label13", "Label13", {0, 992, 1273, 33}, 0x000000, none, kDefault, nullptr, 19},
    };
    for (int k = 0; k < kPatternCount; ++k) {
        // The caption is the pattern's name, the one glimra-render takes.
        d.push_back({&w.CMD[std::size_t(k)],
                     QStringLiteral("CMD(%1)").arg(k),
                     QString::fromLatin1(patternTable()[std::size_t(k)]->name),
                     {24, 320 + 32 * k, 105, 25},
                     0x808080,
                     none,
                     kPatternFont,
                     nullptr,
                     kPatternTabs[k]});
    }
    return d;
}

QWidget* buildControl(QWidget* parent, const ControlDesign& d)
{
    QWidget* control = std::visit(
        [&](auto member) -> QWidget* {
            using Control = std::remove_pointer_t<std::remove_pointer_t<decltype(member)>>;
            auto* made = new Control(parent);
            made->setText(d.caption);
            if constexpr (std::is_same_v<Control, QPushButton>)
                made->setAutoDefault(false);
            *member = made;
            return made;
        },
        d.member);
    control->setObjectName(d.name);
    control->setGeometry(d.place);
    control->setFont(fontFor(d.font, parent->font()));
    if (d.tip)
        control->setToolTip(QString::fromLatin1(d.tip));

    const bool label = std::holds_alternative<ClickLabel**>(d.member);
    QPalette pal = control->palette();
    if (d.back != kNoColour) {
        pal.setColor(backRole(control), colourOf(d.back));
        control->setAutoFillBackground(label);
    }
    // Text without a colour of its own keeps the toolkit's, not the window's
    // foreground (which would make it vanish into the background).
    pal.setColor(textRole(control),
                 d.text != kNoColour ? colourOf(d.text) : QApplication::palette().color(textRole(control)));
    control->setPalette(pal);
    if (label)
        control->setFocusPolicy(Qt::NoFocus);
    return control;
}

}  // namespace glimra
