#include "window/canvas.h"

#include "picture/picture.h"
#include "picture/qt_toolkit.h"

#include <QPaintEvent>
#include <QPainter>

Canvas::Canvas(QWidget* parent, QSize size, QColor background)
    : QWidget(parent), pixels_(size.width(), size.height(), background.rgb()), image_(glimra::imageOver(pixels_)),
      background_(background)
{
    setObjectName(QStringLiteral("Canvas"));
    setGeometry(QRect(QPoint(0, 0), size));
    // Clicks, drags and menus belong to the window it lies in.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    sinceShown_.start();
}

void Canvas::plot(const glimra::ColumnView& column)
{
    const QRect r = glimra::plotColumn(pixels_, column);
    dirty_ |= r;
    painted_ |= r;
}

void Canvas::refreshIfDue()
{
    if (!dirty_.isEmpty() && (soon_ || sinceShown_.elapsed() >= kRefreshMs)) {
        soon_ = false;
        refreshNow();
    }
}

void Canvas::refreshNow()
{
    if (!dirty_.isEmpty()) {
        repaint(inWindow(dirty_));
        dirty_ = QRect();
    }
    sinceShown_.restart();
}

void Canvas::clear()
{
    pixels_.fill(background_.rgb());
    dirty_ = QRect();
    painted_ = QRect();
    update();
}

void Canvas::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const int K = density_;
    for (const QRect& r : event->region())
        painter.drawImage(r, image_, QRect(r.x() * K, r.y() * K, r.width() * K, r.height() * K));
}

QRect Canvas::inWindow(const QRect& pixels) const
{
    const int K = density_;
    if (K == 1 || pixels.isEmpty())
        return pixels;
    return QRect(QPoint(pixels.left() / K, pixels.top() / K), QPoint(pixels.right() / K, pixels.bottom() / K));
}

void Canvas::setDensity(int density)
{
    if (density == density_ || density < 1)
        return;
    const QSize size = this->size();
    glimra::Pixels scaled =
        glimra::pixelsOf(image_.scaled(size * density, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    image_ = QImage();
    pixels_ = std::move(scaled);
    image_ = glimra::imageOver(pixels_);
    if (!painted_.isEmpty()) {
        const QRect shown = inWindow(painted_);
        painted_ = QRect(shown.topLeft() * density, shown.size() * density);
    }
    dirty_ = QRect();
    density_ = density;
    update();
}
