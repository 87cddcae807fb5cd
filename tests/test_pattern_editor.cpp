// The pattern editor as a person uses it: a wrong formula typed in is shown
// with its place and never painted, a right one is painted exactly as written,
// starting points put their texts in, text from outside shows as text, and a
// formula written is never lost unsaved.
#include "formula/formula.h"
#include "window/pattern_editor.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

// What assistive technology reads from a label: markup would be read as
// what it renders to, not as the characters it is made of.
QString spoken(QWidget* label)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(label);
    return a ? a->text(QAccessible::Name) : QString();
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

const QString kRight = QStringLiteral(
    "x0 = x - texthalf(N)\ny0 = y - texthalf(S)\n"
    "red = bright * abs(sin(K * i / 100))   # rings\ngreen = 1\nblue = bright\n");

}  // namespace

class TestPatternEditor : public QObject {
    Q_OBJECT
private slots:
    void wrongFormulaShowsItsPlaceAndPaintsNothing_data();
    void wrongFormulaShowsItsPlaceAndPaintsNothing();
    void startFromPutsTheTextInAndPaintsIt_data();
    void startFromPutsTheTextInAndPaintsIt();
    void textFromOutsideShowsAsText();
    void savedFileOpensAsWritten();
    void unsavedFormulaIsNeverDroppedSilently_data();
    void unsavedFormulaIsNeverDroppedSilently();
    void everyControlIsNamedAndReachedByTab();
};

void TestPatternEditor::wrongFormulaShowsItsPlaceAndPaintsNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("line");    // where the cursor goes, from 0
    QTest::addColumn<int>("inLine");  // in UTF-16 units from the line's start

    const QString head = QStringLiteral("x0 = x - texthalf(N)\ny0 = y - texthalf(S)\n");
    QTest::newRow("value missing at a line's end") << head + "red = bright *\ngreen = 1\nblue = 1"
                                                   << "line 3, column 15: a value was expected after '*'" << 2 << 14;
    QTest::newRow("parenthesis left open") << head + "red = (1 + 2\ngreen = 1\nblue = 1"
                                           << "line 4, column 1: ')' or an operator was expected" << 3 << 0;
    QTest::newRow("colour never given")
        << head + "red = 1\ngreen = 1"
        << "line 4, column 10: blue is never given a value; a formula gives x0, y0, red, green and blue" << 3 << 9;
    QTest::newRow("value given twice") << head + "red = 1\ngreen = 1\nblue = 1\nred = 2"
                                       << "line 6, column 1: 'red' already has a value, given on line 3" << 5 << 0;
    QTest::newRow("origin read from the scan")
        << "x0 = i\ny0 = y\nred = 1\ngreen = 1\nblue = 1"
        << "line 1, column 1: x0 is fixed before the scan: it cannot depend on i or j" << 0 << 0;
    // A character beyond the 16-bit range is one column to the compiler and
    // two units to the text area.
    QTest::newRow("control character in a comment after a wide one")
        << head + QStringLiteral("red = 1 # ok \U0001F600 \x01\ngreen = 1\nblue = 1")
        << "line 3, column 16: a control character has no place in a formula, not even in a comment" << 2 << 16;
}

void TestPatternEditor::wrongFormulaShowsItsPlaceAndPaintsNothing()
{
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(int, line);
    QFETCH(int, inLine);

    PatternEditor editor;
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QSignalSpy painted(&editor, &PatternEditor::paintRequested);
    QPlainTextEdit* area = editor.textArea();
    QVERIFY(area->hasFocus());
    // Typed, a line at a time; what no keyboard types is pasted.
    const QStringList lines = text.split(u'\n');
    for (int k = 0; k < lines.size(); ++k) {
        if (k > 0)
            QTest::keyClick(area, Qt::Key_Return);
        bool plain = true;
        for (QChar c : lines[k])
            plain = plain && c.unicode() >= 0x20 && c.unicode() < 0x7f;
        if (plain)
            QTest::keyClicks(area, lines[k]);
        else
            area->insertPlainText(lines[k]);
    }
    QCOMPARE(editor.text(), text);

    // The message shows after the pause, before any Paint, and the cursor
    // stays where the person types.
    QTRY_COMPARE(editor.message(), message);
    QCOMPARE(area->textCursor().position(), int(text.size()));
    QVERIFY(!area->extraSelections().isEmpty());
    QCOMPARE(area->extraSelections().first().cursor.blockNumber(), line);

    QTest::keyClick(area, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(painted.count(), 0);
    QCOMPARE(editor.message(), message);
    QCOMPARE(spoken(editor.findChild<QLabel*>("formulaMessage")), message);
    QCOMPARE(area->textCursor().blockNumber(), line);
    QCOMPARE(area->textCursor().positionInBlock(), inLine);
    QCOMPARE(editor.text(), text);
}

void TestPatternEditor::startFromPutsTheTextInAndPaintsIt_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    const QList<PatternEditor::Start>& starts = PatternEditor::starts();
    QCOMPARE(starts.size(), 19 + 4);
    for (int k = 0; k < starts.size(); ++k) {
        QString expected;
        if (starts[k].builtin) {
            const std::string_view t = glimra::formula::builtinText(starts[k].name.toStdString());
            expected = QString::fromUtf8(t.data(), qsizetype(t.size()));
        } else {
            // The example as the source tree has it: the program carries the
            // file itself, not a copy that can drift.
            expected = QString::fromUtf8(contents(QStringLiteral(GLIMRA_EXAMPLES "/") + starts[k].name + ".glimra"));
        }
        QTest::newRow(qPrintable(starts[k].name)) << k << expected;
    }
}

void TestPatternEditor::startFromPutsTheTextInAndPaintsIt()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QVERIFY(!text.isEmpty());

    PatternEditor editor;
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QSignalSpy painted(&editor, &PatternEditor::paintRequested);
    QTest::keyClicks(editor.textArea(), "mine = 1");

    // Through the menu, as a person picks it.
    auto* menu = editor.findChild<QMenu*>("startFromMenu");
    QVERIFY(menu);
    QAction* chosen = nullptr;
    for (QAction* a : menu->actions())
        if (!a->isSeparator() && a->text() == PatternEditor::starts()[index].name)
            chosen = a;
    QVERIFY(chosen);
    chosen->trigger();
    QCOMPARE(editor.text(), text);
    QCOMPARE(editor.message(), QString());

    QTest::keyClick(editor.textArea(), Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(painted.count(), 1);
    QCOMPARE(painted.first().first().toString(), text);

    // The formula painting is shown as the editor's; and the start was one
    // edit that Undo takes back.
    editor.setPainting(true);
    QVERIFY(editor.status().contains("Painting"));
    editor.setPainting(false);
    QVERIFY(!editor.status().contains("Painting"));
    editor.textArea()->undo();
    QCOMPARE(editor.text(), QStringLiteral("mine = 1"));
}

void TestPatternEditor::textFromOutsideShowsAsText()
{
    PatternEditor editor;
    editor.show();
    // A formula from a place: its mistake quotes it, and markup in it stays
    // characters.
    const QString hostile = QStringLiteral("x0 = x\ny0 = y\nred = <img src=/dev/zero>\ngreen = 1\nblue = 1");
    QVERIFY(editor.setText(hostile, true));
    QCOMPARE(editor.text(), hostile);
    const QString message = QStringLiteral("line 3, column 7: the character '<' has no meaning in a formula");
    QCOMPARE(editor.message(), message);
    QCOMPARE(spoken(editor.findChild<QLabel*>("formulaMessage")), message);

    // A file name is anybody's text too, and a folder is no formula file.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("<img src=zero><b>x<b>.glimra"));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(!editor.openFile(folder));
    auto* status = editor.findChild<QLabel*>("editorStatus");
    QVERIFY2(status->text().contains(folder), qPrintable(status->text()));
    QCOMPARE(spoken(status), status->text());
    QVERIFY(editor.windowTitle().startsWith("Untitled formula"));
    QCOMPARE(editor.text(), hostile);
}

void TestPatternEditor::savedFileOpensAsWritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("mine.glimra");
    // Text beyond ASCII in a comment, and no line end at the end.
    const QString text = kRight + QStringLiteral("# f\u00e4rg \U0001F308");

    PatternEditor writer;
    writer.setSaveChooser([&](const QString&) { return path; });
    writer.show();
    QVERIFY(QTest::qWaitForWindowActive(&writer));
    writer.textArea()->insertPlainText(text);
    QVERIFY(writer.isWindowModified());
    QTest::keyClick(writer.textArea(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(contents(path), text.toUtf8());
    QCOMPARE(writer.fileName(), path);
    QVERIFY(!writer.isWindowModified());
    QVERIFY(writer.windowTitle().startsWith("mine.glimra"));

    PatternEditor reader;
    reader.setOpenChooser([&] { return path; });
    reader.show();
    QVERIFY(QTest::qWaitForWindowActive(&reader));
    QTest::keyClick(reader.textArea(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(reader.text(), text);
    QVERIFY(!reader.isModified());
    QCOMPARE(reader.message(), QString());
    QVERIFY(reader.windowTitle().startsWith("mine.glimra"));

    // Nothing is written to, or waited on at, a name that is no regular file.
    const QString pipe = dir.filePath("pipe.glimra");
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    reader.textArea()->insertPlainText("# more\n");
    QVERIFY(!reader.saveFile(pipe));
    QVERIFY(reader.isModified());
    QVERIFY(reader.status().startsWith("Not saved"));
    QCOMPARE(reader.fileName(), path);
}

void TestPatternEditor::unsavedFormulaIsNeverDroppedSilently_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("chooseFile");  // the save dialog gives a name
    QTest::addColumn<bool>("writable");    // and the file can be written there
    QTest::addColumn<bool>("goesOn");      // maybeSave's answer
    QTest::addColumn<bool>("saved");

    using U = PatternEditor::Unsaved;
    QTest::newRow("save") << int(U::Save) << true << true << true << true;
    QTest::newRow("save, dialog cancelled") << int(U::Save) << false << true << false << false;
    QTest::newRow("save, not writable") << int(U::Save) << true << false << false << false;
    QTest::newRow("discard") << int(U::Discard) << true << true << true << false;
    QTest::newRow("cancel") << int(U::Cancel) << true << true << false << false;
}

void TestPatternEditor::unsavedFormulaIsNeverDroppedSilently()
{
    QFETCH(int, answer);
    QFETCH(bool, chooseFile);
    QFETCH(bool, writable);
    QFETCH(bool, goesOn);
    QFETCH(bool, saved);

    QTemporaryDir dir;
    const QString path = dir.filePath(writable ? "kept.glimra" : "no such folder/kept.glimra");
    PatternEditor editor;
    int asked = 0;
    editor.setUnsavedQuestion([&](const QString& name) {
        ++asked;
        // The question names what is at stake.
        [&] { QCOMPARE(name, QStringLiteral("Untitled formula")); }();
        return PatternEditor::Unsaved(answer);
    });
    editor.setSaveChooser([&](const QString&) { return chooseFile ? path : QString(); });

    // Nothing written, nothing asked.
    QVERIFY(editor.maybeSave());
    QCOMPARE(asked, 0);

    editor.show();
    QTest::keyClicks(editor.textArea(), "red = 1");
    QCOMPARE(editor.maybeSave(), goesOn);
    QCOMPARE(asked, 1);
    QCOMPARE(QFile::exists(path), saved);
    QCOMPARE(editor.text(), QStringLiteral("red = 1"));
    if (saved)
        QCOMPARE(contents(path), QByteArray("red = 1"));
    if (!goesOn) {
        // Still there to be saved: closing asks again, and a formula from
        // outside does not replace it.
        QVERIFY(editor.isModified());
        QVERIFY(!editor.close());
        QVERIFY(editor.isVisible());
        QCOMPARE(asked, 2);
        QVERIFY(!editor.setText(kRight, true));
        QCOMPARE(editor.text(), QStringLiteral("red = 1"));
        QCOMPARE(asked, 3);
    }
    if (!writable)
        QVERIFY2(editor.status().startsWith("Not saved"), qPrintable(editor.status()));
}

void TestPatternEditor::everyControlIsNamedAndReachedByTab()
{
    PatternEditor editor;
    editor.show();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QTest::keyClicks(editor.textArea(), "red = 1");
    // Tab leaves the text rather than typing into it, and comes round to it
    // again through every control.
    QSet<QWidget*> reached;
    for (int k = 0; k < 20 && !reached.contains(QApplication::focusWidget()); ++k) {
        reached.insert(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(editor.text(), QStringLiteral("red = 1"));
    QCOMPARE(QApplication::focusWidget(), editor.textArea());
    const QList<QPushButton*> buttons = editor.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 7);
    for (QPushButton* b : buttons) {
        QVERIFY2(!b->accessibleName().isEmpty(), qPrintable(b->objectName()));
        // Undo and Redo wait for something to undo or redo.
        QVERIFY2(reached.contains(b) || !b->isEnabled(), qPrintable(b->objectName()));
    }
    QVERIFY(!editor.textArea()->accessibleName().isEmpty());
}

QTEST_MAIN(TestPatternEditor)
#include "test_pattern_editor.moc"
