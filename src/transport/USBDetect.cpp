#include "transport/USBDetect.h"

#include <exception>
#include <string>
#include <utility>

#include "base/Log.h"
#include "transport/HotPlugHub.h"

namespace kalvort {

TUSBDetector::TUSBDetector(const TGUID &class_guid, std::shared_ptr<TOwnerDispatcher> dispatcher)
    : dispatcher_(std::move(dispatcher)), class_guid_(class_guid) {
  Open();
}

TUSBDetector::~TUSBDetector() { Close(); }

void TUSBDetector::Open() {
  if (notify_handle_ != 0 || !dispatcher_) return;
  registration_ = std::make_shared<bool>(true);
  std::weak_ptr<bool> registration = registration_;
  std::shared_ptr<TOwnerDispatcher> dispatcher = dispatcher_;
  TUSBDetector *self = this;
  notify_handle_ = THotPlugHub::Instance().Register(
      class_guid_, [dispatcher, registration, self](TDeviceOperation op) {
        dispatcher->Post([registration, self, op] {
          // The registration is reset on the owner thread by Close, so this check and the
          // detector's destruction cannot interleave.
          if (registration.lock()) self->DoDeviceChange(op);
        });
      });
}

void TUSBDetector::Close() {
  if (notify_handle_ == 0) return;
  THotPlugHub::Instance().Unregister(notify_handle_);
  notify_handle_ = 0;
  registration_.reset();
}

void TUSBDetector::SetClassGUID(const TGUID &class_guid) {
  if (class_guid == class_guid_) return;
  class_guid_ = class_guid;
  Close();
  Open();
}

void TUSBDetector::DoDeviceChange(TDeviceOperation operation) {
  if (!on_change_) return;
  // A failing handler must not stop the listener: report it and carry on.
  try {
    on_change_(this, operation);
  } catch (const std::exception &e) {
    LogMessage(LogLevel::Warning, std::string("hot-plug handler failed: ") + e.what());
  } catch (...) {
    LogMessage(LogLevel::Warning, "hot-plug handler failed");
  }
}

}  // namespace kalvort
