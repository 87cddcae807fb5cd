// A window of its own for writing a formula: the text with line numbers and
// colours, a check of it as it is typed, Paint, starting points, and formula
// files that are never lost unsaved. It paints nothing itself: Paint hands a
// text that compiles to whoever listens, and that listener says when the
// picture it paints is this editor's.
//
// Every text it shows from outside (a formula, a file name, a compiler's
// message quoting either) is shown as plain text.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class PatternEditor : public QWidget {
    Q_OBJECT
public:
    explicit PatternEditor(QWidget* parent = nullptr);
    ~PatternEditor() override;

    // The formula as it is written now.
    QString text() const;

    // Puts a formula in. One from outside (a place, a PNG, the command line)
    // belongs to no file: unsaved changes are asked about first, and false
    // (with everything kept) when the person cancels; it then stands alone,
    // with nothing of the person's in it yet. Otherwise (a starting point) it
    // replaces the text as one edit that Undo takes back.
    bool setText(const QString& text, bool fromOutside);

    // The file the formula was opened from or saved to; empty when none.
    QString fileName() const { return fileName_; }
    bool isModified() const;

    // Reads a formula file into the editor (unsaved changes asked about
    // first); false, with the reason in the status line, when it is not read.
    bool openFile(const QString& path);
    // Writes the formula to `path` whole or not at all; false, with the
    // reason in the status line, when it is not written.
    bool saveFile(const QString& path);

    // Unsaved changes: asks whether to save them. True when there are none
    // left to lose (saved, discarded or none), false when the person
    // cancelled or the save failed. The main window asks this before it ends.
    bool maybeSave();

    // Where a formula starts: the nineteen built-ins, then the examples.
    struct Start {
        QString name;
        QString text;
        bool builtin;
    };
    static const QList<Start>& starts();
    // Replaces the text with a starting point's (one edit, undoable).
    void startFrom(int index);

    // The last check: empty when the formula compiles, else "line L,
    // column C: ...", and where that is in the text (a cursor position).
    QString message() const;
    int errorPosition() const { return errorPosition_; }
    QString status() const;
    bool isPainting() const { return painting_; }

    QPlainTextEdit* textArea() const { return edit_; }
    QAction* paintAction() const { return paintAction_; }

    // The dialogs, replaceable so that nothing has to wait for a person.
    // A chooser answers a file name, or nothing when the person cancelled.
    enum class Unsaved { Save, Discard, Cancel };
    using UnsavedQuestion = std::function<Unsaved(const QString& shownName)>;
    using SaveChooser = std::function<QString(const QString& suggested)>;
    using OpenChooser = std::function<QString()>;
    void setUnsavedQuestion(UnsavedQuestion ask) { askUnsaved_ = std::move(ask); }
    void setSaveChooser(SaveChooser chooser) { chooseSave_ = std::move(chooser); }
    void setOpenChooser(OpenChooser chooser) { chooseOpen_ = std::move(chooser); }

public slots:
    // Paint: the text, when it compiles, to paintRequested; otherwise the
    // message shows and the cursor goes to the place.
    void paint();
    // Whether the picture being painted is this editor's formula.
    void setPainting(bool painting);
    // Checks the text now rather than after the pause.
    void check();
    void open();
    bool save();
    bool saveAs();

signals:
    // A formula that compiles, exactly as written, to be painted.
    void paintRequested(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool compiles();
    void showStatus(const QString& text);
    void updateTitle();
    QString shownName() const;
    void markError();

    QPlainTextEdit* edit_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QMenu* startMenu_ = nullptr;
    QAction* paintAction_ = nullptr;
    QTimer* checkTimer_ = nullptr;
    QObject* highlighter_ = nullptr;  // the syntax colours, recoloured with the palette

    QString fileName_;
    QString fileStatus_;
    int errorPosition_ = -1;
    bool painting_ = false;

    UnsavedQuestion askUnsaved_;
    SaveChooser chooseSave_;
    OpenChooser chooseOpen_;
};
