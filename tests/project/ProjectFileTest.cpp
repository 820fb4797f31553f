#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>

#include "ProjectTestUtil.h"
#include "support/TempDir.h"
#include "project/ProjectFile.h"

using namespace kalvort;
using kalvort::test::TempDir;
using kalvort::test::readFileBytes;
using kalvort::test::writeFileBytes;

namespace {

std::string Compress(const std::string &payload) {
  std::string out;
  EXPECT_TRUE(DeflateProject(payload, out));
  return out;
}

std::string Le32(int32_t v) { return std::string(reinterpret_cast<const char *>(&v), 4); }

// A catalog holding one entry, to see that a failed open leaves it alone.
struct Sentinel {
  TDevCatalog catalog;
  ProjectOptions options;
  Sentinel() {
    auto e = MakeEntry(7, 70, "Старая", {1, 2, 3}, {u"G01"});
    catalog.AddCatalogEntry(e);
    options.DeviceType = dtWMP2C42;
    options.processing.enabled = false;
    options.processing.project_type = 1;
    options.hex_view = true;
  }
  void ExpectUnchanged() const {
    ASSERT_EQ(catalog.CatalogCount(), 1);
    EXPECT_EQ(catalog.Catalog(0).prog_num, 70);
    EXPECT_EQ(*catalog.Catalog(0).text, ProgramText{u"G01"});
    EXPECT_EQ(options.DeviceType, dtWMP2C42);
    EXPECT_FALSE(options.processing.enabled);
    EXPECT_EQ(options.processing.project_type, 1);
    EXPECT_TRUE(options.hex_view);
  }
};

}  // namespace

TEST(ProjectFile, EmptyProjectPayloadIsThirtyBytes) {
  ProjectOptions o;
  o.DeviceType = dtProg;
  o.processing.enabled = true;
  o.processing.project_type = 1;
  o.hex_view = false;
  const std::string payload = EncodeProjectPayload(ProjectFromCatalog(nullptr, o));
  const std::string want = std::string("KL_V") + std::string("\x00\x07\x01\x01", 4) + Le32(14) + Le32(2) +
                           std::string(1, '\x01') + Le32(2) + std::string(1, '\x00') + Le32(0) + Le32(0);
  EXPECT_EQ(payload, want);
  EXPECT_EQ(payload.size(), 30u);

  // The file is exactly zlib's own compress() of the payload: window 15, level 6, memory level 8.
  TempDir dir;
  ASSERT_EQ(SaveProjectFile(dir.file("e.kvt"), nullptr, o), ProjectError::None);
  std::string ref(compressBound(payload.size()), '\0');
  uLongf len = ref.size();
  ASSERT_EQ(compress2(reinterpret_cast<Bytef *>(ref.data()), &len, reinterpret_cast<const Bytef *>(payload.data()),
                      payload.size(), Z_DEFAULT_COMPRESSION),
            Z_OK);
  ref.resize(len);
  EXPECT_EQ(readFileBytes(dir.file("e.kvt")), ref);
}

TEST(ProjectFile, EntryBlockLayout) {
  ProjectContent c;
  auto e = MakeEntry(3, 0x1234, "Деталь 1", {0xAA, 0xBB}, {u"N1", u""});
  e.control_sum = 0x01020304;
  e.date = 46000.5;
  e.need_p_proc = true;
  c.entries.push_back(e);
  const std::string p = EncodeProjectPayload(c);
  const std::string rec = p.substr(26, 175);
  EXPECT_EQ(rec.substr(0, 4), Le32(175));
  EXPECT_EQ(rec.substr(4, 4), Le32(3));
  EXPECT_EQ(rec.substr(8, 2), std::string("\x34\x12", 2));
  EXPECT_EQ(rec.substr(10, 4), Le32(2));
  EXPECT_EQ(rec.substr(14, 4), Le32(0x01020304));
  EXPECT_EQ(rec.substr(18, 17), std::string(reinterpret_cast<const char *>(e.indic), 17));
  EXPECT_EQ(rec.substr(35, 9), std::string("\xC4\xE5\xF2\xE0\xEB\xFC\x20\x31\x00", 9));
  double d;
  std::memcpy(&d, rec.data() + 164, 8);
  EXPECT_EQ(d, 46000.5);
  EXPECT_EQ(rec.substr(172, 3), std::string("\x01\x01\x01", 3));
  // Image first, then the text: "N1\r\n\r\n" and one NUL unit, L = 2 * 7.
  EXPECT_EQ(p.substr(201, 2), "\xAA\xBB");
  EXPECT_EQ(p.substr(203, 4), Le32(14));
  EXPECT_EQ(p.substr(207, 14), std::string("N\0001\0\r\0\n\0\r\0\n\0\0\0", 14));
  EXPECT_EQ(p.substr(221), Le32(0));
}

TEST(ProjectFile, SaveOpenRoundTripIsBitExact) {
  TempDir dir;
  TDevCatalog cat;
  std::vector<TDevCatalogEntry> entries = {
      MakeEntry(0, 10, "Текст", {}, {u"N1 G01 X10", u"", u"M02"}),  // text only
      MakeEntry(5, 11, "Образ", {0, 1, 2, 255}, {}),               // binary only
      MakeEntry(2, 12, "Оба", {9, 8, 7}, {u"ОДИН"}),                // both
      MakeEntry(3, 13, "Ничего", {}, {}),                           // neither
      MakeEntry(4, 14, "Пусто", {}, {}),                            // text flag, no lines
  };
  entries[0].file_bin_valid = false;
  entries[1].file_txt_valid = false;
  entries[3].file_bin_valid = entries[3].file_txt_valid = false;
  entries[3].prog_size = 4408;  // a size without an image is kept as it stands
  entries[4].file_bin_valid = false;
  entries[4].file_txt_valid = true;
  for (auto &e : entries) ASSERT_TRUE(cat.AddCatalogEntry(e));
  for (int i = 0; i < cat.CatalogCount(); ++i) {
    auto e = cat.Catalog(i);
    e.date = 45000.25 + i;  // distinct dates that must survive opening
    cat.SetCatalog(i, e);
  }
  ProjectOptions o;
  o.DeviceType = dtSMP2C42;
  o.processing.enabled = false;
  o.processing.project_type = 1;
  o.hex_view = true;
  ASSERT_EQ(SaveProjectFile(dir.file("a.kvt"), &cat, o), ProjectError::None);

  TDevCatalog back;
  ProjectOptions ob;
  ASSERT_EQ(OpenProjectFile(dir.file("a.kvt"), back, ob), ProjectError::None);
  EXPECT_EQ(ob.DeviceType, dtSMP2C42);
  EXPECT_FALSE(ob.processing.enabled);
  EXPECT_EQ(ob.processing.project_type, 1);
  EXPECT_TRUE(ob.hex_view);
  ASSERT_EQ(back.CatalogCount(), 5);
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    const auto a = cat.Catalog(i), b = back.Catalog(i);
    EXPECT_EQ(a.cat_num, b.cat_num);
    EXPECT_EQ(a.prog_num, b.prog_num);
    EXPECT_EQ(a.date, b.date);
    EXPECT_EQ(a.prog_size, b.prog_size);
    EXPECT_EQ(a.file_bin_valid, b.file_bin_valid);
    EXPECT_EQ(a.file_txt_valid, b.file_txt_valid);
    ASSERT_NE(b.text, nullptr);
    if (a.file_txt_valid) EXPECT_EQ(*a.text, *b.text);
    else EXPECT_TRUE(b.text->empty());
    if (a.file_bin_valid && a.prog_size) EXPECT_EQ(*a.p_buffer, *b.p_buffer);
    else EXPECT_EQ(b.p_buffer, nullptr);
    EXPECT_EQ(std::memcmp(a.code, b.code, sizeof a.code), 0);
  }
  ASSERT_EQ(SaveProjectFile(dir.file("b.kvt"), &back, ob), ProjectError::None);
  EXPECT_EQ(readFileBytes(dir.file("a.kvt")), readFileBytes(dir.file("b.kvt")));
}

// A FIFO (or any file that is not a regular one) is refused without waiting for a writer.
TEST(ProjectFile, OpenRefusesAFifoAtOnce) {
  TempDir dir;
  const auto fifo = dir.file("p.kvt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TDevCatalog cat;
  ProjectOptions options;
  EXPECT_NE(OpenProjectFile(fifo, cat, options), ProjectError::None);
}

TEST(ProjectFile, ReaderAcceptsLongerRecordsEarlyTerminatorAndAnyVersion) {
  auto e = MakeEntry(1, 5, "Длинная", {4, 5}, {u"X"});
  ProjectContent c;
  c.entries.push_back(e);
  std::string canonical = EncodeProjectPayload(c);
  // Options record of 20 bytes and entry record of 180 bytes, as a later writer may produce;
  // an entry count of 9 ended early by the terminator; version word 0x7F000000.
  std::string p = "KL_V" + Le32(0x7F000000) + Le32(20) + Le32(4) + std::string(1, '\x01') + Le32(2) +
                  std::string(1, '\x01') + std::string(6, '\x55') + Le32(9);
  std::string rec = canonical.substr(26, 175);
  std::memcpy(rec.data(), Le32(180).data(), 4);
  p += rec + std::string(5, '\x66') + canonical.substr(26 + 175);  // image, text, terminator
  TempDir dir;
  writeFileBytes(dir.file("l.kvt"), Compress(p));
  TDevCatalog cat;
  ProjectOptions o;
  ASSERT_EQ(OpenProjectFile(dir.file("l.kvt"), cat, o), ProjectError::None);
  EXPECT_EQ(o.DeviceType, dtWMP2C42);
  EXPECT_TRUE(o.processing.enabled);
  EXPECT_EQ(o.processing.project_type, 1);
  EXPECT_TRUE(o.hex_view);
  ASSERT_EQ(cat.CatalogCount(), 1);
  EXPECT_EQ(*cat.Catalog(0).p_buffer, (ProgramImage{4, 5}));
  EXPECT_EQ(*cat.Catalog(0).text, ProgramText{u"X"});

  // active_device 1 is "no device".
  ProjectContent none;
  none.options.active_device = 1;
  writeFileBytes(dir.file("n.kvt"), Compress(EncodeProjectPayload(none)));
  o.DeviceType = dtProg;
  ASSERT_EQ(OpenProjectFile(dir.file("n.kvt"), cat, o), ProjectError::None);
  EXPECT_EQ(o.DeviceType, dtNone);
  EXPECT_EQ(cat.CatalogCount(), 0);
}

TEST(ProjectFile, OpenGoesThroughTheCatalogRules) {
  ProjectContent c;
  for (int i = 0; i < 4; ++i) c.entries.push_back(MakeEntry(i, 5, "П", {}, {}));  // all number 5
  TempDir dir;
  ASSERT_EQ(WriteProjectContent(dir.file("f.kvt"), c), ProjectError::None);
  TDevCatalog cat;
  cat.SetMaxProgNum(3);
  ProjectOptions o;
  ASSERT_EQ(OpenProjectFile(dir.file("f.kvt"), cat, o), ProjectError::None);
  ASSERT_EQ(cat.CatalogCount(), 3);  // the fourth entry is dropped silently
  EXPECT_EQ(cat.Catalog(0).prog_num, 5);
  EXPECT_EQ(cat.Catalog(1).prog_num, 6);
  EXPECT_EQ(cat.Catalog(2).prog_num, 7);
  EXPECT_EQ(cat.Catalog(2).cat_num, 2);
}

TEST(ProjectFile, DamagedPayloadFailsAndChangesNothing) {
  const std::string head = "KL_V" + Le32(kProjectVersion);
  const std::string opts = Le32(14) + Le32(2) + std::string(1, '\x01') + Le32(1) + std::string(1, '\x00');
  auto e = MakeEntry(0, 1, "A", {1, 2, 3, 4}, {u"AB"});
  ProjectContent one;
  one.entries.push_back(e);
  const std::string good = EncodeProjectPayload(one);
  const std::string rec = good.substr(26, 175);
  auto withText = [&](int32_t len, const std::string &bytes) {
    std::string r = rec;
    r[173] = 0;  // text only
    return head + opts + Le32(1) + r + Le32(len) + bytes + Le32(0);
  };
  struct Case {
    const char *what;
    std::string payload;
    ProjectError error;
  } cases[] = {
      {"wrong magic", "KL_X" + good.substr(4), ProjectError::WrongMagic},
      {"empty", "", ProjectError::WrongMagic},
      {"no version", "KL_V", ProjectError::Damaged},
      {"options size 10", head + Le32(10) + opts.substr(4) + Le32(0), ProjectError::Damaged},
      {"options size 0", head + Le32(0) + opts.substr(4) + Le32(0), ProjectError::Damaged},
      {"options cut", head + opts.substr(0, 9), ProjectError::Damaged},
      {"no count", head + opts, ProjectError::Damaged},
      {"negative count", head + opts + Le32(-1), ProjectError::Damaged},
      {"entry size 100", head + opts + Le32(1) + Le32(100) + rec.substr(4), ProjectError::Damaged},
      {"entry size negative", head + opts + Le32(1) + Le32(-175) + rec.substr(4), ProjectError::Damaged},
      {"record cut", head + opts + Le32(1) + rec.substr(0, 100), ProjectError::Damaged},
      {"image cut", good.substr(0, 26 + 175 + 2), ProjectError::Damaged},
      {"text length cut", good.substr(0, 26 + 175 + 4 + 2), ProjectError::Damaged},
      {"text cut", good.substr(0, good.size() - 6), ProjectError::Damaged},
      {"odd text length", withText(3, std::string("A\0\0", 3)), ProjectError::Damaged},
      {"negative text length", withText(-2, ""), ProjectError::Damaged},
      {"text past the end", withText(1000, std::string("A\0", 2)), ProjectError::Damaged},
      {"count without blocks", head + opts + Le32(2) + good.substr(26, good.size() - 30), ProjectError::Damaged},
  };
  TempDir dir;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    writeFileBytes(dir.file("d.kvt"), Compress(c.payload));
    Sentinel s;
    EXPECT_EQ(OpenProjectFile(dir.file("d.kvt"), s.catalog, s.options), c.error);
    s.ExpectUnchanged();
  }
}

TEST(ProjectFile, DamagedFileFailsAtEveryCutAndOnBitFlips) {
  TempDir dir;
  TDevCatalog cat;
  auto a = MakeEntry(0, 1, "Один", {1, 2, 3}, {u"N1 G01", u"M02"});
  auto b = MakeEntry(1, 2, "Два", {}, {u"X"});
  b.file_bin_valid = false;
  cat.AddCatalogEntry(a);
  cat.AddCatalogEntry(b);
  for (int i = 0; i < 2; ++i) {
    auto e = cat.Catalog(i);
    e.date = 46000.0 + i;  // the same file on every run
    cat.SetCatalog(i, e);
  }
  ASSERT_EQ(SaveProjectFile(dir.file("s.kvt"), &cat, ProjectOptions{}), ProjectError::None);
  const std::string file = readFileBytes(dir.file("s.kvt"));
  for (size_t cut = 0; cut < file.size(); ++cut) {
    SCOPED_TRACE(cut);
    writeFileBytes(dir.file("t.kvt"), file.substr(0, cut));
    Sentinel s;
    EXPECT_NE(OpenProjectFile(dir.file("t.kvt"), s.catalog, s.options), ProjectError::None);
    s.ExpectUnchanged();
  }
  std::mt19937 rng(12345);
  for (int flip = 0; flip < 64; ++flip) {
    std::string bad = file;
    const size_t pos = rng() % bad.size();
    bad[pos] = static_cast<char>(bad[pos] ^ (1 << (rng() % 8)));
    SCOPED_TRACE(pos);
    std::string payload, original;
    ASSERT_EQ(InflateProject(file, original), ProjectError::None);
    if (InflateProject(bad, payload) == ProjectError::None && payload == original) continue;  // harmless flip
    writeFileBytes(dir.file("f.kvt"), bad);
    Sentinel s;
    EXPECT_NE(OpenProjectFile(dir.file("f.kvt"), s.catalog, s.options), ProjectError::None);
    s.ExpectUnchanged();
  }
  // Trailing bytes, a gzip wrapping and raw deflate are not project files.
  std::string gz(1024, '\0');
  z_stream zs{};
  deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string payload = EncodeProjectPayload(ProjectFromCatalog(&cat, ProjectOptions{}));
  zs.next_in = reinterpret_cast<Bytef *>(payload.data());
  zs.avail_in = payload.size();
  zs.next_out = reinterpret_cast<Bytef *>(gz.data());
  zs.avail_out = gz.size();
  ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  gz.resize(zs.total_out);
  deflateEnd(&zs);
  for (const std::string &bad : {file + "x", gz, file.substr(2, file.size() - 6), std::string("KL_V")}) {
    writeFileBytes(dir.file("w.kvt"), bad);
    Sentinel s;
    EXPECT_EQ(OpenProjectFile(dir.file("w.kvt"), s.catalog, s.options), ProjectError::NotZlib);
    s.ExpectUnchanged();
  }
  Sentinel s;
  EXPECT_EQ(OpenProjectFile(dir.file("missing.kvt"), s.catalog, s.options), ProjectError::CannotOpen);
  s.ExpectUnchanged();
}

TEST(ProjectFile, FailedSaveKeepsTheOldFile) {
  TempDir dir;
  TDevCatalog cat;
  std::vector<uint8_t> noise(200000);
  std::mt19937 rng(7);
  for (auto &b : noise) b = static_cast<uint8_t>(rng());
  auto e = MakeEntry(0, 1, "Шум", noise, {});
  cat.AddCatalogEntry(e);
  const auto target = dir.file("p.kvt");
  writeFileBytes(target, "old project");
  auto leftovers = [&] {
    int n = 0;
    for (const auto &f : std::filesystem::directory_iterator(dir.path())) n += f.path().filename() != "p.kvt";
    return n;
  };

  // The disk fills up part-way through writing.
  {
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string detail;
    const auto err = SaveProjectFile(target, &cat, ProjectOptions{}, &detail);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(err, ProjectError::CannotWrite);
    EXPECT_FALSE(detail.empty());
  }
  EXPECT_EQ(readFileBytes(target), "old project");
  EXPECT_EQ(leftovers(), 0);

  // The target cannot be replaced (a folder stands in its way).
  std::filesystem::create_directories(dir.file("dirtarget") / "inside");
  EXPECT_EQ(SaveProjectFile(dir.file("dirtarget"), &cat, ProjectOptions{}), ProjectError::CannotWrite);
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("dirtarget") / "inside"));
  std::filesystem::remove_all(dir.file("dirtarget"));
  EXPECT_EQ(leftovers(), 0);

  // A read-only folder (not read-only for root, who may write anyway).
  if (geteuid() != 0) {
    chmod(dir.path().c_str(), 0555);
    EXPECT_EQ(SaveProjectFile(target, &cat, ProjectOptions{}), ProjectError::CannotWrite);
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(readFileBytes(target), "old project");
  }

  // A save that succeeds replaces the file and keeps its permissions.
  chmod(target.c_str(), 0640);
  ASSERT_EQ(SaveProjectFile(target, &cat, ProjectOptions{}), ProjectError::None);
  struct stat st {};
  stat(target.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(leftovers(), 0);
}
