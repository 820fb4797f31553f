#include "device/DevCatalog.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

namespace kalvort {

namespace {

// Pages are 16-bit numbers on the module; arithmetic on them wraps like the module's counters.
uint16_t page16(int64_t value) { return static_cast<uint16_t>(static_cast<uint64_t>(value)); }

}  // namespace

int TDevCatalog::CatalogCount() const { return static_cast<int>(entries_.size()); }

TDevCatalogEntry TDevCatalog::Catalog(int i) const {
  if (i < 0 || i >= CatalogCount()) return TDevCatalogEntry{};
  return entries_[static_cast<size_t>(i)];
}

void TDevCatalog::SetCatalog(int i, const TDevCatalogEntry &entry) {
  if (i < 0 || i >= CatalogCount()) return;
  entries_[static_cast<size_t>(i)] = entry;
  CatalogChanged();
}

void TDevCatalog::CatalogClear() {
  std::lock_guard<std::mutex> lock(entries_mutex_);
  entries_.clear();
  CatalogChanged();
  last_error_ = deOK;
}

void TDevCatalog::SwapCatalog(TDevCatalog &other) {
  if (&other == this) return;
  std::scoped_lock lock(entries_mutex_, other.entries_mutex_);
  entries_.swap(other.entries_);
  CatalogChanged();
  other.CatalogChanged();
  last_error_ = deOK;
}

void TDevCatalog::CopyCatalogFrom(const TDevCatalog &other) {
  if (&other == this) return;
  std::scoped_lock lock(entries_mutex_, other.entries_mutex_);
  entries_ = other.entries_;
  dev_max_prog_num_ = other.dev_max_prog_num_;
  dev_more_smp_cat_num_ = other.dev_more_smp_cat_num_;
  dev_more_smp_zone_num_ = other.dev_more_smp_zone_num_;
  proj_last_page_ = other.proj_last_page_;
  mp_all_.store(other.mp_all_.load());
  CatalogChanged();
  last_error_ = deOK;
}

uint16_t TDevCatalog::UniqueProgNum(uint16_t wanted, int excluded_index) const {
  // Equivalent to walking the list and restarting after every bump: the smallest number at or
  // above the wanted one (wrapping at 16 bits) that no other entry uses.
  std::vector<bool> used(65536, false);
  for (int i = 0; i < CatalogCount(); ++i) {
    if (i == excluded_index) continue;
    used[entries_[static_cast<size_t>(i)].prog_num] = true;
  }
  uint16_t n = wanted;
  for (int step = 0; step < 65536 && used[n]; ++step) n = static_cast<uint16_t>(n + 1);
  return n;
}

bool TDevCatalog::PlaceEntry(TDevCatalogEntry record, int position, TDevCatalogEntry &entry) {
  try {
    if (!record.text) record.text = std::make_shared<ProgramText>();
    entries_.insert(entries_.begin() + position, record);
    CatalogChanged();
  } catch (const std::bad_alloc &) {
    last_error_ = deOperationError;
    return false;
  }
  entry = std::move(record);
  last_error_ = deOK;
  return true;
}

bool TDevCatalog::AddCatalogEntry(TDevCatalogEntry &entry) {
  if (CatalogCount() >= dev_max_prog_num_) {
    last_error_ = deWrongFileNum;
    return false;
  }
  TDevCatalogEntry record = entry;
  if (!entries_.empty()) {
    record.prog_num = UniqueProgNum(record.prog_num, -1);
    if (record.cat_num == -1) {
      int largest = -1;
      for (const auto &e : entries_) largest = std::max(largest, e.cat_num);
      record.cat_num = largest + 1;
    }
  } else if (record.cat_num == -1) {
    record.cat_num = 0;
  }
  record.date = NowAsOleDate();
  return PlaceEntry(record, CatalogCount(), entry);
}

bool TDevCatalog::InsertCatalogEntry(TDevCatalogEntry &entry, int position) {
  if (position < 0 || position > CatalogCount()) {
    last_error_ = deWrongFileNum;
    return false;
  }
  TDevCatalogEntry record = entry;
  if (record.cat_num == -1) {
    record.prog_num = UniqueProgNum(record.prog_num, -1);
    // Smallest catalog number no entry uses.
    std::vector<bool> used(entries_.size() + 1, false);
    for (const auto &e : entries_)
      if (e.cat_num >= 0 && static_cast<size_t>(e.cat_num) < used.size()) used[e.cat_num] = true;
    int candidate = 0;
    while (used[static_cast<size_t>(candidate)]) ++candidate;
    record.cat_num = candidate;
  }
  return PlaceEntry(record, position, entry);
}

bool TDevCatalog::ChangeCatalogEntry(TDevCatalogEntry &entry, int index) {
  if (index < 0 || index >= CatalogCount()) {
    last_error_ = deWrongFileNum;
    return false;
  }
  auto &stored = entries_[static_cast<size_t>(index)];
  if (entry.cat_num == -1) {
    entry.prog_num = UniqueProgNum(entry.prog_num, index);
    entry.cat_num = stored.cat_num;
  }
  stored = entry;
  if (!stored.text) stored.text = std::make_shared<ProgramText>();
  CatalogChanged();
  last_error_ = deOK;
  return true;
}

bool TDevCatalog::ReplaceCatalogEntry(int index, int source_index) {
  const int count = CatalogCount();
  if (index < 0 || index >= count || source_index < 0 || source_index >= count) {
    last_error_ = deWrongFileNum;
    return false;
  }
  if (index == source_index) return true;
  entries_[static_cast<size_t>(index)] = std::move(entries_[static_cast<size_t>(source_index)]);
  entries_.erase(entries_.begin() + source_index);
  CatalogChanged();
  return true;
}

bool TDevCatalog::RemCatalogEntry(bool renumber, int index) {
  if (index < 0 || index >= CatalogCount()) {
    last_error_ = deWrongFileNum;
    return false;
  }
  const int removed = entries_[static_cast<size_t>(index)].cat_num;
  entries_.erase(entries_.begin() + index);
  if (renumber)
    for (auto &e : entries_)
      if (e.cat_num > removed) --e.cat_num;
  CatalogChanged();
  last_error_ = deOK;
  return true;
}

int TDevCatalog::GetCatalogEntryNumByCatNum(int cat_num, int excluded_index) const {
  for (int i = 0; i < CatalogCount(); ++i)
    if (i != excluded_index && entries_[static_cast<size_t>(i)].cat_num == cat_num) return i;
  return -1;
}

int TDevCatalog::GetLessCatalogEntryNumByCatNum(int cat_num, int excluded_index) const {
  int found = -1;
  for (int i = 0; i < CatalogCount(); ++i) {
    if (i == excluded_index) continue;
    const int c = entries_[static_cast<size_t>(i)].cat_num;
    if (c < 0 || c >= cat_num) continue;
    if (found < 0 || c > entries_[static_cast<size_t>(found)].cat_num) found = i;
  }
  return found;
}

int TDevCatalog::GetMoreCatalogEntryNumByCatNum(int cat_num, int excluded_index) const {
  int found = -1;
  for (int i = 0; i < CatalogCount(); ++i) {
    if (i == excluded_index) continue;
    const int c = entries_[static_cast<size_t>(i)].cat_num;
    if (c <= cat_num) continue;
    if (found < 0 || c < entries_[static_cast<size_t>(found)].cat_num) found = i;
  }
  return found;
}

bool TDevCatalog::MoveEntry(int index, bool down, bool with_prog_num) {
  if (index < 0 || index >= CatalogCount()) {
    last_error_ = deWrongFileNum;
    return false;
  }
  auto &entry = entries_[static_cast<size_t>(index)];
  if (down ? entry.cat_num >= dev_max_prog_num_ - 1 : entry.cat_num <= 0) return false;
  const int other = down ? GetMoreCatalogEntryNumByCatNum(entry.cat_num, index)
                         : GetLessCatalogEntryNumByCatNum(entry.cat_num, index);
  if (other < 0) {
    entry.cat_num += down ? 1 : -1;
    if (with_prog_num) entry.prog_num = static_cast<uint16_t>(entry.prog_num + (down ? 1 : -1));
  } else {
    auto &neighbour = entries_[static_cast<size_t>(other)];
    std::swap(entry.cat_num, neighbour.cat_num);
    if (with_prog_num) std::swap(entry.prog_num, neighbour.prog_num);
  }
  CatalogChanged();
  last_error_ = deOK;
  return true;
}

bool TDevCatalog::CatalogEntryUpCatNum(int index) { return MoveEntry(index, false, false); }
bool TDevCatalog::CatalogEntryDownCatNum(int index) { return MoveEntry(index, true, false); }
bool TDevCatalog::CatalogEntryUpProgNum(int index) { return MoveEntry(index, false, true); }
bool TDevCatalog::CatalogEntryDownProgNum(int index) { return MoveEntry(index, true, true); }

bool TDevCatalog::PrepareCatalog(bool fixed, int slot_size) {
  bool result = false;
  const int page_size = dev_state_.MP_page_size;
  if (!dev_state_.connected || !dev_state_.MP_connected) {
    last_error_ = deNotConnected;
  } else if (page_size <= 0 || (fixed && slot_size <= 0)) {
    // A module without a page size cannot be laid out; never divide by it.
    last_error_ = deOperationError;
  } else {
    if (fixed)
      AssignFixedSlots(static_cast<uint32_t>(slot_size), static_cast<uint32_t>(page_size));
    else
      DefragCatalog(page_size);
    last_error_ = deOK;
    result = true;
  }
  for (int i = 0; i < CatalogCount(); ++i) UpdateControlSum(i);
  return result;
}

void TDevCatalog::AssignFixedSlots(uint32_t slot_size, uint32_t page_size) {
  const uint16_t pages_per_slot = page16(slot_size / page_size + (slot_size % page_size > 0 ? 1 : 0));
  uint16_t last = page16(dev_max_prog_num_);
  for (auto &e : entries_) {
    if (e.prog_size > slot_size) {
      // Only the first slot_size bytes fit in the slot; the rest is cut off.
      e.prog_size = slot_size;
      if (e.p_buffer && e.p_buffer->size() > slot_size) e.p_buffer->resize(slot_size);
    }
    if (e.cat_num < 100)
      e.first_page = page16(100 + static_cast<int64_t>(e.cat_num) * pages_per_slot);
    else
      e.first_page = page16(dev_more_smp_zone_num_ + static_cast<int64_t>(e.cat_num - 100) * pages_per_slot);
    e.last_page = page16(e.first_page + e.prog_size / page_size);
    last = std::max(last, e.last_page);
  }
  proj_last_page_ = last;
  CatalogChanged();
}

bool TDevCatalog::DefragCatalog(int page_size) {
  if (entries_.empty()) {
    last_error_ = deWrongFileNum;
    return false;
  }
  if (page_size <= 0) {
    last_error_ = deOperationError;
    return false;
  }
  const uint32_t p = static_cast<uint32_t>(page_size);
  uint16_t cursor = page16(dev_max_prog_num_);
  int next = 0;
  for (int slot = 0; slot < dev_max_prog_num_; ++slot) {
    const int i = GetCatalogEntryNumByCatNum(slot);
    if (i < 0) continue;
    auto &e = entries_[static_cast<size_t>(i)];
    e.cat_num = next++;
    e.first_page = cursor;
    if (e.prog_size > 0) {
      e.last_page = page16(cursor + e.prog_size / p);
      cursor = page16(e.last_page + 1);
    } else {
      e.last_page = cursor;  // an empty program shares its page with the next one
    }
    proj_last_page_ = e.last_page;
  }
  CatalogChanged();
  last_error_ = deOK;
  return true;
}

void TDevCatalog::UpdateControlSum(int index) {
  if (index < 0 || index >= CatalogCount()) return;
  auto &e = entries_[static_cast<size_t>(index)];
  uint32_t sum = 0;
  if (e.p_buffer) {
    const size_t n = std::min<size_t>(e.prog_size, e.p_buffer->size());
    for (size_t k = 0; k < n; ++k) sum += (*e.p_buffer)[k];
  }
  e.control_sum = sum;
  CatalogChanged();
}

void TDevCatalog::FileValidClearAll() {
  if (!entries_.empty()) CatalogChanged();
  for (auto &e : entries_) {
    e.file_bin_valid = false;
    e.file_txt_valid = false;
  }
}

TDevCatalogEntry *TDevCatalog::EntryAt(int index) {
  if (index < 0 || index >= CatalogCount()) return nullptr;
  CatalogChanged();
  return &entries_[static_cast<size_t>(index)];
}

void TDevCatalog::FileBinValidClear(int index) {
  if (auto *e = EntryAt(index)) e->file_bin_valid = false;
}
void TDevCatalog::FileBinValidSet(int index) {
  if (auto *e = EntryAt(index)) e->file_bin_valid = true;
}
void TDevCatalog::FileTxtValidClear(int index) {
  if (auto *e = EntryAt(index)) e->file_txt_valid = false;
}
void TDevCatalog::FileTxtValidSet(int index) {
  if (auto *e = EntryAt(index)) e->file_txt_valid = true;
}
void TDevCatalog::FileErrorClear(int index) {
  if (auto *e = EntryAt(index)) e->file_error_code = feOK;
}
void TDevCatalog::FileErrorSet(int index, TFileError error) {
  if (auto *e = EntryAt(index)) e->file_error_code = error;
}

bool TDevCatalog::CalculateMPStat() {
  int64_t all = 0;
  for (const auto &e : entries_)
    if (e.file_bin_valid) all += e.prog_size;
  mp_all_.store(static_cast<int32_t>(std::min<int64_t>(all, std::numeric_limits<int32_t>::max())));
  return true;
}

}  // namespace kalvort
