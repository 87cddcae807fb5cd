#include "window/picture_area_menu.h"

#include "window/back_forward.h"
#include "window/large_picture.h"
#include "window/picture_area.h"
#include "window/picture_menu.h"
#include "window/places.h"
#include "window/pointing.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

PictureAreaMenu::PictureAreaMenu(QWidget& window, const QWidget& canvas, Features features)
    : QObject(&window), window_(window), canvas_(canvas), features_(features)
{
    setObjectName(QStringLiteral("pictureAreaMenu"));
}

bool PictureAreaMenu::show(const QPoint& local, const QPoint& global)
{
    if (!glimra::onPictureArea(window_, &canvas_, local))
        return false;
    PictureMenu& pictures = features_.pictures;
    LargePicture& large = features_.largePicture;
    // Saving and copying need a picture shown; a large picture needs the
    // place of a render, and waits for the save running.
    const bool picture = pictures.hasPicture();
    pictures.saveAction->setEnabled(picture);
    pictures.copyAction->setEnabled(picture);
    large.saveAction->setEnabled(pictures.recipe().has_value() && !large.running());

    QMenu menu(&window_);
    menu.addAction(pictures.saveAction);
    menu.addAction(large.saveAction);
    menu.addAction(pictures.copyAction);
    menu.addSeparator();
    menu.addAction(pictures.openAction);
    menu.addAction(features_.editorAction);
    menu.addSeparator();
    features_.pointing.addToMenu(menu, local);
    menu.addSeparator();
    menu.addAction(features_.backForward.backAction);
    menu.addAction(features_.backForward.forwardAction);
    menu.addSeparator();
    menu.addAction(features_.places.copyPlaceAction);
    menu.addAction(features_.places.pastePlaceAction);
    menu.exec(global);
    return true;
}
