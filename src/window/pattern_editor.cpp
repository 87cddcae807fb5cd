#include "window/pattern_editor.h"

#include "formula/formula.h"
#include "patterns/patterns.h"
#include "picture/output_file.h"
#include "picture/recipe.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStandardPaths>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

// Long enough that a person typing a name is not told off for its first
// letters, short enough that a mistake shows before the hand reaches Paint.
constexpr int kCheckPauseMs = 400;

bool darkPalette(const QPalette& palette) { return palette.color(QPalette::Base).lightness() < 128; }

bool nameStart(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_'; }
bool digit(QChar c) { return c >= u'0' && c <= u'9'; }

// The language's words, coloured by what they are: functions, the names the
// frame gives, and the names a formula must (or may) give.
const QStringList kFunctions = {"sin", "cos", "tan", "abs", "texthalf"};
const QStringList kGiven = {"x", "y", "size", "zoom", "bright", "S", "N", "K", "i", "j"};
const QStringList kResults = {"x0", "y0", "red", "green", "blue", "Z", "B"};

class FormulaHighlighter : public QSyntaxHighlighter {
public:
    explicit FormulaHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {}

    // Colours that read on the palette's base, light or dark.
    void setPalette(const QPalette& palette)
    {
        const bool dark = darkPalette(palette);
        comment_ = QTextCharFormat();
        comment_.setForeground(dark ? QColor(150, 160, 150) : QColor(100, 110, 100));
        comment_.setFontItalic(true);
        number_ = QTextCharFormat();
        number_.setForeground(dark ? QColor(240, 170, 90) : QColor(170, 80, 0));
        function_ = QTextCharFormat();
        function_.setForeground(dark ? QColor(120, 180, 255) : QColor(0, 70, 190));
        function_.setFontWeight(QFont::Bold);
        given_ = QTextCharFormat();
        given_.setForeground(dark ? QColor(220, 140, 240) : QColor(130, 30, 150));
        result_ = QTextCharFormat();
        result_.setForeground(dark ? QColor(110, 220, 150) : QColor(0, 120, 60));
        result_.setFontWeight(QFont::Bold);
        operator_ = QTextCharFormat();
        operator_.setForeground(dark ? QColor(240, 220, 120) : QColor(140, 100, 0));
        rehighlight();
    }

protected:
    // The lexer's own reading, a line at a time: a line break inside
    // parentheses changes no word, so no state is carried between lines.
    void highlightBlock(const QString& text) override
    {
        const int n = int(text.size());
        int k = 0;
        while (k < n) {
            const QChar c = text[k];
            if (c == u'#') {
                setFormat(k, n - k, comment_);
                return;
            }
            if (digit(c) || (c == u'.' && k + 1 < n && digit(text[k + 1]))) {
                const int start = k;
                while (k < n && digit(text[k]))
                    ++k;
                if (k < n && text[k] == u'.')
                    for (++k; k < n && digit(text[k]);)
                        ++k;
                if (k < n && (text[k] == u'e' || text[k] == u'E')) {
                    int e = k + 1;
                    if (e < n && (text[e] == u'+' || text[e] == u'-'))
                        ++e;
                    if (e < n && digit(text[e])) {
                        for (k = e; k < n && digit(text[k]);)
                            ++k;
                    }
                }
                setFormat(start, k - start, number_);
                continue;
            }
            if (nameStart(c)) {
                const int start = k;
                while (k < n && (nameStart(text[k]) || digit(text[k])))
                    ++k;
                const QString word = text.mid(start, k - start);
                if (kFunctions.contains(word))
                    setFormat(start, k - start, function_);
                else if (kGiven.contains(word))
                    setFormat(start, k - start, given_);
                else if (kResults.contains(word))
                    setFormat(start, k - start, result_);
                continue;
            }
            if (QStringView(u"+-*/^()=;").contains(c))
                setFormat(k, 1, operator_);
            ++k;
        }
    }

private:
    QTextCharFormat comment_, number_, function_, given_, result_, operator_;
};

// The text area with its line numbers in a margin on the left.
class FormulaEdit : public QPlainTextEdit {
public:
    explicit FormulaEdit(QWidget* parent) : QPlainTextEdit(parent), numbers_(new Numbers(this))
    {
        connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { updateMargin(); });
        connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
            if (dy != 0)
                numbers_->scroll(0, dy);
            else
                numbers_->update(0, rect.y(), numbers_->width(), rect.height());
        });
        updateMargin();
    }

    int marginWidth() const
    {
        const int digits = int(QString::number(qMax(1, blockCount())).size());
        return fontMetrics().horizontalAdvance(u'9') * (digits + 1) + 6;
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QPlainTextEdit::resizeEvent(event);
        const QRect r = contentsRect();
        numbers_->setGeometry(r.left(), r.top(), marginWidth(), r.height());
    }

    void changeEvent(QEvent* event) override
    {
        QPlainTextEdit::changeEvent(event);
        if (event->type() == QEvent::FontChange)
            updateMargin();
    }

private:
    class Numbers : public QWidget {
    public:
        explicit Numbers(FormulaEdit* edit) : QWidget(edit), edit_(edit) {}
        QSize sizeHint() const override { return {edit_->marginWidth(), 0}; }

    protected:
        void paintEvent(QPaintEvent* event) override { edit_->paintNumbers(event->rect()); }

    private:
        FormulaEdit* edit_;
    };

    void updateMargin()
    {
        setViewportMargins(marginWidth(), 0, 0, 0);
        const QRect r = contentsRect();
        numbers_->setGeometry(r.left(), r.top(), marginWidth(), r.height());
    }

    void paintNumbers(const QRect& rect)
    {
        QPainter painter(numbers_);
        const QPalette& p = palette();
        painter.fillRect(rect, p.color(QPalette::AlternateBase));
        painter.setPen(p.color(QPalette::PlaceholderText));
        painter.setFont(font());
        const int current = textCursor().blockNumber();
        QTextBlock block = firstVisibleBlock();
        int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
        while (block.isValid() && top <= rect.bottom()) {
            const int bottom = top + qRound(blockBoundingRect(block).height());
            if (block.isVisible() && bottom >= rect.top()) {
                painter.setPen(p.color(block.blockNumber() == current ? QPalette::Text : QPalette::PlaceholderText));
                painter.drawText(0, top, numbers_->width() - 4, fontMetrics().height(), Qt::AlignRight,
                                 QString::number(block.blockNumber() + 1));
            }
            block = block.next();
            top = bottom;
        }
    }

    Numbers* numbers_;
};

// Where a line and column of the compiler's (a column being one character,
// counted from 1) are in the text as the editor holds it (UTF-16 units);
// past a line's end, that end.
int positionOf(const QString& text, int line, int column)
{
    int l = 1, c = 1;
    for (int k = 0; k < int(text.size()); ++k) {
        if (text[k].isLowSurrogate() && k > 0 && text[k - 1].isHighSurrogate())
            continue;
        if (l == line && c == column)
            return k;
        if (text[k] == u'\n') {
            if (l == line)
                return k;
            ++l;
            c = 1;
        } else {
            ++c;
        }
    }
    return int(text.size());
}

// A line and column of the text, counted as the compiler counts them.
std::pair<int, int> lineColumnOf(const QString& text, int position)
{
    int l = 1, c = 1;
    for (int k = 0; k < position && k < int(text.size()); ++k) {
        if (text[k].isLowSurrogate() && k > 0 && text[k - 1].isHighSurrogate())
            continue;
        if (text[k] == u'\n') {
            ++l;
            c = 1;
        } else {
            ++c;
        }
    }
    return {l, c};
}

// A file name for a title or a message: its control characters (a name may
// hold a line break) shown as the replacement character.
QString shownPath(QString path)
{
    for (QChar& c : path)
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    return path;
}

QString formulasFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

QString fileFilters() { return QStringLiteral("Formulas (*.glimra);;All files (*)"); }

}  // namespace

PatternEditor::PatternEditor(QWidget* parent) : QWidget(parent)
{
    // A window of its own beside the main one, even when it has a parent.
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("patternEditor"));
    setAccessibleName(QStringLiteral("Pattern editor"));

    auto* edit = new FormulaEdit(this);
    edit_ = edit;
    edit_->setObjectName(QStringLiteral("formulaText"));
    edit_->setAccessibleName(QStringLiteral("Formula"));
    edit_->setAccessibleDescription(QStringLiteral("The formula's text. Ctrl+Return paints it."));
    edit_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Tab leaves the text, so that the keyboard alone reaches every control;
    // the language needs no tab character, blanks do as well.
    edit_->setTabChangesFocus(true);
    edit_->setPlaceholderText(QStringLiteral("Write a formula here, or start from a pattern or an example."));
    auto* highlighter = new FormulaHighlighter(edit_->document());
    highlighter->setPalette(edit_->palette());
    highlighter_ = highlighter;

    auto button = [this](const char* name, const QString& text, const QString& accessible) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAccessibleName(accessible);
        b->setAutoDefault(false);
        return b;
    };
    startButton_ = button("startFrom", QStringLiteral("Start &from"), QStringLiteral("Start from"));
    startButton_->setAccessibleDescription(QStringLiteral("Replaces the text with a pattern's or an example's"));
    startMenu_ = new QMenu(startButton_);
    startMenu_->setObjectName(QStringLiteral("startFromMenu"));
    startMenu_->setAccessibleName(QStringLiteral("Start from"));
    startMenu_->addSection(QStringLiteral("Patterns"));
    const QList<Start>& all = starts();
    for (int k = 0; k < int(all.size()); ++k) {
        if (k > 0 && !all[k].builtin && all[k - 1].builtin)
            startMenu_->addSection(QStringLiteral("Examples"));
        QAction* a = startMenu_->addAction(all[k].name);
        connect(a, &QAction::triggered, this, [this, k] { startFrom(k); });
    }
    startButton_->setMenu(startMenu_);

    QPushButton* undo = button("undo", QStringLiteral("&Undo"), QStringLiteral("Undo"));
    QPushButton* redo = button("redo", QStringLiteral("&Redo"), QStringLiteral("Redo"));
    undo->setToolTip(QStringLiteral("Undo (Ctrl+Z)"));
    redo->setToolTip(QStringLiteral("Redo (Ctrl+Shift+Z)"));
    undo->setEnabled(false);
    redo->setEnabled(false);
    connect(undo, &QPushButton::clicked, edit_, &QPlainTextEdit::undo);
    connect(redo, &QPushButton::clicked, edit_, &QPlainTextEdit::redo);
    connect(edit_, &QPlainTextEdit::undoAvailable, undo, &QPushButton::setEnabled);
    connect(edit_, &QPlainTextEdit::redoAvailable, redo, &QPushButton::setEnabled);

    QPushButton* openButton = button("openFormula", QStringLiteral("&Open\u2026"), QStringLiteral("Open formula file"));
    QPushButton* saveButton = button("saveFormula", QStringLiteral("&Save"), QStringLiteral("Save formula file"));
    QPushButton* saveAsButton =
        button("saveFormulaAs", QStringLiteral("Save &as\u2026"), QStringLiteral("Save formula file as"));
    QPushButton* paintButton = button("paintFormula", QStringLiteral("&Paint"), QStringLiteral("Paint"));
    paintButton->setAccessibleDescription(QStringLiteral("Paints the formula in the main window (Ctrl+Return)"));

    // The shortcuts belong to the editor's window; the main window keeps its own.
    auto action = [this](const char* name, const QString& text, const QList<QKeySequence>& keys) {
        auto* a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        a->setShortcuts(keys);
        addAction(a);
        return a;
    };
    paintAction_ = action("paint", QStringLiteral("Paint"),
                          {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    QAction* openAction = action("open", QStringLiteral("Open\u2026"), {QKeySequence::Open});
    QAction* saveAction = action("save", QStringLiteral("Save"), {QKeySequence::Save});
    QAction* saveAsAction =
        action("saveAs", QStringLiteral("Save as\u2026"), {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});
    QAction* closeAction = action("close", QStringLiteral("Close"), {QKeySequence::Close});
    connect(paintAction_, &QAction::triggered, this, &PatternEditor::paint);
    connect(openAction, &QAction::triggered, this, &PatternEditor::open);
    connect(saveAction, &QAction::triggered, this, &PatternEditor::save);
    connect(saveAsAction, &QAction::triggered, this, &PatternEditor::saveAs);
    connect(closeAction, &QAction::triggered, this, &QWidget::close);
    connect(paintButton, &QPushButton::clicked, paintAction_, &QAction::trigger);
    connect(openButton, &QPushButton::clicked, openAction, &QAction::trigger);
    connect(saveButton, &QPushButton::clicked, saveAction, &QAction::trigger);
    connect(saveAsButton, &QPushButton::clicked, saveAsAction, &QAction::trigger);
    paintButton->setToolTip(QStringLiteral("Paint the formula (Ctrl+Return)"));
    openButton->setToolTip(QStringLiteral("Open a formula file (Ctrl+O)"));
    saveButton->setToolTip(QStringLiteral("Save the formula (Ctrl+S)"));
    saveAsButton->setToolTip(QStringLiteral("Save the formula in another file (Ctrl+Shift+S)"));

    // Both lines show text from outside (a compiler's message quoting the
    // formula, a file's name): plain text only, never markup to interpret.
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("formulaMessage"));
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette warning = message_->palette();
    warning.setColor(QPalette::WindowText, darkPalette(palette()) ? QColor(255, 140, 130) : QColor(170, 0, 0));
    message_->setPalette(warning);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("editorStatus"));
    status_->setTextFormat(Qt::PlainText);
    status_->setWordWrap(true);

    auto* top = new QHBoxLayout;
    top->addWidget(startButton_);
    top->addWidget(undo);
    top->addWidget(redo);
    top->addStretch(1);
    top->addWidget(openButton);
    top->addWidget(saveButton);
    top->addWidget(saveAsButton);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(paintButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(edit_, 1);
    layout->addWidget(message_);
    layout->addLayout(bottom);

    checkTimer_ = new QTimer(this);
    checkTimer_->setSingleShot(true);
    checkTimer_->setInterval(kCheckPauseMs);
    connect(checkTimer_, &QTimer::timeout, this, &PatternEditor::check);
    connect(edit_, &QPlainTextEdit::textChanged, checkTimer_, qOverload<>(&QTimer::start));
    connect(edit_->document(), &QTextDocument::modificationChanged, this, &QWidget::setWindowModified);

    // About 80 columns by 30 lines of the text, within the screen it opens on.
    const QFontMetrics fm(edit_->font());
    QSize size(fm.horizontalAdvance(u'M') * 80 + edit->marginWidth() + 40, fm.lineSpacing() * 30 + 120);
    if (const QScreen* screen = this->screen()) {
        const QSize room = screen->availableGeometry().size() * 9 / 10;
        size = size.boundedTo(room);
    }
    resize(size);
    edit_->setFocus();
    updateTitle();
}

PatternEditor::~PatternEditor() = default;

const QList<PatternEditor::Start>& PatternEditor::starts()
{
    static const QList<Start> list = [] {
        QList<Start> l;
        for (const glimra::Pattern* p : glimra::patternTable()) {
            const std::string_view text = glimra::formula::builtinText(p->name);
            l.append({QString::fromLatin1(p->name), QString::fromUtf8(text.data(), qsizetype(text.size())), true});
        }
        // The examples are compiled into the program, so that an installed
        // one has them too.
        const QDir examples(QStringLiteral(":/glimra/examples"));
        for (const QFileInfo& f : examples.entryInfoList({QStringLiteral("*.glimra")}, QDir::Files, QDir::Name)) {
            QFile file(f.filePath());
            if (file.open(QIODevice::ReadOnly))
                l.append({f.completeBaseName(), QString::fromUtf8(file.readAll()), false});
        }
        return l;
    }();
    return list;
}

QString PatternEditor::text() const { return edit_->toPlainText(); }

bool PatternEditor::isModified() const { return edit_->document()->isModified(); }

QString PatternEditor::message() const { return message_->text(); }

QString PatternEditor::status() const { return status_->text(); }

bool PatternEditor::setText(const QString& text, bool fromOutside)
{
    if (fromOutside) {
        if (!maybeSave())
            return false;
        edit_->setPlainText(text);
        edit_->document()->setModified(false);
        fileName_.clear();
        fileStatus_.clear();
        showStatus({});
        updateTitle();
        check();
        return true;
    }
    // A starting point taken into an empty or untouched formula of no file
    // adds nothing of the person's that could be lost.
    const bool pristine = fileName_.isEmpty() && !isModified();
    QTextCursor cursor(edit_->document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(text);
    cursor.endEditBlock();
    cursor.movePosition(QTextCursor::Start);
    edit_->setTextCursor(cursor);
    if (pristine)
        edit_->document()->setModified(false);
    check();
    return true;
}

void PatternEditor::startFrom(int index)
{
    const QList<Start>& all = starts();
    if (index < 0 || index >= int(all.size()))
        return;
    setText(all[index].text, false);
}

bool PatternEditor::compiles()
{
    checkTimer_->stop();
    const QString text = edit_->toPlainText();
    const QByteArray utf8 = text.toUtf8();
    glimra::formula::Error error;
    bool ok = glimra::formula::Formula::compile(std::string_view(utf8.constData(), std::size_t(utf8.size())), error) !=
              nullptr;
    if (ok && !glimra::formulaTextProblem(std::string_view(utf8.constData(), std::size_t(utf8.size()))).empty()) {
        // What compiles may still hold what no place, picture or file
        // carries: a control character in a comment.
        for (int k = 0; k < int(text.size()); ++k) {
            const char16_t c = text[k].unicode();
            if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0x7f) {
                const auto [line, column] = lineColumnOf(text, k);
                error = {line, column, "a control character has no place in a formula, not even in a comment"};
                ok = false;
                break;
            }
        }
    }
    if (ok) {
        errorPosition_ = -1;
        message_->clear();
    } else {
        errorPosition_ = positionOf(text, error.line, error.column);
        message_->setText(QString::fromStdString(error.text()));
    }
    markError();
    return ok;
}

void PatternEditor::markError()
{
    QList<QTextEdit::ExtraSelection> marks;
    if (errorPosition_ >= 0) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(edit_->document());
        mark.cursor.setPosition(qMin(errorPosition_, edit_->document()->characterCount() - 1));
        const QChar at = edit_->document()->characterAt(mark.cursor.position());
        const bool onCharacter = !at.isNull() && at != QChar::ParagraphSeparator && at != u'\n';
        if (onCharacter)
            mark.cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
        else
            mark.format.setProperty(QTextFormat::FullWidthSelection, true);
        const bool dark = darkPalette(edit_->palette());
        mark.format.setBackground(dark ? QColor(110, 30, 30) : QColor(255, 205, 205));
        mark.format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
        mark.format.setUnderlineColor(dark ? QColor(255, 110, 110) : QColor(200, 0, 0));
        marks.append(mark);
    }
    edit_->setExtraSelections(marks);
}

void PatternEditor::check()
{
    // An empty text is a formula not begun, not a mistake: Paint says what
    // it lacks.
    if (edit_->toPlainText().trimmed().isEmpty()) {
        checkTimer_->stop();
        errorPosition_ = -1;
        message_->clear();
        markError();
        return;
    }
    compiles();
}

void PatternEditor::paint()
{
    if (compiles()) {
        emit paintRequested(edit_->toPlainText());
        return;
    }
    QTextCursor cursor = edit_->textCursor();
    cursor.setPosition(errorPosition_);
    edit_->setTextCursor(cursor);
    edit_->ensureCursorVisible();
    edit_->setFocus();
}

void PatternEditor::setPainting(bool painting)
{
    painting_ = painting;
    showStatus(fileStatus_);
}

void PatternEditor::showStatus(const QString& text)
{
    fileStatus_ = text;
    QString shown = painting_ ? QStringLiteral("Painting this formula.") : QString();
    if (!text.isEmpty())
        shown += (shown.isEmpty() ? QString() : QStringLiteral("  ")) + text;
    status_->setText(shown);
}

QString PatternEditor::shownName() const
{
    return fileName_.isEmpty() ? QStringLiteral("Untitled formula") : shownPath(QFileInfo(fileName_).fileName());
}

void PatternEditor::updateTitle()
{
    setWindowTitle(shownName() + QStringLiteral("[*] \u2013 Pattern editor \u2013 Color Glimra"));
    setWindowModified(isModified());
}

bool PatternEditor::openFile(const QString& path)
{
    if (!maybeSave())
        return false;
    QString error;
    const std::optional<std::string> text = glimra::readFormulaFile(path, &error);
    if (!text) {
        showStatus(QStringLiteral("Not opened: ") + shownPath(error));
        return false;
    }
    edit_->setPlainText(QString::fromStdString(*text));
    edit_->document()->setModified(false);
    fileName_ = path;
    updateTitle();
    showStatus(QStringLiteral("Opened ") + shownPath(path));
    check();
    return true;
}

bool PatternEditor::saveFile(const QString& path)
{
    auto fail = [&](const QString& why) {
        showStatus(QStringLiteral("Not saved: ") + shownPath(path) + QStringLiteral(": ") + why);
        return false;
    };
    // A formula file is a regular file: nothing is written to a pipe or a
    // device that happens to have the name.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("it is not a regular file"));
    glimra::OutputFile out(QFile::encodeName(path).toStdString());
    std::string error;
    if (!out.open(&error))
        return fail(QString::fromStdString(error));
    const QByteArray bytes = edit_->toPlainText().toUtf8();
    if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out.stream()) != std::size_t(bytes.size())) {
        const int e = errno;
        out.discard();
        return fail(QString::fromStdString(glimra::writeFailure(e)));
    }
    if (!out.commit(&error))
        return fail(QString::fromStdString(error));
    fileName_ = path;
    edit_->document()->setModified(false);
    updateTitle();
    showStatus(QStringLiteral("Saved ") + shownPath(path));
    return true;
}

void PatternEditor::open()
{
    if (!maybeSave())
        return;
    const QString path =
        chooseOpen_ ? chooseOpen_()
                    : QFileDialog::getOpenFileName(
                          this, QStringLiteral("Open formula"),
                          fileName_.isEmpty() ? formulasFolder() : QFileInfo(fileName_).absolutePath(), fileFilters());
    if (!path.isEmpty())
        openFile(path);
}

bool PatternEditor::save() { return fileName_.isEmpty() ? saveAs() : saveFile(fileName_); }

bool PatternEditor::saveAs()
{
    const QString suggested = fileName_.isEmpty() ? formulasFolder() + QStringLiteral("/formula.glimra") : fileName_;
    QString path;
    if (chooseSave_) {
        path = chooseSave_(suggested);
    } else {
        QFileDialog dialog(this, QStringLiteral("Save formula"), suggested, fileFilters());
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("glimra"));
        if (dialog.exec() == QDialog::Accepted)
            path = dialog.selectedFiles().value(0);
    }
    return !path.isEmpty() && saveFile(path);
}

bool PatternEditor::maybeSave()
{
    if (!isModified())
        return true;
    // The question is about what this window holds: show it.
    if (!isVisible())
        show();
    if (!isActiveWindow()) {
        raise();
        activateWindow();
    }
    Unsaved answer = Unsaved::Cancel;
    if (askUnsaved_) {
        answer = askUnsaved_(shownName());
    } else {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Pattern editor"),
                        shownName() + QStringLiteral(" has changes that are not saved."),
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
        box.setTextFormat(Qt::PlainText);
        box.setInformativeText(QStringLiteral("Save them?"));
        box.setDefaultButton(QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Cancel);
        const int pressed = box.exec();
        answer = pressed == QMessageBox::Save      ? Unsaved::Save
                 : pressed == QMessageBox::Discard ? Unsaved::Discard
                                                   : Unsaved::Cancel;
    }
    switch (answer) {
    case Unsaved::Save: return save();
    case Unsaved::Discard:
        // Asked once: what the person let go is not asked about again.
        edit_->document()->setModified(false);
        return true;
    case Unsaved::Cancel: break;
    }
    return false;
}

void PatternEditor::closeEvent(QCloseEvent* event)
{
    if (maybeSave())
        event->accept();
    else
        event->ignore();
}

void PatternEditor::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        if (highlighter_)
            static_cast<FormulaHighlighter*>(highlighter_)->setPalette(edit_->palette());
        if (message_) {
            QPalette warning = message_->palette();
            warning.setColor(QPalette::WindowText, darkPalette(palette()) ? QColor(255, 140, 130) : QColor(170, 0, 0));
            message_->setPalette(warning);
        }
        if (edit_)
            markError();
    }
}
