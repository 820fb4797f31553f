#pragma once
// TDeviceClass: the abstract memory-module device. It owns the catalog (TDevCatalog), a worker
// thread that runs one device action at a time as a state machine over the transport operations
// below, and a completion waiter that reports the end of every accepted request exactly once.
//
// Concrete devices (the USB programmer, the networked controller, the in-memory module) implement
// the transport operation table. Threads:
//  - the owner's thread (user interface, CLI): start operations, CancelAction, DeviceOpen,
//    DeviceClose, DeviceState, catalog operations, FOnUSBDetect;
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
// Claim value passed to FTakeDevice.
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
    TDeviceState state = FGetDevState();
    state.MP_all = MPAll();
    return state;
  }

  uint32_t GetFullVersion() { return FGetFullVersion(); }
  bool SetBootMode() { return FSetBootMode(); }
  bool StartUpdate() { return FStartUpdate(); }
  bool ProcessUpdate(const uint8_t *buffer, uint32_t length) { return FWriteData(buffer, length); }

  // Hot-plug handler; runs on the owner's thread. An arrival reads the device's state (open,
  // state, close), a removal closes the device. While the owner has the device open (from a
  // successful DeviceOpen to DeviceClose or a failed DeviceOpen: a whole chain of actions, a
  // status read) or an action runs, the event is held and handled when the owner closes or opens
  // the device next, on that caller's thread -- it never runs between two steps of a chain. A
  // removal during an action is also handed to the worker at once, which closes the device and
  // ends the action with deOperationError. An opening on another thread waits for an event
  // being handled.
  void FOnUSBDetect(TUSBDetector *sender, TDeviceOperation op);

  TDeviceType DeviceType() const { return FDevType; }
  TDeviceWorkingState CurrentState() const { return FCurrentState.load(); }
  TTestStages TestStage() const { return test_stage.load(); }
  int ProgressPosition() const { return FProgressBarPosition.load(); }

  const TProgressEvent &ProgressBar() const { return FProgressBar; }
  void SetProgressBar(TProgressEvent progress) { FProgressBar = std::move(progress); }
  int TimeoutFactor() const { return FTimeoutFactor; }
  void SetTimeoutFactor(int factor) { FTimeoutFactor = factor; }
  // Source or destination of an image action; owned by the caller, who positions it at its start
  // and keeps it alive and untouched until the completion event.
  std::iostream *ImageStream() const { return FImageStream; }
  void SetImageStream(std::iostream *stream) { FImageStream = stream; }

  // Sum of the pauses the worker has taken inside actions since construction, in ms (for
  // measurements: the time an action needs besides its transfers).
  uint64_t PrescribedPauseMs() const { return FPauseTotalMs.load(); }

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
  virtual void FGetDeviceState() = 0;
  virtual bool FOpenDevice() = 0;
  virtual void FCloseDevice() = 0;
  virtual uint32_t FGetFullVersion() = 0;
  virtual bool FTakeDevice(int32_t claim) = 0;
  virtual void FReleaseDevice() = 0;
  virtual bool FSetReadAddr(uint32_t address) = 0;
  virtual bool FReadData(uint8_t *buffer, uint32_t length) = 0;
  virtual bool FSetWriteAddr(uint32_t address) = 0;
  virtual bool FWriteData(const uint8_t *buffer, uint32_t length) = 0;
  virtual bool FStopReadWrite() = 0;
  virtual bool FEraseBlocks(uint32_t first_block, uint32_t count) = 0;
  virtual bool FSetBufferSize(uint32_t size) = 0;
  virtual bool FAbortIO() = 0;
  virtual bool FSetBootMode() = 0;
  virtual bool FStartUpdate() = 0;
  virtual TDeviceState FGetDevState() = 0;
  // Not in the table: stores what the transport was given but holds only in memory so far (the
  // virtual programmer's module file). The worker asks before it reports a write or erase done;
  // false fails that action. A transport that stores each write at once has nothing to do.
  virtual bool FStoreWrites() { return true; }

 protected:
  // Releases the hot-plug listener, ends the worker thread and waits for it, and stops the
  // completion waiter (a completion not yet started is dropped, a running one is waited for;
  // from inside a completion event nothing is waited for). Idempotent; derived destructors call
  // it first.
  void StopWorker();
  // Takes ownership of the hot-plug listener and reads the state of an already present device at
  // once (FOnUSBDetect with doInsert). A derived constructor creates the listener for its class,
  // routes its OnChange to FOnUSBDetect and calls this at its end. The listener is released
  // first when the object is destroyed, so no event reaches a destroyed device.
  void AttachUSBDetector(std::shared_ptr<TUSBDetector> detector);

  int32_t FDevHandle = 0;
  TDeviceType FDevType;
  std::array<uint8_t, kMaxPageSize> FPageBuf{};

 private:
  // Running counters of the action in progress; set afresh by every opening step.
  struct TActionVars {
    uint32_t n = 0;      // catalog slot
    int32_t s = 0;       // erase blocks left
    int32_t s0 = 0;      // erase blocks in all
    int32_t r = 0;       // erase blocks issued
    int32_t w = 0;       // next entry (list index) to write
    uint32_t a = 0;      // transfer address
    uint32_t done = 0;   // bytes received or sent
    uint32_t sum = 0;    // running control sum
    uint32_t p = 0;      // test: bytes written
    uint32_t p2 = 0;     // test: bytes read
    uint32_t N = 0;      // test: pages tested
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
  // Handles the held event, if any; FHotPlugCritSec held.
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
  size_t ReadImageChunk();

  std::atomic<TDevAction> FDeviceAction{daNone};
  std::mutex FDeviceActionCritSec;  // guards FDeviceAction writes and the request numbers
  std::condition_variable FWorkerWake;
  std::atomic<TDeviceWorkingState> FCurrentState{dwsIDLE};
  std::atomic<TTestStages> test_stage{tsNone};
  std::atomic<int> FProgressBarPosition{0};
  std::atomic<bool> FTerminated{false};
  // True from the moment the worker takes a request until it is idle again (the opening step
  // included); a timed-out completion waits for it to fall (FIdleWake) before calling back.
  std::atomic<bool> FInAction{false};
  std::condition_variable FIdleWake;
  std::atomic<uint64_t> FPauseTotalMs{0};
  std::atomic<bool> FDeviceRemoved{false};  // hot-plug removal seen while the worker was busy
  mutable std::mutex FLinkCritSec;          // orders reads and writes of connected / MP_connected

  // Request numbering: every accepted request gets the next number; the worker runs the action
  // of FActionId; the waiter marks a timed-out request abandoned so the worker drops it.
  uint64_t FNextId = 0;               // under FDeviceActionCritSec
  uint64_t FPendingId = 0;            // under FDeviceActionCritSec
  std::atomic<uint64_t> FLatestId{0};
  std::atomic<uint64_t> FAbandonedId{0};
  uint64_t FActionId = 0;             // worker thread only

  int32_t FDevCurCatProgNum = -1;
  TProgressEvent FProgressBar;
  int FTimeoutFactor = 1;
  std::iostream *FImageStream = nullptr;
  std::vector<uint8_t> FTestPattern;  // pattern written by a module test; worker thread only
  uint32_t FTestSeed = 0x2545F491u;
  TActionVars V;

  // Hot-plug hold: FOwnerOpen while the owner has the device open; an event arriving then (or
  // during an action) waits in FHeldEvent. Both under FHotPlugCritSec, which is also held while
  // an event is handled. Order: FHotPlugCritSec before FDeviceActionCritSec and FLinkCritSec.
  std::mutex FHotPlugCritSec;
  bool FOwnerOpen = false;
  std::optional<TDeviceOperation> FHeldEvent;

  std::shared_ptr<TUSBDetector> FUSBDetect;
  TCompletionWaiter FWaiter;
  std::thread FWorker;
};

}  // namespace kalvort
