#include "dialogs/VerifyDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

TVerifyForm::TVerifyForm(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("VerifyForm"));
  setWindowTitle(QStringLiteral("Сверить с МП"));
  SummaryLabel = new QLabel(this);
  SummaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
  DiffGrid = new QTableWidget(0, 3, this);
  DiffGrid->setObjectName(QStringLiteral("DiffGrid"));
  DiffGrid->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("Имя"), QStringLiteral("Различие")});
  DiffGrid->verticalHeader()->hide();
  DiffGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DiffGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  DiffGrid->horizontalHeader()->setStretchLastSection(true);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(SummaryLabel);
  layout->addWidget(DiffGrid);
  layout->addWidget(buttons);
}

void TVerifyForm::setDifferences(const std::vector<kalvort::VerifyDifference> &differences) {
  DiffGrid->setRowCount(static_cast<int>(differences.size()));
  int row = 0;
  for (const auto &d : differences) {
    // Numbered from 1, as the catalog list shows the same program.
    DiffGrid->setItem(row, 0, new QTableWidgetItem(d.cat_num >= 0 ? QString::number(d.cat_num + 1) : QString()));
    DiffGrid->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(d.name)));
    DiffGrid->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(d.what)));
    ++row;
  }
  DiffGrid->resizeColumnToContents(0);
  DiffGrid->resizeColumnToContents(1);
  DiffGrid->setVisible(!differences.empty());
  // Without a table the dialog shrinks to its line and button.
  if (differences.empty())
    adjustSize();
  else
    resize(640, 360);
  SummaryLabel->setText(differences.empty()
                            ? QStringLiteral("Проект и МП совпадают.")
                            : QStringLiteral("Различий: %1").arg(differences.size()));
}
