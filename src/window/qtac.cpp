#include "window/qtac.h"

#include "patterns/patterns.h"
#include "render/frame.h"
#include "version.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QFont>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kNone = -1;  // no colour of its own: transparent back, default text

const QColor kWindowColour(64, 64, 64);
const QColor kPatternGrey(128, 128, 128);

// The screen is refreshed at most this often during a render; painting every
// column would cost more than computing it.
constexpr qint64 kRefreshMs = 30;

struct FontChoice {
    const char* face = nullptr;  // null: the window's own font
    double points = 0;
    bool bold = false;
};

enum class Kind { Button, Label, TextBox };

struct Design {
    const char* name;
    Kind kind;
    const char* caption;
    int left, top, width, height;
    int back;  // 0xRRGGBB or kNone
    int text;  // 0xRRGGBB or kNone
    FontChoice font;
    const char* tip;
    int tab;   // focus order; meaningful for buttons and boxes only
};

constexpr FontChoice kDefault{};

// Every control but the pattern buttons, in design order.
const Design kDesign[] = {
    {"Label4", Kind::Label, "<", 8, 4, 17, 17, 0x404040, 0xff0000, {"MS Sans Serif", 12, true}, "  Exit  ", 46},
    {"Label2", Kind::Label, "exit", 24, 8, 33, 17, kNone, 0xc00000, kDefault, nullptr, 47},
    {"TextFour", Kind::TextBox, "1", 76, 5, 273, 24, 0x402000, 0xff8040, {"Verdana", 9.75, true},
     "  Set the Xoom to a frcation to xoom into the quorbel,  ", 16},
    {"Label17", Kind::Label, "X", 356, 4, 20, 25, 0x404040, 0xff8040, {"Verdana", 18, true}, nullptr, 20},
    {"Label8", Kind::Label, "OOM", 376, 8, 41, 17, 0x404040, 0xff8040, {"Verdana", 11.25, true}, nullptr, 17},
    {"Label5", Kind::Label, "GLIMRA QUORBEL", 568, 8, 223, 25, kNone, 0x808080, {"Verdana", 8.25, true}, nullptr, 23},
    {"Label6", Kind::Label, "VERSION   " GLIMRA_VERSION, 832, 8, 167, 25, kNone, 0x808080, {"Verdana", 8.25, true},
     nullptr, 35},
    {"Command1", Kind::Button, nullptr /* the web address */, 992, 8, 193, 22, 0xffbf00, kNone,
     {"Verdana", 8.25, false}, nullptr, 52},
    {"Label7", Kind::Label, "-", 1240, 0, 17, 25, 0x404040, 0x8080ff, {"MS Sans Serif", 13.5, true}, "minimize", 36},
    {"Label1", Kind::Label, "x", 1256, 0, 25, 33, 0x404040, 0x8080ff, {"MS Sans Serif", 13.5, true}, "exit", 14},
    // The second step button sits at 74 2/3 in the design: the nearest pixel.
    {"cmdXX(0)", Kind::Button, "<", 16, 36, 60, 21, 0xffc080, kNone, kDefault, "Log Xoom", 37},
    {"cmdXX(1)", Kind::Button, ">", 75, 36, 60, 21, 0xffc080, kNone, kDefault, "Log Xoom", 38},
    {"Label3", Kind::Label, "", 8, 64, 137, 208, 0x000000, kNone, kDefault, nullptr, 15},
    {"cmdXX(3)", Kind::Button, "<<", 16, 72, 60, 20, 0xffaf00, kNone, kDefault, "Move and Xoom", 54},
    {"cmdXX(2)", Kind::Button, ">>", 76, 72, 60, 20, 0xffaf00, kNone, kDefault, "Xoom and Move", 55},
    {"cmd1", Kind::Button, "S", 16, 94, 24, 22, 0xc0c000, kNone, kDefault, "  Small  ", 31},
    {"cmdb", Kind::Button, "M", 40, 94, 36, 25, 0xffff00, kNone, {"MS Sans Serif", 9.75, true}, "  Medium  ", 32},
    {"Command4", Kind::Button, "L", 76, 94, 60, 33, 0xffff80, kNone, {"MS Sans Serif", 18, true}, "  Large  ", 33},
    {"TextThree", Kind::TextBox, "150", 16, 120, 59, 19, 0x402000, 0xff8040, kDefault, "Size of image", 0},
    {"Label9(1)", Kind::Label, "side", 96, 126, 41, 17, kNone, 0xffffff, kDefault, nullptr, 44},
    {"Label9(2)", Kind::Label, "zero point", 16, 144, 65, 17, kNone, 0xffffff, kDefault, nullptr, 45},
    {"verty(1)", Kind::Button, "^", 88, 150, 49, 26, 0xff8000, kNone, {"Verdana", 14.25, true}, nullptr, 40},
    {"cmdblue(0)", Kind::Button, "x", 16, 160, 36, 20, 0xff8080, kNone, kDefault, nullptr, 48},
    {"cmdblue(1)", Kind::Button, "/", 52, 160, 36, 20, 0xff8080, kNone, kDefault, nullptr, 49},
    {"verty(0)", Kind::Button, "V", 88, 176, 49, 26, 0xff8000, kNone, {"Courier New", 14.25, true}, nullptr, 39},
    {"TextTwo", Kind::TextBox, "1", 16, 180, 73, 19, 0x400000, 0xff8080, kDefault, "Move image up or down", 1},
    {"TextOne", Kind::TextBox, "1", 16, 200, 73, 19, 0x400000, 0xff8080, kDefault, "Move image left or right", 2},
    {"horz(1)", Kind::Button, "<", 88, 202, 25, 36, 0xff8000, kNone, kDefault, nullptr, 42},
    {"horz(0)", Kind::Button, ">", 112, 202, 25, 36, 0xff8000, kNone, kDefault, nullptr, 41},
    {"cmdblue(2)", Kind::Button, "x", 16, 218, 36, 20, 0xff8080, kNone, kDefault, nullptr, 50},
    {"cmdblue(3)", Kind::Button, "/", 52, 218, 36, 20, 0xff8080, kNone, kDefault, nullptr, 51},
    {"Textfive", Kind::TextBox, "150", 80, 248, 57, 19, 0x402000, 0xff8040, kDefault, "Vary the brightness of colour",
     3},
    {"Label9(0)", Kind::Label, "brightness", 16, 250, 65, 17, kNone, 0xffffff, kDefault, nullptr, 18},
    {"Command3", Kind::Button, "reset", 8, 280, 65, 25, 0xc04000, kNone, {"Verdana", 9.75, true}, nullptr, 4},
    {"cmdstop", Kind::Button, "halt !", 80, 280, 65, 25, 0xff0000, kNone, {"Verdana", 9.75, true}, nullptr, 24},
    {"Label10", Kind::Label, "", 8, 312, 137, 773, 0x000000, kNone, kDefault, nullptr, 43},
    {"Label13", Kind::Label, "Label13", 0, 992, 1273, 33, 0x000000, kNone, kDefault, nullptr, 19},
};

const int kPatternTabs[19] = {5, 6, 7, 8, 9, 10, 11, 12, 13, 21, 22, 25, 26, 27, 28, 29, 30, 34, 53};
const FontChoice kPatternFont{"Verdana", 12, true};

QColor colourOf(int rgb) { return QColor((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff); }

// Positions are pixels, so sizes are taken at 96 dots per inch whatever the
// screen claims: a font then fills its control as it was designed to.
int pixelsForPoints(double points) { return qRound(points * 96.0 / 72.0); }

void registerFaceSubstitutes()
{
    static const bool done = [] {
        QFont::insertSubstitution(QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"));
        QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));
        QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
        return true;
    }();
    (void)done;
}

QFont fontFor(const FontChoice& choice, const QFont& windowFont)
{
    if (!choice.face)
        return windowFont;
    QFont font(QString::fromLatin1(choice.face));
    font.setPixelSize(pixelsForPoints(choice.points));
    font.setBold(choice.bold);
    return font;
}

QPalette::ColorRole backRole(const QWidget* control)
{
    if (qobject_cast<const QAbstractButton*>(control))
        return QPalette::Button;
    if (qobject_cast<const QLineEdit*>(control))
        return QPalette::Base;
    return QPalette::Window;
}

QPalette::ColorRole textRole(const QWidget* control)
{
    if (qobject_cast<const QAbstractButton*>(control))
        return QPalette::ButtonText;
    if (qobject_cast<const QLineEdit*>(control))
        return QPalette::Text;
    return QPalette::WindowText;
}

QRgb toQRgb(glimra::Colour c) { return qRgb(glimra::redOf(c), glimra::greenOf(c), glimra::blueOf(c)); }

}  // namespace

// ---------------------------------------------------------------------------
// ClickLabel, TextBox

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    if (!clickable_ || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    pressed_ = true;
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (!clickable_) {
        event->ignore();
        return;
    }
    const bool wasPressed = std::exchange(pressed_, false);
    if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void ClickLabel::mouseMoveEvent(QMouseEvent* event)
{
    emit mouseMoved();
    if (!clickable_)
        event->ignore();
}

void TextBox::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Switching to another application or opening the box's own menu is not
    // leaving the box.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason)
        emit lostFocus();
}

// ---------------------------------------------------------------------------
// The render host: how a pattern reaches the window.

class qTac::CanvasHost final : public glimra::RenderHost {
public:
    CanvasHost(qTac& window, int level) : window_(window), level_(level) {}

    void plotColumn(const glimra::ColumnView& column) override
    {
        window_.plotColumn(column);
        // A copy: the observer may replace itself.
        if (const auto observer = window_.columnPainted)
            observer(level_, column.index);
    }

    void yield() override { window_.yieldToEvents(); }

    bool haltRequested() override { return window_.HaltFlag == QLatin1String("p"); }

private:
    qTac& window_;
    int level_;
};

// ---------------------------------------------------------------------------
// The window

qTac::qTac(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      canvas_(kClientWidth, kClientHeight, QImage::Format_RGB32),
      startBrowser_(startDesktopBrowser),
      endProgram_([] { endProgramAtOnce(); })
{
    setObjectName(QStringLiteral("qTac"));
    setWindowTitle(QStringLiteral("Color Glimra"));
    setFixedSize(kClientWidth, kClientHeight);
    canvas_.fill(kWindowColour);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, kWindowColour);
    pal.setColor(QPalette::WindowText, kWindowColour);
    setPalette(pal);
    // The Canvas paints the whole client area itself.
    setAttribute(Qt::WA_OpaquePaintEvent);

    registerFaceSubstitutes();
    // A fixed small face as the window's own font: the design's box and button
    // sizes hold whatever the desktop's default font happens to be.
    QFont own(QStringLiteral("DejaVu Sans"));
    own.setPixelSize(pixelsForPoints(8.25));
    setFont(own);

    buildControls();
    connectHandlers();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &qTac::Timer1_Timer);
    Timer1->start();

    TextThree->setFocus();
    sinceShown_.start();
}

qTac::~qTac() = default;

void qTac::buildControls()
{
    struct Focusable {
        int tab;
        QWidget* widget;
    };
    std::vector<Focusable> focusOrder;

    auto make = [&](const Design& d) -> QWidget* {
        QWidget* control = nullptr;
        const QString caption = d.caption ? QString::fromLatin1(d.caption) : kWebAddress;
        switch (d.kind) {
        case Kind::Button: {
            auto* button = new QPushButton(caption, this);
            button->setAutoDefault(false);
            control = button;
            break;
        }
        case Kind::Label: {
            auto* label = new ClickLabel(this);
            label->setText(caption);
            control = label;
            break;
        }
        case Kind::TextBox: {
            auto* box = new TextBox(caption, this);
            control = box;
            break;
        }
        }
        control->setObjectName(QString::fromLatin1(d.name));
        control->setGeometry(d.left, d.top, d.width, d.height);
        control->setFont(fontFor(d.font, font()));
        if (d.tip)
            control->setToolTip(QString::fromLatin1(d.tip));

        QPalette pal = control->palette();
        if (d.back != kNone) {
            pal.setColor(backRole(control), colourOf(d.back));
            control->setAutoFillBackground(d.kind == Kind::Label);
        }
        // Text without a colour of its own keeps the toolkit's, not the
        // window's foreground (which would make it vanish into the background).
        pal.setColor(textRole(control), d.text != kNone
                                            ? colourOf(d.text)
                                            : QApplication::palette().color(textRole(control)));
        control->setPalette(pal);

        if (d.kind == Kind::Label)
            control->setFocusPolicy(Qt::NoFocus);
        else
            focusOrder.push_back({d.tab, control});
        return control;
    };

    for (const Design& d : kDesign)
        make(d);
    for (int k = 0; k < 19; ++k) {
        // The caption is the pattern's name, the one glimra-render takes.
        const char* name = glimra::patternTable()[std::size_t(k)]->name;
        const std::string objectName = "CMD(" + std::to_string(k) + ")";
        Design d{nullptr, Kind::Button, name, 24, 320 + 32 * k, 105, 25, 0x808080, kNone, kPatternFont, nullptr,
                 kPatternTabs[k]};
        d.name = objectName.c_str();
        CMD[std::size_t(k)] = static_cast<QPushButton*>(make(d));
    }

    auto label = [this](const char* name) { return findChild<ClickLabel*>(QLatin1String(name)); };
    auto box = [this](const char* name) { return findChild<TextBox*>(QLatin1String(name)); };
    auto button = [this](const char* name) { return findChild<QPushButton*>(QLatin1String(name)); };

    Label1 = label("Label1");
    Label2 = label("Label2");
    Label3 = label("Label3");
    Label4 = label("Label4");
    Label5 = label("Label5");
    Label6 = label("Label6");
    Label7 = label("Label7");
    Label8 = label("Label8");
    Label10 = label("Label10");
    Label13 = label("Label13");
    Label17 = label("Label17");
    Label9 = {label("Label9(0)"), label("Label9(1)"), label("Label9(2)")};
    TextOne = box("TextOne");
    TextTwo = box("TextTwo");
    TextThree = box("TextThree");
    TextFour = box("TextFour");
    Textfive = box("Textfive");
    Command1 = button("Command1");
    Command3 = button("Command3");
    Command4 = button("Command4");
    cmd1 = button("cmd1");
    cmdb = button("cmdb");
    cmdstop = button("cmdstop");
    cmdXX = {button("cmdXX(0)"), button("cmdXX(1)"), button("cmdXX(2)"), button("cmdXX(3)")};
    cmdblue = {button("cmdblue(0)"), button("cmdblue(1)"), button("cmdblue(2)"), button("cmdblue(3)")};
    horz = {button("horz(0)"), button("horz(1)")};
    verty = {button("verty(0)"), button("verty(1)")};

    // The panels lie behind everything drawn on them.
    Label3->lower();
    Label10->lower();
    Label13->lower();

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

// --- colours ---------------------------------------------------------------

QColor qTac::backColour(const QWidget* control) { return control->palette().color(backRole(control)); }
QColor qTac::textColour(const QWidget* control) { return control->palette().color(textRole(control)); }

void qTac::setBackColour(QWidget* control, const QColor& colour)
{
    QPalette pal = control->palette();
    pal.setColor(backRole(control), colour);
    control->setPalette(pal);
}

void qTac::setTextColour(QWidget* control, const QColor& colour)
{
    QPalette pal = control->palette();
    pal.setColor(textRole(control), colour);
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

void qTac::Label1_Click() { endProgram_(); }
void qTac::Label2_Click() { endProgram_(); }
void qTac::Label4_Click() { endProgram_(); }

void qTac::Label7_Click() { setWindowState(windowState() | Qt::WindowMinimized); }

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
    // Every click during a render nests one more render on the stack; past
    // this depth a click is ignored rather than risk running out of stack.
    if (depth_ >= kMaxNesting || Index < 0 || Index >= qint16(CMD.size()))
        return;
    HaltFlag.clear();
    for (QPushButton* b : CMD)
        setBackColour(b, kPatternGrey);
    setBackColour(CMD[std::size_t(Index)], textColour(Label17));
    // The render's first chance to repaint comes only after its first column.
    for (QPushButton* b : CMD)
        b->repaint();
    runPattern(*glimra::patternTable()[std::size_t(Index)]);
}

void qTac::cmdstop_Click() { HaltFlag = QStringLiteral("p"); }

void qTac::runPattern(const glimra::Pattern& pattern)
{
    glimra::PatternTexts texts;
    texts.one = TextOne->text().toStdString();
    texts.two = TextTwo->text().toStdString();
    texts.three = TextThree->text().toStdString();
    texts.four = TextFour->text().toStdString();
    texts.five = Textfive->text().toStdString();
    const glimra::PatternParameters params = glimra::readParameters(texts);

    CanvasHost host(*this, depth_ + 1);
    struct Level {
        int& depth;
        explicit Level(int& d) : depth(d) { ++depth; }
        ~Level() { --depth; }
    } level(depth_);
    try {
        // A fault or a refused scan simply ends the picture where it stands.
        (void)glimra::render(pattern, params, host);
    } catch (const std::bad_alloc&) {
        // Not enough memory for the scan: nothing more to paint.
    }
    showCanvas();
}

void qTac::plotColumn(const glimra::ColumnView& column)
{
    if (column.x < 0 || column.x >= canvas_.width())
        return;
    uchar* bits = canvas_.bits();
    const qsizetype stride = canvas_.bytesPerLine();
    const int height = canvas_.height();
    int top = INT_MAX;
    int bottom = INT_MIN;
    for (std::size_t m = 0; m < column.colours.size(); ++m) {
        const int y = column.ys[m];
        if (y < 0 || y >= height)
            continue;
        reinterpret_cast<QRgb*>(bits + y * stride)[column.x] = toQRgb(column.colours[m]);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    }
    if (top <= bottom)
        dirty_ |= QRect(column.x, top, 1, bottom - top + 1);
}

void qTac::yieldToEvents()
{
    if (!dirty_.isEmpty() && sinceShown_.elapsed() >= kRefreshMs)
        showCanvas();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void qTac::showCanvas()
{
    if (!dirty_.isEmpty()) {
        repaint(dirty_);
        dirty_ = QRect();
    }
    sinceShown_.restart();
}

void qTac::clearCanvas()
{
    canvas_.fill(kWindowColour);
    dirty_ = QRect();
    update();
}

// --- window events -------------------------------------------------------------

bool qTac::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QWidget::event(event);
}

void qTac::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    for (const QRect& r : event->region())
        painter.drawImage(r, canvas_, r);
}

void qTac::closeEvent(QCloseEvent* event)
{
    // Closed by the system in the middle of a render: end as the exit labels
    // do, instead of finishing the picture in a window nobody can see.
    if (depth_ > 0)
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
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void qTac::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_)
        move(event->globalPosition().toPoint() - dragOffset_);
}

void qTac::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
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
