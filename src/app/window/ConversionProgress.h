#pragma once
// Conversions and text edits in the shared progress window: caption "Обработка...", a status line,
// a progress bar fed by the converter and a disabled "Отмена" (a conversion cannot be stopped),
// centred over the main window, with the busy mouse cursor. Shown while the object lives; hidden
// on every path out, with the texts of the device command that used the window last put back.
// Also kept while a long text comes into the editor from the event loop.

#include <QPointer>
#include <QString>

#include "dialogs/ProgressWindow.h"

#include "formats/Conversion.h"

class QWidget;

class ConversionProgress {
 public:
  ConversionProgress(ProgressWindow &form, QWidget *window, const QString &status);
  ~ConversionProgress();
  ConversionProgress(const ConversionProgress &) = delete;
  ConversionProgress &operator=(const ConversionProgress &) = delete;

  // Feeds the bar; converters call it on the window's thread while they run.
  kalvort::ProgressSink sink();

 private:
  QPointer<ProgressWindow> form_;  // may go first when the object is kept while a text loads
  QString caption_, status_;
  int position_ = 0;
};
