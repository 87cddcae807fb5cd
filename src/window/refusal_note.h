// Refusal notes: why an action did nothing, said where it was asked for, and
// text from outside (a place, a file name, a file's settings, the clipboard)
// made fit to be shown in one. Every note is plain text, never markup.
#pragma once

#include <QPoint>
#include <QString>

#include <string>

class QWidget;

namespace glimra {
// Text from outside as it may be shown: at most `limit` characters, control
// characters written out as \xNN. Shown only as plain text.
QString shownText(const QString& text, qsizetype limit);
// Outside text in quotation marks, shortened for a note.
QString quotedText(const QString& text);
// A tool tip that shows its text as it is, never as markup.
void showPlainTip(const QPoint& global, const QString& text, QWidget* at);
// A short note at a control saying why an action did nothing there.
void showRefusal(QWidget* at, const QString& text);
// That note for a box whose text is not a number.
QString unreadableNote(const QString& text);
// That note for a box whose number cannot be changed as asked.
QString outOfRangeNote(const QString& text);
// Why the window does not paint a picture of this size text, naming `what`
// and the command for larger pictures; empty within the size box's range.
QString sizeRefusal(const QString& what, const std::string& size, const QString& larger);
}  // namespace glimra
