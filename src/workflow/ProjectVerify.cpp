// "Сверить с МП": the module read and compared with the project laid out as a write would lay it out.

#include <set>

#include "base/CodePage.h"
#include "workflow/ProjectTransfer.h"
#include "workflow/TransferChain.h"

namespace kalvort {

using namespace transfer;

namespace {

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

VerifyReport ProjectTransfer::RunVerify(const Project &whole_project) {
  const TDevCatalog &project = whole_project.Programs();
  VerifyReport report;
  const PostProcessOptions options = EffectiveOptions(whole_project);
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


}  // namespace kalvort
