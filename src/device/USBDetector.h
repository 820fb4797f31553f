#pragma once
// Hot-plug listener interface: tells its device object when a device of one device interface
// class arrives or goes. Concrete listeners (a udev monitor, the virtual programmer) derive from
// it and call Notify on the thread that owns the device object.

#include <functional>
#include <string>
#include <utility>

namespace kalvort {

enum TDeviceOperation : int { doInsert = 0, doRemove = 1 };

// Class identifier that means "no hot-plug listener" (network devices).
inline constexpr const char *kNullClassGUID = "{00000000-0000-0000-0000-000000000000}";

class TUSBDetector {
 public:
  using TDeviceChangeEvent = std::function<void(TUSBDetector *sender, TDeviceOperation op)>;

  explicit TUSBDetector(std::string class_guid) : FClassGUID(std::move(class_guid)) {}
  virtual ~TUSBDetector() = default;
  TUSBDetector(const TUSBDetector &) = delete;
  TUSBDetector &operator=(const TUSBDetector &) = delete;

  const TDeviceChangeEvent &OnChange() const { return FOnChange; }
  void SetOnChange(TDeviceChangeEvent handler) { FOnChange = std::move(handler); }
  const std::string &ClassGUID() const { return FClassGUID; }
  // A different identifier re-registers the listener; an equal one changes nothing.
  void SetClassGUID(const std::string &guid) {
    if (guid == FClassGUID) return;
    FClassGUID = guid;
    Close();
    Open();
  }

 protected:
  virtual void Open() {}
  virtual void Close() {}
  void Notify(TDeviceOperation op) {
    if (FOnChange) FOnChange(this, op);
  }

 private:
  TDeviceChangeEvent FOnChange;
  std::string FClassGUID;
};

}  // namespace kalvort
