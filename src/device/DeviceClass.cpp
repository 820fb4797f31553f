// TDeviceClass: life cycle, action requests with their time-outs, cancellation, completion,
// opening and closing the device, hot-plug handling.

#include "device/DeviceClass.h"

#include <algorithm>

#include "device/DebugLog.h"

namespace kalvort {

namespace {
// Longest a timed-out completion waits for the worker to abandon the action.
constexpr std::chrono::milliseconds kAbandonWait{2000};
}  // namespace

int64_t Nearest(int64_t num, int64_t den) {
  if (den <= 0) return 0;
  int64_t q = num / den;
  const int64_t r = num % den;
  if (2 * r > den || (2 * r == den && (q % 2) != 0)) ++q;
  return q;
}

TDeviceClass::TDeviceClass(TDeviceType type) : dev_type_(type) {
  last_error_ = deOK;
  dev_state_.connected = false;
  dev_state_.MP_connected = false;
  // The worker only waits for a request until construction is complete and one is posted, so
  // it never reaches the transport operations of a half-built object.
  worker_ = std::thread(&TDeviceClass::Execute, this);
}

TDeviceClass::~TDeviceClass() { StopWorker(); }

void TDeviceClass::StopWorker() {
  usb_detect_.reset();
  {
    std::lock_guard<std::mutex> hold(hot_plug_mutex_);
    held_event_.reset();
  }
  {
    std::lock_guard<std::mutex> guard(device_action_mutex_);
    terminated_ = true;
    worker_wake_.notify_all();
    idle_wake_.notify_all();
  }
  if (worker_.joinable()) {
    if (worker_.get_id() == std::this_thread::get_id()) {
      worker_.detach();
    } else {
      worker_.join();
    }
  }
  // A completion that has not started is dropped; one that is running is waited for.
  waiter_.Stop();
}

void TDeviceClass::AttachUSBDetector(std::shared_ptr<TUSBDetector> detector) {
  usb_detect_ = std::move(detector);
  if (usb_detect_) on_usb_detect_(usb_detect_.get(), doInsert);
}

std::optional<int64_t> TDeviceClass::ActionTimeout(TDevAction action, int index) const {
  const int64_t f = timeout_factor_;
  const int64_t page_size = dev_state_.MP_page_size;
  const int64_t page_all = dev_state_.MP_page_all;
  const int64_t max_prog = dev_max_prog_num_;
  auto prog_size = [&]() -> int64_t {
    if (index < 0 || index >= static_cast<int>(entries_.size())) return 0;
    return entries_[static_cast<size_t>(index)].prog_size;
  };
  switch (action) {
    case daGetCat: return Nearest(max_prog * 65 * page_size, 264) * f;
    case daGetProg: return ((Nearest(prog_size(), 1024) + 1) * 35 + 400) * f;
    case daBurnCat: return page_all * 10 * f;
    case daBurnProg: return ((Nearest(prog_size(), std::max<int64_t>(page_size, 1)) + 1) * 30 + 200) * f;
    case daEraseCat: return (max_prog * 20 * page_size) / 264 * f;
    case daEraseFull: return (page_all * 20 * page_size) / 264 * f;
    case daQuickTest: return max_prog * 1000;
    case daFullTest: return page_all * 1000;
    case daReadImage: return ((Nearest(dev_state_.MP_size, 1024) + 1) * 35 + 400) * f;
    case daBurnImage: return std::nullopt;
    default: return std::nullopt;
  }
}

bool TDeviceClass::BeginRequest(TDevAction action, TDeviceEvent callback, std::optional<int64_t> timeout,
                                int index) {
  {
    std::lock_guard<std::mutex> link(link_mutex_);
    if (!dev_state_.connected) {
      last_error_ = deNotConnected;
      return false;
    }
    if (!dev_state_.MP_connected) {
      last_error_ = deSMPNotConnected;
      return false;
    }
  }
  const bool program_action = action == daGetProg || action == daBurnProg;
  if (program_action && (index < 0 || index >= static_cast<int>(entries_.size()))) {
    last_error_ = deWrongFileNum;
    return false;
  }

  std::lock_guard<std::mutex> guard(device_action_mutex_);
  const uint64_t id = next_id_ + 1;
  TDeviceEvent cancel = OnCancelAction;
  std::optional<std::chrono::milliseconds> wait;
  if (timeout) wait = std::chrono::milliseconds(std::max<int64_t>(*timeout, 0));
  const bool armed = waiter_.Arm(id, wait, [this, id, callback = std::move(callback), cancel = std::move(cancel)](
                                               bool timed_out) { Complete(id, timed_out, callback, cancel); });
  if (!armed) return false;
  next_id_ = id;
  latest_id_ = id;
  if (program_action) dev_cur_cat_prog_num_ = index;
  last_error_ = deOK;

  if (action == daBurnProg) {
    const TDevCatalogEntry &e = entries_[static_cast<size_t>(index)];
    if (!e.p_buffer || e.prog_size == 0) {
      // Nothing to transfer: the completion follows at once with deOK.
      waiter_.Signal(id);
      return true;
    }
  }
  pending_id_ = id;
  device_action_ = action;
  worker_wake_.notify_all();
  return true;
}

bool TDeviceClass::StartReadCatalog() {
  return BeginRequest(daGetCat, OnGetCatalogComplete, ActionTimeout(daGetCat));
}

bool TDeviceClass::StartReadFile(int index) {
  return BeginRequest(daGetProg, OnGetFileComplete, ActionTimeout(daGetProg, index), index);
}

bool TDeviceClass::StartBurnCatalog() {
  return BeginRequest(daBurnCat, OnBurnCatalogComplete, ActionTimeout(daBurnCat));
}

bool TDeviceClass::StartBurnFile(int index) {
  return BeginRequest(daBurnProg, OnBurnFileComplete, ActionTimeout(daBurnProg, index), index);
}

bool TDeviceClass::StartEraseCatalog() {
  return BeginRequest(daEraseCat, OnEraseCatalogComplete, ActionTimeout(daEraseCat));
}

bool TDeviceClass::StartEraseAll() {
  return BeginRequest(daEraseFull, OnEraseFullComplete, ActionTimeout(daEraseFull));
}

bool TDeviceClass::StartQuickTest() {
  return BeginRequest(daQuickTest, OnTestComplete, ActionTimeout(daQuickTest));
}

bool TDeviceClass::StartFullTest() {
  return BeginRequest(daFullTest, OnTestComplete, ActionTimeout(daFullTest));
}

bool TDeviceClass::StartReadImage() {
  return BeginRequest(daReadImage, OnReadImageAction, ActionTimeout(daReadImage));
}

bool TDeviceClass::StartBurnImage() {
  return BeginRequest(daBurnImage, OnBurnImageAction, ActionTimeout(daBurnImage));
}

bool TDeviceClass::CancelAction() {
  if (current_state_.load() != dwsIDLE) {
    std::lock_guard<std::mutex> guard(device_action_mutex_);
    device_action_ = daCancel;
    worker_wake_.notify_all();
  }
  return true;
}

void TDeviceClass::Complete(uint64_t id, bool timed_out, const TDeviceEvent &callback, const TDeviceEvent &cancel) {
  write_log("Коллбэк завершения текущей операции");
  if (timed_out) {
    write_log("Завершение по таймауту");
    TDeviceError expected = deOK;
    last_error_.compare_exchange_strong(expected, deOperationTimeout);
    // The worker drops this request at its next pass, whether it is running or still pending.
    // The receiver usually starts the next action or reads the device from its callback, so the
    // callback waits until the worker has let go of the transport: one step, normally a few ms.
    // A transport call that hangs does not hold the callback back for more than kAbandonWait.
    std::unique_lock<std::mutex> lock(device_action_mutex_);
    if (abandoned_id_.load() < id) abandoned_id_ = id;
    worker_wake_.notify_all();
    idle_wake_.wait_for(lock, kAbandonWait, [this] { return !in_action_.load() || terminated_.load(); });
    // The object is being destroyed: its pending completion is dropped.
    if (terminated_.load()) return;
  }
  bool cancelled = false;
  {
    std::lock_guard<std::mutex> guard(device_action_mutex_);
    if (device_action_.load() == daCancel) {
      device_action_ = daNone;
      cancelled = true;
    }
  }
  const TDeviceError error = last_error_.load();
  if (cancelled) {
    write_log("Завершение по отмене");
    if (cancel) cancel(this, error);
  } else {
    write_log("Завершение по окончанию операции");
    if (callback) callback(this, error);
  }
  // The receiver may have destroyed this object: nothing of it is touched after the call.
}

bool TDeviceClass::DeviceOpen() {
  {
    std::lock_guard<std::mutex> hold(hot_plug_mutex_);
    // An event held over from an earlier opening that was never closed comes first.
    HandleHeldEvent();
    owner_open_ = true;
  }
  const bool opened = OpenLink();
  if (!opened) EndHold();
  return opened;
}

void TDeviceClass::DeviceClose() {
  CloseLink();
  EndHold();
}

bool TDeviceClass::OpenLink() {
  const bool opened = LinkOpenDevice();
  {
    std::lock_guard<std::mutex> link(link_mutex_);
    dev_state_.connected = opened;
  }
  if (!opened) {
    write_log("Устройство не открыто - ошибка");
    last_error_ = deNotConnected;
    return false;
  }
  if (LinkTakeDevice(kTakeDeviceClaim)) {
    write_log("Устройство открыто");
    last_error_ = deOK;
  } else if (!LinkUpAfterTake()) {
    // The take went unanswered (the transport marks the device not connected then): nobody
    // else holds the device, it is gone. Nothing is released on a device that does not answer.
    write_log("Устройство не открыто - нет ответа");
    LinkCloseDevice();
    last_error_ = deNotConnected;
    return false;
  } else {
    write_log("Устройство занято");
    last_error_ = deDeviceBusy;
  }
  return true;
}

bool TDeviceClass::LinkUpAfterTake() const {
  std::lock_guard<std::mutex> link(link_mutex_);
  return dev_state_.connected;
}

void TDeviceClass::CloseLink() {
  write_log("Устройство закрыто");
  LinkReleaseDevice();
  LinkCloseDevice();
  last_error_ = deOK;
}

void TDeviceClass::EndHold() {
  std::lock_guard<std::mutex> hold(hot_plug_mutex_);
  owner_open_ = false;
  HandleHeldEvent();
}

void TDeviceClass::HandleHeldEvent() {
  if (!held_event_) return;
  const TDeviceOperation op = *held_event_;
  held_event_.reset();
  // A device being destroyed drops the event.
  if (!terminated_.load()) HandleHotPlug(op);
}

void TDeviceClass::on_usb_detect_(TUSBDetector *, TDeviceOperation op) {
  write_log(op == doInsert ? "Устройство подключено" : "Устройство отключено");
  // Taken while the event is handled, so an opening on another thread waits for it to end.
  std::lock_guard<std::mutex> hold(hot_plug_mutex_);
  const bool busy = in_action_.load() || current_state_.load() != dwsIDLE || waiter_.Armed();
  if (!owner_open_ && !busy) {
    HandleHotPlug(op);
    return;
  }
  // The owner has the device open (a chain between its steps, a status read) or an action
  // runs: the event is held until the owner closes the device (the last one counts: it tells
  // the device's present condition). A removal during an action also ends the action at once:
  // the worker closes the transport it is using.
  held_event_ = op;
  if (op == doRemove && busy) {
    std::lock_guard<std::mutex> guard(device_action_mutex_);
    device_removed_ = true;
    worker_wake_.notify_all();
  }
}

void TDeviceClass::HandleHotPlug(TDeviceOperation op) {
  if (op == doInsert) {
    {
      std::lock_guard<std::mutex> link(link_mutex_);
      dev_state_.connected = false;
      dev_state_.MP_connected = false;
    }
    OpenLink();
    LinkGetDeviceState();
    CloseLink();
    return;
  }
  CloseLink();
  std::lock_guard<std::mutex> link(link_mutex_);
  dev_state_.connected = false;
  dev_state_.MP_connected = false;
}

}  // namespace kalvort
