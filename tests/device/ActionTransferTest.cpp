// Catalog and program transfers through the real worker: the slot page layout, the erase
// extents, a project written and read back, control sums and damaged slots.

#include <cstring>

#include "DeviceTestSupport.h"
#include "module/ModuleMemory.h"

namespace kalvort::testing {
namespace {

constexpr uint32_t kPage = 264;  // page size of the small module

uint16_t Le16(const std::vector<uint8_t> &m, size_t at) { return static_cast<uint16_t>(m[at] | (m[at + 1] << 8)); }
uint32_t Le32(const std::vector<uint8_t> &m, size_t at) {
  return m[at] | (m[at + 1] << 8) | (m[at + 2] << 16) | (static_cast<uint32_t>(m[at + 3]) << 24);
}

class ActionTransfer : public DeviceFixture {
 protected:
  // Writes the catalog and then every program, each from the previous completion.
  void WriteProject() {
    ASSERT_EQ(Run([&] { return device->StartBurnCatalog(); }).error, deOK);
    for (int i = 0; i < device->CatalogCount(); ++i) {
      const CompletionCall call = Run([&] { return device->StartBurnFile(i); });
      ASSERT_EQ(call.event, "BurnFile");
      ASSERT_EQ(call.error, deOK) << "program " << i;
    }
  }

  // A raw slot page at page `slot` of the module.
  void PutSlot(std::vector<uint8_t> &bytes, int slot, const std::vector<std::pair<size_t, std::vector<uint8_t>>> &fields) {
    uint8_t *page = bytes.data() + static_cast<size_t>(slot) * kPage;
    std::memset(page, 0xFF, kPage);
    for (const auto &[at, value] : fields) std::memcpy(page + at, value.data(), value.size());
  }
};

TEST_F(ActionTransfer, ProjectIsWrittenAndReadBack) {
  // Two programs in the first 100 slots, one beyond them (slot 105 lies on page 300 + 5).
  device->SetMaxProgNum(110);
  device->SetMoreMPCatNum(300);
  device->SetMoreMPZoneNum(320);
  struct Program {
    std::u16string name;
    uint16_t prog_num;
    uint32_t size;
  } programs[] = {{u"Вал-1", 7, 10}, {u"Шестерня", 12, 528}, {u"Корпус большой детали", 31, 1000}};
  for (uint32_t i = 0; i < 3; ++i) {
    TDevCatalogEntry e = MakeProgram(programs[i].name, programs[i].prog_num, programs[i].size, i + 1);
    e.need_p_proc = i != 1;
    ASSERT_TRUE(device->AddCatalogEntry(e));
  }
  ASSERT_TRUE(device->PrepareCatalog(false, 0));
  TDevCatalogEntry third = device->Catalog(2);
  third.cat_num = 105;
  device->SetCatalog(2, third);

  std::vector<TDevCatalogEntry> written;
  for (int i = 0; i < 3; ++i) written.push_back(device->Catalog(i));
  EXPECT_EQ(written[0].first_page, 110);
  EXPECT_EQ(written[0].last_page, 110);     // 10 bytes: one page, remainder 10
  EXPECT_EQ(written[1].last_page, written[1].first_page + 2);  // 528 bytes: exactly two pages
  ASSERT_NO_FATAL_FAILURE(WriteProject());

  // Slot pages byte for byte.
  const std::vector<uint8_t> m = module->Contents();
  for (int i = 0; i < 3; ++i) {
    const TDevCatalogEntry &e = written[static_cast<size_t>(i)];
    SCOPED_TRACE(i);
    const size_t slot_page = e.cat_num < 100 ? e.cat_num : 300 + e.cat_num - 100;
    const size_t s = slot_page * kPage;
    EXPECT_EQ(m[s + 0], 0x00);
    EXPECT_EQ(Le16(m, s + 1), e.prog_num);
    EXPECT_EQ(Le16(m, s + 3), e.first_page);
    EXPECT_EQ(Le16(m, s + 5), e.last_page);
    EXPECT_EQ(Le16(m, s + 7), e.prog_size % kPage);
    EXPECT_EQ(Le32(m, s + 9), e.control_sum);
    EXPECT_EQ(e.control_sum, Sum(*e.p_buffer));
    EXPECT_EQ(0, std::memcmp(&m[s + 13], e.indic, 16));
    EXPECT_EQ(0, std::memcmp(&m[s + 29], e.code, 128));
    EXPECT_EQ(m[s + 157], 0x02);
    for (size_t k = 158; k < 222; ++k) ASSERT_EQ(m[s + k], 0xFF) << k;
    double date;
    std::memcpy(&date, &m[s + 222], 8);
    EXPECT_EQ(date, e.date);
    EXPECT_EQ(m[s + 230], e.need_p_proc ? 0xFF : 0xFE);
    for (size_t k = 231; k < kPage; ++k) ASSERT_EQ(m[s + k], 0xFF) << k;
    // The program's bytes, and 0xFF after its end in its last page.
    const size_t p = static_cast<size_t>(e.first_page) * kPage;
    EXPECT_EQ(0, std::memcmp(&m[p], e.p_buffer->data(), e.prog_size));
    const size_t end = (static_cast<size_t>(e.last_page) + 1) * kPage;
    for (size_t k = p + e.prog_size; k < end; ++k) ASSERT_EQ(m[k], 0xFF) << k;
  }
  EXPECT_EQ(m[100 * kPage], 0xFF);  // a slot no entry uses stays free

  // Read back: same catalog numbers, fields and binaries.
  device->CatalogClear();
  ASSERT_EQ(Run([&] { return device->StartReadCatalog(); }).error, deOK);
  ASSERT_EQ(device->CatalogCount(), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const TDevCatalogEntry &w = written[static_cast<size_t>(i)];
    TDevCatalogEntry r = device->Catalog(i);
    EXPECT_EQ(r.cat_num, w.cat_num);
    EXPECT_EQ(r.prog_num, w.prog_num);
    EXPECT_EQ(r.first_page, w.first_page);
    EXPECT_EQ(r.last_page, w.last_page);
    EXPECT_EQ(r.prog_size, w.prog_size);
    EXPECT_EQ(r.control_sum, w.control_sum);
    EXPECT_EQ(r.date, w.date);
    EXPECT_EQ(r.need_p_proc, w.need_p_proc);
    EXPECT_EQ(ByteArrayToString(r.code, 128), ByteArrayToString(w.code, 128));
    EXPECT_EQ(0, std::memcmp(r.indic, w.indic, 16));
    EXPECT_FALSE(r.p_buffer);
    const CompletionCall call = Run([&] { return device->StartReadFile(i); });
    EXPECT_EQ(call.event, "GetFile");
    EXPECT_EQ(call.error, deOK);
    r = device->Catalog(i);
    ASSERT_TRUE(r.p_buffer);
    EXPECT_EQ(*r.p_buffer, *w.p_buffer);
    EXPECT_EQ(Sum(*r.p_buffer), r.control_sum);
  }
}

TEST_F(ActionTransfer, CorruptedByteGivesControlSumError) {
  TDevCatalogEntry e = MakeProgram(u"P", 1, 700, 9);
  ASSERT_TRUE(device->AddCatalogEntry(e));
  ASSERT_TRUE(device->PrepareCatalog(false, 0));
  ASSERT_NO_FATAL_FAILURE(WriteProject());
  const TDevCatalogEntry w = device->Catalog(0);
  const uint32_t address = w.first_page * kPage + 500;
  module->CorruptByte(address, static_cast<uint8_t>((*w.p_buffer)[500] ^ 0x5A));

  const CompletionCall call = Run([&] { return device->StartReadFile(0); });
  EXPECT_EQ(call.error, deCSError);
  const TDevCatalogEntry r = device->Catalog(0);
  ASSERT_TRUE(r.p_buffer);  // what was read stays in the entry
  EXPECT_EQ(r.p_buffer->size(), 700u);
  EXPECT_EQ((*r.p_buffer)[500], (*w.p_buffer)[500] ^ 0x5A);
}

TEST_F(ActionTransfer, EraseExtents) {
  // Blocks erased by a catalog write, a catalog-area erase and a whole-module erase of the
  // 512-page module, checked on a module filled with zeros.
  struct Case {
    const char *what;
    TDevAction action;
    int max_prog;
    int zone;
    uint16_t last_page;  // of the only program; 0 = empty catalog
    uint64_t blocks;
  } cases[] = {
      {"empty catalog write", daBurnCat, 100, 0, 0, 13},
      {"empty catalog-area erase", daEraseCat, 100, 0, 0, 13},
      {"program ends on page 205", daBurnCat, 100, 0, 205, 26},
      {"program ends on page 207", daEraseCat, 100, 0, 207, 26},
      {"program ends on page 208", daBurnCat, 100, 0, 208, 27},
      {"more than 100 slots", daEraseCat, 120, 320, 0, 40},
      {"whole module", daEraseFull, 100, 0, 300, 64},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    device->CatalogClear();
    device->SetMaxProgNum(c.max_prog);
    device->SetMoreMPCatNum(c.max_prog > 100 ? 300 : 0);
    device->SetMoreMPZoneNum(c.zone);
    if (c.last_page) {
      TDevCatalogEntry e = MakeProgram(u"P", 1, 10, 1, 3);
      ASSERT_TRUE(device->AddCatalogEntry(e));
      TDevCatalogEntry placed = device->Catalog(0);
      placed.first_page = c.last_page;
      placed.last_page = c.last_page;
      device->SetCatalog(0, placed);
    }
    ASSERT_TRUE(module->SetContents(std::vector<uint8_t>(512 * kPage, 0x00)));
    const uint64_t erases = module->OperationCount(sim::ModuleOp::Erase);
    std::vector<int> progress;
    device->SetProgressBar([&](int p) { progress.push_back(p); });
    const CompletionCall call = Run([&] {
      return c.action == daBurnCat ? device->StartBurnCatalog()
                                   : c.action == daEraseCat ? device->StartEraseCatalog() : device->StartEraseAll();
    });
    device->SetProgressBar(nullptr);
    EXPECT_EQ(call.error, deOK);
    EXPECT_EQ(module->OperationCount(sim::ModuleOp::Erase) - erases, c.blocks);
    const std::vector<uint8_t> m = module->Contents();
    const size_t erased_end = c.blocks * 8 * kPage;
    const bool slot_written = c.action == daBurnCat && c.last_page;
    for (size_t k = slot_written ? 3 * kPage + kPage : 0; k < erased_end; ++k) ASSERT_EQ(m[k], 0xFF) << k;
    if (erased_end < m.size()) {
      EXPECT_EQ(m[erased_end], 0x00);
    }
    if (slot_written) {
      EXPECT_EQ(m[3 * kPage], 0x00);  // the slot of catalog number 3
    }
    // Progress: the erase alone reaches 100 only when no slot follows.
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0);
    const int last = slot_written ? 100 : static_cast<int>((c.blocks - 1) * 100 / c.blocks);
    EXPECT_EQ(progress.back(), last);
  }
}

TEST_F(ActionTransfer, DamagedAndPartialSlots) {
  const double stored_date = 45000.123;  // a date with a non-zero low word
  std::vector<uint8_t> date_bytes(8);
  std::memcpy(date_bytes.data(), &stored_date, 8);
  const double midnight = 45000.0;  // low four bytes 0
  std::vector<uint8_t> midnight_bytes(8);
  std::memcpy(midnight_bytes.data(), &midnight, 8);
  auto le16 = [](uint16_t v) { return std::vector<uint8_t>{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; };

  std::vector<uint8_t> bytes(512 * kPage, 0xFF);
  // Slot 0: full slot with name, date and flags.
  PutSlot(bytes, 0,
          {{0, {0}}, {1, le16(5)}, {3, le16(100)}, {5, le16(101)}, {7, le16(10)}, {9, {1, 2, 0, 0}},
           {13, {'A', 'B', 0}}, {29, {'N', 'm', 0}}, {157, {2}}, {222, date_bytes}, {230, {0xFE}}});
  // Slot 1 free; slot 2 without the marker; slot 3 with a midnight date.
  PutSlot(bytes, 2, {{0, {0}}, {1, le16(6)}, {3, le16(102)}, {5, le16(102)}, {7, le16(3)}, {29, {'X'}}});
  PutSlot(bytes, 3, {{0, {0}}, {3, le16(103)}, {5, le16(103)}, {157, {2}}, {222, midnight_bytes}});
  // Slot 4: last page below the first page (the remainder 0xFFFF would wrap the size back into
  // range).
  PutSlot(bytes, 4, {{0, {0}}, {3, le16(200)}, {5, le16(150)}});
  ASSERT_TRUE(module->SetContents(bytes));

  const double before = NowAsOleDate();
  const CompletionCall call = Run([&] { return device->StartReadCatalog(); });
  EXPECT_EQ(call.error, deOperationError);
  ASSERT_EQ(device->CatalogCount(), 3);  // slots read before the damaged one stay
  const TDevCatalogEntry a = device->Catalog(0), b = device->Catalog(1), c = device->Catalog(2);
  EXPECT_EQ(a.cat_num, 0);
  EXPECT_EQ(b.cat_num, 2);
  EXPECT_EQ(c.cat_num, 3);
  EXPECT_EQ(a.prog_num, 5);
  EXPECT_EQ(a.prog_size, kPage + 10);
  EXPECT_EQ(a.control_sum, 0x0201u);
  EXPECT_EQ(a.date, stored_date);
  EXPECT_FALSE(a.need_p_proc);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(a.code)), "Nm");
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(a.indic)), "AB");
  EXPECT_EQ(b.prog_size, 3u);
  EXPECT_EQ(b.code[0], 0);  // no marker: no name
  EXPECT_TRUE(b.need_p_proc);
  EXPECT_GE(b.date, before);
  EXPECT_GE(c.date, before);  // midnight reads as now

  // Ten-byte program: one 1024-byte chunk is read.
  TDevCatalogEntry small = device->Catalog(1);
  small.control_sum = 3 * 0xFF;
  device->SetCatalog(1, small);
  const uint64_t reads = module->OperationCount(sim::ModuleOp::Read);
  EXPECT_EQ(Run([&] { return device->StartReadFile(1); }).error, deOK);
  EXPECT_EQ(module->OperationCount(sim::ModuleOp::Read) - reads, 1u);
}

}  // namespace
}  // namespace kalvort::testing
