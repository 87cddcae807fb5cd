// Writes the program's icon for the desktop's icon theme: the window's own
// 32 x 32 picture, and the same picture eight times larger with every pixel a
// sharp 8 x 8 square, so the large icon keeps the small one's few flat colours.
//   glimra-make-icons DIR   writes DIR/glimra-32.png and DIR/glimra-256.png
#include "window/application.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <cstdio>
#include <utility>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: glimra-make-icons DIR\n", stderr);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QImage small =
        glimra::applicationIcon().pixmap(QSize(32, 32), 1.0).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage large = small.scaled(256, 256, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    for (const auto& [image, name] : {std::pair{small, "glimra-32.png"}, std::pair{large, "glimra-256.png"}}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "glimra-make-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
