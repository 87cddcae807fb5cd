// Helpers shared by the window tests: clicks delivered through the event
// queue (so that a render's yield is what handles them), reference pictures
// from glimra-render, and picture comparison against the window's Canvas.
#pragma once

#include "render/frame.h"
#include "window/canvas_origin.h"
#include "window/qtac.h"

#include <QCoreApplication>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

namespace support {

// The picture's top-left pixel in the Canvas.
constexpr int kLeft = glimra::kCanvasLeft + 1;
constexpr int kTop = glimra::kCanvasTop + 1;
inline const QColor kBackground(64, 64, 64);
inline const QColor kGrey(128, 128, 128);
inline const QColor kOrange(255, 128, 64);

// Queues a left click on a control; it is handled at the next event
// processing, during a render that is the render's next yield.
inline void postClick(QWidget* control)
{
    const QPointF local = QRectF(control->rect()).center();
    const QPointF global = control->mapToGlobal(local);
    QCoreApplication::postEvent(control, new QMouseEvent(QEvent::MouseButtonPress, local, global, Qt::LeftButton,
                                                         Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(control, new QMouseEvent(QEvent::MouseButtonRelease, local, global, Qt::LeftButton,
                                                         Qt::NoButton, Qt::NoModifier));
}

// Activates another top-level window, then the given one again, as a user
// switching applications and back would. False when either never became active.
inline bool switchAwayAndBack(QWidget& window)
{
    QWidget other;
    other.show();
    other.activateWindow();
    if (!QTest::qWaitForWindowActive(&other))
        return false;
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Runs this test program again as an offscreen child that is told how to end
// (`--exit-child HOW`); its exit status and what it printed. The wait is a
// hang guard, not a measure.
struct ChildRun {
    bool finished = false;
    bool normalExit = false;
    int exitCode = -1;
    QString out;
};

inline ChildRun runExitChild(const QString& how)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--exit-child", how});
    ChildRun run;
    run.finished = child.waitForFinished(120000);
    run.normalExit = child.exitStatus() == QProcess::NormalExit;
    run.exitCode = child.exitCode();
    run.out = QString::fromLocal8Bit(child.readAllStandardOutput());
    return run;
}

struct Texts {
    QString x = "1", y = "1", size = "150", zoom = "1", bright = "150";
};

inline void setTexts(qTac& w, const Texts& t)
{
    w.TextOne->setText(t.x);
    w.TextTwo->setText(t.y);
    w.TextThree->setText(t.size);
    w.TextFour->setText(t.zoom);
    w.Textfive->setText(t.bright);
}

// Every control that acts: the buttons, the boxes and the labels that take
// clicks.
inline QList<QWidget*> actingControls(qTac& w)
{
    QList<QWidget*> list;
    for (QWidget* c : w.findChildren<QWidget*>()) {
        auto* label = qobject_cast<ClickLabel*>(c);
        if (qobject_cast<QPushButton*>(c) || qobject_cast<TextBox*>(c) || (label && label->isClickable()))
            list.append(c);
    }
    return list;
}

inline QStringList texts(const qTac& w)
{
    return {w.TextOne->text(), w.TextTwo->text(), w.TextThree->text(), w.TextFour->text(), w.Textfive->text()};
}

// What glimra-render writes for a pattern and texts; a null image (and a
// reason) when it fails.
inline QImage reference(const QString& pattern, const Texts& t, QString* failure = nullptr)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("picture.ppm");
    QProcess p;
    p.start(QStringLiteral(GLIMRA_RENDER_PATH),
            {pattern, "--x", t.x, "--y", t.y, "--size", t.size, "--zoom", t.zoom, "--bright", t.bright, "-o", out});
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (failure)
            *failure = QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    return QImage(out).convertToFormat(QImage::Format_RGB32);
}

// The Canvas `base` with `picture` laid over it at the picture's place;
// only the part of the picture inside `part` (picture coordinates) is laid.
inline QImage laidOver(QImage base, const QImage& picture, QRect part = {})
{
    if (part.isNull())
        part = picture.rect();
    base = base.convertToFormat(QImage::Format_RGB32);
    for (int y = part.top(); y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x)
            base.setPixel(kLeft + x, kTop + y, picture.pixel(x, y));
    return base;
}

inline QImage blankCanvas()
{
    QImage canvas(qTac::kClientWidth, qTac::kClientHeight, QImage::Format_RGB32);
    canvas.fill(kBackground);
    return canvas;
}

// Empty when both are equal, else where they first differ.
inline QString difference(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return QString("size %1x%2, expected %3x%4")
            .arg(actual.width())
            .arg(actual.height())
            .arg(expected.width())
            .arg(expected.height());
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y))
                return QString("pixel (%1, %2) is %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(QColor(actual.pixel(x, y)).name(), QColor(expected.pixel(x, y)).name());
    return {};
}

}  // namespace support
