// Zooming and moving by pointing at the picture: the wheel zooms about the
// pixel under it, the middle button centres there, a Shift-dragged rectangle
// becomes the whole picture, and the keyboard zooms about the centre and moves
// by a quarter of the picture. Reached through the mouse, shortcuts and the
// picture area's menu: no control of its own.
//
// A step writes new texts into the boxes, from the boxes as they are and the
// pattern of the most recent render, and starts a render of that pattern once
// the running ones have returned: notches that arrive meanwhile make one step.
#pragma once

#include "place/navigate.h"
#include "render/frame.h"
#include "window/parameter_boxes.h"
#include "window/window_formulas.h"

#include <QObject>
#include <QPoint>

#include <optional>

class QAction;
class QMenu;
class QRubberBand;
class QWidget;
class RenderSession;

class Pointing : public QObject {
    Q_OBJECT
public:
    // Pointing at `window`'s picture area, on which nothing lies but `canvas`.
    Pointing(QWidget& window, const QWidget& canvas, ParameterBoxes boxes, RenderSession& session);

    QAction* zoomInAction = nullptr;     // "Zoom in", Ctrl++
    QAction* zoomOutAction = nullptr;    // "Zoom out", Ctrl+-
    QAction* moveLeftAction = nullptr;   // "Move left", Ctrl+Left
    QAction* moveRightAction = nullptr;  // "Move right", Ctrl+Right
    QAction* moveUpAction = nullptr;     // "Move up", Ctrl+Up
    QAction* moveDownAction = nullptr;   // "Move down", Ctrl+Down

    // The picture area's menu entries at a point of the window: "Centre
    // here", then the zoom and move actions.
    void addToMenu(QMenu& menu, const QPoint& local);

public slots:
    // Each returns whether it changed the boxes and asked for a render. The
    // points are positions in the window.
    bool zoomAt(const QPoint& local, int notches);
    bool zoomCentre(int notches);
    bool centreAt(const QPoint& local);
    bool zoomToRectangle(const QPoint& a, const QPoint& b);
    bool move(int dx, int dy);

    // A render begins: its pattern is the one the steps go on with.
    void renderStarts(const glimra::Pattern& pattern);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The most recent render's pixel under a point of the window.
    std::optional<glimra::PicturePoint> pixelAt(const QPoint& local) const;
    std::optional<glimra::PictureExtent> extent() const;
    bool apply(const glimra::NavigationStep& step);

    QWidget& window_;
    const QWidget& canvas_;
    ParameterBoxes boxes_;
    RenderSession& session_;
    const glimra::Pattern* last_ = nullptr;  // the most recent render's pattern
    glimra::HeldFormula lastFormula_;        // last_, when a formula

    int wheelRemainder_ = 0;  // eighths of a degree short of a notch
    QRubberBand* band_ = nullptr;
    QPoint bandOrigin_;
};
