#include "workflow/ProjectTransfer.h"

namespace kalvort {

struct ProjectTransfer::Shared {
  TransferCallbacks callbacks;
};

ProjectTransfer::ProjectTransfer(TDeviceClass &device) : device_(device), shared_(std::make_shared<Shared>()) {}
ProjectTransfer::~ProjectTransfer() = default;

void ProjectTransfer::SetCallbacks(TransferCallbacks callbacks) { shared_->callbacks = std::move(callbacks); }

static TransferResult NotYet() {
  TransferResult r;
  r.status = TransferStatus::Failed;
  r.error = deOperationError;
  return r;
}

TransferResult ProjectTransfer::RunWriteProject() { return NotYet(); }
TransferResult ProjectTransfer::RunReadProject() { return NotYet(); }
TransferResult ProjectTransfer::RunErase(bool) { return NotYet(); }
TransferResult ProjectTransfer::RunTest(bool) { return NotYet(); }
TransferResult ProjectTransfer::RunReadImage(std::iostream &) { return NotYet(); }
TransferResult ProjectTransfer::RunWriteImage(std::iostream &) { return NotYet(); }
VerifyReport ProjectTransfer::RunVerify(const TDevCatalog &) {
  VerifyReport r;
  r.read = NotYet();
  return r;
}
void ProjectTransfer::Cancel() {}

void SetCatalogCapacity(TDevCatalog &, TDeviceType, const PostProcessOptions &, TMPtype) {}
bool CatalogNumbersValid(const TDevCatalog &) { return false; }
std::string ProgramStatusText(int, const TDevCatalogEntry &) { return {}; }
std::string ModuleLabel(TDeviceType, int32_t) { return {}; }

}  // namespace kalvort
