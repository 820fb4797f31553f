// The find and replace dialogs on the program editor.

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "dialogs/FindReplaceDialog.h"
#include "support/DialogWidgets.h"
#include "support/ScriptedDialogs.h"
#include "widgets/CodeEditor.h"

using kalvort::apptest::NamedChild;

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
    auto *down = NamedChild<QRadioButton>(find, "directionDown");
    auto *findEdit = NamedChild<QLineEdit>(find, "findEdit");
    auto *findNext = NamedChild<QPushButton>(find, "findNext");
    auto *matchCase = NamedChild<QCheckBox>(find, "matchCase");
    auto *up = NamedChild<QRadioButton>(find, "directionUp");
    QVERIFY(down->isChecked());
    findEdit->setText(QStringLiteral("g01"));
    findNext->click();
    QCOMPARE(selected(), QStringLiteral("G01"));
    QCOMPARE(editor->textCursor().selectionStart(), 5);  // a line break is one position here
    findNext->click();
    QCOMPARE(selected(), QStringLiteral("g01"));
    findNext->click();
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].title, QStringLiteral("Поиск"));
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Строка не найдена"));
    QCOMPARE(selected(), QStringLiteral("g01"));  // a miss leaves the selection

    findEdit->setText(QStringLiteral("стоп"));
    findNext->click();  // from the line start: the caret stands before СТОП
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(selected(), QStringLiteral("СТОП"));

    matchCase->setChecked(true);
    up->setChecked(true);
    findEdit->setText(QStringLiteral("G01"));
    findNext->click();
    QCOMPARE(editor->textCursor().selectionStart(), 5);
  }

  void replaceOneReplacesTheSelectedMatchThenTheNext() {
    FindReplaceDialog replace(FindReplaceDialog::Mode::Replace, *editor, dialogs, window);
    auto *findEdit = NamedChild<QLineEdit>(replace, "findEdit");
    auto *replaceEdit = NamedChild<QLineEdit>(replace, "replaceEdit");
    auto *findNext = NamedChild<QPushButton>(replace, "findNext");
    auto *replaceButton = NamedChild<QPushButton>(replace, "replace");
    QVERIFY(!replace.findChild<QRadioButton *>(QStringLiteral("directionUp")));
    findEdit->setText(QStringLiteral("g01"));
    replaceEdit->setText(QStringLiteral("G02"));
    findNext->click();
    QCOMPARE(selected(), QStringLiteral("G01"));
    replaceButton->click();
    QCOMPARE(editor->lines()[1], QStringLiteral("N1 G02 X5"));
    replaceButton->click();
    QCOMPARE(editor->lines()[2], QStringLiteral("N2 G02 СТОП"));
    replaceButton->click();
    QCOMPARE(dialogs.asked.size(), 1);
    QCOMPARE(dialogs.asked[0].text, QStringLiteral("Строка не найдена"));
  }

  void replaceAllEndsAfterOnePass() {
    editor->setLines({QStringLiteral("A1 A2"), QStringLiteral("BA")});
    FindReplaceDialog replace(FindReplaceDialog::Mode::Replace, *editor, dialogs, window);
    auto *findEdit = NamedChild<QLineEdit>(replace, "findEdit");
    auto *replaceEdit = NamedChild<QLineEdit>(replace, "replaceEdit");
    auto *replaceAll = NamedChild<QPushButton>(replace, "replaceAll");
    findEdit->setText(QStringLiteral("a"));
    replaceEdit->setText(QStringLiteral("AA"));
    replaceAll->click();
    QCOMPARE(editor->lines(), (QStringList{QStringLiteral("AA1 AA2"), QStringLiteral("BAA")}));
    QVERIFY(dialogs.asked.isEmpty());
    editor->undo();  // one undo step
    QCOMPARE(editor->lines(), (QStringList{QStringLiteral("A1 A2"), QStringLiteral("BA")}));

    // An empty search text replaces nothing (and the buttons wait for a text).
    QCOMPARE(editor->replaceAll(QString(), QStringLiteral("x"), false), 0);
    findEdit->clear();
    QVERIFY(!replaceAll->isEnabled());
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
