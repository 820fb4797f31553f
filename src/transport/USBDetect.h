#pragma once
// TUSBDetector tells its owner when a device of one interface class is plugged in or removed.
// It registers with the process-wide hot-plug hub for its class; events are handed to the owner's
// thread through a dispatcher (OwnerDispatch.h) and raise OnChange there. Create, use and destroy
// it on that owner thread: once Close or the destructor has run, no event reaches the handler.

#include <cstdint>
#include <functional>
#include <memory>

#include "device/HotPlugTypes.h"
#include "transport/OwnerDispatch.h"

namespace kalvort {

class TUSBDetector;
using TDeviceChangeEvent = std::function<void(TUSBDetector *sender, TDeviceOperation operation)>;

class TUSBDetector {
 public:
  // Stores the class and opens (registers) at once.
  explicit TUSBDetector(const TGUID &class_guid,
                        std::shared_ptr<TOwnerDispatcher> dispatcher = OwnerDispatcher());
  ~TUSBDetector();
  TUSBDetector(const TUSBDetector &) = delete;
  TUSBDetector &operator=(const TUSBDetector &) = delete;

  // Registers for class_guid_; a listener that is already registered stays as it is.
  void Open();
  // Unregisters; events already on their way are dropped.
  void Close();

  const TDeviceChangeEvent &OnChange() const { return on_change_; }
  void SetOnChange(TDeviceChangeEvent handler) { on_change_ = std::move(handler); }

  const TGUID &ClassGUID() const { return class_guid_; }
  // A different class re-registers for that class only; the same class changes nothing.
  void SetClassGUID(const TGUID &class_guid);

  // Registration handle with the hub; 0 while not registered.
  uint64_t NotifyHandle() const { return notify_handle_; }

  // Raises OnChange (when assigned) for `operation`. Runs on the owner thread.
  void DoDeviceChange(TDeviceOperation operation);

 private:
  std::shared_ptr<TOwnerDispatcher> dispatcher_;
  uint64_t notify_handle_ = 0;
  // Alive while the current registration is: posted events check it before they run.
  std::shared_ptr<bool> registration_;
  TDeviceChangeEvent on_change_;
  TGUID class_guid_;
};

}  // namespace kalvort
