// The program editor widget: zoom limits, error-line mark, lines, highlighting on and off, long
// texts loaded and replaced in slices.

#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "widgets/CodeEditor.h"
#include "widgets/ProgramHighlighter.h"

class CodeEditorTest : public QObject {
  Q_OBJECT

 private slots:
  void zoomStopsAt8And48Points() {
    CodeEditor editor;
    QCOMPARE(editor.pointSize(), 8);
    QVERIFY(!editor.zoomOutOnePoint());
    int steps = 0;
    while (editor.zoomInOnePoint()) ++steps;
    QCOMPARE(steps, 40);
    QCOMPARE(editor.pointSize(), 48);
    QVERIFY(editor.zoomOutOnePoint());
    QCOMPARE(editor.pointSize(), 47);
  }

  void errorMarkLastsUntilTheNextEdit() {
    CodeEditor editor;
    editor.setLines({QStringLiteral("G01"), QStringLiteral("X1")});
    QCOMPARE(editor.lines(), (QStringList{QStringLiteral("G01"), QStringLiteral("X1")}));
    editor.setErrorLine(1);
    QCOMPARE(editor.errorLine(), 1);
    editor.insertPlainText(QStringLiteral("A"));
    QCOMPARE(editor.errorLine(), -1);
    editor.clear();
    QVERIFY(editor.lines().isEmpty());
  }

  void highlightsTheLinesOnScreenAsTheyChangeAndOnlyWhenActive() {
    CodeEditor editor;
    auto *highlighter = new ProgramHighlighter(&editor);
    QStringList lines{QStringLiteral("N10 G01 X-5.5 (ось X) ; конец")};
    for (int i = 0; i < 2000; ++i) lines.append(QStringLiteral("G01 X1"));
    editor.setLines(lines);
    editor.resize(400, 300);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    const QTextBlock first = editor.document()->firstBlock();
    auto formatAt = [](const QTextBlock &block, int pos) {
      for (const auto &r : block.layout()->formats())
        if (pos >= r.start && pos < r.start + r.length) return r.format;
      return QTextCharFormat();
    };
    QTRY_VERIFY(!first.layout()->formats().isEmpty());
    QCOMPARE(formatAt(first, 0).foreground(), highlighter->letterFormat().foreground());   // N
    QCOMPARE(formatAt(first, 1).foreground(), highlighter->numberFormat().foreground());   // 10
    QCOMPARE(formatAt(first, 9).foreground(), highlighter->numberFormat().foreground());   // -5.5
    QCOMPARE(formatAt(first, 15).foreground(), highlighter->commentFormat().foreground()); // (ось X)
    QCOMPARE(formatAt(first, 18).foreground(), highlighter->commentFormat().foreground()); // X inside the comment
    QCOMPARE(formatAt(first, 26).foreground(), highlighter->commentFormat().foreground()); // after ";"

    // A line far below the view is coloured when it comes into view, not before.
    const QTextBlock far = editor.document()->findBlockByNumber(1500);
    QVERIFY(far.layout()->formats().isEmpty());
    editor.setTextCursor(QTextCursor(far));
    QTRY_VERIFY(!far.layout()->formats().isEmpty());

    // An edit colours its line afresh: "(" at its start makes the line a comment.
    QTextCursor(far).insertText(QStringLiteral("("));
    QTRY_COMPARE(formatAt(far, 1).foreground(), highlighter->commentFormat().foreground());

    highlighter->setActive(false);
    editor.setPlainText(QStringLiteral("000000: 47 30 B1 0A "));
    editor.viewport()->repaint();
    QVERIFY(editor.document()->firstBlock().layout()->formats().isEmpty());
  }

  // A long text comes in from the event loop; meanwhile rawText() is the whole text already.
  void loadsALongTextInSlices() {
    CodeEditor editor;
    QStringList lines;
    for (int i = 0; i < 60000; ++i) lines.append(QStringLiteral("N%1 G01 X%2").arg(i).arg(i % 97));
    const QString text = lines.join(QLatin1Char('\n'));
    QSignalSpy finished(&editor, &CodeEditor::workFinished);
    editor.loadText(text);
    QCOMPARE(editor.work(), CodeEditor::Work::Loading);
    QCOMPARE(editor.rawText(), lines.join(QChar::ParagraphSeparator));
    QVERIFY(finished.wait(20000));
    QCOMPARE(editor.work(), CodeEditor::Work::None);
    QCOMPARE(editor.lines(), lines);
    QVERIFY(!editor.document()->isUndoAvailable());
    // Searches run over the text loaded and follow later edits.
    QVERIFY(editor.findText(QStringLiteral("n59999 g01"), true, false));
    QCOMPARE(editor.textCursor().selectedText(), QStringLiteral("N59999 G01"));
    QTextCursor(editor.document()->findBlockByNumber(10)).insertText(QStringLiteral("ПОИСК "));
    editor.moveCursor(QTextCursor::Start);
    QVERIFY(editor.findText(QStringLiteral("поиск"), true, false));
    QCOMPARE(editor.textCursor().blockNumber(), 10);
    QVERIFY(editor.findText(QStringLiteral("N9 G01"), false, true));
    QCOMPARE(editor.textCursor().blockNumber(), 9);

    // A short text is shown at once and ends a load still under way.
    editor.loadText(text);
    editor.loadText(QStringLiteral("G01\nM02"));
    QCOMPARE(editor.work(), CodeEditor::Work::None);
    QCOMPARE(editor.lines(), (QStringList{QStringLiteral("G01"), QStringLiteral("M02")}));
  }

  // Replace all, at once for a few hits and in slices for many: the same text, one undo step, the
  // caret after the last replacement; nothing is replaced while other work runs.
  void replaceAllGivesTheSameTextAtOnceOrInSlices() {
    for (const int hits : {3, 5000}) {
      CodeEditor editor;
      QStringList lines, expected;
      for (int i = 0; i < hits; ++i) {
        lines.append(QStringLiteral("G01 x1 X22"));
        expected.append(QStringLiteral("G01 Y1 Y22"));
      }
      editor.setLines(lines);
      QSignalSpy finished(&editor, &CodeEditor::workFinished);
      QCOMPARE(editor.replaceAll(QStringLiteral("X"), QStringLiteral("Y"), false), 2 * hits);
      if (hits > 1000) {
        QCOMPARE(editor.work(), CodeEditor::Work::Replacing);
        QVERIFY(editor.isReadOnly());
        QVERIFY(!editor.window()->isEnabled());
        QVERIFY(!editor.findText(QStringLiteral("G01"), true, false));
        QCOMPARE(editor.replaceAll(QStringLiteral("G"), QStringLiteral("H"), false), 0);
        QVERIFY(finished.wait(20000));
        QVERIFY(!editor.isReadOnly());
        QVERIFY(editor.window()->isEnabled());
      }
      QCOMPARE(editor.lines(), expected);
      QCOMPARE(editor.textCursor().position(), editor.document()->characterCount() - 3);  // before the last "22"
      QVERIFY(editor.findText(QStringLiteral("y22"), false, false));  // the search text followed
      editor.undo();
      QCOMPARE(editor.lines(), lines);
    }
  }
};

QTEST_MAIN(CodeEditorTest)
#include "CodeEditorTest.moc"
