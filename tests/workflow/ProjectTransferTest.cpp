// Project transfer chains against the in-memory module: write, read back, verify, refusals,
// control-sum errors, cancellation, erase, test and images.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/CodePage.h"
#include "sim/MemoryDevice.h"
#include "support/CatalogPrograms.h"
#include "module/ModuleMemory.h"
#include "workflow/ProjectTransfer.h"

namespace kalvort {
namespace {

// Density index 1: 512 pages of 264 bytes.
constexpr int kSmallModule = 1;
constexpr int kPageSize = 264;

using testing::Program;

void AddOrFail(TDevCatalog &catalog, const std::vector<Program> &programs) {
  ASSERT_TRUE(testing::AddPrograms(catalog, programs));
}

ProgramImage Bytes(const TDevCatalogEntry &e) { return testing::BytesOf(e); }

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override { Make(kSmallModule, dtProg); }

  void Make(int density, TDeviceType type) {
    transfer.reset();
    device.reset();
    module = std::make_shared<sim::ModuleMemory>(density);
    device = std::make_unique<sim::TMemoryDevice>(module, type);
    transfer = std::make_unique<ProjectTransfer>(*device);
  }

  // Writes `programs` with `options`, expecting success.
  void WriteProject(const std::vector<Program> &programs, const Options &options) {
    project.Programs().CatalogClear();
    AddOrFail(project.Programs(), programs);
    project.Options() = options;
    const TransferResult r = transfer->RunWriteProject(project);
    ASSERT_TRUE(r.ok()) << r.message;
  }

  std::shared_ptr<sim::ModuleMemory> module;
  std::unique_ptr<sim::TMemoryDevice> device;
  std::unique_ptr<ProjectTransfer> transfer;
  Project project;
};

Options ConverterOptions(int processor, bool vz = false) {
  Options o;
  o.processing.project_type = processor;
  o.vz20_format = vz;
  return o;
}

const std::vector<Program> kC42 = {
    {0, u"ВАЛ-1", {u"%", u"N1 G01 X100", u"M02"}, {}},
    {3, u"ФЛАНЕЦ", {u"G00 Z5", u"M30"}, {}},
    {7, u"BIN", {}, ProgramImage(700, 0x5A)},
};
const std::vector<Program> kVZ = {
    {1, u"ВЗ-А", {u"G01 X100", u"", u"СТОП"}, {}},
    {2, u"ВЗ-Б", {u"X1"}, {}},
};
const std::vector<Program> kNC31 = {
    {0, u"НЦ-0", {u"N0000 G1 X100 Z200", u"M3"}, {}},
    {5, u"НЦ-5", {u"X-100 Z1"}, {}},
};

struct RoundTripCase {
  const char *label;
  std::vector<Program> programs;
  Options options;
};

TEST_F(TransferTest, WrittenProjectReadsBackAndVerifies) {
  const std::vector<RoundTripCase> cases = {
      {"2C42", kC42, ConverterOptions(0)},
      {"VZ", kVZ, ConverterOptions(0, true)},
      {"NC31", kNC31, ConverterOptions(1)}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.label);
    Make(kSmallModule, dtProg);
    std::vector<std::string> statuses;
    transfer->SetCallbacks({{}, [&](const std::string &s) { statuses.push_back(s); }, {}});
    WriteProject(c.programs, c.options);
    ASSERT_EQ(statuses.size(), c.programs.size() + 1);
    EXPECT_EQ(statuses[1], "1. " + toUtf8(c.programs[0].name));

    // What was written: every program converted, numbered and summed.
    std::vector<TDevCatalogEntry> written;
    for (int i = 0; i < project.Programs().CatalogCount(); ++i) {
      written.push_back(project.Programs().Catalog(i));
      EXPECT_TRUE(written.back().file_bin_valid);
      EXPECT_GT(written.back().prog_size, 0u);
    }
    if (c.options.processing.project_type == 1) {
      EXPECT_EQ(written[1].cat_num, 5);  // fixed slots keep their numbers
      EXPECT_EQ(written[1].prog_size, 4408u);
    }

    Project expected;
    AddOrFail(expected.Programs(), c.programs);
    expected.Options() = c.options;
    const VerifyReport report = transfer->RunVerify(expected);
    EXPECT_TRUE(report.match()) << (report.differences.empty() ? report.read.message : report.differences[0].what);

    project.Programs().CatalogClear();
    const TransferResult read = transfer->RunReadProject(project);
    ASSERT_TRUE(read.ok()) << read.message;
    ASSERT_EQ(project.Programs().CatalogCount(), static_cast<int>(written.size()));
    for (size_t i = 0; i < written.size(); ++i) {
      const TDevCatalogEntry back = project.Programs().Catalog(static_cast<int>(i));
      EXPECT_EQ(back.cat_num, written[i].cat_num);
      EXPECT_EQ(back.prog_size, written[i].prog_size);
      EXPECT_EQ(back.control_sum, written[i].control_sum);
      EXPECT_EQ(Bytes(back), Bytes(written[i]));
      EXPECT_EQ(ByteArrayToString(back.code, 127), ByteArrayToString(written[i].code, 127));
      EXPECT_TRUE(back.file_bin_valid);
    }
  }
}

TEST_F(TransferTest, VerifyNamesTheProgramWhoseModuleByteChanged) {
  WriteProject(kC42, ConverterOptions(0));
  const TDevCatalogEntry second = project.Programs().Catalog(1);
  std::vector<uint8_t> image = module->Contents();
  image[second.first_page * kPageSize + 2] ^= 0x01;  // programming only clears bits: rewrite it all
  ASSERT_TRUE(module->SetContents(image));

  Project expected;
  AddOrFail(expected.Programs(), kC42);
  const VerifyReport report = transfer->RunVerify(expected);
  EXPECT_TRUE(report.read.ok());
  EXPECT_FALSE(report.match());
  ASSERT_FALSE(report.differences.empty());
  for (const auto &d : report.differences) {
    EXPECT_EQ(d.name, "ФЛАНЕЦ");
    EXPECT_EQ(d.cat_num, 1);
  }

  // A program missing on the module is named too.
  AddOrFail(expected.Programs(), {{20, u"ЛИШНЯЯ", {}, ProgramImage(10, 1)}});
  const VerifyReport extra = transfer->RunVerify(expected);
  bool named = false;
  for (const auto &d : extra.differences) named |= d.name == "ЛИШНЯЯ" && d.what == "нет в МП";
  EXPECT_TRUE(named);
}

TEST_F(TransferTest, ProjectLargerThanTheModuleIsRefusedWithoutWriting) {
  project.Programs().CatalogClear();
  AddOrFail(project.Programs(), {{0, u"BIG", {}, ProgramImage(512 * kPageSize, 0x11)}});
  const uint64_t before = module->Generation();
  const TransferResult r = transfer->RunWriteProject(project);
  EXPECT_EQ(r.status, TransferStatus::Refused);
  EXPECT_EQ(r.message, "В МП недостаточно места для записи проекта.");
  EXPECT_EQ(r.title, "Записать в МП");
  EXPECT_TRUE(r.warning);
  EXPECT_EQ(module->Generation(), before);
  EXPECT_EQ(module->OperationCount(sim::ModuleOp::Erase), 0u);

  // The refused layout is not held against an empty project written next.
  project.Programs().CatalogClear();
  EXPECT_TRUE(transfer->RunWriteProject(project).ok());
}

TEST_F(TransferTest, RepeatedOrOutOfRangeNumbersAreRefusedBeforeErasing) {
  struct Case {
    const char *label;
    int processor;
    int first, second;
  };
  const Case cases[] = {
      {"packed, repeated", 0, 4, 4},
      {"packed, beyond the catalog", 0, 0, 100},
      {"packed, negative", 0, -3, 1},
      {"fixed slots, repeated", 1, 2, 2},
      {"fixed slots, beyond the catalog", 1, 1, 150},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.label);
    project.Programs().CatalogClear();
    AddOrFail(project.Programs(), {{0, u"A", {}, ProgramImage(30, 1)}, {1, u"B", {}, ProgramImage(30, 2)}});
    TDevCatalogEntry e = project.Programs().Catalog(0);
    e.cat_num = c.first;
    project.Programs().SetCatalog(0, e);
    e = project.Programs().Catalog(1);
    e.cat_num = c.second;
    project.Programs().SetCatalog(1, e);
    project.Options() = ConverterOptions(c.processor);
    const uint64_t before = module->Generation();
    const TransferResult r = transfer->RunWriteProject(project);
    EXPECT_EQ(r.status, TransferStatus::Refused);
    EXPECT_EQ(r.message, "Номера программ в каталоге повторяются или выходят за пределы каталога.");
    EXPECT_EQ(r.title, "Записать в МП");
    EXPECT_TRUE(r.warning);
    EXPECT_EQ(module->Generation(), before);
  }
  EXPECT_EQ(module->OperationCount(sim::ModuleOp::Erase), 0u);
}

TEST_F(TransferTest, ControlSumErrorsAskBeforeGoingOnExceptAfterTheLast) {
  const std::vector<Program> three = {{0, u"P0", {}, ProgramImage(300, 0x10)},
                                      {1, u"P1", {}, ProgramImage(300, 0x20)},
                                      {2, u"P2", {}, ProgramImage(300, 0x30)}};
  WriteProject(three, ConverterOptions(0));
  const TDevCatalogEntry first = project.Programs().Catalog(0);
  const TDevCatalogEntry last = project.Programs().Catalog(2);
  module->CorruptByte(first.first_page * kPageSize + 5, 0x00);
  module->CorruptByte(last.first_page * kPageSize + 5, 0x00);

  std::vector<int> asked;
  bool answer = false;
  transfer->SetCallbacks({{}, {}, [&](int i, const TDevCatalogEntry &) {
                            asked.push_back(i);
                            return answer;
                          }});
  // Declined: the read stops after the first program, which is kept and marked.
  TransferResult r = transfer->RunReadProject(project);
  EXPECT_EQ(r.status, TransferStatus::Stopped);
  EXPECT_EQ(r.error, deCSError);
  EXPECT_EQ(asked, std::vector<int>{0});
  EXPECT_EQ(project.Programs().Catalog(0).file_error_code, feCSError);
  EXPECT_TRUE(project.Programs().Catalog(0).file_bin_valid);
  EXPECT_FALSE(project.Programs().Catalog(1).file_bin_valid);

  // Accepted: every program is read; the last one's error asks nothing.
  asked.clear();
  answer = true;
  r = transfer->RunReadProject(project);
  EXPECT_EQ(r.status, TransferStatus::ChecksumErrors);
  EXPECT_EQ(r.message, "Ошибка чтения файла!");
  EXPECT_EQ(r.cs_error_entries, (std::vector<int>{0, 2}));
  EXPECT_EQ(asked, std::vector<int>{0});
  EXPECT_EQ(project.Programs().Catalog(1).file_error_code, feOK);
  EXPECT_EQ(project.Programs().Catalog(2).file_error_code, feCSError);
}

TEST_F(TransferTest, ModuleLostBetweenStepsEndsTheChainWithItsError) {
  project.Programs().CatalogClear();
  AddOrFail(project.Programs(), {{0, u"A", {}, ProgramImage(30, 1)}, {1, u"B", {}, ProgramImage(30, 2)}});
  int statuses = 0;
  // The module goes away between the catalog and the first program: that step fails. (A removal
  // event of the programmer arriving then waits for the end of the chain.)
  transfer->SetCallbacks({{}, [&](const std::string &s) {
                            ++statuses;
                            if (s.rfind("1. ", 0) == 0) module->Remove();
                          }, {}});
  const TransferResult r = transfer->RunWriteProject(project);
  EXPECT_EQ(r.status, TransferStatus::Failed);
  EXPECT_EQ(r.message, "Ошибка записи программы\nПрограмма 1 (A): " + StepFailureCause(r.error) + "\n" +
                           kIncompleteModule);
  EXPECT_EQ(r.title, "Ошибка");
  EXPECT_EQ(r.entry_index, 0);
  EXPECT_NE(r.error, deOK);
  EXPECT_EQ(statuses, 2);
  EXPECT_FALSE(transfer->Running());
}

// The device works on a copy: comparing with the module and a read that fails part way leave the
// project as it was, although the device's own catalog then holds what the module gave.
TEST_F(TransferTest, VerifyAndAFailedReadLeaveTheProjectAsItWas) {
  WriteProject(kC42, ConverterOptions(0));
  Project other;
  AddOrFail(other.Programs(), {{4, u"ДРУГАЯ", {}, ProgramImage(40, 3)}, {5, u"ЕЩЕ", {}, ProgramImage(50, 4)}});
  ASSERT_TRUE(transfer->RunWriteProject(other).ok());
  const uint64_t revision = project.Programs().Revision();

  EXPECT_FALSE(transfer->RunVerify(project).match());
  EXPECT_EQ(project.Programs().Revision(), revision);
  EXPECT_EQ(device->CatalogCount(), 2);

  transfer->SetCallbacks({{}, [&](const std::string &s) {
                            if (s.rfind("2. ", 0) == 0) module->Remove();
                          }, {}});
  EXPECT_EQ(transfer->RunReadProject(project).status, TransferStatus::Failed);
  EXPECT_EQ(project.Programs().Revision(), revision);
  ASSERT_EQ(project.Programs().CatalogCount(), static_cast<int>(kC42.size()));
  EXPECT_EQ(project.Programs().Catalog(0).cat_num, kC42[0].cat_num);
}

// A step that fails part way names the program and the cause; only a write that has begun to
// change the module says the module now holds part of the project.
TEST_F(TransferTest, FailedProgramStepNamesTheProgramAndTheCause) {
  const std::vector<Program> three = {{0, u"ПЕРВАЯ", {}, ProgramImage(300, 1)},
                                      {1, u"ВТОРАЯ", {}, ProgramImage(300, 2)},
                                      {2, u"ТРЕТЬЯ", {}, ProgramImage(300, 3)}};
  struct Case {
    const char *label;
    bool write;
    sim::ModuleOp op;
    std::string message;
  };
  const Case cases[] = {
      {"write", true, sim::ModuleOp::Write,
       "Ошибка записи программы\nПрограмма 2 (ВТОРАЯ): ошибка выполнения операции\nСодержимое МП неполное."},
      {"read", false, sim::ModuleOp::Read, "Ошибка чтения программы\nПрограмма 2 (ВТОРАЯ): ошибка выполнения операции"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.label);
    WriteProject(three, ConverterOptions(0));
    // The module fails from the second program's step on.
    transfer->SetCallbacks({{}, [&](const std::string &s) {
                              if (s.rfind("2. ", 0) == 0) module->FailOperation(c.op, 0, -1);
                            }, {}});
    const TransferResult r = c.write ? transfer->RunWriteProject(project) : transfer->RunReadProject(project);
    transfer->SetCallbacks({});
    module->ClearFaults();
    EXPECT_EQ(r.status, TransferStatus::Failed);
    EXPECT_EQ(r.entry_index, 1);
    EXPECT_EQ(r.message, c.message);
  }
}

// A write cancelled before its first step leaves the module as it was; once the catalog step has
// begun the module holds part of the project, and the message says so.
TEST_F(TransferTest, CancelledWriteSaysWhetherTheModuleIsIncomplete) {
  const struct {
    const char *at;  // status text at which the cancel comes
    const char *message;
  } cases[] = {{"Очистка МП и запись каталога...", "Текущее действие отменено"},
               {"2. B", "Текущее действие отменено\nСодержимое МП неполное."}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.at);
    project.Programs().CatalogClear();
    AddOrFail(project.Programs(), {{0, u"A", {}, ProgramImage(30, 1)}, {1, u"B", {}, ProgramImage(30, 2)}});
    const uint64_t erased = module->OperationCount(sim::ModuleOp::Erase);
    transfer->SetCallbacks({{}, [&](const std::string &s) {
                              if (s == c.at) transfer->Cancel();
                            }, {}});
    const TransferResult r = transfer->RunWriteProject(project);
    EXPECT_EQ(r.status, TransferStatus::Cancelled);
    EXPECT_EQ(r.message, c.message);
    EXPECT_EQ(module->OperationCount(sim::ModuleOp::Erase) > erased, std::string(c.at) == "2. B");
  }
  transfer->SetCallbacks({});
}

TEST_F(TransferTest, CauseOfEveryDeviceError) {
  const std::pair<TDeviceError, const char *> cases[] = {
      {deOperationTimeout, "устройство не отвечает"}, {deCSError, "ошибка контрольной суммы"},
      {deEraseError, "ошибка очистки МП"},            {deCheckError, "ошибка проверки МП"},
      {deSMPNotConnected, "МП не подключен"},         {static_cast<TDeviceError>(42), "код ошибки 42"}};
  for (const auto &[error, text] : cases) EXPECT_EQ(StepFailureCause(error), text);
}

// A completed write and read tell the programs and bytes they moved; the overall progress goes
// through every program and ends at the total.
TEST_F(TransferTest, TotalsAndOverallProgress) {
  project.Programs().CatalogClear();
  AddOrFail(project.Programs(), {{0, u"A", {}, ProgramImage(300, 1)}, {1, u"B", {}, ProgramImage(1000, 2)},
                        {2, u"C", {}, ProgramImage(40, 3)}});
  for (bool write : {true, false}) {
    SCOPED_TRACE(write);
    std::vector<TransferProgress> seen;
    TransferCallbacks callbacks;
    callbacks.overall = [&](const TransferProgress &p) { seen.push_back(p); };
    transfer->SetCallbacks(callbacks);
    const TransferResult r = write ? transfer->RunWriteProject(project) : transfer->RunReadProject(project);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(r.programs, 3);
    EXPECT_EQ(r.bytes, 1340);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().program, 1);
    EXPECT_EQ(seen.front().done_bytes, 0);
    EXPECT_EQ(seen.back().program, 3);
    EXPECT_EQ(seen.back().done_bytes, 1340);
    for (size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].programs, 3);
      EXPECT_EQ(seen[i].total_bytes, 1340);
      if (i > 0) {
        EXPECT_GE(seen[i].done_bytes, seen[i - 1].done_bytes);
      }
    }
  }
  transfer->SetCallbacks({});
  // Images: the module's size either way.
  std::stringstream image(std::ios::in | std::ios::out | std::ios::binary);
  const TransferResult read = transfer->RunReadImage(image);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.bytes, static_cast<int64_t>(module->Contents().size()));
  image.seekg(0);
  const TransferResult written = transfer->RunWriteImage(image);
  ASSERT_TRUE(written.ok());
  EXPECT_EQ(written.bytes, read.bytes);
}

TEST_F(TransferTest, EraseLeavesAnEmptyCatalogAndTestPasses) {
  WriteProject(kC42, ConverterOptions(0));
  for (bool full : {false, true}) {
    SCOPED_TRACE(full);
    const TransferResult erased = transfer->RunErase(full);
    EXPECT_TRUE(erased.ok());
    EXPECT_EQ(erased.message, "Очистка МП завершена");
    const TransferResult read = transfer->RunReadProject(project);
    EXPECT_TRUE(read.ok());
    EXPECT_EQ(project.Programs().CatalogCount(), 0);
  }
  const TransferResult tested = transfer->RunTest(false);
  EXPECT_TRUE(tested.ok());
  EXPECT_EQ(tested.message, "Тест МП завершен. Ошибок нет.");
}

TEST_F(TransferTest, ImageReadThenWrittenRestoresTheModule) {
  WriteProject(kC42, ConverterOptions(0));
  const std::vector<uint8_t> original = module->Contents();
  std::stringstream image(std::ios::in | std::ios::out | std::ios::binary);
  ASSERT_TRUE(transfer->RunReadImage(image).ok());
  ASSERT_TRUE(transfer->RunErase(true).ok());
  image.seekg(0);
  ASSERT_TRUE(transfer->RunWriteImage(image).ok());
  EXPECT_EQ(module->Contents(), original);
}

TEST_F(TransferTest, ImageWriteRefusesEmptyOrOversizedImageBeforeErasing) {
  WriteProject(kC42, ConverterOptions(0));
  const std::vector<uint8_t> original = module->Contents();
  const std::string fits(original.size(), '\x11');
  struct Case {
    std::string bytes;
    size_t skip;  // read position the caller leaves the stream at
    bool ok;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", 0, false, "Файл образа пуст."},
      {"abc", 3, false, "Файл образа пуст."},
      {fits + "x", 0, false,
       "Образ больше МП: " + std::to_string(fits.size() + 1) + " байт, МП вмещает " + std::to_string(fits.size()) +
           " байт."},
      {"x" + fits, 1, true, ""},
  };
  for (const Case &c : cases) {
    std::stringstream image(c.bytes, std::ios::in | std::ios::out | std::ios::binary);
    image.seekg(static_cast<std::streamoff>(c.skip));
    const TransferResult r = transfer->RunWriteImage(image);
    EXPECT_EQ(r.ok(), c.ok) << c.bytes.size();
    if (c.ok) continue;
    EXPECT_EQ(r.status, TransferStatus::Refused);
    EXPECT_EQ(r.title, "Записать образ на МП");
    EXPECT_EQ(r.message, c.message);
    EXPECT_TRUE(r.warning);
    EXPECT_EQ(module->Contents(), original);  // nothing erased
  }
  EXPECT_EQ(module->Contents(), std::vector<uint8_t>(fits.begin(), fits.end()));
}

TEST_F(TransferTest, CancelFromAnotherThreadEndsTheChain) {
  module->SetBusyTimes(std::chrono::milliseconds(20), std::chrono::microseconds(0));
  std::atomic<bool> once{false};
  // The progress callback runs on the device's worker thread.
  transfer->SetCallbacks({[&](int position) {
                            if (position > 0 && !once.exchange(true)) transfer->Cancel();
                          }, {}, {}});
  const TransferResult r = transfer->RunErase(true);
  EXPECT_EQ(r.status, TransferStatus::Cancelled);
  EXPECT_EQ(r.message, "Текущее действие отменено");
  EXPECT_FALSE(transfer->Running());
  // The device is usable afterwards.
  module->SetBusyTimes(std::chrono::microseconds(0), std::chrono::microseconds(0));
  EXPECT_TRUE(transfer->RunErase(false).ok());
}

TEST_F(TransferTest, UnprocessedTextIsWrittenAsItsRawCharacters) {
  Options off = ConverterOptions(0);
  off.processing.enabled = false;
  WriteProject({{0, u"RAW", {u"G1 Я", u""}, {}}}, off);
  const ProgramImage expected = {'G', '1', ' ', 0x2F, '\r', '\n', '\r', '\n'};  // Я is U+042F
  EXPECT_EQ(Bytes(project.Programs().Catalog(0)), expected);
}

// The write says how many text programs it gave a binary: the project changed by that much, also
// when the write stopped at a program that does not convert.
TEST_F(TransferTest, WriteCountsTheBinariesItDerived) {
  project.Programs().CatalogClear();
  AddOrFail(project.Programs(), kC42);  // two texts and a binary
  project.Options() = ConverterOptions(0);
  TransferResult r = transfer->RunWriteProject(project);
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(r.derived_binaries, 2);
  r = transfer->RunWriteProject(project);  // every binary valid now
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(r.derived_binaries, 0);

  project.Programs().CatalogClear();
  AddOrFail(project.Programs(), {{0, u"RAW", {u"G1"}, {}}});
  project.Options().processing.enabled = false;  // the text is written as its characters
  r = transfer->RunWriteProject(project);
  ASSERT_TRUE(r.ok()) << r.message;
  EXPECT_EQ(r.derived_binaries, 1);
}

TEST_F(TransferTest, UnconvertibleProgramIsRefusedWithItsLine) {
  project.Programs().CatalogClear();
  AddOrFail(project.Programs(), {{0, u"OK", {u"G1"}, {}}, {1, u"BAD", {u"G1", u"X1", u"Щ"}, {}}});
  project.Options() = ConverterOptions(0);
  const TransferResult r = transfer->RunWriteProject(project);
  EXPECT_EQ(r.status, TransferStatus::Refused);
  EXPECT_EQ(r.derived_binaries, 1);  // "OK" was converted before "BAD" stopped the write
  EXPECT_EQ(r.entry_index, 1);
  EXPECT_EQ(r.conversion.conv_err_code, kConvErrSymbol);
  EXPECT_EQ(r.conversion.conv_err_str_num, 3);
  EXPECT_EQ(r.message, "Неверный символ");
  EXPECT_EQ(project.Programs().Catalog(1).file_error_code, feProcessError);
  EXPECT_EQ(module->OperationCount(sim::ModuleOp::Erase), 0u);
}

TEST_F(TransferTest, MissingModuleAndCapacityTable) {
  module->Remove();
  const TransferResult r = transfer->RunReadProject(project);
  EXPECT_EQ(r.status, TransferStatus::NoModule);
  EXPECT_EQ(r.message, "МП не подключен");
  EXPECT_EQ(r.title, "Прочитать проект из МП");

  TDevCatalog c;
  SetCatalogCapacity(c, dtProg, PostProcessOptionsFor(ConverterOptions(1)), mptMP2000);
  EXPECT_EQ(c.MaxProgNum(), 400);
  EXPECT_EQ(c.MoreMPCatNum(), 1000);
  EXPECT_EQ(c.MoreMPZoneNum(), 1300);
  SetCatalogCapacity(c, dtSMP2C42, PostProcessOptionsFor(ConverterOptions(1)), mptMP2000);
  EXPECT_EQ(c.MaxProgNum(), 100);
  EXPECT_EQ(c.MoreMPZoneNum(), 0);
  EXPECT_EQ(ModuleLabel(dtSMP2C42, 0x84000), "СМП-500 ");
  EXPECT_EQ(ModuleLabel(dtProg, 12345), "ВМП-???? ");
}

TEST(PostProcessOptionsFor, EachConverterOptionComesFromItsOwnOption) {
  struct Case {
    const char *name;
    void (*change)(Options &);
    bool (*changed)(const PostProcessOptions &);
  } cases[] = {
      {"processing", [](Options &o) { o.processing.enabled = false; },
       [](const PostProcessOptions &p) { return !p.need_proc; }},
      {"project type", [](Options &o) { o.processing.project_type = 1; },
       [](const PostProcessOptions &p) { return p.processor_type == 1; }},
      {"merge", [](Options &o) { o.merge_nc31_words = true; },
       [](const PostProcessOptions &p) { return p.merge_wrd_cmd; }},
      {"spaces", [](Options &o) { o.drop_spaces = false; }, [](const PostProcessOptions &p) { return !p.del_space; }},
      {"empty lines", [](Options &o) { o.drop_empty_lines = false; },
       [](const PostProcessOptions &p) { return !p.del_empty_string; }},
      {"ВЗ-20х", [](Options &o) { o.vz20_format = true; }, [](const PostProcessOptions &p) { return p.vz_200; }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Options options;
    EXPECT_FALSE(c.changed(PostProcessOptionsFor(options)));
    c.change(options);
    const PostProcessOptions p = PostProcessOptionsFor(options);
    EXPECT_TRUE(c.changed(p));
    // Nothing else moved.
    for (const Case &other : cases) {
      if (&other == &c) continue;
      EXPECT_FALSE(other.changed(p)) << other.name;
    }
  }
}

}  // namespace
}  // namespace kalvort
