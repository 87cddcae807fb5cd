#include "window/picture_area.h"

#include "render/frame.h"
#include "window/canvas_origin.h"

#include <QWidget>

namespace glimra {

QRect pictureArea(const QRect& client)
{
    return client.adjusted(glimra::kCanvasLeft + 1, glimra::kCanvasTop + 1, 0, 0);
}

bool onPictureArea(const QWidget& window, const QWidget* canvas, QPoint local)
{
    if (!pictureArea(window.rect()).contains(local))
        return false;
    const QWidget* under = window.childAt(local);
    return !under || under == canvas;
}

}  // namespace glimra
