#include "window/navigation.h"

#include "patterns/patterns.h"
#include "place/place.h"
#include "render/numtext.h"
#include "window/canvas_origin.h"
#include "window/picture_menu.h"
#include "window/qtac.h"
#include "window/render_session.h"
#include "window/window_action.h"

#include <QAction>
#include <QClipboard>
#include <QCursor>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QRubberBand>
#include <QTextDocument>
#include <QToolTip>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>

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

}  // namespace glimra

namespace {

QString quoted(const QString& t) { return QStringLiteral("\u201c%1\u201d").arg(glimra::shownText(t, 60)); }

QString quoted(const std::string& text) { return quoted(QString::fromStdString(text)); }

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

namespace glimra {

QString unreadableNote(const QString& text)
{
    return QStringLiteral("%1 could not be read as a number: nothing was changed").arg(quoted(text));
}

QString outOfRangeNote(const QString& text)
{
    return QStringLiteral("%1 cannot be changed that far: nothing was changed").arg(quoted(text));
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

Navigation::Navigation(qTac& window, RenderSession& session) : QObject(&window), window_(window), session_(session)
{
    setObjectName(QStringLiteral("navigation"));
    auto action = [&](const char* name, const QString& text, const QList<QKeySequence>& keys, auto slot) {
        return windowAction(window, this, name, text, keys, slot);
    };
    zoomInAction = action("zoomIn", QStringLiteral("Zoom in"),
                          {QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)}, [this] { zoomCentre(+1); });
    zoomOutAction = action("zoomOut", QStringLiteral("Zoom out"), {QKeySequence::ZoomOut}, [this] { zoomCentre(-1); });
    moveLeftAction = action("moveLeft", QStringLiteral("Move left"), {QKeySequence(Qt::CTRL | Qt::Key_Left)},
                            [this] { move(-1, 0); });
    moveRightAction = action("moveRight", QStringLiteral("Move right"), {QKeySequence(Qt::CTRL | Qt::Key_Right)},
                             [this] { move(+1, 0); });
    moveUpAction =
        action("moveUp", QStringLiteral("Move up"), {QKeySequence(Qt::CTRL | Qt::Key_Up)}, [this] { move(0, -1); });
    moveDownAction = action("moveDown", QStringLiteral("Move down"), {QKeySequence(Qt::CTRL | Qt::Key_Down)},
                            [this] { move(0, +1); });
    backAction = action("back", QStringLiteral("Back"),
                        {QKeySequence(Qt::ALT | Qt::Key_Left), QKeySequence(Qt::Key_Back)}, [this] { back(); });
    forwardAction =
        action("forward", QStringLiteral("Forward"),
               {QKeySequence(Qt::ALT | Qt::Key_Right), QKeySequence(Qt::Key_Forward)}, [this] { forward(); });
    copyPlaceAction = action("copyPlace", QStringLiteral("Copy place"), {QKeySequence(Qt::CTRL | Qt::Key_L)},
                             [this] { copyPlace(); });
    pastePlaceAction = action("pastePlace", QStringLiteral("Paste place"), {QKeySequence(Qt::CTRL | Qt::Key_V)},
                              [this] { pastePlace(); });

    complain_ = [this](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, &window_);
        // The text quotes what came from outside.
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
    window.installEventFilter(this);
    updateActions();
}

Navigation::~Navigation() = default;

// --- what is shown -----------------------------------------------------------

const glimra::Pattern* Navigation::lastPattern() const
{
    if (last_ && lastFormula_)
        return &lastFormula_->pattern();
    return last_ ? glimra::findPattern(last_->pattern) : nullptr;
}

QString Navigation::currentPlace() const
{
    if (!last_)
        return {};
    return QString::fromStdString(glimra::formatPlace(glimra::Place{last_->pattern, last_->texts, last_->formula}));
}

bool Navigation::onPictureArea(const QPoint& local) const
{
    // The context menu's rule: right of and below the picture's corner, and
    // not on a control that lies there.
    if (local.x() < glimra::kCanvasLeft + 1 || local.y() < glimra::kCanvasTop + 1 || !window_.rect().contains(local))
        return false;
    QWidget* under = window_.childAt(local);
    return !under || under == window_.canvasWidget();
}

std::optional<glimra::PicturePoint> Navigation::pixelAt(const QPoint& local) const
{
    const glimra::Pattern* pattern = lastPattern();
    if (!pattern || !onPictureArea(local))
        return std::nullopt;
    const auto extent = glimra::pictureExtent(*pattern, window_.texts());
    const long column = local.x() - glimra::kCanvasLeft, row = local.y() - glimra::kCanvasTop;
    if (!extent || column > extent->columns || row > extent->rows)
        return std::nullopt;
    return glimra::PicturePoint{double(column), double(row)};
}

// --- navigating ----------------------------------------------------------------

bool Navigation::apply(const glimra::NavigationStep& step)
{
    const glimra::Pattern* pattern = lastPattern();
    if (!pattern)
        return false;
    const glimra::PatternTexts texts = window_.texts();
    const glimra::NavigationResult result = glimra::navigate(*pattern, texts, step);
    if (!result.texts) {
        const std::array<QWidget*, 5> boxes{window_.TextOne, window_.TextTwo, window_.TextThree, window_.TextFour,
                                            window_.Textfive};
        if (result.unreadable >= 0)
            glimra::showRefusal(
                boxes[std::size_t(result.unreadable)],
                glimra::unreadableNote(QString::fromStdString(texts.*glimra::kParameterNames[result.unreadable].text)));
        else
            glimra::showPlainTip(QCursor::pos(), QString::fromStdString(result.why), &window_);
        return false;
    }
    window_.setTexts(*result.texts);
    request(*pattern, false);
    return true;
}

bool Navigation::zoomAt(const QPoint& local, int notches)
{
    const auto at = pixelAt(local);
    return at && notches != 0 && apply(glimra::zoomAbout(*at, notches));
}

bool Navigation::zoomCentre(int notches)
{
    const glimra::Pattern* pattern = lastPattern();
    const auto extent = pattern ? glimra::pictureExtent(*pattern, window_.texts()) : std::nullopt;
    return extent && apply(glimra::zoomAbout(extent->centre(), notches));
}

bool Navigation::centreAt(const QPoint& local)
{
    const auto at = pixelAt(local);
    const auto extent = at ? glimra::pictureExtent(*lastPattern(), window_.texts()) : std::nullopt;
    return extent && apply(glimra::centreOn(*at, *extent));
}

bool Navigation::zoomToRectangle(const QPoint& a, const QPoint& b)
{
    const glimra::Pattern* pattern = lastPattern();
    const auto extent = pattern ? glimra::pictureExtent(*pattern, window_.texts()) : std::nullopt;
    if (!extent)
        return false;
    // The corners as pixels of the picture, the rectangle cut to it.
    auto pixel = [&](const QPoint& p) {
        return glimra::PicturePoint{double(std::clamp<long>(p.x() - glimra::kCanvasLeft, 1, extent->columns)),
                                    double(std::clamp<long>(p.y() - glimra::kCanvasTop, 1, extent->rows))};
    };
    const auto step = glimra::zoomToRectangle(pixel(a), pixel(b), *extent);
    return step && apply(*step);
}

bool Navigation::move(int dx, int dy)
{
    const glimra::Pattern* pattern = lastPattern();
    const auto extent = pattern ? glimra::pictureExtent(*pattern, window_.texts()) : std::nullopt;
    return extent && apply(glimra::panQuarter(dx, dy, *extent));
}

bool Navigation::goTo(int index)
{
    const Entry* at = history_.at(index);
    if (!at)
        return false;
    const Entry& entry = *at;
    QString why;
    glimra::HeldFormula formula;
    const glimra::Pattern* pattern =
        glimra::recipePattern(glimra::PictureRecipe{entry.pattern, entry.texts, 1, 1, entry.formula}, &formula, &why);
    if (!pattern)
        return false;
    // Only what the window painted is kept, but a history is no place to
    // start an endless render from either.
    if (!glimra::sizeRefusal({}, entry.texts.size, {}).isEmpty())
        return false;
    history_.moveTo(index);
    window_.setTexts(entry.texts);
    request(*pattern, true);
    updateActions();
    return true;
}

bool Navigation::back() { return goTo(history_.current() - 1); }
bool Navigation::forward() { return goTo(history_.current() + 1); }

void Navigation::copyPlace()
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
    QGuiApplication::clipboard()->setText(currentPlace());
}

void Navigation::pastePlace() { openPlace(QGuiApplication::clipboard()->text()); }

bool Navigation::openPlace(const QString& text)
{
    std::string why;
    const std::optional<glimra::Place> place =
        glimra::parsePlace(text.toStdString(), &why, glimra::PlaceKinds::PatternsAndFormulas);
    if (!place) {
        complain_(QStringLiteral("Not a place"),
                  QStringLiteral("%1 is not a place: %2.")
                      .arg(quoted(text.trimmed().toStdString()), glimra::shownText(QString::fromStdString(why), 200)));
        return false;
    }
    // The size box's own range, as for picture files: a link must not start
    // a render that takes months and holds the window with every column.
    const QString shown = quoted(text.trimmed().toStdString());
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
    window_.setTexts(place->texts);
    request(*pattern, false);
    if (formula)
        emit formulaOpened(QString::fromStdString(place->formula));
    return true;
}

void Navigation::openArgument(const QString& argument)
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
    window_.pictures()->openFile(path);
}

// --- starting the render ---------------------------------------------------------

void Navigation::request(const glimra::Pattern& pattern, bool fromHistory)
{
    // Started as a click on the pattern's button would be, from the boxes as
    // they are then: notches that arrive meanwhile make one step.
    waiting_ = session_.startWhenIdle(pattern, [this] { return window_.texts(); });
    waitingFromHistory_ = fromHistory;
    // The session waits with the pattern; a formula's must live till then.
    waitingFormula_ = glimra::heldFormula(pattern);
}

bool Navigation::startPending() const { return session_.startPending(); }

// --- the window's renders -----------------------------------------------------------

void Navigation::renderStarts(const glimra::Pattern& pattern, const glimra::PatternTexts& texts, int, quint64 ticket)
{
    // A click on a pattern button reads the boxes a waiting navigation wrote:
    // it is that navigation's render.
    const bool fromHistory = ticket != 0 && ticket == waiting_ && waitingFromHistory_;
    waiting_ = 0;
    waitingFromHistory_ = false;

    const glimra::HeldFormula formula = glimra::heldFormula(pattern);
    waitingFormula_.reset();  // the waiting start is this one, or was replaced by it
    const Entry entry{pattern.name, texts, glimra::formulaText(pattern)};
    last_ = entry;
    lastFormula_ = formula;
    if (!fromHistory)
        history_.add(entry);
    updateActions();

    Running run;
    run.formula = formula;
    run.name = QString::fromLatin1(pattern.name);
    if (const auto extent = glimra::pictureExtent(pattern, texts)) {
        run.columns = extent->columns;
        run.rows = extent->rows;
    }
    run.clock.start();
    running_.push_back(run);
    showTitle(QStringLiteral("%1 0 %").arg(run.name));
}

void Navigation::columnDone(int, long index)
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

void Navigation::renderEnded(const glimra::RenderResult& result)
{
    if (!running_.empty()) {
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
}

void Navigation::showTitle(const QString& text) { window_.setWindowTitle(QStringLiteral("Color Glimra - ") + text); }

void Navigation::updateActions()
{
    backAction->setEnabled(history_.canGoBack());
    forwardAction->setEnabled(history_.canGoForward());
    const bool shown = last_.has_value();
    for (QAction* a :
         {zoomInAction, zoomOutAction, moveLeftAction, moveRightAction, moveUpAction, moveDownAction, copyPlaceAction})
        a->setEnabled(shown);
}

void Navigation::addToMenu(QMenu& menu, const QPoint& local)
{
    menu.addSeparator();
    QAction* centre = menu.addAction(QStringLiteral("Centre here"), this, [this, local] { centreAt(local); });
    centre->setObjectName(QStringLiteral("centreHere"));
    centre->setEnabled(pixelAt(local).has_value());
    for (QAction* a : {zoomInAction, zoomOutAction, moveLeftAction, moveRightAction, moveUpAction, moveDownAction})
        menu.addAction(a);
    menu.addSeparator();
    menu.addAction(backAction);
    menu.addAction(forwardAction);
    menu.addSeparator();
    menu.addAction(copyPlaceAction);
    menu.addAction(pastePlaceAction);
}

// --- mouse, wheel and drops ----------------------------------------------------------

bool Navigation::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &window_)
        return false;
    switch (event->type()) {
    case QEvent::Wheel: {
        auto* e = static_cast<QWheelEvent*>(event);
        const QPoint at = e->position().toPoint();
        if (!pixelAt(at))
            return false;
        // Touchpads send a notch in small pieces; only whole notches zoom.
        wheelRemainder_ += e->angleDelta().y();
        const int notches = wheelRemainder_ / 120;
        wheelRemainder_ -= notches * 120;
        if (notches != 0)
            zoomAt(at, notches);
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        const QPoint at = e->position().toPoint();
        if (e->button() == Qt::BackButton) {
            back();
            return true;
        }
        if (e->button() == Qt::ForwardButton) {
            forward();
            return true;
        }
        if (e->button() == Qt::MiddleButton && pixelAt(at)) {
            centreAt(at);
            return true;
        }
        if (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ShiftModifier) && pixelAt(at)) {
            if (!band_)
                band_ = new QRubberBand(QRubberBand::Rectangle, &window_);
            bandOrigin_ = at;
            band_->setGeometry(QRect(at, QSize(1, 1)));
            band_->show();
            return true;
        }
        return false;
    }
    case QEvent::MouseMove:
        if (band_ && band_->isVisible()) {
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            band_->setGeometry(QRect(bandOrigin_, at).normalized());
            return true;
        }
        return false;
    case QEvent::MouseButtonRelease:
        if (band_ && band_->isVisible() && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            band_->hide();
            zoomToRectangle(bandOrigin_, static_cast<QMouseEvent*>(event)->position().toPoint());
            return true;
        }
        return false;
    case QEvent::DragEnter: {
        auto* e = static_cast<QDragEnterEvent*>(event);
        if (!droppedPlace(e->mimeData()))
            return false;
        e->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
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
    default: return false;
    }
}
