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

TDeviceClass::TDeviceClass(TDeviceType type) : FDevType(type) {
  FLastError = deOK;
  FDevState.connected = false;
  FDevState.MP_connected = false;
  // The worker only waits for a request until construction is complete and one is posted, so
  // it never reaches the transport operations of a half-built object.
  FWorker = std::thread(&TDeviceClass::Execute, this);
}

TDeviceClass::~TDeviceClass() { StopWorker(); }

void TDeviceClass::StopWorker() {
  FUSBDetect.reset();
  {
    std::lock_guard<std::mutex> hold(FHotPlugCritSec);
    FHeldEvent.reset();
  }
  {
    std::lock_guard<std::mutex> guard(FDeviceActionCritSec);
    FTerminated = true;
    FWorkerWake.notify_all();
    FIdleWake.notify_all();
  }
  if (FWorker.joinable()) {
    if (FWorker.get_id() == std::this_thread::get_id()) {
      FWorker.detach();
    } else {
      FWorker.join();
    }
  }
  // A completion that has not started is dropped; one that is running is waited for.
  FWaiter.Stop();
}

void TDeviceClass::AttachUSBDetector(std::shared_ptr<TUSBDetector> detector) {
  FUSBDetect = std::move(detector);
  if (FUSBDetect) FOnUSBDetect(FUSBDetect.get(), doInsert);
}

std::optional<int64_t> TDeviceClass::ActionTimeout(TDevAction action, int index) const {
  const int64_t f = FTimeoutFactor;
  const int64_t page_size = FDevState.MP_page_size;
  const int64_t page_all = FDevState.MP_page_all;
  const int64_t max_prog = FDevMaxProgNum;
  auto prog_size = [&]() -> int64_t {
    if (index < 0 || index >= static_cast<int>(FDevCatalog.size())) return 0;
    return FDevCatalog[static_cast<size_t>(index)].prog_size;
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
    case daReadImage: return ((Nearest(FDevState.MP_size, 1024) + 1) * 35 + 400) * f;
    case daBurnImage: return std::nullopt;
    default: return std::nullopt;
  }
}

bool TDeviceClass::BeginRequest(TDevAction action, TDeviceEvent callback, std::optional<int64_t> timeout,
                                int index) {
  {
    std::lock_guard<std::mutex> link(FLinkCritSec);
    if (!FDevState.connected) {
      FLastError = deNotConnected;
      return false;
    }
    if (!FDevState.MP_connected) {
      FLastError = deSMPNotConnected;
      return false;
    }
  }
  const bool program_action = action == daGetProg || action == daBurnProg;
  if (program_action && (index < 0 || index >= static_cast<int>(FDevCatalog.size()))) {
    FLastError = deWrongFileNum;
    return false;
  }

  std::lock_guard<std::mutex> guard(FDeviceActionCritSec);
  const uint64_t id = FNextId + 1;
  TDeviceEvent cancel = OnCancelAction;
  std::optional<std::chrono::milliseconds> wait;
  if (timeout) wait = std::chrono::milliseconds(std::max<int64_t>(*timeout, 0));
  const bool armed = FWaiter.Arm(id, wait, [this, id, callback = std::move(callback), cancel = std::move(cancel)](
                                               bool timed_out) { Complete(id, timed_out, callback, cancel); });
  if (!armed) return false;
  FNextId = id;
  FLatestId = id;
  if (program_action) FDevCurCatProgNum = index;
  FLastError = deOK;

  if (action == daBurnProg) {
    const TDevCatalogEntry &e = FDevCatalog[static_cast<size_t>(index)];
    if (!e.p_buffer || e.prog_size == 0) {
      // Nothing to transfer: the completion follows at once with deOK.
      FWaiter.Signal(id);
      return true;
    }
  }
  FPendingId = id;
  FDeviceAction = action;
  FWorkerWake.notify_all();
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
  if (FCurrentState.load() != dwsIDLE) {
    std::lock_guard<std::mutex> guard(FDeviceActionCritSec);
    FDeviceAction = daCancel;
    FWorkerWake.notify_all();
  }
  return true;
}

void TDeviceClass::Complete(uint64_t id, bool timed_out, const TDeviceEvent &callback, const TDeviceEvent &cancel) {
  write_log("Коллбэк завершения текущей операции");
  if (timed_out) {
    write_log("Завершение по таймауту");
    TDeviceError expected = deOK;
    FLastError.compare_exchange_strong(expected, deOperationTimeout);
    // The worker drops this request at its next pass, whether it is running or still pending.
    // The receiver usually starts the next action or reads the device from its callback, so the
    // callback waits until the worker has let go of the transport: one step, normally a few ms.
    // A transport call that hangs does not hold the callback back for more than kAbandonWait.
    std::unique_lock<std::mutex> lock(FDeviceActionCritSec);
    if (FAbandonedId.load() < id) FAbandonedId = id;
    FWorkerWake.notify_all();
    FIdleWake.wait_for(lock, kAbandonWait, [this] { return !FInAction.load() || FTerminated.load(); });
    // The object is being destroyed: its pending completion is dropped.
    if (FTerminated.load()) return;
  }
  bool cancelled = false;
  {
    std::lock_guard<std::mutex> guard(FDeviceActionCritSec);
    if (FDeviceAction.load() == daCancel) {
      FDeviceAction = daNone;
      cancelled = true;
    }
  }
  const TDeviceError error = FLastError.load();
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
    std::lock_guard<std::mutex> hold(FHotPlugCritSec);
    // An event held over from an earlier opening that was never closed comes first.
    HandleHeldEvent();
    FOwnerOpen = true;
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
  const bool opened = FOpenDevice();
  {
    std::lock_guard<std::mutex> link(FLinkCritSec);
    FDevState.connected = opened;
  }
  if (!opened) {
    write_log("Устройство не открыто - ошибка");
    FLastError = deNotConnected;
    return false;
  }
  if (FTakeDevice(kTakeDeviceClaim)) {
    write_log("Устройство открыто");
    FLastError = deOK;
  } else if (!LinkUpAfterTake()) {
    // The take went unanswered (the transport marks the device not connected then): nobody
    // else holds the device, it is gone. Nothing is released on a device that does not answer.
    write_log("Устройство не открыто - нет ответа");
    FCloseDevice();
    FLastError = deNotConnected;
    return false;
  } else {
    write_log("Устройство занято");
    FLastError = deDeviceBusy;
  }
  return true;
}

bool TDeviceClass::LinkUpAfterTake() const {
  std::lock_guard<std::mutex> link(FLinkCritSec);
  return FDevState.connected;
}

void TDeviceClass::CloseLink() {
  write_log("Устройство закрыто");
  FReleaseDevice();
  FCloseDevice();
  FLastError = deOK;
}

void TDeviceClass::EndHold() {
  std::lock_guard<std::mutex> hold(FHotPlugCritSec);
  FOwnerOpen = false;
  HandleHeldEvent();
}

void TDeviceClass::HandleHeldEvent() {
  if (!FHeldEvent) return;
  const TDeviceOperation op = *FHeldEvent;
  FHeldEvent.reset();
  // A device being destroyed drops the event.
  if (!FTerminated.load()) HandleHotPlug(op);
}

void TDeviceClass::FOnUSBDetect(TUSBDetector *, TDeviceOperation op) {
  write_log(op == doInsert ? "Устройство подключено" : "Устройство отключено");
  // Taken while the event is handled, so an opening on another thread waits for it to end.
  std::lock_guard<std::mutex> hold(FHotPlugCritSec);
  const bool busy = FInAction.load() || FCurrentState.load() != dwsIDLE || FWaiter.Armed();
  if (!FOwnerOpen && !busy) {
    HandleHotPlug(op);
    return;
  }
  // The owner has the device open (a chain between its steps, a status read) or an action
  // runs: the event is held until the owner closes the device (the last one counts: it tells
  // the device's present condition). A removal during an action also ends the action at once:
  // the worker closes the transport it is using.
  FHeldEvent = op;
  if (op == doRemove && busy) {
    std::lock_guard<std::mutex> guard(FDeviceActionCritSec);
    FDeviceRemoved = true;
    FWorkerWake.notify_all();
  }
}

void TDeviceClass::HandleHotPlug(TDeviceOperation op) {
  if (op == doInsert) {
    {
      std::lock_guard<std::mutex> link(FLinkCritSec);
      FDevState.connected = false;
      FDevState.MP_connected = false;
    }
    OpenLink();
    FGetDeviceState();
    CloseLink();
    return;
  }
  CloseLink();
  std::lock_guard<std::mutex> link(FLinkCritSec);
  FDevState.connected = false;
  FDevState.MP_connected = false;
}

}  // namespace kalvort
