#include "workflow/ProjectTransfer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <set>

#include "base/CodePage.h"
#include "workflow/DeviceSession.h"

namespace kalvort {

namespace {

// Largest program of the fixed-slot layout (an НЦ-31 word table).
constexpr int kFixedSlotSize = 4408;

const char kTitleWrite[] = "Записать в МП";
const char kTitleRead[] = "Прочитать проект из МП";
const char kTitleVerify[] = "Сравнить проект с МП";
const char kTitleError[] = "Ошибка";

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

// `incomplete`: the cancelled command had begun to change the module.
TransferResult CancelledResult(bool incomplete = false) {
  TransferResult r = Message(TransferStatus::Cancelled, deOK, "Отмена", "Текущее действие отменено", false);
  if (incomplete) r.message += std::string("\n") + kIncompleteModule;
  return r;
}

std::string EntryName(const TDevCatalogEntry &entry) {
  return toUtf8(ByteArrayToString(entry.code, kCatalogCodeSize - 1));
}

// A catalog the comparison lays out as a project write would, without a device.
class LooseCatalog : public TDevCatalog {
 public:
  void Push(const TDevCatalogEntry &entry) { entries_.push_back(entry); }
  void CutFixedSlots(uint32_t slot_size) {
    for (auto &e : entries_) {
      if (e.prog_size > slot_size) e.prog_size = slot_size;
    }
  }
};

}  // namespace

// ---- state shared with the device's events ----

struct ProjectTransfer::Shared {
  std::mutex lock;
  std::condition_variable wake;
  bool done = false;             // the step's completion arrived
  bool cancelled_event = false;  // it arrived as the cancel event
  TDeviceError error = deOK;
  bool cancel_requested = false;
  TransferCallbacks callbacks;   // changed only while no chain runs
  // The program steps of the running chain, for the overall progress: set by the chain between
  // steps, read by the worker's progress. `programs` 0: the chain has no program steps.
  std::atomic<int> program{0}, programs{0};
  std::atomic<int64_t> done_bytes{0}, step_bytes{0}, total_bytes{0};

  void Overall(int position) {
    if (!callbacks.overall || programs.load() == 0) return;
    TransferProgress p;
    p.program = program;
    p.programs = programs;
    p.done_bytes = done_bytes + step_bytes * std::clamp(position, 0, 100) / 100;
    p.total_bytes = total_bytes;
    callbacks.overall(p);
  }

  void Completed(TDeviceError e, bool cancelled) {
    std::lock_guard<std::mutex> guard(lock);
    done = true;
    cancelled_event = cancelled;
    error = e;
    wake.notify_all();
  }
};

namespace {

// Outcome of one device step.
enum class StepEnd { Ok, Error, Refused, Cancelled };

}  // namespace

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

namespace {

// Runs one chain: the running mark, the device open and the closing on every path.
class Chain {
 public:
  Chain(TDeviceClass &device, ProjectTransfer::Shared &shared, std::atomic<bool> &running)
      : device_(device), shared_(shared), running_(running) {
    std::lock_guard<std::mutex> guard(shared_.lock);
    shared_.cancel_requested = false;
    shared_.programs = 0;
    running_ = true;
  }
  ~Chain() {
    if (open_) device_.DeviceClose();
    std::lock_guard<std::mutex> guard(shared_.lock);
    running_ = false;
    shared_.cancel_requested = false;
  }

  // Opens and checks the device (the step every command starts with). On failure fills `result`.
  bool Open(const char *title, TransferResult &result, TDeviceState &state) {
    std::string message;
    switch (workflow::OpenAndCheckDevice(device_, state, message)) {
      case workflow::OpenOutcome::Ok: open_ = true; return true;
      case workflow::OpenOutcome::Busy:
        result = Message(TransferStatus::OpenFailed, deDeviceBusy, title, "", false);
        return false;
      case workflow::OpenOutcome::NoModule:
        result = Message(TransferStatus::NoModule, deSMPNotConnected, title, workflow::kNoModule, true);
        return false;
      case workflow::OpenOutcome::NotConnected: break;
    }
    result = Message(TransferStatus::OpenFailed, deNotConnected, title, message.c_str(), true);
    return false;
  }

  void Status(const std::string &text) {
    if (shared_.callbacks.status) shared_.callbacks.status(text);
  }

  // The program steps to come: the sizes of entries 0 .. count - 1 of `catalog`.
  void PlanPrograms(const TDevCatalog &catalog) {
    int64_t total = 0;
    for (int i = 0; i < catalog.CatalogCount(); ++i) total += catalog.Catalog(i).prog_size;
    shared_.program = 0;
    shared_.done_bytes = 0;
    shared_.step_bytes = 0;
    shared_.total_bytes = total;
    shared_.programs = catalog.CatalogCount();
  }
  // Program step `index` (from 0) of `catalog` begins; the ones before it are done.
  void StartProgram(const TDevCatalog &catalog, int index) {
    if (shared_.program > 0) shared_.done_bytes += shared_.step_bytes;
    shared_.program = index + 1;
    shared_.step_bytes = catalog.Catalog(index).prog_size;
    shared_.Overall(0);
  }

  // True once a device action of the chain has started: a write has changed the module since.
  bool Started() const { return started_; }

  bool CancelRequested() {
    std::lock_guard<std::mutex> guard(shared_.lock);
    return shared_.cancel_requested;
  }

  // Starts one device action and waits for its completion. A cancel asked for meanwhile is
  // passed on to the device from this (the owner's) thread until the action has ended.
  template <typename Start>
  StepEnd Step(Start start, TDeviceError &error) {
    std::unique_lock<std::mutex> lock(shared_.lock);
    if (shared_.cancel_requested) return StepEnd::Cancelled;
    shared_.done = false;
    shared_.cancelled_event = false;
    lock.unlock();
    if (!start()) {
      error = device_.LastError();
      if (error == deOK) error = deOperationError;
      return StepEnd::Refused;
    }
    started_ = true;
    lock.lock();
    while (!shared_.done) {
      if (shared_.cancel_requested) {
        lock.unlock();
        device_.CancelAction();
        lock.lock();
        shared_.wake.wait_for(lock, std::chrono::milliseconds(20), [&] { return shared_.done; });
      } else {
        shared_.wake.wait(lock, [&] { return shared_.done || shared_.cancel_requested; });
      }
    }
    error = shared_.error;
    if (shared_.cancelled_event) return StepEnd::Cancelled;
    return error == deOK ? StepEnd::Ok : StepEnd::Error;
  }

 private:
  TDeviceClass &device_;
  ProjectTransfer::Shared &shared_;
  std::atomic<bool> &running_;
  bool open_ = false;
  bool started_ = false;
};

// Makes sure every program has a binary: converts text programs or takes their raw text.
bool EnsureBinaries(TDevCatalog &catalog, const PostProcessOptions &options, TransferResult &result) {
  const int count = catalog.CatalogCount();
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
        return false;
      }
    }
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
  }
  return true;
}

// A device step that failed: the headline, then what failed and why ("Программа 3 (ВАЛ): ..." or
// "Причина: ..."), then, when the step left the module half written, kIncompleteModule.
TransferResult StepFailed(TDeviceError error, const char *title, const char *headline,
                          const TDevCatalogEntry *entry = nullptr, bool incomplete = false) {
  TransferResult r = Message(TransferStatus::Failed, error, title, headline, true);
  r.message += "\n" + (entry ? ProgramPlaceText(*entry) + ": " : std::string("Причина: ")) + StepFailureCause(error);
  if (incomplete) r.message += std::string("\n") + kIncompleteModule;
  return r;
}

TransferResult NumbersRefused(const char *title) {
  return Message(TransferStatus::Refused, deWrongFileNum, title,
                 "Номера программ в каталоге повторяются или выходят за пределы каталога.", true);
}

}  // namespace

// ---- write ----

PostProcessOptions ProjectTransfer::EffectiveOptions() const {
  PostProcessOptions o = options_;
  workflow::ApplyControlTypeRule(workflow::DeviceKindOf(device_), o.need_proc, o.processor_type);
  return o;
}

TransferResult ProjectTransfer::RunWriteProject() {
  const PostProcessOptions options = EffectiveOptions();
  Chain chain(device_, *shared_, running_);
  TransferResult result;
  TDeviceState state;
  if (!chain.Open(kTitleWrite, result, state)) return result;

  SetCatalogCapacity(device_, device_.DeviceType(), options, state.MP_type);
  // A repeated number or one outside the catalog would be laid over the catalog or another
  // program: refuse before anything is converted, erased or written.
  if (!CatalogNumbersValid(device_)) return NumbersRefused(kTitleWrite);
  if (!EnsureBinaries(device_, options, result)) {
    device_.CalculateMPStat();
    return result;
  }
  if (!device_.PrepareCatalog(FixedLayout(device_.DeviceType(), options), kFixedSlotSize)) {
    return Message(TransferStatus::Refused, device_.LastError(), kTitleWrite, "", false);
  }
  state = device_.DeviceState();
  // An empty catalog is not laid out, so ProjLastPage may still hold an earlier project's end:
  // only the catalog slots are needed then.
  const int last_page = device_.CatalogCount() > 0 ? device_.ProjLastPage() : device_.MaxProgNum() - 1;
  if (state.MP_page_all - 1 < last_page) {
    return Message(TransferStatus::Refused, deOK, kTitleWrite, "В МП недостаточно места для записи проекта.", true);
  }

  chain.Status("Очистка МП и запись каталога...");
  TDeviceError error = deOK;
  // Refused at its start the catalog step has not erased anything; once it ran the module holds
  // part of the project until the last program is written.
  switch (chain.Step([&] { return device_.StartBurnCatalog(); }, error)) {
    case StepEnd::Ok: break;
    case StepEnd::Cancelled: device_.CalculateMPStat(); return CancelledResult(chain.Started());
    default: return StepFailed(error, kTitleError, "Ошибка записи каталога", nullptr, chain.Started());
  }
  const int count = device_.CatalogCount();
  chain.PlanPrograms(device_);
  for (int i = 0; i < count; ++i) {
    chain.Status(ProgramStatusText(i, device_.Catalog(i)));
    chain.StartProgram(device_, i);
    switch (chain.Step([&] { return device_.StartBurnFile(i); }, error)) {
      case StepEnd::Ok: break;
      case StepEnd::Cancelled: device_.CalculateMPStat(); return CancelledResult(true);
      default: {
        const TDevCatalogEntry failed = device_.Catalog(i);
        result = StepFailed(error, kTitleError, "Ошибка записи программы", &failed, true);
        result.entry_index = i;
        return result;
      }
    }
    result.bytes += device_.Catalog(i).prog_size;
  }
  device_.CalculateMPStat();
  result.programs = count;
  return result;
}

// ---- read ----

namespace {

// `opened`: the state read when the caller opened the device already; null opens it here.
TransferResult ReadChain(TDeviceClass &device, Chain &chain, const PostProcessOptions &options, const char *title,
                         const std::function<bool(int, const TDevCatalogEntry &)> *ask,
                         const TDeviceState *opened = nullptr) {
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

}  // namespace

TransferResult ProjectTransfer::RunReadProject() {
  const PostProcessOptions options = EffectiveOptions();
  Chain chain(device_, *shared_, running_);
  return ReadChain(device_, chain, options, kTitleRead, &shared_->callbacks.continue_after_cs_error);
}

// ---- erase, test, image ----

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

// ---- verify ----

namespace {

std::string Hex32(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

std::string Hex8(uint8_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02X", v);
  return buf;
}

void CompareEntries(const TDevCatalogEntry &p, const TDevCatalogEntry &m, std::vector<VerifyDifference> &out) {
  const std::string name = EntryName(p);
  auto add = [&](std::string what) { out.push_back({p.cat_num, name, std::move(what)}); };
  const std::string module_name = EntryName(m);
  if (module_name != name) add("имя: проект \"" + name + "\", МП \"" + module_name + "\"");
  if (p.prog_size != m.prog_size)
    add("размер: проект " + std::to_string(p.prog_size) + ", МП " + std::to_string(m.prog_size));
  if (p.control_sum != m.control_sum)
    add("контрольная сумма: проект " + Hex32(p.control_sum) + ", МП " + Hex32(m.control_sum));
  if (m.file_error_code == feCSError) add("ошибка контрольной суммы при чтении");
  const size_t psize = p.p_buffer ? std::min<size_t>(p.prog_size, p.p_buffer->size()) : 0;
  const size_t msize = m.p_buffer ? std::min<size_t>(m.prog_size, m.p_buffer->size()) : 0;
  const size_t common = std::min(psize, msize);
  size_t diffs = 0;
  size_t first = 0;
  for (size_t i = 0; i < common; ++i) {
    if ((*p.p_buffer)[i] != (*m.p_buffer)[i]) {
      if (diffs++ == 0) first = i;
    }
  }
  if (diffs > 0) {
    add("байты: " + std::to_string(diffs) + " различ., первое по смещению " + std::to_string(first) + ": проект " +
        Hex8((*p.p_buffer)[first]) + ", МП " + Hex8((*m.p_buffer)[first]));
  }
}

}  // namespace

VerifyReport ProjectTransfer::RunVerify(const TDevCatalog &project) {
  VerifyReport report;
  const PostProcessOptions options = EffectiveOptions();
  Chain chain(device_, *shared_, running_);
  TDeviceState state;
  if (!chain.Open(kTitleVerify, report.read, state)) return report;

  // The project as a write would put it on the module: its own copy of every binary and text,
  // converted and laid out, control sums computed.
  LooseCatalog expected;
  for (int i = 0; i < project.CatalogCount(); ++i) {
    TDevCatalogEntry e = project.Catalog(i);
    if (e.p_buffer) e.p_buffer = std::make_shared<ProgramImage>(*e.p_buffer);
    e.text = std::make_shared<ProgramText>(e.text ? *e.text : ProgramText{});
    expected.Push(e);
  }
  SetCatalogCapacity(expected, device_.DeviceType(), options, state.MP_type);
  if (!CatalogNumbersValid(expected)) {
    report.read = NumbersRefused(kTitleVerify);
    return report;
  }
  if (!EnsureBinaries(expected, options, report.read)) return report;
  if (FixedLayout(device_.DeviceType(), options))
    expected.CutFixedSlots(kFixedSlotSize);
  else if (expected.CatalogCount() > 0)
    expected.DefragCatalog(state.MP_page_size);
  for (int i = 0; i < expected.CatalogCount(); ++i) expected.UpdateControlSum(i);

  // Read the module; control-sum errors become differences rather than questions.
  std::function<bool(int, const TDevCatalogEntry &)> go_on = [](int, const TDevCatalogEntry &) { return true; };
  report.read = ReadChain(device_, chain, options, kTitleVerify, &go_on, &state);
  if (report.read.status == TransferStatus::ChecksumErrors) {
    report.read = TransferResult{};
  } else if (!report.read.ok()) {
    return report;
  }

  std::set<int> numbers;
  for (int i = 0; i < expected.CatalogCount(); ++i) numbers.insert(expected.Catalog(i).cat_num);
  for (int i = 0; i < device_.CatalogCount(); ++i) numbers.insert(device_.Catalog(i).cat_num);
  for (int n : numbers) {
    const int pi = expected.GetCatalogEntryNumByCatNum(n);
    const int mi = device_.GetCatalogEntryNumByCatNum(n);
    if (pi < 0) {
      report.differences.push_back({n, EntryName(device_.Catalog(mi)), "нет в проекте"});
    } else if (mi < 0) {
      report.differences.push_back({n, EntryName(expected.Catalog(pi)), "нет в МП"});
    } else {
      CompareEntries(expected.Catalog(pi), device_.Catalog(mi), report.differences);
    }
  }
  return report;
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
