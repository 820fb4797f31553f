#include "dialogs/FilePropertiesDialog.h"
#include "widgets/QtText.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "device/DevCatalog.h"
#include "formats/TextUtil.h"

FilePropertiesDialog::FilePropertiesDialog(QWidget *parent) : QDialog(parent) {
  number_edit_ = new QLineEdit(this);
  number_edit_->setObjectName(QStringLiteral("numberEdit"));
  number_edit_->setAlignment(Qt::AlignRight);
  name_edit_ = new QLineEdit(this);
  name_edit_->setObjectName(QStringLiteral("nameEdit"));

  type_group_ = new QGroupBox(QStringLiteral("Тип файла"), this);
  type_group_->setObjectName(QStringLiteral("typeGroup"));
  text_radio_ = new QRadioButton(QStringLiteral("Текст"), type_group_);
  text_radio_->setObjectName(QStringLiteral("textRadio"));
  binary_radio_ = new QRadioButton(QStringLiteral("Двоичный"), type_group_);
  binary_radio_->setObjectName(QStringLiteral("binaryRadio"));
  auto *typeLayout = new QVBoxLayout(type_group_);
  typeLayout->addWidget(text_radio_);
  typeLayout->addWidget(binary_radio_);

  for_all_check_ = new QCheckBox(QStringLiteral("Для всех"), this);
  for_all_check_->setObjectName(QStringLiteral("forAllCheck"));

  auto *buttons = new QDialogButtonBox(this);
  QPushButton *ok = buttons->addButton(QStringLiteral("ОК"), QDialogButtonBox::AcceptRole);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  QPushButton *cancel = buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto *form = new QFormLayout;
  form->addRow(QStringLiteral("Номер:"), number_edit_);
  form->addRow(QStringLiteral("Название:"), name_edit_);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(type_group_);
  layout->addWidget(for_all_check_);
  layout->addWidget(buttons);
  name_edit_->setMinimumWidth(260);

  connect(number_edit_, &QLineEdit::textChanged, this, &FilePropertiesDialog::numberChanged);
  connect(name_edit_, &QLineEdit::textChanged, this, &FilePropertiesDialog::nameChanged);
  connect(text_radio_, &QRadioButton::toggled, this, [this](bool on) { properties_.text = on; });
  connect(for_all_check_, &QCheckBox::toggled, this, [this](bool on) { for_all_chosen_ = on; });
}

void FilePropertiesDialog::setProperties(const FileProperties &properties) { properties_ = properties; }

void FilePropertiesDialog::setTypeEditable(bool editable) { type_group_->setEnabled(editable); }

void FilePropertiesDialog::setNumberAndNameEditable(bool editable) {
  number_edit_->setEnabled(editable);
  name_edit_->setEnabled(editable);
}

void FilePropertiesDialog::load() {
  // Filling the fields runs their change handlers: work from a copy.
  const FileProperties shown = properties_;
  number_edit_->setText(QString::number(shown.number));
  name_edit_->setText(shown.name);
  properties_ = shown;
  text_radio_->setChecked(shown.text);
  binary_radio_->setChecked(!shown.text);
  for_all_check_->setVisible(for_all_offered_);
  for_all_check_->setChecked(false);
  for_all_chosen_ = false;
}

void FilePropertiesDialog::showEvent(QShowEvent *event) {
  load();
  QDialog::showEvent(event);
}

void FilePropertiesDialog::numberChanged(const QString &text) {
  int32_t value = 0;
  number_valid_ = kalvort::parseInt32(toU16(text.trimmed()), false, value);
  if (number_valid_) properties_.number = value;
  QPalette pal = number_edit_->palette();
  pal.setColor(QPalette::Text, number_valid_ ? palette().color(QPalette::Text) : QColor(Qt::red));
  number_edit_->setPalette(pal);
}

void FilePropertiesDialog::nameChanged(const QString &text) {
  // The entry stores at most 128 bytes of name: cut here, so the user sees what is kept.
  const std::u16string fitted = kalvort::FitCatalogName(toU16(text));
  if (fitted.size() != static_cast<size_t>(text.size())) {
    const QString cut = fromU16(fitted);
    const int caret = qMin(name_edit_->cursorPosition(), static_cast<int>(cut.size()));
    const QSignalBlocker block(name_edit_);
    name_edit_->setText(cut);
    name_edit_->setCursorPosition(caret);
    properties_.name = cut;
    return;
  }
  properties_.name = text;
}

void FilePropertiesDialog::done(int result) {
  number_edit_->setEnabled(true);
  name_edit_->setEnabled(true);
  QDialog::done(result);
}
