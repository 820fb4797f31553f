#pragma once
// StatusLine: the window's status bar. Four panels (device, module, size, project type) with an
// accessible name that follows their text, and beside them a finished command's summary that
// clears itself after a few seconds without hiding the panels.

#include <QStatusBar>

#include <array>

class QLabel;
class QTimer;

class StatusLine : public QStatusBar {
  Q_OBJECT

 public:
  enum Panel { Device, Module, Size, ProjectType, PanelCount };

  explicit StatusLine(QWidget *parent = nullptr);

  void setPanelText(Panel panel, const QString &text);
  QString panelText(Panel panel) const;
  bool panelsVisible() const;

  // `text` beside the panels for summaryMs(); a newer summary replaces it.
  void showSummary(const QString &text);
  QString summary() const;
  bool summaryShown() const;
  int summaryMs() const;

 private:
  std::array<QLabel *, PanelCount> panels_{};
  QLabel *summary_ = nullptr;
  QTimer *summary_timer_ = nullptr;
};
