// The device selector and the device object behind it: filling the selector from the network
// device list, replacing the device object through the device controller when the pick changes,
// the device controller's reports about the device object, and the project settings dialog.

#include <QComboBox>

#include "dialogs/SettingsDialog.h"
#include "transport/LanProtocol.h"
#include "workflow/DeviceSession.h"
#include "support/UserDialogs.h"
#include "window/DeviceController.h"
#include "window/MainWindow.h"
#include "window/ProgramEditing.h"
#include "window/ProjectCommands.h"

using kalvort::workflow::DeviceSession;
using kalvort::workflow::DeviceTarget;

namespace {

// Selector tags: 0 the USB programmer, n the replaceable module of network device n (1-based),
// 1000 + n its built-in module.
constexpr int kBuiltInTag = 1000;

}  // namespace

void MainWindow::FillCombo() {
  DeviceSelector->blockSignals(true);
  DeviceSelector->clear();
  DeviceSelector->addItem(QStringLiteral("СМП на программаторе USB"), 0);
  const int n = static_cast<int>(std::min<size_t>(NetDevices.size(), kBuiltInTag));
  for (int i = 1; i <= n; ++i) {
    const QString name = QString::fromStdU16String(NetDevices[static_cast<size_t>(i - 1)].name);
    DeviceSelector->addItem(QStringLiteral("СМП на Урвелл - ") + name, i);
    DeviceSelector->addItem(QStringLiteral("ВМП на Урвелл - ") + name, kBuiltInTag + i);
  }
  DeviceSelector->setCurrentIndex(-1);
  DeviceSelector->blockSignals(false);
  CurDeviceNum = -1;
}

void MainWindow::DeviceSelectorChanged() {
  const int index = DeviceSelector->currentIndex();
  if (index == CurDeviceNum) return;
  CurDeviceNum = index;
  CurNetDeviceNum = -1;
  const int tag = DeviceSelector->itemData(index).toInt();
  if (tag == 0) {
    document_.setDeviceType(kalvort::dtProg);
  } else if (tag <= kBuiltInTag) {
    CurNetDeviceNum = tag - 1;
    document_.setDeviceType(kalvort::dtSMP2C42);
  } else {
    CurNetDeviceNum = tag - kBuiltInTag - 1;
    document_.setDeviceType(kalvort::dtWMP2C42);
  }
  ChangeDeviceType();
}

void MainWindow::AskSaveBeforeDeviceChange() {
  if (!document_.changed()) return;
  const auto answer = Dialogs.ask(this, QMessageBox::Question, QStringLiteral("Проект не сохранен"),
                                  QStringLiteral("Сохранить проект?"), QMessageBox::Yes | QMessageBox::No);
  if (answer == QMessageBox::Yes) projectCommands().saveAs();
  // The device change goes ahead whatever the answer: the project starts afresh.
  projectCommands().resetProject();
}

void MainWindow::ChangeDeviceType() {
  if (document_.deviceType() == kalvort::dtNone) return;
  DeviceController &device = deviceController();
  const bool hadDevice = device.hasDevice() || device.creationPending();
  if (document_.deviceType() == kalvort::dtProg) {
    if (hadDevice) AskSaveBeforeDeviceChange();
    if (device.hasDevice() && device.session()->ProjectDeviceType() != kalvort::dtProg) DestroyDevice();
    if (!device.hasDevice()) CreateDevice(DeviceTarget{});
    return;
  }
  if (CurNetDeviceNum < 0 || CurNetDeviceNum >= static_cast<int>(NetDevices.size())) return;
  if (hadDevice) AskSaveBeforeDeviceChange();
  DestroyDevice();
  DeviceTarget target;
  target.usb = false;
  target.ip = NetDevices[static_cast<size_t>(CurNetDeviceNum)].ip;
  target.port = kalvort::kControllerPort;
  target.subtype = document_.deviceType() == kalvort::dtSMP2C42 ? kalvort::dstSMP : kalvort::dstWMP;
  // The controller takes 2С42 programs.
  document_.options().processing.project_type = 0;
  CreateDevice(target);
}

void MainWindow::DestroyDevice() {
  const bool hadDevice = deviceController().hasDevice();
  deviceController().releaseDevice();
  if (hadDevice) updateCommandStates();
}

void MainWindow::CreateDevice(const DeviceTarget &target) {
  deviceController().choose(target, document_.options().timeout_factor);
}

void MainWindow::ConnectDeviceController() {
  DeviceController *device = &deviceController();
  connect(device, &DeviceController::statusChanged, this, &MainWindow::ApplyStatus);
  connect(device, &DeviceController::deviceAttached, this, &MainWindow::AttachDevice);
  connect(device, &DeviceController::creationFailed, this,
          [this](const QString &error) { Dialogs.error(this, QStringLiteral("Ошибка"), error); });
}

void MainWindow::AttachDevice() {
  // Completion events and the progress callback are set by each device command's chain object.
  deviceController().session()->Device().SetTimeoutFactor(document_.options().timeout_factor);
  document_.programs().SetMaxProgNum(MaxProgNum);
  updateCommandStates();
  if (!pending_open_file_.isEmpty()) QMetaObject::invokeMethod(this, &MainWindow::OpenPendingFile, Qt::QueuedConnection);
}

void MainWindow::OptionsActionExecute() {
  TSettingsForm form(this);
  projectCommands().presetSettingsForm(form);
  if (form.exec() != QDialog::Accepted) return;

  kalvort::Options chosen = form.options();
  bool reprocess = chosen.processing.enabled != document_.options().processing.enabled;
  // Only the USB programmer lets the project type be chosen; the other devices take 2С42.
  if (document_.deviceType() == kalvort::dtProg)
    reprocess = reprocess || chosen.processing.project_type != document_.options().processing.project_type;
  else
    chosen.processing.project_type = 0;
  document_.options() = chosen;
  if (DeviceSession *session = deviceController().session())
    session->Device().SetTimeoutFactor(document_.options().timeout_factor);
  if (reprocess && document_.options().processing.enabled) {
    emit reprocessRequested();
    programEditing().reprocessCurrentEntry();
  }
  updateCommandStates();
}
