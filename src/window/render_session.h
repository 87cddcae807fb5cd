// The window's renders: the one way to start a pattern's picture on the Canvas,
// to halt it, and to hear how it goes.
//
// A render runs on the user-interface thread and yields after every column,
// so anything may happen during one, another start included: a start during a
// render nests a whole new render inside it, and the interrupted one goes on
// with its next column when the new one has returned. A halt asks every
// running render to stop after its current column; only the next start clears
// it. A start that must not paint over a running render waits instead: it
// halts them and begins once the last of them has returned.
//
// The session knows no button and no box. What a render starts with is a
// pattern and its five texts, so a pattern that is none of the buttons starts
// the same way.
#pragma once

#include "render/frame.h"
#include "window/window_formulas.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class Canvas;

class RenderSession : public QObject {
    Q_OBJECT
public:
    // Each start during a render nests one more render on the stack; past this
    // depth a start is refused rather than risk running out of stack.
    static constexpr int kMaxNesting = 16;

    // Renders paint on `canvas`, at the density of the screen it is on.
    explicit RenderSession(Canvas& canvas, QObject* parent = nullptr);

    // Renders `pattern` with `texts` now, inside whatever render is running,
    // and returns once it has ended. A pending halt is cleared first, and a
    // waiting start (see startWhenIdle) is taken over: this is the render it
    // waited to make. False when refused at the nesting limit.
    bool start(const glimra::Pattern& pattern, const glimra::PatternTexts& texts);

    // Texts read at the moment a waiting start begins.
    using TextsSource = std::function<glimra::PatternTexts()>;

    // Starts `pattern` once no render is running: halts the running ones and
    // begins (from the event loop) when the last of them has returned. A start
    // still waiting is replaced; a start() meanwhile takes its place. Answers
    // the ticket that `started` carries when this start begins. A formula's
    // pattern is held until then; any other must live as long (the table's
    // patterns always do).
    quint64 startWhenIdle(const glimra::Pattern& pattern, TextsSource texts);
    bool startPending() const { return pending_.has_value(); }

    // Asks every running render to stop after its current column.
    void halt() { halt_ = true; }
    bool haltRequested() const { return halt_; }
    void setHaltRequested(bool halt) { halt_ = halt; }

    // How many renders are running, nested inside one another.
    int depth() const { return depth_; }
    // How the most recent render to end ended; nothing before the first.
    std::optional<glimra::Outcome> lastOutcome() const { return lastOutcome_; }

signals:
    // A render begins. `level` is 1 for the outermost; `ticket` is the one
    // startWhenIdle answered for the start this is, 0 for start().
    void started(const glimra::Pattern& pattern, const glimra::PatternTexts& texts, int level, quint64 ticket);
    // After every column a render paints, before it yields.
    void columnPainted(int level, long column);
    // A render has returned, with how it ended; depth() no longer counts it.
    void ended(const glimra::RenderResult& result, int level);

private:
    class CanvasHost;

    struct Waiting {
        const glimra::Pattern* pattern;
        glimra::HeldFormula formula;  // the pattern's, when a formula
        TextsSource texts;
        quint64 ticket;
    };

    void scheduleWaiting();
    void startWaiting();

    Canvas& canvas_;
    bool halt_ = false;
    int depth_ = 0;
    std::optional<glimra::Outcome> lastOutcome_;
    std::optional<Waiting> pending_;
    bool scheduled_ = false;      // a queued startWaiting is on its way
    quint64 startingTicket_ = 0;  // the waiting start that start() is beginning
    quint64 lastTicket_ = 0;
};

// The design's name for the halt request, as the text it is there: "p" while a
// halt is asked for, empty otherwise. Writing "p" asks for one, any other text
// clears it.
class HaltText {
public:
    explicit HaltText(RenderSession* const& session) : session_(session) {}
    HaltText(const HaltText&) = delete;

    HaltText& operator=(const QString& text);
    operator QString() const { return isEmpty() ? QString() : QStringLiteral("p"); }
    bool isEmpty() const { return !(session_ && session_->haltRequested()); }
    void clear() { *this = QString(); }

    friend bool operator==(const HaltText& a, const QString& b) { return QString(a) == b; }
    friend bool operator==(const HaltText& a, const char* b) { return QString(a) == QLatin1String(b); }
    friend bool operator==(const HaltText& a, const HaltText& b) { return a.isEmpty() == b.isEmpty(); }
    // For test failure messages.
    friend char* toString(const HaltText& flag);

private:
    RenderSession* const& session_;
};
