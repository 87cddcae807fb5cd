// The picture area: the part of the window's client area right of and below
// the picture's corner, where patterns paint and where the wheel, the middle
// button and the context menu are the picture's. A control lying there keeps
// its own mouse and menu.
#pragma once

#include <QPoint>
#include <QRect>

class QWidget;

namespace glimra {
// The picture area of a rectangle laid out as the window's client area.
QRect pictureArea(const QRect& client);
// Whether a point of `window`'s client area is on the picture area: inside
// it, and on no control but `canvas`, which lies under everything.
bool onPictureArea(const QWidget& window, const QWidget* canvas, QPoint local);
}  // namespace glimra
