// The render's progress in the window's title: the pattern and how much of it
// is painted while it paints, then its size, how it ended and how long it
// took. A render nested in another has the title while it runs; the one it
// interrupted has it again afterwards.
#pragma once

#include "render/frame.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <vector>

class QWidget;

class TitleProgress : public QObject {
    Q_OBJECT
public:
    explicit TitleProgress(QWidget& window);

public slots:
    void renderStarts(const glimra::Pattern& pattern, const glimra::PatternTexts& texts);
    void columnDone(int level, long index);
    void renderEnded(const glimra::RenderResult& result);

private:
    struct Running {
        QString name;
        long columns = 0, rows = 0;
        int percent = -1;
        QElapsedTimer clock;
    };

    void showTitle(const QString& text);

    QWidget& window_;
    std::vector<Running> running_;
};
