// glimra: the Color Glimra window.
#include "window/application.h"
#include "window/qtac.h"
#include "window/screen_fit.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    glimra::prepareApplication(app);
    qTac design;
    // The window that holds the design inside whatever screen it opens on.
    ScreenFit window(design);
    window.fit(true);
    window.show();
    // Desktops without a window manager do not activate a new window by
    // themselves; the window starts active (and runs Form_Activate) either way.
    window.activateWindow();
    return app.exec();
}
