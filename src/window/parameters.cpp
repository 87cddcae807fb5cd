// Presets, adjusters, the size check and the zoom-and-move steps. They only
// rewrite the parameter boxes (the reset also halts and clears the Canvas): a
// render in progress keeps the numbers it read at its start, and the new ones
// show at the next pattern click.
#include "window/qtac.h"

#include "render/numtext.h"
#include "window/refusal_note.h"

#include <QPushButton>

#include <cmath>
#include <optional>

namespace {

double valOf(const QLineEdit* box) { return glimra::Val(box->text().toStdString()); }

std::optional<double> strictOf(const QLineEdit* box) { return glimra::strictNumber(box->text().toStdString()); }

QString textOf(double v) { return QString::fromStdString(glimra::Text(v)); }

// Replaces a box's number by one computed from it. A result beyond the double
// range has no text form; the click is then ignored and the box kept.
template <class Change>
void adjust(QLineEdit* box, Change change)
{
    const double v = change(valOf(box));
    if (std::isfinite(v))
        box->setText(textOf(v));
    else
        glimra::showRefusal(box, glimra::outOfRangeNote(box->text()));
}

double twice(double v) { return v + v; }
double half(double v) { return v / 2; }

}  // namespace

void qTac::connectParameterHandlers()
{
    connect(cmd1, &QPushButton::clicked, this, &qTac::cmd1_Click);
    connect(cmdb, &QPushButton::clicked, this, &qTac::cmdb_Click);
    connect(Command4, &QPushButton::clicked, this, &qTac::Command4_Click);
    connect(Command3, &QPushButton::clicked, this, &qTac::Command3_Click);
    for (qint16 k = 0; k < qint16(cmdblue.size()); ++k)
        connect(cmdblue[std::size_t(k)], &QPushButton::clicked, this, [this, k] { cmdblue_Click(k); });
    for (qint16 k = 0; k < qint16(horz.size()); ++k) {
        connect(horz[std::size_t(k)], &QPushButton::clicked, this, [this, k] { horz_Click(k); });
        connect(verty[std::size_t(k)], &QPushButton::clicked, this, [this, k] { verty_Click(k); });
    }
    for (qint16 k = 0; k < qint16(cmdXX.size()); ++k)
        connect(cmdXX[std::size_t(k)], &QPushButton::clicked, this, [this, k] { cmdXX_Click(k); });
    // Labels take no focus: clicking them leaves the size box focused and
    // unchecked.
    Label17->setClickable(true);
    Label8->setClickable(true);
    connect(Label17, &ClickLabel::clicked, this, &qTac::Label17_Click);
    connect(Label8, &ClickLabel::clicked, this, &qTac::Label8_Click);
    connect(TextThree, &TextBox::lostFocus, this, &qTac::TextThree_LostFocus);
}

void qTac::cmd1_Click() { TextThree->setText(QStringLiteral("300")); }

void qTac::cmdb_Click()
{
    TextFour->setText(QStringLiteral("0.2"));
    TextThree->setText(QStringLiteral("600"));
    TextOne->setText(QStringLiteral("150"));
    TextTwo->setText(QStringLiteral("200"));
}

void qTac::Command4_Click()
{
    TextThree->setText(QStringLiteral("768"));
    TextFour->setText(QStringLiteral("0.15"));
}

void qTac::Command3_Click()
{
    session_->halt();
    TextOne->setText(QStringLiteral("1"));
    TextTwo->setText(QStringLiteral("1"));
    TextThree->setText(QStringLiteral("100"));
    TextFour->setText(QStringLiteral("1"));
    Textfive->setText(QStringLiteral("150"));
    // The old picture goes with the old values.
    clearCanvas();
}

void qTac::cmdblue_Click(qint16 Index)
{
    if (Index == 0)
        adjust(TextTwo, twice);
    if (Index == 1)
        adjust(TextTwo, half);
    if (Index == 2)
        adjust(TextOne, twice);
    if (Index == 3)
        adjust(TextOne, half);
}

void qTac::horz_Click(qint16 Index)
{
    if (Index == 0)
        adjust(TextOne, [](double v) { return v + 250; });
    if (Index == 1)
        adjust(TextOne, [](double v) { return v - 250; });
}

void qTac::verty_Click(qint16 Index)
{
    if (Index == 0)
        adjust(TextTwo, [](double v) { return v + 250; });
    if (Index == 1)
        adjust(TextTwo, [](double v) { return v - 250; });
}

void qTac::Label17_Click() { adjust(TextFour, half); }

void qTac::Label8_Click() { adjust(TextFour, twice); }

void qTac::TextThree_LostFocus()
{
    const double size = valOf(TextThree);
    if (size < 1 || size > 1024)
        TextThree->setText(QStringLiteral("100"));
}

void qTac::cmdXX_Click(qint16 Index)
{
    // Everything is checked before any box is written: a click either makes
    // its whole step or leaves every box as it was.
    const double size = glimra::Round(valOf(TextThree));
    if (!(size >= -32768 && size <= 32767)) {
        glimra::showRefusal(
            TextThree,
            QStringLiteral("The steps cannot use a size of %1: nothing was changed").arg(TextThree->text().left(60)));
        return;  // not a 16-bit size
    }
    const qint16 H = qint16(size);
    qint16 W = H;
    if (H == 600)
        W = 800;
    if (H == 768)
        W = 1024;

    const double z = valOf(TextFour);
    double zoom = 0;
    int move = 0;  // -1 back by W and H, +1 forward
    if (Index == 1)
        zoom = half(z);
    else if (Index == 0)
        zoom = twice(z);
    else if (Index == 2) {
        zoom = half(z);
        move = -1;
    } else if (Index == 3) {
        zoom = twice(z);
        move = +1;
    } else
        return;
    if (!std::isfinite(zoom)) {
        glimra::showRefusal(TextFour, glimra::outOfRangeNote(TextFour->text()));
        return;
    }
    if (move == 0) {
        TextFour->setText(textOf(zoom));
        return;
    }

    const std::optional<double> x = strictOf(TextOne);
    const std::optional<double> y = strictOf(TextTwo);
    if (!x || !y) {
        // A centre box that is not a number as a whole.
        QLineEdit* box = !x ? TextOne : TextTwo;
        glimra::showRefusal(box, glimra::unreadableNote(box->text()));
        return;
    }
    const double newX = move > 0 ? *x + W : *x - W;
    const double newY = move > 0 ? *y + H : *y - H;
    if (!std::isfinite(newX) || !std::isfinite(newY)) {
        QLineEdit* box = !std::isfinite(newX) ? TextOne : TextTwo;
        glimra::showRefusal(box, glimra::outOfRangeNote(box->text()));
        return;
    }
    TextFour->setText(textOf(zoom));
    TextOne->setText(textOf(newX));
    TextTwo->setText(textOf(newY));
}
