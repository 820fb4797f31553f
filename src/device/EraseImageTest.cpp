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
  V.a = 0;
  V.done = 0;
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
  const uint32_t n = std::min<uint32_t>(size - V.a, 1024);
  // The stream's own state is not looked at: a refused write does not stop the read.
  if (image_stream_) image_stream_->write(reinterpret_cast<const char *>(page_buf_.data()), n);
  V.done += n;
  Progress(static_cast<int>(uint64_t{V.done} * 100 / size));
  V.a += 1024;
  write_log(std::to_string(V.a));
  if (V.a < size) {
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
  V.r = 0;
  V.a = 0;
  V.done = 0;
  V.s = dev_state_.MP_page_all / kPagesPerBlock;
  if (ps == 0 || ps > page_buf_.size() || dev_state_.MP_size <= 0) {
    Finish(deOperationError);
    return;
  }
  if (!LinkEraseBlocks(0, 1)) {
    Finish(deEraseError);
    return;
  }
  V.r = 1;
  current_state_ = dwsERASE_IMAGE;
  Pause(1);
}

void TDeviceClass::StepEraseImage() {
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  if (V.r < V.s) {
    if (!LinkEraseBlocks(static_cast<uint32_t>(V.r), 1)) {
      write_log("Ошибка стирания");
      Break();
      return;
    }
    V.r += 1;
    Progress(V.r * 50 / V.s);
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
  const uint32_t chunk = std::min(size - V.a, ps);
  V.done += chunk;
  Progress(static_cast<int>(uint64_t{V.done} * 50 / size + 50));
  V.a += ps;
  if (V.a < size) {
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
    V.N = 100;
    V.s0 = 13;
  } else {
    V.N = static_cast<uint32_t>(std::max(dev_state_.MP_page_all, 0));
    V.s0 = dev_state_.MP_page_all / kPagesPerBlock;
  }
  V.s = V.s0;
  V.p2 = 0;
  V.r = 0;
  if (ps == 0 || ps > page_buf_.size() || V.N == 0 || uint64_t{V.N} * ps > uint64_t(std::max(dev_state_.MP_size, 0))) {
    // The tested pages must lie inside the module and its pattern buffer.
    Finish(deOperationError);
    return;
  }
  if (LinkEraseBlocks(0, 1)) {
    V.r = 1;
    V.s -= 1;
    current_state_ = dwsTEST;
  } else {
    Finish(deEraseError);
  }
}

void TDeviceClass::StepTest() {
  const uint32_t ps = static_cast<uint32_t>(dev_state_.MP_page_size);
  const uint32_t tested = V.N * ps;

  // A. Erasing, block by block while the module reports ready.
  TTestStages stage = test_stage.load();
  if (stage == tsFirstErase || stage == tsLastErase) {
    write_log("Тест - ожидание окончания стирания");
    LinkGetDeviceState();
    if (dev_state_.MP_ready) {
      if (V.s > 0) {
        const int base = stage == tsLastErase ? 65 : 0;
        Progress(static_cast<int>(Nearest(int64_t{V.r} * 5, std::max(V.s0, 1))) + base);
        if (!LinkEraseBlocks(static_cast<uint32_t>(V.r), 1)) {
          Break();
          return;
        }
        V.r += 1;
        V.s -= 1;
      } else if (stage == tsFirstErase) {
        Progress(5);
        V.p = 0;
        if (!LinkSetWriteAddr(0)) {
          Break();
          return;
        }
        test_pattern_.assign(static_cast<size_t>(dev_state_.MP_size), 0);
        test_stage = tsWrite;
      } else {
        V.p2 = 0;
        if (!LinkSetReadAddr(0)) {
          Break();
          return;
        }
        V.p2 = ps;
        test_stage = tsLastRead;
        Progress(70);
      }
      Pause(1);
    }
  }

  // B. Checking the erased area.
  if (test_stage.load() == tsLastRead) {
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
    V.p2 += ps;
    Progress(static_cast<int>(uint64_t{V.p2} * 30 / tested + 70));
    if (V.p2 >= tested) {
      FinishWrite();
      Pause(1);
    }
    return;
  }

  // C. Writing the pattern, one page per pass; a pattern byte is never 0xFF.
  if (test_stage.load() == tsWrite) {
    write_log("Тест - Запись");
    for (uint32_t i = 0; i < ps; ++i) {
      test_seed_ ^= test_seed_ << 13;
      test_seed_ ^= test_seed_ >> 17;
      test_seed_ ^= test_seed_ << 5;
      const uint8_t v = static_cast<uint8_t>(test_seed_ % 255);
      test_pattern_[V.p + i] = v;
      page_buf_[i] = v;
    }
    if (!LinkWriteData(page_buf_.data(), ps)) {
      Break();
      return;
    }
    V.p += ps;
    Progress(static_cast<int>(uint64_t{V.p} * 30 / tested + 5));
    if (V.p >= tested) test_stage = tsWaitWrite;
    Pause(5);
    Pause(1);
  }

  // D. Waiting for the last write.
  if (test_stage.load() == tsWaitWrite) {
    write_log("Тест - Ожидание записи");
    LinkGetDeviceState();
    Pause(5);
    if (dev_state_.MP_ready) {
      V.p2 = 0;
      if (!LinkSetReadAddr(0)) {
        Break();
        return;
      }
      test_stage = tsRead;
      Pause(5);
    }
  }

  // E. Reading back and comparing with the pattern.
  if (test_stage.load() == tsRead) {
    write_log("Тест - Чтение");
    Pause(5);
    if (!LinkReadData(page_buf_.data(), ps)) {
      Break();
      return;
    }
    for (uint32_t i = 0; i < ps; ++i) {
      if (page_buf_[i] != test_pattern_[V.p2 + i]) {
        write_log("Тест - Чтение - ошибка неверные данные");
        write_log(std::to_string(V.p2 + i) + ":" + std::to_string(page_buf_[i]) + "/" +
                  std::to_string(test_pattern_[V.p2 + i]));
        Finish(deOperationError);
        return;
      }
    }
    V.p2 += ps;
    Progress(static_cast<int>(uint64_t{V.p2} * 30 / tested + 35));
    if (V.p2 >= tested) {
      V.s = V.s0;
      V.r = 0;
      if (!LinkEraseBlocks(0, 1)) {
        Break();
        return;
      }
      V.r = 1;
      V.s -= 1;
      test_stage = tsLastErase;
      Pause(1);
    }
  }
}

}  // namespace kalvort
