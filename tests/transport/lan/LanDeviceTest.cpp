// The real device core over TLANDeviceClass against the controller simulator on loopback
// addresses, port 30000.

#include "transport/LANDeviceUnit.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <sstream>

#include "support/CatalogPrograms.h"
#include "support/LoopbackSimulator.h"
#include "transport/LanProtocol.h"
#include "transport/LanUnit.h"

namespace kalvort {
namespace {

using namespace std::chrono_literals;
using sim::ModuleMemory;
using sim::UrvellFaults;

constexpr int kSmall = 1;  // 512 pages of 264 bytes

struct Call {
  std::string event;
  TDeviceError error;
};

class Recorder {
 public:
  void add(const std::string &event, TDeviceError error) {
    std::lock_guard lock(mutex_);
    calls_.push_back({event, error});
    cv_.notify_all();
  }
  bool waitFor(size_t n, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, limit, [&] { return calls_.size() >= n; });
  }
  std::vector<Call> calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<Call> calls_;
};

using testing::PatternImage;

class LanDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KALVORT_LOOPBACK_ONLY", "1", 1);
    // A first thread makes sanitizer runtimes start their own helper thread: count after it.
    std::thread([] {}).join();
    threads_before_ = test::processThreadCount();
    smp = std::make_shared<ModuleMemory>(kSmall);
    wmp = std::make_shared<ModuleMemory>(3);
    sim = test::startLoopbackSimulator(smp, wmp);
    device = std::make_unique<TLANDeviceClass>(sim->Config().address, 30000);
    device->SetDevSubtype(dstSMP);
    auto rec = [this](const char *name) {
      return [this, name](TDeviceClass *, TDeviceError e) { recorder.add(name, e); };
    };
    device->OnGetCatalogComplete = rec("GetCatalog");
    device->OnGetFileComplete = rec("GetFile");
    device->OnBurnCatalogComplete = rec("BurnCatalog");
    device->OnBurnFileComplete = rec("BurnFile");
    device->OnEraseCatalogComplete = rec("EraseCatalog");
    device->OnEraseFullComplete = rec("EraseFull");
    device->OnTestComplete = rec("Test");
    device->OnCancelAction = rec("Cancel");
    device->OnReadImageAction = rec("ReadImage");
    device->OnBurnImageAction = rec("BurnImage");
  }

  void TearDown() override {
    device.reset();
    extra_sims.clear();
    sim.reset();
    EXPECT_EQ(test::processThreadCount(), threads_before_) << "a thread outlived its device";
  }

  // Moves the device to a fresh simulator over the same modules, with `faults`.
  void restartSimulator(const UrvellFaults &faults = {}) {
    device->DeviceClose();
    sim.reset();
    sim::UrvellConfig config;
    config.faults = faults;
    sim = test::startLoopbackSimulator(smp, wmp, config);
    device->SetIP_Port(sim->Config().address, 30000);
  }

  TDeviceState open() {
    EXPECT_TRUE(device->DeviceOpen());
    EXPECT_EQ(device->LastError(), deOK);
    const TDeviceState s = device->DeviceState();
    EXPECT_TRUE(s.MP_connected);
    return s;
  }

  // Starts one action and expects exactly one completion within its time-out (plus slack).
  Call run(const std::function<bool()> &start, TDevAction action, int index = 0) {
    const size_t before = recorder.calls().size();
    const auto timeout = device->ActionTimeout(action, index);
    const auto limit = std::chrono::milliseconds(timeout ? *timeout + 1500 : 60000);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(start());
    EXPECT_TRUE(recorder.waitFor(before + 1, limit)) << "no completion";
    EXPECT_LE(std::chrono::steady_clock::now() - t0, limit);
    std::this_thread::sleep_for(150ms);
    const auto calls = recorder.calls();
    EXPECT_EQ(calls.size(), before + 1) << "exactly one completion per request";
    if (calls.size() <= before) return {"none", deOK};
    return calls[before];
  }

  void waitIdle() {
    for (int i = 0; i < 500 && device->CurrentState() != dwsIDLE; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(device->CurrentState(), dwsIDLE);
  }

  void addProgram(uint16_t prog_num, std::vector<uint8_t> bytes) {
    TDevCatalogEntry e;
    e.cat_num = -1;
    e.prog_num = prog_num;
    e.prog_size = static_cast<uint32_t>(bytes.size());
    e.p_buffer = std::make_shared<ProgramImage>(std::move(bytes));
    e.file_bin_valid = true;
    ASSERT_TRUE(device->AddCatalogEntry(e));
  }

  std::shared_ptr<ModuleMemory> smp, wmp;
  std::unique_ptr<sim::UrvellSimulator> sim;
  std::vector<std::unique_ptr<sim::UrvellSimulator>> extra_sims;
  std::unique_ptr<TLANDeviceClass> device;
  Recorder recorder;

 private:
  int threads_before_ = 0;
};

TEST_F(LanDevice, OpensTakesAndReadsTheStatusOfEitherModule) {
  TDeviceState s = open();
  EXPECT_TRUE(s.connected);
  EXPECT_EQ(s.full_version, 0x210u);
  EXPECT_EQ(s.version, 0);
  EXPECT_TRUE(s.MP_ready);
  EXPECT_EQ(s.MP_type, mptNone);
  EXPECT_EQ(s.MP_page_size, 264);
  EXPECT_EQ(s.MP_page_all, 512);
  EXPECT_EQ(s.MP_size, 135168);
  EXPECT_EQ(device->GetFullVersion(), 0x210u);
  device->DeviceClose();

  device->SetDevSubtype(dstWMP);
  s = open();
  EXPECT_EQ(s.MP_type, mptMP500);
  EXPECT_EQ(s.MP_page_all, 2048);
  device->DeviceClose();

  device->SetDevSubtype(dstSMP);
  smp->Remove();
  ASSERT_TRUE(device->DeviceOpen());
  EXPECT_FALSE(device->DeviceState().MP_connected);
  EXPECT_FALSE(device->StartReadCatalog());
  EXPECT_EQ(device->LastError(), deSMPNotConnected);
  device->DeviceClose();
}

TEST_F(LanDevice, BusyWhileAnotherStationHoldsTheModuleAndRefusedAddresses) {
  test::OtherStation other(*sim);
  ASSERT_EQ(other.take(1, 1000), 1);
  ASSERT_TRUE(device->DeviceOpen());
  EXPECT_EQ(device->LastError(), deDeviceBusy);
  device->DeviceClose();
  device->SetDevSubtype(dstWMP);
  open();  // the built-in module is free
  device->DeviceClose();
  ASSERT_EQ(other.take(0, 0), 1);
  device->SetDevSubtype(dstSMP);
  open();
  device->DeviceClose();

  // Nobody answers on that port: one stop exchange fails and the socket is closed again.
  device->SetIP_Port(sim->Config().address, 30001);
  EXPECT_FALSE(device->DeviceOpen());
  EXPECT_EQ(device->LastError(), deNotConnected);
  EXPECT_FALSE(device->SocketOpen());
  // Outside 127.0.0.0/8 nothing is even sent while KALVORT_LOOPBACK_ONLY is set.
  const auto t0 = std::chrono::steady_clock::now();
  device->SetIP_Port("192.168.0.10", 30000);
  EXPECT_FALSE(device->DeviceOpen());
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 100ms);
}

TEST_F(LanDevice, SeveralSimulatorsOnTheirOwnAddresses) {
  const int kinds[] = {1, 3, 5};
  std::vector<std::string> addresses;
  for (int kind : kinds) {
    extra_sims.push_back(test::startLoopbackSimulator(std::make_shared<ModuleMemory>(kind)));
    addresses.push_back(extra_sims.back()->Config().address);
  }
  for (size_t i = 0; i < addresses.size(); ++i) {
    device->SetIP_Port(addresses[i], 30000);
    const TDeviceState s = open();
    EXPECT_EQ(s.MP_page_all, ModuleGeometryRow(kinds[i]).page_all) << addresses[i];
    device->DeviceClose();
  }
}

TEST_F(LanDevice, ProjectWrittenAndReadBackThenErased) {
  open();
  const size_t sizes[] = {10, 528, 1000, 3000};
  for (size_t i = 0; i < 4; ++i) addProgram(static_cast<uint16_t>(i + 1), PatternImage(sizes[i], i + 1));
  ASSERT_TRUE(device->PrepareCatalog(false, 0));
  std::vector<TDevCatalogEntry> written;
  for (int i = 0; i < 4; ++i) written.push_back(device->Catalog(i));

  EXPECT_EQ(run([&] { return device->StartBurnCatalog(); }, daBurnCat).error, deOK);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(run([&] { return device->StartBurnFile(i); }, daBurnProg, i).error, deOK);

  device->CatalogClear();
  const Call cat = run([&] { return device->StartReadCatalog(); }, daGetCat);
  EXPECT_EQ(cat.event, "GetCatalog");
  EXPECT_EQ(cat.error, deOK);
  ASSERT_EQ(device->CatalogCount(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(run([&] { return device->StartReadFile(i); }, daGetProg, i).error, deOK);
    const TDevCatalogEntry e = device->Catalog(i);
    EXPECT_EQ(e.prog_size, written[i].prog_size);
    EXPECT_EQ(e.control_sum, written[i].control_sum);
    ASSERT_TRUE(e.p_buffer);
    EXPECT_EQ(*e.p_buffer, *written[i].p_buffer);
  }

  // A byte that reads back wrong: the control sum catches it.
  smp->CorruptByte(written[2].first_page * 264u + 17, 0x00);
  EXPECT_EQ(run([&] { return device->StartReadFile(2); }, daGetProg, 2).error, deCSError);
  smp->ClearFaults();

  EXPECT_EQ(run([&] { return device->StartEraseCatalog(); }, daEraseCat).error, deOK);
  EXPECT_EQ(run([&] { return device->StartReadCatalog(); }, daGetCat).error, deOK);
  EXPECT_EQ(device->CatalogCount(), 0);
  device->DeviceClose();
}

TEST_F(LanDevice, QuickTestPassesOnAGoodModuleAndFailsOnABadByte) {
  open();
  const Call good = run([&] { return device->StartQuickTest(); }, daQuickTest);
  EXPECT_EQ(good.event, "Test");
  EXPECT_EQ(good.error, deOK);
  smp->CorruptByte(7 * 264 + 3, 0xFF);
  EXPECT_EQ(run([&] { return device->StartQuickTest(); }, daQuickTest).error, deOperationError);
  device->DeviceClose();
}

TEST_F(LanDevice, ImageWrittenAndReadBack) {
  open();
  const auto image = PatternImage(1000, 99);
  std::stringstream in(std::string(image.begin(), image.end()));
  device->SetImageStream(&in);
  EXPECT_EQ(run([&] { return device->StartBurnImage(); }, daBurnImage).error, deOK);
  const auto bytes = smp->Contents();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), bytes.begin()));
  EXPECT_EQ(std::count(bytes.begin() + 1000, bytes.end(), 0xFF), 135168 - 1000);

  ASSERT_TRUE(smp->SetContents(PatternImage(135168, 5)));
  std::stringstream out;
  device->SetImageStream(&out);
  EXPECT_EQ(run([&] { return device->StartReadImage(); }, daReadImage).error, deOK);
  const std::string got = out.str();
  EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), smp->Contents());
  device->SetImageStream(nullptr);
  device->DeviceClose();
}

TEST_F(LanDevice, PagesOf1056BytesAreReadInTwoRequests) {
  smp->Insert(7);
  const TDeviceState s = open();
  ASSERT_EQ(s.MP_page_size, 1056);
  const auto page = PatternImage(1056 * 2, 3);
  std::vector<uint8_t> contents(1056 * 5, 0xFF);
  std::copy(page.begin(), page.end(), contents.begin() + 1056 * 3);
  ASSERT_TRUE(smp->SetContents(contents));

  std::vector<uint8_t> buf(1056 * 2);
  ASSERT_TRUE(device->LinkSetReadAddr(1056 * 3));
  uint64_t before = sim->Requests();
  ASSERT_TRUE(device->LinkReadData(buf.data(), 1056));
  EXPECT_EQ(sim->Requests() - before, 2u);
  before = sim->Requests();
  ASSERT_TRUE(device->LinkReadData(buf.data() + 1056, 1056));
  EXPECT_EQ(sim->Requests() - before, 2u);
  EXPECT_EQ(buf, page);
  before = sim->Requests();
  ASSERT_TRUE(device->LinkReadData(buf.data(), 1052));
  ASSERT_TRUE(device->LinkReadData(buf.data(), 0));
  EXPECT_EQ(sim->Requests() - before, 1u) << "1052 bytes: one request; 0 bytes: none";
  device->DeviceClose();
}

TEST_F(LanDevice, RepeatedReadsPutTheControllerBackWhereTheLostReplyStarted) {
  open();
  const auto contents = PatternImage(135168, 77);
  ASSERT_TRUE(smp->SetContents(contents));
  UrvellFaults lose;
  lose.lose_data_percent = 30;
  lose.seed = 4;
  sim->SetFaults(lose);
  std::vector<uint8_t> buf(1024 * 8);
  for (uint32_t chunk = 0; chunk < 8; ++chunk) {
    bool ok = false;
    for (int attempt = 0; attempt < 5 && !ok; ++attempt) {
      // A chunk that failed outright starts again from its own address.
      if (attempt > 0 || chunk == 0) {
        ASSERT_TRUE(device->LinkSetReadAddr(chunk * 1024));
      }
      ok = device->LinkReadData(buf.data() + chunk * 1024, 1024);
    }
    ASSERT_TRUE(ok) << "chunk " << chunk;
  }
  EXPECT_TRUE(std::equal(buf.begin(), buf.end(), contents.begin()));
  sim->SetFaults({});
  device->DeviceClose();
}

// Under each injected fault an action ends with exactly one completion and the expected error
// within its time-out.
TEST_F(LanDevice, EveryFaultEndsTheActionOnceWithTheRightError) {
  auto f = [](auto set) {
    UrvellFaults x;
    set(x);
    return x;
  };
  struct Case {
    const char *what;
    UrvellFaults faults;
    TDevAction action;
    TDeviceError expected;
  };
  const Case cases[] = {
      {"refused", f([](auto &x) { x.refuse_percent = 100; }), daGetCat, deOperationError},
      {"requests dropped", f([](auto &x) { x.drop_percent = 100; }), daReadImage, deOperationError},
      {"stops answering mid-image", f([](auto &x) { x.stop_after = 40; }), daReadImage, deOperationError},
      {"module pulled mid-image", f([](auto &x) { x.pull_after = 40; }), daReadImage, deOperationError},
      {"module pulled while erasing", f([](auto &x) { x.pull_after = 8; }), daBurnCat, deOperationError},
      {"short datagrams", f([](auto &x) { x.short_percent = 100; }), daEraseCat, deOperationError},
      {"corrupt sizes", f([](auto &x) { x.corrupt_percent = 100; }), daQuickTest, deEraseError},
      {"replies too late", f([](auto &x) { x.delay_ms = 300; }), daGetCat, deOperationError},
      {"data replies lost", f([](auto &x) { x.lose_data_percent = 100; }), daReadImage, deOperationError},
      {"stale, duplicated, wrong checksums",
       f([](auto &x) { x.stale = x.duplicate = x.bad_crc = true; }), daReadImage, deOK},
      {"slow replies: time-out", f([](auto &x) { x.delay_ms = 200; }), daGetProg, deOperationTimeout},
  };
  std::stringstream image;
  device->SetImageStream(&image);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    smp->Insert(kSmall);
    ASSERT_TRUE(smp->SetContents(PatternImage(135168, 11)));
    restartSimulator();
    open();
    device->CatalogClear();
    // Read-file target: the 100 bytes the module holds on page 100.
    const auto held = smp->Contents();
    addProgram(1, std::vector<uint8_t>(held.begin() + 100 * 264, held.begin() + 100 * 264 + 100));
    ASSERT_TRUE(device->PrepareCatalog(false, 0));
    image.str("");
    sim->SetFaults(c.faults);
    std::function<bool()> start;
    switch (c.action) {
      case daGetCat: start = [&] { return device->StartReadCatalog(); }; break;
      case daReadImage: start = [&] { return device->StartReadImage(); }; break;
      case daBurnCat: start = [&] { return device->StartBurnCatalog(); }; break;
      case daEraseCat: start = [&] { return device->StartEraseCatalog(); }; break;
      case daQuickTest: start = [&] { return device->StartQuickTest(); }; break;
      case daGetProg: start = [&] { return device->StartReadFile(0); }; break;
      default: FAIL();
    }
    EXPECT_EQ(run(start, c.action).error, c.expected);
    if (c.expected == deOK && c.action == daReadImage) {
      const std::string got = image.str();
      EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), smp->Contents());
    }
    sim->SetFaults({});
    waitIdle();
    if (c.expected == deOperationTimeout) {
      // The abandoned action is over; the next one works (on a controller without a backlog of
      // slow replies: that one would fail the next open's 250 ms stop exchange).
      restartSimulator();
      open();
      const Call again = run([&] { return device->StartReadFile(0); }, daGetProg);
      EXPECT_EQ(again.error, deOK);
    }
  }
  device->SetImageStream(nullptr);
}

// Every action against a controller that refuses everything after the open, and against a module
// pulled out a few requests into the action: one completion each, with the action's error.
TEST_F(LanDevice, EveryActionUnderARefusingControllerAndAPulledModule) {
  struct Action {
    const char *name;
    TDevAction action;
    std::function<bool()> start;
    TDeviceError refused;  // the first erase of a test or image write reports deEraseError
  };
  const Action actions[] = {
      {"read catalog", daGetCat, [&] { return device->StartReadCatalog(); }, deOperationError},
      {"read file", daGetProg, [&] { return device->StartReadFile(0); }, deOperationError},
      {"write catalog", daBurnCat, [&] { return device->StartBurnCatalog(); }, deOperationError},
      {"write file", daBurnProg, [&] { return device->StartBurnFile(0); }, deOperationError},
      {"erase catalog", daEraseCat, [&] { return device->StartEraseCatalog(); }, deOperationError},
      {"erase all", daEraseFull, [&] { return device->StartEraseAll(); }, deOperationError},
      {"quick test", daQuickTest, [&] { return device->StartQuickTest(); }, deEraseError},
      {"full test", daFullTest, [&] { return device->StartFullTest(); }, deEraseError},
      {"read image", daReadImage, [&] { return device->StartReadImage(); }, deOperationError},
      {"write image", daBurnImage, [&] { return device->StartBurnImage(); }, deEraseError},
  };
  std::stringstream image(std::string(135168, '\x5A'));
  device->SetImageStream(&image);
  for (const bool pull : {false, true}) {
    for (const Action &a : actions) {
      SCOPED_TRACE(std::string(a.name) + (pull ? ", module pulled" : ", refused"));
      smp->Insert(kSmall);
      restartSimulator();
      open();
      device->CatalogClear();
      addProgram(1, PatternImage(3000, 1));  // 12 pages, 3 read chunks
      ASSERT_TRUE(device->PrepareCatalog(false, 0));
      image.clear();
      image.seekg(0);
      image.seekp(0);
      UrvellFaults faults;
      if (pull)
        faults.pull_after = 3;
      else
        faults.refuse_percent = 100;
      sim->SetFaults(faults);
      const Call call = run(a.start, a.action);
      EXPECT_EQ(call.error, pull ? deOperationError : a.refused);
      sim->SetFaults({});
      waitIdle();
    }
  }
  device->SetImageStream(nullptr);
}

TEST_F(LanDevice, CancelEndsAnImageReadWithOneCancelEvent) {
  open();
  std::stringstream image;
  device->SetImageStream(&image);
  const size_t before = recorder.calls().size();
  ASSERT_TRUE(device->StartReadImage());
  std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(device->CancelAction());
  ASSERT_TRUE(recorder.waitFor(before + 1, 5000ms));
  std::this_thread::sleep_for(150ms);
  const auto calls = recorder.calls();
  ASSERT_EQ(calls.size(), before + 1);
  EXPECT_EQ(calls.back().event, "Cancel");
  waitIdle();
  EXPECT_LT(image.str().size(), 135168u);
  device->SetImageStream(nullptr);
  // The device goes on working.
  EXPECT_EQ(run([&] { return device->StartReadCatalog(); }, daGetCat).error, deOK);
  device->DeviceClose();
}

}  // namespace
}  // namespace kalvort
