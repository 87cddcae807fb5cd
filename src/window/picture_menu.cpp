#include "window/picture_menu.h"

#include "patterns/patterns.h"
#include "picture/qt_toolkit.h"
#include "picture/renderer.h"
#include "window/window_formulas.h"
#include "render/numtext.h"
#include "window/canvas.h"
#include "window/refusal_note.h"
#include "window/canvas_origin.h"
#include "window/render_session.h"
#include "window/window_action.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QGuiApplication>
#include <QImageWriter>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

#include <array>
#include <utility>

namespace {

// The desktop's pictures folder; the home folder where there is none (a
// dialog started in a missing folder starts in the working one instead).
QString picturesFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

// A box text as part of a file name: whatever was typed, less the characters
// that have no place in one (" 7 6 8abc" becomes "768abc").
QString fileNamePart(const std::string& text)
{
    QString part;
    for (const QChar c : QString::fromStdString(text)) {
        if (part.size() >= 32)
            break;
        if ((c.isLetterOrNumber() && c.unicode() < 128) || c == u'.' || c == u'-' || c == u'+' || c == u'_')
            part += c;
    }
    return part;
}

QString saveFilters()
{
    QStringList others;
    for (const QByteArray& format : QImageWriter::supportedImageFormats())
        if (format != "png")
            others << QStringLiteral("*.") + QString::fromLatin1(format);
    return QStringLiteral("PNG picture (*.png);;Other pictures (%1)").arg(others.join(u' '));
}

}  // namespace

PictureMenu::PictureMenu(QWidget& window, const Canvas& canvas, ParameterBoxes boxes, RenderSession& session)
    : QObject(&window), window_(window), canvas_(canvas), boxes_(boxes), session_(session)
{
    setObjectName(QStringLiteral("pictureMenu"));
    auto action = [&](const char* name, const QString& text, const QKeySequence& keys, void (PictureMenu::*slot)()) {
        return windowAction(window, this, name, text, {keys}, slot);
    };
    saveAction = action("savePicture", QStringLiteral("Save picture\u2026"), QKeySequence(Qt::CTRL | Qt::Key_S),
                        &PictureMenu::save);
    // Ctrl+C stays the boxes' own copy.
    copyAction = action("copyPicture", QStringLiteral("Copy picture"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
                        &PictureMenu::copy);
    openAction = action("openPicture", QStringLiteral("Open picture\u2026"), QKeySequence(Qt::CTRL | Qt::Key_O),
                        &PictureMenu::open);
    saveAction->setEnabled(false);
    copyAction->setEnabled(false);

    chooseSave_ = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(&window_, QStringLiteral("Save picture"), suggested, saveFilters());
    };
    chooseOpen_ = [this] {
        return QFileDialog::getOpenFileName(&window_, QStringLiteral("Open picture"), picturesFolder(),
                                            QStringLiteral("PNG pictures (*.png);;All files (*)"));
    };
    chooseResolution_ = [this](QSize plain, QSize dense) -> std::optional<bool> {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Save picture"),
                        QStringLiteral("Save the picture at which resolution?"), QMessageBox::Cancel, &window_);
        auto size = [](QSize s) { return QStringLiteral("%1 \u00d7 %2").arg(s.width()).arg(s.height()); };
        QPushButton* screen = box.addButton(QStringLiteral("The screen's, ") + size(dense), QMessageBox::AcceptRole);
        QPushButton* design = box.addButton(QStringLiteral("The window's, ") + size(plain), QMessageBox::AcceptRole);
        box.setDefaultButton(screen);
        box.exec();
        if (box.clickedButton() == screen)
            return true;
        if (box.clickedButton() == design)
            return false;
        return std::nullopt;
    };
    complain_ = [this](const QString& title, const QString& text) {
        QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, &window_);
        // File names and a file's settings are anybody's text.
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
}

void PictureMenu::renderStarts(const glimra::Pattern& pattern, const glimra::PatternTexts& texts)
{
    recipe_ = glimra::PictureRecipe{pattern.name, texts, canvas_.density(), 1, glimra::formulaText(pattern)};
    saveAction->setEnabled(true);
    copyAction->setEnabled(true);
}

bool PictureMenu::hasPicture() const { return recipe_ && !canvas_.paintedRect().isEmpty(); }

QImage PictureMenu::picture() const { return canvas_.image().copy(canvas_.paintedRect()); }

QImage PictureMenu::windowPicture() const
{
    const int density = canvas_.density();
    const QImage dense = picture();
    if (density == 1 || dense.isNull())
        return dense;
    QImage plain(dense.width() / density, dense.height() / density, QImage::Format_RGB32);
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            plain.setPixel(x, y, dense.pixel(density * x + density - 1, density * y + density - 1));
    return plain;
}

QImage PictureMenu::wholePicture(const QImage& image, const glimra::PictureRecipe& recipe) const
{
    const Canvas* canvas = &canvas_;
    const QRect painted = canvas->paintedRect();
    // Only a picture that reaches the lower edge can be cut there.
    if (painted.isEmpty() || painted.bottom() + 1 < canvas->image().height())
        return image;
    glimra::PictureRequest request;
    glimra::HeldFormula formula;
    QString why;
    request.pattern = glimra::recipePattern(recipe, &formula, &why);
    request.recipe = recipe;
    request.threads = 0;
    if (!request.pattern)
        return image;
    const glimra::PicturePlan plan = glimra::planPicture(request);
    const int d = canvas->density(), k = recipe.density;
    // Where the shown part and the whole picture lie, in the saved picture's
    // pixels: the picture's first pixel is the Canvas's (161, 51).
    const QRect shown(QPoint(painted.left() / d * k, painted.top() / d * k), image.size());
    const QRect whole(QPoint((glimra::kCanvasLeft + 1) * k, (glimra::kCanvasTop + 1) * k),
                      QSize(int(plan.width), int(plan.height)));
    if (plan.verdict != glimra::PicturePlan::Verdict::Render || shown.contains(whole))
        return image;
    glimra::Pixels rendered;
    request.into = &rendered;
    if (glimra::renderPicture(request).status != glimra::PictureResult::Status::Written || rendered.isNull())
        return image;
    const QRect both = shown.united(whole);
    QImage out(both.size(), QImage::Format_RGB32);
    out.fill(canvas->image().pixel(0, 0));
    QPainter p(&out);
    p.drawImage(whole.topLeft() - both.topLeft(), glimra::imageOver(std::as_const(rendered)));
    p.drawImage(shown.topLeft() - both.topLeft(), image);
    p.end();
    return out;
}

QString PictureMenu::suggestedPath() const
{
    if (!recipe_)
        return picturesFolder();
    QString name = QString::fromStdString(recipe_->pattern);
    const QString size = fileNamePart(recipe_->texts.size);
    if (!size.isEmpty())
        name += u'-' + size;
    return QDir(picturesFolder()).filePath(name + QStringLiteral(".png"));
}

std::optional<QString> PictureMenu::droppedFile(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return std::nullopt;
    return urls.front().toLocalFile();
}

bool PictureMenu::takeDrop(const QMimeData* data)
{
    const std::optional<QString> path = droppedFile(data);
    if (!path)
        return false;
    QMetaObject::invokeMethod(
        this, [this, file = *path] { openFile(file); }, Qt::QueuedConnection);
    return true;
}

void PictureMenu::save()
{
    // What is shown now, and what made it: a render going on meanwhile (it
    // waits while the dialog is open) does not change what is saved.
    if (!hasPicture())
        return;
    QImage image = picture();
    glimra::PictureRecipe recipe = *recipe_;
    if (recipe.density > 1) {
        const QImage plain = windowPicture();
        const std::optional<bool> dense = chooseResolution_(plain.size(), image.size());
        if (!dense)
            return;
        if (!*dense) {
            image = plain;
            recipe.density = 1;
        }
    }
    QString path = chooseSave_(suggestedPath());
    if (path.isEmpty())
        return;
    image = wholePicture(image, recipe);
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    QString why;
    if (!glimra::writePicture(glimra::pixelsOf(image), path, &recipe, &why))
        complain_(QStringLiteral("Cannot save picture"),
                  QStringLiteral("The picture was not saved as %1: %2").arg(QDir::toNativeSeparators(path), why));
}

void PictureMenu::copy()
{
    if (hasPicture())
        QGuiApplication::clipboard()->setImage(picture());
}

void PictureMenu::open()
{
    const QString path = chooseOpen_();
    if (!path.isEmpty())
        openFile(path);
}

namespace {

// Why the window cannot take a recipe as it is, or nothing. A box keeps only
// what it can hold exactly (at most maxLength characters, of valid text), and
// a file's size obeys the size box's own range: otherwise the window would
// paint something other than what the file and glimra-render say.
QString refusal(const glimra::PictureRecipe& recipe, const ParameterBoxes& parameterBoxes, const QString& path)
{
    if (QString why =
            glimra::sizeRefusal(path, recipe.texts.size, QStringLiteral("glimra-render --from %1 -o FILE").arg(path));
        !why.isEmpty())
        return why;
    const auto& boxes = parameterBoxes.box;
    for (std::size_t k = 0; k < boxes.size(); ++k) {
        const std::string& text = recipe.texts.*glimra::kParameterNames[k].text;
        const QString key = QStringLiteral("glimra-") + QLatin1String(glimra::kParameterNames[k].name);
        const QString shown = QString::fromStdString(text);
        if (shown.toStdString() != text)
            return QStringLiteral(
                       "%1: the setting %2 is not UTF-8 text, which a box cannot hold exactly "
                       "(glimra-render --from %1 -o FILE paints it)")
                .arg(path, key);
        if (shown.size() > boxes[k]->maxLength())
            return QStringLiteral(
                       "%1: the setting %2 has %3 characters, more than the %4 a box holds "
                       "(glimra-render --from %1 -o FILE paints it)")
                .arg(path, key)
                .arg(shown.size())
                .arg(boxes[k]->maxLength());
    }
    return {};
}

}  // namespace

void PictureMenu::openFile(const QString& path)
{
    QString why;
    const std::optional<glimra::PictureRecipe> recipe = glimra::readRecipe(path, &why);
    // Held while it paints, when the file carries a formula.
    glimra::HeldFormula formula;
    QString problem;
    const glimra::Pattern* pattern = recipe ? glimra::recipePattern(*recipe, &formula, &problem) : nullptr;
    // The name as the messages show it: a file's name is anybody's text.
    const QString shown = glimra::shownText(path, 300);
    if (recipe && !pattern)
        why = QStringLiteral("%1: %2").arg(shown, problem);
    if (pattern)
        why = refusal(*recipe, boxes_, shown);
    if (!why.isEmpty()) {
        why = glimra::shownText(why, 1000);
        // A message that starts with the path keeps it as given.
        if (!why.startsWith(shown))
            why[0] = why[0].toUpper();
        complain_(QStringLiteral("Cannot open picture"), why);
        return;
    }
    // Exactly as typed, so that they read back as the same numbers.
    const glimra::PatternTexts before = boxes_.texts();
    boxes_.setTexts(recipe->texts);
    const glimra::PatternTexts held = boxes_.texts();
    for (const glimra::ParameterName& p : glimra::kParameterNames) {
        if (held.*p.text != recipe->texts.*p.text) {
            boxes_.setTexts(before);
            complain_(QStringLiteral("Cannot open picture"),
                      QStringLiteral("%1: the setting glimra-%2 does not fit its box exactly")
                          .arg(shown, QLatin1String(p.name)));
            return;
        }
    }
    if (formula)
        emit formulaOpened(QString::fromStdString(recipe->formula));
    session_.start(*pattern, held);
}
