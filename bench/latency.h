// What the latency benchmarks share: a watch on the program's events that
// notes when the cause (a wheel notch, a key) arrived and when the first
// column of the new render reached the screen, and the runs' median.
#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <vector>

struct LatencyWatch : QObject {
    QElapsedTimer clock;
    qint64 arrived = -1, shown = -1;
    bool armed = false, firstColumn = false;
    QWidget* canvas = nullptr;
    std::function<bool(const QEvent*)> isCause;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (armed && arrived < 0 && isCause(e))
            arrived = clock.nsecsElapsed();
        if (armed && firstColumn && o == canvas && e->type() == QEvent::Paint) {
            shown = clock.nsecsElapsed();
            armed = false;
        }
        return false;
    }
};

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}
