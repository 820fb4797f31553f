// Hostile project files and folders: each is refused cleanly, before it takes the memory it
// announces (the memory itself is measured, not asserted here).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "ProjectTestUtil.h"
#include "project/LineSplitter.h"
#include "project/ProjectFile.h"
#include "project/ProjectFolder.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

using namespace kalvort;
using namespace kalvort::test;

namespace {

std::string Compress(const std::string &payload) {
  std::string file;
  EXPECT_TRUE(DeflateProject(payload, file));
  return file;
}

ProjectContent EmptyEntries(size_t count) {
  ProjectContent c;
  c.entries.assign(count, MakeEntry(0, 1, "", {}, {}));
  return c;
}

// A payload of one entry whose text is `units` line feeds (as many empty lines).
std::string LineFeedPayload(size_t units) {
  ProjectContent c;
  c.entries.push_back(MakeEntry(0, 1, "LF", {}, {u"A"}));
  std::string p = EncodeProjectPayload(c);
  // The text block ends the entry: int32 length, "A" CR LF and a NUL unit; then the terminator.
  p.resize(p.size() - 4 - (4 + 8));
  const int32_t len = static_cast<int32_t>(2 * (units + 1));
  p.append(reinterpret_cast<const char *>(&len), 4);
  for (size_t i = 0; i < units; ++i) p.append("\n\0", 2);
  p.append(6, '\0');
  return p;
}

}  // namespace

TEST(ProjectLimits, BombsAreRefusedBeforeTheirMemory) {
  TempDir dir;
  ProjectContent read;
  const struct {
    const char *name;
    std::string payload;
    ProjectError error;
  } cases[] = {
      {"the most entries", EncodeProjectPayload(EmptyEntries(kMaxProjectEntries)), ProjectError::None},
      {"one entry more", EncodeProjectPayload(EmptyEntries(kMaxProjectEntries + 1)), ProjectError::TooLarge},
      {"a text of too many lines", LineFeedPayload(kMaxProjectLines + 1), ProjectError::TooLarge},
      {"a text of a few lines", LineFeedPayload(3), ProjectError::None},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    writeFileBytes(dir.file("bomb.kvt"), Compress(c.payload));
    EXPECT_EQ(ReadProjectContent(dir.file("bomb.kvt"), read), c.error);
    EXPECT_EQ(DecodeProjectPayload(c.payload, read), c.error);
  }
  EXPECT_EQ(read.entries.at(0).text->size(), 3u);  // three empty lines

  // An image that announces 4 GB in a file of a few bytes is cut short, not allocated.
  ProjectContent one;
  one.entries.push_back(MakeEntry(0, 1, "big", {1, 2, 3}, {}));
  std::string payload = EncodeProjectPayload(one);
  const uint32_t huge = 0xFFFFFFFF;
  std::memcpy(payload.data() + 4 + 4 + kOptionsRecordSize + 4 + 10, &huge, 4);
  writeFileBytes(dir.file("short.kvt"), Compress(payload));
  EXPECT_EQ(ReadProjectContent(dir.file("short.kvt"), read), ProjectError::Damaged);

  // Writers keep the same limit, so that whatever is written can be read back.
  EXPECT_EQ(WriteProjectContent(dir.file("many.kvt"), EmptyEntries(kMaxProjectEntries + 1)), ProjectError::TooLarge);
  EXPECT_FALSE(std::filesystem::exists(dir.file("many.kvt")));
  std::string error;
  EXPECT_FALSE(UnpackProject(EmptyEntries(kMaxProjectEntries + 1), dir.file("many"), &error));
  EXPECT_FALSE(std::filesystem::exists(dir.file("many")));
}

TEST(ProjectLimits, PackLooksAtSizesBeforeReading) {
  TempDir dir;
  ProjectContent c;
  for (int i = 0; i < 3; ++i) c.entries.push_back(MakeEntry(i, static_cast<uint16_t>(i + 1), "p", {1}, {}));
  std::string error;
  ASSERT_TRUE(UnpackProject(c, dir.path(), &error)) << error;
  // Three sections name one sparse 100 MiB file: together beyond what a project holds.
  { std::ofstream(dir.file("huge.bin")); }
  ASSERT_EQ(truncate(dir.file("huge.bin").c_str(), off_t{100} << 20), 0);
  std::string manifest = readFileBytes(dir.file("project.ini"));
  for (const char *name : {"001.bin", "002.bin", "003.bin"}) manifest.replace(manifest.find(name), 7, "huge.bin");
  writeFileBytes(dir.file("project.ini"), manifest);
  ProjectContent back;
  EXPECT_FALSE(PackProject(dir.path(), back, &error));
  EXPECT_NE(error.find("larger than a project holds"), std::string::npos) << error;

  manifest.replace(manifest.find("count=3"), 7, "count=" + std::to_string(kMaxProjectEntries + 1));
  writeFileBytes(dir.file("project.ini"), manifest);
  EXPECT_FALSE(PackProject(dir.path(), back, &error));
  EXPECT_NE(error.find("programs"), std::string::npos) << error;
}

TEST(ProjectLimits, CliRefusesABombWithoutTouchingTheFolder) {
  TempDir dir;
  writeFileBytes(dir.file("bomb.kvt"), Compress(LineFeedPayload(kMaxProjectLines + 1)));
  std::string out, err;
  EXPECT_EQ(runCli(dir.path(), "project unpack bomb.kvt folder", out, err), 1);
  EXPECT_EQ(err, "kalvort-cli: Ошибка открытия файла. bomb.kvt (the content is too large)\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("folder")));
  EXPECT_EQ(runCli(dir.path(), "project list bomb.kvt", out, err), 1);
}

// Text read in pieces splits exactly as a whole text does, across piece ends (a CR LF cut in two)
// and beyond the first block of lines, and stops at the first NUL unit.
TEST(ProjectLimits, LinesSplitInPiecesAsAWhole) {
  std::u16string text;
  for (int i = 0; i < 70000; ++i) {
    static const char16_t *const ends[] = {u"\r\n", u"\n", u"\r", u"\r\n\r\n"};
    text += (i % 5 == 0) ? u"" : u"N" + std::u16string(static_cast<size_t>(i % 13), u'x');
    text += ends[i % 4];
  }
  text += u"tail";
  const ProgramText whole = splitLines(text);
  std::u16string stored = text + u'\0' + u"after the end\n";
  for (const size_t piece : {size_t{1}, size_t{7}, size_t{32768}, stored.size()}) {
    SCOPED_TRACE(piece);
    LineSplitter splitter(kMaxProjectLines);
    for (size_t at = 0; at < stored.size(); at += piece)
      ASSERT_TRUE(splitter.Feed(stored.data() + at, std::min(piece, stored.size() - at)));
    ProgramText lines;
    ASSERT_TRUE(splitter.Finish(lines));
    EXPECT_TRUE(lines == whole);
  }
  LineSplitter small(whole.size() - 1);
  EXPECT_FALSE(small.Feed(text.data(), text.size()) && [&] {
    ProgramText lines;
    return small.Finish(lines);
  }());
}
