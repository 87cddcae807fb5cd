#include "window/back_forward.h"

#include "window/refusal_note.h"
#include "window/render_session.h"
#include "window/window_action.h"
#include "window/window_formulas.h"

#include <QAction>
#include <QMouseEvent>

BackForward::BackForward(QWidget& window, ParameterBoxes boxes, RenderSession& session)
    : QObject(&window), window_(window), boxes_(boxes), session_(session)
{
    setObjectName(QStringLiteral("backForward"));
    backAction = windowAction(window, this, "back", QStringLiteral("Back"),
                              {QKeySequence(Qt::ALT | Qt::Key_Left), QKeySequence(Qt::Key_Back)}, [this] { back(); });
    forwardAction =
        windowAction(window, this, "forward", QStringLiteral("Forward"),
                     {QKeySequence(Qt::ALT | Qt::Key_Right), QKeySequence(Qt::Key_Forward)}, [this] { forward(); });
    window.installEventFilter(this);
    updateActions();
}

bool BackForward::goTo(int index)
{
    const glimra::HistoryEntry* at = history_.at(index);
    if (!at)
        return false;
    const glimra::HistoryEntry& entry = *at;
    QString why;
    glimra::HeldFormula formula;
    const glimra::Pattern* pattern =
        glimra::recipePattern(glimra::PictureRecipe{entry.pattern, entry.texts, 1, 1, entry.formula}, &formula, &why);
    if (!pattern)
        return false;
    // Only what the window painted is kept, but a history is no place to
    // start an endless render from either.
    if (!glimra::sizeRefusal({}, entry.texts.size, {}).isEmpty())
        return false;
    history_.moveTo(index);
    boxes_.setTexts(entry.texts);
    // Started from the boxes as they are then, as a click on the pattern's
    // button would.
    waiting_ = session_.startWhenIdle(*pattern, [boxes = boxes_] { return boxes.texts(); });
    updateActions();
    return true;
}

bool BackForward::back() { return goTo(history_.current() - 1); }
bool BackForward::forward() { return goTo(history_.current() + 1); }

void BackForward::renderStarts(const glimra::Pattern& pattern, const glimra::PatternTexts& texts, int, quint64 ticket)
{
    // A click on a pattern button reads the boxes a waiting step wrote, yet
    // it is a render of its own.
    const bool fromHistory = ticket != 0 && ticket == waiting_;
    waiting_ = 0;
    if (!fromHistory)
        history_.add(glimra::HistoryEntry{pattern.name, texts, glimra::formulaText(pattern)});
    updateActions();
}

void BackForward::updateActions()
{
    backAction->setEnabled(history_.canGoBack());
    forwardAction->setEnabled(history_.canGoForward());
}

bool BackForward::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &window_ || event->type() != QEvent::MouseButtonPress)
        return false;
    const auto button = static_cast<QMouseEvent*>(event)->button();
    if (button == Qt::BackButton)
        back();
    else if (button == Qt::ForwardButton)
        forward();
    else
        return false;
    return true;
}
