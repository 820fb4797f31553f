#include "dialogs/ProgressWindow.h"

#include <algorithm>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

ProgressWindow::ProgressWindow(QWidget *owner)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                           Qt::WindowCloseButtonHint),
      owner_(owner) {
  setObjectName(QStringLiteral("ProgressForm"));
  status_label_ = new QLabel(this);
  status_label_->setObjectName(QStringLiteral("StatusLabel"));
  status_label_->setMinimumWidth(320);
  progress_bar_ = new QProgressBar(this);
  progress_bar_->setObjectName(QStringLiteral("ProgressBar"));
  progress_bar_->setRange(0, 100);
  progress_bar_->setValue(0);
  programs_label_ = new QLabel(this);
  programs_label_->setObjectName(QStringLiteral("ProgramsLabel"));
  total_bar_ = new QProgressBar(this);
  total_bar_->setObjectName(QStringLiteral("TotalBar"));
  total_bar_->setRange(0, 100);
  total_bar_->setValue(0);
  cancel_button_ = new QPushButton(QStringLiteral("Отмена"), this);
  cancel_button_->setObjectName(QStringLiteral("CancelButton"));

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(status_label_);
  layout->addWidget(progress_bar_);
  layout->addWidget(programs_label_);
  layout->addWidget(total_bar_);
  layout->addWidget(cancel_button_, 0, Qt::AlignHCenter);
  // Fixed to its contents, which grow by a line and a bar while a project moves.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  clearOverall();

  connect(cancel_button_, &QPushButton::clicked, this, &ProgressWindow::cancelRequested);
}

void ProgressWindow::setStatusText(const QString &text) { status_label_->setText(text); }

QString ProgressWindow::statusText() const { return status_label_->text(); }

void ProgressWindow::setPosition(int position) { progress_bar_->setValue(std::clamp(position, 0, 100)); }

int ProgressWindow::position() const { return progress_bar_->value(); }

void ProgressWindow::setOverall(int program, int programs, int percent) {
  programs_label_->setText(QStringLiteral("Программа %1 из %2").arg(program).arg(programs));
  total_bar_->setValue(std::clamp(percent, 0, 100));
  if (!programs_label_->isHidden()) return;
  programs_label_->show();
  total_bar_->show();
  // Grown by a line and a bar: centred again.
  layout()->activate();
  if (isVisible()) centreOver(owner_);
}

void ProgressWindow::clearOverall() {
  programs_label_->hide();
  total_bar_->hide();
  programs_label_->clear();
  total_bar_->setValue(0);
}

bool ProgressWindow::overallShown() const { return !programs_label_->isHidden(); }

void ProgressWindow::setCancelEnabled(bool enabled) { cancel_button_->setEnabled(enabled); }

void ProgressWindow::repaintPosition() { progress_bar_->repaint(); }

void ProgressWindow::centreOver(const QWidget *owner) {
  if (!owner) return;
  const QRect main = owner->frameGeometry();
  move(main.left() + main.width() / 2 - width() / 2, main.top() + main.height() / 2 - height() / 2);
}

void ProgressWindow::showOver(const QWidget *owner) {
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

void ProgressWindow::closeEvent(QCloseEvent *event) {
  // The owner hides the window when the operation has ended; closing it means "cancel".
  event->ignore();
  emit cancelRequested();
}

void ProgressWindow::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_Escape) {
    emit cancelRequested();
    return;
  }
  QWidget::keyPressEvent(event);
}
