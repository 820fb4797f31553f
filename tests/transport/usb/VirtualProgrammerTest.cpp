#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "UsbTestSupport.h"
#include "support/TempDir.h"
#include "transport/UsbBackend.h"
#include "transport/VirtualProgrammer.h"

namespace kalvort {
namespace {

std::unique_ptr<TVirtualProgrammer> makeProgrammer(const std::string &file, int index = 1) {
  TVirtualProgrammerConfig config;
  config.module_file = file;
  config.density_index = index;
  std::string error;
  auto p = TVirtualProgrammer::Create(config, error);
  EXPECT_NE(p, nullptr) << error;
  return p;
}

TEST(VirtualProgrammer, DefaultsFromTheEnvironment) {
  test::TempDir dir;
  test::ScopedEnv xdg("XDG_DATA_HOME", dir.path().c_str());
  test::ScopedEnv file("KALVORT_VIRTUAL_MODULE", nullptr);
  test::ScopedEnv kind("KALVORT_VIRTUAL_KIND", nullptr);
  test::ScopedEnv firmware("KALVORT_VIRTUAL_FIRMWARE", nullptr);

  std::string error;
  std::shared_ptr<TUsbBackend> backend = CreateUsbBackend(error);
  ASSERT_NE(backend, nullptr) << error;
  ASSERT_NE(backend->virtual_programmer, nullptr);
  EXPECT_EQ(backend->dll, backend->virtual_programmer);

  // A fresh mptMP500 module file, blank, in the XDG data directory.
  const auto path = dir.path() / "kalvort" / "virtual-module.bin";
  EXPECT_EQ(backend->virtual_programmer->Config().module_file, path.string());
  const std::string bytes = test::readFileBytes(path);
  ASSERT_EQ(bytes.size(), 540672u);
  EXPECT_EQ(bytes.find_first_not_of('\xFF'), std::string::npos);

  usb_dll &dll = *backend->dll;
  ASSERT_TRUE(dll.InitUSB());
  uint8_t status = 0, version = 0;
  bool present = false;
  ASSERT_TRUE(dll.Read_SMP_config_byte(status, version, present));
  EXPECT_EQ(version, 209);
  EXPECT_TRUE(present);
  EXPECT_EQ(status, 0x9C);  // ready, density index 3
  dll.CloseUSB();
}

TEST(VirtualProgrammer, ModuleKinds) {
  struct Case {
    const char *text;
    bool ok;
    int index;
  } cases[] = {{"500", true, 3},   {"2000", true, 5},  {"8000", true, 7}, {"8000new", true, 8},
               {"none", true, 0},  {"1", true, 1},     {"8", true, 8},    {"9", false, 0},
               {"", false, 0},     {"MP500", false, 0}, {"-1", false, 0}};
  for (const Case &c : cases) {
    int index = -1;
    EXPECT_EQ(ParseVirtualModuleKind(c.text, index), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(index, c.index) << c.text;
    }
  }

  test::TempDir dir;
  test::ScopedEnv file("KALVORT_VIRTUAL_MODULE", dir.file("m.bin").c_str());
  {
    test::ScopedEnv kind("KALVORT_VIRTUAL_KIND", "8000x");
    std::string error;
    EXPECT_EQ(CreateUsbBackend(error), nullptr);
    EXPECT_NE(error.find("KALVORT_VIRTUAL_KIND"), std::string::npos) << error;
  }
  {
    test::ScopedEnv kind("KALVORT_VIRTUAL_KIND", "none");
    std::string error;
    auto backend = CreateUsbBackend(error);
    ASSERT_NE(backend, nullptr) << error;
    ASSERT_TRUE(backend->dll->InitUSB());
    uint8_t status = 0, version = 0;
    bool present = true;
    ASSERT_TRUE(backend->dll->Read_SMP_config_byte(status, version, present));
    EXPECT_FALSE(present);
    backend->dll->CloseUSB();
    EXPECT_FALSE(std::filesystem::exists(dir.file("m.bin")));  // no module, no file
  }
}

TEST(VirtualProgrammer, FirmwareByteFromTheEnvironment) {
  test::TempDir dir;
  test::ScopedEnv file("KALVORT_VIRTUAL_MODULE", dir.file("m.bin").c_str());
  test::ScopedEnv kind("KALVORT_VIRTUAL_KIND", "1");
  const struct {
    const char *text;  // nullptr: unset
    bool ok;
    uint8_t version;
  } cases[] = {{nullptr, true, 209}, {"210", true, 210}, {"0", true, 0}, {"255", true, 255},
               {"256", false, 0},    {"-1", false, 0},   {"21x", false, 0}, {" 210", false, 0}};
  for (const auto &c : cases) {
    test::ScopedEnv firmware("KALVORT_VIRTUAL_FIRMWARE", c.text);
    std::string error;
    auto backend = CreateUsbBackend(error);
    ASSERT_EQ(backend != nullptr, c.ok) << (c.text ? c.text : "unset") << ": " << error;
    if (!c.ok) {
      EXPECT_NE(error.find("KALVORT_VIRTUAL_FIRMWARE"), std::string::npos) << error;
      continue;
    }
    ASSERT_TRUE(backend->dll->InitUSB());
    uint8_t status = 0, version = 0;
    bool present = false;
    ASSERT_TRUE(backend->dll->Read_SMP_config_byte(status, version, present));
    EXPECT_EQ(version, c.version);
    backend->dll->CloseUSB();
  }
}

TEST(VirtualProgrammer, AFileOfAnotherSizeIsRefusedAndKept) {
  test::TempDir dir;
  const auto path = dir.file("m.bin");
  test::writeFileBytes(path, std::string(1000, 'x'));
  TVirtualProgrammerConfig config;
  config.module_file = path.string();
  config.density_index = 1;
  std::string error;
  EXPECT_EQ(TVirtualProgrammer::Create(config, error), nullptr);
  EXPECT_EQ(error, "Файл модуля виртуального программатора имеет неверный размер: " + path.string());
  EXPECT_EQ(test::readFileBytes(path), std::string(1000, 'x'));
}

TEST(VirtualProgrammer, AddressesAreFlashForReadsAndLinearForWrites) {
  test::TempDir dir;
  auto p = makeProgrammer(dir.file("m.bin").string());  // 512 pages of 264 bytes, 9 page bits
  ASSERT_TRUE(p->InitUSB());
  uint32_t n = 0;
  std::vector<uint8_t> page(264);
  for (size_t i = 0; i < page.size(); ++i) page[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(p->SetWriteSMP(0, 3 * 264));  // page 3, linear
  ASSERT_TRUE(p->WriteUSBData(page.data(), 264, n));
  EXPECT_EQ(n, 264u);

  // Byte 1000 = page 3, offset 208 = flash address 3 << 9 | 208 = 0x6D0.
  ASSERT_TRUE(p->SetReadSMP(0, 0x6D0));
  uint8_t got[4] = {};
  ASSERT_TRUE(p->ReadUSBData(got, 4, n));
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(got[0], 208);
  EXPECT_EQ(got[3], 211);

  EXPECT_FALSE(p->SetReadSMP(1, 0)) << "only slot 0 exists";
  p->CloseUSB();
  EXPECT_FALSE(p->SetReadSMP(0, 0)) << "a closed programmer answers nothing";
  EXPECT_FALSE(p->ReadUSBData(got, 4, n));
}

TEST(VirtualProgrammer, VersionCommandAndBootMode) {
  test::TempDir dir;
  auto p = makeProgrammer(dir.file("m.bin").string());
  ASSERT_TRUE(p->InitUSB());
  uint8_t command[16] = {ciGetVersion};
  uint32_t n = 0;
  ASSERT_TRUE(p->WriteUSBComand(command, 16, n));
  uint8_t reply[64];
  std::fill(std::begin(reply), std::end(reply), 0xEE);
  ASSERT_TRUE(p->ReadUSBData(reply, 64, n));
  EXPECT_EQ(n, 64u);
  EXPECT_EQ(reply[0], 209);
  EXPECT_EQ(reply[1], 0);
  EXPECT_EQ(reply[3], 0);

  command[0] = ciBootMode;
  EXPECT_TRUE(p->WriteUSBComand(command, 16, n));
  command[0] = 55;
  EXPECT_FALSE(p->WriteUSBComand(command, 16, n));
  EXPECT_FALSE(p->WriteUSBComand(command, 15, n));
  p->CloseUSB();
}

TEST(VirtualProgrammer, ChangesPersistWhenClosedAndSurviveARestart) {
  test::TempDir dir;
  const auto path = dir.file("m.bin");
  {
    auto p = makeProgrammer(path.string());
    ASSERT_TRUE(p->InitUSB());
    uint32_t n = 0;
    std::vector<uint8_t> page(264, 0x42);
    ASSERT_TRUE(p->SetWriteSMP(0, 264));
    ASSERT_TRUE(p->WriteUSBData(page.data(), 264, n));
    p->CloseUSB();
    const std::string saved = test::readFileBytes(path);
    ASSERT_EQ(saved.size(), 512u * 264u);
    EXPECT_EQ(saved[263], '\xFF');
    EXPECT_EQ(saved[264], '\x42');
    EXPECT_EQ(saved[527], '\x42');
  }
  // No temporary files are left beside the module file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);

  auto again = makeProgrammer(path.string());
  ASSERT_TRUE(again->InitUSB());
  ASSERT_TRUE(again->SetReadSMP(0, 1 << 9));
  uint8_t b = 0;
  uint32_t n = 0;
  ASSERT_TRUE(again->ReadUSBData(&b, 1, n));
  EXPECT_EQ(b, 0x42);
  again->CloseUSB();
}

TEST(VirtualProgrammer, PicksUpAnotherProcesssSaveAtTheNextOpen) {
  test::TempDir dir;
  const auto path = dir.file("m.bin");
  auto first = makeProgrammer(path.string());
  auto second = makeProgrammer(path.string());
  ASSERT_TRUE(second->InitUSB());
  uint32_t n = 0;
  ASSERT_TRUE(second->ClearSMP(0, 0, 1));
  const std::vector<uint8_t> page(264, 0x10);
  ASSERT_TRUE(second->SetWriteSMP(0, 0));
  ASSERT_TRUE(second->WriteUSBData(page.data(), 264, n));
  second->CloseUSB();

  ASSERT_TRUE(first->InitUSB());
  ASSERT_TRUE(first->SetReadSMP(0, 0));
  uint8_t b = 0;
  ASSERT_TRUE(first->ReadUSBData(&b, 1, n));
  EXPECT_EQ(b, 0x10);
  first->CloseUSB();
}

TEST(VirtualProgrammer, UnpluggedItAnswersNothing) {
  test::TempDir dir;
  auto p = makeProgrammer(dir.file("m.bin").string());
  ASSERT_TRUE(p->InitUSB());
  p->PlugOut();
  EXPECT_FALSE(p->Plugged());
  uint8_t status, version;
  bool present;
  EXPECT_FALSE(p->Read_SMP_config_byte(status, version, present));
  EXPECT_FALSE(p->InitUSB());
  p->PlugIn();
  EXPECT_TRUE(p->InitUSB());
  EXPECT_TRUE(p->Read_SMP_config_byte(status, version, present));
  p->CloseUSB();
}

}  // namespace
}  // namespace kalvort
