// Construction and destruction of the main window, and the Qt events it handles itself.

#include "window/MainWindow.h"

#include "window/EditorPane.h"

#include <QCloseEvent>

#include <utility>

#include "support/GuardedApplication.h"
#include "window/DeviceCommands.h"
#include "window/DeviceController.h"
#include "window/ProgramEditing.h"

MainWindow::MainWindow(UserDialogs &dialogs, QWidget *parent)
    : QMainWindow(parent), Dialogs(dialogs), device_controller_(new DeviceController(this)) {
  setObjectName(QStringLiteral("MainWindow"));
  CreateActions();
  CreateProjectCommands();
  CreateMenus();
  CreateToolBars();
  CreateCentralArea();
  CreateStatusLine();
  CreateDeviceCommands();
  NameToolButtons();
  ConnectActions();
  ConnectDeviceController();
  SetupCatalogView();
  FormCreate();
  if (auto *app = qobject_cast<kalvort::app::GuardedApplication *>(QCoreApplication::instance()))
    connect(app, &kalvort::app::GuardedApplication::outOfMemory, editor_pane_, &EditorPane::reportOutOfMemory);
}

CatalogPane &MainWindow::catalogPane() const { return *catalog_pane_; }

kalvort::TDevCatalog *MainWindow::Catalog() { return &document_.programs(); }
const kalvort::TDevCatalog *MainWindow::Catalog() const { return &document_.programs(); }

MainWindow::~MainWindow() {
  device_commands_.reset();  // the network dialog's probes use the controller's worker
  // Cancels a device command still running and lets the worker's running job return.
  delete std::exchange(device_controller_, nullptr);
}

void MainWindow::closeEvent(QCloseEvent *event) {
  // While a device command runs the window is disabled; it closes once the command has ended.
  if (device_controller_->commandRunning()) {
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
