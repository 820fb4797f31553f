// The USB programmer device over the virtual programmer, with the real device core: library call
// sequences, pauses, status decoding, address conversion, version and boot commands, and whole
// actions (project, image, module test, unplugging) end to end.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <future>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "RecordingUsbDll.h"
#include "UsbTestSupport.h"
#include "device/DeviceTestSupport.h"
#include "support/TempDir.h"
#include "transport/HotPlugHub.h"
#include "transport/UsbBackend.h"
#include "transport/VirtualProgrammer.h"
#include "transport/WUSBDeviceUnit.h"

namespace kalvort {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

class WUSBDeviceTest : public ::testing::Test {
 protected:
  // kind: KALVORT_VIRTUAL_KIND; "1" is the smallest module (512 pages of 264 bytes).
  void Make(const char *kind = "1") {
    device.reset();
    kind_ = kind;
    test::ScopedEnv file("KALVORT_VIRTUAL_MODULE", module_file().c_str());
    test::ScopedEnv k("KALVORT_VIRTUAL_KIND", kind);
    std::string error;
    backend = CreateUsbBackend(error);
    ASSERT_NE(backend, nullptr) << error;
    programmer = backend->virtual_programmer;
    dll = std::make_shared<test::RecordingUsbDll>(backend->dll);
    device = std::make_unique<TWUSBDeviceClass>(dll, dispatcher);
    Hook();
  }

  void TearDown() override { device.reset(); }

  // One module file per kind: a file of another size is refused.
  std::string module_file() const { return dir.file("module/module-" + kind_ + ".bin").string(); }

  void Hook() {
    auto rec = [this](const char *name) {
      return [this, name](TDeviceClass *, TDeviceError e) { recorder.Record(name, e); };
    };
    device->OnGetCatalogComplete = rec("GetCatalog");
    device->OnGetFileComplete = rec("GetFile");
    device->OnBurnCatalogComplete = rec("BurnCatalog");
    device->OnBurnFileComplete = rec("BurnFile");
    device->OnTestComplete = rec("Test");
    device->OnCancelAction = rec("Cancel");
    device->OnReadImageAction = rec("ReadImage");
    device->OnBurnImageAction = rec("BurnImage");
    device->OnEraseFullComplete = rec("EraseFull");
  }

  // Opens the device, reads its state and leaves it open for an action.
  TDeviceState Open() {
    EXPECT_TRUE(device->DeviceOpen());
    return device->DeviceState();
  }

  // Starts one action and waits for its single completion.
  testing::CompletionCall Run(const std::function<bool()> &start) {
    const size_t before = recorder.Count();
    EXPECT_TRUE(start());
    EXPECT_TRUE(recorder.WaitFor(before + 1, 60s));
    auto calls = recorder.Calls();
    if (calls.size() <= before) return {"none", deOK, {}};
    return calls[before];
  }

  test::TempDir dir;
  std::string kind_;
  std::shared_ptr<TQueuedDispatcher> dispatcher = std::make_shared<TQueuedDispatcher>();
  std::shared_ptr<TUsbBackend> backend;
  std::shared_ptr<TVirtualProgrammer> programmer;
  std::shared_ptr<test::RecordingUsbDll> dll;
  std::unique_ptr<TWUSBDeviceClass> device;
  testing::CompletionRecorder recorder;
};

std::chrono::milliseconds between(const test::RecordingUsbDll::Call &a,
                                  const test::RecordingUsbDll::Call &b) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(b.at - a.at);
}

TEST_F(WUSBDeviceTest, CreationProbesAndOneStatusTickMakesTheseCalls) {
  Make("500");
  // Creation: the listener's first doInsert (open, state, close), then one more open and close.
  EXPECT_EQ(dll->Texts(), (Strings{"InitUSB", "FlashUSB", "FlashUSB", "Read_SMP_config_byte",
                                   "FlashUSB", "CloseUSB", "InitUSB", "FlashUSB", "FlashUSB",
                                   "CloseUSB"}));
  dll->Clear();

  ASSERT_TRUE(device->DeviceOpen());
  const TDeviceState s = device->DeviceState();
  device->DeviceClose();
  const auto calls = dll->Calls();
  Strings texts;
  for (const auto &c : calls) texts.push_back(c.text);
  ASSERT_EQ(texts, (Strings{"InitUSB", "FlashUSB", "FlashUSB", "Read_SMP_config_byte", "FlashUSB",
                            "CloseUSB"}));
  EXPECT_GE(between(calls[1], calls[2]), 10ms) << "pause after the stop in open";
  EXPECT_GE(between(calls[2], calls[3]), 10ms) << "pause before the status read";

  // The virtual programmer's mptMP500 reports status byte 0x9C.
  EXPECT_TRUE(s.connected);
  EXPECT_EQ(s.version, 209);
  EXPECT_EQ(s.full_version, 0u);
  EXPECT_TRUE(s.MP_connected);
  EXPECT_TRUE(s.MP_ready);
  EXPECT_EQ(s.MP_type, mptMP500);
  EXPECT_EQ(s.MP_size, 540672);
  EXPECT_EQ(s.MP_page_size, 264);
  EXPECT_EQ(s.MP_page_bits, 9);
  EXPECT_EQ(s.MP_page_all, 2048);
  EXPECT_EQ(device->LastError(), deOK);
}

TEST_F(WUSBDeviceTest, StatusAnswersAreDecoded) {
  Make();
  struct Step {
    bool result;
    bool present;
    uint8_t status;
    bool connected, ready;
    TMPtype type;
    int32_t page_size, page_all;
  } steps[] = {
      {true, true, 0x9C, true, true, mptMP500, 264, 2048},
      {true, true, 0x2C, true, false, mptMP2000, 528, 4096},
      // Absent module: only MP_connected changes, the rest keeps its values.
      {true, false, 0x9C, false, false, mptMP2000, 528, 4096},
      {true, true, 0xBC, true, true, mptMP8000, 1056, 8192},
      {true, true, 0x80, true, true, mptMP8000_new, 264, 32768},
      {true, true, 0x8C, true, true, mptNone, 264, 512},
      // Density index 0: no module.
      {true, true, 0x04, false, false, mptNone, 264, 512},
      // A failed read clears both flags and nothing else.
      {true, true, 0x9C, true, true, mptMP500, 264, 2048},
      {false, true, 0x00, false, false, mptMP500, 264, 2048},
  };
  for (const Step &st : steps) {
    dll->config_answer = [&](uint8_t &status, uint8_t &version, bool &present) {
      status = st.status;
      version = 209;
      present = st.present;
      return st.result;
    };
    ASSERT_TRUE(device->DeviceOpen());
    const TDeviceState s = device->DeviceState();
    device->DeviceClose();
    SCOPED_TRACE(std::to_string(int(st.status)) + (st.present ? " present" : " absent") +
                 (st.result ? "" : " failed"));
    EXPECT_TRUE(s.connected);
    EXPECT_EQ(s.MP_connected, st.connected);
    EXPECT_EQ(s.MP_ready, st.ready);
    EXPECT_EQ(s.MP_type, st.type);
    EXPECT_EQ(s.MP_page_size, st.page_size);
    EXPECT_EQ(s.MP_page_all, st.page_all);
  }
}

TEST_F(WUSBDeviceTest, AddressesEraseAndSizeReachTheLibraryAfterTheirPause) {
  Make();
  Open();  // 264-byte pages, 9 page bits
  dll->Clear();
  ASSERT_TRUE(device->LinkSetReadAddr(1000));
  ASSERT_TRUE(device->LinkSetWriteAddr(1320));
  ASSERT_TRUE(device->LinkEraseBlocks(3, 1));
  ASSERT_TRUE(device->LinkSetBufferSize(264));
  EXPECT_FALSE(device->LinkEraseBlocks(70000, 1)) << "a block number the library cannot take";
  const auto calls = dll->Calls();
  Strings texts;
  for (const auto &c : calls) texts.push_back(c.text);
  // Byte 1000 = page 3, offset 208: flash address 3 << 9 | 208 = 0x6D0 = 1744.
  ASSERT_EQ(texts, (Strings{"FlashUSB", "SetReadSMP(0,1744)", "SetWriteSMP(0,1320)",
                            "ClearSMP(0,3,1)", "SetSmpBufSize(0,264)"}));
  for (size_t i = 1; i < calls.size(); ++i)
    EXPECT_GE(between(calls[i - 1], calls[i]), 10ms) << calls[i].text;
  device->DeviceClose();

  // 528-byte pages use 10 page bits: byte 1000 = page 1, offset 472 -> 1 << 10 | 472.
  Make("2000");
  Open();
  dll->Clear();
  ASSERT_TRUE(device->LinkSetReadAddr(1000));
  EXPECT_EQ(dll->Texts(), (Strings{"FlashUSB", "SetReadSMP(0,1496)"}));
  device->DeviceClose();

  // No module has ever been seen: no page geometry, so no read address.
  Make("none");
  Open();
  dll->Clear();
  EXPECT_FALSE(device->LinkSetReadAddr(1000));
  EXPECT_TRUE(dll->Texts().empty());
  device->DeviceClose();
}

TEST_F(WUSBDeviceTest, FullVersionBootModeAndUpdate) {
  Make();
  dll->Clear();
  EXPECT_EQ(device->GetFullVersion(), 209u);
  const Strings texts = dll->Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "InitUSB");
  EXPECT_EQ(texts[1], "WriteUSBComand(100 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0)");
  EXPECT_EQ(texts[2], "ReadUSBData(64)");
  EXPECT_EQ(texts[3], "CloseUSB");

  dll->short_next_read = true;  // a 63-byte reply
  EXPECT_EQ(device->GetFullVersion(), 0u);

  dll->Clear();
  EXPECT_TRUE(device->SetBootMode());
  EXPECT_TRUE(device->StartUpdate());
  EXPECT_EQ(dll->Texts(), (Strings{"InitUSB", "WriteUSBComand(21 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0)",
                                   "CloseUSB", "InitUSB",
                                   "WriteUSBComand(21 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0)", "CloseUSB"}));

  programmer->PlugOut();
  dll->Clear();
  EXPECT_EQ(device->GetFullVersion(), 0u);
  EXPECT_FALSE(device->SetBootMode());
  EXPECT_EQ(dll->Texts(), (Strings{"InitUSB", "InitUSB"}));
  EXPECT_FALSE(device->DeviceOpen());
  EXPECT_EQ(device->LastError(), deNotConnected);
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> v(n);
  for (auto &b : v) b = static_cast<uint8_t>(gen());
  return v;
}

TEST_F(WUSBDeviceTest, ProjectWrittenAndReadBackFromTheModuleFile) {
  Make();
  const std::vector<std::vector<uint8_t>> programs = {randomBytes(1000, 1), randomBytes(4408, 2),
                                                      randomBytes(10, 3)};
  const std::u16string names[] = {u"ПЕРВАЯ", u"ВТОРАЯ", u"ТРЕТЬЯ"};
  for (size_t i = 0; i < programs.size(); ++i) {
    TDevCatalogEntry e;
    e.cat_num = -1;
    e.prog_num = static_cast<uint16_t>(10 + i);
    StringToCatalogEntry(names[i], e);
    e.prog_size = static_cast<uint32_t>(programs[i].size());
    e.p_buffer = std::make_shared<ProgramImage>(programs[i]);
    e.text = std::make_shared<ProgramText>();
    e.file_bin_valid = true;
    ASSERT_TRUE(device->AddCatalogEntry(e));
  }
  Open();
  ASSERT_TRUE(device->PrepareCatalog(false, 0));
  EXPECT_EQ(Run([&] { return device->StartBurnCatalog(); }).error, deOK);
  for (int i = 0; i < device->CatalogCount(); ++i)
    EXPECT_EQ(Run([&] { return device->StartBurnFile(i); }).error, deOK) << i;
  device->DeviceClose();

  // A second programmer on the same file, as after a restart of the program.
  device.reset();
  backend.reset();
  programmer.reset();
  dll.reset();
  Make();
  Open();
  EXPECT_EQ(Run([&] { return device->StartReadCatalog(); }).error, deOK);
  ASSERT_EQ(device->CatalogCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Run([&] { return device->StartReadFile(i); }).error, deOK) << i;
    const TDevCatalogEntry e = device->Catalog(i);
    EXPECT_EQ(e.prog_num, 10 + i);
    EXPECT_EQ(ByteArrayToString(e.code, kCatalogCodeSize), names[i]);
    ASSERT_NE(e.p_buffer, nullptr);
    EXPECT_EQ(*e.p_buffer, programs[static_cast<size_t>(i)]) << i;
  }
  device->DeviceClose();
}

// Every action that changes the module keeps the change in the module file before it reports
// success; one whose change cannot be saved fails, and the file keeps its last good bytes.
TEST_F(WUSBDeviceTest, ActionsWhoseChangeCannotBeSavedFail) {
  Make();
  TDevCatalogEntry e;
  e.cat_num = -1;
  e.prog_num = 1;
  StringToCatalogEntry(u"P", e);
  e.prog_size = 600;
  e.p_buffer = std::make_shared<ProgramImage>(randomBytes(600, 4));
  e.text = std::make_shared<ProgramText>();
  e.file_bin_valid = true;
  ASSERT_TRUE(device->AddCatalogEntry(e));
  const TDeviceState s = Open();
  ASSERT_TRUE(device->PrepareCatalog(false, 0));
  const std::string image(static_cast<size_t>(s.MP_size), '\x5A');
  std::stringstream in;
  device->SetImageStream(&in);
  const std::string before = test::readFileBytes(module_file());
  ASSERT_EQ(before.size(), static_cast<size_t>(s.MP_size));

  const struct {
    const char *event;
    std::function<bool()> start;
  } actions[] = {
      {"BurnCatalog", [&] { return device->StartBurnCatalog(); }},
      {"BurnFile", [&] { return device->StartBurnFile(0); }},
      {"BurnImage", [&] { return in.str(image), in.clear(), device->StartBurnImage(); }},
      {"EraseFull", [&] { return device->StartEraseAll(); }},
      {"Test", [&] { return device->StartQuickTest(); }},
  };
  // The save's temporary file has no folder to go to.
  std::filesystem::rename(dir.file("module"), dir.file("away"));
  for (const auto &a : actions) {
    const testing::CompletionCall call = Run(a.start);
    EXPECT_EQ(call.event, a.event);
    EXPECT_EQ(call.error, deOperationError) << a.event;
  }
  std::filesystem::rename(dir.file("away"), dir.file("module"));
  EXPECT_TRUE(test::readFileBytes(module_file()) == before);

  // With the folder back the next change is kept at once, before the device is closed.
  EXPECT_EQ(Run(actions[2].start).error, deOK);
  EXPECT_TRUE(test::readFileBytes(module_file()) == image);
  device->SetImageStream(nullptr);
  device->DeviceClose();
}

TEST_F(WUSBDeviceTest, ImageRoundTrip) {
  Make();
  const TDeviceState s = Open();
  const std::vector<uint8_t> image = randomBytes(static_cast<size_t>(s.MP_size), 7);
  const std::string image_text(image.begin(), image.end());
  std::stringstream in(image_text);
  device->SetImageStream(&in);
  EXPECT_EQ(Run([&] { return device->StartBurnImage(); }).error, deOK);
  std::stringstream out;
  device->SetImageStream(&out);
  EXPECT_EQ(Run([&] { return device->StartReadImage(); }).error, deOK);
  device->SetImageStream(nullptr);
  device->DeviceClose();
  EXPECT_TRUE(out.str() == image_text);
  EXPECT_TRUE(test::readFileBytes(module_file()) == image_text);
}

TEST_F(WUSBDeviceTest, QuickTest) {
  Make();
  Open();
  // Something in the tested area beforehand, which the test leaves erased.
  const std::vector<uint8_t> page(264, 0x11);
  ASSERT_TRUE(device->LinkSetWriteAddr(5 * 264));
  ASSERT_TRUE(device->LinkWriteData(page.data(), 264));
  EXPECT_EQ(Run([&] { return device->StartQuickTest(); }).error, deOK);
  EXPECT_EQ(device->TestStage(), tsLastRead);
  device->DeviceClose();
  const std::string file = test::readFileBytes(module_file());
  ASSERT_EQ(file.size(), 512u * 264u);
  EXPECT_EQ(file.find_first_not_of('\xFF'), std::string::npos);
}

TEST_F(WUSBDeviceTest, UnpluggingDuringAnActionEndsItWithOperationError) {
  Make();
  Open();
  ASSERT_TRUE(device->StartQuickTest());
  while (device->ProgressPosition() < 10 && recorder.Count() == 0) std::this_thread::sleep_for(1ms);
  programmer->PlugOut();
  // The library fails from now on, which ends the action. The removal event waits on this (the
  // owner's) thread until the action has ended, then closes the device here.
  ASSERT_TRUE(recorder.WaitFor(1, 20s));
  EXPECT_EQ(recorder.Calls()[0].event, "Test");
  EXPECT_EQ(recorder.Calls()[0].error, deOperationError);
  EXPECT_EQ(dispatcher->Deliver(), 1u);
  EXPECT_FALSE(device->DeviceOpen());
  EXPECT_FALSE(device->DeviceState().connected);

  programmer->PlugIn();
  EXPECT_EQ(dispatcher->Deliver(), 1u);
  ASSERT_TRUE(device->DeviceOpen());
  const TDeviceState s = device->DeviceState();
  EXPECT_TRUE(s.connected);
  EXPECT_TRUE(s.MP_connected);
  device->DeviceClose();
}

TEST_F(WUSBDeviceTest, RemovalArrivingAfterTheActionEndedLeavesTheTransportToTheOwner) {
  Make();
  Open();
  // The completion is held until the removal has been delivered: the action has ended (the
  // library failed), but its completion has not yet reached the owner.
  std::promise<void> entered, release;
  auto released = release.get_future().share();
  std::atomic<TDeviceError> result{deOK};
  std::atomic<bool> left{false};
  device->OnTestComplete = [&](TDeviceClass *, TDeviceError e) {
    result = e;
    entered.set_value();
    released.wait();
    left = true;
  };
  ASSERT_TRUE(device->StartQuickTest());
  while (device->ProgressPosition() < 10) std::this_thread::sleep_for(1ms);
  programmer->PlugOut();
  ASSERT_EQ(entered.get_future().wait_for(20s), std::future_status::ready);
  EXPECT_EQ(dispatcher->Deliver(), 1u);
  std::this_thread::sleep_for(50ms);  // room for the worker to (wrongly) act on the removal
  release.set_value();
  while (!left) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(result.load(), deOperationError);
  // The owner uses the transport again; the worker must not touch it behind its back.
  EXPECT_FALSE(device->DeviceOpen());
  device->DeviceClose();
  EXPECT_FALSE(device->DeviceState().connected);
}

TEST_F(WUSBDeviceTest, OneEventPerPlugAndNoneAfterTheDeviceIsGone) {
  Make();
  programmer->PlugOut();
  programmer->PlugOut();
  EXPECT_EQ(dispatcher->Deliver(), 1u);
  dll->Clear();
  programmer->PlugIn();
  programmer->PlugIn();
  EXPECT_EQ(dispatcher->Deliver(), 1u);
  // The arrival reads the state at once: open, state, close.
  EXPECT_EQ(dll->Texts(), (Strings{"InitUSB", "FlashUSB", "FlashUSB", "Read_SMP_config_byte",
                                   "FlashUSB", "CloseUSB"}));

  device.reset();
  EXPECT_EQ(THotPlugHub::Instance().RegistrationsAlive(kUsbProgrammerClassGUID), 0);
  dll->Clear();
  programmer->PlugOut();
  programmer->PlugIn();
  EXPECT_EQ(dispatcher->Deliver(), 0u);
  EXPECT_TRUE(dll->Texts().empty());
}

TEST(UsbProgrammerUpdate, OnlyVersion210AsksForAnUpdate) {
  for (uint8_t version : {209, 210, 211}) {
    TVirtualProgrammerConfig config;  // in memory only
    config.density_index = 1;
    config.version = version;
    std::string error;
    std::shared_ptr<TVirtualProgrammer> programmer = TVirtualProgrammer::Create(config, error);
    ASSERT_NE(programmer, nullptr) << error;
    TWUSBDeviceClass device(programmer, std::make_shared<TQueuedDispatcher>());
    ASSERT_TRUE(device.DeviceOpen());
    const TDeviceState s = device.DeviceState();
    device.DeviceClose();
    EXPECT_EQ(s.version, version);
    EXPECT_EQ(ProgrammerNeedsUpdate(s), version == 210) << int(version);
  }
  TDeviceState closed;
  closed.version = 210;
  EXPECT_FALSE(ProgrammerNeedsUpdate(closed));
}

TEST(UsbProgrammerClass, IdentifierBytesAndText) {
  EXPECT_EQ(FormatGUID(kUsbProgrammerClassGUID), "{3F8A61C2-9B4E-4D17-A0C5-52E7B9D4116F}");
  TGUID g;
  ASSERT_TRUE(ParseGUID("{3f8a61c2-9b4e-4d17-a0c5-52e7b9d4116f}", g));
  EXPECT_EQ(g, kUsbProgrammerClassGUID);
  for (const char *bad : {"", "{3F8A61C2-9B4E-4D17-A0C5-52E7B9D4116}", "3F8A61C2-9B4E-4D17-A0C5-52E7B9D4116F",
                          "{3F8A61C2-9B4E-4D17-A0C5-52E7B9D4116G}", "{3F8A61C2+9B4E-4D17-A0C5-52E7B9D4116F}"})
    EXPECT_FALSE(ParseGUID(bad, g)) << bad;
}

}  // namespace
}  // namespace kalvort
