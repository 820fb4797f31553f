#pragma once
// "Настройки проекта": time-out factor, processing, project type and the format options. The
// caller fills `options`, runs exec() and reads them back after OK.

#include <QDialog>

#include "project/Options.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QSlider;

class TSettingsForm : public QDialog {
  Q_OBJECT

 public:
  explicit TSettingsForm(QWidget *parent = nullptr);

  bool fix_proc_type = false;  // the project type may not be changed (a networked controller)
  kalvort::Options options;

  QSlider *TimeoutSlider = nullptr;
  QCheckBox *ProcessCheck = nullptr;
  QComboBox *ProjectTypeCombo = nullptr;
  QGroupBox *Nc31Group = nullptr;
  QCheckBox *MergeCheck = nullptr;
  QGroupBox *Format2C42Group = nullptr;
  QCheckBox *FixProgNumCheck = nullptr;
  QCheckBox *DelSpaceCheck = nullptr;
  QCheckBox *DelEmptyCheck = nullptr;
  QCheckBox *Vz200Check = nullptr;
  QPushButton *OkButton = nullptr;
  QPushButton *CancelButton = nullptr;

 protected:
  void showEvent(QShowEvent *event) override;

 private:
  void ShowOptions();
  void TakeOptions();
};
