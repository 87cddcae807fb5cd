// What the program sets up around its one window.
#pragma once

#include <QIcon>

class QApplication;
class QWidget;

namespace glimra {

// Names the application, gives it its icon and a style that draws every
// button in its own back colour on every desktop.
void prepareApplication(QApplication& app);

// The 32 x 32 picture the desktop shows for the program.
QIcon applicationIcon();

// Places a top-level window in the middle of the screen it is on.
void placeCentred(QWidget& window);

}  // namespace glimra
