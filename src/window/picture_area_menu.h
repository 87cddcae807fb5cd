// The picture area's context menu, assembled in one place from the actions of
// the features that offer one there.
#pragma once

#include <QObject>
#include <QPoint>

class BackForward;
class LargePicture;
class PictureMenu;
class Places;
class Pointing;
class QAction;
class QWidget;

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
