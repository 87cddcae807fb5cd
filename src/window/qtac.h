// The main window qTac: every control, every handler, and the Canvas the
// patterns paint on.
//
// Controls carry the names of the design (`Label4`, `TextThree`, `CMD(3)` as
// object name, `CMD[3]` as member) so that handlers read like the behaviour
// they implement. Handlers are public: the window's own signals call them, and
// so can a test or a benchmark that wants to act exactly as a click would.
#pragma once

#include "patterns/patterns.h"
#include "window/canvas.h"
#include "window/controls.h"
#include "window/parameter_boxes.h"
#include "window/render_session.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class BackForward;
class PatternEditor;
class QAction;
class LargePicture;
class PictureAreaMenu;
class PictureMenu;
class Places;
class Pointing;
class TitleProgress;
class QPushButton;
class QTimer;

class qTac : public QWidget {
    Q_OBJECT
public:
    explicit qTac(QWidget* parent = nullptr);
    ~qTac() override;

    static constexpr int kClientWidth = 1272;
    static constexpr int kClientHeight = 1016;
    static constexpr int kMaxNesting = RenderSession::kMaxNesting;
    static inline const QString kWebAddress = QStringLiteral("https://glimra.example.org/");

    // Labels
    ClickLabel* Label1 = nullptr;   // "x": exit
    ClickLabel* Label2 = nullptr;   // "exit"
    ClickLabel* Label3 = nullptr;   // black panel behind the parameter controls
    ClickLabel* Label4 = nullptr;   // "<": exit
    ClickLabel* Label5 = nullptr;   // title
    ClickLabel* Label6 = nullptr;   // version
    ClickLabel* Label7 = nullptr;   // "-": minimize
    ClickLabel* Label8 = nullptr;   // "OOM": zoom doubled
    ClickLabel* Label10 = nullptr;  // black panel behind the pattern buttons
    ClickLabel* Label13 = nullptr;  // bar along the bottom edge
    ClickLabel* Label17 = nullptr;  // "X": zoom halved; its text colour is the highlight
    std::array<ClickLabel*, 3> Label9{};

    // Parameter boxes
    TextBox* TextOne = nullptr;    // horizontal position
    TextBox* TextTwo = nullptr;    // vertical position
    TextBox* TextThree = nullptr;  // size
    TextBox* TextFour = nullptr;   // zoom
    TextBox* Textfive = nullptr;   // brightness

    // Buttons
    QPushButton* Command1 = nullptr;  // web address
    QPushButton* Command3 = nullptr;  // reset
    QPushButton* Command4 = nullptr;  // large preset
    QPushButton* cmd1 = nullptr;      // small preset
    QPushButton* cmdb = nullptr;      // medium preset
    QPushButton* cmdstop = nullptr;   // halt
    std::array<QPushButton*, glimra::kPatternCount> CMD{};
    std::array<QPushButton*, 4> cmdXX{};
    std::array<QPushButton*, 4> cmdblue{};
    std::array<QPushButton*, 2> horz{};
    std::array<QPushButton*, 2> verty{};

    QTimer* Timer1 = nullptr;

    // The five box texts under the core's names, and writing them back (the
    // way the window's features change the boxes: a render started
    // afterwards reads exactly these texts).
    glimra::PatternTexts texts() const { return parameterBoxes().texts(); }
    void setTexts(const glimra::PatternTexts& texts) { parameterBoxes().setTexts(texts); }
    ParameterBoxes parameterBoxes() const { return {{TextOne, TextTwo, TextThree, TextFour, Textfive}}; }

    // The renders on the Canvas: starting, nesting, halting, and what they
    // tell while they run.
    RenderSession& session() const { return *session_; }

private:
    RenderSession* session_ = nullptr;  // before HaltFlag, which reads it

public:
    // "p" asks the running render (and every render it interrupted) to stop:
    // the session's halt request under its design name.
    HaltText HaltFlag{session_};

    // The picture, the size of the client area. It survives covering and
    // minimizing; renders paint into it and the window shows it.
    const QImage& canvas() const { return canvas_->image(); }
    Canvas* canvasWidget() const { return canvas_; }

    // How many renders are running, nested inside one another.
    int renderDepth() const { return session_->depth(); }

    // How the most recent render to end ended; nothing before the first.
    std::optional<glimra::Outcome> lastOutcome() const { return session_->lastOutcome(); }

    // Starts the web browser on an address; false when it cannot be started.
    using BrowserStarter = std::function<bool(const QString& address)>;
    void setBrowserStarter(BrowserStarter starter) { startBrowser_ = std::move(starter); }

    // Ends the program. The default never returns; see endProgramAtOnce().
    void setProgramEnder(std::function<void()> ender) { endProgram_ = std::move(ender); }

    // Called after every column a render paints, before it yields: the nesting
    // level of that render (1 for the outermost) and the 0-based column number.
    // A plain function beside the session's signal, replaceable in one line by
    // whoever watches a render.
    std::function<void(int level, long column)> columnPainted;

    // Saving, copying and opening pictures: the picture area's context menu,
    // its shortcuts and dropped files.
    PictureMenu* pictures() const { return pictures_; }
    // Pictures larger than the window, saved in the background.
    LargePicture* largePicture() const { return largePicture_; }

    // Zooming and moving by pointing at the picture.
    Pointing* pointing() const { return pointing_; }
    // Back and forward through the renders gone through.
    BackForward* backForward() const { return backForward_; }
    // Places copied, pasted, dropped and given on the command line.
    Places* places() const { return places_; }
    // The picture area's context menu.
    PictureAreaMenu* pictureAreaMenu() const { return pictureAreaMenu_; }

    // The pattern editor, a window of its own: its formula paints here as a
    // pattern button's pattern does. Opened by editorAction ("Pattern
    // editor…", Ctrl+E, in the picture area's menu), by a place or a picture
    // that carries a formula, and by a formula file given to the program.
    PatternEditor* patternEditor() const { return editor_; }
    QAction* editorAction = nullptr;
    // Paints a formula's text with the boxes' values, as a click on a pattern
    // button paints its pattern; false (and nothing painted) when the text is
    // refused.
    bool paintFormula(const QString& text);
    // Opens a formula file in the editor and paints it.
    bool openFormulaFile(const QString& path);
    // Shows the editor, beside the window the first time where there is room.
    void showEditor();

    // Colours of a control as the design speaks of them: the back colour and
    // the text colour, whatever kind of control it is.
    static QColor backColour(const QWidget* control);
    static QColor textColour(const QWidget* control);
    static void setBackColour(QWidget* control, const QColor& colour);
    static void setTextColour(QWidget* control, const QColor& colour);

public slots:
    // Window, exit and minimize labels, timer, web address
    void Form_Activate();
    void Timer1_Timer();
    void Label1_MouseMove();
    void Label4_MouseMove();
    void Label1_Click();
    void Label2_Click();
    void Label4_Click();
    void Label7_Click();
    void Command1_Click();

    // Pattern buttons and halting
    void CMD_Click(qint16 Index);
    void cmdstop_Click();

    // Presets and adjusters
    void cmd1_Click();
    void cmdb_Click();
    void Command4_Click();
    void Command3_Click();
    void cmdblue_Click(qint16 Index);
    void horz_Click(qint16 Index);
    void verty_Click(qint16 Index);
    void Label17_Click();
    void Label8_Click();
    void TextThree_LostFocus();

    // Zoom and move steps
    void cmdXX_Click(qint16 Index);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void connectHandlers();
    void connectFeatures();
    // Ends the program, once an edited formula is saved or given up.
    void endAfterAsking();
    void highlight(const glimra::Pattern& pattern);
    void clearCanvas();
    void connectParameterHandlers();

    Canvas* canvas_ = nullptr;
    PictureMenu* pictures_ = nullptr;
    LargePicture* largePicture_ = nullptr;
    Pointing* pointing_ = nullptr;
    BackForward* backForward_ = nullptr;
    Places* places_ = nullptr;
    TitleProgress* titleProgress_ = nullptr;
    PictureAreaMenu* pictureAreaMenu_ = nullptr;
    PatternEditor* editor_ = nullptr;
    bool editorPlaced_ = false;
    QColor savedExitColour_{0, 0, 0};
    BrowserStarter startBrowser_;
    std::function<void()> endProgram_;
    bool dragging_ = false;
    QPoint dragOffset_;
    QMetaObject::Connection focusWatch_;  // the window's focus, for the size box
};

// Ends the process at once, also from inside a render: the streams are flushed
// and nothing else runs, no destructor, no event, no further column.
[[noreturn]] void endProgramAtOnce();

// Opens an address in the desktop's default browser without waiting for it.
bool startDesktopBrowser(const QString& address);
