#include "window/canvas.h"

#include "picture/picture.h"

#include <QPaintEvent>
#include <QPainter>

Canvas::Canvas(QWidget* parent, QSize size, QColor background)
    : QWidget(parent), image_(size, QImage::Format_RGB32), background_(background)
{
    setObjectName(QStringLiteral("Canvas"));
    setGeometry(QRect(QPoint(0, 0), size));
    image_.fill(background_);
    // Clicks, drags and menus belong to the window it lies in.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    sinceShown_.start();
}

void Canvas::plot(const glimra::ColumnView& column)
{
    const QRect r = glimra::plotColumn(image_, column);
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
        repaint(dirty_);
        dirty_ = QRect();
    }
    sinceShown_.restart();
}

void Canvas::clear()
{
    image_.fill(background_);
    dirty_ = QRect();
    painted_ = QRect();
    update();
}

void Canvas::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    for (const QRect& r : event->region())
        painter.drawImage(r, image_, r);
}
