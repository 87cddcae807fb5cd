// Exploring by pointing: zoom and centre with the wheel, the middle button,
// a Shift-dragged rectangle and the keyboard; going back and forward through
// the renders; places copied, pasted, dropped and given on the command line;
// and the render's progress in the window's title. Everything is reached
// through the mouse, shortcuts, the picture area's context menu and the
// command line: no control of its own.
//
// A navigation writes new texts into the boxes and then starts a render as a
// click on the pattern button of the most recent render would, but never
// inside a running render: the render session's waiting start halts the
// running renders and starts the new one once all of them have returned.
#pragma once

#include "render/frame.h"
#include "place/navigate.h"
#include "window/history.h"
#include "window/window_formulas.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QRubberBand;
class QWidget;
class RenderSession;
class qTac;

namespace glimra {
// Text from outside (a place, a file name, a file's settings, the clipboard)
// as it may be shown: at most `limit` characters, control characters written
// out as \xNN. Shown only as plain text.
QString shownText(const QString& text, qsizetype limit);
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

class Navigation : public QObject {
    Q_OBJECT
public:
    Navigation(qTac& window, RenderSession& session);
    ~Navigation() override;

    static constexpr int kHistoryLimit = 1000;

    QAction* zoomInAction = nullptr;      // "Zoom in", Ctrl++
    QAction* zoomOutAction = nullptr;     // "Zoom out", Ctrl+-
    QAction* moveLeftAction = nullptr;    // "Move left", Ctrl+Left
    QAction* moveRightAction = nullptr;   // "Move right", Ctrl+Right
    QAction* moveUpAction = nullptr;      // "Move up", Ctrl+Up
    QAction* moveDownAction = nullptr;    // "Move down", Ctrl+Down
    QAction* backAction = nullptr;        // "Back", Alt+Left
    QAction* forwardAction = nullptr;     // "Forward", Alt+Right
    QAction* copyPlaceAction = nullptr;   // "Copy place", Ctrl+L
    QAction* pastePlaceAction = nullptr;  // "Paste place", Ctrl+V

    using Entry = glimra::HistoryEntry;
    const std::vector<Entry>& history() const { return history_.entries(); }
    int historyIndex() const { return history_.current(); }

    // The place of the most recent render; empty before the first.
    QString currentPlace() const;

    // A message that says why something could not be done; replaceable so
    // that nothing has to wait for a person.
    using Complaint = std::function<void(const QString& title, const QString& text)>;
    void setComplaint(Complaint complaint) { complain_ = std::move(complaint); }

    // The entries this adds to the picture area's context menu opened at a
    // point of the window.
    void addToMenu(QMenu& menu, const QPoint& local);

    // Whether a start is waiting for the running renders to return.
    bool startPending() const;

public slots:
    // Each returns whether it changed the boxes and asked for a render. The
    // points are positions in the window.
    bool zoomAt(const QPoint& local, int notches);
    bool zoomCentre(int notches);
    bool centreAt(const QPoint& local);
    bool zoomToRectangle(const QPoint& a, const QPoint& b);
    bool move(int dx, int dy);
    bool back();
    bool forward();
    void copyPlace();
    void pastePlace();
    // A place as text: renders it, or says why it is none.
    bool openPlace(const QString& text);
    // The program's one optional argument: a place, or a picture file (a path
    // or a file: address).
    void openArgument(const QString& argument);

    // What the window's renders tell.
    void renderStarts(const glimra::Pattern& pattern, const glimra::PatternTexts& texts, int level, quint64 ticket);
    void columnDone(int level, long index);
    void renderEnded(const glimra::RenderResult& result);

signals:
    // A place brought a formula, which is painting now: for the pattern
    // editor to show.
    void formulaOpened(const QString& text);
    // The program was given a formula file (NAME.glimra) to open.
    void formulaFileGiven(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Running {
        glimra::HeldFormula formula;  // holds the pattern of a formula while it paints
        QString name;
        long columns = 0, rows = 0;
        int percent = -1;
        QElapsedTimer clock;
    };

    const glimra::Pattern* lastPattern() const;
    std::optional<glimra::PicturePoint> pixelAt(const QPoint& local) const;
    bool onPictureArea(const QPoint& local) const;
    bool apply(const glimra::NavigationStep& step);
    bool goTo(int index);
    void request(const glimra::Pattern& pattern, bool fromHistory);
    void updateActions();
    void showTitle(const QString& text);

    qTac& window_;
    RenderSession& session_;
    glimra::History history_{kHistoryLimit};
    std::optional<Entry> last_;           // the most recent render's start
    glimra::HeldFormula lastFormula_;     // last_'s pattern, when a formula
    glimra::HeldFormula waitingFormula_;  // the waiting start's, when a formula

    quint64 waiting_ = 0;  // the session's ticket for the start asked for last
    bool waitingFromHistory_ = false;

    int wheelRemainder_ = 0;  // eighths of a degree short of a notch
    QRubberBand* band_ = nullptr;
    QPoint bandOrigin_;
    std::vector<Running> running_;
    Complaint complain_;
};
