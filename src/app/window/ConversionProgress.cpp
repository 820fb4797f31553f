#include "window/ConversionProgress.h"

#include <QApplication>

#include "dialogs/ProgressWindow.h"

ConversionProgress::ConversionProgress(ProgressWindow &form, QWidget *window, const QString &status)
    : form_(&form), caption_(form.caption()), status_(form.statusText()), position_(form.position()) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  form.setCaption(QStringLiteral("Обработка..."));
  form.setStatusText(status);
  form.setPosition(0);
  form.clearOverall();
  form.setCancelEnabled(false);
  form.showOver(window);
}

ConversionProgress::~ConversionProgress() {
  if (form_) {
    form_->hide();
    form_->setCancelEnabled(true);
    form_->setCaption(caption_);
    form_->setStatusText(status_);
    form_->setPosition(position_);
  }
  QApplication::restoreOverrideCursor();
}

kalvort::ProgressSink ConversionProgress::sink() {
  return [form = form_](int percent) {
    if (!form) return;
    // Painted at once: the conversion holds the window's thread until it ends.
    form->setPosition(percent);
    form->repaintPosition();
  };
}
