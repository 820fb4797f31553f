// Construction and destruction of the main window, and the Qt events it handles itself.

#include "window/MainWindow.h"

#include <QCloseEvent>
#include <QTimer>

#include "workflow/DeviceSession.h"
#include "support/GuardedApplication.h"
#include "support/QtOwnerDispatcher.h"
#include "support/StatusPoller.h"

MainWindow::MainWindow(UserDialogs &dialogs, QWidget *parent)
    : QMainWindow(parent), Dialogs(dialogs), poller_(std::make_unique<kalvort::app::StatusPoller>(this)) {
  setObjectName(QStringLiteral("MainWindow"));
  // Hot-plug events of the USB programmer reach the device on this thread, never during a poll.
  kalvort::SetOwnerDispatcher(
      std::make_shared<kalvort::app::QtOwnerDispatcher>(this, [this] { poller_->WaitIdle(); }));
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
  SetupEditorPane();
  FormCreate();
  if (auto *app = qobject_cast<kalvort::app::GuardedApplication *>(QCoreApplication::instance()))
    connect(app, &kalvort::app::GuardedApplication::outOfMemory, this, &MainWindow::ReportOutOfMemory);
}

MainWindow::~MainWindow() {
  // No job may run against the device, nor post to this window, once destruction starts.
  kalvort::SetOwnerDispatcher(std::make_shared<kalvort::TQueuedDispatcher>());
  StatusTimer->stop();
  poller_->WaitIdle();
  DeviceRun.reset();  // cancels a device command still running and waits for its worker
  MemDevice.reset();
  poller_.reset();
}

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
