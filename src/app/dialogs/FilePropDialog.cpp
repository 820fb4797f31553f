#include "dialogs/FilePropDialog.h"
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

TFilePropForm::TFilePropForm(QWidget *parent) : QDialog(parent) {
  numberEdit = new QLineEdit(this);
  numberEdit->setObjectName(QStringLiteral("numberEdit"));
  numberEdit->setAlignment(Qt::AlignRight);
  nameEdit = new QLineEdit(this);
  nameEdit->setObjectName(QStringLiteral("nameEdit"));

  typeGroup = new QGroupBox(QStringLiteral("Тип файла"), this);
  textRadio = new QRadioButton(QStringLiteral("Текст"), typeGroup);
  textRadio->setObjectName(QStringLiteral("textRadio"));
  binaryRadio = new QRadioButton(QStringLiteral("Двоичный"), typeGroup);
  binaryRadio->setObjectName(QStringLiteral("binaryRadio"));
  auto *typeLayout = new QVBoxLayout(typeGroup);
  typeLayout->addWidget(textRadio);
  typeLayout->addWidget(binaryRadio);

  forAllCheck = new QCheckBox(QStringLiteral("Для всех"), this);
  forAllCheck->setObjectName(QStringLiteral("forAllCheck"));

  auto *buttons = new QDialogButtonBox(this);
  okButton = buttons->addButton(QStringLiteral("ОК"), QDialogButtonBox::AcceptRole);
  okButton->setObjectName(QStringLiteral("okButton"));
  okButton->setDefault(true);
  cancelButton = buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto *form = new QFormLayout;
  form->addRow(QStringLiteral("Номер:"), numberEdit);
  form->addRow(QStringLiteral("Название:"), nameEdit);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(typeGroup);
  layout->addWidget(forAllCheck);
  layout->addWidget(buttons);
  nameEdit->setMinimumWidth(260);

  connect(numberEdit, &QLineEdit::textChanged, this, &TFilePropForm::numberChanged);
  connect(nameEdit, &QLineEdit::textChanged, this, &TFilePropForm::nameChanged);
  connect(textRadio, &QRadioButton::toggled, this, [this](bool on) { proc = on; });
  connect(forAllCheck, &QCheckBox::toggled, this, [this](bool on) { for_all = on; });
}

void TFilePropForm::load() {
  const int32_t number = des_num;
  numberEdit->setText(QString::number(number));
  des_num = number;
  nameEdit->setText(fname);
  const bool text = proc;
  textRadio->setChecked(text);
  binaryRadio->setChecked(!text);
  forAllCheck->setVisible(for_all_visible);
  forAllCheck->setChecked(false);
  for_all = false;
}

void TFilePropForm::showEvent(QShowEvent *event) {
  load();
  QDialog::showEvent(event);
}

void TFilePropForm::numberChanged(const QString &text) {
  int32_t value = 0;
  numberValid_ = kalvort::parseInt32(toU16(text.trimmed()), false, value);
  if (numberValid_) des_num = value;
  QPalette pal = numberEdit->palette();
  pal.setColor(QPalette::Text, numberValid_ ? palette().color(QPalette::Text) : QColor(Qt::red));
  numberEdit->setPalette(pal);
}

void TFilePropForm::nameChanged(const QString &text) {
  // The entry stores at most 128 bytes of name: cut here, so the user sees what is kept.
  const std::u16string fitted = kalvort::FitCatalogName(toU16(text));
  if (fitted.size() != static_cast<size_t>(text.size())) {
    const QString cut = fromU16(fitted);
    const int caret = qMin(nameEdit->cursorPosition(), static_cast<int>(cut.size()));
    const QSignalBlocker block(nameEdit);
    nameEdit->setText(cut);
    nameEdit->setCursorPosition(caret);
    fname = cut;
    return;
  }
  fname = text;
}

void TFilePropForm::done(int result) {
  numberEdit->setEnabled(true);
  nameEdit->setEnabled(true);
  QDialog::done(result);
}
