// Catalog and program transfers: read the catalog slots, write the catalog (erasing the project
// area first), read one program, write one program.
//
// Catalog slot page (little-endian):
//   0 in use 0x00 / free 0xFF    1 prog_num   3 first_page   5 last_page
//   7 prog_size mod page size    9 control_sum   13 indic[0..15]   29 code[0..127]
//   157 0x02 (name, date and flags valid)   158..221 0xFF   222 date (double)
//   230 0xFF need_p_proc / 0xFE not   231.. 0xFF

#include <algorithm>
#include <cstring>
#include <string>

#include "device/DebugLog.h"
#include "device/DeviceClass.h"

namespace kalvort {

namespace {

uint16_t get16(const uint8_t *b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

uint32_t get32(const uint8_t *b, size_t at) {
  return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void put16(uint8_t *b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t *b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

void EncodeCatalogSlot(const TDevCatalogEntry &e, uint32_t page_size, uint8_t *page, size_t page_len) {
  std::memset(page, 0xFF, page_len);
  if (page_len < 231) return;
  page[0] = 0x00;
  put16(page, 1, e.prog_num);
  put16(page, 3, e.first_page);
  put16(page, 5, e.last_page);
  put16(page, 7, page_size ? e.prog_size % page_size : 0);
  put32(page, 9, e.control_sum);
  std::memcpy(page + 13, e.indic, 16);
  std::memcpy(page + 29, e.code, 128);
  page[157] = 0x02;
  std::memcpy(page + 222, &e.date, 8);
  page[230] = e.need_p_proc ? 0xFF : 0xFE;
}

uint32_t TDeviceClass::SlotAddress(int cat_num) const {
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  if (cat_num < 100) return static_cast<uint32_t>(cat_num) * ps;
  return static_cast<uint32_t>(dev_more_smp_cat_num_ + cat_num - 100) * ps;
}

// ---- read the catalog ----

void TDeviceClass::OpenReadCatalog() {
  write_log("Старт считывания каталога");
  Progress(0);
  {
    std::lock_guard<std::mutex> guard(entries_mutex_);
    entries_.clear();
  }
  CatalogChanged();
  action_.slot = 0;
  if (!LinkSetReadAddr(0)) {
    write_log("Ошибка установки адреса для чтения");
    Finish(deOperationError);
    return;
  }
  Pause(1);
  if (LinkReadData(page_buf_.data(), 256)) {
    current_state_ = dwsGET_CAT;
  } else {
    write_log("Ошибка чтения вхождения");
    Finish(deOperationError);
  }
  Pause(1);
}

void TDeviceClass::StepReadCatalog() {
  const uint8_t *b = page_buf_.data();
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  const uint32_t page_all = static_cast<uint32_t>(dev_state_.MP_page_all);
  write_log("Вхождение в каталог " + std::to_string(action_.slot) + " вычитано");
  if (b[0] != 0xFF) {
    write_log("Вхождение в каталог используется");
    TDevCatalogEntry e;
    e.cat_num = static_cast<int32_t>(action_.slot);
    e.prog_num = get16(b, 1);
    e.first_page = get16(b, 3);
    e.last_page = get16(b, 5);
    const int64_t room = (static_cast<int64_t>(page_all) - dev_max_prog_num_) * ps;
    e.prog_size = (static_cast<uint32_t>(e.last_page) - e.first_page) * ps + get16(b, 7);
    // A last page below the first one is refused outright: with a large remainder the wrapped
    // size can come out small enough to pass the size check.
    if (e.first_page >= page_all || e.last_page >= page_all || e.last_page < e.first_page ||
        static_cast<int64_t>(e.prog_size) > room) {
      Finish(deOperationError);
      Pause(1);
      return;
    }
    e.control_sum = get32(b, 9);
    if (b[157] == 2) {
      std::memcpy(e.indic, b + 13, 16);
      e.indic[16] = 0;
      std::memcpy(e.code, b + 29, 127);
      e.code[127] = 0;
      e.need_p_proc = (b[230] & 1) != 0;
      const uint32_t low = get32(b, 222);
      if (low == 0 || low == 0xFFFFFFFFu) {
        e.date = NowAsOleDate();
      } else {
        std::memcpy(&e.date, b + 222, 8);
      }
    } else {
      e.need_p_proc = true;
      e.date = NowAsOleDate();
    }
    e.text = std::make_shared<ProgramText>();
    e.file_bin_valid = false;
    e.file_txt_valid = false;
    e.file_error_code = feOK;
    std::lock_guard<std::mutex> guard(entries_mutex_);
    entries_.push_back(std::move(e));
    CatalogChanged();
  }
  ++action_.slot;
  Progress(dev_max_prog_num_ > 0 ? static_cast<int>(action_.slot * 100 / static_cast<uint32_t>(dev_max_prog_num_)) : 100);
  if (static_cast<int>(action_.slot) >= dev_max_prog_num_) {
    write_log("Весь каталог вычитан");
    Finish();
    Pause(1);
    return;
  }
  write_log("Запуск чтения вхождения");
  if (!LinkSetReadAddr(SlotAddress(static_cast<int>(action_.slot)))) {
    write_log("Ошибка установки адреса чтения");
    Break();
    return;
  }
  Pause(1);
  if (!LinkReadData(page_buf_.data(), 256)) {
    write_log("Ошибка чтения вхождения");
    Finish(deOperationError);
  }
  Pause(1);
}

// ---- write the catalog; erase the catalog area or the whole module ----

void TDeviceClass::OpenBurnOrErase(TDevAction action) {
  write_log("Начало записи каталога / стирания");
  Progress(0);
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  LinkSetBufferSize(ps);
  Pause(1);
  if (action == daEraseFull) {
    action_.blocks_left = dev_state_.MP_page_all / kPagesPerBlock;
  } else {
    int32_t k = 0;
    for (const TDevCatalogEntry &e : entries_) k = std::max<int32_t>(k, e.last_page);
    k = dev_max_prog_num_ > 100 ? std::max(k, dev_more_smp_zone_num_ - 1) : std::max(k, dev_max_prog_num_);
    action_.blocks_left = (k + 1) / kPagesPerBlock + ((k + 1) % kPagesPerBlock > 0 ? 1 : 0);
  }
  // Only a catalog write stores slots; the erases finish after the last block.
  action_.next_entry = action == daBurnCat ? 0 : static_cast<int32_t>(entries_.size());
  action_.blocks_issued = 0;
  action_.blocks_total = action_.blocks_left;
  if (LinkEraseBlocks(0, 1)) {
    action_.blocks_issued = 1;
    action_.blocks_left -= 1;
    write_log("Стирание");
    current_state_ = dwsWAIT_BURN;
  } else {
    write_log("Ошибка стирания");
    Finish(deOperationError);
    Pause(1);
  }
}

void TDeviceClass::StepWaitBurn() {
  write_log("Ожидание готовности");
  write_log("ЧТение состояния");
  const int32_t count = static_cast<int32_t>(entries_.size());
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  if (action_.blocks_left > 0) {
    const int32_t s0 = std::max(action_.blocks_total, 1);
    Progress(action_.next_entry < count ? action_.blocks_issued * 30 / s0 : action_.blocks_issued * 100 / s0);
    if (!LinkEraseBlocks(static_cast<uint32_t>(action_.blocks_issued), 1)) {
      write_log("Ошибка стирания");
      Break();
      return;
    }
    action_.blocks_issued += 1;
    action_.blocks_left -= 1;
    write_log("Стирание");
    Pause(20);
  } else if (action_.next_entry < count) {
    write_log("Запись очередного вхождения в каталог");
    const TDevCatalogEntry &e = entries_[static_cast<size_t>(action_.next_entry)];
    const int64_t slot_page = e.cat_num < 100 ? e.cat_num : int64_t{dev_more_smp_cat_num_} + e.cat_num - 100;
    if (e.cat_num < 0 || ps == 0 || ps > page_buf_.size() || slot_page >= dev_state_.MP_page_all) {
      // An entry without a slot of this module: nothing is written outside the module.
      Finish(deOperationError);
      Pause(1);
      return;
    }
    EncodeCatalogSlot(e, ps, page_buf_.data(), page_buf_.size());
    if (!LinkSetWriteAddr(SlotAddress(e.cat_num))) {
      write_log("Ошибка установки адреса");
      Break();
      return;
    }
    Pause(1);
    if (!LinkWriteData(page_buf_.data(), ps)) {
      write_log("Ошибка записи");
      Break();
      return;
    }
    action_.next_entry += 1;
    Progress(action_.next_entry * 70 / count + 30);
  } else {
    FinishWrite();
  }
  Pause(1);
}

// ---- read one program ----

void TDeviceClass::OpenReadFile() {
  write_log("Старт считывания файла");
  Progress(0);
  if (dev_cur_cat_prog_num_ < 0 || dev_cur_cat_prog_num_ >= static_cast<int>(entries_.size())) {
    Finish(deWrongFileNum);
    return;
  }
  TDevCatalogEntry &e = entries_[static_cast<size_t>(dev_cur_cat_prog_num_)];
  if (e.prog_size == 0) {
    write_log("Файл нулевой длины");
    Finish();
    Pause(1);
    return;
  }
  if (e.prog_size > static_cast<uint32_t>(std::max(dev_state_.MP_size, 0))) {
    // Larger than the module: no such program can be read.
    Finish(deOperationError);
    return;
  }
  e.p_buffer = std::make_shared<ProgramImage>(e.prog_size);
  if (e.text) {
    e.text->clear();
  } else {
    e.text = std::make_shared<ProgramText>();
  }
  CatalogChanged();
  action_.address = static_cast<uint32_t>(e.first_page) * static_cast<uint32_t>(dev_state_.MP_page_size);
  action_.bytes_done = 0;
  action_.control_sum = 0;
  if (!LinkSetReadAddr(action_.address)) {
    write_log("Ошибка установки адреса для чтения");
    Finish(deOperationError);
    return;
  }
  Pause(1);
  if (LinkReadData(page_buf_.data(), 1024)) {
    current_state_ = dwsGET_FILE;
  } else {
    Finish(deOperationError);
  }
  Pause(1);
}

void TDeviceClass::StepReadFile() {
  write_log("Фрагмент файла считан");
  TDevCatalogEntry &e = entries_[static_cast<size_t>(dev_cur_cat_prog_num_)];
  const uint32_t base = static_cast<uint32_t>(e.first_page) * static_cast<uint32_t>(dev_state_.MP_page_size);
  const uint32_t chunk = std::min<uint32_t>(e.prog_size - (action_.address - base), 1024);
  uint8_t *dest = e.p_buffer->data() + action_.bytes_done;
  for (uint32_t i = 0; i < chunk; ++i) {
    action_.control_sum += page_buf_[i];
    dest[i] = page_buf_[i];
  }
  action_.bytes_done += chunk;
  Progress(static_cast<int>(uint64_t{action_.bytes_done} * 100 / e.prog_size));
  action_.address += 1024;
  write_log(std::to_string(action_.address));
  if (action_.address - base < e.prog_size) {
    if (!LinkReadData(page_buf_.data(), 1024)) {
      write_log("Ошибка чтения");
      Break();
    }
    return;
  }
  write_log("Файл считан");
  CatalogChanged();  // the program's bytes are all in
  if (action_.control_sum != e.control_sum) SetWorkerError(deCSError);
  Finish();
}

// ---- write one program ----

namespace {

// One page of a program from `offset`; what the program does not fill stays 0xFF.
void FillProgramPage(const ProgramImage &bin, uint32_t prog_size, uint32_t offset, uint8_t *page, uint32_t ps) {
  std::memset(page, 0xFF, ps);
  if (offset >= prog_size) return;
  const uint32_t n = std::min(ps, prog_size - offset);
  std::memcpy(page, bin.data() + offset, n);
}

}  // namespace

void TDeviceClass::OpenBurnFile() {
  write_log("Старт записи файла");
  Progress(0);
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  if (dev_cur_cat_prog_num_ < 0 || dev_cur_cat_prog_num_ >= static_cast<int>(entries_.size())) {
    Finish(deWrongFileNum);
    return;
  }
  const TDevCatalogEntry &e = entries_[static_cast<size_t>(dev_cur_cat_prog_num_)];
  if (!e.p_buffer || e.p_buffer->size() < e.prog_size || ps == 0 || ps > page_buf_.size()) {
    Finish(deOperationError);
    return;
  }
  action_.address = static_cast<uint32_t>(e.first_page) * ps;
  action_.bytes_done = 0;
  if (!LinkSetWriteAddr(action_.address)) {
    write_log("Ошибка установки адреса");
    Finish(deOperationError);
    return;
  }
  write_log("Установка адреса для записи");
  Pause(1);
  FillProgramPage(*e.p_buffer, e.prog_size, 0, page_buf_.data(), ps);
  if (LinkWriteData(page_buf_.data(), ps)) {
    write_log("Запись одной страницы");
    SetWorkerError(deOK);
    current_state_ = dwsBURN_FILE;
  } else {
    write_log("Ошибка записи");
    Finish(deOperationError);
  }
  Pause(1);
}

void TDeviceClass::StepBurnFile() {
  write_log("Ожидание окончания записи");
  const TDevCatalogEntry &e = entries_[static_cast<size_t>(dev_cur_cat_prog_num_)];
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  const uint32_t base = static_cast<uint32_t>(e.first_page) * ps;
  const uint32_t chunk = std::min(e.prog_size - (action_.address - base), ps);
  action_.bytes_done += chunk;
  Progress(static_cast<int>(uint64_t{action_.bytes_done} * 100 / e.prog_size));
  action_.address += ps;
  if (action_.address - base < e.prog_size) {
    write_log("Запись нового куска");
    FillProgramPage(*e.p_buffer, e.prog_size, action_.bytes_done, page_buf_.data(), ps);
    if (!LinkWriteData(page_buf_.data(), ps)) {
      write_log("Ошибка записи");
      Break();
      return;
    }
  } else {
    FinishWrite();
    Pause(1);
  }
  Pause(5);
}

}  // namespace kalvort
