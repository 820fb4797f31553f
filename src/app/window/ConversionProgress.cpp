#include "window/ConversionProgress.h"

#include <QApplication>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>

ConversionProgress::ConversionProgress(QWidget *window, const QString &status) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  dialog_ = std::make_unique<QProgressDialog>(status, QStringLiteral("Отмена"), 0, 100, window);
  dialog_->setWindowTitle(QStringLiteral("Обработка..."));
  // Not modal: a modal progress dialog runs the event loop from setValue() in the middle of a
  // conversion. The conversion holds the window's thread anyway.
  dialog_->setWindowModality(Qt::NonModal);
  dialog_->setMinimumDuration(0);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  if (auto *cancel = dialog_->findChild<QPushButton *>()) cancel->setEnabled(false);
  dialog_->adjustSize();
  if (window) {
    const QRect main = window->frameGeometry();
    dialog_->move(main.left() + main.width() / 2 - dialog_->width() / 2,
                  main.top() + main.height() / 2 - dialog_->height() / 2);
  }
  dialog_->setValue(0);
  dialog_->show();
}

ConversionProgress::~ConversionProgress() {
  dialog_->hide();
  QApplication::restoreOverrideCursor();
}

kalvort::ProgressSink ConversionProgress::sink() {
  QProgressDialog *dialog = dialog_.get();
  return [dialog](int percent) {
    // Painted at once: the conversion holds the window's thread until it ends.
    dialog->setValue(percent);
    if (auto *bar = dialog->findChild<QProgressBar *>()) bar->repaint();
  };
}
