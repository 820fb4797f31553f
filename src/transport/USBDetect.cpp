#include "transport/USBDetect.h"

#include <exception>
#include <string>
#include <utility>

#include "base/Log.h"
#include "transport/HotPlugHub.h"

namespace kalvort {

TUSBDetector::TUSBDetector(const TGUID &class_guid, std::shared_ptr<TOwnerDispatcher> dispatcher)
    : FDispatcher(std::move(dispatcher)), FClassGUID(class_guid) {
  Open();
}

TUSBDetector::~TUSBDetector() { Close(); }

void TUSBDetector::Open() {
  if (FNotifyHandle != 0 || !FDispatcher) return;
  FRegistration = std::make_shared<bool>(true);
  std::weak_ptr<bool> registration = FRegistration;
  std::shared_ptr<TOwnerDispatcher> dispatcher = FDispatcher;
  TUSBDetector *self = this;
  FNotifyHandle = THotPlugHub::Instance().Register(
      FClassGUID, [dispatcher, registration, self](TDeviceOperation op) {
        dispatcher->Post([registration, self, op] {
          // The registration is reset on the owner thread by Close, so this check and the
          // detector's destruction cannot interleave.
          if (registration.lock()) self->DoDeviceChange(op);
        });
      });
}

void TUSBDetector::Close() {
  if (FNotifyHandle == 0) return;
  THotPlugHub::Instance().Unregister(FNotifyHandle);
  FNotifyHandle = 0;
  FRegistration.reset();
}

void TUSBDetector::SetClassGUID(const TGUID &class_guid) {
  if (class_guid == FClassGUID) return;
  FClassGUID = class_guid;
  Close();
  Open();
}

void TUSBDetector::DoDeviceChange(TDeviceOperation operation) {
  if (!FOnChange) return;
  // A failing handler must not stop the listener: report it and carry on.
  try {
    FOnChange(this, operation);
  } catch (const std::exception &e) {
    LogMessage(LogLevel::Warning, std::string("hot-plug handler failed: ") + e.what());
  } catch (...) {
    LogMessage(LogLevel::Warning, "hot-plug handler failed");
  }
}

}  // namespace kalvort
