#include "dialogs/NetSettingsDialog.h"

#include <algorithm>
#include <atomic>

#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "support/BackgroundWorker.h"
#include "support/UserDialogs.h"
#include "widgets/Ipv4Edit.h"
#include "transport/LanProtocol.h"
#include "workflow/NetworkSearch.h"

namespace {

using kalvort::TNetDevice;
using kalvort::kControllerPort;
using kalvort::app::BackgroundWorker;
using kalvort::app::Ipv4Edit;
using kalvort::workflow::NetworkSearch;

constexpr int kProbeIntervalMs = 500;
const QString kWarningTitle = QStringLiteral("Предупреждение");

QTableWidget *makeGrid(QWidget *parent, const QStringList &headers) {
  auto *grid = new QTableWidget(0, static_cast<int>(headers.size()), parent);
  grid->setHorizontalHeaderLabels(headers);
  grid->verticalHeader()->hide();
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->horizontalHeader()->setStretchLastSection(true);
  return grid;
}

QPushButton *makeButton(const QString &text, const char *name, QWidget *parent) {
  auto *b = new QPushButton(text, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

// One search: the probe object lives on the worker and is touched only there; the fields below
// it are written by the worker and read by the dialog after the probe has returned.
struct NetSettingsDialog::SearchRun {
  uint32_t from = 0, to = 0;
  std::unique_ptr<NetworkSearch> search;
  NetworkSearch::Result last{};
  bool done = false;
  int percent = 0;
  QElapsedTimer started;  // start of the last probe
  std::atomic<bool> stopped{false};
};

NetSettingsDialog::NetSettingsDialog(UserDialogs &dialogs, QWidget *parent, BackgroundWorker *worker)
    : QDialog(parent), dialogs_(dialogs), worker_(worker ? worker : new BackgroundWorker(this)) {
  setObjectName(QStringLiteral("NetSettingsForm"));
  setWindowTitle(QStringLiteral("Настройка сети устройств"));
  net_devices_ = &own_devices_;
  tick_ = new QTimer(this);
  tick_->setSingleShot(true);
  connect(tick_, &QTimer::timeout, this, &NetSettingsDialog::probeNext);

  QGroupBox *listGroup = buildDeviceList();
  QGroupBox *deviceGroup = buildDeviceEditor();
  QGroupBox *searchGroup = buildSearch();
  QHBoxLayout *bottom = buildButtons();
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(listGroup);
  layout->addWidget(deviceGroup);
  layout->addWidget(searchGroup);
  layout->addLayout(bottom);
  device_table_->setMinimumHeight(140);
  search_table_->setMinimumHeight(100);
  resize(460, 560);
  setFixedSize(size());
  connectControls();
}

// The list of networked controllers, one row each.
QGroupBox *NetSettingsDialog::buildDeviceList() {
  auto *listGroup = new QGroupBox(QStringLiteral("Обслуживаемые устройства в сети"), this);
  device_table_ = makeGrid(listGroup, {QStringLiteral("№"), QStringLiteral("IP-адрес"), QStringLiteral("Имя")});
  device_table_->setObjectName(QStringLiteral("DeviceTable"));
  (new QVBoxLayout(listGroup))->addWidget(device_table_);
  return listGroup;
}

// The controller being edited: its address and name, and the buttons that change the list.
QGroupBox *NetSettingsDialog::buildDeviceEditor() {
  auto *deviceGroup = new QGroupBox(QStringLiteral("Модуль Урвелл"), this);
  ip_edit_ = new Ipv4Edit(deviceGroup);
  ip_edit_->setObjectName(QStringLiteral("IpEdit"));
  name_edit_ = new QLineEdit(QStringLiteral("Устройство"), deviceGroup);
  name_edit_->setObjectName(QStringLiteral("NameEdit"));
  add_button_ = makeButton(QStringLiteral("Добавить"), "AddButton", deviceGroup);
  del_button_ = makeButton(QStringLiteral("Удалить"), "DelButton", deviceGroup);
  change_button_ = makeButton(QStringLiteral("Изменить"), "ChangeButton", deviceGroup);
  clear_button_ = makeButton(QStringLiteral("Очистить список"), "ClearButton", deviceGroup);
  auto *dl = new QGridLayout(deviceGroup);
  dl->addWidget(new QLabel(QStringLiteral("IP-адрес"), deviceGroup), 0, 0);
  dl->addWidget(ip_edit_, 0, 1);
  dl->addWidget(new QLabel(QStringLiteral("Имя"), deviceGroup), 1, 0);
  dl->addWidget(name_edit_, 1, 1);
  auto *db = new QHBoxLayout;
  for (QPushButton *b : {add_button_, del_button_, change_button_, clear_button_}) db->addWidget(b);
  dl->addLayout(db, 2, 0, 1, 2);
  return deviceGroup;
}

// The search: the address range, what answered, the progress and the start and stop buttons.
QGroupBox *NetSettingsDialog::buildSearch() {
  auto *searchGroup = new QGroupBox(QStringLiteral("Поиск"), this);
  from_edit_ = new Ipv4Edit(searchGroup);
  from_edit_->setObjectName(QStringLiteral("FromEdit"));
  from_edit_->setAddress(QStringLiteral("192.168.0.10"));
  to_edit_ = new Ipv4Edit(searchGroup);
  to_edit_->setObjectName(QStringLiteral("ToEdit"));
  to_edit_->setAddress(QStringLiteral("192.168.0.100"));
  search_table_ = makeGrid(searchGroup, {QString()});
  search_table_->setObjectName(QStringLiteral("SearchTable"));
  progress_bar_ = new QProgressBar(searchGroup);
  progress_bar_->setObjectName(QStringLiteral("ProgressBar"));
  progress_bar_->setRange(0, 100);
  progress_bar_->setValue(0);
  start_button_ = makeButton(QStringLiteral("Старт"), "StartButton", searchGroup);
  stop_button_ = makeButton(QStringLiteral("Стоп"), "StopButton", searchGroup);
  stop_button_->setEnabled(false);
  auto *sl = new QGridLayout(searchGroup);
  sl->addWidget(new QLabel(QStringLiteral("Искать с"), searchGroup), 0, 0);
  sl->addWidget(from_edit_, 0, 1);
  sl->addWidget(new QLabel(QStringLiteral("Искать по"), searchGroup), 1, 0);
  sl->addWidget(to_edit_, 1, 1);
  sl->addWidget(search_table_, 0, 2, 3, 1);
  sl->addWidget(progress_bar_, 3, 0, 1, 3);
  auto *sb = new QHBoxLayout;
  sb->addWidget(start_button_);
  sb->addWidget(stop_button_);
  sl->addLayout(sb, 2, 0, 1, 2);
  return searchGroup;
}

// "OK" and "Отмена" at the bottom right.
QHBoxLayout *NetSettingsDialog::buildButtons() {
  ok_button_ = makeButton(QStringLiteral("OK"), "OkButton", this);
  ok_button_->setDefault(true);
  cancel_button_ = makeButton(QStringLiteral("Отмена"), "CancelButton", this);
  auto *bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(ok_button_);
  bottom->addWidget(cancel_button_);
  return bottom;
}

void NetSettingsDialog::connectControls() {
  connect(device_table_, &QTableWidget::itemSelectionChanged, this, &NetSettingsDialog::DeviceListClicked);
  connect(device_table_, &QTableWidget::cellClicked, this, &NetSettingsDialog::DeviceListClicked);
  connect(search_table_, &QTableWidget::itemSelectionChanged, this, &NetSettingsDialog::SearchResultClicked);
  connect(search_table_, &QTableWidget::cellClicked, this, &NetSettingsDialog::SearchResultClicked);
  connect(add_button_, &QPushButton::clicked, this, &NetSettingsDialog::AddClick);
  connect(del_button_, &QPushButton::clicked, this, &NetSettingsDialog::DelClick);
  connect(change_button_, &QPushButton::clicked, this, &NetSettingsDialog::ChangeClick);
  connect(clear_button_, &QPushButton::clicked, this, &NetSettingsDialog::ClearClick);
  connect(start_button_, &QPushButton::clicked, this, &NetSettingsDialog::StartClick);
  connect(stop_button_, &QPushButton::clicked, this, &NetSettingsDialog::StopClick);
  connect(ok_button_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_button_, &QPushButton::clicked, this, &QDialog::reject);
}

// A probe on its way finishes on the worker; its answer goes nowhere once the dialog is gone.
NetSettingsDialog::~NetSettingsDialog() { StopClick(); }

bool NetSettingsDialog::probing() const { return jobs_ > 0; }

void NetSettingsDialog::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  fillgrid();
  fillsearchgrid();
  if (device_table_->rowCount() > 0) {
    device_table_->setCurrentCell(0, 0);
    DeviceListClicked();
  }
}

void NetSettingsDialog::done(int result) {
  StopClick();
  QDialog::done(result);
}

// ---- lists ----

void NetSettingsDialog::fillgrid() {
  const int current = device_table_->currentRow();
  QSignalBlocker block(device_table_);
  device_table_->setRowCount(static_cast<int>(net_devices_->size()));
  for (int i = 0; i < static_cast<int>(net_devices_->size()); ++i) {
    const TNetDevice &d = (*net_devices_)[static_cast<size_t>(i)];
    device_table_->setItem(i, 0, new QTableWidgetItem(QString::number(i + 1)));
    device_table_->setItem(i, 1, new QTableWidgetItem(QString::fromStdString(d.ip)));
    device_table_->setItem(i, 2, new QTableWidgetItem(QString::fromStdU16String(d.name)));
  }
  device_table_->resizeColumnToContents(0);
  if (device_table_->rowCount() > 0)
    device_table_->setCurrentCell(std::clamp(current, 0, device_table_->rowCount() - 1), 0);
}

void NetSettingsDialog::fillsearchgrid() {
  QSignalBlocker block(search_table_);
  search_table_->setRowCount(static_cast<int>(search_devices_.size()));
  for (int i = 0; i < static_cast<int>(search_devices_.size()); ++i)
    search_table_->setItem(
        i, 0, new QTableWidgetItem(QString::fromStdString(search_devices_[static_cast<size_t>(i)].ip)));
}

void NetSettingsDialog::DeviceListClicked() {
  const int row = device_table_->currentRow();
  if (row < 0 || row >= static_cast<int>(net_devices_->size())) return;
  const TNetDevice &d = (*net_devices_)[static_cast<size_t>(row)];
  ip_edit_->setAddress(QString::fromStdString(d.ip));
  name_edit_->setText(QString::fromStdU16String(d.name));
}

void NetSettingsDialog::SearchResultClicked() {
  const int row = search_table_->currentRow();
  if (row < 0 || row >= static_cast<int>(search_devices_.size())) return;
  ip_edit_->setAddress(QString::fromStdString(search_devices_[static_cast<size_t>(row)].ip));
  name_edit_->setText(QStringLiteral("Устройство"));
}

// ---- list commands ----

bool NetSettingsDialog::ipListed(const QString &ip, int except_row) const {
  const std::string text = ip.toStdString();
  for (size_t i = 0; i < net_devices_->size(); ++i)
    if (static_cast<int>(i) != except_row && (*net_devices_)[i].ip == text) return true;
  return false;
}

void NetSettingsDialog::AddClick() {
  const QString ip = ip_edit_->address();
  if (ipListed(ip, -1)) {
    dialogs_.ask(this, QMessageBox::Warning, kWarningTitle, QStringLiteral("Такой IP-адрес есть в списке."),
                QMessageBox::Ok);
    return;
  }
  net_devices_->push_back({ip.toStdString(), name_edit_->text().toStdU16String()});
  fillgrid();
  device_table_->setCurrentCell(device_table_->rowCount() - 1, 0);
}

void NetSettingsDialog::ChangeClick() {
  const int row = device_table_->currentRow();
  if (net_devices_->empty() || row < 0 || row >= static_cast<int>(net_devices_->size())) return;
  const QString ip = ip_edit_->address();
  if (ipListed(ip, row)) {
    dialogs_.ask(this, QMessageBox::Warning, kWarningTitle, QStringLiteral("Такой IP-адрес есть в списке."),
                QMessageBox::Ok);
    return;
  }
  (*net_devices_)[static_cast<size_t>(row)] = {ip.toStdString(), name_edit_->text().toStdU16String()};
  fillgrid();
}

void NetSettingsDialog::DelClick() {
  const int row = device_table_->currentRow();
  if (net_devices_->empty() || row < 0 || row >= static_cast<int>(net_devices_->size())) return;
  net_devices_->erase(net_devices_->begin() + row);
  fillgrid();
}

void NetSettingsDialog::ClearClick() {
  net_devices_->clear();
  fillgrid();
}

// ---- search ----

void NetSettingsDialog::setSearchControls(bool running) {
  for (QWidget *w : std::initializer_list<QWidget *>{ip_edit_, name_edit_, from_edit_, to_edit_, add_button_,
                                                     del_button_, change_button_, clear_button_, start_button_,
                                                     ok_button_})
    w->setEnabled(!running);
  stop_button_->setEnabled(running);
}

void NetSettingsDialog::StartClick() {
  if (searching_) return;
  search_devices_.clear();
  fillsearchgrid();
  const uint32_t from = from_edit_->value();
  const uint32_t to = to_edit_->value();
  if (to < from) {
    dialogs_.ask(this, QMessageBox::Warning, kWarningTitle, QString::fromUtf8(kalvort::workflow::kBadSearchRange),
                QMessageBox::Ok);
    return;
  }
  run_ = std::make_shared<SearchRun>();
  run_->from = from;
  run_->to = to;
  searching_ = true;
  setSearchControls(true);
  progress_bar_->setValue(0);
  // A probe of a stopped search may still be on its way: the first probe waits for it.
  if (jobs_ == 0) probeNext();
}

void NetSettingsDialog::StopClick() {
  tick_->stop();
  if (run_) {
    run_->stopped = true;
    // The probe object is closed and destroyed on the worker, after the probe on its way.
    std::shared_ptr<SearchRun> run = run_;
    ++jobs_;
    worker_->run(this, [run] { run->search.reset(); }, [this] { --jobs_; });
    run_.reset();
  }
  if (!searching_) return;
  searching_ = false;
  setSearchControls(false);
  progress_bar_->setValue(0);
}

void NetSettingsDialog::probeNext() {
  if (!searching_ || !run_ || jobs_ > 0) return;
  std::shared_ptr<SearchRun> run = run_;
  run->started.start();
  ++jobs_;
  worker_->run(
      this,
      [run] {
        // The probe object (and with it the connection) is created on the worker as well.
        if (!run->search) run->search = std::make_unique<NetworkSearch>(run->from, run->to, kControllerPort);
        run->last = run->search->Step();
        run->done = run->search->Done();
        run->percent = run->search->Percent();
        // A search that ends or was stopped lets its probe object go on this thread.
        if (run->done || run->stopped) run->search.reset();
      },
      [this, run] {
        --jobs_;
        probeReturned(run);
      });
}

void NetSettingsDialog::probeReturned(const std::shared_ptr<SearchRun> &run) {
  if (run != run_) {
    // The answer of a stopped search; a new search may be waiting for the worker.
    if (searching_ && run_ && !tick_->isActive()) probeNext();
    return;
  }
  if (run->last.answered) {
    search_devices_.push_back({run->last.ip, std::u16string()});
    fillsearchgrid();
  }
  progress_bar_->setValue(run->percent);
  if (run->done) {
    StopClick();
    progress_bar_->setValue(0);
    return;
  }
  tick_->start(std::max<qint64>(0, kProbeIntervalMs - run->started.elapsed()));
}
