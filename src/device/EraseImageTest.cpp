// Image read and write, and the quick and full module tests. (The two erases share the opening
// step and the erase loop of the catalog write.)

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>

#include "device/DebugLog.h"
#include "device/DeviceClass.h"

namespace kalvort {

// ---- read an image ----

void TDeviceClass::OpenReadImage() {
  write_log("Старт считывания образа");
  Progress(0);
  action_.address = 0;
  action_.bytes_done = 0;
  if (dev_state_.MP_size <= 0) {
    Finish(deOperationError);
    return;
  }
  if (!LinkSetReadAddr(0)) {
    write_log("Ошибка установки адреса для чтения");
    Finish(deOperationError);
    return;
  }
  Pause(1);
  if (LinkReadData(page_buf_.data(), 1024)) {
    current_state_ = dwsREAD_IMAGE;
  } else {
    Finish(deOperationError);
  }
}

void TDeviceClass::StepReadImage() {
  write_log("Фрагмент образа считан");
  const uint32_t size = static_cast<uint32_t>(dev_state_.MP_size);
  const uint32_t n = std::min<uint32_t>(size - action_.address, 1024);
  // The stream's own state is not looked at: a refused write does not stop the read.
  if (image_stream_) image_stream_->write(reinterpret_cast<const char *>(page_buf_.data()), n);
  action_.bytes_done += n;
  Progress(static_cast<int>(uint64_t{action_.bytes_done} * 100 / size));
  action_.address += 1024;
  write_log(std::to_string(action_.address));
  if (action_.address < size) {
    if (!LinkReadData(page_buf_.data(), 1024)) {
      write_log("Ошибка чтения");
      Break();
    }
    return;
  }
  write_log("Образ считан");
  Finish();
  Pause(1);
}

// ---- write an image ----

size_t TDeviceClass::ReadImageChunk() {
  const size_t ps = static_cast<size_t>(dev_state_.MP_page_size);
  // Bytes after the image's end in the last page are the erased value.
  std::memset(page_buf_.data(), 0xFF, ps);
  if (!image_stream_) return 0;
  image_stream_->read(reinterpret_cast<char *>(page_buf_.data()), static_cast<std::streamsize>(ps));
  return static_cast<size_t>(image_stream_->gcount());
}

void TDeviceClass::OpenBurnImage() {
  write_log("Старт записи образа");
  Progress(0);
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  LinkSetBufferSize(ps);
  Pause(1);
  action_.blocks_issued = 0;
  action_.address = 0;
  action_.bytes_done = 0;
  action_.blocks_left = dev_state_.MP_page_all / kPagesPerBlock;
  if (ps == 0 || ps > page_buf_.size() || dev_state_.MP_size <= 0) {
    Finish(deOperationError);
    return;
  }
  if (!LinkEraseBlocks(0, 1)) {
    Finish(deEraseError);
    return;
  }
  action_.blocks_issued = 1;
  current_state_ = dwsERASE_IMAGE;
  Pause(1);
}

void TDeviceClass::StepEraseImage() {
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  if (action_.blocks_issued < action_.blocks_left) {
    if (!LinkEraseBlocks(static_cast<uint32_t>(action_.blocks_issued), 1)) {
      write_log("Ошибка стирания");
      Break();
      return;
    }
    action_.blocks_issued += 1;
    Progress(action_.blocks_issued * 50 / action_.blocks_left);
    return;
  }
  if (ReadImageChunk() == 0) {
    write_log("Конец");
    FinishWrite();
    return;
  }
  if (!LinkSetWriteAddr(0)) {
    write_log("Ошибка установки адреса");
    Break();
    return;
  }
  write_log("Установка адреса для записи");
  Pause(1);
  if (!LinkWriteData(page_buf_.data(), ps)) {
    write_log("Ошибка записи");
    Break();
    return;
  }
  write_log("Запись одной страницы");
  SetWorkerError(deOK);
  current_state_ = dwsBURN_IMAGE;
}

void TDeviceClass::StepBurnImage() {
  write_log("Ожидание окончания записи");
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  const uint32_t size = static_cast<uint32_t>(dev_state_.MP_size);
  const uint32_t chunk = std::min(size - action_.address, ps);
  action_.bytes_done += chunk;
  Progress(static_cast<int>(uint64_t{action_.bytes_done} * 50 / size + 50));
  action_.address += ps;
  if (action_.address < size) {
    write_log("Запись нового куска");
    if (ReadImageChunk() == 0) {
      FinishWrite();
      Pause(5);
    } else if (!LinkWriteData(page_buf_.data(), ps)) {
      write_log("Ошибка записи");
      Break();
      return;
    }
  } else {
    FinishWrite();
    Pause(2);
  }
  Pause(1);
}

// ---- module test ----

void TDeviceClass::OpenTest(TDevAction action) {
  Progress(0);
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  LinkSetBufferSize(ps);
  Pause(1);
  test_stage = tsFirstErase;
  write_log("Тест - первое стирание");
  if (action == daQuickTest) {
    action_.test_pages = 100;
    action_.blocks_total = 13;
  } else {
    action_.test_pages = static_cast<uint32_t>(std::max(dev_state_.MP_page_all, 0));
    action_.blocks_total = dev_state_.MP_page_all / kPagesPerBlock;
  }
  action_.blocks_left = action_.blocks_total;
  action_.test_read = 0;
  action_.blocks_issued = 0;
  if (ps == 0 || ps > page_buf_.size() || action_.test_pages == 0 || uint64_t{action_.test_pages} * ps > uint64_t(std::max(dev_state_.MP_size, 0))) {
    // The tested pages must lie inside the module and its pattern buffer.
    Finish(deOperationError);
    return;
  }
  if (LinkEraseBlocks(0, 1)) {
    action_.blocks_issued = 1;
    action_.blocks_left -= 1;
    current_state_ = dwsTEST;
  } else {
    Finish(deEraseError);
  }
}

// One pass runs the step of the current stage; a step that moves on to the next stage lets that
// stage's step run in the same pass, as the stages follow each other in this order. A step
// returns false when it ended the pass (a failure, or the end of the check of the erased area).
void TDeviceClass::StepTest() {
  const TTestStages stage = test_stage.load();
  if ((stage == tsFirstErase || stage == tsLastErase) && !TestErase(stage)) return;
  if (test_stage.load() == tsLastRead) {
    TestCheckErased();
    return;
  }
  if (test_stage.load() == tsWrite && !TestWritePage()) return;
  if (test_stage.load() == tsWaitWrite && !TestWaitWrite()) return;
  if (test_stage.load() == tsRead) TestReadBack();
}

uint32_t TDeviceClass::TestedBytes() const {
  return action_.test_pages * static_cast<uint32_t>(dev_state_.MP_page_size);
}

// Erasing, block by block while the module reports ready; then on to writing or, after the last
// erase, to checking the erased area.
bool TDeviceClass::TestErase(TTestStages stage) {
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  write_log("Тест - ожидание окончания стирания");
  LinkGetDeviceState();
  if (!dev_state_.MP_ready) return true;
  if (action_.blocks_left > 0) {
    const int base = stage == tsLastErase ? 65 : 0;
    Progress(static_cast<int>(Nearest(int64_t{action_.blocks_issued} * 5, std::max(action_.blocks_total, 1))) +
             base);
    if (!LinkEraseBlocks(static_cast<uint32_t>(action_.blocks_issued), 1)) {
      Break();
      return false;
    }
    action_.blocks_issued += 1;
    action_.blocks_left -= 1;
  } else if (stage == tsFirstErase) {
    Progress(5);
    action_.test_written = 0;
    if (!LinkSetWriteAddr(0)) {
      Break();
      return false;
    }
    test_pattern_.assign(static_cast<size_t>(dev_state_.MP_size), 0);
    test_stage = tsWrite;
  } else {
    action_.test_read = 0;
    if (!LinkSetReadAddr(0)) {
      Break();
      return false;
    }
    action_.test_read = ps;
    test_stage = tsLastRead;
    Progress(70);
  }
  Pause(1);
  return true;
}

// Checking the erased area, one page per pass.
void TDeviceClass::TestCheckErased() {
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  write_log("Тест - Чтение очищенной области");
  Pause(5);
  if (!LinkReadData(page_buf_.data(), ps)) {
    write_log("Тест - ошибка чтения СМП");
    Break();
    return;
  }
  for (uint32_t i = 0; i < ps; ++i) {
    if (page_buf_[i] != 0xFF) {
      write_log("Тест - ошибка стирания СМП");
      Finish(deOperationError);
      return;
    }
  }
  action_.test_read += ps;
  Progress(static_cast<int>(uint64_t{action_.test_read} * 30 / TestedBytes() + 70));
  if (action_.test_read >= TestedBytes()) {
    FinishWrite();
    Pause(1);
  }
}

// Writing the pattern, one page per pass; a pattern byte is never 0xFF.
bool TDeviceClass::TestWritePage() {
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  write_log("Тест - Запись");
  for (uint32_t i = 0; i < ps; ++i) {
    test_seed_ ^= test_seed_ << 13;
    test_seed_ ^= test_seed_ >> 17;
    test_seed_ ^= test_seed_ << 5;
    const uint8_t v = static_cast<uint8_t>(test_seed_ % 255);
    test_pattern_[action_.test_written + i] = v;
    page_buf_[i] = v;
  }
  if (!LinkWriteData(page_buf_.data(), ps)) {
    Break();
    return false;
  }
  action_.test_written += ps;
  Progress(static_cast<int>(uint64_t{action_.test_written} * 30 / TestedBytes() + 5));
  if (action_.test_written >= TestedBytes()) test_stage = tsWaitWrite;
  Pause(5);
  Pause(1);
  return true;
}

// Waiting for the last write to end before reading back.
bool TDeviceClass::TestWaitWrite() {
  write_log("Тест - Ожидание записи");
  LinkGetDeviceState();
  Pause(5);
  if (!dev_state_.MP_ready) return true;
  action_.test_read = 0;
  if (!LinkSetReadAddr(0)) {
    Break();
    return false;
  }
  test_stage = tsRead;
  Pause(5);
  return true;
}

// Reading back and comparing with the pattern, one page per pass; after the last page the
// module is erased again.
void TDeviceClass::TestReadBack() {
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  write_log("Тест - Чтение");
  Pause(5);
  if (!LinkReadData(page_buf_.data(), ps)) {
    Break();
    return;
  }
  for (uint32_t i = 0; i < ps; ++i) {
    if (page_buf_[i] != test_pattern_[action_.test_read + i]) {
      write_log("Тест - Чтение - ошибка неверные данные");
      write_log(std::to_string(action_.test_read + i) + ":" + std::to_string(page_buf_[i]) + "/" +
                std::to_string(test_pattern_[action_.test_read + i]));
      Finish(deOperationError);
      return;
    }
  }
  action_.test_read += ps;
  Progress(static_cast<int>(uint64_t{action_.test_read} * 30 / TestedBytes() + 35));
  if (action_.test_read < TestedBytes()) return;
  action_.blocks_left = action_.blocks_total;
  action_.blocks_issued = 0;
  if (!LinkEraseBlocks(0, 1)) {
    Break();
    return;
  }
  action_.blocks_issued = 1;
  action_.blocks_left -= 1;
  test_stage = tsLastErase;
  Pause(1);
}

}  // namespace kalvort
