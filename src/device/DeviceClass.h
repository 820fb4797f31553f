#pragma once
// TDeviceClass: the abstract memory-module device. It owns the catalog (TDevCatalog), a worker
// thread that runs one device action at a time as a state machine over the transport operations
// below, and a completion waiter that reports the end of every accepted request exactly once.
//
// Concrete devices (the USB programmer, the networked controller, the in-memory module) implement
// the transport operation table. Threads:
//  - the owner's thread (user interface, CLI): start operations, CancelAction, DeviceOpen,
//    DeviceClose, DeviceState, catalog operations, on_usb_detect_;
//  - the worker thread: the running action and its transport calls, the progress callback;
//  - the waiter thread: every completion event. Receivers that touch a user interface re-post.
// While an action runs, the owner touches neither the catalog nor the transport; it waits for the
// completion event. Derived classes call StopWorker() first thing in their destructor, so that the
// worker never calls into a half-destroyed transport, and then DeviceClose().
//
// Completion: exactly one event per accepted request, on the waiter thread, when the action ends
// or its time-out elapses. After a time-out the event waits until the worker has dropped the
// action (one step, normally a few ms; at most 2 s when a transport call hangs), so that the
// receiver may start the next action or read the device right away. The idle worker sleeps on a
// condition variable. Destroying the object drops a completion that has not started and waits
// for one that runs; a completion event may destroy the object itself (the progress callback
// must not).

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "device/CompletionWaiter.h"
#include "device/DevCatalog.h"
#include "device/HotPlugTypes.h"

namespace kalvort {

class TUSBDetector;  // hot-plug listener (transport/USBDetect.h)

enum TDevAction : int32_t {
  daNone = 0,
  daGetCat = 1,
  daCancel = 2,
  daGetProg = 3,
  daBurnCat = 4,
  daBurnProg = 5,
  daEraseCat = 6,
  daEraseFull = 7,
  daQuickTest = 8,
  daFullTest = 9,
  daReadImage = 10,
  daBurnImage = 11,
};

enum TDeviceWorkingState : int32_t {
  dwsIDLE = 0,
  dwsGET_CAT = 1,
  dwsGET_FILE = 2,
  dwsWAIT_BURN = 3,
  dwsBURN_FILE = 4,
  dwsTEST = 5,
  dwsREAD_IMAGE = 6,
  dwsERASE_IMAGE = 7,
  dwsBURN_IMAGE = 8,
};

enum TTestStages : int32_t {
  tsNone = 0,
  tsFirstErase = 1,
  tsFirstRead = 2,
  tsWrite = 3,
  tsWaitWrite = 4,
  tsRead = 5,
  tsLastErase = 6,
  tsLastRead = 7,
};

class TDeviceClass;

// Completion event: (sender, error). Runs on the waiter thread.
using TDeviceEvent = std::function<void(TDeviceClass *sender, TDeviceError error)>;
// Progress 0..100 of the running action; called synchronously on the worker thread.
using TProgressEvent = std::function<void(int position)>;

// Largest page size of any module; the transfer buffer holds one such page.
inline constexpr int kMaxPageSize = 1056;
// Pages per erase block.
inline constexpr int kPagesPerBlock = 8;
// Claim value passed to LinkTakeDevice.
inline constexpr int32_t kTakeDeviceClaim = 1000;

// Integer nearest to num / den (den > 0, num >= 0), a half going to the even neighbour.
int64_t Nearest(int64_t num, int64_t den);

// Stores an entry as a catalog slot page: every byte of page[0..page_len) not holding a field is
// 0xFF. page_size is the module's page size (for the size remainder at offset 7).
void EncodeCatalogSlot(const TDevCatalogEntry &entry, uint32_t page_size, uint8_t *page, size_t page_len);

class TDeviceClass : public TDevCatalog {
 public:
  explicit TDeviceClass(TDeviceType type);
  ~TDeviceClass() override;

  // Action requests. False leaves nothing pending (LastError tells why, except when the
  // completion wait could not be armed: then LastError is unchanged).
  bool StartReadCatalog();
  bool StartReadFile(int index);
  bool StartBurnCatalog();
  bool StartBurnFile(int index);
  bool StartEraseCatalog();
  bool StartEraseAll();
  bool StartQuickTest();
  bool StartFullTest();
  bool StartReadImage();
  bool StartBurnImage();
  // Always true; while an action runs it ends it and OnCancelAction replaces its completion event.
  bool CancelAction();

  bool DeviceOpen();
  void DeviceClose();
  TDeviceState DeviceState() {
    TDeviceState state = LinkGetDevState();
    state.MP_all = MPAll();
    return state;
  }

  uint32_t GetFullVersion() { return LinkGetFullVersion(); }
  bool SetBootMode() { return LinkSetBootMode(); }
  bool StartUpdate() { return LinkStartUpdate(); }
  bool ProcessUpdate(const uint8_t *buffer, uint32_t length) { return LinkWriteData(buffer, length); }

  // Hot-plug handler; runs on the owner's thread. An arrival reads the device's state (open,
  // state, close), a removal closes the device. While the owner has the device open (from a
  // successful DeviceOpen to DeviceClose or a failed DeviceOpen: a whole chain of actions, a
  // status read) or an action runs, the event is held and handled when the owner closes or opens
  // the device next, on that caller's thread -- it never runs between two steps of a chain. A
  // removal during an action is also handed to the worker at once, which closes the device and
  // ends the action with deOperationError. An opening on another thread waits for an event
  // being handled.
  void on_usb_detect_(TUSBDetector *sender, TDeviceOperation op);

  TDeviceType DeviceType() const { return dev_type_; }
  TDeviceWorkingState CurrentState() const { return current_state_.load(); }
  TTestStages TestStage() const { return test_stage.load(); }
  int ProgressPosition() const { return progress_bar_position_.load(); }

  const TProgressEvent &ProgressBar() const { return progress_bar_; }
  void SetProgressBar(TProgressEvent progress) { progress_bar_ = std::move(progress); }
  int TimeoutFactor() const { return timeout_factor_; }
  void SetTimeoutFactor(int factor) { timeout_factor_ = factor; }
  // Source or destination of an image action; owned by the caller, who positions it at its start
  // and keeps it alive and untouched until the completion event.
  std::iostream *ImageStream() const { return image_stream_; }
  void SetImageStream(std::iostream *stream) { image_stream_ = stream; }

  // Sum of the pauses the worker has taken inside actions since construction, in ms (for
  // measurements: the time an action needs besides its transfers).
  uint64_t PrescribedPauseMs() const { return pause_total_ms_.load(); }

  // Time-out of a request in ms as computed by its start operation; empty for an image write.
  std::optional<int64_t> ActionTimeout(TDevAction action, int index = 0) const;

  // Completion events, set by the owner while no action runs.
  TDeviceEvent OnGetCatalogComplete;
  TDeviceEvent OnGetFileComplete;
  TDeviceEvent OnBurnCatalogComplete;
  TDeviceEvent OnBurnFileComplete;
  TDeviceEvent OnEraseCatalogComplete;
  TDeviceEvent OnEraseFullComplete;
  TDeviceEvent OnTestComplete;
  TDeviceEvent OnCancelAction;
  TDeviceEvent OnReadImageAction;
  TDeviceEvent OnBurnImageAction;

  // Transport operation table, in slot order. Every operation returns false on any failure and
  // lets no error escape.
  virtual void LinkGetDeviceState() = 0;
  virtual bool LinkOpenDevice() = 0;
  virtual void LinkCloseDevice() = 0;
  virtual uint32_t LinkGetFullVersion() = 0;
  virtual bool LinkTakeDevice(int32_t claim) = 0;
  virtual void LinkReleaseDevice() = 0;
  virtual bool LinkSetReadAddr(uint32_t address) = 0;
  virtual bool LinkReadData(uint8_t *buffer, uint32_t length) = 0;
  virtual bool LinkSetWriteAddr(uint32_t address) = 0;
  virtual bool LinkWriteData(const uint8_t *buffer, uint32_t length) = 0;
  virtual bool LinkStopReadWrite() = 0;
  virtual bool LinkEraseBlocks(uint32_t first_block, uint32_t count) = 0;
  virtual bool LinkSetBufferSize(uint32_t size) = 0;
  virtual bool LinkAbortIO() = 0;
  virtual bool LinkSetBootMode() = 0;
  virtual bool LinkStartUpdate() = 0;
  virtual TDeviceState LinkGetDevState() = 0;
  // Not in the table: stores what the transport was given but holds only in memory so far (the
  // virtual programmer's module file). The worker asks before it reports a write or erase done;
  // false fails that action. A transport that stores each write at once has nothing to do.
  virtual bool LinkStoreWrites() { return true; }

 protected:
  // Releases the hot-plug listener, ends the worker thread and waits for it, and stops the
  // completion waiter (a completion not yet started is dropped, a running one is waited for;
  // from inside a completion event nothing is waited for). Idempotent; derived destructors call
  // it first.
  void StopWorker();
  // Takes ownership of the hot-plug listener and reads the state of an already present device at
  // once (on_usb_detect_ with doInsert). A derived constructor creates the listener for its class,
  // routes its OnChange to on_usb_detect_ and calls this at its end. The listener is released
  // first when the object is destroyed, so no event reaches a destroyed device.
  void AttachUSBDetector(std::shared_ptr<TUSBDetector> detector);

  int32_t dev_handle_ = 0;
  TDeviceType dev_type_;
  std::array<uint8_t, kMaxPageSize> page_buf_{};

 private:
  // Running counters of the action in progress; set afresh by every opening step.
  struct TActionVars {
    uint32_t slot = 0;          // catalog slot being read
    int32_t blocks_left = 0;    // erase blocks still to erase
    int32_t blocks_total = 0;   // erase blocks of the whole erase
    int32_t blocks_issued = 0;  // erase blocks asked for so far
    int32_t next_entry = 0;     // next catalog entry (list index) to write
    uint32_t address = 0;       // transfer address
    uint32_t bytes_done = 0;    // bytes received or sent
    uint32_t control_sum = 0;   // running control sum
    uint32_t test_written = 0;  // test: pattern bytes written
    uint32_t test_read = 0;     // test: bytes read back
    uint32_t test_pages = 0;    // test: pages tested
  };

  bool BeginRequest(TDevAction action, TDeviceEvent callback, std::optional<int64_t> timeout, int index = -1);
  void Complete(uint64_t id, bool timed_out, const TDeviceEvent &callback, const TDeviceEvent &cancel);

  // Worker (DeviceWorker.cpp).
  void Execute();
  void WorkerPass();
  bool WaitForWork();
  void IdleStep();
  void Finish(std::optional<TDeviceError> error = std::nullopt);
  // Finish of an action that changed the module: fails it when the change cannot be stored.
  void FinishWrite();
  void Break();
  void SetWorkerError(TDeviceError error);
  void Progress(int position);
  void Pause(int ms);
  bool LinkUp() const;
  void HandleRemovedDevice();

  // Opening and closing without the hot-plug hold (DeviceClass.cpp).
  bool OpenLink();
  void CloseLink();
  // Whether the device still counts as connected after a refused take.
  bool LinkUpAfterTake() const;
  // Ends the owner's hold and handles an event held meanwhile.
  void EndHold();
  // Handles the held event, if any; hot_plug_mutex_ held.
  void HandleHeldEvent();
  void HandleHotPlug(TDeviceOperation op);

  // Transfers (CatalogTransfer.cpp).
  void OpenReadCatalog();
  void StepReadCatalog();
  void OpenBurnOrErase(TDevAction action);
  void StepWaitBurn();
  void OpenReadFile();
  void StepReadFile();
  void OpenBurnFile();
  void StepBurnFile();
  uint32_t SlotAddress(int cat_num) const;

  // Erase, image and test (EraseImageTest.cpp).
  void OpenReadImage();
  void StepReadImage();
  void OpenBurnImage();
  void StepEraseImage();
  void StepBurnImage();
  void OpenTest(TDevAction action);
  void StepTest();
  // The module test's steps, one a stage.
  bool TestErase(TTestStages stage);
  void TestCheckErased();
  bool TestWritePage();
  bool TestWaitWrite();
  void TestReadBack();
  uint32_t TestedBytes() const;  // bytes of the tested pages
  size_t ReadImageChunk();

  std::atomic<TDevAction> device_action_{daNone};
  std::mutex device_action_mutex_;  // guards device_action_ writes and the request numbers
  std::condition_variable worker_wake_;
  std::atomic<TDeviceWorkingState> current_state_{dwsIDLE};
  std::atomic<TTestStages> test_stage{tsNone};
  std::atomic<int> progress_bar_position_{0};
  std::atomic<bool> terminated_{false};
  // True from the moment the worker takes a request until it is idle again (the opening step
  // included); a timed-out completion waits for it to fall (idle_wake_) before calling back.
  std::atomic<bool> in_action_{false};
  std::condition_variable idle_wake_;
  std::atomic<uint64_t> pause_total_ms_{0};
  std::atomic<bool> device_removed_{false};  // hot-plug removal seen while the worker was busy
  mutable std::mutex link_mutex_;          // orders reads and writes of connected / MP_connected

  // Request numbering: every accepted request gets the next number; the worker runs the action
  // of action_id_; the waiter marks a timed-out request abandoned so the worker drops it.
  uint64_t next_id_ = 0;               // under device_action_mutex_
  uint64_t pending_id_ = 0;            // under device_action_mutex_
  std::atomic<uint64_t> latest_id_{0};
  std::atomic<uint64_t> abandoned_id_{0};
  uint64_t action_id_ = 0;             // worker thread only

  int32_t dev_cur_cat_prog_num_ = -1;
  TProgressEvent progress_bar_;
  int timeout_factor_ = 1;
  std::iostream *image_stream_ = nullptr;
  std::vector<uint8_t> test_pattern_;  // pattern written by a module test; worker thread only
  uint32_t test_seed_ = 0x2545F491u;
  TActionVars action_;

  // Hot-plug hold: owner_open_ while the owner has the device open; an event arriving then (or
  // during an action) waits in held_event_. Both under hot_plug_mutex_, which is also held while
  // an event is handled. Order: hot_plug_mutex_ before device_action_mutex_ and link_mutex_.
  std::mutex hot_plug_mutex_;
  bool owner_open_ = false;
  std::optional<TDeviceOperation> held_event_;

  std::shared_ptr<TUSBDetector> usb_detect_;
  TCompletionWaiter waiter_;
  std::thread worker_;
};

}  // namespace kalvort
