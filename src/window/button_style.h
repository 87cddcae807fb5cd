// How the window's push buttons look.
#pragma once

#include <QProxyStyle>

namespace glimra {

// Fusion for everything, except that a push button is drawn the classic way:
// its face filled flat with exactly its back colour (the palette's Button
// colour, which the handlers set), a light edge top and left, a dark edge and a
// darker outer line bottom and right, the edges swapped while it is pressed,
// the caption centred and the keyboard focus a dotted rectangle on the face.
//
// Nothing of a button is cached: a pattern click gives every pattern button a
// new palette, and a cache keyed by palettes would only fill up.
class ButtonStyle : public QProxyStyle {
    Q_OBJECT
public:
    ButtonStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};

}  // namespace glimra
