#include "window/pointing.h"

#include "patterns/patterns.h"
#include "window/canvas_origin.h"
#include "window/picture_area.h"
#include "window/refusal_note.h"
#include "window/render_session.h"
#include "window/window_action.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>

#include <algorithm>

Pointing::Pointing(QWidget& window, const QWidget& canvas, ParameterBoxes boxes, RenderSession& session)
    : QObject(&window), window_(window), canvas_(canvas), boxes_(boxes), session_(session)
{
    setObjectName(QStringLiteral("pointing"));
    auto action = [&](const char* name, const QString& text, const QList<QKeySequence>& keys, auto slot) {
        QAction* a = windowAction(window, this, name, text, keys, slot);
        // Nothing to point at before the first render.
        a->setEnabled(false);
        return a;
    };
    zoomInAction = action("zoomIn", QStringLiteral("Zoom in"),
                          {QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)}, [this] { zoomCentre(+1); });
    zoomOutAction = action("zoomOut", QStringLiteral("Zoom out"), {QKeySequence::ZoomOut}, [this] { zoomCentre(-1); });
    moveLeftAction = action("moveLeft", QStringLiteral("Move left"), {QKeySequence(Qt::CTRL | Qt::Key_Left)},
                            [this] { move(-1, 0); });
    moveRightAction = action("moveRight", QStringLiteral("Move right"), {QKeySequence(Qt::CTRL | Qt::Key_Right)},
                             [this] { move(+1, 0); });
    moveUpAction =
        action("moveUp", QStringLiteral("Move up"), {QKeySequence(Qt::CTRL | Qt::Key_Up)}, [this] { move(0, -1); });
    moveDownAction = action("moveDown", QStringLiteral("Move down"), {QKeySequence(Qt::CTRL | Qt::Key_Down)},
                            [this] { move(0, +1); });
    window.installEventFilter(this);
}

void Pointing::renderStarts(const glimra::Pattern& pattern)
{
    lastFormula_ = glimra::heldFormula(pattern);
    // A pattern of the table is found again by its name.
    last_ = lastFormula_ ? &lastFormula_->pattern() : glimra::findPattern(pattern.name);
    for (QAction* a : {zoomInAction, zoomOutAction, moveLeftAction, moveRightAction, moveUpAction, moveDownAction})
        a->setEnabled(true);
}

std::optional<glimra::PictureExtent> Pointing::extent() const
{
    return last_ ? glimra::pictureExtent(*last_, boxes_.texts()) : std::nullopt;
}

std::optional<glimra::PicturePoint> Pointing::pixelAt(const QPoint& local) const
{
    if (!last_ || !glimra::onPictureArea(window_, &canvas_, local))
        return std::nullopt;
    const auto extent = this->extent();
    const long column = local.x() - glimra::kCanvasLeft, row = local.y() - glimra::kCanvasTop;
    if (!extent || column > extent->columns || row > extent->rows)
        return std::nullopt;
    return glimra::PicturePoint{double(column), double(row)};
}

bool Pointing::apply(const glimra::NavigationStep& step)
{
    if (!last_)
        return false;
    const glimra::Pattern& pattern = *last_;
    const glimra::PatternTexts texts = boxes_.texts();
    const glimra::NavigationResult result = glimra::navigate(pattern, texts, step);
    if (!result.texts) {
        if (result.unreadable >= 0)
            glimra::showRefusal(
                boxes_.box[std::size_t(result.unreadable)],
                glimra::unreadableNote(QString::fromStdString(texts.*glimra::kParameterNames[result.unreadable].text)));
        else
            glimra::showPlainTip(QCursor::pos(), QString::fromStdString(result.why), &window_);
        return false;
    }
    boxes_.setTexts(*result.texts);
    // Started from the boxes as they are then, as a click on the pattern's
    // button would: notches that arrive meanwhile make one step.
    session_.startWhenIdle(pattern, [boxes = boxes_] { return boxes.texts(); });
    return true;
}

bool Pointing::zoomAt(const QPoint& local, int notches)
{
    const auto at = pixelAt(local);
    return at && notches != 0 && apply(glimra::zoomAbout(*at, notches));
}

bool Pointing::zoomCentre(int notches)
{
    const auto extent = this->extent();
    return extent && apply(glimra::zoomAbout(extent->centre(), notches));
}

bool Pointing::centreAt(const QPoint& local)
{
    const auto at = pixelAt(local);
    const auto extent = at ? this->extent() : std::nullopt;
    return extent && apply(glimra::centreOn(*at, *extent));
}

bool Pointing::zoomToRectangle(const QPoint& a, const QPoint& b)
{
    const auto extent = this->extent();
    if (!extent)
        return false;
    // The corners as pixels of the picture, the rectangle cut to it.
    auto pixel = [&](const QPoint& p) {
        return glimra::PicturePoint{double(std::clamp<long>(p.x() - glimra::kCanvasLeft, 1, extent->columns)),
                                    double(std::clamp<long>(p.y() - glimra::kCanvasTop, 1, extent->rows))};
    };
    const auto step = glimra::zoomToRectangle(pixel(a), pixel(b), *extent);
    return step && apply(*step);
}

bool Pointing::move(int dx, int dy)
{
    const auto extent = this->extent();
    return extent && apply(glimra::panQuarter(dx, dy, *extent));
}

void Pointing::addToMenu(QMenu& menu, const QPoint& local)
{
    QAction* centre = menu.addAction(QStringLiteral("Centre here"), this, [this, local] { centreAt(local); });
    centre->setObjectName(QStringLiteral("centreHere"));
    centre->setEnabled(pixelAt(local).has_value());
    for (QAction* a : {zoomInAction, zoomOutAction, moveLeftAction, moveRightAction, moveUpAction, moveDownAction})
        menu.addAction(a);
}

bool Pointing::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &window_)
        return false;
    switch (event->type()) {
    case QEvent::Wheel: {
        auto* e = static_cast<QWheelEvent*>(event);
        const QPoint at = e->position().toPoint();
        if (!pixelAt(at))
            return false;
        // Touchpads send a notch in small pieces; only whole notches zoom.
        wheelRemainder_ += e->angleDelta().y();
        const int notches = wheelRemainder_ / 120;
        wheelRemainder_ -= notches * 120;
        if (notches != 0)
            zoomAt(at, notches);
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        const QPoint at = e->position().toPoint();
        if (e->button() == Qt::MiddleButton && pixelAt(at)) {
            centreAt(at);
            return true;
        }
        if (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ShiftModifier) && pixelAt(at)) {
            if (!band_)
                band_ = new QRubberBand(QRubberBand::Rectangle, &window_);
            bandOrigin_ = at;
            band_->setGeometry(QRect(at, QSize(1, 1)));
            band_->show();
            return true;
        }
        return false;
    }
    case QEvent::MouseMove:
        if (band_ && band_->isVisible()) {
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            band_->setGeometry(QRect(bandOrigin_, at).normalized());
            return true;
        }
        return false;
    case QEvent::MouseButtonRelease:
        if (band_ && band_->isVisible() && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            band_->hide();
            zoomToRectangle(bandOrigin_, static_cast<QMouseEvent*>(event)->position().toPoint());
            return true;
        }
        return false;
    default: return false;
    }
}
