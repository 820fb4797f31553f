#pragma once
// "Настройки проекта": time-out factor, processing, project type and the format options. The
// caller sets the options, runs exec() and reads them back after OK.

#include <QDialog>

#include "project/Options.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QSlider;

class SettingsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SettingsDialog(QWidget *parent = nullptr);

  // What the dialog shows when it is shown next; options() holds what OK took from the widgets
  // (Отмена leaves them as they were set).
  void setOptions(const kalvort::Options &options) { options_ = options; }
  const kalvort::Options &options() const { return options_; }
  // The project type may not be changed (a networked controller): its list stays disabled.
  void setProjectTypeFixed(bool fixed) { project_type_fixed_ = fixed; }

 protected:
  void showEvent(QShowEvent *event) override;

 private:
  // Fills the widgets from the options.
  void showOptions();
  // Reads the widgets into the options.
  void takeOptions();

  QSlider *timeout_slider_ = nullptr;
  QCheckBox *process_check_ = nullptr;
  QComboBox *project_type_combo_ = nullptr;
  QGroupBox *nc31_group_ = nullptr;
  QCheckBox *merge_check_ = nullptr;
  QGroupBox *format_2c42_group_ = nullptr;
  QCheckBox *keep_numbers_check_ = nullptr;
  QCheckBox *drop_spaces_check_ = nullptr;
  QCheckBox *drop_empty_check_ = nullptr;
  QCheckBox *vz20_check_ = nullptr;
  QPushButton *ok_button_ = nullptr;
  QPushButton *cancel_button_ = nullptr;

  bool project_type_fixed_ = false;
  kalvort::Options options_;
};
