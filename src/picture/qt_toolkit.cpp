#include "picture/qt_toolkit.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>

#include <cerrno>
#include <cstring>
#include <memory>

namespace glimra {

Pixels pixelsOf(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    Pixels out(rgb.width(), rgb.height());
    for (int y = 0; y < out.height(); ++y)
        std::memcpy(out.row(y), rgb.constScanLine(y), std::size_t(out.width()) * sizeof(Pixel));
    return out;
}

namespace {

class QtToolkit : public Toolkit {
public:
    bool writes(const std::string& suffix) const override
    {
        return QImageWriter::supportedImageFormats().contains(QByteArray::fromStdString(suffix));
    }

    bool write(FILE* out, const Pixels& picture, const std::string& suffix, std::string* why,
               int* systemError) const override
    {
        *systemError = 0;
        QFile device;
        if (!device.open(out, QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
            *why = device.errorString().toStdString();
            return false;
        }
        QImageWriter writer(&device, QByteArray::fromStdString(suffix));
        errno = 0;
        if (writer.write(imageOver(picture)) && device.flush())
            return true;
        // The writer knows only that its device failed; the device knows why.
        const int errorNumber = errno;
        if (device.error() != QFileDevice::NoError)
            *why = device.errorString().toStdString();
        else if (std::ferror(out) && errorNumber != 0)
            *systemError = errorNumber;
        else
            *why = writer.errorString().toStdString();
        return false;
    }

    bool drawCaptions(Pixels& picture, const std::vector<Caption>& captions, std::string* why) const override
    {
        // Text needs fonts, and fonts need a display connection of some
        // kind: a program without one of its own gets the offscreen one,
        // which needs no display at all, for as long as it draws.
        std::unique_ptr<QGuiApplication> app;
        if (!QCoreApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "glimra-render";
            static char* argv[] = {name, nullptr};
            app = std::make_unique<QGuiApplication>(argc, argv);
        } else if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            *why = "captions need a graphical application";
            return false;
        }
        QImage image = imageOver(picture);
        QPainter painter(&image);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(15);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(QColor(255, 128, 64));
        for (const Caption& c : captions)
            painter.drawText(QRect(c.left, c.top, c.width, c.height), Qt::AlignCenter,
                             QString::fromLatin1(c.text.data(), qsizetype(c.text.size())));
        return painter.end();
    }
};

}  // namespace

const Toolkit& qtToolkit()
{
    static const QtToolkit linked;
    return linked;
}

}  // namespace glimra
