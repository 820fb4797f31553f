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
  find_edit_ = new QLineEdit(this);
  find_edit_->setObjectName(QStringLiteral("findEdit"));
  auto *findLabel = new QLabel(QStringLiteral("&Что:"), this);
  findLabel->setBuddy(find_edit_);
  fields->addWidget(findLabel, 0, 0);
  fields->addWidget(find_edit_, 0, 1);
  if (replace) {
    replace_edit_ = new QLineEdit(this);
    replace_edit_->setObjectName(QStringLiteral("replaceEdit"));
    auto *withLabel = new QLabel(QStringLiteral("&Чем:"), this);
    withLabel->setBuddy(replace_edit_);
    fields->addWidget(withLabel, 1, 0);
    fields->addWidget(replace_edit_, 1, 1);
  }
  return fields;
}

// The match case box and, in the find dialog, the direction.
QHBoxLayout *FindReplaceDialog::buildOptions(bool replace) {
  match_case_check_ = new QCheckBox(QStringLiteral("С учетом &регистра"), this);
  match_case_check_->setObjectName(QStringLiteral("matchCase"));

  auto *options = new QHBoxLayout;
  options->addWidget(match_case_check_, 0, Qt::AlignBottom);
  if (!replace) {
    auto *direction = new QGroupBox(QStringLiteral("Направление"), this);
    up_radio_ = new QRadioButton(QStringLiteral("&Вверх"), direction);
    up_radio_->setObjectName(QStringLiteral("directionUp"));
    down_radio_ = new QRadioButton(QStringLiteral("В&низ"), direction);
    down_radio_->setObjectName(QStringLiteral("directionDown"));
    down_radio_->setChecked(true);
    auto *dl = new QHBoxLayout(direction);
    dl->addWidget(up_radio_);
    dl->addWidget(down_radio_);
    options->addWidget(direction);
  }
  return options;
}

// The column of buttons on the right, wired to their actions.
QVBoxLayout *FindReplaceDialog::buildButtons(bool replace) {
  auto *buttons = new QVBoxLayout;
  find_next_button_ = new QPushButton(QStringLiteral("&Найти далее"), this);
  find_next_button_->setObjectName(QStringLiteral("findNext"));
  find_next_button_->setDefault(true);
  buttons->addWidget(find_next_button_);
  connect(find_next_button_, &QPushButton::clicked, this, &FindReplaceDialog::findNext);
  if (replace) {
    replace_button_ = new QPushButton(QStringLiteral("&Заменить"), this);
    replace_button_->setObjectName(QStringLiteral("replace"));
    replace_all_button_ = new QPushButton(QStringLiteral("Заменить &все"), this);
    replace_all_button_->setObjectName(QStringLiteral("replaceAll"));
    buttons->addWidget(replace_button_);
    buttons->addWidget(replace_all_button_);
    connect(replace_button_, &QPushButton::clicked, this, &FindReplaceDialog::replaceOne);
    connect(replace_all_button_, &QPushButton::clicked, this, &FindReplaceDialog::replaceAll);
  }
  cancel_button_ = new QPushButton(QStringLiteral("Отмена"), this);
  cancel_button_->setObjectName(QStringLiteral("cancel"));
  buttons->addWidget(cancel_button_);
  buttons->addStretch();
  connect(cancel_button_, &QPushButton::clicked, this, &QDialog::close);
  return buttons;
}

// The buttons that search are usable only while there is something to look for.
void FindReplaceDialog::enableButtonsWhileTextGiven() {
  auto updateButtons = [this] {
    const bool any = !find_edit_->text().isEmpty();
    find_next_button_->setEnabled(any);
    if (replace_button_) replace_button_->setEnabled(any);
    if (replace_all_button_) replace_all_button_->setEnabled(any);
  };
  connect(find_edit_, &QLineEdit::textChanged, this, updateButtons);
  updateButtons();
}

void FindReplaceDialog::notFound() {
  dialogs_.ask(this, QMessageBox::Information, QStringLiteral("Поиск"), QStringLiteral("Строка не найдена"),
               QMessageBox::Ok);
}

void FindReplaceDialog::findNext() {
  const bool downward = mode_ == Mode::Replace || down_radio_->isChecked();
  if (!editor_.findText(find_edit_->text(), downward, match_case_check_->isChecked())) notFound();
}

void FindReplaceDialog::replaceOne() {
  if (!replace_edit_) return;
  if (!editor_.replaceNext(find_edit_->text(), replace_edit_->text(), match_case_check_->isChecked())) notFound();
}

void FindReplaceDialog::replaceAll() {
  if (!replace_edit_) return;
  // A long replace-all goes on from the event loop, with the busy cursor, as the editor's own work.
  editor_.replaceAll(find_edit_->text(), replace_edit_->text(), match_case_check_->isChecked());
}
