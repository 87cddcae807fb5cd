#include "window/qtac.h"

#include "render/frame.h"
#include "window/accessibility.h"
#include "window/back_forward.h"
#include "window/dense_scan.h"
#include "window/large_picture.h"
#include "window/pattern_editor.h"
#include "window/picture_area_menu.h"
#include "window/picture_menu.h"
#include "window/places.h"
#include "window/pointing.h"
#include "window/title_progress.h"
#include "window/window_action.h"
#include "window/window_formulas.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const QColor kWindowColour(glimra::redOf(glimra::kBackground), glimra::greenOf(glimra::kBackground),
                           glimra::blueOf(glimra::kBackground));
const QColor kPatternGrey(128, 128, 128);

}  // namespace

// ---------------------------------------------------------------------------
// The window

qTac::qTac(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), startBrowser_(startDesktopBrowser),
      endProgram_([] { endProgramAtOnce(); })
{
    setObjectName(QStringLiteral("qTac"));
    setWindowTitle(QStringLiteral("Color Glimra"));
    setFixedSize(kClientWidth, kClientHeight);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, kWindowColour);
    pal.setColor(QPalette::WindowText, kWindowColour);
    setPalette(pal);
    // The Canvas covers the whole client area.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFont(glimra::windowFont());
    canvas_ = new Canvas(this, QSize(kClientWidth, kClientHeight), kWindowColour);

    session_ = new RenderSession(*canvas_, this);
    buildControls();
    connectHandlers();
    pictures_ = new PictureMenu(*this, *canvas_, parameterBoxes(), *session_);
    largePicture_ = new LargePicture(
        *this, [this] { return pictures_->recipe(); },
        [this](const QString& title, const QString& text) { pictures_->complain(title, text); });
    pointing_ = new Pointing(*this, *canvas_, parameterBoxes(), *session_);
    backForward_ = new BackForward(*this, parameterBoxes(), *session_);
    places_ = new Places(*this, parameterBoxes(), *session_);
    titleProgress_ = new TitleProgress(*this);
    // A window of its own, not one of the window's children: the design's
    // controls are all the window holds.
    editor_ = new PatternEditor(nullptr);
    editorAction = windowAction(*this, this, "editorAction", QStringLiteral("Pattern editor\u2026"),
                                {QKeySequence(Qt::CTRL | Qt::Key_E)}, &qTac::showEditor);
    pictureAreaMenu_ = new PictureAreaMenu(
        *this, *canvas_, {*pictures_, *largePicture_, editorAction, *pointing_, *backForward_, *places_});
    connectFeatures();
    setAcceptDrops(true);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &qTac::Timer1_Timer);
    Timer1->start();

    glimra::makeAccessible(*this);
    TextThree->setFocus();
}

qTac::~qTac()
{
    delete editor_;
    // The controls, taken down after this, move the focus as they go.
    disconnect(focusWatch_);
}

void qTac::buildControls()
{
    struct Focusable {
        int tab;
        QWidget* widget;
    };
    std::vector<Focusable> focusOrder;
    for (const glimra::ControlDesign& d : glimra::windowDesign(*this)) {
        QWidget* control = glimra::buildControl(this, d);
        if (control->focusPolicy() != Qt::NoFocus)
            focusOrder.push_back({d.tab, control});
    }

    // The panels lie behind everything drawn on them, the Canvas behind all.
    Label3->lower();
    Label10->lower();
    Label13->lower();
    canvas_->lower();

    std::stable_sort(focusOrder.begin(), focusOrder.end(),
                     [](const Focusable& a, const Focusable& b) { return a.tab < b.tab; });
    for (std::size_t k = 1; k < focusOrder.size(); ++k)
        setTabOrder(focusOrder[k - 1].widget, focusOrder[k].widget);
}

void qTac::connectHandlers()
{
    for (ClickLabel* l : {Label1, Label2, Label4, Label7})
        l->setClickable(true);
    Label1->setMouseTracking(true);
    Label4->setMouseTracking(true);
    connect(Label1, &ClickLabel::mouseMoved, this, &qTac::Label1_MouseMove);
    connect(Label4, &ClickLabel::mouseMoved, this, &qTac::Label4_MouseMove);
    connect(Label1, &ClickLabel::clicked, this, &qTac::Label1_Click);
    connect(Label2, &ClickLabel::clicked, this, &qTac::Label2_Click);
    connect(Label4, &ClickLabel::clicked, this, &qTac::Label4_Click);
    connect(Label7, &ClickLabel::clicked, this, &qTac::Label7_Click);
    connect(Command1, &QPushButton::clicked, this, &qTac::Command1_Click);

    for (std::size_t k = 0; k < CMD.size(); ++k)
        connect(CMD[k], &QPushButton::clicked, this, [this, k] { CMD_Click(qint16(k)); });
    connect(cmdstop, &QPushButton::clicked, this, &qTac::cmdstop_Click);

    connectParameterHandlers();
}

void qTac::connectFeatures()
{
    // Who hears of the renders, in the order they hear: the pattern buttons
    // first (they show the new pattern before anything paints), then what is
    // remembered of the picture, then pointing, the history, the place and
    // the title.
    connect(session_, &RenderSession::started, this, &qTac::highlight);
    connect(session_, &RenderSession::started, pictures_, &PictureMenu::renderStarts);
    connect(session_, &RenderSession::started, pointing_, &Pointing::renderStarts);
    connect(session_, &RenderSession::started, backForward_, &BackForward::renderStarts);
    connect(session_, &RenderSession::started, places_, &Places::renderStarts);
    connect(session_, &RenderSession::started, titleProgress_, &TitleProgress::renderStarts);
    connect(session_, &RenderSession::columnPainted, titleProgress_, &TitleProgress::columnDone);
    connect(session_, &RenderSession::columnPainted, this, [this](int level, long column) {
        // A copy: the observer may replace itself.
        if (const auto observer = columnPainted)
            observer(level, column);
    });
    connect(session_, &RenderSession::ended, titleProgress_, &TitleProgress::renderEnded);

    // The pattern editor paints through the session like a button, shows
    // while its own formula paints, and opens what places, picture files
    // and the program's argument bring.
    connect(editor_, &PatternEditor::paintRequested, this, &qTac::paintFormula);
    connect(session_, &RenderSession::started, editor_, [this](const glimra::Pattern& pattern) {
        const std::string text = glimra::formulaText(pattern);
        editor_->setPainting(!text.empty() && QString::fromStdString(text) == editor_->text());
    });
    connect(session_, &RenderSession::ended, editor_, [this] {
        if (session_->depth() == 0)
            editor_->setPainting(false);
    });
    auto showFormula = [this](const QString& text) {
        if (editor_->text() != text)
            editor_->setText(text, true);
        showEditor();
    };
    connect(places_, &Places::formulaOpened, editor_, showFormula);
    connect(pictures_, &PictureMenu::formulaOpened, editor_, showFormula);
    connect(places_, &Places::formulaFileGiven, this, &qTac::openFormulaFile);
    connect(places_, &Places::pictureFileGiven, pictures_, &PictureMenu::openFile);
}

bool qTac::paintFormula(const QString& text)
{
    QString why;
    // Held until the render returns: nested renders and the history point
    // at its pattern meanwhile.
    const glimra::HeldFormula formula = glimra::windowFormula(text.toStdString(), &why);
    if (!formula)
        return false;
    session_->start(formula->pattern(), texts());
    return true;
}

bool qTac::openFormulaFile(const QString& path)
{
    // Shown first, so that a file it cannot open says why there.
    showEditor();
    if (!editor_->openFile(path))
        return false;
    // A wrong formula paints nothing; the editor shows where it is wrong.
    editor_->paint();
    return true;
}

void qTac::showEditor()
{
    // The first time, beside the window where the screen has room, so that
    // the formula and its picture are seen together.
    if (!editorPlaced_ && !editor_->isVisible()) {
        editorPlaced_ = true;
        const QRect main = window()->frameGeometry();
        const QScreen* shown = window()->screen();
        const QRect area = shown ? shown->availableGeometry() : QRect();
        const QSize size = editor_->size();
        if (main.right() + 1 + size.width() <= area.right())
            editor_->move(main.right() + 1, main.top());
        else if (main.left() - size.width() >= area.left())
            editor_->move(main.left() - size.width(), main.top());
        else  // over the picture area's far side rather than the controls
            editor_->move(area.right() + 1 - size.width(), main.top());
    }
    editor_->show();
    editor_->raise();
    editor_->activateWindow();
    // Opened with the program (a formula file or place as its argument), the
    // window may be mapped after the editor: the editor comes up again then.
    if (window()->windowHandle() && !window()->windowHandle()->isExposed())
        QTimer::singleShot(500, editor_, [e = editor_] {
            e->raise();
            e->activateWindow();
        });
}

void qTac::endAfterAsking()
{
    if (editor_->isModified() && !editor_->maybeSave())
        return;
    endProgram_();
}

// --- colours ---------------------------------------------------------------

QColor qTac::backColour(const QWidget* control) { return control->palette().color(glimra::backRole(control)); }
QColor qTac::textColour(const QWidget* control) { return control->palette().color(glimra::textRole(control)); }

void qTac::setBackColour(QWidget* control, const QColor& colour)
{
    QPalette pal = control->palette();
    pal.setColor(glimra::backRole(control), colour);
    control->setPalette(pal);
}

void qTac::setTextColour(QWidget* control, const QColor& colour)
{
    QPalette pal = control->palette();
    pal.setColor(glimra::textRole(control), colour);
    control->setPalette(pal);
}

// --- window, labels, timer, web address -------------------------------------

void qTac::Form_Activate()
{
    savedExitColour_ = textColour(Label1);
    setTextColour(Label1, QColor(0, 0, 255));
}

void qTac::Timer1_Timer()
{
    setTextColour(Label4, QColor(192, 192, 192));
    setTextColour(Label1, savedExitColour_);
}

void qTac::Label1_MouseMove() { setTextColour(Label1, QColor(0, 128, 255)); }
void qTac::Label4_MouseMove() { setTextColour(Label4, QColor(255, 255, 255)); }

void qTac::Label1_Click() { endAfterAsking(); }
void qTac::Label2_Click() { endAfterAsking(); }
void qTac::Label4_Click() { endAfterAsking(); }

void qTac::Label7_Click() { window()->setWindowState(window()->windowState() | Qt::WindowMinimized); }

void qTac::Command1_Click()
{
    if (startBrowser_ && startBrowser_(kWebAddress))
        return;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Cannot find Browser:"),
                    QStringLiteral("This function requires internet explorer (iexplore.exe) to be in the "
                                   "directory c:\\Program Files\\  "),
                    QMessageBox::Ok, this);
    box.exec();
}

// --- pattern buttons and halting ---------------------------------------------

void qTac::CMD_Click(qint16 Index)
{
    if (Index < 0 || Index >= qint16(CMD.size()))
        return;
    session_->start(*glimra::patternTable()[std::size_t(Index)], texts());
}

void qTac::highlight(const glimra::Pattern& pattern)
{
    for (QPushButton* b : CMD)
        setBackColour(b, kPatternGrey);
    // A pattern that is none of the buttons leaves them all grey.
    const auto table = glimra::patternTable();
    for (std::size_t k = 0; k < table.size() && k < CMD.size(); ++k)
        if (std::strcmp(table[k]->name, pattern.name) == 0)
            setBackColour(CMD[k], textColour(Label17));
    // The render's first chance to repaint comes only after its first column.
    for (QPushButton* b : CMD)
        b->repaint();
}

void qTac::cmdstop_Click() { session_->halt(); }

void qTac::clearCanvas() { canvas_->clear(); }

// --- window events -------------------------------------------------------------

bool qTac::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    // The window may be one that holds this client area (see ScreenFit).
    QWindow* const shown = window()->windowHandle();
    if (event->type() == QEvent::Show && shown && !focusWatch_)
        focusWatch_ = connect(shown, &QWindow::focusObjectChanged, TextThree, &TextBox::focusMovedInWindow);
    return QWidget::event(event);
}

void qTac::closeEvent(QCloseEvent* event)
{
    // Closed by the system in the middle of a render: end as the exit labels
    // do, instead of finishing the picture in a window nobody can see.
    if (session_->depth() > 0)
        endProgram_();
    event->accept();
}

void qTac::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // The window has no title bar: its background is the handle to move it.
    if (window()->windowHandle() && window()->windowHandle()->startSystemMove())
        return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void qTac::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_)
        window()->move(event->globalPosition().toPoint() - dragOffset_);
}

void qTac::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
}

void qTac::contextMenuEvent(QContextMenuEvent* event)
{
    if (!pictureAreaMenu_->show(event->pos(), event->globalPos()))
        event->ignore();
}

void qTac::dragEnterEvent(QDragEnterEvent* event)
{
    if (PictureMenu::droppedFile(event->mimeData()))
        event->acceptProposedAction();
}

void qTac::dropEvent(QDropEvent* event)
{
    if (pictures_->takeDrop(event->mimeData()))
        event->acceptProposedAction();
}

// ---------------------------------------------------------------------------

void endProgramAtOnce()
{
    std::fflush(nullptr);
    std::_Exit(0);
}

bool startDesktopBrowser(const QString& address)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {address});
}
