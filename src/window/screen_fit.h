// The window as it appears on a screen: the top-level window that holds the
// design's client area (qTac, 1272 x 1016, whose coordinates stay the design's)
// and keeps it inside the screen it is on.
//
// Where the screen holds the design, the window is exactly the design's size,
// shows no scroll bars and looks and behaves as qTac alone would. Where it does
// not, the window takes the screen's available area and the client area
// scrolls inside it at 1 : 1; the wheel over the picture area stays the
// picture's, Shift+wheel and the scroll bars scroll. A change of screen, of its
// size or of its panels fits the window again.
#pragma once

#include <QMetaObject>
#include <QPointer>
#include <QRect>
#include <QScrollArea>

class QScreen;
class qTac;

class ScreenFit : public QScrollArea {
    Q_OBJECT
public:
    explicit ScreenFit(qTac& design);
    ~ScreenFit() override;

    qTac& design() const { return design_; }

    // Sizes the window for the screen it is on (the one under its centre
    // before it is shown) and moves it wholly inside that screen's available
    // area: centred when `centre`, else moved no further than it must.
    void fit(bool centre);

    // The screen the window is on, and its area without panels.
    QScreen* currentScreen() const;
    QRect availableArea() const;

    // Whether a point of the design's client area is on the picture area (no
    // control lies on it there).
    bool onPicture(QPoint designPoint) const;

    // Brings a control of the design into view, scrolling as little as needed.
    void reveal(QWidget* control);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void watchScreen(QScreen* screen);
    void screenChanged();

    qTac& design_;
    QPointer<QScreen> watched_;
    QMetaObject::Connection available_, geometry_, ratio_, windowScreen_;
};
