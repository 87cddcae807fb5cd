// One way to make an action of the window: named (for tests and assistive
// technology), with its text and keys, added to the window so that its keys
// work wherever the focus is in it, and triggering `slot` on `receiver`.
// Where a box has the focus, the box's own editing keys (Ctrl+arrows by
// words, Ctrl+V pastes) still win: the box claims them before any shortcut.
#pragma once

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <QWidget>

template <typename Receiver, typename Slot>
QAction* windowAction(QWidget& window, Receiver* receiver, const char* name, const QString& text,
                      const QList<QKeySequence>& keys, Slot slot)
{
    auto* a = new QAction(text, receiver);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(a, &QAction::triggered, receiver, slot);
    window.addAction(a);
    return a;
}
