#include "window/screen_fit.h"

#include "render/frame.h"
#include "window/canvas_origin.h"
#include "window/qtac.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>

ScreenFit::ScreenFit(qTac& design) : QScrollArea(nullptr), design_(design)
{
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setObjectName(QStringLiteral("screenFit"));
    // What task bars show is the design's title, progress and all.
    setWindowTitle(design.windowTitle());
    connect(&design, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, design.palette().color(QPalette::Window));
    setPalette(pal);
    viewport()->setPalette(pal);
    setAcceptDrops(false);

    setWidget(&design);
    // Only the design's controls take the focus, in the design's order; the
    // size box has it when the window shows. Taking the design in took its
    // focus away, so it is given back here.
    setFocusPolicy(Qt::NoFocus);
    design.TextThree->setFocus();
    // The design paints every pixel of its own; the scroll area's fill would
    // only paint them twice.
    design.setAutoFillBackground(false);
    viewport()->installEventFilter(this);

    // A focus reached by the keyboard (or a shortcut) is always in view.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && design_.isAncestorOf(now))
            reveal(now);
    });
}

ScreenFit::~ScreenFit()
{
    // The design belongs to whoever made it, not to this window.
    viewport()->removeEventFilter(this);
    takeWidget();
}

QScreen* ScreenFit::currentScreen() const
{
    if (windowHandle() && windowHandle()->screen())
        return windowHandle()->screen();
    if (QScreen* s = QGuiApplication::screenAt(geometry().center()))
        return s;
    return QGuiApplication::primaryScreen();
}

QRect ScreenFit::availableArea() const
{
    const QScreen* s = currentScreen();
    return s ? s->availableGeometry() : QRect();
}

void ScreenFit::fit(bool centre)
{
    const QRect area = availableArea();
    if (area.isEmpty())
        return;
    // A frameless window has no frame, but a window manager may still give it
    // one; it is known once the window is shown.
    const QMargins frame =
        isVisible()
            ? QMargins(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                       frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom())
            : QMargins();
    const QSize room(area.width() - frame.left() - frame.right(), area.height() - frame.top() - frame.bottom());
    const QSize designSize = design_.size();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    // A scroll bar one way takes room the other way.
    bool vertical = designSize.height() > room.height();
    const bool horizontal = designSize.width() + (vertical ? bar : 0) > room.width();
    vertical = vertical || designSize.height() + (horizontal ? bar : 0) > room.height();
    const QSize size(std::min(room.width(), designSize.width() + (vertical ? bar : 0)),
                     std::min(room.height(), designSize.height() + (horizontal ? bar : 0)));
    setFixedSize(size);

    const QSize outer = size.grownBy(frame);
    QPoint at = frameGeometry().topLeft();
    if (centre)
        at = QPoint(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
    at.setX(std::clamp(at.x(), area.left(), area.left() + area.width() - outer.width()));
    at.setY(std::clamp(at.y(), area.top(), area.top() + area.height() - outer.height()));
    move(at);
}

bool ScreenFit::onPicture(QPoint p) const
{
    if (p.x() <= glimra::kCanvasLeft || p.y() <= glimra::kCanvasTop || !design_.rect().contains(p))
        return false;
    const QWidget* under = design_.childAt(p);
    return !under || under == design_.canvasWidget();
}

void ScreenFit::reveal(QWidget* control)
{
    if (control && design_.isAncestorOf(control))
        ensureWidgetVisible(control, 0, 0);
}

bool ScreenFit::event(QEvent* event)
{
    const bool handled = QScrollArea::event(event);
    if (event->type() == QEvent::Show && windowHandle() && !windowScreen_) {
        windowScreen_ = connect(windowHandle(), &QWindow::screenChanged, this, [this] { screenChanged(); });
        watchScreen(windowHandle()->screen());
    }
    return handled;
}

void ScreenFit::watchScreen(QScreen* screen)
{
    if (screen == watched_)
        return;
    for (const auto& c : {available_, geometry_, ratio_})
        disconnect(c);
    watched_ = screen;
    if (!screen)
        return;
    available_ = connect(screen, &QScreen::availableGeometryChanged, this, [this] { fit(false); });
    geometry_ = connect(screen, &QScreen::geometryChanged, this, [this] { fit(false); });
    ratio_ = connect(screen, &QScreen::physicalDotsPerInchChanged, this, [this] { fit(false); });
}

void ScreenFit::screenChanged()
{
    // Moved to another screen, or its screen went away and the system moved
    // it: it must fit where it is now.
    watchScreen(windowHandle() ? windowHandle()->screen() : nullptr);
    fit(false);
}

bool ScreenFit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != viewport() || event->type() != QEvent::Wheel)
        return QScrollArea::eventFilter(watched, event);
    // Only what the design left alone reaches here.
    auto* wheel = static_cast<QWheelEvent*>(event);
    const QPoint at = design_.mapFrom(viewport(), wheel->position().toPoint());
    if (wheel->modifiers() & Qt::ShiftModifier) {
        const QPoint delta = wheel->angleDelta();
        const int steps = delta.y() != 0 ? delta.y() : delta.x();
        QScrollBar* bar = verticalScrollBar();
        bar->setValue(bar->value() - steps * bar->singleStep() * QApplication::wheelScrollLines() / 120);
        return true;
    }
    // The wheel over the picture means what the picture makes of it, nothing
    // when it makes nothing: a wheel that sometimes zooms and sometimes
    // scrolls the same spot would surprise.
    if (onPicture(at))
        return true;
    return QScrollArea::eventFilter(watched, event);
}

void ScreenFit::closeEvent(QCloseEvent* event)
{
    // The system closing the window closes the design, as it would close qTac
    // on its own.
    QCloseEvent forwarded;
    QCoreApplication::sendEvent(&design_, &forwarded);
    if (forwarded.isAccepted())
        event->accept();
    else
        event->ignore();
}
