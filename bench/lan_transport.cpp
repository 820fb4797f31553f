// Network transport timing against the controller simulator on a loopback address.
//  (a) round trip of one command exchange (version request and reply) over loopback UDP;
//  (b) wall time of an mptMP500 image read through the device core divided by the pauses the
//      action prescribes (worker pauses plus the transport's pauses before its commands;
//      goal: <= 1.2).
// Usage: bench_lan_transport [exchanges]

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "sim/UrvellSimulator.h"
#include "transport/LANDeviceUnit.h"
#include "transport/LanProtocol.h"
#include "transport/LanUnit.h"

using namespace kalvort;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kMP500Index = 3;

std::unique_ptr<sim::UrvellSimulator> startSimulator(std::shared_ptr<sim::ModuleMemory> smp) {
  for (int n = 2; n < 250; ++n) {
    sim::UrvellConfig c;
    c.address = "127.0.77." + std::to_string(n);
    auto s = std::make_unique<sim::UrvellSimulator>(c, smp, nullptr);
    if (s->Start()) return s;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char **argv) {
  setenv("KALVORT_LOOPBACK_ONLY", "1", 1);
  const int exchanges = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
  auto smp = std::make_shared<sim::ModuleMemory>(kMP500Index);
  auto sim = startSimulator(smp);
  if (!sim) {
    std::fprintf(stderr, "no free loopback address\n");
    return 1;
  }
  const std::string address = sim->Config().address;

  // (a) Round trips.
  {
    TLanSocket lan;
    if (!lan.open_lan(address, 30000)) return 1;
    std::vector<double> us;
    us.reserve(static_cast<size_t>(exchanges));
    uint8_t reply[4];
    for (int i = 0; i < exchanges; ++i) {
      const auto t0 = Clock::now();
      if (!comm_cmd(lan, ctGetVersion, nullptr, 0, reply, 4, 250)) {
        std::fprintf(stderr, "exchange failed\n");
        return 1;
      }
      us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    lan.close_lan();
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us) sum += v;
    std::printf("round trip       %d exchanges: median %.1f us, mean %.1f us, p99 %.1f us\n",
                exchanges, us[us.size() / 2], sum / static_cast<double>(us.size()),
                us[us.size() * 99 / 100]);
  }

  // (b) Image read of an mptMP500 module through the real worker.
  TLANDeviceClass device(address, 30000);
  device.SetDevSubtype(dstSMP);
  if (!device.DeviceOpen() || !device.DeviceState().MP_connected) {
    std::fprintf(stderr, "no module\n");
    return 1;
  }
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  TDeviceError result = deOK;
  device.OnReadImageAction = [&](TDeviceClass *, TDeviceError e) {
    std::lock_guard lock(m);
    done = true;
    result = e;
    cv.notify_all();
  };
  std::stringstream image(std::ios::in | std::ios::out | std::ios::binary);
  device.SetImageStream(&image);
  const uint64_t core0 = device.PrescribedPauseMs(), transport0 = device.TransportPauseMs();
  const auto t0 = Clock::now();
  if (!device.StartReadImage()) return 1;
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return done; });
  }
  const double wall = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  const double pauses = static_cast<double>(device.PrescribedPauseMs() - core0 +
                                            device.TransportPauseMs() - transport0);
  const bool ok = result == deOK && image.str().size() == 540672u;
  std::printf("image read       wall %.1f ms  pauses %.1f ms  ratio %.3f  %s\n", wall, pauses,
              pauses > 0 ? wall / pauses : 0.0, ok ? "ok" : "FAILED");
  device.SetImageStream(nullptr);
  device.DeviceClose();
  return ok ? 0 : 1;
}
