// The chains over the whole module: erase, test, and an image read or written.

#include <iostream>

#include "workflow/ProjectTransfer.h"
#include "workflow/TransferChain.h"

namespace kalvort {

using namespace transfer;

TransferResult ProjectTransfer::RunWholeModuleStep(const WholeModuleStep &step, bool full) {
  const char *title = full ? step.full_title : step.quick_title;
  const TDeviceType kind = workflow::DeviceKindOf(device_);
  if (full && !workflow::FullCommandsAllowed(kind))
    return Message(TransferStatus::Refused, deOK, title, workflow::kFullCommandsRefused, true);
  Chain chain(device_, *shared_, running_);
  TransferResult result;
  TDeviceState state;
  if (!chain.Open(title, result, state)) return result;
  chain.Status(ModuleLabel(kind, state.MP_size));
  TDeviceError error = deOK;
  const StepEnd end = chain.Step([&] { return step.start(full); }, error);
  if (end == StepEnd::Cancelled) return CancelledResult();
  if (end == StepEnd::Ok) return Message(TransferStatus::Ok, deOK, step.done_title, step.done, false);
  return StepFailed(error, step.done_title, step.failed);
}

TransferResult ProjectTransfer::RunErase(bool full) {
  return RunWholeModuleStep({"Быстрая очистка МП", "Полная очистка МП", "Очистка МП", "Очистка МП завершена",
                             "Операция завершена с ошибкой",
                             [this](bool all) { return all ? device_.StartEraseAll() : device_.StartEraseCatalog(); }},
                            full);
}

TransferResult ProjectTransfer::RunTest(bool full) {
  return RunWholeModuleStep({"Быстрая проверка МП", "Полная проверка МП", "Тест МП", "Тест МП завершен. Ошибок нет.",
                             "МП не прошел тест!",
                             [this](bool all) { return all ? device_.StartFullTest() : device_.StartQuickTest(); }},
                            full);
}

namespace {

// Bytes from the stream's read position to its end; -1 when it cannot be told.
int64_t BytesLeft(std::iostream &stream) {
  const auto start = stream.tellg();
  if (start < 0 || !stream.seekg(0, std::ios::end)) return -1;
  const auto end = stream.tellg();
  stream.seekg(start);
  return end < 0 ? -1 : static_cast<int64_t>(end - start);
}

TransferResult ImageChain(TDeviceClass &device, Chain &chain, std::iostream &stream, bool write) {
  const char *title = write ? "Записать образ на МП" : "Прочитать образ из МП";
  TransferResult result;
  TDeviceState state;
  if (!chain.Open(title, result, state)) return result;
  if (write) {
    // The module is erased whole before the image is written: an empty image would leave it
    // blank, a larger one would be cut at the module's end. Both are refused before erasing.
    const int64_t size = BytesLeft(stream);
    if (size <= 0)
      return Message(TransferStatus::Refused, deOK, title, "Файл образа пуст.", true);
    if (size > state.MP_size) {
      result = Message(TransferStatus::Refused, deOK, title, "", true);
      result.message = "Образ больше МП: " + std::to_string(size) + " байт, МП вмещает " +
                       std::to_string(state.MP_size) + " байт.";
      return result;
    }
  }
  const int64_t start = static_cast<int64_t>(write ? stream.tellg() : stream.tellp());
  device.SetImageStream(&stream);
  TDeviceError error = deOK;
  const StepEnd end = chain.Step([&] { return write ? device.StartBurnImage() : device.StartReadImage(); }, error);
  device.SetImageStream(nullptr);
  // A write erases the whole module first.
  if (end == StepEnd::Cancelled) return CancelledResult(write && chain.Started());
  if (end == StepEnd::Ok) {
    const int64_t stop = static_cast<int64_t>(write ? stream.tellg() : stream.tellp());
    if (start >= 0 && stop >= start) result.bytes = stop - start;
    return result;
  }
  return StepFailed(error, kTitleError, write ? "Ошибка записи образа на МП" : "Ошибка чтения образа с МП", nullptr,
                    write && chain.Started());
}

}  // namespace

TransferResult ProjectTransfer::RunReadImage(std::iostream &stream) {
  Chain chain(device_, *shared_, running_);
  return ImageChain(device_, chain, stream, false);
}

TransferResult ProjectTransfer::RunWriteImage(std::iostream &stream) {
  Chain chain(device_, *shared_, running_);
  return ImageChain(device_, chain, stream, true);
}

}  // namespace kalvort
