// What the window can do with its picture beyond painting it: save it with the
// settings that made it, copy it, and paint again from a saved picture. All of
// it is reached through the picture area's context menu, keyboard shortcuts
// and dropped files, never through a control of its own.
#pragma once

#include "picture/picture_file.h"
#include "window/parameter_boxes.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class Canvas;
class QAction;
class QImage;
class QMimeData;
class QSize;
class QWidget;
class RenderSession;

namespace glimra {
struct Pattern;
}

class PictureMenu : public QObject {
    Q_OBJECT
public:
    // Saves and copies what `canvas` shows, and paints again through `boxes`
    // and `session`; `window` is the parent of its dialogs.
    PictureMenu(QWidget& window, const Canvas& canvas, ParameterBoxes boxes, RenderSession& session);

    QAction* saveAction = nullptr;  // "Save picture…", Ctrl+S
    QAction* copyAction = nullptr;  // "Copy picture", Ctrl+Shift+C
    QAction* openAction = nullptr;  // "Open picture…", Ctrl+O

    // The dialogs, replaceable so that nothing has to wait for a person.
    // A chooser answers a file name, or nothing when the person cancelled.
    using SaveChooser = std::function<QString(const QString& suggested)>;
    using OpenChooser = std::function<QString()>;
    using Complaint = std::function<void(const QString& title, const QString& text)>;
    void setSaveChooser(SaveChooser chooser) { chooseSave_ = std::move(chooser); }
    void setOpenChooser(OpenChooser chooser) { chooseOpen_ = std::move(chooser); }
    void setComplaint(Complaint complaint) { complain_ = std::move(complaint); }
    // Tells the person what went wrong, through the complaint set.
    void complain(const QString& title, const QString& text) const { complain_(title, text); }
    // On a screen denser than the window's pixels, which picture to save:
    // true for the screen's resolution, false for the window's own, nothing
    // when the person cancelled.
    using ResolutionChooser = std::function<std::optional<bool>(QSize window, QSize screen)>;
    void setResolutionChooser(ResolutionChooser chooser) { chooseResolution_ = std::move(chooser); }

    // Every render tells what it started with: that is what a saved picture
    // records, whatever the boxes say later.
    void renderStarts(const glimra::Pattern& pattern, const glimra::PatternTexts& texts);

    // The picture as shown, with what made its last render; nothing before
    // the first render or after the Canvas was cleared.
    std::optional<glimra::PictureRecipe> recipe() const { return recipe_; }
    bool hasPicture() const;
    QImage picture() const;
    // The picture at one pixel per window pixel: from a denser picture the
    // last pixel of each pixel's block, the one at the window pixel's own
    // counters.
    QImage windowPicture() const;
    // What a file records as `recipe` must be that picture: where the shown
    // one is cut by the window's lower edge, the rows below it are rendered
    // (the shown part stays as shown). `image` is the shown picture at the
    // recipe's density.
    QImage wholePicture(const QImage& image, const glimra::PictureRecipe& recipe) const;
    // PATTERN-SIZE.png in the pictures folder.
    QString suggestedPath() const;

    // The one local file a drag carries, if it carries exactly that.
    static std::optional<QString> droppedFile(const QMimeData* data);
    // Opens the file a drop carries once the drop is over (the dragging
    // program waits for its answer); false when the drop is not for us.
    bool takeDrop(const QMimeData* data);

public slots:
    void save();
    void copy();
    void open();
    // Reads the settings a picture carries into the boxes and renders its
    // pattern from them, as a click on its button would; a file without them changes nothing and says why.
    void openFile(const QString& path);

signals:
    // A picture file brought a formula, which is painting now: for the
    // pattern editor to show.
    void formulaOpened(const QString& text);

private:
    QWidget& window_;
    const Canvas& canvas_;
    ParameterBoxes boxes_;
    RenderSession& session_;
    std::optional<glimra::PictureRecipe> recipe_;
    SaveChooser chooseSave_;
    OpenChooser chooseOpen_;
    Complaint complain_;
    ResolutionChooser chooseResolution_;
};
