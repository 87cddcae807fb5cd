// The Canvas: the picture that renders paint into, and the widget that shows
// it beneath every control of the window. It keeps its picture when the window
// is covered or minimized; during a render it shows what is new at most every
// kRefreshMs, because refreshing the screen after every column would cost more
// than computing it.
#pragma once

#include "picture/pixels.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRect>
#include <QWidget>

namespace glimra {
struct ColumnView;
}

class Canvas : public QWidget {
    Q_OBJECT
public:
    static constexpr qint64 kRefreshMs = 30;

    Canvas(QWidget* parent, QSize size, QColor background);

    // The picture, `density()` image pixels to a window pixel each way: a
    // view of the pixels renders paint into, which changes with them (copy
    // it to keep what it shows now).
    const QImage& image() const { return image_; }
    int density() const { return density_; }
    // A denser or coarser picture for a screen of another ratio; what is
    // painted stays, each pixel copied into its block.
    void setDensity(int density);

    // Everything painted since start-up or the last clear: the bounding box of
    // painted pixels (empty when nothing is), in the image's pixels.
    QRect paintedRect() const { return painted_; }

    // Into the picture only; the screen follows at the next refresh.
    void plot(const glimra::ColumnView& column);

    // Shows what is new if the last refresh is long enough ago.
    void refreshIfDue();
    // Shows what is new now.
    void refreshNow();
    // The next refreshIfDue shows what is new however recent the last
    // refresh: a new render's first column appears at once.
    void refreshSoon() { soon_ = true; }

    // Back to the background everywhere.
    void clear();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Image pixels to the window pixels that show them.
    QRect inWindow(const QRect& pixels) const;

    glimra::Pixels pixels_;
    QImage image_;  // over pixels_
    QColor background_;
    int density_ = 1;
    QRect dirty_;    // painted since the screen was last refreshed
    QRect painted_;  // painted since start-up or the last clear
    QElapsedTimer sinceShown_;
    bool soon_ = false;
};
