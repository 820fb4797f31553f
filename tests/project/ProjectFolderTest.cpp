#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <map>
#include <set>

#include "ProjectTestUtil.h"
#include "project/IniFile.h"
#include "project/ProjectBuild.h"
#include "project/ProjectFolder.h"
#include "support/TempDir.h"

using namespace kalvort;
using kalvort::test::TempDir;
using kalvort::test::readFileBytes;
using kalvort::test::writeFileBytes;

TEST(ProjectFolder, UnpackAndPackIsBitExact) {
  ProjectContent c;
  c.version = 0x01020300;
  c.options.active_device = 3;
  c.options.processor = 2;
  c.options.hex_view = 1;
  c.entries.push_back(MakeEntry(0, 1, "Деталь 1", {}, {u"N1 G01 X10", u"", u"M02"}));
  c.entries.push_back(MakeEntry(4, 2, "img.bin", {0, 1, 0xFF}, {}));
  c.entries.push_back(MakeEntry(2, 3, "Both", {5}, {u"Ж"}));
  auto odd = MakeEntry(-5, 65535, " tab\there ", {}, {u"\xD800 lone", u"中"});  // unsafe name, lone surrogate
  odd.code[100] = 0x77;                                                         // bytes after the name's end
  odd.indic[3] = 0x01;
  odd.control_sum = 0xDEADBEEF;  // does not match the (absent) image
  odd.prog_size = 4408;
  odd.date = -1.25;
  c.entries.push_back(odd);
  auto empty = MakeEntry(9, 9, "", {}, {});
  empty.file_txt_valid = true;  // text flag with no lines
  empty.file_bin_valid = true;  // binary flag with an empty image
  c.entries.push_back(empty);
  auto longName = MakeEntry(10, 10, "", {}, {});
  std::memset(longName.code, 'A', sizeof longName.code);  // no terminating 0 at all
  c.entries.push_back(longName);

  TempDir dir;
  ASSERT_EQ(WriteProjectContent(dir.file("a.kvt"), c), ProjectError::None);
  std::string error;
  ASSERT_TRUE(UnpackProject(c, dir.file("d"), &error)) << error;
  EXPECT_EQ(readFileBytes(dir.file("d") / "001.txt"), "N1 G01 X10\n\nM02\n");
  EXPECT_EQ(readFileBytes(dir.file("d") / "002.bin"), std::string("\0\1\xFF", 3));
  const std::string manifest = readFileBytes(dir.file("d") / "project.ini");
  EXPECT_NE(manifest.find("name=Деталь 1\n"), std::string::npos);
  EXPECT_EQ(manifest.find("control_sum=8"), std::string::npos);  // a matching sum is not written
  IniFile reread;  // the manifest is laid out exactly as the INI reader writes it back
  ASSERT_TRUE(reread.LoadText(manifest));
  EXPECT_EQ(reread.Text(), manifest);

  ProjectContent back;
  ASSERT_TRUE(PackProject(dir.file("d"), back, &error)) << error;
  ASSERT_EQ(WriteProjectContent(dir.file("b.kvt"), back), ProjectError::None);
  EXPECT_EQ(readFileBytes(dir.file("a.kvt")), readFileBytes(dir.file("b.kvt")));
}

// Texts longer than one written piece (64 KiB): a lone surrogate anywhere, even after the first
// piece, makes the whole file UTF-16LE; otherwise it is UTF-8 byte for byte. Control sums are
// checked for binaries of every length around the summing steps, full of 0xFF: a matching sum is
// left out of the manifest and computed again by pack, any other is written down.
TEST(ProjectFolder, LongTextsAndControlSumsSurviveTheFolder) {
  ProgramText clean(3000, u"N10 G01 X100 Z-20 F150 Ж");  // some 100 KB
  ProgramText loneFirst = clean, loneLast = clean;
  loneFirst.front() += u'\xDC00';
  loneLast.back() += u'\xD800';
  ProjectContent c;
  for (ProgramText *text : {&clean, &loneFirst, &loneLast})
    c.entries.push_back(MakeEntry(static_cast<int>(c.entries.size()), static_cast<uint16_t>(c.entries.size() + 1), "t",
                                  {}, *text));
  const size_t sizes[] = {1, 7, 8, 1023, 1024, 1031, 4408, 70001};
  size_t written = 0;
  for (const size_t size : sizes) {
    for (const bool matching : {true, false}) {
      auto e = MakeEntry(static_cast<int>(c.entries.size()), static_cast<uint16_t>(c.entries.size() + 1), "b",
                         std::vector<uint8_t>(size, 0xFF), {});
      if (!matching) ++e.control_sum, ++written;
      c.entries.push_back(e);
    }
  }
  TempDir dir;
  std::string error;
  ASSERT_TRUE(UnpackProject(c, dir.file("d"), &error)) << error;
  std::string expected;
  for (const auto &line : clean) expected += toUtf8(line) + "\n";
  EXPECT_EQ(readFileBytes(dir.file("d") / "001.txt"), expected);
  for (const char *name : {"002.txt", "003.txt"}) EXPECT_TRUE(readFileBytes(dir.file("d") / name).starts_with("\xFF\xFE")) << name;
  const std::string manifest = readFileBytes(dir.file("d") / "project.ini");
  size_t sums = 0;
  for (size_t at = manifest.find("control_sum="); at != std::string::npos; at = manifest.find("control_sum=", at + 1)) ++sums;
  EXPECT_EQ(sums, written);

  ProjectContent back;
  ASSERT_TRUE(PackProject(dir.file("d"), back, &error)) << error;
  ASSERT_EQ(back.entries.size(), c.entries.size());
  for (size_t i = 0; i < c.entries.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(back.entries[i].control_sum, c.entries[i].control_sum);
    EXPECT_EQ(*back.entries[i].text, *c.entries[i].text);
  }
}

TEST(ProjectFolder, EditsInTheFolderReachTheProject) {
  ProjectContent c;
  c.entries.push_back(MakeEntry(0, 1, "Old", {1, 2}, {u"A"}));
  TempDir dir;
  std::string error;
  ASSERT_TRUE(UnpackProject(c, dir.path(), &error));
  writeFileBytes(dir.file("001.txt"), "\xC4\xE5\xF2\xE0\xEB\xFC\r\nB");  // edited in Windows-1251
  writeFileBytes(dir.file("001.bin"), "\x10\x20\x30");
  std::string manifest = readFileBytes(dir.file("project.ini"));
  manifest.replace(manifest.find("name=Old"), 8, "name=Новое");
  writeFileBytes(dir.file("project.ini"), manifest);
  ProjectContent back;
  ASSERT_TRUE(PackProject(dir.path(), back, &error)) << error;
  ASSERT_EQ(back.entries.size(), 1u);
  const auto &e = back.entries[0];
  EXPECT_EQ(*e.text, (ProgramText{u"Деталь", u"B"}));
  EXPECT_EQ(e.prog_size, 3u);
  EXPECT_EQ(e.control_sum, 0x60u);  // recomputed for the new image
  EXPECT_EQ(ByteArrayToString(e.code, 128), u"Новое");
  EXPECT_EQ(e.indic[0], 0x48);  // Н on the display

  struct Case {
    const char *from, *to;
  } broken[] = {
      {"prog_num=1", "prog_num=x"},
      {"prog_num=1", "prog_num=70000"},
      {"binary=001.bin", "binary=../001.bin"},
      {"binary=001.bin", "binary=nothere.bin"},
      {"count=1", "count=2"},
      {"date=", "datum="},
  };
  for (const auto &b : broken) {
    SCOPED_TRACE(b.to);
    std::string m = manifest;
    m.replace(m.find(b.from), std::strlen(b.from), b.to);
    writeFileBytes(dir.file("project.ini"), m);
    error.clear();
    EXPECT_FALSE(PackProject(dir.path(), back, &error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(ProjectBuild, NumbersNewEntriesLikeTheCatalogView) {
  TempDir dir;
  writeFileBytes(dir.file("a.txt"), "N1\r\nM02\r\n");
  writeFileBytes(dir.file("b.bin"), std::string("\x01\xFF", 2));
  struct Case {
    bool nc31;
    uint16_t first_proposed;
    int first_slot;
  } cases[] = {{false, 1, 0}, {true, 13, 0}};
  for (const auto &c : cases) {
    TDevCatalog cat;
    EXPECT_EQ(ProposeProgNum(cat, c.nc31), c.first_proposed);
    ASSERT_EQ(AddProgramFile(cat, dir.file("a.txt"), ProposeProgNum(cat, c.nc31), u"a.txt", true, c.nc31),
              AddFileResult::Added);
    ASSERT_EQ(AddProgramFile(cat, dir.file("b.bin"), ProposeProgNum(cat, c.nc31), u"b.bin", false, c.nc31),
              AddFileResult::Added);
    EXPECT_EQ(cat.Catalog(0).cat_num, c.first_slot);
    EXPECT_EQ(cat.Catalog(1).prog_num, c.first_proposed + 1);
    EXPECT_EQ(cat.Catalog(1).cat_num, 1);
    const auto t = cat.Catalog(0), b = cat.Catalog(1);
    EXPECT_TRUE(t.file_txt_valid && t.need_p_proc && !t.file_bin_valid);
    EXPECT_EQ(*t.text, (ProgramText{u"N1", u"M02"}));
    EXPECT_TRUE(b.file_bin_valid && !b.need_p_proc && !b.file_txt_valid);
    EXPECT_EQ(b.prog_size, 2u);
    EXPECT_EQ(b.control_sum, 0x100u);
    EXPECT_EQ(AddProgramFile(cat, dir.file("missing"), 50, u"m", true, c.nc31), AddFileResult::CannotRead);
  }
  // A typed 5 in the НЦ-31 mode keeps number 5 but takes slot 17 - 13 = 4; that slot is then taken.
  TDevCatalog cat;
  ASSERT_EQ(AddProgramFile(cat, dir.file("a.txt"), 5, u"a", true, true), AddFileResult::Added);
  EXPECT_EQ(cat.Catalog(0).prog_num, 5);
  EXPECT_EQ(cat.Catalog(0).cat_num, 4);
  EXPECT_EQ(AddProgramFile(cat, dir.file("a.txt"), 17, u"a", true, true), AddFileResult::SlotTaken);
  EXPECT_EQ(RaiseNc31ProgNum(0), 13);
  EXPECT_EQ(RaiseNc31ProgNum(12), 24);
  EXPECT_EQ(RaiseNc31ProgNum(13), 13);
  EXPECT_TRUE(Nc31NumberingMode(dtProg, {true, 1}));
  EXPECT_FALSE(Nc31NumberingMode(dtSMP2C42, {true, 1}));
  EXPECT_FALSE(Nc31NumberingMode(dtProg, {false, 1}));
}

namespace {

// Every name in the folder with its link target or bytes ("dir" for a folder).
std::map<std::string, std::string> FolderState(const std::filesystem::path &dir) {
  std::map<std::string, std::string> state;
  for (const auto &f : std::filesystem::directory_iterator(dir)) {
    const auto name = f.path().filename().string();
    if (f.is_symlink()) state[name] = "-> " + std::filesystem::read_symlink(f.path()).string();
    else if (f.is_directory()) state[name] = "dir";
    else state[name] = readFileBytes(f.path());
  }
  return state;
}

ProjectContent Programs(int count) {
  ProjectContent c;
  for (int i = 0; i < count; ++i) {
    const auto n = static_cast<uint16_t>(i + 1);
    c.entries.push_back(MakeEntry(i, n, "p", {static_cast<uint8_t>(n)}, {u"N" + std::u16string(1, static_cast<char16_t>(u'0' + n))}));
  }
  return c;
}

}  // namespace

// Unpack writes only its own files: a planted link is replaced, not written through; program
// files of an earlier unpack that the new project.ini does not name go, anything else stays; and a
// failed unpack leaves the folder exactly as it was.
TEST(ProjectFolder, UnpackOwnsOnlyItsFilesAndIsAllOrNothing) {
  TempDir dir;
  const auto folder = dir.file("shop");
  std::string error;
  ASSERT_TRUE(UnpackProject(Programs(3), folder, &error)) << error;
  writeFileBytes(dir.file("precious.txt"), "precious");
  std::filesystem::remove(folder / "001.txt");
  std::filesystem::create_symlink("../precious.txt", folder / "001.txt");
  writeFileBytes(folder / "notes.md", "mine");
  writeFileBytes(folder / "003.txt.orig", "mine too");

  // A folder where a program file goes: nothing changes, not even the link or the stale files.
  std::filesystem::remove(folder / "001.bin");
  std::filesystem::create_directory(folder / "001.bin");
  const auto before = FolderState(folder);
  EXPECT_FALSE(UnpackProject(Programs(1), folder, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(FolderState(folder), before);

  std::filesystem::remove(folder / "001.bin");
  ASSERT_TRUE(UnpackProject(Programs(1), folder, &error)) << error;
  EXPECT_EQ(readFileBytes(dir.file("precious.txt")), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(folder / "001.txt"));
  EXPECT_EQ(readFileBytes(folder / "001.txt"), "N1\n");
  std::set<std::string> names;
  for (const auto &[name, bytes] : FolderState(folder)) names.insert(name);
  EXPECT_EQ(names, (std::set<std::string>{"001.bin", "001.txt", "003.txt.orig", "notes.md", "project.ini"}));
  ProjectContent back;
  ASSERT_TRUE(PackProject(folder, back, &error)) << error;
  EXPECT_EQ(back.entries.size(), 1u);

  // A failed unpack into a new folder leaves no folder behind (the disk fills up part-way).
  ProjectContent big;
  big.entries.push_back(MakeEntry(0, 1, "big", std::vector<uint8_t>(100000, 7), {}));
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool unpacked = UnpackProject(big, dir.file("fresh/a/b"), &error);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(unpacked);
  EXPECT_FALSE(std::filesystem::exists(dir.file("fresh")));
}
