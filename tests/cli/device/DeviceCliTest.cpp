// kalvort-cli device, run as a user runs it: against the controller simulator in this process and
// against the virtual USB programmer whose module lives in a file of the test's folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "device/DevCatalog.h"
#include "formats/Processors.h"
#include "project/ProjectFile.h"
#include "module/ModuleMemory.h"
#include "sim/UrvellSimulator.h"
#include "support/LoopbackSimulator.h"

namespace kalvort::test {
namespace {

using Bytes = std::vector<uint8_t>;

const ProgramLines kC42Text = {u"%", u"N1 G01 X100 Z-20 F200", u"N2 X50", u"M02"};
const ProgramLines kVZText = {u"G01", u"X100", u"Z-20"};
const ProgramLines kNC31Text = {u"N0000 G1 X100 Z-200 F150", u"M3"};

enum class Kind { C42, VZ, NC31 };

Bytes convert(Kind kind, const ProgramLines &lines) {
  Conversion conv;
  size_t n = 0;
  bool ok = false;
  switch (kind) {
    case Kind::C42: ok = Write2C42(conv, lines, true, true, {}, n); break;
    case Kind::VZ: ok = WriteVZ(conv, lines, true, {}, n); break;
    case Kind::NC31: ok = WriteNC31(conv, lines, {}, n); break;
  }
  EXPECT_TRUE(ok);
  return Bytes(conv.result().begin(), conv.result().begin() + static_cast<std::ptrdiff_t>(n));
}

// One program of a test project: a text converted when the project is written, or a binary.
struct Program {
  std::string name;
  bool text;
  ProgramLines lines;  // text programs
  Bytes image;         // binary programs; for text programs the image the conversion gives
};

TDevCatalogEntry entryOf(const Program &p, int cat_num, uint16_t prog_num) {
  TDevCatalogEntry e;
  e.cat_num = cat_num;
  e.prog_num = prog_num;
  std::u16string name(p.name.begin(), p.name.end());
  StringToCatalogEntry(name, e);
  e.text = std::make_shared<ProgramText>();
  if (p.text) {
    *e.text = p.lines;
    e.need_p_proc = true;
    e.file_txt_valid = true;
  } else {
    e.p_buffer = std::make_shared<ProgramImage>(p.image);
    e.prog_size = static_cast<uint32_t>(p.image.size());
    e.file_bin_valid = true;
  }
  return e;
}

// Writes a project of `programs` (catalog numbers 0, 1, ...; program numbers from 13 on, as the
// НЦ-31 numbering wants them) with the project codec.
void writeProject(const std::string &path, const std::vector<Program> &programs, TDeviceType device,
                  int32_t processor_type) {
  ProjectOptions o;
  o.DeviceType = device;
  o.processing.enabled = true;
  o.processing.project_type = processor_type;
  ProjectContent content;
  content.options = OptionsRecord(o);
  for (size_t i = 0; i < programs.size(); ++i)
    content.entries.push_back(entryOf(programs[i], static_cast<int>(i), static_cast<uint16_t>(13 + i)));
  ASSERT_EQ(WriteProjectContent(path, content), ProjectError::None);
}

std::string nameOf(const TDevCatalogEntry &e) {
  const auto n = ByteArrayToString(e.code, kCatalogCodeSize);
  return std::string(n.begin(), n.end());
}

// The project read back holds exactly these programs, in catalog order, with their images.
void expectProject(const std::string &path, const std::vector<Program> &programs) {
  ProjectContent read;
  ASSERT_EQ(ReadProjectContent(path, read), ProjectError::None);
  ASSERT_EQ(read.entries.size(), programs.size());
  for (size_t i = 0; i < programs.size(); ++i) {
    SCOPED_TRACE(programs[i].name);
    const auto &e = read.entries[i];
    EXPECT_EQ(e.cat_num, static_cast<int>(i));
    EXPECT_EQ(e.prog_num, 13 + i);
    EXPECT_EQ(nameOf(e), programs[i].name);
    ASSERT_TRUE(e.file_bin_valid);
    ASSERT_TRUE(e.p_buffer);
    EXPECT_EQ(*e.p_buffer, programs[i].image);
    EXPECT_EQ(e.file_error_code, feOK);
  }
}

// Where `image` lies on the module (the project file does not keep the page placement).
size_t find(const Bytes &module, const Bytes &image) {
  const auto at = std::search(module.begin(), module.end(), image.begin(), image.end());
  EXPECT_NE(at, module.end());
  return at == module.end() ? 0 : static_cast<size_t>(at - module.begin());
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

std::vector<Program> mixedPrograms(Kind converted) {
  std::vector<Program> p;
  if (converted == Kind::C42) {
    p.push_back({"c42", true, kC42Text, convert(Kind::C42, kC42Text)});
    p.push_back({"vz", false, {}, convert(Kind::VZ, kVZText)});
    p.push_back({"nc31", false, {}, convert(Kind::NC31, kNC31Text)});
  } else {
    p.push_back({"nc31", true, kNC31Text, convert(Kind::NC31, kNC31Text)});
    p.push_back({"c42", false, {}, convert(Kind::C42, kC42Text)});
    p.push_back({"vz", false, {}, convert(Kind::VZ, kVZText)});
  }
  return p;
}

TEST(DeviceCliLan, WritesReadsVerifiesAndReportsDamage) {
  auto module = std::make_shared<sim::ModuleMemory>(3);
  auto controller = startLoopbackSimulator(module);
  const std::string lan = "device --lan " + controller->Config().address + " ";
  CliRunner cli;
  const auto programs = mixedPrograms(Kind::C42);
  writeProject(cli.path("p.kvt"), programs, dtSMP2C42, 0);

  ASSERT_EQ(cli.run(lan + "write-project p.kvt"), 0) << cli.err;
  EXPECT_TRUE(contains(cli.out, "Проект записан в МП.")) << cli.out;
  ASSERT_EQ(cli.run(lan + "read-project r.kvt"), 0) << cli.err;
  expectProject(cli.path("r.kvt"), programs);
  ASSERT_EQ(cli.run(lan + "verify p.kvt"), 0) << cli.out << cli.err;
  EXPECT_TRUE(contains(cli.out, "Проект и МП совпадают.")) << cli.out;

  // One byte of the middle program changes on the module.
  auto bytes = module->Contents();
  bytes[find(bytes, programs[1].image) + 2] ^= 0x5A;
  ASSERT_TRUE(module->SetContents(bytes));

  EXPECT_EQ(cli.run(lan + "verify p.kvt"), 1);
  EXPECT_TRUE(contains(cli.out, "слот каталога 1 (vz)")) << cli.out;
  EXPECT_FALSE(contains(cli.out, "(c42)")) << cli.out;
  EXPECT_FALSE(contains(cli.out, "(nc31)")) << cli.out;
  EXPECT_TRUE(contains(cli.err, "Проект и МП различаются.")) << cli.err;

  // The read goes on after the control-sum error, names the program and fails; the project read
  // is saved with every program.
  EXPECT_EQ(cli.run(lan + "read-project damaged.kvt"), 1);
  EXPECT_TRUE(contains(cli.err, "Ошибка чтения файла! 1 (vz)")) << cli.err;
  EXPECT_TRUE(contains(cli.err, "ошибками контрольной суммы: 1 (vz)")) << cli.err;
  ProjectContent damaged;
  ASSERT_EQ(ReadProjectContent(cli.path("damaged.kvt"), damaged), ProjectError::None);
  ASSERT_EQ(damaged.entries.size(), 3u);
  EXPECT_NE(*damaged.entries[1].p_buffer, programs[1].image);  // as read, damage included
  EXPECT_EQ(*damaged.entries[2].p_buffer, programs[2].image);
}

TEST(DeviceCliLan, BuiltInModuleAndAbsentController) {
  auto smp = std::make_shared<sim::ModuleMemory>(3);
  auto wmp = std::make_shared<sim::ModuleMemory>(1);
  auto controller = startLoopbackSimulator(smp, wmp);
  const std::string lan = "device --lan " + controller->Config().address + ":30000 --module wmp ";
  CliRunner cli;
  const auto programs = mixedPrograms(Kind::C42);
  writeProject(cli.path("p.kvt"), programs, dtWMP2C42, 0);
  ASSERT_EQ(cli.run(lan + "write-project p.kvt"), 0) << cli.err;
  EXPECT_EQ(smp->Contents(), std::vector<uint8_t>(smp->Contents().size(), 0xFF));  // the other module
  ASSERT_EQ(cli.run(lan + "status"), 0) << cli.err;
  EXPECT_TRUE(contains(cli.out, "ВМП-???? ")) << cli.out;

  controller->Stop();
  EXPECT_EQ(cli.run(lan + "read-project r.kvt"), 1);
  EXPECT_EQ(cli.err, "kalvort-cli: Устройство не отвечает\n");
  EXPECT_FALSE(std::filesystem::exists(cli.path("r.kvt")));
}

TEST(DeviceCliUsb, Nc31ProjectRoundTrip) {
  CliRunner cli;
  cli.virtual_kind = "2000";
  const auto programs = mixedPrograms(Kind::NC31);
  writeProject(cli.path("p.kvt"), programs, dtProg, 1);

  ASSERT_EQ(cli.run("device --usb write-project p.kvt"), 0) << cli.err;
  ASSERT_EQ(cli.run("device --usb --processor nc31 read-project r.kvt"), 0) << cli.err;
  expectProject(cli.path("r.kvt"), programs);
  ProjectContent read;
  ASSERT_EQ(ReadProjectContent(cli.path("r.kvt"), read), ProjectError::None);
  EXPECT_EQ(OptionsFromRecord(read.options).DeviceType, dtProg);
  EXPECT_EQ(OptionsFromRecord(read.options).processing.project_type, 1);
  ASSERT_EQ(cli.run("device --usb verify p.kvt"), 0) << cli.out << cli.err;

  // Ctrl+C cancels the running write: the command ends at once with the cancel message.
  cli.wrapper = "timeout --preserve-status -s INT 1";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(cli.run("device --usb write-project p.kvt"), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  EXPECT_TRUE(contains(cli.err, "kalvort-cli: Текущее действие отменено\n")) << cli.err;
}

TEST(DeviceCliUsb, RefusedWritesLeaveTheModuleAlone) {
  CliRunner cli;
  cli.virtual_kind = "1";  // 512 pages of 264 bytes
  std::vector<Program> small = {{"small", false, {}, Bytes(300, 0x11)}};
  writeProject(cli.path("small.kvt"), small, dtProg, 0);
  ASSERT_EQ(cli.run("device --usb write-project small.kvt"), 0) << cli.err;
  const std::string before = readFileBytes(cli.moduleFile());
  ASSERT_FALSE(before.empty());

  std::vector<Program> big = {{"big", false, {}, Bytes(140000, 0x22)}};
  writeProject(cli.path("big.kvt"), big, dtProg, 0);
  EXPECT_EQ(cli.run("device --usb write-project big.kvt"), 1);
  EXPECT_EQ(cli.err, "kalvort-cli: В МП недостаточно места для записи проекта.\n");
  EXPECT_EQ(readFileBytes(cli.moduleFile()), before);

  // A text program that does not convert: its name and line are given, nothing is written.
  std::vector<Program> bad = {{"good", true, kC42Text, {}}, {"bad", true, {u"%", u"N1 X1", u"N2 Ж"}, {}}};
  writeProject(cli.path("bad.kvt"), bad, dtProg, 0);
  EXPECT_EQ(cli.run("device --usb write-project bad.kvt"), 1);
  EXPECT_EQ(cli.err, "kalvort-cli: Неверный символ: программа 1 (bad), строка 3\n");
  EXPECT_EQ(readFileBytes(cli.moduleFile()), before);
}

// A project whose bytes the module file cannot take (here: a file-size limit below the module's
// size, which fails the save as a full disk would) is not reported as written.
TEST(DeviceCliUsb, AWriteTheModuleFileCannotKeepFails) {
  CliRunner cli;
  cli.virtual_kind = "1";  // 512 pages of 264 bytes
  std::vector<Program> small = {{"small", false, {}, Bytes(300, 0x11)}};
  writeProject(cli.path("small.kvt"), small, dtProg, 0);
  ASSERT_EQ(cli.run("device --usb status"), 0) << cli.err;
  const std::string before = readFileBytes(cli.moduleFile());
  ASSERT_EQ(before.size(), 512u * 264u);

  cli.wrapper = "prlimit --fsize=100000";
  EXPECT_EQ(cli.run("device --usb write-project small.kvt"), 1);
  EXPECT_TRUE(contains(cli.err, "kalvort-cli: Ошибка записи каталога\n")) << cli.err;
  EXPECT_FALSE(contains(cli.out, "Проект записан в МП.")) << cli.out;
  EXPECT_EQ(readFileBytes(cli.moduleFile()), before);
}

TEST(DeviceCliUsb, ImagesTestAndErase) {
  CliRunner cli;
  cli.virtual_kind = "1";
  std::vector<Program> one = {{"one", false, {}, Bytes(1000, 0x33)}};
  writeProject(cli.path("p.kvt"), one, dtProg, 0);
  ASSERT_EQ(cli.run("device --usb write-project p.kvt"), 0) << cli.err;

  ASSERT_EQ(cli.run("device --usb read-image img.bin"), 0) << cli.err;
  std::string image = readFileBytes(cli.path("img.bin"));
  EXPECT_EQ(image, readFileBytes(cli.moduleFile()));

  ASSERT_EQ(cli.run("device --usb --timeout-factor 1 test"), 0) << cli.err;
  EXPECT_TRUE(contains(cli.out, "Тест МП завершен. Ошибок нет.")) << cli.out;

  image[5000] = '\x42';
  writeFileBytes(cli.path("img2.bin"), image);
  ASSERT_EQ(cli.run("device --usb write-image img2.bin"), 0) << cli.err;
  EXPECT_EQ(readFileBytes(cli.moduleFile()), image);

  ASSERT_EQ(cli.run("device --usb erase"), 0) << cli.err;
  EXPECT_TRUE(contains(cli.out, "Очистка МП завершена")) << cli.out;
  ASSERT_EQ(cli.run("device --usb read-project empty.kvt"), 0) << cli.err;
  ProjectContent empty;
  ASSERT_EQ(ReadProjectContent(cli.path("empty.kvt"), empty), ProjectError::None);
  EXPECT_TRUE(empty.entries.empty());
  EXPECT_EQ(cli.run("device --usb verify p.kvt"), 1);

  // Without a module nothing is read, and the existing image file stays as it was.
  cli.virtual_kind = "none";
  EXPECT_EQ(cli.run("device --usb read-image img.bin"), 1);
  EXPECT_EQ(cli.err, "kalvort-cli: МП не подключен\n");
  EXPECT_EQ(readFileBytes(cli.path("img.bin")).size(), image.size());
  EXPECT_EQ(cli.run("device --usb status"), 1);
  EXPECT_TRUE(contains(cli.out, "Программатор. v 2.0.9")) << cli.out;
}

TEST(DeviceCli, UsageErrors) {
  CliRunner cli;
  for (const char *args : {"device status", "device --usb --lan 127.0.0.1 status", "device --usb frobnicate",
                           "device --usb erase extra", "device --usb read-project",
                           "device --usb --timeout-factor 6 status", "device --lan 127.0.0.1 --module xmp status",
                           "device --usb --module smp status", "device --lan 127.0.0.1:0 status",
                           "device --lan localhost status", "device --usb --full read-image x.bin",
                           "device --usb --processor z80 read-project x.kvt", "device --usb --bogus status"}) {
    SCOPED_TRACE(args);
    EXPECT_EQ(cli.run(args), 2);
    EXPECT_TRUE(contains(cli.err, "Try 'kalvort-cli --help'")) << cli.err;
  }
  // A project that cannot be opened is reported before the device is touched.
  cli.virtual_kind = "none";
  EXPECT_EQ(cli.run("device --usb write-project missing.kvt"), 1);
  EXPECT_TRUE(contains(cli.err, "Ошибка открытия файла. missing.kvt")) << cli.err;
}

}  // namespace
}  // namespace kalvort::test
