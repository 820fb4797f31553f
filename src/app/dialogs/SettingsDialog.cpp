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

TSettingsForm::TSettingsForm(QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TSettingsForm"));
  setWindowTitle(QStringLiteral("Настройки проекта"));
  setAccessibleName(QStringLiteral("Настройки проекта"));
  auto *layout = new QVBoxLayout(this);

  const QString timeoutText = QStringLiteral("Таймаут на операции обращения к модулям памяти");
  layout->addWidget(SmallLabel(timeoutText, Qt::AlignLeft, this));
  TimeoutSlider = new QSlider(Qt::Horizontal, this);
  TimeoutSlider->setObjectName(QStringLiteral("TimeoutSlider"));
  TimeoutSlider->setRange(1, 5);
  TimeoutSlider->setSingleStep(1);
  TimeoutSlider->setPageStep(1);
  TimeoutSlider->setTickPosition(QSlider::TicksBelow);
  TimeoutSlider->setTickInterval(1);
  TimeoutSlider->setAccessibleName(timeoutText);
  layout->addWidget(TimeoutSlider);
  auto *ends = new QGridLayout;
  ends->addWidget(SmallLabel(QStringLiteral("min"), Qt::AlignLeft, this), 0, 0);
  ends->addWidget(SmallLabel(QStringLiteral(" (Быстрые ПК)"), Qt::AlignLeft, this), 1, 0);
  ends->addWidget(SmallLabel(QStringLiteral("max"), Qt::AlignRight, this), 0, 1);
  ends->addWidget(SmallLabel(QStringLiteral(" (Медленные ПК)"), Qt::AlignRight, this), 1, 1);
  layout->addLayout(ends);

  ProcessCheck = NamedCheck(QStringLiteral("Обрабатывать файлы"), "ProcessCheck", this);
  layout->addWidget(ProcessCheck);
  auto *typeRow = new QHBoxLayout;
  auto *typeLabel = SmallLabel(QStringLiteral("Тип проекта"), Qt::AlignLeft | Qt::AlignVCenter, this);
  typeRow->addWidget(typeLabel);
  ProjectTypeCombo = new QComboBox(this);
  ProjectTypeCombo->setObjectName(QStringLiteral("ProjectTypeCombo"));
  ProjectTypeCombo->addItems({QStringLiteral("2С42, 2Р22"), QStringLiteral("НЦ-31, МС-2109")});
  ProjectTypeCombo->setAccessibleName(QStringLiteral("Тип проекта"));
  typeLabel->setBuddy(ProjectTypeCombo);
  typeRow->addWidget(ProjectTypeCombo, 1);
  layout->addLayout(typeRow);

  Nc31Group = new QGroupBox(QStringLiteral("НЦ-31,МС-2109"), this);
  Nc31Group->setAccessibleName(Nc31Group->title());
  auto *nc = new QVBoxLayout(Nc31Group);
  MergeCheck = NamedCheck(QStringLiteral("Объединять слова в одну команду"), "MergeCheck", Nc31Group);
  nc->addWidget(MergeCheck);
  layout->addWidget(Nc31Group);

  Format2C42Group = new QGroupBox(QStringLiteral("2C42,2P22"), this);
  Format2C42Group->setAccessibleName(Format2C42Group->title());
  auto *f = new QVBoxLayout(Format2C42Group);
  FixProgNumCheck = NamedCheck(QStringLiteral("Сохранять номера программ при перемещении по каталогу"),
                               "FixProgNumCheck", Format2C42Group);
  DelSpaceCheck = NamedCheck(QStringLiteral("Удалять пробелы"), "DelSpaceCheck", Format2C42Group);
  DelEmptyCheck = NamedCheck(QStringLiteral("Удалять пустые строки"), "DelEmptyCheck", Format2C42Group);
  Vz200Check = NamedCheck(QStringLiteral("ВЗ-20х"), "Vz200Check", Format2C42Group);
  for (QCheckBox *box : {FixProgNumCheck, DelSpaceCheck, DelEmptyCheck, Vz200Check}) f->addWidget(box);
  layout->addWidget(Format2C42Group);

  auto *buttons = new QHBoxLayout;
  buttons->addStretch(1);
  OkButton = new QPushButton(QStringLiteral("ОК"), this);
  OkButton->setObjectName(QStringLiteral("OkButton"));
  OkButton->setAccessibleName(QStringLiteral("ОК"));
  OkButton->setDefault(true);
  CancelButton = new QPushButton(QStringLiteral("Отмена"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));
  CancelButton->setAccessibleName(QStringLiteral("Отмена"));
  buttons->addWidget(OkButton);
  buttons->addWidget(CancelButton);
  layout->addLayout(buttons);

  // Ticking "Обрабатывать файлы" later switches the project type list only; the НЦ-31 box keeps
  // the state it got when the dialog was shown.
  connect(ProcessCheck, &QCheckBox::toggled, this,
          [this](bool on) { ProjectTypeCombo->setEnabled(!fix_proc_type && on); });
  connect(OkButton, &QPushButton::clicked, this, [this] {
    TakeOptions();
    accept();
  });
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TSettingsForm::showEvent(QShowEvent *event) {
  ShowOptions();
  QDialog::showEvent(event);
}

void TSettingsForm::ShowOptions() {
  TimeoutSlider->setValue(options.timeout_factor);
  ProcessCheck->setChecked(options.processing.enabled);
  ProjectTypeCombo->setCurrentIndex(options.processing.project_type == 1 ? 1 : 0);
  MergeCheck->setChecked(options.merge_nc31_words);
  FixProgNumCheck->setChecked(options.keep_program_numbers);
  DelSpaceCheck->setChecked(options.drop_spaces);
  DelEmptyCheck->setChecked(options.drop_empty_lines);
  Vz200Check->setChecked(options.vz20_format);
  ProjectTypeCombo->setEnabled(!fix_proc_type && options.processing.enabled);
  MergeCheck->setEnabled(options.processing.enabled);
}

void TSettingsForm::TakeOptions() {
  options.timeout_factor = TimeoutSlider->value();
  options.processing.enabled = ProcessCheck->isChecked();
  options.processing.project_type = ProjectTypeCombo->currentIndex();
  options.merge_nc31_words = MergeCheck->isChecked();
  options.keep_program_numbers = FixProgNumCheck->isChecked();
  options.drop_spaces = DelSpaceCheck->isChecked();
  options.drop_empty_lines = DelEmptyCheck->isChecked();
  options.vz20_format = Vz200Check->isChecked();
}
