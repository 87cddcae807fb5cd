#include "window/places.h"

#include "place/place.h"
#include "window/refusal_note.h"
#include "window/render_session.h"
#include "window/window_action.h"

#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

namespace {

// Outside text quoted through UTF-8, as the place reader sees it: what cannot
// be UTF-8 shows as a replacement character.
QString quoted(const QString& text) { return glimra::quotedText(QString::fromStdString(text.toStdString())); }

// The place a drag carries: one glimra: address, or text that starts as a
// place does. Anything else is no drop for us.
std::optional<QString> droppedPlace(const QMimeData* data)
{
    if (!data)
        return std::nullopt;
    QString text;
    if (data->hasUrls()) {
        if (data->urls().size() != 1)
            return std::nullopt;
        text = data->urls().front().toString(QUrl::FullyEncoded);
    } else if (data->hasText()) {
        text = data->text().trimmed();
    }
    if (!text.startsWith(QLatin1String(glimra::kPlaceScheme.data(), qsizetype(glimra::kPlaceScheme.size())),
                         Qt::CaseInsensitive))
        return std::nullopt;
    return text;
}

}  // namespace

Places::Places(QWidget& window, ParameterBoxes boxes, RenderSession& session)
    : QObject(&window), window_(window), boxes_(boxes), session_(session)
{
    setObjectName(QStringLiteral("places"));
    copyPlaceAction = windowAction(window, this, "copyPlace", QStringLiteral("Copy place"),
                                   {QKeySequence(Qt::CTRL | Qt::Key_L)}, [this] { copyPlace(); });
    pastePlaceAction = windowAction(window, this, "pastePlace", QStringLiteral("Paste place"),
                                    {QKeySequence(Qt::CTRL | Qt::Key_V)}, [this] { pastePlace(); });
    // No place before the first render.
    copyPlaceAction->setEnabled(false);

    complain_ = [this](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, &window_);
        // The text quotes what came from outside.
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
    window.installEventFilter(this);
}

void Places::renderStarts(const glimra::Pattern& pattern, const glimra::PatternTexts& texts)
{
    last_ = glimra::HistoryEntry{pattern.name, texts, glimra::formulaText(pattern)};
    copyPlaceAction->setEnabled(true);
}

void Places::copyPlace()
{
    if (!last_)
        return;
    if (last_->formula.size() > glimra::kMaxPlaceFormula) {
        complain_(QStringLiteral("Cannot copy place"),
                  QStringLiteral("This formula has %1 bytes; a place carries at most %2. Save the picture "
                                 "or the formula as a file to share it.")
                      .arg(last_->formula.size())
                      .arg(glimra::kMaxPlaceFormula));
        return;
    }
    QGuiApplication::clipboard()->setText(
        QString::fromStdString(glimra::formatPlace(glimra::Place{last_->pattern, last_->texts, last_->formula})));
}

void Places::pastePlace() { openPlace(QGuiApplication::clipboard()->text()); }

bool Places::openPlace(const QString& text)
{
    std::string why;
    const std::optional<glimra::Place> place =
        glimra::parsePlace(text.toStdString(), &why, glimra::PlaceKinds::PatternsAndFormulas);
    if (!place) {
        complain_(QStringLiteral("Not a place"),
                  QStringLiteral("%1 is not a place: %2.")
                      .arg(quoted(text.trimmed()), glimra::shownText(QString::fromStdString(why), 200)));
        return false;
    }
    // The size box's own range, as for picture files: a link must not start
    // a render that takes months and holds the window with every column.
    const QString shown = quoted(text.trimmed());
    if (const QString why = glimra::sizeRefusal(shown, place->texts.size,
                                                QStringLiteral("glimra-render --place %1 -o FILE").arg(shown));
        !why.isEmpty()) {
        complain_(QStringLiteral("Cannot open place"), why);
        return false;
    }
    QString problem;
    glimra::HeldFormula formula;
    const glimra::Pattern* pattern = glimra::recipePattern(
        glimra::PictureRecipe{place->pattern, place->texts, 1, 1, place->formula}, &formula, &problem);
    if (!pattern) {
        complain_(QStringLiteral("Cannot open place"),
                  QStringLiteral("%1: %2").arg(shown, glimra::shownText(problem, 500)));
        return false;
    }
    boxes_.setTexts(place->texts);
    // Started from the boxes as they are then, as a click on the pattern's
    // button would.
    session_.startWhenIdle(*pattern, [boxes = boxes_] { return boxes.texts(); });
    if (formula)
        emit formulaOpened(QString::fromStdString(place->formula));
    return true;
}

void Places::openArgument(const QString& argument)
{
    if (argument.startsWith(glimra::kPlaceScheme.data(), Qt::CaseInsensitive)) {
        openPlace(argument);
        return;
    }
    // A file manager hands over a file: address for %u.
    const QUrl url(argument);
    const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
    if (path.endsWith(QStringLiteral(".glimra"), Qt::CaseInsensitive)) {
        emit formulaFileGiven(path);
        return;
    }
    emit pictureFileGiven(path);
}

bool Places::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &window_)
        return false;
    if (event->type() == QEvent::DragEnter) {
        auto* e = static_cast<QDragEnterEvent*>(event);
        if (!droppedPlace(e->mimeData()))
            return false;
        e->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* e = static_cast<QDropEvent*>(event);
        const std::optional<QString> place = droppedPlace(e->mimeData());
        if (!place)
            return false;
        e->acceptProposedAction();
        // After the drop: the dragging program waits for its answer.
        QMetaObject::invokeMethod(
            this, [this, text = *place] { openPlace(text); }, Qt::QueuedConnection);
        return true;
    }
    return false;
}
