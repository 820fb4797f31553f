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
  if (FDevState.MP_size <= 0) {
    Finish(deOperationError);
    return;
  }
  if (!FSetReadAddr(0)) {
    write_log("Ошибка установки адреса для чтения");
    Finish(deOperationError);
    return;
  }
  Pause(1);
  if (FReadData(FPageBuf.data(), 1024)) {
    FCurrentState = dwsREAD_IMAGE;
  } else {
    Finish(deOperationError);
  }
}

void TDeviceClass::StepReadImage() {
  write_log("Фрагмент образа считан");
  const uint32_t size = static_cast<uint32_t>(FDevState.MP_size);
  const uint32_t n = std::min<uint32_t>(size - V.a, 1024);
  // The stream's own state is not looked at: a refused write does not stop the read.
  if (FImageStream) FImageStream->write(reinterpret_cast<const char *>(FPageBuf.data()), n);
  V.done += n;
  Progress(static_cast<int>(uint64_t{V.done} * 100 / size));
  V.a += 1024;
  write_log(std::to_string(V.a));
  if (V.a < size) {
    if (!FReadData(FPageBuf.data(), 1024)) {
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
  const size_t ps = static_cast<size_t>(FDevState.MP_page_size);
  // Bytes after the image's end in the last page are the erased value.
  std::memset(FPageBuf.data(), 0xFF, ps);
  if (!FImageStream) return 0;
  FImageStream->read(reinterpret_cast<char *>(FPageBuf.data()), static_cast<std::streamsize>(ps));
  return static_cast<size_t>(FImageStream->gcount());
}

void TDeviceClass::OpenBurnImage() {
  write_log("Старт записи образа");
  Progress(0);
  const uint32_t ps = static_cast<uint32_t>(FDevState.MP_page_size);
  FSetBufferSize(ps);
  Pause(1);
  V.r = 0;
  V.a = 0;
  V.done = 0;
  V.s = FDevState.MP_page_all / kPagesPerBlock;
  if (ps == 0 || ps > FPageBuf.size() || FDevState.MP_size <= 0) {
    Finish(deOperationError);
    return;
  }
  if (!FEraseBlocks(0, 1)) {
    Finish(deEraseError);
    return;
  }
  V.r = 1;
  FCurrentState = dwsERASE_IMAGE;
  Pause(1);
}

void TDeviceClass::StepEraseImage() {
  const uint32_t ps = static_cast<uint32_t>(FDevState.MP_page_size);
  if (V.r < V.s) {
    if (!FEraseBlocks(static_cast<uint32_t>(V.r), 1)) {
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
  if (!FSetWriteAddr(0)) {
    write_log("Ошибка установки адреса");
    Break();
    return;
  }
  write_log("Установка адреса для записи");
  Pause(1);
  if (!FWriteData(FPageBuf.data(), ps)) {
    write_log("Ошибка записи");
    Break();
    return;
  }
  write_log("Запись одной страницы");
  SetWorkerError(deOK);
  FCurrentState = dwsBURN_IMAGE;
}

void TDeviceClass::StepBurnImage() {
  write_log("Ожидание окончания записи");
  const uint32_t ps = static_cast<uint32_t>(FDevState.MP_page_size);
  const uint32_t size = static_cast<uint32_t>(FDevState.MP_size);
  const uint32_t chunk = std::min(size - V.a, ps);
  V.done += chunk;
  Progress(static_cast<int>(uint64_t{V.done} * 50 / size + 50));
  V.a += ps;
  if (V.a < size) {
    write_log("Запись нового куска");
    if (ReadImageChunk() == 0) {
      FinishWrite();
      Pause(5);
    } else if (!FWriteData(FPageBuf.data(), ps)) {
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
  const uint32_t ps = static_cast<uint32_t>(FDevState.MP_page_size);
  FSetBufferSize(ps);
  Pause(1);
  test_stage = tsFirstErase;
  write_log("Тест - первое стирание");
  if (action == daQuickTest) {
    V.N = 100;
    V.s0 = 13;
  } else {
    V.N = static_cast<uint32_t>(std::max(FDevState.MP_page_all, 0));
    V.s0 = FDevState.MP_page_all / kPagesPerBlock;
  }
  V.s = V.s0;
  V.p2 = 0;
  V.r = 0;
  if (ps == 0 || ps > FPageBuf.size() || V.N == 0 || uint64_t{V.N} * ps > uint64_t(std::max(FDevState.MP_size, 0))) {
    // The tested pages must lie inside the module and its pattern buffer.
    Finish(deOperationError);
    return;
  }
  if (FEraseBlocks(0, 1)) {
    V.r = 1;
    V.s -= 1;
    FCurrentState = dwsTEST;
  } else {
    Finish(deEraseError);
  }
}

void TDeviceClass::StepTest() {
  const uint32_t ps = static_cast<uint32_t>(FDevState.MP_page_size);
  const uint32_t tested = V.N * ps;

  // A. Erasing, block by block while the module reports ready.
  TTestStages stage = test_stage.load();
  if (stage == tsFirstErase || stage == tsLastErase) {
    write_log("Тест - ожидание окончания стирания");
    FGetDeviceState();
    if (FDevState.MP_ready) {
      if (V.s > 0) {
        const int base = stage == tsLastErase ? 65 : 0;
        Progress(static_cast<int>(Nearest(int64_t{V.r} * 5, std::max(V.s0, 1))) + base);
        if (!FEraseBlocks(static_cast<uint32_t>(V.r), 1)) {
          Break();
          return;
        }
        V.r += 1;
        V.s -= 1;
      } else if (stage == tsFirstErase) {
        Progress(5);
        V.p = 0;
        if (!FSetWriteAddr(0)) {
          Break();
          return;
        }
        FTestPattern.assign(static_cast<size_t>(FDevState.MP_size), 0);
        test_stage = tsWrite;
      } else {
        V.p2 = 0;
        if (!FSetReadAddr(0)) {
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
    if (!FReadData(FPageBuf.data(), ps)) {
      write_log("Тест - ошибка чтения СМП");
      Break();
      return;
    }
    for (uint32_t i = 0; i < ps; ++i) {
      if (FPageBuf[i] != 0xFF) {
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
      FTestSeed ^= FTestSeed << 13;
      FTestSeed ^= FTestSeed >> 17;
      FTestSeed ^= FTestSeed << 5;
      const uint8_t v = static_cast<uint8_t>(FTestSeed % 255);
      FTestPattern[V.p + i] = v;
      FPageBuf[i] = v;
    }
    if (!FWriteData(FPageBuf.data(), ps)) {
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
    FGetDeviceState();
    Pause(5);
    if (FDevState.MP_ready) {
      V.p2 = 0;
      if (!FSetReadAddr(0)) {
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
    if (!FReadData(FPageBuf.data(), ps)) {
      Break();
      return;
    }
    for (uint32_t i = 0; i < ps; ++i) {
      if (FPageBuf[i] != FTestPattern[V.p2 + i]) {
        write_log("Тест - Чтение - ошибка неверные данные");
        write_log(std::to_string(V.p2 + i) + ":" + std::to_string(FPageBuf[i]) + "/" +
                  std::to_string(FTestPattern[V.p2 + i]));
        Finish(deOperationError);
        return;
      }
    }
    V.p2 += ps;
    Progress(static_cast<int>(uint64_t{V.p2} * 30 / tested + 35));
    if (V.p2 >= tested) {
      V.s = V.s0;
      V.r = 0;
      if (!FEraseBlocks(0, 1)) {
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
