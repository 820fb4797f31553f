#include "dialogs/FindReplaceDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "support/UserDialogs.h"
#include "widgets/CodeEditor.h"

FindReplaceDialog::FindReplaceDialog(Mode mode, CodeEditor &editor, UserDialogs &dialogs, QWidget *parent)
    : QDialog(parent), mode_(mode), editor_(editor), dialogs_(dialogs) {
  const bool replace = mode == Mode::Replace;
  setWindowTitle(replace ? QStringLiteral("Замена") : QStringLiteral("Поиск"));
  setModal(false);

  auto *left = new QVBoxLayout;
  left->addLayout(buildFields(replace));
  left->addLayout(buildOptions(replace));
  left->addStretch();
  QVBoxLayout *buttons = buildButtons(replace);

  auto *layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(buttons);

  enableButtonsWhileTextGiven();
  connect(&editor_, &CodeEditor::focusLost, this, &QDialog::close);
}

// "Что:" and, in the replace dialog, "Чем:", each with its edit.
QGridLayout *FindReplaceDialog::buildFields(bool replace) {
  auto *fields = new QGridLayout;
  findEdit = new QLineEdit(this);
  findEdit->setObjectName(QStringLiteral("findEdit"));
  auto *findLabel = new QLabel(QStringLiteral("&Что:"), this);
  findLabel->setBuddy(findEdit);
  fields->addWidget(findLabel, 0, 0);
  fields->addWidget(findEdit, 0, 1);
  if (replace) {
    replaceEdit = new QLineEdit(this);
    replaceEdit->setObjectName(QStringLiteral("replaceEdit"));
    auto *withLabel = new QLabel(QStringLiteral("&Чем:"), this);
    withLabel->setBuddy(replaceEdit);
    fields->addWidget(withLabel, 1, 0);
    fields->addWidget(replaceEdit, 1, 1);
  }
  return fields;
}

// The match case box and, in the find dialog, the direction.
QHBoxLayout *FindReplaceDialog::buildOptions(bool replace) {
  matchCaseCheck = new QCheckBox(QStringLiteral("С учетом &регистра"), this);
  matchCaseCheck->setObjectName(QStringLiteral("matchCase"));

  auto *options = new QHBoxLayout;
  options->addWidget(matchCaseCheck, 0, Qt::AlignBottom);
  if (!replace) {
    auto *direction = new QGroupBox(QStringLiteral("Направление"), this);
    upRadio = new QRadioButton(QStringLiteral("&Вверх"), direction);
    upRadio->setObjectName(QStringLiteral("directionUp"));
    downRadio = new QRadioButton(QStringLiteral("В&низ"), direction);
    downRadio->setObjectName(QStringLiteral("directionDown"));
    downRadio->setChecked(true);
    auto *dl = new QHBoxLayout(direction);
    dl->addWidget(upRadio);
    dl->addWidget(downRadio);
    options->addWidget(direction);
  }
  return options;
}

// The column of buttons on the right, wired to their actions.
QVBoxLayout *FindReplaceDialog::buildButtons(bool replace) {
  auto *buttons = new QVBoxLayout;
  findNextButton = new QPushButton(QStringLiteral("&Найти далее"), this);
  findNextButton->setObjectName(QStringLiteral("findNext"));
  findNextButton->setDefault(true);
  buttons->addWidget(findNextButton);
  connect(findNextButton, &QPushButton::clicked, this, &FindReplaceDialog::findNext);
  if (replace) {
    replaceButton = new QPushButton(QStringLiteral("&Заменить"), this);
    replaceButton->setObjectName(QStringLiteral("replace"));
    replaceAllButton = new QPushButton(QStringLiteral("Заменить &все"), this);
    replaceAllButton->setObjectName(QStringLiteral("replaceAll"));
    buttons->addWidget(replaceButton);
    buttons->addWidget(replaceAllButton);
    connect(replaceButton, &QPushButton::clicked, this, &FindReplaceDialog::replaceOne);
    connect(replaceAllButton, &QPushButton::clicked, this, &FindReplaceDialog::replaceAll);
  }
  cancelButton = new QPushButton(QStringLiteral("Отмена"), this);
  cancelButton->setObjectName(QStringLiteral("cancel"));
  buttons->addWidget(cancelButton);
  buttons->addStretch();
  connect(cancelButton, &QPushButton::clicked, this, &QDialog::close);
  return buttons;
}

// The buttons that search are usable only while there is something to look for.
void FindReplaceDialog::enableButtonsWhileTextGiven() {
  auto updateButtons = [this] {
    const bool any = !findEdit->text().isEmpty();
    findNextButton->setEnabled(any);
    if (replaceButton) replaceButton->setEnabled(any);
    if (replaceAllButton) replaceAllButton->setEnabled(any);
  };
  connect(findEdit, &QLineEdit::textChanged, this, updateButtons);
  updateButtons();
}

void FindReplaceDialog::notFound() {
  dialogs_.ask(this, QMessageBox::Information, QStringLiteral("Поиск"), QStringLiteral("Строка не найдена"),
               QMessageBox::Ok);
}

void FindReplaceDialog::findNext() {
  const bool downward = mode_ == Mode::Replace || downRadio->isChecked();
  if (!editor_.findText(findEdit->text(), downward, matchCaseCheck->isChecked())) notFound();
}

void FindReplaceDialog::replaceOne() {
  if (!replaceEdit) return;
  if (!editor_.replaceNext(findEdit->text(), replaceEdit->text(), matchCaseCheck->isChecked())) notFound();
}

void FindReplaceDialog::replaceAll() {
  if (!replaceEdit) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  editor_.setUpdatesEnabled(false);
  editor_.replaceAll(findEdit->text(), replaceEdit->text(), matchCaseCheck->isChecked());
  editor_.setUpdatesEnabled(true);
  QApplication::restoreOverrideCursor();
}
