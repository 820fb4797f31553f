// The find and replace dialogs on the program editor.

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "dialogs/FindReplaceDialog.h"
#include "support/ScriptedDialogs.h"
#include "widgets/CodeEditor.h"

class FindReplaceTest : public QObject {
  Q_OBJECT

  QWidget *window = nullptr;
  CodeEditor *editor = nullptr;
  ScriptedDialogs dialogs;

  QString selected() const { return editor->textCursor().selectedText(); }

 private slots:
  void init() {
    window = new QWidget;
    editor = new CodeEditor(window);
    editor->setLines({QStringLiteral("%"), QStringLiteral("N1 G01 X5"), QStringLiteral("N2 g01 СТОП"),
                      QStringLiteral("M30")});
    dialogs.asked.clear();
  }
  void cleanup() { delete window; }

  void findIgnoresCaseByDefaultAndWalksDown() {
    FindReplaceDialog find(FindReplaceDialog::Mode::Find, *editor, dialogs, window);
    QVERIFY(find.downRadio->isChecked());
    find.findEdit->setText(QStringLiteral("g01"));
    find.findNextButton->click();
    QCOMPARE(selected(), QStringLiteral("G01"));
    QCOMPARE(editor->textCursor().selectionStart(), 5);  // a line break is one position here
    find.findNextButton->click();
    QCOMPARE(selected(), QStringLiteral("g01"));
    find.findNextButton->click();
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].title, QStringLiteral("Поиск"));
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Строка не найдена"));
    QCOMPARE(selected(), QStringLiteral("g01"));  // a miss leaves the selection

    find.findEdit->setText(QStringLiteral("стоп"));
    find.findNextButton->click();  // from the line start: the caret stands before СТОП
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(selected(), QStringLiteral("СТОП"));

    find.matchCaseCheck->setChecked(true);
    find.upRadio->setChecked(true);
    find.findEdit->setText(QStringLiteral("G01"));
    find.findNextButton->click();
    QCOMPARE(editor->textCursor().selectionStart(), 5);
  }

  void replaceOneReplacesTheSelectedMatchThenTheNext() {
    FindReplaceDialog replace(FindReplaceDialog::Mode::Replace, *editor, dialogs, window);
    QVERIFY(!replace.upRadio);
    replace.findEdit->setText(QStringLiteral("g01"));
    replace.replaceEdit->setText(QStringLiteral("G02"));
    replace.findNextButton->click();
    QCOMPARE(selected(), QStringLiteral("G01"));
    replace.replaceButton->click();
    QCOMPARE(editor->lines()[1], QStringLiteral("N1 G02 X5"));
    replace.replaceButton->click();
    QCOMPARE(editor->lines()[2], QStringLiteral("N2 G02 СТОП"));
    replace.replaceButton->click();
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Строка не найдена"));
  }

  void replaceAllEndsAfterOnePass() {
    editor->setLines({QStringLiteral("A1 A2"), QStringLiteral("BA")});
    FindReplaceDialog replace(FindReplaceDialog::Mode::Replace, *editor, dialogs, window);
    replace.findEdit->setText(QStringLiteral("a"));
    replace.replaceEdit->setText(QStringLiteral("AA"));
    replace.replaceAllButton->click();
    QCOMPARE(editor->lines(), (QStringList{QStringLiteral("AA1 AA2"), QStringLiteral("BAA")}));
    QVERIFY(dialogs.asked.isEmpty());
    editor->undo();  // one undo step
    QCOMPARE(editor->lines(), (QStringList{QStringLiteral("A1 A2"), QStringLiteral("BA")}));

    // An empty search text replaces nothing (and the buttons wait for a text).
    QCOMPARE(editor->replaceAll(QString(), QStringLiteral("x"), false), 0);
    replace.findEdit->clear();
    QVERIFY(!replace.replaceAllButton->isEnabled());
    QCOMPARE(editor->lines(), (QStringList{QStringLiteral("A1 A2"), QStringLiteral("BA")}));
  }

  void closesWhenTheEditorLosesFocusInsideItsWindow() {
    auto *other = new QLineEdit(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window));
    editor->setFocus();
    FindReplaceDialog find(FindReplaceDialog::Mode::Find, *editor, dialogs, window);
    find.show();
    QVERIFY(find.isVisible());
    other->setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(!find.isVisible());
  }
};

QTEST_MAIN(FindReplaceTest)
#include "FindReplaceTest.moc"
