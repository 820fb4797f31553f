#pragma once
// Fixture for device tests: a TMemoryDevice over a small module model, every completion event
// recorded with its name, the thread it ran on and its error.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/MemoryDevice.h"
#include "module/ModuleMemory.h"

namespace kalvort::testing {

struct CompletionCall {
  std::string event;
  TDeviceError error;
  std::thread::id thread;
};

class CompletionRecorder {
 public:
  void Record(const std::string &event, TDeviceError error) {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back({event, error, std::this_thread::get_id()});
    wake_.notify_all();
  }
  // Waits until at least `count` completions arrived; false on time-out.
  bool WaitFor(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    std::unique_lock<std::mutex> lock(lock_);
    return wake_.wait_for(lock, limit, [&] { return calls_.size() >= count; });
  }
  std::vector<CompletionCall> Calls() {
    std::lock_guard<std::mutex> guard(lock_);
    return calls_;
  }
  size_t Count() {
    std::lock_guard<std::mutex> guard(lock_);
    return calls_.size();
  }

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  std::vector<CompletionCall> calls_;
};

// Density index 1: 512 pages of 264 bytes. The status index 3 is an mptMP500 (2048 pages).
inline constexpr int kSmallModule = 1;

class DeviceFixture : public ::testing::Test {
 protected:
  void SetUp() override { MakeDevice(kSmallModule); }

  void MakeDevice(int density_index) {
    device.reset();
    module = std::make_shared<sim::ModuleMemory>(density_index);
    device = std::make_unique<sim::TMemoryDevice>(module);
    Hook(*device);
    ASSERT_TRUE(device->DeviceOpen());
    const TDeviceState state = device->DeviceState();
    ASSERT_TRUE(state.MP_connected);
  }

  void Hook(TDeviceClass &d) {
    auto rec = [this](const char *name) {
      return [this, name](TDeviceClass *, TDeviceError e) { recorder.Record(name, e); };
    };
    d.OnGetCatalogComplete = rec("GetCatalog");
    d.OnGetFileComplete = rec("GetFile");
    d.OnBurnCatalogComplete = rec("BurnCatalog");
    d.OnBurnFileComplete = rec("BurnFile");
    d.OnEraseCatalogComplete = rec("EraseCatalog");
    d.OnEraseFullComplete = rec("EraseFull");
    d.OnTestComplete = rec("Test");
    d.OnCancelAction = rec("Cancel");
    d.OnReadImageAction = rec("ReadImage");
    d.OnBurnImageAction = rec("BurnImage");
  }

  // Starts one action and waits for its single completion; returns the completion.
  CompletionCall Run(const std::function<bool()> &start) {
    const size_t before = recorder.Count();
    EXPECT_TRUE(start());
    EXPECT_TRUE(recorder.WaitFor(before + 1));
    auto calls = recorder.Calls();
    if (calls.size() <= before) return {"none", deOK, {}};
    return calls[before];
  }

  std::shared_ptr<sim::ModuleMemory> module;
  std::unique_ptr<sim::TMemoryDevice> device;
  CompletionRecorder recorder;
};

}  // namespace kalvort::testing

namespace kalvort::testing {

// An entry with `size` bytes of a seeded pattern, a name and a program number; cat_num -1 lets
// the catalog choose.
inline TDevCatalogEntry MakeProgram(const std::u16string &name, uint16_t prog_num, uint32_t size, uint32_t seed,
                                    int32_t cat_num = -1) {
  TDevCatalogEntry e;
  e.cat_num = cat_num;
  e.prog_num = prog_num;
  e.prog_size = size;
  auto bin = std::make_shared<ProgramImage>(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto &b : *bin) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  e.p_buffer = bin;
  e.file_bin_valid = true;
  StringToCatalogEntry(name, e);
  return e;
}

inline uint32_t Sum(const ProgramImage &bytes) {
  uint32_t s = 0;
  for (uint8_t b : bytes) s += b;
  return s;
}

}  // namespace kalvort::testing
