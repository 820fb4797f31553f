#pragma once
// ProgressWindow: the small always-on-top window shown while a module operation runs: its caption,
// one line of status text, a progress bar and "Отмена". A command that moves several programs
// also shows where it stands in the whole: "Программа x из N" and a bar over all their bytes. It is a window of its own, not a child of
// the main window, so that it stays usable while the main window is disabled. Closing it (the
// close box, Esc) asks for a cancel as the button does; it is hidden by its owner when the
// operation has ended.

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

class ProgressWindow : public QWidget {
  Q_OBJECT
 public:
  explicit ProgressWindow(QWidget *owner = nullptr);

  void setCaption(const QString &caption) { setWindowTitle(caption); }
  QString caption() const { return windowTitle(); }
  void setStatusText(const QString &text);
  QString statusText() const;
  void setPosition(int position);  // 0..100
  int position() const;
  // The whole command: program `program` of `programs`, `percent` of their bytes moved.
  void setOverall(int program, int programs, int percent);
  // Hides the whole command's line and bar (a command of one step, a conversion).
  void clearOverall();
  bool overallShown() const;
  // "Отмена" is offered (not while work that cannot be interrupted holds the window's thread).
  void setCancelEnabled(bool enabled);
  // Paints the bar at once, for work that holds the window's thread until it ends.
  void repaintPosition();

  // Places the window over the centre of `owner` and shows it on top.
  void showOver(const QWidget *owner);
  // left = owner left + owner width / 2 - own width / 2, top likewise.
  void centreOver(const QWidget *owner);

 signals:
  void cancelRequested();

 protected:
  void closeEvent(QCloseEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

 private:
  QLabel *status_label_ = nullptr;
  QProgressBar *progress_bar_ = nullptr;
  QLabel *programs_label_ = nullptr;
  QProgressBar *total_bar_ = nullptr;
  QPushButton *cancel_button_ = nullptr;
  QWidget *owner_;
};
