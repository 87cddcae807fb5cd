// glimra: the Color Glimra window.
#include "window/application.h"
#include "window/places.h"
#include "window/qtac.h"
#include "window/screen_fit.h"

#include "version.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // Answered before the toolkit starts, so that they need no display.
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::printf("usage: glimra [PLACE | PICTURE.png]\n");
        return 0;
    }
    if (argc == 2 && !std::strcmp(argv[1], "--version")) {
        std::printf("glimra %s\n", GLIMRA_VERSION);
        return 0;
    }
    QApplication app(argc, argv);
    glimra::prepareApplication(app);
    // One optional argument, a place or a picture of ours; the toolkit has
    // already taken its own options out.
    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.size() > 1 || (arguments.size() == 1 && arguments.front().startsWith(u'-'))) {
        std::fprintf(stderr, "usage: glimra [PLACE | PICTURE.png]\n");
        return 2;
    }
    qTac design;
    // The window that holds the design inside whatever screen it opens on.
    ScreenFit window(design);
    window.fit(true);
    window.show();
    // Desktops without a window manager do not activate a new window by
    // themselves; the window starts active (and runs Form_Activate) either way.
    window.activateWindow();
    if (!arguments.isEmpty())
        QTimer::singleShot(0, &window, [&design, a = arguments.front()] { design.places()->openArgument(a); });
    return app.exec();
}
