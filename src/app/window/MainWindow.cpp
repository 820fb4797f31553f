// Construction and destruction of the main window, and the Qt events it handles itself.

#include "window/MainWindow.h"

#include "window/EditorPane.h"

#include <QCloseEvent>
#include <QTimer>

#include "workflow/DeviceSession.h"
#include "support/GuardedApplication.h"
#include "support/QtOwnerDispatcher.h"
#include "support/BackgroundWorker.h"

MainWindow::MainWindow(UserDialogs &dialogs, QWidget *parent)
    : QMainWindow(parent), Dialogs(dialogs), worker_(std::make_unique<kalvort::app::BackgroundWorker>()) {
  setObjectName(QStringLiteral("MainWindow"));
  // Hot-plug events of the USB programmer reach the device on this thread, never beside a poll or
  // a device creation: while one is on the worker the event follows it. During a device command
  // the event goes through at once (a removal ends the command's device action).
  kalvort::SetOwnerDispatcher(
      std::make_shared<kalvort::app::QtOwnerDispatcher>(this, [this](std::function<void()> work) {
        if (DeviceCommandRunning() || worker_->pending() == 0)
          work();
        else
          worker_->afterPending(this, std::move(work));
      }));
  StatusTimer = new QTimer(this);
  StatusTimer->setObjectName(QStringLiteral("StatusTimer"));
  StatusTimer->setInterval(250);
  CreateActions();
  CreateMenus();
  CreateToolBars();
  CreateCentralArea();
  CreateStatusLine();
  NameToolButtons();
  ConnectActions();
  SetupCatalogView();
  FormCreate();
  if (auto *app = qobject_cast<kalvort::app::GuardedApplication *>(QCoreApplication::instance()))
    connect(app, &kalvort::app::GuardedApplication::outOfMemory, editor_pane_, &EditorPane::reportOutOfMemory);
}

MainWindow::~MainWindow() {
  // No job may run against the device, nor post to this window, once destruction starts.
  kalvort::SetOwnerDispatcher(std::make_shared<kalvort::TQueuedDispatcher>());
  StatusTimer->stop();
  DeviceRun.reset();  // cancels a device command still running
  NetSettingsForm.reset();  // its probes use the worker
  worker_.reset();    // lets the running job return (a cancelled chain, a poll) and drops the rest
  MemDevice.reset();
}

int MainWindow::BackgroundJobsPending() const { return worker_->pending(); }

void MainWindow::closeEvent(QCloseEvent *event) {
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

bool MainWindow::event(QEvent *event) {
  const bool result = QMainWindow::event(event);
  if (event->type() == QEvent::Paint && !painted_) {
    painted_ = true;
    emit firstPainted();
  }
  return result;
}
