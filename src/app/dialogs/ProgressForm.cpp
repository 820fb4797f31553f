#include "dialogs/ProgressForm.h"

#include <algorithm>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

TProgressForm::TProgressForm(QWidget *owner)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                           Qt::WindowCloseButtonHint),
      owner_(owner) {
  setObjectName(QStringLiteral("ProgressForm"));
  StatusLabel = new QLabel(this);
  StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
  StatusLabel->setMinimumWidth(320);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  ProgramsLabel = new QLabel(this);
  ProgramsLabel->setObjectName(QStringLiteral("ProgramsLabel"));
  TotalBar = new QProgressBar(this);
  TotalBar->setObjectName(QStringLiteral("TotalBar"));
  TotalBar->setRange(0, 100);
  TotalBar->setValue(0);
  CancelButton = new QPushButton(QStringLiteral("Отмена"), this);
  CancelButton->setObjectName(QStringLiteral("CancelButton"));

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(StatusLabel);
  layout->addWidget(ProgressBar);
  layout->addWidget(ProgramsLabel);
  layout->addWidget(TotalBar);
  layout->addWidget(CancelButton, 0, Qt::AlignHCenter);
  // Fixed to its contents, which grow by a line and a bar while a project moves.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  clearOverall();

  connect(CancelButton, &QPushButton::clicked, this, &TProgressForm::cancelRequested);
}

void TProgressForm::setStatusText(const QString &text) { StatusLabel->setText(text); }

QString TProgressForm::statusText() const { return StatusLabel->text(); }

void TProgressForm::setPosition(int position) { ProgressBar->setValue(std::clamp(position, 0, 100)); }

int TProgressForm::position() const { return ProgressBar->value(); }

void TProgressForm::setOverall(int program, int programs, int percent) {
  ProgramsLabel->setText(QStringLiteral("Программа %1 из %2").arg(program).arg(programs));
  TotalBar->setValue(std::clamp(percent, 0, 100));
  if (!ProgramsLabel->isHidden()) return;
  ProgramsLabel->show();
  TotalBar->show();
  // Grown by a line and a bar: centred again.
  layout()->activate();
  if (isVisible()) centreOver(owner_);
}

void TProgressForm::clearOverall() {
  ProgramsLabel->hide();
  TotalBar->hide();
  ProgramsLabel->clear();
  TotalBar->setValue(0);
}

bool TProgressForm::overallShown() const { return !ProgramsLabel->isHidden(); }

void TProgressForm::centreOver(const QWidget *owner) {
  if (!owner) return;
  const QRect main = owner->frameGeometry();
  move(main.left() + main.width() / 2 - width() / 2, main.top() + main.height() / 2 - height() / 2);
}

void TProgressForm::showOver(const QWidget *owner) {
  if (owner) owner_ = const_cast<QWidget *>(owner);
  centreOver(owner_);
  if (isVisible()) return;
  // Stacked with the main window by the window manager although it is not its child.
  winId();
  if (owner_ && owner_->window()->windowHandle()) windowHandle()->setTransientParent(owner_->window()->windowHandle());
  show();
  raise();
  activateWindow();
}

void TProgressForm::closeEvent(QCloseEvent *event) {
  // The owner hides the window when the operation has ended; closing it means "cancel".
  event->ignore();
  emit cancelRequested();
}

void TProgressForm::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Escape) {
    emit cancelRequested();
    return;
  }
  QWidget::keyPressEvent(event);
}
