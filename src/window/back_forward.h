// Back and Forward through the renders gone through: the window's actions
// (Alt+Left, Alt+Right, the mouse's own back and forward buttons) over the
// history list. Going back writes the entry's texts into the boxes and starts
// a render of its pattern once the running ones have returned; that render
// moves within the history instead of adding to it.
#pragma once

#include "render/frame.h"
#include "window/history.h"
#include "window/parameter_boxes.h"

#include <QObject>

#include <vector>

class QAction;
class QWidget;
class RenderSession;

class BackForward : public QObject {
    Q_OBJECT
public:
    static constexpr int kHistoryLimit = 1000;

    BackForward(QWidget& window, ParameterBoxes boxes, RenderSession& session);

    QAction* backAction = nullptr;     // "Back", Alt+Left
    QAction* forwardAction = nullptr;  // "Forward", Alt+Right

    const std::vector<glimra::HistoryEntry>& history() const { return history_.entries(); }

public slots:
    // Each returns whether it changed the boxes and asked for a render.
    bool back();
    bool forward();

    // A render begins; one that is no step through the history is added.
    void renderStarts(const glimra::Pattern& pattern, const glimra::PatternTexts& texts, int level, quint64 ticket);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool goTo(int index);
    void updateActions();

    QWidget& window_;
    ParameterBoxes boxes_;
    RenderSession& session_;
    glimra::History history_{kHistoryLimit};
    quint64 waiting_ = 0;  // the session's ticket for the step asked for last
};
