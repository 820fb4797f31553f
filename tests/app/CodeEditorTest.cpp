// The program editor widget: zoom limits, error-line mark, lines, highlighting on and off.

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

  void highlightsLettersNumbersCommentsOnlyWhenActive() {
    CodeEditor editor;
    auto *highlighter = new ProgramHighlighter(editor.document());
    editor.setPlainText(QStringLiteral("N10 G01 X-5.5 (ось X) ; конец"));
    const auto formats = editor.document()->firstBlock().layout()->formats();
    auto formatAt = [&](int pos) {
      for (const auto &r : formats)
        if (pos >= r.start && pos < r.start + r.length) return r.format;
      return QTextCharFormat();
    };
    QCOMPARE(formatAt(0).foreground(), highlighter->letterFormat().foreground());   // N
    QCOMPARE(formatAt(1).foreground(), highlighter->numberFormat().foreground());   // 10
    QCOMPARE(formatAt(9).foreground(), highlighter->numberFormat().foreground());   // -5.5
    QCOMPARE(formatAt(15).foreground(), highlighter->commentFormat().foreground()); // (ось X)
    QCOMPARE(formatAt(18).foreground(), highlighter->commentFormat().foreground()); // X inside the comment
    QCOMPARE(formatAt(26).foreground(), highlighter->commentFormat().foreground()); // after ";"

    highlighter->setActive(false);
    editor.setPlainText(QStringLiteral("000000: 47 30 B1 0A "));
    QVERIFY(editor.document()->firstBlock().layout()->formats().isEmpty());
  }
};

QTEST_MAIN(CodeEditorTest)
#include "CodeEditorTest.moc"
