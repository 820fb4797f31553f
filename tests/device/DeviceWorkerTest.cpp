// Requests, time-outs, cancellation, completion and destruction of the device worker, run
// against the in-memory module.

#include <atomic>
#include <thread>

#include "DeviceTestSupport.h"

namespace kalvort::testing {
namespace {

using namespace std::chrono_literals;

TEST_F(DeviceFixture, BlankModuleReadsAsEmptyCatalog) {
  const CompletionCall call = Run([&] { return device->StartReadCatalog(); });
  EXPECT_EQ(call.event, "GetCatalog");
  EXPECT_EQ(call.error, deOK);
  EXPECT_NE(call.thread, std::this_thread::get_id());
  EXPECT_EQ(device->CatalogCount(), 0);
  EXPECT_EQ(device->ProgressPosition(), 100);
  EXPECT_EQ(device->CurrentState(), dwsIDLE);
  EXPECT_EQ(device->TestStage(), tsNone);
}

TEST_F(DeviceFixture, RefusedRequestsPostNothing) {
  TDevCatalogEntry e = MakeProgram(u"P", 1, 10, 1);
  ASSERT_TRUE(device->AddCatalogEntry(e));

  // Index outside the catalog.
  EXPECT_FALSE(device->StartReadFile(1));
  EXPECT_EQ(device->LastError(), deWrongFileNum);
  EXPECT_FALSE(device->StartBurnFile(-1));
  EXPECT_EQ(device->LastError(), deWrongFileNum);

  // Programmer gone: the channel is closed although the module was seen before.
  device->SetProgrammerPresent(false);
  EXPECT_FALSE(device->DeviceOpen());
  EXPECT_EQ(device->LastError(), deNotConnected);
  EXPECT_FALSE(device->StartReadCatalog());
  EXPECT_EQ(device->LastError(), deNotConnected);

  // Programmer back, module pulled.
  device->SetProgrammerPresent(true);
  module->Remove();
  ASSERT_TRUE(device->DeviceOpen());
  EXPECT_FALSE(device->DeviceState().MP_connected);
  EXPECT_FALSE(device->StartEraseAll());
  EXPECT_EQ(device->LastError(), deSMPNotConnected);

  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(recorder.Count(), 0u);
}

TEST_F(DeviceFixture, OpenReportsDeviceHeldByAnotherClient) {
  device->SetHeldByOther(true);
  EXPECT_TRUE(device->DeviceOpen());
  EXPECT_EQ(device->LastError(), deDeviceBusy);
  device->DeviceClose();
  EXPECT_EQ(device->LastError(), deOK);
}

// The window polls the device's state on another thread while the user edits the catalog: the
// total of the valid binaries must reach the poll without a race (ThreadSanitizer checks this).
TEST_F(DeviceFixture, StatePollRunsBesideCatalogChanges) {
  std::atomic<bool> stop{false};
  std::thread poll([&] {
    while (!stop) {
      const TDeviceState s = device->DeviceState();
      EXPECT_GE(s.MP_all, 0);
    }
  });
  for (int i = 0; i < 20; ++i) {
    TDevCatalogEntry e = MakeProgram(u"P", static_cast<uint16_t>(i + 1), 100, i);
    ASSERT_TRUE(device->AddCatalogEntry(e));
    device->CalculateMPStat();
  }
  stop = true;
  poll.join();
  EXPECT_EQ(device->DeviceState().MP_all, 2000);
}

TEST(DeviceTimeout, NearestRoundsHalfToEven) {
  struct Case {
    int64_t num, den, want;
  } cases[] = {{5, 2, 2}, {7, 2, 4}, {2560, 1024, 2}, {3584, 1024, 4}, {4408, 1024, 4}, {10, 264, 0}, {0, 7, 0}};
  for (const Case &c : cases) EXPECT_EQ(Nearest(c.num, c.den), c.want) << c.num << "/" << c.den;
}

TEST_F(DeviceFixture, TimeoutsFollowTheirFormulas) {
  // 512 pages of 264 bytes, 135168 bytes, 100 catalog slots.
  TDevCatalogEntry e = MakeProgram(u"P", 1, 4408, 1);
  ASSERT_TRUE(device->AddCatalogEntry(e));
  struct Case {
    TDevAction action;
    int factor;
    std::optional<int64_t> want;
  } cases[] = {
      {daGetCat, 1, 6500},     {daGetCat, 3, 19500},   {daGetProg, 1, 575},       {daGetProg, 2, 1150},
      {daBurnCat, 1, 5120},    {daBurnProg, 1, 740},   {daEraseCat, 2, 4000},     {daEraseFull, 1, 10240},
      {daQuickTest, 5, 100000}, {daFullTest, 5, 512000}, {daReadImage, 1, 5055}, {daBurnImage, 1, std::nullopt},
  };
  for (const Case &c : cases) {
    device->SetTimeoutFactor(c.factor);
    EXPECT_EQ(device->ActionTimeout(c.action, 0), c.want) << "action " << c.action << " factor " << c.factor;
  }
}

TEST_F(DeviceFixture, EmptyProgramWriteCompletesAtOnceWithoutTransfer) {
  TDevCatalogEntry e = MakeProgram(u"P", 1, 0, 1);
  e.p_buffer.reset();
  ASSERT_TRUE(device->AddCatalogEntry(e));
  const uint64_t generation = module->Generation();
  const CompletionCall call = Run([&] { return device->StartBurnFile(0); });
  EXPECT_EQ(call.event, "BurnFile");
  EXPECT_EQ(call.error, deOK);
  EXPECT_EQ(module->Generation(), generation);
  EXPECT_EQ(module->OperationCount(sim::ModuleOp::SetWriteAddress), 0u);
}

TEST_F(DeviceFixture, CancelWhileIdleChangesNothing) {
  EXPECT_TRUE(device->CancelAction());
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(recorder.Count(), 0u);
  EXPECT_EQ(Run([&] { return device->StartReadCatalog(); }).event, "GetCatalog");
}

TEST_F(DeviceFixture, CancelGivesExactlyOneCancelEvent) {
  std::atomic<int> progress_calls{0};
  device->SetProgressBar([&](int) { ++progress_calls; });
  ASSERT_TRUE(device->StartEraseAll());
  while (progress_calls.load() < 5) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(device->CancelAction());
  ASSERT_TRUE(recorder.WaitFor(1));
  std::this_thread::sleep_for(150ms);  // no late completion of the erase itself
  const auto calls = recorder.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].event, "Cancel");
  EXPECT_EQ(calls[0].error, deOK);
  EXPECT_LT(module->OperationCount(sim::ModuleOp::Erase), 64u);
  EXPECT_EQ(device->CurrentState(), dwsIDLE);

  // The device works normally afterwards and the cancel does not stick.
  const CompletionCall next = Run([&] { return device->StartReadCatalog(); });
  EXPECT_EQ(next.event, "GetCatalog");
  EXPECT_EQ(next.error, deOK);
}

TEST_F(DeviceFixture, TimeoutEndsActionAndLaterActionWorks) {
  // Ten slots: the catalog erase may take 10*20 ms = 200 ms, but every erase block keeps the
  // module busy for 400 ms.
  device->SetMaxProgNum(10);
  module->SetBusyTimes(400ms, 0us);
  const auto start = std::chrono::steady_clock::now();
  const CompletionCall call = Run([&] { return device->StartEraseCatalog(); });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(call.event, "EraseCatalog");
  EXPECT_EQ(call.error, deOperationTimeout);
  // The time-out fires at 200 ms; the callback follows once the worker has come out of the
  // erase call it was in (at 400 ms) and dropped the action.
  EXPECT_GE(elapsed, 190ms);
  EXPECT_LT(elapsed, 1500ms);
  EXPECT_EQ(device->CurrentState(), dwsIDLE);

  // Started right from the time-out; the abandoned erase does not come back.
  module->SetBusyTimes(0us, 0us);
  const CompletionCall next = Run([&] { return device->StartReadCatalog(); });
  EXPECT_EQ(next.event, "GetCatalog");
  EXPECT_EQ(next.error, deOK);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(recorder.Count(), 2u);
}

TEST_F(DeviceFixture, ModuleLostMidActionEndsWithOperationError) {
  struct Case {
    const char *what;
    std::function<void()> lose;
  } cases[] = {
      {"module pulled", [&] { module->RemoveAfterOperations(20); }},
      {"programmer unplugged", [&] {
         std::this_thread::sleep_for(30ms);
         device->on_usb_detect_(nullptr, doRemove);
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = recorder.Count();
    ASSERT_TRUE(device->StartReadCatalog());
    c.lose();
    ASSERT_TRUE(recorder.WaitFor(before + 1));
    const CompletionCall call = recorder.Calls()[before];
    EXPECT_EQ(call.event, "GetCatalog");
    EXPECT_EQ(call.error, deOperationError);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(recorder.Count(), before + 1);
    EXPECT_FALSE(device->StartReadCatalog());

    // Plugged back: the next open and status read bring the device back.
    module->ClearFaults();
    if (!module->Present()) module->Insert(kSmallModule);
    ASSERT_TRUE(device->DeviceOpen());
    ASSERT_TRUE(device->DeviceState().MP_connected);
    EXPECT_EQ(Run([&] { return device->StartReadCatalog(); }).error, deOK);
  }
}

TEST_F(DeviceFixture, DestroyingDuringActionRunsNoCallback) {
  ASSERT_TRUE(device->StartEraseAll());
  std::this_thread::sleep_for(40ms);
  const auto start = std::chrono::steady_clock::now();
  device.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(recorder.Count(), 0u);
}

TEST_F(DeviceFixture, CompletionMayDestroyTheDevice) {
  device->OnGetCatalogComplete = [this](TDeviceClass *, TDeviceError e) {
    device.reset();
    recorder.Record("destroyed", e);
  };
  ASSERT_TRUE(device->StartReadCatalog());
  ASSERT_TRUE(recorder.WaitFor(1));
  EXPECT_EQ(recorder.Calls()[0].event, "destroyed");
}

TEST_F(DeviceFixture, CompletionMayStartTheNextAction) {
  // A chain as the main window runs it: every completion starts the next request.
  std::vector<uint32_t> sizes = {10, 264, 700};
  for (uint32_t i = 0; i < sizes.size(); ++i) {
    TDevCatalogEntry e = MakeProgram(u"P" + std::u16string(1, static_cast<char16_t>(u'0' + i)), 0, sizes[i], i);
    ASSERT_TRUE(device->AddCatalogEntry(e));
  }
  ASSERT_TRUE(device->PrepareCatalog(false, 0));
  std::atomic<int> next{0};
  device->OnBurnCatalogComplete = [&](TDeviceClass *d, TDeviceError e) {
    recorder.Record("BurnCatalog", e);
    d->StartBurnFile(next++);
  };
  device->OnBurnFileComplete = [&](TDeviceClass *d, TDeviceError e) {
    recorder.Record("BurnFile", e);
    if (next < d->CatalogCount()) d->StartBurnFile(next++);
  };
  ASSERT_TRUE(device->StartBurnCatalog());
  ASSERT_TRUE(recorder.WaitFor(4));
  std::this_thread::sleep_for(30ms);
  const auto calls = recorder.Calls();
  ASSERT_EQ(calls.size(), 4u);
  for (const auto &c : calls) EXPECT_EQ(c.error, deOK) << c.event;
}

}  // namespace
}  // namespace kalvort::testing

namespace kalvort::testing {
namespace {

TEST(DeviceHotPlug, InsertReadsStateAndRemoveDropsIt) {
  auto module = std::make_shared<sim::ModuleMemory>(kSmallModule);
  sim::TMemoryDevice device(module);
  EXPECT_FALSE(device.StartReadCatalog());
  EXPECT_EQ(device.LastError(), deNotConnected);

  device.on_usb_detect_(nullptr, doInsert);  // opens, reads the status, closes
  const TDeviceState state = device.DeviceState();
  EXPECT_TRUE(state.connected);
  EXPECT_TRUE(state.MP_connected);
  EXPECT_EQ(state.MP_page_all, 512);
  EXPECT_EQ(device.LastError(), deOK);

  device.on_usb_detect_(nullptr, doRemove);
  EXPECT_FALSE(device.StartReadCatalog());
  EXPECT_EQ(device.LastError(), deNotConnected);
}

}  // namespace
}  // namespace kalvort::testing

namespace kalvort::testing {
namespace {

TEST_F(DeviceFixture, TransportFailuresGiveTheirErrorCodes) {
  // A failure in an opening step finishes the action with its code and leaves the device usable;
  // a failure later in the action counts as a lost device until the next open.
  struct Case {
    const char *what;
    sim::ModuleOp op;
    int after;
    std::function<bool()> start;
    TDeviceError want;
    bool device_lost;
  } cases[] = {
      {"first erase of an image write", sim::ModuleOp::Erase, 0, [&] { return device->StartBurnImage(); }, deEraseError, false},
      {"first erase of a test", sim::ModuleOp::Erase, 0, [&] { return device->StartQuickTest(); }, deEraseError, false},
      {"first erase of a module erase", sim::ModuleOp::Erase, 0, [&] { return device->StartEraseAll(); }, deOperationError, false},
      {"first erase of a catalog write", sim::ModuleOp::Erase, 0, [&] { return device->StartBurnCatalog(); }, deOperationError, false},
      {"catalog read address", sim::ModuleOp::SetReadAddress, 0, [&] { return device->StartReadCatalog(); }, deOperationError, false},
      {"first image chunk", sim::ModuleOp::Read, 0, [&] { return device->StartReadImage(); }, deOperationError, false},
      {"later catalog slot address", sim::ModuleOp::SetReadAddress, 3, [&] { return device->StartReadCatalog(); }, deOperationError, true},
      {"later catalog slot read", sim::ModuleOp::Read, 3, [&] { return device->StartReadCatalog(); }, deOperationError, false},
      {"later erase block", sim::ModuleOp::Erase, 2, [&] { return device->StartEraseCatalog(); }, deOperationError, true},
      {"later image chunk", sim::ModuleOp::Read, 5, [&] { return device->StartReadImage(); }, deOperationError, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    module->FailOperation(c.op, c.after, 1);
    const CompletionCall call = Run(c.start);
    EXPECT_EQ(call.error, c.want);
    module->ClearFaults();
    const size_t before = recorder.Count();
    EXPECT_EQ(device->StartReadCatalog(), !c.device_lost);
    if (c.device_lost) {
      EXPECT_EQ(device->LastError(), deNotConnected);
      ASSERT_TRUE(device->DeviceOpen());
      ASSERT_TRUE(device->DeviceState().MP_connected);
      ASSERT_TRUE(device->StartReadCatalog());
    }
    ASSERT_TRUE(recorder.WaitFor(before + 1));
    EXPECT_EQ(recorder.Calls().back().error, deOK);
  }
}

}  // namespace
}  // namespace kalvort::testing
