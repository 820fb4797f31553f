#include "workflow/ProjectTransfer.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "base/CodePage.h"
#include "workflow/TransferChain.h"

namespace kalvort {

using namespace transfer;

namespace {

struct Geometry {
  int max_prog;
  int more_cat;
  int more_zone;
};

Geometry FixedSlotGeometry(TMPtype type) {
  switch (type) {
    case mptMP2000: return {400, 1000, 1300};
    case mptMP8000: return {987, 600, 1487};
    case mptMP8000_new: return {987, 1800, 2687};
    default: return {100, 0, 0};
  }
}


}  // namespace

namespace transfer {

bool FixedLayout(TDeviceType device, const PostProcessOptions &options) {
  return device == dtProg && options.need_proc && options.processor_type == 1;
}


TransferResult Message(TransferStatus status, TDeviceError error, const char *title, const char *message,
                       bool warning) {
  TransferResult r;
  r.status = status;
  r.error = error;
  r.title = title;
  r.message = message;
  r.warning = warning;
  return r;
}

TransferResult CancelledResult(bool incomplete) {
  TransferResult r = Message(TransferStatus::Cancelled, deOK, "Отмена", "Текущее действие отменено", false);
  if (incomplete) r.message += std::string("\n") + kIncompleteModule;
  return r;
}


std::string EntryName(const TDevCatalogEntry &entry) {
  return toUtf8(ByteArrayToString(entry.code, kCatalogCodeSize - 1));
}

bool EnsureBinaries(TDevCatalog &catalog, const PostProcessOptions &options, TransferResult &result) {
  const int count = catalog.CatalogCount();
  int derived = 0;
  if (options.need_proc) {
    std::vector<int> order(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) order[static_cast<size_t>(i)] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return catalog.Catalog(a).cat_num < catalog.Catalog(b).cat_num; });
    for (int i : order) {
      const TDevCatalogEntry e = catalog.Catalog(i);
      if (!e.need_p_proc || e.file_bin_valid) continue;
      ConversionFailure failure;
      if (!RunWritePostprocess(catalog, i, options, &failure)) {
        result = Message(TransferStatus::Refused, deOK, "Проверка", "", false);
        result.message = failure.message;
        result.entry_index = i;
        result.conversion = failure;
        result.derived_binaries = derived;
        return false;
      }
      ++derived;
    }
    result.derived_binaries = derived;
    return true;
  }
  for (int i = 0; i < count; ++i) {
    TDevCatalogEntry e = catalog.Catalog(i);
    if (e.file_bin_valid || !e.file_txt_valid) continue;
    static const ProgramText kNoLines;
    e.p_buffer = std::make_shared<ProgramImage>(RawTextImage(e.text ? *e.text : kNoLines));
    e.prog_size = static_cast<uint32_t>(e.p_buffer->size());
    catalog.SetCatalog(i, e);
    catalog.FileBinValidSet(i);
    catalog.FileErrorClear(i);
    ++derived;
  }
  result.derived_binaries = derived;
  return true;
}

TransferResult StepFailed(TDeviceError error, const char *title, const char *headline,
                          const TDevCatalogEntry *entry, bool incomplete) {
  TransferResult r = Message(TransferStatus::Failed, error, title, headline, true);
  r.message += "\n" + (entry ? ProgramPlaceText(*entry) + ": " : std::string("Причина: ")) + StepFailureCause(error);
  if (incomplete) r.message += std::string("\n") + kIncompleteModule;
  return r;
}

TransferResult NumbersRefused(const char *title) {
  return Message(TransferStatus::Refused, deWrongFileNum, title,
                 "Номера программ в каталоге повторяются или выходят за пределы каталога.", true);
}

}  // namespace transfer

ProjectTransfer::ProjectTransfer(TDeviceClass &device) : device_(device), shared_(std::make_shared<Shared>()) {
  // The events hold the shared state, not this object: a completion that is still returning
  // when this object goes away touches nothing of it.
  std::weak_ptr<Shared> weak = shared_;
  auto done = [weak](TDeviceClass *, TDeviceError e) {
    if (auto s = weak.lock()) s->Completed(e, false);
  };
  device_.OnGetCatalogComplete = done;
  device_.OnGetFileComplete = done;
  device_.OnBurnCatalogComplete = done;
  device_.OnBurnFileComplete = done;
  device_.OnEraseCatalogComplete = done;
  device_.OnEraseFullComplete = done;
  device_.OnTestComplete = done;
  device_.OnReadImageAction = done;
  device_.OnBurnImageAction = done;
  device_.OnCancelAction = [weak](TDeviceClass *, TDeviceError e) {
    if (auto s = weak.lock()) s->Completed(e, true);
  };
  device_.SetProgressBar([weak](int position) {
    if (auto s = weak.lock()) {
      if (s->callbacks.progress) s->callbacks.progress(position);
      s->Overall(position);
    }
  });
}

ProjectTransfer::~ProjectTransfer() = default;

void ProjectTransfer::SetCallbacks(TransferCallbacks callbacks) { shared_->callbacks = std::move(callbacks); }

void ProjectTransfer::Cancel() {
  std::lock_guard<std::mutex> guard(shared_->lock);
  if (!running_.load()) return;
  shared_->cancel_requested = true;
  shared_->wake.notify_all();
}

// ---- write ----

PostProcessOptions ProjectTransfer::EffectiveOptions(const Project &project) const {
  PostProcessOptions o = PostProcessOptionsFor(project.Options());
  workflow::ApplyControlTypeRule(workflow::DeviceKindOf(device_), o.need_proc, o.processor_type);
  return o;
}

namespace {

// The device's part of a project write: lay out its catalog, check the space, write the catalog
// and every program.
TransferResult WriteCatalogAndPrograms(TDeviceClass &device, Chain &chain, const PostProcessOptions &options) {
  TransferResult result;
  if (!device.PrepareCatalog(FixedLayout(device.DeviceType(), options), kFixedSlotSize)) {
    return Message(TransferStatus::Refused, device.LastError(), kTitleWrite, "", false);
  }
  const TDeviceState state = device.DeviceState();
  // An empty catalog is not laid out, so ProjLastPage may still hold an earlier project's end:
  // only the catalog slots are needed then.
  const int last_page = device.CatalogCount() > 0 ? device.ProjLastPage() : device.MaxProgNum() - 1;
  if (state.MP_page_all - 1 < last_page) {
    return Message(TransferStatus::Refused, deOK, kTitleWrite, "В МП недостаточно места для записи проекта.", true);
  }

  chain.Status("Очистка МП и запись каталога...");
  TDeviceError error = deOK;
  // Refused at its start the catalog step has not erased anything; once it ran the module holds
  // part of the project until the last program is written.
  switch (chain.Step([&] { return device.StartBurnCatalog(); }, error)) {
    case StepEnd::Ok: break;
    case StepEnd::Cancelled: device.CalculateMPStat(); return CancelledResult(chain.Started());
    default: return StepFailed(error, kTitleError, "Ошибка записи каталога", nullptr, chain.Started());
  }
  const int count = device.CatalogCount();
  chain.PlanPrograms(device);
  for (int i = 0; i < count; ++i) {
    chain.Status(ProgramStatusText(i, device.Catalog(i)));
    chain.StartProgram(device, i);
    switch (chain.Step([&] { return device.StartBurnFile(i); }, error)) {
      case StepEnd::Ok: break;
      case StepEnd::Cancelled: device.CalculateMPStat(); return CancelledResult(true);
      default: {
        const TDevCatalogEntry failed = device.Catalog(i);
        result = StepFailed(error, kTitleError, "Ошибка записи программы", &failed, true);
        result.entry_index = i;
        return result;
      }
    }
    result.bytes += device.Catalog(i).prog_size;
  }
  device.CalculateMPStat();
  result.programs = count;
  return result;
}

}  // namespace

TransferResult ProjectTransfer::RunWriteProject(Project &project) {
  const PostProcessOptions options = EffectiveOptions(project);
  Chain chain(device_, *shared_, running_);
  TransferResult result;
  TDeviceState state;
  if (!chain.Open(kTitleWrite, result, state)) return result;

  TDevCatalog &programs = project.Programs();
  SetCatalogCapacity(programs, device_.DeviceType(), options, state.MP_type);
  // A repeated number or one outside the catalog would be laid over the catalog or another
  // program: refuse before anything is converted, erased or written.
  if (!CatalogNumbersValid(programs)) return NumbersRefused(kTitleWrite);
  const bool converted = EnsureBinaries(programs, options, result);
  programs.CalculateMPStat();
  if (!converted) return result;
  // The device lays out and writes its own copy; the project takes the layout whatever the outcome.
  device_.CopyCatalogFrom(programs);
  const int derived = result.derived_binaries;
  result = WriteCatalogAndPrograms(device_, chain, options);
  result.derived_binaries = derived;
  programs.CopyCatalogFrom(device_);
  return result;
}

// ---- read ----

namespace transfer {

TransferResult ReadChain(TDeviceClass &device, Chain &chain, const PostProcessOptions &options, const char *title,
                         const std::function<bool(int, const TDevCatalogEntry &)> *ask,
                         const TDeviceState *opened) {
  TransferResult result;
  TDeviceState state;
  if (opened)
    state = *opened;
  else if (!chain.Open(title, result, state))
    return result;
  SetCatalogCapacity(device, device.DeviceType(), options, state.MP_type);

  chain.Status("Чтение каталога...");
  TDeviceError error = deOK;
  switch (chain.Step([&] { return device.StartReadCatalog(); }, error)) {
    case StepEnd::Ok: break;
    case StepEnd::Cancelled: device.CalculateMPStat(); return CancelledResult();
    default:
      device.CalculateMPStat();
      return StepFailed(error, kTitleError, "Ошибка чтения каталога");
  }
  const int count = device.CatalogCount();
  chain.PlanPrograms(device);
  bool stopped = false;
  for (int i = 0; i < count && !stopped; ++i) {
    chain.Status(ProgramStatusText(i, device.Catalog(i)));
    chain.StartProgram(device, i);
    const StepEnd end = chain.Step([&] { return device.StartReadFile(i); }, error);
    if (end == StepEnd::Cancelled) {
      device.CalculateMPStat();
      return CancelledResult();
    }
    if (end == StepEnd::Refused || (error != deOK && error != deCSError)) {
      device.CalculateMPStat();
      const TDevCatalogEntry failed = device.Catalog(i);
      const std::vector<int> cs_errors = std::move(result.cs_error_entries);
      result = StepFailed(error, kTitleError, "Ошибка чтения программы", &failed);
      result.cs_error_entries = cs_errors;
      result.entry_index = i;
      return result;
    }
    if (error == deCSError) {
      device.FileErrorSet(i, feCSError);
      result.cs_error_entries.push_back(i);
    } else {
      device.FileErrorClear(i);
    }
    device.FileBinValidSet(i);
    ++result.programs;
    result.bytes += device.Catalog(i).prog_size;
    if (error == deCSError && i + 1 < count && ask && *ask && !(*ask)(i, device.Catalog(i))) stopped = true;
  }
  device.CalculateMPStat();
  if (!result.cs_error_entries.empty()) {
    result.status = stopped ? TransferStatus::Stopped : TransferStatus::ChecksumErrors;
    result.error = deCSError;
    result.title = "Чтение файла";
    result.message = "Ошибка чтения файла!";
    result.warning = true;
    result.entry_index = result.cs_error_entries.back();
  }
  return result;
}

}  // namespace transfer

TransferResult ProjectTransfer::RunReadProject(Project &project) {
  const PostProcessOptions options = EffectiveOptions(project);
  Chain chain(device_, *shared_, running_);
  TransferResult result = ReadChain(device_, chain, options, kTitleRead, &shared_->callbacks.continue_after_cs_error);
  if (result.ok() || result.status == TransferStatus::ChecksumErrors || result.status == TransferStatus::Stopped)
    project.Programs().CopyCatalogFrom(device_);
  return result;
}

// ---- helpers ----

PostProcessOptions PostProcessOptionsFor(const Options &options) {
  PostProcessOptions o;
  o.need_proc = options.processing.enabled;
  o.processor_type = options.processing.project_type;
  o.vz_200 = options.vz20_format;
  o.merge_wrd_cmd = options.merge_nc31_words;
  o.del_space = options.drop_spaces;
  o.del_empty_string = options.drop_empty_lines;
  return o;
}

void SetCatalogCapacity(TDevCatalog &catalog, TDeviceType device, const PostProcessOptions &options, TMPtype type) {
  Geometry g{100, 0, 0};
  if (FixedLayout(device, options)) g = FixedSlotGeometry(type);
  catalog.SetMaxProgNum(g.max_prog);
  catalog.SetMoreMPCatNum(g.more_cat);
  catalog.SetMoreMPZoneNum(g.more_zone);
}

bool CatalogNumbersValid(const TDevCatalog &catalog) {
  std::set<int> seen;
  for (int i = 0; i < catalog.CatalogCount(); ++i) {
    const int n = catalog.Catalog(i).cat_num;
    if (n < 0 || n >= catalog.MaxProgNum() || !seen.insert(n).second) return false;
  }
  return true;
}

std::string ProgramPlaceText(const TDevCatalogEntry &entry, int line) {
  std::string text = "Программа " + std::to_string(static_cast<long long>(entry.cat_num) + 1) + " (" + EntryName(entry) + ")";
  if (line > 0) text += ", строка " + std::to_string(line);
  return text;
}

std::string StepFailureCause(TDeviceError error) {
  switch (error) {
    case deNotConnected: return "устройство не подключено";
    case deSMPNotConnected: return "МП не подключен";
    case deOperationTimeout: return "устройство не отвечает";
    case deWrongFileNum: return "неверный номер программы";
    case deCSError: return "ошибка контрольной суммы";
    case deOperationError: return "ошибка выполнения операции";
    case deEraseError: return "ошибка очистки МП";
    case deCheckError: return "ошибка проверки МП";
    case deDeviceBusy: return "устройство занято";
    case deOK: break;
  }
  return "код ошибки " + std::to_string(static_cast<int>(error));
}

std::string ProgramStatusText(int index, const TDevCatalogEntry &entry) {
  std::u16string name = ByteArrayToString(entry.code, kCatalogCodeSize - 1);
  if (name.size() > 30) name.resize(30);
  return std::to_string(index + 1) + ". " + toUtf8(name);
}

}  // namespace kalvort
