// Device worker timing over the in-memory module (mptMP500: 2048 pages of 264 bytes).
//  (a) CPU time of an idle device object with a module present, over 10 s (goal: < 1% of a core);
//  (b) wall time of catalog read, project write and image read divided by the sum of the pauses
//      the actions prescribe (goal: <= 1.15).
// Usage: bench_device_worker [idle-seconds]

#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "sim/MemoryDevice.h"
#include "module/ModuleMemory.h"

using namespace kalvort;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kMP500Index = 3;

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

class Waiter {
 public:
  void Done(TDeviceError e) {
    std::lock_guard<std::mutex> g(lock_);
    ++count_;
    last_ = e;
    wake_.notify_all();
  }
  TDeviceError Wait(int count) {
    std::unique_lock<std::mutex> l(lock_);
    wake_.wait(l, [&] { return count_ >= count; });
    return last_;
  }

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  int count_ = 0;
  TDeviceError last_ = deOK;
};

struct Figure {
  double wall_ms;
  double pause_ms;
  bool ok;
};

// Runs `body` (which starts actions and waits for them) and relates its wall time to the pauses.
Figure Measure(sim::TMemoryDevice &device, const std::function<bool()> &body) {
  const uint64_t pauses = device.PrescribedPauseMs();
  const auto start = Clock::now();
  const bool ok = body();
  const double wall = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  return {wall, static_cast<double>(device.PrescribedPauseMs() - pauses), ok};
}

void Report(const char *what, const Figure &f) {
  std::printf("%-16s wall %8.1f ms  pauses %8.1f ms  ratio %.3f  %s\n", what, f.wall_ms, f.pause_ms,
              f.pause_ms > 0 ? f.wall_ms / f.pause_ms : 0.0, f.ok ? "ok" : "FAILED");
}

}  // namespace

int main(int argc, char **argv) {
  const double idle_seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  auto module = std::make_shared<sim::ModuleMemory>(kMP500Index);
  sim::TMemoryDevice device(module);
  if (!device.DeviceOpen() || !device.DeviceState().MP_connected) {
    std::fprintf(stderr, "no module\n");
    return 1;
  }
  std::printf("module: %d pages of %d bytes (%d bytes)\n", device.DeviceState().MP_page_all,
              device.DeviceState().MP_page_size, device.DeviceState().MP_size);

  // (a) Idle: the object exists, a module is present, no action runs.
  {
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(idle_seconds));
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("idle             cpu %.4f s over %.1f s = %.4f%% of one core\n", cpu, wall, 100.0 * cpu / wall);
  }

  Waiter waiter;
  int expected = 0;
  auto done = [&](TDeviceClass *, TDeviceError e) { waiter.Done(e); };
  device.OnGetCatalogComplete = done;
  device.OnBurnCatalogComplete = done;
  device.OnBurnFileComplete = done;
  device.OnReadImageAction = done;

  // (b) Project write: 20 programs of 4408 bytes, catalog first, then each program.
  for (int i = 0; i < 20; ++i) {
    TDevCatalogEntry e;
    e.cat_num = -1;
    e.prog_num = static_cast<uint16_t>(i + 1);
    e.prog_size = 4408;
    e.p_buffer = std::make_shared<ProgramImage>(4408, static_cast<uint8_t>(i));
    e.file_bin_valid = true;
    StringToCatalogEntry(u"Программа " + std::u16string(1, static_cast<char16_t>(u'A' + i)), e);
    device.AddCatalogEntry(e);
  }
  device.PrepareCatalog(false, 0);
  const Figure write = Measure(device, [&] {
    bool ok = device.StartBurnCatalog() && waiter.Wait(++expected) == deOK;
    for (int i = 0; ok && i < device.CatalogCount(); ++i)
      ok = device.StartBurnFile(i) && waiter.Wait(++expected) == deOK;
    return ok;
  });

  const Figure catalog = Measure(device, [&] {
    device.CatalogClear();
    return device.StartReadCatalog() && waiter.Wait(++expected) == deOK && device.CatalogCount() == 20;
  });

  std::stringstream image(std::ios::in | std::ios::out | std::ios::binary);
  device.SetImageStream(&image);
  const Figure read_image = Measure(device, [&] {
    return device.StartReadImage() && waiter.Wait(++expected) == deOK && image.str().size() == 540672u;
  });
  device.SetImageStream(nullptr);

  Report("catalog read", catalog);
  Report("project write", write);
  Report("image read", read_image);
  return catalog.ok && write.ok && read_image.ok ? 0 : 1;
}
