// kalvort-cli device, as a user runs it: the device rules both programs share (a busy module, the
// networked controller's fixed project type and refused full commands, the erase label), and the
// output the README promises (status lines, progress lines on a pipe, verify's messages).

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "module/ModuleMemory.h"
#include "sim/UrvellSimulator.h"
#include "support/LoopbackSimulator.h"
#include "workflow/DeviceRules.h"

namespace kalvort::test {
namespace {

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// A module of the simulator with recognisable contents, so that any erase shows.
std::vector<uint8_t> Filled(sim::ModuleMemory &module) {
  std::vector<uint8_t> bytes(module.Contents().size());
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  EXPECT_TRUE(module.SetContents(bytes));
  return bytes;
}

TEST(ControllerRulesCli, EveryCommandReportsABusyModuleAsBusy) {
  auto smp = std::make_shared<sim::ModuleMemory>(3);
  auto wmp = std::make_shared<sim::ModuleMemory>(3);
  auto controller = startLoopbackSimulator(smp, wmp);
  const std::string lan = "device --lan " + controller->Config().address + " ";
  CliRunner cli;
  writeFileBytes(cli.path("p.txt"), "%\r\nN1 X1\r\nM02\r\n");
  ASSERT_EQ(cli.run("project new p.kvt p.txt"), 0) << cli.err;
  writeFileBytes(cli.path("img.bin"), std::string(smp->Contents().size(), '\x5A'));
  const auto before = Filled(*smp);

  OtherStation other(*controller);
  ASSERT_EQ(other.take(sim::UrvellSimulator::kSubtypeSMP, 1000), 1);
  for (const char *command : {"status", "erase", "test", "write-project p.kvt", "read-project r.kvt",
                              "verify p.kvt", "read-image out.bin", "write-image img.bin"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(cli.run(lan + command), 1);
    EXPECT_EQ(cli.err, "kalvort-cli: Модуль памяти занят\n");
  }
  EXPECT_EQ(smp->Contents(), before);
  EXPECT_FALSE(std::filesystem::exists(cli.path("r.kvt")));
  EXPECT_FALSE(std::filesystem::exists(cli.path("out.bin")));
  // The other station holds the replaceable module only: the built-in one is free.
  EXPECT_EQ(cli.run(lan + "--module wmp erase"), 0) << cli.err;
}

TEST(ControllerRulesCli, FullEraseAndTestOnTheProgrammerOnly) {
  auto smp = std::make_shared<sim::ModuleMemory>(3);
  auto wmp = std::make_shared<sim::ModuleMemory>(3);
  auto controller = startLoopbackSimulator(smp, wmp);
  const std::string lan = "device --lan " + controller->Config().address + " ";
  const auto smp_before = Filled(*smp);
  const auto wmp_before = Filled(*wmp);
  CliRunner cli;
  for (const char *command : {"erase --full", "test --full", "--module wmp erase --full", "--module wmp test --full"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(cli.run(lan + command), 1);
    EXPECT_EQ(cli.err, std::string("kalvort-cli: ") + workflow::kFullCommandsRefused + "\n");
    EXPECT_EQ(cli.out, "");
  }
  EXPECT_EQ(smp->Contents(), smp_before);
  EXPECT_EQ(wmp->Contents(), wmp_before);

  // The quick erase runs; its label names the built-in module, and the progress lines on a pipe
  // stand at whole tenths.
  ASSERT_EQ(cli.run(lan + "--module wmp erase"), 0) << cli.err;
  EXPECT_EQ(smp->Contents(), smp_before);
  EXPECT_TRUE(contains(cli.err, "Быстрая очистка МП... ВМП-500 : 0%\n")) << cli.err;
  std::istringstream lines(cli.err);
  std::string line;
  const std::regex progress(".*: ([0-9]+)%");
  int progress_lines = 0;
  while (std::getline(lines, line)) {
    std::smatch m;
    if (!std::regex_match(line, m, progress)) continue;
    ++progress_lines;
    EXPECT_EQ(std::stoi(m[1]) % 10, 0) << line;
  }
  EXPECT_GE(progress_lines, 2) << cli.err;

  // The USB programmer runs the full commands.
  cli.virtual_kind = "1";
  EXPECT_EQ(cli.run("device --usb erase --full"), 0) << cli.err;
  EXPECT_TRUE(contains(cli.out, "Очистка МП завершена")) << cli.out;
}

TEST(ControllerRulesCli, ControllerProjectsAreProcessed2C42) {
  auto smp = std::make_shared<sim::ModuleMemory>(3);
  auto controller = startLoopbackSimulator(smp);
  const std::string lan = "device --lan " + controller->Config().address + " ";
  CliRunner cli;
  // A text that both formats take; an НЦ-31 project of it.
  writeFileBytes(cli.path("13.txt"), "N0000 G1 X100 Z-200 F150\r\nM3\r\n");
  ASSERT_EQ(cli.run("project new --processor nc31 nc.kvt 13.txt"), 0) << cli.err;
  ASSERT_EQ(cli.run("convert --format 2c42 --to binary --del-space --del-empty 13.txt c42.bin"), 0) << cli.err;
  ASSERT_EQ(cli.run("convert --format nc31 --to binary 13.txt nc31.bin"), 0) << cli.err;

  ASSERT_EQ(cli.run(lan + "write-project nc.kvt"), 0) << cli.err;
  EXPECT_TRUE(contains(cli.err, "2С42")) << cli.err;  // the user is told
  const auto module = smp->Contents();
  const std::string bytes(module.begin(), module.end());
  EXPECT_TRUE(contains(bytes, readFileBytes(cli.path("c42.bin"))));
  EXPECT_FALSE(contains(bytes, readFileBytes(cli.path("nc31.bin"))));
  ASSERT_EQ(cli.run(lan + "verify nc.kvt"), 0) << cli.out << cli.err;
  EXPECT_TRUE(contains(cli.out, "Проект и МП совпадают.")) << cli.out;
}

TEST(DeviceOutputCli, StatusAndVerifyMessagesAsDocumented) {
  CliRunner cli;
  cli.virtual_kind = "2000";
  ASSERT_EQ(cli.run("device --usb status"), 0) << cli.err;
  EXPECT_EQ(cli.out, "Программатор. v 2.0.9\nСМП-2000 \nsize\t2162688\npages\t4096\npage_size\t528\n"
                     "driver\tvirtual programmer, module file " + cli.moduleFile() + "\n");

  // A text that does not convert: verify names the program and its line as write-project does.
  writeFileBytes(cli.path("good.txt"), "%\r\nN1 G01 X100\r\nM02\r\n");
  writeFileBytes(cli.path("bad.txt"), "%\r\nN1 X1\r\nN2 \xC6\r\n");
  ASSERT_EQ(cli.run("project new p.kvt good.txt bad.txt"), 0) << cli.err;
  EXPECT_EQ(cli.run("device --usb verify p.kvt"), 1);
  EXPECT_EQ(cli.err, "kalvort-cli: Неверный символ: программа 1 (bad.txt), строка 3\n");
  EXPECT_EQ(cli.run("device --usb write-project p.kvt"), 1);
  EXPECT_EQ(cli.err, "kalvort-cli: Неверный символ: программа 1 (bad.txt), строка 3\n");

  // Difference lines name the catalog slot.
  ASSERT_EQ(cli.run("project new g.kvt good.txt"), 0) << cli.err;
  EXPECT_EQ(cli.run("device --usb verify g.kvt"), 1);
  EXPECT_TRUE(contains(cli.out, "слот каталога 0 (good.txt): нет в МП\n")) << cli.out;
}

}  // namespace
}  // namespace kalvort::test
