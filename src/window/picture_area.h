// The picture area: the part of the window's client area right of and below
// the picture's corner, where patterns paint and where the wheel, the middle
// button and the context menu are the picture's. A control lying there keeps
// its own mouse and menu.
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

class BackForward;
class LargePicture;
class PictureMenu;
class Places;
class Pointing;
class QAction;
class QWidget;

namespace glimra {
// The picture area of a rectangle laid out as the window's client area.
QRect pictureArea(const QRect& client);
// Whether a point of `window`'s client area is on the picture area: inside
// it, and on no control but `canvas`, which lies under everything.
bool onPictureArea(const QWidget& window, const QWidget* canvas, QPoint local);
}  // namespace glimra

// The picture area's context menu, assembled from the actions of the
// features that offer one there.
class PictureAreaMenu : public QObject {
    Q_OBJECT
public:
    struct Features {
        PictureMenu& pictures;
        LargePicture& largePicture;
        QAction* editorAction;
        Pointing& pointing;
        BackForward& backForward;
        Places& places;
    };
    PictureAreaMenu(QWidget& window, const QWidget& canvas, Features features);

    // The menu at a point of the window's client area; false when the point
    // is not on the picture area (so the menu is not the window's).
    bool show(const QPoint& local, const QPoint& global);

private:
    QWidget& window_;
    const QWidget& canvas_;
    Features features_;
};
