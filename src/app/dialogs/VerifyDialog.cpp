#include "dialogs/VerifyDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

VerifyDialog::VerifyDialog(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("VerifyForm"));
  setWindowTitle(QStringLiteral("Сверить с МП"));
  summary_label_ = new QLabel(this);
  summary_label_->setObjectName(QStringLiteral("SummaryLabel"));
  diff_grid_ = new QTableWidget(0, 3, this);
  diff_grid_->setObjectName(QStringLiteral("DiffGrid"));
  diff_grid_->setHorizontalHeaderLabels({QStringLiteral("№"), QStringLiteral("Имя"), QStringLiteral("Различие")});
  diff_grid_->verticalHeader()->hide();
  diff_grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  diff_grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  diff_grid_->horizontalHeader()->setStretchLastSection(true);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(summary_label_);
  layout->addWidget(diff_grid_);
  layout->addWidget(buttons);
}

void VerifyDialog::setDifferences(const std::vector<kalvort::VerifyDifference> &differences) {
  diff_grid_->setRowCount(static_cast<int>(differences.size()));
  int row = 0;
  for (const auto &d : differences) {
    // Numbered from 1, as the catalog list shows the same program.
    diff_grid_->setItem(row, 0, new QTableWidgetItem(d.cat_num >= 0 ? QString::number(d.cat_num + 1) : QString()));
    diff_grid_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(d.name)));
    diff_grid_->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(d.what)));
    ++row;
  }
  diff_grid_->resizeColumnToContents(0);
  diff_grid_->resizeColumnToContents(1);
  diff_grid_->setVisible(!differences.empty());
  // Without a table the dialog shrinks to its line and button.
  if (differences.empty())
    adjustSize();
  else
    resize(640, 360);
  summary_label_->setText(differences.empty()
                            ? QStringLiteral("Проект и МП совпадают.")
                            : QStringLiteral("Различий: %1").arg(differences.size()));
}
