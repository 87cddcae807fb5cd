#include "window/refusal_note.h"

#include "render/numtext.h"

#include <QTextDocument>
#include <QToolTip>
#include <QWidget>

namespace glimra {

QString shownText(const QString& text, qsizetype limit)
{
    QString shown;
    for (const QChar c : text) {
        if (shown.size() >= limit) {
            shown += QStringLiteral("\u2026");
            break;
        }
        // A control character would act (or vanish) instead of being seen.
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString quotedText(const QString& text) { return QStringLiteral("\u201c%1\u201d").arg(shownText(text, 60)); }

void showPlainTip(const QPoint& global, const QString& text, QWidget* at)
{
    // A tool tip reads anything that looks like markup as rich text (and
    // loads the pictures it names): written out as rich text here, the text
    // can only be shown as it is.
    QToolTip::showText(global, Qt::convertFromPlainText(shownText(text, 400), Qt::WhiteSpaceNormal), at);
}

void showRefusal(QWidget* at, const QString& text)
{
    if (!at)
        return;
    showPlainTip(at->mapToGlobal(QPoint(0, at->height())), text, at);
}

QString unreadableNote(const QString& text)
{
    return QStringLiteral("%1 could not be read as a number: nothing was changed").arg(quotedText(text));
}

QString outOfRangeNote(const QString& text)
{
    return QStringLiteral("%1 cannot be changed that far: nothing was changed").arg(quotedText(text));
}

QString sizeRefusal(const QString& what, const std::string& size, const QString& larger)
{
    const double value = Val(size);
    if (value >= 1 && value <= 1024)
        return {};
    return QStringLiteral("%1 has the size %2; the window paints sizes from 1 to 1024 (larger pictures: %3)")
        .arg(what, QString::fromStdString(Text(value)), larger);
}

}  // namespace glimra
