#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "device/DevCatalog.h"

using namespace kalvort;

namespace {

// A catalog whose module status the tests can set.
class TestCatalog : public TDevCatalog {
 public:
  void SetModule(bool connected, bool mp_connected, int page_size) {
    dev_state_.connected = connected;
    dev_state_.MP_connected = mp_connected;
    dev_state_.MP_page_size = page_size;
  }
};

TDevCatalogEntry Entry(int cat_num, uint16_t prog_num = 0, std::vector<uint8_t> bin = {}) {
  TDevCatalogEntry e;
  e.cat_num = cat_num;
  e.prog_num = prog_num;
  if (!bin.empty() || cat_num >= 0) {
    e.prog_size = static_cast<uint32_t>(bin.size());
    e.p_buffer = std::make_shared<ProgramImage>(std::move(bin));
  }
  return e;
}

// Inserts entries with their own numbers at the end, exactly as given.
void Fill(TDevCatalog &cat, const std::vector<std::pair<int, uint16_t>> &nums) {
  for (auto [c, p] : nums) {
    auto e = Entry(c, p);
    ASSERT_TRUE(cat.InsertCatalogEntry(e, cat.CatalogCount()));
  }
}

std::vector<int> CatNums(const TDevCatalog &cat) {
  std::vector<int> v;
  for (int i = 0; i < cat.CatalogCount(); ++i) v.push_back(cat.Catalog(i).cat_num);
  return v;
}

std::vector<int> ProgNums(const TDevCatalog &cat) {
  std::vector<int> v;
  for (int i = 0; i < cat.CatalogCount(); ++i) v.push_back(cat.Catalog(i).prog_num);
  return v;
}

}  // namespace

TEST(Catalog, AddChoosesNumbers) {
  struct Case {
    std::vector<std::pair<int, uint16_t>> present;  // cat_num, prog_num
    int cat_num;
    uint16_t prog_num;
    int want_cat;
    uint16_t want_prog;
  } cases[] = {
      {{}, -1, 7, 0, 7},                              // empty catalog keeps the program number
      {{{0, 1}, {1, 2}, {5, 3}}, -1, 9, 6, 9},        // after the largest number, gaps stay
      {{{0, 5}, {1, 6}, {2, 7}}, -1, 5, 3, 8},        // 5, 6, 7 taken
      {{{0, 7}, {1, 5}, {2, 6}}, -1, 5, 3, 8},        // list order does not matter
      {{{0, 65535}, {1, 0}}, -1, 65535, 2, 1},        // program numbers wrap at 16 bits
      {{{0, 1}, {4, 2}}, 4, 1, 4, 3},                 // an own catalog number is kept even if used
  };
  for (const auto &c : cases) {
    TDevCatalog cat;
    Fill(cat, c.present);
    auto e = Entry(c.cat_num, c.prog_num);
    e.date = 1.0;
    ASSERT_TRUE(cat.AddCatalogEntry(e));
    EXPECT_EQ(cat.LastError(), deOK);
    EXPECT_EQ(e.cat_num, c.want_cat);
    EXPECT_EQ(e.prog_num, c.want_prog);
    EXPECT_GT(e.date, 40000.0);  // the caller's record receives the stored date
    const auto stored = cat.Catalog(cat.CatalogCount() - 1);
    EXPECT_EQ(stored.cat_num, c.want_cat);
    EXPECT_EQ(stored.prog_num, c.want_prog);
    EXPECT_EQ(stored.date, e.date);
    ASSERT_NE(stored.text, nullptr);
  }
}

TEST(Catalog, AddRefusesFullCatalogAndLeavesRecord) {
  TDevCatalog cat;
  cat.SetMaxProgNum(2);
  Fill(cat, {{0, 1}, {1, 2}});
  auto e = Entry(-1, 1);
  EXPECT_FALSE(cat.AddCatalogEntry(e));
  EXPECT_EQ(cat.LastError(), deWrongFileNum);
  EXPECT_EQ(e.cat_num, -1);
  EXPECT_EQ(e.prog_num, 1);
  EXPECT_EQ(cat.CatalogCount(), 2);
}

TEST(Catalog, CopiesShareBinaryAndText) {
  TDevCatalog cat;
  auto e = Entry(-1, 1, {1, 2, 3});
  ASSERT_TRUE(cat.AddCatalogEntry(e));
  auto copy = cat.Catalog(0);
  copy.text->push_back(u"G01");
  (*copy.p_buffer)[0] = 9;
  EXPECT_EQ(cat.Catalog(0).text->size(), 1u);
  EXPECT_EQ((*cat.Catalog(0).p_buffer)[0], 9);
  copy.prog_num = 44;
  cat.SetCatalog(0, copy);
  EXPECT_EQ(cat.Catalog(0).prog_num, 44);
  cat.SetCatalog(1, copy);  // beyond the end: nothing
  EXPECT_EQ(cat.CatalogCount(), 1);

  const auto none = cat.Catalog(1);
  const TDevCatalogEntry zero{};
  EXPECT_EQ(none.cat_num, 0);
  EXPECT_EQ(none.prog_num, 0);
  EXPECT_EQ(none.p_buffer, nullptr);
  EXPECT_EQ(none.text, nullptr);
  EXPECT_EQ(std::memcmp(none.code, zero.code, sizeof zero.code), 0);
  EXPECT_EQ(cat.Catalog(-1).p_buffer, nullptr);
}

TEST(Catalog, InsertTakesSmallestFreeNumber) {
  struct Case {
    std::vector<std::pair<int, uint16_t>> present;
    int position;
    uint16_t prog_num;
    int want_cat;
    uint16_t want_prog;
  } cases[] = {
      {{{0, 1}, {1, 2}, {3, 3}}, 0, 2, 2, 4},
      {{{3, 1}, {1, 2}, {0, 3}}, 3, 9, 2, 9},
      {{}, 0, 5, 0, 5},
  };
  for (const auto &c : cases) {
    TDevCatalog cat;
    Fill(cat, c.present);
    auto e = Entry(-1, c.prog_num);
    e.date = 123.0;
    ASSERT_TRUE(cat.InsertCatalogEntry(e, c.position));
    const auto stored = cat.Catalog(c.position);
    EXPECT_EQ(stored.cat_num, c.want_cat);
    EXPECT_EQ(stored.prog_num, c.want_prog);
    EXPECT_EQ(stored.date, 123.0);  // insert leaves the date alone
  }
  // A record with its own number goes in unchanged, program number unchecked.
  TDevCatalog cat;
  Fill(cat, {{0, 1}});
  auto e = Entry(0, 1);
  ASSERT_TRUE(cat.InsertCatalogEntry(e, 0));
  EXPECT_EQ(CatNums(cat), (std::vector<int>{0, 0}));
  EXPECT_EQ(ProgNums(cat), (std::vector<int>{1, 1}));
  auto bad = Entry(-1, 1);
  EXPECT_FALSE(cat.InsertCatalogEntry(bad, 3));
  EXPECT_EQ(cat.LastError(), deWrongFileNum);
}

TEST(Catalog, ChangeKeepsSlotAndMakesProgramNumberUnique) {
  TDevCatalog cat;
  Fill(cat, {{0, 1}, {4, 2}, {2, 3}});
  auto e = cat.Catalog(1);
  e.cat_num = -1;
  e.prog_num = 3;  // used by entry 2
  ASSERT_TRUE(cat.ChangeCatalogEntry(e, 1));
  EXPECT_EQ(cat.Catalog(1).cat_num, 4);
  EXPECT_EQ(cat.Catalog(1).prog_num, 4);
  e = cat.Catalog(1);
  e.cat_num = -1;
  e.prog_num = 4;  // its own number is not a conflict
  ASSERT_TRUE(cat.ChangeCatalogEntry(e, 1));
  EXPECT_EQ(cat.Catalog(1).prog_num, 4);
  EXPECT_FALSE(cat.ChangeCatalogEntry(e, 3));
}

TEST(Catalog, RemoveAndReplace) {
  struct Case {
    bool renumber;
    std::vector<int> want;
  } cases[] = {{true, {0, 1, 2}}, {false, {0, 2, 3}}};
  for (const auto &c : cases) {
    TDevCatalog cat;
    Fill(cat, {{0, 1}, {1, 2}, {2, 3}, {3, 4}});
    ASSERT_TRUE(cat.RemCatalogEntry(c.renumber, 1));
    EXPECT_EQ(CatNums(cat), c.want);
  }
  TDevCatalog empty;
  EXPECT_FALSE(empty.RemCatalogEntry(true, 0));
  EXPECT_EQ(empty.LastError(), deWrongFileNum);

  TDevCatalog cat;
  Fill(cat, {{0, 10}, {1, 11}, {2, 12}, {3, 13}});
  ASSERT_TRUE(cat.ReplaceCatalogEntry(0, 2));
  EXPECT_EQ(ProgNums(cat), (std::vector<int>{12, 11, 13}));
  ASSERT_TRUE(cat.ReplaceCatalogEntry(2, 0));  // the moved entry ends one place earlier
  EXPECT_EQ(ProgNums(cat), (std::vector<int>{11, 12}));
  ASSERT_TRUE(cat.ReplaceCatalogEntry(1, 1));  // onto itself: nothing is lost
  EXPECT_EQ(ProgNums(cat), (std::vector<int>{11, 12}));
}

TEST(Catalog, SearchesByCatalogNumber) {
  TDevCatalog cat;
  Fill(cat, {{5, 1}, {2, 2}, {-3, 3}, {7, 4}, {2, 5}, {9, 6}, {7, 7}});
  struct Case {
    int cat_num, excluded, exact, less, more;
  } cases[] = {
      {2, -1, 1, -1, 0},
      {2, 1, 4, -1, 0},   // excluded index skipped; next duplicate found
      {7, -1, 3, 0, 5},
      {8, -1, -1, 3, 5},  // equal numbers: first in list order
      {8, 3, -1, 6, 5},
      {0, -1, -1, -1, 1}, // negative numbers never count as "less"
      {9, -1, 5, 3, -1},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(cat.GetCatalogEntryNumByCatNum(c.cat_num, c.excluded), c.exact) << c.cat_num;
    EXPECT_EQ(cat.GetLessCatalogEntryNumByCatNum(c.cat_num, c.excluded), c.less) << c.cat_num;
    EXPECT_EQ(cat.GetMoreCatalogEntryNumByCatNum(c.cat_num, c.excluded), c.more) << c.cat_num;
  }
}

TEST(Catalog, MovesEntries) {
  enum Op { UpCat, DownCat, UpProg, DownProg };
  struct Case {
    std::vector<std::pair<int, uint16_t>> present;
    Op op;
    int index;
    bool ok;
    std::vector<int> cats;
    std::vector<int> progs;
  } cases[] = {
      {{{3, 1}, {7, 2}}, DownCat, 0, true, {7, 3}, {1, 2}},  // jumps the gap to its neighbour
      {{{3, 1}, {7, 2}}, DownCat, 1, true, {3, 8}, {1, 2}},  // nothing above: +1
      {{{3, 1}, {7, 2}}, UpCat, 1, true, {7, 3}, {1, 2}},
      {{{3, 1}, {7, 2}}, UpCat, 0, true, {2, 7}, {1, 2}},
      {{{0, 1}, {7, 2}}, UpCat, 0, false, {0, 7}, {1, 2}},
      {{{99, 1}, {7, 2}}, DownCat, 0, false, {99, 7}, {1, 2}},
      {{{3, 1}, {7, 2}}, DownProg, 0, true, {7, 3}, {2, 1}},
      {{{3, 1}, {7, 2}}, DownProg, 1, true, {3, 8}, {1, 3}},
      {{{3, 0}, {8, 2}}, UpProg, 0, true, {2, 8}, {65535, 2}},
      {{{0, 1}}, UpProg, 0, false, {0}, {1}},
      {{{99, 1}}, DownProg, 0, false, {99}, {1}},
  };
  for (const auto &c : cases) {
    TDevCatalog cat;
    Fill(cat, c.present);
    bool ok = false;
    switch (c.op) {
      case UpCat: ok = cat.CatalogEntryUpCatNum(c.index); break;
      case DownCat: ok = cat.CatalogEntryDownCatNum(c.index); break;
      case UpProg: ok = cat.CatalogEntryUpProgNum(c.index); break;
      case DownProg: ok = cat.CatalogEntryDownProgNum(c.index); break;
    }
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(CatNums(cat), c.cats);
    EXPECT_EQ(ProgNums(cat), c.progs);
  }
}

TEST(Catalog, PackedAssignment) {
  TestCatalog cat;
  cat.SetModule(true, true, 264);
  // List order differs from catalog order; catalog numbers 2, 5, 7, 9 have gaps.
  std::vector<std::pair<int, size_t>> entries = {{7, 0}, {2, 300}, {9, 10}, {5, 528}};
  for (auto [c, size] : entries) {
    auto e = Entry(c, static_cast<uint16_t>(c), std::vector<uint8_t>(size, 1));
    ASSERT_TRUE(cat.InsertCatalogEntry(e, cat.CatalogCount()));
  }
  auto dup = Entry(5, 50, std::vector<uint8_t>(10, 1));  // a duplicate number is not placed
  ASSERT_TRUE(cat.InsertCatalogEntry(dup, cat.CatalogCount()));
  auto far = Entry(150, 51, {});  // outside the catalog: untouched
  ASSERT_TRUE(cat.InsertCatalogEntry(far, cat.CatalogCount()));

  ASSERT_TRUE(cat.PrepareCatalog(false, 4408));
  EXPECT_EQ(cat.LastError(), deOK);
  struct Want {
    int cat, first, last;
  } want[] = {{2, 105, 105}, {0, 100, 101}, {3, 105, 105}, {1, 102, 104}, {5, 0, 0}, {150, 0, 0}};
  for (int i = 0; i < 6; ++i) {
    const auto e = cat.Catalog(i);
    EXPECT_EQ(e.cat_num, want[i].cat) << i;
    EXPECT_EQ(e.first_page, want[i].first) << i;
    EXPECT_EQ(e.last_page, want[i].last) << i;
  }
  EXPECT_EQ(cat.ProjLastPage(), 105);
  EXPECT_EQ(cat.Catalog(1).control_sum, 300u);

  TDevCatalog empty;
  EXPECT_FALSE(empty.DefragCatalog(264));
  EXPECT_EQ(empty.LastError(), deWrongFileNum);
}

TEST(Catalog, FixedSlotAssignment) {
  struct Case {
    int page_size;
    int cat_num;
    size_t size;
    int first, last;
    uint32_t stored_size;
  } cases[] = {
      {264, 0, 4408, 100, 116, 4408},
      {264, 1, 0, 117, 117, 0},
      {264, 1, 5000, 117, 133, 4408},  // cut to the slot
      {528, 2, 528, 118, 119, 528},    // 9 pages per slot
      {1056, 99, 10, 100 + 99 * 5, 100 + 99 * 5, 10},
      {264, 100, 264, 1300, 1301, 264},  // zone of numbers from 100 (MoreMPZoneNum 1300)
      {264, 102, 1, 1300 + 2 * 17, 1300 + 2 * 17, 1},
  };
  for (const auto &c : cases) {
    TestCatalog cat;
    cat.SetModule(true, true, c.page_size);
    cat.SetMaxProgNum(400);
    cat.SetMoreMPCatNum(1000);
    cat.SetMoreMPZoneNum(1300);
    auto e = Entry(c.cat_num, 1, std::vector<uint8_t>(c.size, 2));
    ASSERT_TRUE(cat.AddCatalogEntry(e));
    ASSERT_TRUE(cat.PrepareCatalog(true, 4408));
    const auto s = cat.Catalog(0);
    EXPECT_EQ(s.first_page, c.first) << c.cat_num << "/" << c.size;
    EXPECT_EQ(s.last_page, c.last) << c.cat_num << "/" << c.size;
    EXPECT_EQ(s.prog_size, c.stored_size);
    EXPECT_EQ(s.control_sum, 2 * c.stored_size);
    EXPECT_EQ(cat.ProjLastPage(), std::max(400, c.last));
  }
}

TEST(Catalog, PrepareWithoutModuleStillSumsAndNeverDividesByZero) {
  struct Case {
    bool connected, mp, fixed;
    int page_size;
    TDeviceError error;
  } cases[] = {
      {false, true, false, 264, deNotConnected},
      {true, false, true, 264, deNotConnected},
      {true, true, true, 0, deOperationError},
      {true, true, false, 0, deOperationError},
  };
  for (const auto &c : cases) {
    TestCatalog cat;
    cat.SetModule(c.connected, c.mp, c.page_size);
    auto e = Entry(-1, 1, {0xFF, 0x01});
    ASSERT_TRUE(cat.AddCatalogEntry(e));
    EXPECT_FALSE(cat.PrepareCatalog(c.fixed, 4408));
    EXPECT_EQ(cat.LastError(), c.error);
    EXPECT_EQ(cat.Catalog(0).control_sum, 0x100u);
  }
}

TEST(Catalog, ControlSumAndStatistics) {
  TestCatalog cat;
  auto none = Entry(-1, 1);
  none.p_buffer.reset();
  none.prog_size = 0;
  none.control_sum = 77;
  ASSERT_TRUE(cat.AddCatalogEntry(none));
  auto big = Entry(-1, 2, std::vector<uint8_t>(100000, 0xFF));
  ASSERT_TRUE(cat.AddCatalogEntry(big));
  auto shortBuf = Entry(-1, 3, {1, 2, 3});
  shortBuf.prog_size = 1000;  // claims more than it holds: only the real bytes count
  ASSERT_TRUE(cat.AddCatalogEntry(shortBuf));
  for (int i = 0; i < 3; ++i) cat.UpdateControlSum(i);
  cat.UpdateControlSum(3);  // out of range: nothing
  EXPECT_EQ(cat.Catalog(0).control_sum, 0u);
  EXPECT_EQ(cat.Catalog(1).control_sum, 100000u * 0xFF);
  EXPECT_EQ(cat.Catalog(2).control_sum, 6u);

  cat.FileBinValidSet(1);
  cat.FileBinValidSet(2);
  cat.FileBinValidSet(7);
  EXPECT_TRUE(cat.CalculateMPStat());
  EXPECT_EQ(cat.MPAll(), 101000);
  cat.FileBinValidClear(2);
  cat.FileTxtValidSet(0);
  cat.FileErrorSet(0, feCSError);
  cat.FileErrorSet(-1, feCSError);
  cat.CalculateMPStat();
  EXPECT_EQ(cat.MPAll(), 100000);
  EXPECT_TRUE(cat.Catalog(0).file_txt_valid);
  EXPECT_EQ(cat.Catalog(0).file_error_code, feCSError);
  cat.FileErrorClear(0);
  cat.FileValidClearAll();
  EXPECT_EQ(cat.Catalog(0).file_error_code, feOK);
  EXPECT_FALSE(cat.Catalog(0).file_txt_valid);
  EXPECT_FALSE(cat.Catalog(1).file_bin_valid);

  cat.CatalogClear();
  EXPECT_EQ(cat.CatalogCount(), 0);
}

// Each operation on a catalog of three entries (catalog numbers 0, 1, 2; module of 264-byte
// pages): whether it moved the revision.
TEST(Catalog, RevisionMovesWithEveryChangeAndOnlyThen) {
  struct Case {
    const char *what;
    std::function<void(TestCatalog &)> op;
    bool changes;
  };
  auto entry = [](int cat_num) { return Entry(cat_num, 50, {1, 2, 3}); };
  const Case cases[] = {
      {"add", [&](TestCatalog &c) { auto e = entry(-1); c.AddCatalogEntry(e); }, true},
      {"insert", [&](TestCatalog &c) { auto e = entry(-1); c.InsertCatalogEntry(e, 1); }, true},
      {"change", [&](TestCatalog &c) { auto e = entry(-1); c.ChangeCatalogEntry(e, 2); }, true},
      {"set", [&](TestCatalog &c) { c.SetCatalog(0, entry(9)); }, true},
      {"replace", [](TestCatalog &c) { c.ReplaceCatalogEntry(0, 2); }, true},
      {"remove", [](TestCatalog &c) { c.RemCatalogEntry(true, 1); }, true},
      {"clear", [](TestCatalog &c) { c.CatalogClear(); }, true},
      {"swap", [](TestCatalog &c) { TDevCatalog other; c.SwapCatalog(other); }, true},
      {"move up", [](TestCatalog &c) { c.CatalogEntryUpCatNum(1); }, true},
      {"move down with program number", [](TestCatalog &c) { c.CatalogEntryDownProgNum(0); }, true},
      {"prepare", [](TestCatalog &c) { c.PrepareCatalog(false, 0); }, true},
      {"defragment", [](TestCatalog &c) { c.DefragCatalog(264); }, true},
      {"control sum", [](TestCatalog &c) { c.UpdateControlSum(1); }, true},
      {"valid flags", [](TestCatalog &c) { c.FileBinValidSet(0); }, true},
      {"all valid flags", [](TestCatalog &c) { c.FileValidClearAll(); }, true},
      {"error mark", [](TestCatalog &c) { c.FileErrorSet(2, feCSError); }, true},
      {"catalog size", [](TestCatalog &c) { c.SetMaxProgNum(50); }, true},
      {"zone start", [](TestCatalog &c) { c.SetMoreMPZoneNum(400); }, true},
      {"reads", [](TestCatalog &c) { c.Catalog(1); c.CatalogCount(); c.GetCatalogEntryNumByCatNum(2); c.CalculateMPStat(); }, false},
      {"same catalog size", [](TestCatalog &c) { c.SetMaxProgNum(c.MaxProgNum()); }, false},
      {"set out of range", [&](TestCatalog &c) { c.SetCatalog(3, entry(9)); }, false},
      {"change out of range", [&](TestCatalog &c) { auto e = entry(-1); c.ChangeCatalogEntry(e, -1); }, false},
      {"insert out of range", [&](TestCatalog &c) { auto e = entry(-1); c.InsertCatalogEntry(e, 4); }, false},
      {"remove out of range", [](TestCatalog &c) { c.RemCatalogEntry(false, 3); }, false},
      {"replace by itself", [](TestCatalog &c) { c.ReplaceCatalogEntry(1, 1); }, false},
      {"move the first up", [](TestCatalog &c) { c.CatalogEntryUpCatNum(0); }, false},
      {"flag out of range", [](TestCatalog &c) { c.FileTxtValidSet(7); c.FileErrorClear(-1); c.UpdateControlSum(3); }, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TestCatalog cat;
    cat.SetModule(true, true, 264);
    Fill(cat, {{0, 1}, {1, 2}, {2, 3}});
    const uint64_t before = cat.Revision();
    c.op(cat);
    if (c.changes)
      EXPECT_GT(cat.Revision(), before);
    else
      EXPECT_EQ(cat.Revision(), before);
  }
}
