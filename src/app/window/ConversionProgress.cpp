#include "window/ConversionProgress.h"

#include <QApplication>

#include "dialogs/ProgressWindow.h"

ConversionProgress::ConversionProgress(ProgressWindow &form, QWidget *window, const QString &status)
    : form_(form), caption_(form.caption()), status_(form.statusText()), position_(form.position()) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  form_.setCaption(QStringLiteral("Обработка..."));
  form_.setStatusText(status);
  form_.setPosition(0);
  form_.clearOverall();
  form_.setCancelEnabled(false);
  form_.showOver(window);
}

ConversionProgress::~ConversionProgress() {
  form_.hide();
  form_.setCancelEnabled(true);
  form_.setCaption(caption_);
  form_.setStatusText(status_);
  form_.setPosition(position_);
  QApplication::restoreOverrideCursor();
}

kalvort::ProgressSink ConversionProgress::sink() {
  ProgressWindow *form = &form_;
  return [form](int percent) {
    // Painted at once: the conversion holds the window's thread until it ends.
    form->setPosition(percent);
    form->repaintPosition();
  };
}
