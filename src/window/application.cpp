#include "window/application.h"

#include "picture/qt_toolkit.h"
#include "picture/toolkit.h"
#include "window/button_style.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

namespace glimra {

void prepareApplication(QApplication& app)
{
    QApplication::setApplicationName(QStringLiteral("glimra"));
    // So that a desktop matches the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.glimra"));
    QApplication::setStyle(new ButtonStyle);
    app.setWindowIcon(applicationIcon());
    // Pictures saved in the toolkit's formats, and the large ones too, are
    // written by the toolkit the window links, not by the module the
    // command-line tool loads.
    glimra::useToolkit(&glimra::qtToolkit());
}

QIcon applicationIcon()
{
    // Sixteen-colour spirit: a few flat rings of the window's own colours on
    // its dark grey, like a tiny picture growing from the left.
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(QColor(64, 64, 64));
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    const QColor rings[] = {QColor(255, 128, 0), QColor(255, 255, 0), QColor(255, 0, 0), QColor(0, 0, 255),
                            QColor(0, 0, 0)};
    int r = 15;
    for (const QColor& c : rings) {
        p.setBrush(c);
        p.drawEllipse(QPoint(16, 16), r, r);
        r -= 3;
    }
    p.setBrush(QColor(128, 128, 128));
    p.drawRect(0, 0, 4, 32);
    p.end();
    return QIcon(QPixmap::fromImage(image));
}

void placeCentred(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window.move(area.x() + (area.width() - window.width()) / 2, area.y() + (area.height() - window.height()) / 2);
}

}  // namespace glimra
