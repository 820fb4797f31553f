// The table of "Сверить с МП": rows numbered from 1 like the catalog list.

#include <QTableWidget>
#include <QTest>

#include "dialogs/VerifyDialog.h"
#include "support/DialogWidgets.h"

using kalvort::apptest::NamedChild;

class VerifyDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void programsAreNumberedLikeTheCatalogList() {
    VerifyDialog form;
    form.setDifferences({{0, "O1", "размер"}, {4, "O5", "байты"}, {-1, "", "нет в МП"}});
    const auto *grid = NamedChild<QTableWidget>(form, "DiffGrid");
    QCOMPARE(grid->rowCount(), 3);
    QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("1"));
    QCOMPARE(grid->item(1, 0)->text(), QStringLiteral("5"));
    QCOMPARE(grid->item(2, 0)->text(), QString());  // a program without a catalog number
    QCOMPARE(grid->item(1, 1)->text(), QStringLiteral("O5"));
  }
};

QTEST_MAIN(VerifyDialogTest)
#include "VerifyDialogTest.moc"
