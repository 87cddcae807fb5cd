#include "window/button_style.h"

#include <QPainter>
#include <QStyleOption>
#include <qdrawutil.h>

namespace glimra {

namespace {

// Width of the two edge lines on each side of a button.
constexpr int kEdge = 2;
// The focus rectangle stands this far inside the button's outer line, two
// pixels inside the face.
constexpr int kFocusInset = 3;

bool isSunken(const QStyleOption& option) { return option.state & (QStyle::State_Sunken | QStyle::State_On); }

// The edge colours follow the face, so that they stand out from any face but
// pure white or black: lighter on the top and left, half as bright and then
// black at the bottom and right.
QPalette edgesFor(const QColor& face)
{
    QPalette edges(face);
    edges.setColor(QPalette::Light, face.lighter(150));
    edges.setColor(QPalette::Dark, face.darker(200));
    edges.setColor(QPalette::Shadow, Qt::black);
    return edges;
}

// Dotted: every other pixel, in the caption's colour.
void drawFocusRect(QPainter* painter, const QRect& r, const QColor& colour)
{
    if (r.width() < 1 || r.height() < 1)
        return;
    const QBrush dots(colour, Qt::Dense4Pattern);
    painter->save();
    painter->setBrushOrigin(r.topLeft());
    painter->fillRect(QRect(r.left(), r.top(), r.width(), 1), dots);
    painter->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), dots);
    painter->fillRect(QRect(r.left(), r.top(), 1, r.height()), dots);
    painter->fillRect(QRect(r.right(), r.top(), 1, r.height()), dots);
    painter->restore();
}

}  // namespace

ButtonStyle::ButtonStyle() : QProxyStyle(QStringLiteral("Fusion")) {}

void ButtonStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                const QWidget* widget) const
{
    if (element == PE_PanelButtonCommand) {
        const QBrush& face = option->palette.brush(QPalette::Button);
        qDrawWinButton(painter, option->rect, edgesFor(face.color()), isSunken(*option), &face);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void ButtonStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                              const QWidget* widget) const
{
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    const auto special = QStyleOptionButton::Flat | QStyleOptionButton::HasMenu | QStyleOptionButton::CommandLinkButton;
    if (element != CE_PushButton || !button || (button->features & special)) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    proxy()->drawPrimitive(PE_PanelButtonCommand, button, painter, widget);

    QStyleOptionButton label = *button;
    label.rect = button->rect.adjusted(kEdge, kEdge, -kEdge, -kEdge);
    // Pressed, the caption moves with the face, down and to the right; the
    // label itself is told nothing of it, so it does not move it again.
    if (isSunken(*button)) {
        label.rect.translate(proxy()->pixelMetric(PM_ButtonShiftHorizontal, button, widget),
                             proxy()->pixelMetric(PM_ButtonShiftVertical, button, widget));
        label.state &= ~(State_Sunken | State_On);
    }
    proxy()->drawControl(CE_PushButtonLabel, &label, painter, widget);

    if (button->state & State_HasFocus)
        drawFocusRect(painter, button->rect.adjusted(kFocusInset, kFocusInset, -kFocusInset - 1, -kFocusInset - 1),
                      button->palette.color(QPalette::ButtonText));
}

int ButtonStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    switch (metric) {
    case PM_ButtonShiftHorizontal:
    case PM_ButtonShiftVertical: return 1;
    default: return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

}  // namespace glimra
