// The device selector and the device object behind it: filling the selector from the network
// device list, replacing the device object when the pick changes (created off the window's
// thread: a networked controller's object talks to the controller while it is built), and the
// project settings dialog.

#include <QComboBox>
#include <QTimer>

#include "base/Log.h"
#include "dialogs/SettingsDialog.h"
#include "transport/LanProtocol.h"
#include "workflow/DeviceSession.h"
#include "support/BackgroundWorker.h"
#include "support/UserDialogs.h"
#include "window/MainWindow.h"

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
    DeviceType = kalvort::dtProg;
  } else if (tag <= kBuiltInTag) {
    CurNetDeviceNum = tag - 1;
    DeviceType = kalvort::dtSMP2C42;
  } else {
    CurNetDeviceNum = tag - kBuiltInTag - 1;
    DeviceType = kalvort::dtWMP2C42;
  }
  ChangeDeviceType();
}

void MainWindow::AskSaveBeforeDeviceChange() {
  if (!project_changed) return;
  const auto answer = Dialogs.ask(this, QMessageBox::Question, QStringLiteral("Проект не сохранен"),
                                  QStringLiteral("Сохранить проект?"), QMessageBox::Yes | QMessageBox::No);
  if (answer == QMessageBox::Yes) ProjectSave();
  // The device change goes ahead whatever the answer: the project starts afresh.
  ResetProject();
}

void MainWindow::ChangeDeviceType() {
  if (DeviceType == kalvort::dtNone) return;
  const bool hadDevice = MemDevice != nullptr || device_creation_pending_;
  if (DeviceType == kalvort::dtProg) {
    if (hadDevice) AskSaveBeforeDeviceChange();
    if (MemDevice && MemDevice->ProjectDeviceType() != kalvort::dtProg) DestroyDevice();
    if (!MemDevice) CreateDevice(DeviceTarget{});
    return;
  }
  if (CurNetDeviceNum < 0 || CurNetDeviceNum >= static_cast<int>(NetDevices.size())) return;
  if (hadDevice) AskSaveBeforeDeviceChange();
  DestroyDevice();
  DeviceTarget target;
  target.usb = false;
  target.ip = NetDevices[static_cast<size_t>(CurNetDeviceNum)].ip;
  target.port = kalvort::kControllerPort;
  target.subtype = DeviceType == kalvort::dtSMP2C42 ? kalvort::dstSMP : kalvort::dstWMP;
  // The controller takes 2С42 programs.
  CurrentOptions.processing.project_type = 0;
  CreateDevice(target);
}

void MainWindow::DestroyDevice() {
  ++poll_generation_;  // a poll in flight reports on the device going away
  if (!MemDevice) return;
  ReleaseDevice();
  updateCommandStates();
}

void MainWindow::ReleaseDevice() {
  if (!MemDevice) return;
  // A poll in flight may still use the device: it goes once the poll has returned, on this thread
  // (its hot-plug listener belongs here). The worker is the context: it outlives the window's
  // members, and its destructor drops the device with the jobs not run.
  std::shared_ptr<DeviceSession> released(std::move(MemDevice));
  worker_->afterPending(worker_.get(), [released] {});
}

void MainWindow::CreateDevice(const DeviceTarget &target) {
  const uint64_t generation = ++creation_generation_;
  device_creation_pending_ = true;
  const int factor = CurrentOptions.timeout_factor;
  struct Created {
    std::unique_ptr<DeviceSession> session;
    std::string error;
  };
  // The previous device object goes first (once the poll in flight has returned); the new one is
  // made after that.
  worker_->afterPending(this, [this, target, factor, generation] {
    if (generation != creation_generation_ || closed_) return;  // a later pick replaced this one
    worker_->run<Created>(
        this,
        [target, factor] {
          Created c;
          c.session = DeviceSession::Create(target, factor, c.error);
          return c;
        },
        [this, generation](Created &c) {
          if (generation != creation_generation_ || closed_) return;
          device_creation_pending_ = false;
          if (!c.session) {
            // Only a USB driver that cannot be used gets here; a device that does not answer is made.
            kalvort::LogMessage(kalvort::LogLevel::Warning, "device not created: " + c.error);
            Dialogs.error(this, QStringLiteral("Ошибка"), QString::fromStdString(c.error));
            return;
          }
          AttachDevice(std::move(c.session));
        });
  });
}

void MainWindow::AttachDevice(std::unique_ptr<DeviceSession> session) {
  kalvort::TDeviceClass &device = session->Device();
  // Completion events and the progress callback are set by each device command's chain object
  // (DeviceCommands.cpp).
  device.SetTimeoutFactor(CurrentOptions.timeout_factor);
  project_.Programs().SetMaxProgNum(MaxProgNum);
  MemDevice = std::move(session);
  updateCommandStates();
  if (!pending_open_file_.isEmpty()) QMetaObject::invokeMethod(this, &MainWindow::OpenPendingFile, Qt::QueuedConnection);
}

void MainWindow::OptionsActionExecute() {
  TSettingsForm form(this);
  PresetSettingsForm(form);
  if (form.exec() != QDialog::Accepted) return;

  kalvort::Options chosen = form.options;
  bool reprocess = chosen.processing.enabled != CurrentOptions.processing.enabled;
  // Only the USB programmer lets the project type be chosen; the other devices take 2С42.
  if (DeviceType == kalvort::dtProg)
    reprocess = reprocess || chosen.processing.project_type != CurrentOptions.processing.project_type;
  else
    chosen.processing.project_type = 0;
  CurrentOptions = chosen;
  if (MemDevice) MemDevice->Device().SetTimeoutFactor(CurrentOptions.timeout_factor);
  if (reprocess && CurrentOptions.processing.enabled) {
    emit reprocessRequested();
    ReprocessCurrentEntry();
  }
  updateCommandStates();
}
