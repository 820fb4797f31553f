// Construction and destruction of the main window, and the Qt events it handles itself.

#include "window/MainWindow.h"

#include <QCloseEvent>
#include <QTimer>

#include "workflow/DeviceSession.h"
#include "support/GuardedApplication.h"
#include "support/QtOwnerDispatcher.h"
#include "support/StatusPoller.h"

TKLV_main_form::TKLV_main_form(UserDialogs &dialogs, QWidget *parent)
    : QMainWindow(parent), Dialogs(dialogs), poller_(std::make_unique<kalvort::app::StatusPoller>(this)) {
  setObjectName(QStringLiteral("TKLV_main_form"));
  // Hot-plug events of the USB programmer reach the device on this thread, never during a poll.
  kalvort::SetOwnerDispatcher(
      std::make_shared<kalvort::app::QtOwnerDispatcher>(this, [this] { poller_->WaitIdle(); }));
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(250);
  CreateActions();
  CreateMenus();
  CreateToolBars();
  CreateCentralArea();
  CreateStatusLine();
  NameToolButtons();
  ConnectActions();
  SetupCatalogView();
  SetupEditorPane();
  FormCreate();
  if (auto *app = qobject_cast<kalvort::app::GuardedApplication *>(QCoreApplication::instance()))
    connect(app, &kalvort::app::GuardedApplication::outOfMemory, this, &TKLV_main_form::ReportOutOfMemory);
}

TKLV_main_form::~TKLV_main_form() {
  // No job may run against the device, nor post to this window, once destruction starts.
  kalvort::SetOwnerDispatcher(std::make_shared<kalvort::TQueuedDispatcher>());
  Timer1->stop();
  poller_->WaitIdle();
  DeviceRun.reset();  // cancels a device command still running and waits for its worker
  MemDevice.reset();
  poller_.reset();
}

void TKLV_main_form::closeEvent(QCloseEvent *event) {
  // While a device command runs the window is disabled; it closes once the command has ended.
  if (DeviceCommandRunning()) {
    event->ignore();
    return;
  }
  if (closed_ || FormClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool TKLV_main_form::event(QEvent *event) {
  const bool result = QMainWindow::event(event);
  if (event->type() == QEvent::Paint && !painted_) {
    painted_ = true;
    emit firstPainted();
  }
  return result;
}
