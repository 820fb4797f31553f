#include "window/StatusLine.h"

#include <QLabel>
#include <QTimer>

StatusLine::StatusLine(QWidget *parent) : QStatusBar(parent) {
  setObjectName(QStringLiteral("StatusLine"));
  setSizeGripEnabled(true);
  static const char *const kDescriptions[PanelCount] = {"Устройство", "Модуль", "Объём", "Тип проекта"};
  static const int kWidths[PanelCount] = {220, 150, 200, 50};
  for (int i = 0; i < PanelCount; ++i) {
    auto *panel = new QLabel(this);
    panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setMinimumWidth(kWidths[i]);
    panel->setAccessibleDescription(QString::fromUtf8(kDescriptions[i]));
    panel->setAccessibleName(QString());
    panels_[static_cast<size_t>(i)] = panel;
    // The last panel takes what is left: its text is longer than its nominal 50 pixels.
    addWidget(panel, i == ProjectType ? 1 : 0);
  }
  // Beside the panels rather than as the status bar's message, which would hide them.
  summary_ = new QLabel(this);
  summary_->setObjectName(QStringLiteral("CommandSummary"));
  addPermanentWidget(summary_);
  summary_->hide();  // takes no room beside the panels while there is nothing to say
  summary_timer_ = new QTimer(this);
  summary_timer_->setSingleShot(true);
  summary_timer_->setInterval(5000);
  connect(summary_timer_, &QTimer::timeout, summary_, [this] {
    summary_->clear();
    summary_->hide();
  });
}

void StatusLine::setPanelText(Panel panel, const QString &text) {
  QLabel *label = panels_[static_cast<size_t>(panel)];
  if (label->text() == text) return;
  label->setText(text);
  label->setAccessibleName(text);
}

QString StatusLine::panelText(Panel panel) const { return panels_[static_cast<size_t>(panel)]->text(); }

bool StatusLine::panelsVisible() const {
  for (const QLabel *panel : panels_)
    if (!panel->isVisible()) return false;
  return true;
}

void StatusLine::showSummary(const QString &text) {
  summary_->setText(text);
  summary_->show();
  summary_timer_->start();
}

QString StatusLine::summary() const { return summary_->text(); }
bool StatusLine::summaryShown() const { return summary_timer_->isActive(); }
int StatusLine::summaryMs() const { return summary_timer_->interval(); }
