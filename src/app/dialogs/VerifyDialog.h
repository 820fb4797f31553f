#pragma once
// The result of comparing the project with the module ("Сверить с МП"): a table with one row per
// difference (program number, name, what differs), or the line "Проект и МП совпадают.".

#include <QDialog>
#include <vector>

#include "workflow/ProjectTransfer.h"

class QLabel;
class QTableWidget;

class VerifyDialog : public QDialog {
  Q_OBJECT
 public:
  explicit VerifyDialog(QWidget *parent = nullptr);

  void setDifferences(const std::vector<kalvort::VerifyDifference> &differences);

 private:
  QLabel *summary_label_ = nullptr;
  QTableWidget *diff_grid_ = nullptr;
};
