#include "dialogs/SettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace {

QCheckBox *NamedCheck(const QString &text, const char *name, QWidget *parent) {
  auto *box = new QCheckBox(text, parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setAccessibleName(text);
  return box;
}

QLabel *SmallLabel(const QString &text, Qt::Alignment align, QWidget *parent) {
  auto *label = new QLabel(text, parent);
  label->setAlignment(align);
  label->setAccessibleName(text);
  return label;
}

}  // namespace

SettingsDialog::SettingsDialog(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("SettingsDialog"));
  setWindowTitle(QStringLiteral("Настройки проекта"));
  setAccessibleName(QStringLiteral("Настройки проекта"));
  auto *layout = new QVBoxLayout(this);

  const QString timeoutText = QStringLiteral("Таймаут на операции обращения к модулям памяти");
  layout->addWidget(SmallLabel(timeoutText, Qt::AlignLeft, this));
  timeout_slider_ = new QSlider(Qt::Horizontal, this);
  timeout_slider_->setObjectName(QStringLiteral("TimeoutSlider"));
  timeout_slider_->setRange(1, 5);
  timeout_slider_->setSingleStep(1);
  timeout_slider_->setPageStep(1);
  timeout_slider_->setTickPosition(QSlider::TicksBelow);
  timeout_slider_->setTickInterval(1);
  timeout_slider_->setAccessibleName(timeoutText);
  layout->addWidget(timeout_slider_);
  auto *ends = new QGridLayout;
  ends->addWidget(SmallLabel(QStringLiteral("min"), Qt::AlignLeft, this), 0, 0);
  ends->addWidget(SmallLabel(QStringLiteral(" (Быстрые ПК)"), Qt::AlignLeft, this), 1, 0);
  ends->addWidget(SmallLabel(QStringLiteral("max"), Qt::AlignRight, this), 0, 1);
  ends->addWidget(SmallLabel(QStringLiteral(" (Медленные ПК)"), Qt::AlignRight, this), 1, 1);
  layout->addLayout(ends);

  process_check_ = NamedCheck(QStringLiteral("Обрабатывать файлы"), "ProcessCheck", this);
  layout->addWidget(process_check_);
  auto *typeRow = new QHBoxLayout;
  auto *typeLabel = SmallLabel(QStringLiteral("Тип проекта"), Qt::AlignLeft | Qt::AlignVCenter, this);
  typeRow->addWidget(typeLabel);
  project_type_combo_ = new QComboBox(this);
  project_type_combo_->setObjectName(QStringLiteral("ProjectTypeCombo"));
  project_type_combo_->addItems({QStringLiteral("2С42, 2Р22"), QStringLiteral("НЦ-31, МС-2109")});
  project_type_combo_->setAccessibleName(QStringLiteral("Тип проекта"));
  typeLabel->setBuddy(project_type_combo_);
  typeRow->addWidget(project_type_combo_, 1);
  layout->addLayout(typeRow);

  nc31_group_ = new QGroupBox(QStringLiteral("НЦ-31,МС-2109"), this);
  nc31_group_->setObjectName(QStringLiteral("Nc31Group"));
  nc31_group_->setAccessibleName(nc31_group_->title());
  auto *nc = new QVBoxLayout(nc31_group_);
  merge_check_ = NamedCheck(QStringLiteral("Объединять слова в одну команду"), "MergeCheck", nc31_group_);
  nc->addWidget(merge_check_);
  layout->addWidget(nc31_group_);

  format_2c42_group_ = new QGroupBox(QStringLiteral("2C42,2P22"), this);
  format_2c42_group_->setObjectName(QStringLiteral("Format2C42Group"));
  format_2c42_group_->setAccessibleName(format_2c42_group_->title());
  auto *f = new QVBoxLayout(format_2c42_group_);
  keep_numbers_check_ = NamedCheck(QStringLiteral("Сохранять номера программ при перемещении по каталогу"),
                                   "FixProgNumCheck", format_2c42_group_);
  drop_spaces_check_ = NamedCheck(QStringLiteral("Удалять пробелы"), "DelSpaceCheck", format_2c42_group_);
  drop_empty_check_ = NamedCheck(QStringLiteral("Удалять пустые строки"), "DelEmptyCheck", format_2c42_group_);
  vz20_check_ = NamedCheck(QStringLiteral("ВЗ-20х"), "Vz200Check", format_2c42_group_);
  for (QCheckBox *box : {keep_numbers_check_, drop_spaces_check_, drop_empty_check_, vz20_check_}) f->addWidget(box);
  layout->addWidget(format_2c42_group_);

  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  ok_button_ = new QPushButton(QStringLiteral("ОК"), this);
  ok_button_->setObjectName(QStringLiteral("OkButton"));
  ok_button_->setAccessibleName(QStringLiteral("ОК"));
  ok_button_->setDefault(true);
  cancel_button_ = new QPushButton(QStringLiteral("Отмена"), this);
  cancel_button_->setObjectName(QStringLiteral("CancelButton"));
  cancel_button_->setAccessibleName(QStringLiteral("Отмена"));
  buttons->addWidget(ok_button_);
  buttons->addWidget(cancel_button_);
  layout->addLayout(buttons);

  // Ticking "Обрабатывать файлы" later switches the project type list only; the НЦ-31 box keeps
  // the state it got when the dialog was shown.
  connect(process_check_, &QCheckBox::toggled, this,
          [this](bool on) { project_type_combo_->setEnabled(!project_type_fixed_ && on); });
  connect(ok_button_, &QPushButton::clicked, this, [this] {
    takeOptions();
    accept();
  });
  connect(cancel_button_, &QPushButton::clicked, this, &QDialog::reject);
}

void SettingsDialog::showEvent(QShowEvent *event) {
  showOptions();
  QDialog::showEvent(event);
}

void SettingsDialog::showOptions() {
  timeout_slider_->setValue(options_.timeout_factor);
  process_check_->setChecked(options_.processing.enabled);
  project_type_combo_->setCurrentIndex(options_.processing.project_type == 1 ? 1 : 0);
  merge_check_->setChecked(options_.merge_nc31_words);
  keep_numbers_check_->setChecked(options_.keep_program_numbers);
  drop_spaces_check_->setChecked(options_.drop_spaces);
  drop_empty_check_->setChecked(options_.drop_empty_lines);
  vz20_check_->setChecked(options_.vz20_format);
  project_type_combo_->setEnabled(!project_type_fixed_ && options_.processing.enabled);
  merge_check_->setEnabled(options_.processing.enabled);
}

void SettingsDialog::takeOptions() {
  options_.timeout_factor = timeout_slider_->value();
  options_.processing.enabled = process_check_->isChecked();
  options_.processing.project_type = project_type_combo_->currentIndex();
  options_.merge_nc31_words = merge_check_->isChecked();
  options_.keep_program_numbers = keep_numbers_check_->isChecked();
  options_.drop_spaces = drop_spaces_check_->isChecked();
  options_.drop_empty_lines = drop_empty_check_->isChecked();
  options_.vz20_format = vz20_check_->isChecked();
}
