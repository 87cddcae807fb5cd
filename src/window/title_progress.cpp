#include "window/title_progress.h"

#include "place/navigate.h"

#include <QWidget>

TitleProgress::TitleProgress(QWidget& window) : QObject(&window), window_(window)
{
    setObjectName(QStringLiteral("titleProgress"));
}

void TitleProgress::renderStarts(const glimra::Pattern& pattern, const glimra::PatternTexts& texts)
{
    Running run;
    run.name = QString::fromLatin1(pattern.name);
    if (const auto extent = glimra::pictureExtent(pattern, texts)) {
        run.columns = extent->columns;
        run.rows = extent->rows;
    }
    run.clock.start();
    running_.push_back(run);
    showTitle(QStringLiteral("%1 0 %").arg(run.name));
}

void TitleProgress::columnDone(int, long index)
{
    if (running_.empty())
        return;
    Running& run = running_.back();
    const int percent = run.columns > 0 ? int((index + 1) * 100 / run.columns) : 100;
    if (percent != run.percent) {
        run.percent = percent;
        showTitle(QStringLiteral("%1 %2 %").arg(run.name).arg(percent));
    }
}

void TitleProgress::renderEnded(const glimra::RenderResult& result)
{
    if (running_.empty())
        return;
    const Running& run = running_.back();
    QString text = QStringLiteral("%1 %2 x %3").arg(run.name).arg(run.columns).arg(run.rows);
    const long done = run.columns > 0 ? result.columns * 100 / run.columns : 100;
    if (result.outcome == glimra::Outcome::Halted)
        text += QStringLiteral(", halted at %1 %").arg(done);
    else if (result.outcome == glimra::Outcome::Faulted)
        text += QStringLiteral(", arithmetic fault at %1 %").arg(done);
    else if (result.outcome == glimra::Outcome::Refused)
        text += QStringLiteral(", not painted");
    text += QStringLiteral(", %1 s").arg(double(run.clock.nsecsElapsed()) / 1e9, 0, 'f', 2);
    running_.pop_back();
    showTitle(text);
    // The render this one interrupted shows its progress again.
    if (!running_.empty())
        running_.back().percent = -1;
}

void TitleProgress::showTitle(const QString& text) { window_.setWindowTitle(QStringLiteral("Color Glimra - ") + text); }
