// Pictures larger than the window: "Save large picture…" asks for a density
// and samples, tells the size (in pixels, and in centimetres for a print) and
// what the render will cost, and renders the place of the most recent render
// into a file in the background, while the window stays fully usable. The
// file is the one glimra-render --from would write of that place, byte for
// byte: both go through the same picture renderer.
#pragma once

#include "picture/renderer.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QProgressDialog;
class QTimer;
class QWidget;

class LargePicture : public QObject {
    Q_OBJECT
public:
    // The place of the most recent render; nothing before the first.
    using RecipeSource = std::function<std::optional<glimra::PictureRecipe>()>;
    // Tells the person why a save did not end in a file.
    using Complaint = std::function<void(const QString& title, const QString& text)>;

    // Saves in the background the places `recipe` gives, with `window` as the
    // parent of its dialogs.
    LargePicture(QWidget& window, RecipeSource recipe, Complaint complain);
    // Stops a running save and waits until its render has returned.
    ~LargePicture() override;

    QAction* saveAction = nullptr;  // "Save large picture…", Ctrl+Shift+S

    // What the dialog asks: density and samples, and where to write; nothing
    // when the person cancelled. Replaceable, so that nothing waits for a
    // person.
    struct Choice {
        int density = 4;
        int samples = 1;
        QString path;
    };
    using Chooser = std::function<std::optional<Choice>(const glimra::PictureRecipe& place)>;
    void setChooser(Chooser chooser) { choose_ = std::move(chooser); }

    // Starts a save of the most recent render's place; false when there is
    // none, or a save is already running.
    bool start(const Choice& choice);
    bool running() const { return job_ != nullptr; }
    // Asks the running save to stop; it leaves no file.
    void cancel();

signals:
    // A save has ended: written, or not (cancelled, refused, failed; `why`).
    // Once for every save started, from the event loop.
    void finished(bool written, const QString& why);

public slots:
    void save();

private:
    struct Save;
    void showProgress();
    // The render of `job` has returned.
    void done(const std::shared_ptr<Save>& job);

    QWidget& window_;
    RecipeSource recipe_;
    Complaint complain_;
    Chooser choose_;
    std::shared_ptr<Save> job_;
    QProgressDialog* progress_ = nullptr;
    QTimer* progressClock_ = nullptr;  // moves the progress dialog on
};
