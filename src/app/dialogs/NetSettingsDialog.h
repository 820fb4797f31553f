#pragma once
// NetSettingsDialog, "Настройка сети устройств": edits the list of networked controllers (address
// and name) and searches an address range for controllers that answer.
//
// The list is the caller's own (setDevices): edits take effect on it directly, the caller keeps
// a copy to restore on "Отмена". The search probes one address at a time on a worker thread, a
// probe starting every 500 ms (or as soon as the previous one returns, when it took longer), so
// the dialog keeps painting and "Стоп" takes effect at once: a probe still on its way is let run
// out and its answer dropped. Closing the dialog in any way ends a running search and waits for
// the last probe to return, so that no probe outlives the dialog.

#include <QDialog>
#include <memory>
#include <vector>

#include "device/DeviceTypes.h"

class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTimer;
namespace kalvort::app {
class BackgroundWorker;
class Ipv4Edit;
}  // namespace kalvort::app
class UserDialogs;

class NetSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  // The probes run on `worker` (the window's), or on a worker of the dialog's own when none is given.
  explicit NetSettingsDialog(UserDialogs &dialogs, QWidget *parent = nullptr,
                            kalvort::app::BackgroundWorker *worker = nullptr);
  ~NetSettingsDialog() override;

  // The list edited by the dialog; must outlive the showing.
  void setDevices(std::vector<kalvort::TNetDevice> *devices) { net_devices_ = devices; }
  const std::vector<kalvort::TNetDevice> &searchDevices() const { return search_devices_; }
  bool searching() const { return searching_; }
  // True while a probe runs on the worker (also just after "Стоп").
  bool probing() const;

  void done(int result) override;

 protected:
  void showEvent(QShowEvent *event) override;

 private:
  struct SearchRun;

  QGroupBox *buildDeviceList();
  QGroupBox *buildDeviceEditor();
  QGroupBox *buildSearch();
  QHBoxLayout *buildButtons();
  void connectControls();
  void fillgrid();
  void fillsearchgrid();
  void DeviceListClicked();
  void SearchResultClicked();
  void AddClick();
  void DelClick();
  void ChangeClick();
  void ClearClick();
  void StartClick();
  void StopClick();
  void probeNext();
  void probeReturned(const std::shared_ptr<SearchRun> &run);
  void setSearchControls(bool running);
  bool ipListed(const QString &ip, int except_row) const;

  QTableWidget *device_table_ = nullptr;  // device list
  kalvort::app::Ipv4Edit *ip_edit_ = nullptr;
  QLineEdit *name_edit_ = nullptr;
  QPushButton *add_button_ = nullptr;
  QPushButton *del_button_ = nullptr;
  QPushButton *change_button_ = nullptr;
  QPushButton *clear_button_ = nullptr;
  kalvort::app::Ipv4Edit *from_edit_ = nullptr;
  kalvort::app::Ipv4Edit *to_edit_ = nullptr;
  QTableWidget *search_table_ = nullptr;  // search results
  QProgressBar *progress_bar_ = nullptr;
  QPushButton *start_button_ = nullptr;
  QPushButton *stop_button_ = nullptr;
  QPushButton *ok_button_ = nullptr;
  QPushButton *cancel_button_ = nullptr;

  UserDialogs &dialogs_;
  std::vector<kalvort::TNetDevice> *net_devices_ = nullptr;
  std::vector<kalvort::TNetDevice> own_devices_;  // used when no list was handed over
  std::vector<kalvort::TNetDevice> search_devices_;

  kalvort::app::BackgroundWorker *worker_;
  int jobs_ = 0;                     // this dialog's jobs on the worker not yet returned
  QTimer *tick_;                     // the wait before the next probe
  std::shared_ptr<SearchRun> run_;   // the running search, null when none
  bool searching_ = false;
};
