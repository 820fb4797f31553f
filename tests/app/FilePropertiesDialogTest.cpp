// The file properties dialog: number parsing, name length, type and "Для всех".

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "dialogs/FilePropertiesDialog.h"

namespace {

template <class T>
T *Child(QDialog &dialog, const char *name) {
  T *child = dialog.findChild<T *>(QString::fromLatin1(name));
  if (!child) qFatal("no %s in the dialog", name);
  return child;
}

QLineEdit *NumberEdit(QDialog &d) { return Child<QLineEdit>(d, "numberEdit"); }
QLineEdit *NameEdit(QDialog &d) { return Child<QLineEdit>(d, "nameEdit"); }
QCheckBox *ForAll(QDialog &d) { return Child<QCheckBox>(d, "forAllCheck"); }

}  // namespace

class FilePropertiesDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void fillsFromThePropertiesAndReadsBack() {
    FilePropertiesDialog form;
    form.setProperties({17, QStringLiteral("Вал"), false});
    form.setForAllOffered(true);
    form.show();
    QCOMPARE(NumberEdit(form)->text(), QStringLiteral("17"));
    QCOMPARE(NameEdit(form)->text(), QStringLiteral("Вал"));
    QVERIFY(Child<QRadioButton>(form, "binaryRadio")->isChecked());
    QVERIFY(ForAll(form)->isVisible());
    QVERIFY(!ForAll(form)->isChecked());
    QVERIFY(!form.forAllChosen());
    QCOMPARE(NumberEdit(form)->alignment() & Qt::AlignRight, Qt::AlignRight);

    Child<QRadioButton>(form, "textRadio")->setChecked(true);
    ForAll(form)->setChecked(true);
    QVERIFY(form.properties().text);
    QVERIFY(form.forAllChosen());
    Child<QPushButton>(form, "okButton")->click();
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.properties().number, 17);
    QCOMPARE(form.properties().name, QStringLiteral("Вал"));
  }

  void badNumberTurnsRedAndKeepsTheLastValue() {
    FilePropertiesDialog form;
    form.setProperties({5, QString(), true});
    form.show();
    const QColor normal = NumberEdit(form)->palette().color(QPalette::Text);
    NumberEdit(form)->setText(QStringLiteral("12"));
    QCOMPARE(form.properties().number, 12);
    NumberEdit(form)->setText(QStringLiteral("12x"));
    QVERIFY(!form.numberValid());
    QCOMPARE(form.properties().number, 12);
    QCOMPARE(NumberEdit(form)->palette().color(QPalette::Text), QColor(Qt::red));
    NumberEdit(form)->setText(QStringLiteral("-3"));
    QCOMPARE(form.properties().number, -3);
    QCOMPARE(NumberEdit(form)->palette().color(QPalette::Text), normal);
    NumberEdit(form)->setText(QStringLiteral("x"));
    Child<QPushButton>(form, "okButton")->click();  // OK closes even with a red number
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.properties().number, -3);
  }

  void nameIsCutAt128Bytes() {
    FilePropertiesDialog form;
    form.show();
    NameEdit(form)->setText(QString(200, QChar(0x0416)));  // Ж: one byte each in Windows-1251
    QCOMPARE(NameEdit(form)->text(), QString(128, QChar(0x0416)));
    QCOMPARE(form.properties().name, NameEdit(form)->text());
    // A character outside the BMP is one byte too and is never split.
    NameEdit(form)->setText(QString(127, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("b"));
    QCOMPARE(form.properties().name.size(), 129);
    QVERIFY(form.properties().name.back().isLowSurrogate());
  }

  void cancelAndFieldsEnabledAgain() {
    FilePropertiesDialog form;
    form.setForAllOffered(false);
    form.show();
    QVERIFY(!ForAll(form)->isVisible());
    form.setNumberAndNameEditable(false);
    QVERIFY(!NumberEdit(form)->isEnabled());
    QVERIFY(!NameEdit(form)->isEnabled());
    Child<QPushButton>(form, "cancelButton")->click();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QVERIFY(NumberEdit(form)->isEnabled());
    QVERIFY(NameEdit(form)->isEnabled());
  }
};

QTEST_MAIN(FilePropertiesDialogTest)
#include "FilePropertiesDialogTest.moc"
