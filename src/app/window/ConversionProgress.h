#pragma once
// The progress window of conversions and text edits: caption "Обработка...", a status line, a
// progress bar fed by the converter and a disabled "Отмена" button, centred over the main window,
// with the busy mouse cursor. Shown while the object lives; hidden on every path out.

#include <QString>
#include <memory>

#include "formats/Conversion.h"

class QProgressDialog;
class QWidget;

class ConversionProgress {
 public:
  ConversionProgress(QWidget *window, const QString &status);
  ~ConversionProgress();
  ConversionProgress(const ConversionProgress &) = delete;
  ConversionProgress &operator=(const ConversionProgress &) = delete;

  // Feeds the bar; converters call it on the window's thread while they run.
  kalvort::ProgressSink sink();

 private:
  std::unique_ptr<QProgressDialog> dialog_;
};
