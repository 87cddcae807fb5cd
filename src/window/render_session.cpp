#include "window/render_session.h"

#include "window/canvas.h"
#include "window/canvas_origin.h"
#include "window/dense_scan.h"

#include <QCoreApplication>

#include <cstring>
#include <new>

// How a render reaches the Canvas, and the session's halt reaches the render.
class RenderSession::CanvasHost final : public glimra::RenderHost {
public:
    CanvasHost(RenderSession& session, int level) : session_(session), level_(level) {}

    void plotColumn(const glimra::ColumnView& column) override
    {
        session_.canvas_.plot(column);
        emit session_.columnPainted(level_, column.index);
    }

    void yield() override
    {
        session_.canvas_.refreshIfDue();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    bool haltRequested() override { return session_.halt_; }

private:
    RenderSession& session_;
    int level_;
};

RenderSession::RenderSession(Canvas& canvas, QObject* parent) : QObject(parent), canvas_(canvas)
{
    setObjectName(QStringLiteral("renderSession"));
}

bool RenderSession::start(const glimra::Pattern& pattern, const glimra::PatternTexts& texts)
{
    if (depth_ >= kMaxNesting)
        return false;
    halt_ = false;
    const quint64 ticket = startingTicket_;
    startingTicket_ = 0;
    pending_.reset();

    const glimra::PatternParameters params = glimra::readParameters(texts);
    // At the screen's own resolution; a render nested in another paints at
    // the density that one paints at.
    if (depth_ == 0)
        canvas_.setDensity(glimra::densityForRatio(canvas_.devicePixelRatioF()));
    const int density = canvas_.density();
    const int level = depth_ + 1;
    emit started(pattern, texts, level, ticket);
    canvas_.refreshSoon();

    CanvasHost host(*this, level);
    glimra::RenderResult result;
    {
        struct Level {
            int& depth;
            explicit Level(int& d) : depth(d) { ++depth; }
            ~Level() { --depth; }
        } nested(depth_);
        try {
            // A fault or a refused scan simply ends the picture where it stands.
            result = density == 1 ? glimra::render(pattern, params, host, {.origin = glimra::kCanvasOrigin})
                                  : glimra::renderDense(pattern, params, density, canvas_.width() - glimra::kCanvasLeft,
                                                        canvas_.height() - glimra::kCanvasTop, host);
        } catch (const std::bad_alloc&) {
            // Not enough memory for the scan: nothing more to paint.
            result.outcome = glimra::Outcome::Refused;
        }
    }
    lastOutcome_ = result.outcome;
    canvas_.refreshNow();
    emit ended(result, level);
    // The last running render has returned: now the waiting start may come.
    if (pending_ && depth_ == 0)
        scheduleWaiting();
    return true;
}

quint64 RenderSession::startWhenIdle(const glimra::Pattern& pattern, TextsSource texts)
{
    pending_ = Waiting{&pattern, glimra::heldFormula(pattern), std::move(texts), ++lastTicket_};
    // The renders running now would paint over the new one: they end after
    // their current column, and it begins once the last of them has returned.
    if (depth_ > 0)
        halt_ = true;
    else
        scheduleWaiting();
    return pending_->ticket;
}

void RenderSession::scheduleWaiting()
{
    if (scheduled_)
        return;
    scheduled_ = true;
    QMetaObject::invokeMethod(this, &RenderSession::startWaiting, Qt::QueuedConnection);
}

void RenderSession::startWaiting()
{
    scheduled_ = false;
    if (!pending_)
        return;
    if (depth_ > 0) {
        // Something started a render meanwhile; when it has returned, the
        // start comes again.
        halt_ = true;
        return;
    }
    const Waiting waiting = std::move(*pending_);
    pending_.reset();
    startingTicket_ = waiting.ticket;
    start(*waiting.pattern, waiting.texts ? waiting.texts() : glimra::PatternTexts{});
    startingTicket_ = 0;
}

// ---------------------------------------------------------------------------

HaltText& HaltText::operator=(const QString& text)
{
    if (session_)
        session_->setHaltRequested(text == QLatin1String("p"));
    return *this;
}

char* toString(const HaltText& flag)
{
    const QByteArray text = '"' + QString(flag).toUtf8() + '"';
    char* copy = new char[std::size_t(text.size()) + 1];
    std::memcpy(copy, text.constData(), std::size_t(text.size()) + 1);
    return copy;
}
