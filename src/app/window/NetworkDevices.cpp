// The network device list dialog, opened from "Поиск сетевого устройства".

#include <QComboBox>
#include <QSignalBlocker>

#include "dialogs/NetSettingsDialog.h"
#include "support/BackgroundWorker.h"
#include "window/DeviceController.h"
#include "window/MainWindow.h"

void MainWindow::DeviceNetworkActionExecute() {
  // The dialog's probes use the one network socket: no status poll meanwhile (a poll in flight
  // returns before the first probe, which is queued behind it on the same worker).
  deviceController().stopPolling();
  const std::vector<kalvort::TNetDevice> backup = NetDevices;
  if (!NetSettingsForm)
    NetSettingsForm = std::make_unique<TNetSettingsForm>(Dialogs, this, &deviceController().worker());
  NetSettingsForm->setDevices(&NetDevices);
  if (NetSettingsForm->exec() == QDialog::Accepted) {
    // The selector shows its first entry; the device object changes only when the user picks one.
    FillCombo();
    const QSignalBlocker block(DeviceSelector);
    DeviceSelector->setCurrentIndex(0);
  } else {
    NetDevices = backup;
  }
  deviceController().startPolling();
}
