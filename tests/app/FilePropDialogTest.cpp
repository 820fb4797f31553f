// The file properties dialog: number parsing, name length, type and "Для всех".

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "dialogs/FilePropDialog.h"

class FilePropDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void fillsFromTheDataAndReadsBack() {
    TFilePropForm form;
    form.des_num = 17;
    form.fname = QStringLiteral("Вал");
    form.proc = false;
    form.for_all_visible = true;
    form.for_all = true;
    form.show();
    QCOMPARE(form.numberEdit->text(), QStringLiteral("17"));
    QCOMPARE(form.nameEdit->text(), QStringLiteral("Вал"));
    QVERIFY(form.binaryRadio->isChecked());
    QVERIFY(form.forAllCheck->isVisible());
    QVERIFY(!form.forAllCheck->isChecked());
    QVERIFY(!form.for_all);
    QCOMPARE(form.numberEdit->alignment() & Qt::AlignRight, Qt::AlignRight);

    form.textRadio->setChecked(true);
    form.forAllCheck->setChecked(true);
    QVERIFY(form.proc);
    QVERIFY(form.for_all);
    form.okButton->click();
    QCOMPARE(form.result(), int(QDialog::Accepted));
  }

  void badNumberTurnsRedAndKeepsTheLastValue() {
    TFilePropForm form;
    form.des_num = 5;
    form.show();
    const QColor normal = form.numberEdit->palette().color(QPalette::Text);
    form.numberEdit->setText(QStringLiteral("12"));
    QCOMPARE(form.des_num, 12);
    form.numberEdit->setText(QStringLiteral("12x"));
    QVERIFY(!form.numberValid());
    QCOMPARE(form.des_num, 12);
    QCOMPARE(form.numberEdit->palette().color(QPalette::Text), QColor(Qt::red));
    form.numberEdit->setText(QStringLiteral("-3"));
    QCOMPARE(form.des_num, -3);
    QCOMPARE(form.numberEdit->palette().color(QPalette::Text), normal);
    form.numberEdit->setText(QStringLiteral("x"));
    form.okButton->click();  // OK closes even with a red number
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.des_num, -3);
  }

  void nameIsCutAt128Bytes() {
    TFilePropForm form;
    form.show();
    form.nameEdit->setText(QString(200, QChar(0x0416)));  // Ж: one byte each in Windows-1251
    QCOMPARE(form.nameEdit->text(), QString(128, QChar(0x0416)));
    QCOMPARE(form.fname, form.nameEdit->text());
    // A character outside the BMP is one byte too and is never split.
    form.nameEdit->setText(QString(127, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x98\x80") + QStringLiteral("b"));
    QCOMPARE(form.fname.size(), 129);
    QVERIFY(form.fname.back().isLowSurrogate());
  }

  void cancelAndFieldsEnabledAgain() {
    TFilePropForm form;
    form.for_all_visible = false;
    form.show();
    QVERIFY(!form.forAllCheck->isVisible());
    form.numberEdit->setEnabled(false);
    form.nameEdit->setEnabled(false);
    form.cancelButton->click();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QVERIFY(form.numberEdit->isEnabled());
    QVERIFY(form.nameEdit->isEnabled());
  }
};

QTEST_MAIN(FilePropDialogTest)
#include "FilePropDialogTest.moc"
