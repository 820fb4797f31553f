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
struct TNetSettingsForm::SearchRun {
  uint32_t from = 0, to = 0;
  std::unique_ptr<NetworkSearch> search;
  NetworkSearch::Result last{};
  bool done = false;
  int percent = 0;
  QElapsedTimer started;  // start of the last probe
  std::atomic<bool> stopped{false};
};

TNetSettingsForm::TNetSettingsForm(UserDialogs &dialogs, QWidget *parent, BackgroundWorker *worker)
    : QDialog(parent), Dialogs(dialogs), worker_(worker ? worker : new BackgroundWorker(this)) {
  setObjectName(QStringLiteral("NetSettingsForm"));
  setWindowTitle(QStringLiteral("Настройка сети устройств"));
  NetDevices = &own_devices_;
  tick_ = new QTimer(this);
  tick_->setSingleShot(true);
  connect(tick_, &QTimer::timeout, this, &TNetSettingsForm::probeNext);

  QGroupBox *listGroup = buildDeviceList();
  QGroupBox *deviceGroup = buildDeviceEditor();
  QGroupBox *searchGroup = buildSearch();
  QHBoxLayout *bottom = buildButtons();
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(listGroup);
  layout->addWidget(deviceGroup);
  layout->addWidget(searchGroup);
  layout->addLayout(bottom);
  DeviceTable->setMinimumHeight(140);
  SearchTable->setMinimumHeight(100);
  resize(460, 560);
  setFixedSize(size());
  connectControls();
}

// The list of networked controllers, one row each.
QGroupBox *TNetSettingsForm::buildDeviceList() {
  auto *listGroup = new QGroupBox(QStringLiteral("Обслуживаемые устройства в сети"), this);
  DeviceTable = makeGrid(listGroup, {QStringLiteral("№"), QStringLiteral("IP-адрес"), QStringLiteral("Имя")});
  DeviceTable->setObjectName(QStringLiteral("DeviceTable"));
  (new QVBoxLayout(listGroup))->addWidget(DeviceTable);
  return listGroup;
}

// The controller being edited: its address and name, and the buttons that change the list.
QGroupBox *TNetSettingsForm::buildDeviceEditor() {
  auto *deviceGroup = new QGroupBox(QStringLiteral("Модуль Урвелл"), this);
  IpEdit = new Ipv4Edit(deviceGroup);
  IpEdit->setObjectName(QStringLiteral("IpEdit"));
  NameEdit = new QLineEdit(QStringLiteral("Устройство"), deviceGroup);
  NameEdit->setObjectName(QStringLiteral("NameEdit"));
  AddButton = makeButton(QStringLiteral("Добавить"), "AddButton", deviceGroup);
  DelButton = makeButton(QStringLiteral("Удалить"), "DelButton", deviceGroup);
  ChangeButton = makeButton(QStringLiteral("Изменить"), "ChangeButton", deviceGroup);
  ClearButton = makeButton(QStringLiteral("Очистить список"), "ClearButton", deviceGroup);
  auto *dl = new QGridLayout(deviceGroup);
  dl->addWidget(new QLabel(QStringLiteral("IP-адрес"), deviceGroup), 0, 0);
  dl->addWidget(IpEdit, 0, 1);
  dl->addWidget(new QLabel(QStringLiteral("Имя"), deviceGroup), 1, 0);
  dl->addWidget(NameEdit, 1, 1);
  auto *db = new QHBoxLayout;
  for (QPushButton *b : {AddButton, DelButton, ChangeButton, ClearButton}) db->addWidget(b);
  dl->addLayout(db, 2, 0, 1, 2);
  return deviceGroup;
}

// The search: the address range, what answered, the progress and the start and stop buttons.
QGroupBox *TNetSettingsForm::buildSearch() {
  auto *searchGroup = new QGroupBox(QStringLiteral("Поиск"), this);
  FromEdit = new Ipv4Edit(searchGroup);
  FromEdit->setObjectName(QStringLiteral("FromEdit"));
  FromEdit->setAddress(QStringLiteral("192.168.0.10"));
  ToEdit = new Ipv4Edit(searchGroup);
  ToEdit->setObjectName(QStringLiteral("ToEdit"));
  ToEdit->setAddress(QStringLiteral("192.168.0.100"));
  SearchTable = makeGrid(searchGroup, {QString()});
  SearchTable->setObjectName(QStringLiteral("SearchTable"));
  ProgressBar = new QProgressBar(searchGroup);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setRange(0, 100);
  ProgressBar->setValue(0);
  StartButton = makeButton(QStringLiteral("Старт"), "StartButton", searchGroup);
  StopButton = makeButton(QStringLiteral("Стоп"), "StopButton", searchGroup);
  StopButton->setEnabled(false);
  auto *sl = new QGridLayout(searchGroup);
  sl->addWidget(new QLabel(QStringLiteral("Искать с"), searchGroup), 0, 0);
  sl->addWidget(FromEdit, 0, 1);
  sl->addWidget(new QLabel(QStringLiteral("Искать по"), searchGroup), 1, 0);
  sl->addWidget(ToEdit, 1, 1);
  sl->addWidget(SearchTable, 0, 2, 3, 1);
  sl->addWidget(ProgressBar, 3, 0, 1, 3);
  auto *sb = new QHBoxLayout;
  sb->addWidget(StartButton);
  sb->addWidget(StopButton);
  sl->addLayout(sb, 2, 0, 1, 2);
  return searchGroup;
}

// "OK" and "Отмена" at the bottom right.
QHBoxLayout *TNetSettingsForm::buildButtons() {
  OkButton = makeButton(QStringLiteral("OK"), "OkButton", this);
  OkButton->setDefault(true);
  CancelButton = makeButton(QStringLiteral("Отмена"), "CancelButton", this);
  auto *bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(OkButton);
  bottom->addWidget(CancelButton);
  return bottom;
}

void TNetSettingsForm::connectControls() {
  connect(DeviceTable, &QTableWidget::itemSelectionChanged, this, &TNetSettingsForm::DeviceListClicked);
  connect(DeviceTable, &QTableWidget::cellClicked, this, &TNetSettingsForm::DeviceListClicked);
  connect(SearchTable, &QTableWidget::itemSelectionChanged, this, &TNetSettingsForm::SearchResultClicked);
  connect(SearchTable, &QTableWidget::cellClicked, this, &TNetSettingsForm::SearchResultClicked);
  connect(AddButton, &QPushButton::clicked, this, &TNetSettingsForm::AddClick);
  connect(DelButton, &QPushButton::clicked, this, &TNetSettingsForm::DelClick);
  connect(ChangeButton, &QPushButton::clicked, this, &TNetSettingsForm::ChangeClick);
  connect(ClearButton, &QPushButton::clicked, this, &TNetSettingsForm::ClearClick);
  connect(StartButton, &QPushButton::clicked, this, &TNetSettingsForm::StartClick);
  connect(StopButton, &QPushButton::clicked, this, &TNetSettingsForm::StopClick);
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

// A probe on its way finishes on the worker; its answer goes nowhere once the dialog is gone.
TNetSettingsForm::~TNetSettingsForm() { StopClick(); }

bool TNetSettingsForm::probing() const { return jobs_ > 0; }

void TNetSettingsForm::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  fillgrid();
  fillsearchgrid();
  if (DeviceTable->rowCount() > 0) {
    DeviceTable->setCurrentCell(0, 0);
    DeviceListClicked();
  }
}

void TNetSettingsForm::done(int result) {
  StopClick();
  QDialog::done(result);
}

// ---- lists ----

void TNetSettingsForm::fillgrid() {
  const int current = DeviceTable->currentRow();
  QSignalBlocker block(DeviceTable);
  DeviceTable->setRowCount(static_cast<int>(NetDevices->size()));
  for (int i = 0; i < static_cast<int>(NetDevices->size()); ++i) {
    const TNetDevice &d = (*NetDevices)[static_cast<size_t>(i)];
    DeviceTable->setItem(i, 0, new QTableWidgetItem(QString::number(i + 1)));
    DeviceTable->setItem(i, 1, new QTableWidgetItem(QString::fromStdString(d.ip)));
    DeviceTable->setItem(i, 2, new QTableWidgetItem(QString::fromStdU16String(d.name)));
  }
  DeviceTable->resizeColumnToContents(0);
  if (DeviceTable->rowCount() > 0)
    DeviceTable->setCurrentCell(std::clamp(current, 0, DeviceTable->rowCount() - 1), 0);
}

void TNetSettingsForm::fillsearchgrid() {
  QSignalBlocker block(SearchTable);
  SearchTable->setRowCount(static_cast<int>(SearchDevices.size()));
  for (int i = 0; i < static_cast<int>(SearchDevices.size()); ++i)
    SearchTable->setItem(i, 0, new QTableWidgetItem(QString::fromStdString(SearchDevices[static_cast<size_t>(i)].ip)));
}

void TNetSettingsForm::DeviceListClicked() {
  const int row = DeviceTable->currentRow();
  if (row < 0 || row >= static_cast<int>(NetDevices->size())) return;
  const TNetDevice &d = (*NetDevices)[static_cast<size_t>(row)];
  IpEdit->setAddress(QString::fromStdString(d.ip));
  NameEdit->setText(QString::fromStdU16String(d.name));
}

void TNetSettingsForm::SearchResultClicked() {
  const int row = SearchTable->currentRow();
  if (row < 0 || row >= static_cast<int>(SearchDevices.size())) return;
  IpEdit->setAddress(QString::fromStdString(SearchDevices[static_cast<size_t>(row)].ip));
  NameEdit->setText(QStringLiteral("Устройство"));
}

// ---- list commands ----

bool TNetSettingsForm::ipListed(const QString &ip, int except_row) const {
  const std::string text = ip.toStdString();
  for (size_t i = 0; i < NetDevices->size(); ++i)
    if (static_cast<int>(i) != except_row && (*NetDevices)[i].ip == text) return true;
  return false;
}

void TNetSettingsForm::AddClick() {
  const QString ip = IpEdit->address();
  if (ipListed(ip, -1)) {
    Dialogs.ask(this, QMessageBox::Warning, kWarningTitle, QStringLiteral("Такой IP-адрес есть в списке."),
                QMessageBox::Ok);
    return;
  }
  NetDevices->push_back({ip.toStdString(), NameEdit->text().toStdU16String()});
  fillgrid();
  DeviceTable->setCurrentCell(DeviceTable->rowCount() - 1, 0);
}

void TNetSettingsForm::ChangeClick() {
  const int row = DeviceTable->currentRow();
  if (NetDevices->empty() || row < 0 || row >= static_cast<int>(NetDevices->size())) return;
  const QString ip = IpEdit->address();
  if (ipListed(ip, row)) {
    Dialogs.ask(this, QMessageBox::Warning, kWarningTitle, QStringLiteral("Такой IP-адрес есть в списке."),
                QMessageBox::Ok);
    return;
  }
  (*NetDevices)[static_cast<size_t>(row)] = {ip.toStdString(), NameEdit->text().toStdU16String()};
  fillgrid();
}

void TNetSettingsForm::DelClick() {
  const int row = DeviceTable->currentRow();
  if (NetDevices->empty() || row < 0 || row >= static_cast<int>(NetDevices->size())) return;
  NetDevices->erase(NetDevices->begin() + row);
  fillgrid();
}

void TNetSettingsForm::ClearClick() {
  NetDevices->clear();
  fillgrid();
}

// ---- search ----

void TNetSettingsForm::setSearchControls(bool running) {
  for (QWidget *w : std::initializer_list<QWidget *>{IpEdit, NameEdit, FromEdit, ToEdit, AddButton, DelButton,
                                                     ChangeButton, ClearButton, StartButton, OkButton})
    w->setEnabled(!running);
  StopButton->setEnabled(running);
}

void TNetSettingsForm::StartClick() {
  if (searching_) return;
  SearchDevices.clear();
  fillsearchgrid();
  const uint32_t from = FromEdit->value();
  const uint32_t to = ToEdit->value();
  if (to < from) {
    Dialogs.ask(this, QMessageBox::Warning, kWarningTitle, QString::fromUtf8(kalvort::workflow::kBadSearchRange),
                QMessageBox::Ok);
    return;
  }
  run_ = std::make_shared<SearchRun>();
  run_->from = from;
  run_->to = to;
  searching_ = true;
  setSearchControls(true);
  ProgressBar->setValue(0);
  // A probe of a stopped search may still be on its way: the first probe waits for it.
  if (jobs_ == 0) probeNext();
}

void TNetSettingsForm::StopClick() {
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
  ProgressBar->setValue(0);
}

void TNetSettingsForm::probeNext() {
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

void TNetSettingsForm::probeReturned(const std::shared_ptr<SearchRun> &run) {
  if (run != run_) {
    // The answer of a stopped search; a new search may be waiting for the worker.
    if (searching_ && run_ && !tick_->isActive()) probeNext();
    return;
  }
  if (run->last.answered) {
    SearchDevices.push_back({run->last.ip, std::u16string()});
    fillsearchgrid();
  }
  ProgressBar->setValue(run->percent);
  if (run->done) {
    StopClick();
    ProgressBar->setValue(0);
    return;
  }
  tick_->start(std::max<qint64>(0, kProbeIntervalMs - run->started.elapsed()));
}
