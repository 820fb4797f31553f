#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "transport/UsbBackend.h"
#include "transport/UsbDriverLoader.h"
#include "UsbTestSupport.h"

namespace kalvort {
namespace {

std::string driverLog() {
  // The loader opened the library RTLD_LOCAL; a second handle to the same library finds the log.
  void *handle = dlopen(KALVORT_TEST_USB_DRIVER, RTLD_NOW | RTLD_NOLOAD);
  if (!handle) return "<driver not loaded>";
  auto log = reinterpret_cast<const char *(*)()>(dlsym(handle, "test_driver_log"));
  std::string text = log ? log() : "<no log>";
  dlclose(handle);
  return text;
}

TEST(UsbDriverLoader, ResolvesEveryFunctionAndPassesArgumentsThrough) {
  std::string error;
  std::unique_ptr<usb_dll> dll = LoadUsbDriver(KALVORT_TEST_USB_DRIVER, error);
  ASSERT_NE(dll, nullptr) << error;

  EXPECT_TRUE(dll->InitUSB());
  uint8_t status = 0, version = 0;
  bool present = false;
  EXPECT_TRUE(dll->Read_SMP_config_byte(status, version, present));
  EXPECT_EQ(status, 0x9C);
  EXPECT_EQ(version, 211);
  EXPECT_TRUE(present);
  EXPECT_TRUE(dll->SetReadSMP(0, 0x6D0));
  EXPECT_TRUE(dll->SetWriteSMP(0, 1320));
  EXPECT_TRUE(dll->ClearSMP(0, 300, 1));
  EXPECT_TRUE(dll->SetSmpBufSize(0, 264));
  uint8_t buffer[16] = {7};
  uint32_t count = 0;
  EXPECT_TRUE(dll->ReadUSBData(buffer, 16, count));
  EXPECT_EQ(count, 16u);
  EXPECT_EQ(buffer[15], 0xA5);
  EXPECT_TRUE(dll->WriteUSBData(buffer, 16, count));
  const uint8_t command[16] = {ciGetVersion};
  EXPECT_TRUE(dll->WriteUSBComand(command, 16, count));
  EXPECT_FALSE(dll->AbortIO());  // the driver's own answer comes back unchanged
  dll->FlashUSB();
  dll->CloseUSB();

  EXPECT_EQ(driverLog(),
            "InitUSB;Read_SMP_config_byte;SetReadSMP(0,1744);SetWriteSMP(0,1320);"
            "ClearSMP(0,300,1);SetSmpBufSize(0,264);ReadUSBData(16);WriteUSBData(16,165);"
            "WriteUSBComand(100,16);AbortIO;FlashUSB;CloseUSB;");
}

TEST(UsbDriverLoader, RefusesALibraryWithoutEveryFunction) {
  std::string error;
  EXPECT_EQ(LoadUsbDriver(KALVORT_TEST_USB_DRIVER_INCOMPLETE, error), nullptr);
  EXPECT_NE(error.find("AbortIO"), std::string::npos) << error;
  EXPECT_NE(error.find(KALVORT_TEST_USB_DRIVER_INCOMPLETE), std::string::npos) << error;

  EXPECT_EQ(LoadUsbDriver("/nonexistent/libnodriver.so", error), nullptr);
  EXPECT_NE(error.find("/nonexistent/libnodriver.so"), std::string::npos) << error;
}

TEST(UsbBackend, ADriverThatFailsToLoadIsAnErrorNotTheVirtualProgrammer) {
  std::string error;
  {
    test::ScopedEnv driver("KALVORT_USB_DRIVER", KALVORT_TEST_USB_DRIVER_INCOMPLETE);
    EXPECT_EQ(CreateUsbBackend(error), nullptr);
    EXPECT_NE(error.find("AbortIO"), std::string::npos) << error;
  }
  test::ScopedEnv driver("KALVORT_USB_DRIVER", KALVORT_TEST_USB_DRIVER);
  {
    test::ScopedEnv id("KALVORT_USB_ID", "not-an-id");
    EXPECT_EQ(CreateUsbBackend(error), nullptr);
    EXPECT_NE(error.find("KALVORT_USB_ID"), std::string::npos) << error;
  }
  std::shared_ptr<TUsbBackend> backend = CreateUsbBackend(error);
  ASSERT_NE(backend, nullptr) << error;
  EXPECT_EQ(backend->virtual_programmer, nullptr);
  EXPECT_NE(backend->description.find(KALVORT_TEST_USB_DRIVER), std::string::npos);
  EXPECT_FALSE(backend->warning.empty());  // no vendor:product, so no plug events
}

TEST(UsbBackend, UsbIdAndUdevProductMatching) {
  struct Case {
    const char *text;
    bool ok;
    uint16_t vendor, product;
  } cases[] = {{"1a2b:00FF", true, 0x1a2b, 0x00ff}, {"3:4", true, 3, 4}, {"12345:1", false, 0, 0},
               {"12ab", false, 0, 0},              {":12", false, 0, 0}, {"g1:2", false, 0, 0}};
  for (const Case &c : cases) {
    TUsbId id;
    EXPECT_EQ(ParseUsbId(c.text, id), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(id.vendor, c.vendor) << c.text;
      EXPECT_EQ(id.product, c.product) << c.text;
    }
  }
  const TUsbId id{0x1a2b, 0x00ff};
  EXPECT_TRUE(TUdevHotPlugSource::ProductMatches("1a2b/ff/100", id));
  EXPECT_FALSE(TUdevHotPlugSource::ProductMatches("1a2b/fe/100", id));
  EXPECT_FALSE(TUdevHotPlugSource::ProductMatches("1a2c/ff/100", id));
  EXPECT_FALSE(TUdevHotPlugSource::ProductMatches(nullptr, id));
  EXPECT_FALSE(TUdevHotPlugSource::ProductMatches("garbage", id));
}

TEST(UsbBackend, UdevMonitorStartsAndStops) {
  TUdevHotPlugSource source(TUsbId{0x1a2b, 0x00ff}, kUsbProgrammerClassGUID);
  std::string error;
  if (!source.Start(error)) GTEST_SKIP() << "no udev here: " << error;
  source.Stop();
  source.Stop();  // twice is harmless
}

}  // namespace
}  // namespace kalvort
