// Places: the most recent render as one line of text (a glimra: address) to
// copy, and places pasted, dropped or given on the command line painted again.
// The program's one argument may also be a picture file or a formula file,
// which this hands on. Reached through shortcuts, the picture area's menu,
// drops and the command line: no control of its own.
//
// A place writes its texts into the boxes and starts a render of its pattern
// once the running renders have returned.
#pragma once

#include "render/frame.h"
#include "window/history.h"
#include "window/parameter_boxes.h"
#include "window/window_formulas.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QAction;
class QWidget;
class RenderSession;

class Places : public QObject {
    Q_OBJECT
public:
    Places(QWidget& window, ParameterBoxes boxes, RenderSession& session);

    QAction* copyPlaceAction = nullptr;   // "Copy place", Ctrl+L
    QAction* pastePlaceAction = nullptr;  // "Paste place", Ctrl+V

    // A message that says why something could not be done; replaceable so
    // that nothing has to wait for a person.
    using Complaint = std::function<void(const QString& title, const QString& text)>;
    void setComplaint(Complaint complaint) { complain_ = std::move(complaint); }

public slots:
    void copyPlace();
    void pastePlace();
    // A place as text: renders it, or says why it is none.
    bool openPlace(const QString& text);
    // The program's one optional argument: a place, a formula file
    // (NAME.glimra) or a picture file (a path or a file: address).
    void openArgument(const QString& argument);

    // A render begins: it is the place a copy carries.
    void renderStarts(const glimra::Pattern& pattern, const glimra::PatternTexts& texts);

signals:
    // A place brought a formula, which is painting now: for the pattern
    // editor to show.
    void formulaOpened(const QString& text);
    // The program was given a formula file to open.
    void formulaFileGiven(const QString& path);
    // The program was given a picture file to paint again from.
    void pictureFileGiven(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    ParameterBoxes boxes_;
    RenderSession& session_;
    std::optional<glimra::HistoryEntry> last_;  // the most recent render's start
    Complaint complain_;
};
