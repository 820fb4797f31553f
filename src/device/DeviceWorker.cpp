// The worker thread of TDeviceClass: waits for a request, then runs the action one step per pass
// with the action's pauses, and ends it by finishing, by a cancel, by a time-out or recorded
// error, or when the device or its module is lost.

#include <chrono>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "device/DebugLog.h"
#include "device/DeviceClass.h"

namespace kalvort {

void TDeviceClass::Execute() {
#ifdef __linux__
  // The actions pace the module with 1 ms pauses; the default timer slack would stretch each.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
  while (WaitForWork()) {
    WorkerPass();
    if (in_action_.load() && current_state_.load() == dwsIDLE) {
      std::lock_guard<std::mutex> guard(device_action_mutex_);
      in_action_ = false;
      idle_wake_.notify_all();
    }
  }
}

bool TDeviceClass::WaitForWork() {
  if (current_state_.load() != dwsIDLE) return !terminated_.load();
  // Idle: sleep until there is something to do instead of polling.
  std::unique_lock<std::mutex> lock(device_action_mutex_);
  worker_wake_.wait(lock, [this] {
    if (terminated_.load() || device_removed_.load()) return true;
    const TDevAction a = device_action_.load();
    return a != daNone && a != daCancel;
  });
  return !terminated_.load();
}

bool TDeviceClass::LinkUp() const {
  std::lock_guard<std::mutex> link(link_mutex_);
  return dev_state_.connected && dev_state_.MP_connected;
}

void TDeviceClass::HandleRemovedDevice() {
  // The owner still has the device open: its DeviceClose ends that (and hands it the removal).
  CloseLink();
  std::lock_guard<std::mutex> link(link_mutex_);
  dev_state_.connected = false;
  dev_state_.MP_connected = false;
}

void TDeviceClass::Pause(int ms) {
  pause_total_ms_ += static_cast<uint64_t>(ms);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void TDeviceClass::SetWorkerError(TDeviceError error) {
  // An abandoned action that still runs after a newer request was accepted keeps its errors.
  if (action_id_ == latest_id_.load()) last_error_ = error;
}

void TDeviceClass::Finish(std::optional<TDeviceError> error) {
  if (error) SetWorkerError(*error);
  current_state_ = dwsIDLE;
  std::vector<uint8_t>().swap(test_pattern_);
  {
    // From here on the step only pauses: the transport is the owner's again once the
    // completion arrives.
    std::lock_guard<std::mutex> guard(device_action_mutex_);
    in_action_ = false;
    idle_wake_.notify_all();
  }
  waiter_.Signal(action_id_);
}

void TDeviceClass::FinishWrite() {
  if (LinkStoreWrites()) {
    Finish();
    return;
  }
  write_log("Ошибка сохранения записанного");
  Finish(deOperationError);
}

void TDeviceClass::Break() {
  std::lock_guard<std::mutex> link(link_mutex_);
  dev_state_.connected = false;
  dev_state_.MP_connected = false;
}

void TDeviceClass::Progress(int position) {
  progress_bar_position_ = position;
  if (progress_bar_) progress_bar_(position);
}

void TDeviceClass::WorkerPass() {
  // The worker closes a removed device only while its action still runs: once the action has
  // ended, the transport is the owner's again, and the owner finds the device gone at its next
  // open or status read.
  if (device_removed_.exchange(false) && current_state_.load() != dwsIDLE) HandleRemovedDevice();

  if (!LinkUp()) {
    bool dropped = false;
    uint64_t dropped_id = 0;
    {
      std::lock_guard<std::mutex> guard(device_action_mutex_);
      const TDevAction a = device_action_.load();
      if (a != daNone) {
        if (a != daCancel) {
          dropped = true;
          dropped_id = pending_id_;
        }
        device_action_ = daNone;
      }
    }
    last_error_ = deOperationError;
    if (current_state_.load() != dwsIDLE) {
      write_log("Неожиданное окончание по ошибке соединения");
      Finish();
      Pause(1);
    } else if (dropped) {
      // A request that never started ends now rather than at its time-out.
      waiter_.Signal(dropped_id);
    }
    Pause(10);
    return;
  }

  Pause(1);

  const TDeviceWorkingState state = current_state_.load();
  if (device_action_.load() == daCancel) {
    write_log("Отмена текущей команды");
    if (state != dwsIDLE) Finish();
    {
      // A cancel that replaced a request not yet taken (posted while an abandoned action was
      // still winding down) ends that request too, instead of leaving it to its time-out.
      std::lock_guard<std::mutex> guard(device_action_mutex_);
      if (pending_id_ > action_id_) waiter_.Signal(pending_id_);
    }
    Pause(1);
    return;
  }
  if (state != dwsIDLE && (abandoned_id_.load() >= action_id_ || last_error_.load() != deOK)) {
    write_log("Ошибка (таймаут?)");
    Finish();
    Pause(1);
    return;
  }

  switch (state) {
    case dwsIDLE: IdleStep(); break;
    case dwsGET_CAT: StepReadCatalog(); break;
    case dwsGET_FILE: StepReadFile(); break;
    case dwsWAIT_BURN: StepWaitBurn(); break;
    case dwsBURN_FILE: StepBurnFile(); break;
    case dwsTEST: StepTest(); break;
    case dwsREAD_IMAGE: StepReadImage(); break;
    case dwsERASE_IMAGE: StepEraseImage(); break;
    case dwsBURN_IMAGE: StepBurnImage(); break;
  }
}

void TDeviceClass::IdleStep() {
  TDevAction action;
  {
    std::lock_guard<std::mutex> guard(device_action_mutex_);
    action = device_action_.load();
    if (action == daNone || action == daCancel) return;
    // The request is taken here; a request whose time-out has already fired is dropped.
    device_action_ = daNone;
    if (pending_id_ <= abandoned_id_.load()) return;
    action_id_ = pending_id_;
    in_action_ = true;
  }
  action_ = TActionVars{};
  switch (action) {
    case daQuickTest:
    case daFullTest: OpenTest(action); break;
    case daBurnCat:
    case daEraseCat:
    case daEraseFull: OpenBurnOrErase(action); break;
    case daBurnImage: OpenBurnImage(); break;
    case daBurnProg: OpenBurnFile(); break;
    case daGetCat: OpenReadCatalog(); break;
    case daReadImage: OpenReadImage(); break;
    case daGetProg: OpenReadFile(); break;
    default: break;
  }
}

}  // namespace kalvort
