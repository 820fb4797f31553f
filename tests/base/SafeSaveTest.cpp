#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "base/SafeSave.h"
#include "module/ModuleMemory.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

using namespace kalvort;
using namespace kalvort::test;

namespace {

unsigned ModeOf(const std::filesystem::path &path) {
  struct stat st {};
  stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

size_t FilesIn(const std::filesystem::path &dir) {
  return static_cast<size_t>(
      std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()));
}

// Runs `save` with the file size limited to `limit` bytes, as when the disk fills up part-way.
bool WithFileSizeLimit(rlim_t limit, const std::function<bool()> &save) {
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = limit;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool ok = save();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  return ok;
}

}  // namespace

// Every writer of a user's or the program's file saves the same way: a new file gets the mode the
// umask leaves, a replaced file keeps its mode, a link the user named is followed.
TEST(SafeSave, EveryWriterKeepsModesAndFollowsLinks) {
  TempDir dir;
  std::filesystem::create_directory(dir.file("cwd"));
  writeFileBytes(dir.file("cwd") / "input.bin", "input bytes");
  const struct {
    const char *name;
    std::function<bool(const std::filesystem::path &)> save;
  } writers[] = {
      {"SafeSaveFile", [](const auto &p) { return SafeSaveFile(p, "new"); }},
      {"module memory", [](const auto &p) { return sim::ModuleMemory(1).SaveFile(p); }},
      {"kalvort-cli output",
       [&](const auto &p) {
         std::string out, err;
         return runCli(dir.file("cwd"), "lda pack --address 0 input.bin '" + p.string() + "'", out, err) == 0;
       }},
  };
  const mode_t oldMask = umask(027);
  for (const auto &w : writers) {
    SCOPED_TRACE(w.name);
    const auto fresh = dir.file("fresh");
    ASSERT_TRUE(w.save(fresh));
    EXPECT_EQ(ModeOf(fresh), 0640u);

    const auto kept = dir.file("kept");
    writeFileBytes(kept, "old");
    chmod(kept.c_str(), 0600);
    ASSERT_TRUE(w.save(kept));
    EXPECT_EQ(ModeOf(kept), 0600u);
    EXPECT_NE(readFileBytes(kept), "old");

    std::filesystem::create_symlink("kept", dir.file("link"));
    writeFileBytes(kept, "old");
    ASSERT_TRUE(w.save(dir.file("link")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
    EXPECT_NE(readFileBytes(kept), "old");
    EXPECT_EQ(ModeOf(kept), 0600u);

    for (const char *name : {"fresh", "kept", "link"}) std::filesystem::remove(dir.file(name));
    EXPECT_EQ(FilesIn(dir.path()), 1u);  // no temporary file left behind
  }
  umask(oldMask);
}

TEST(SafeSave, FailureLeavesTheOldFile) {
  TempDir dir;
  const auto target = dir.file("real.kvt");
  writeFileBytes(target, "old");
  const std::string big(100000, 'x');
  EXPECT_FALSE(WithFileSizeLimit(4096, [&] { return SafeSaveFile(target, big); }));
  EXPECT_FALSE(WithFileSizeLimit(4096, [&] {
    TSafeFileSet set;
    return set.Add(dir.file("other"), "small") && set.Add(target, big) && set.Commit();
  }));
  EXPECT_EQ(readFileBytes(target), "old");
  EXPECT_EQ(FilesIn(dir.path()), 1u);

  {
    TSafeFile f;
    ASSERT_TRUE(f.Open(target));
    ASSERT_TRUE(f.Write("half"));
  }  // dropped without Commit: nothing changes, nothing is left behind
  EXPECT_EQ(readFileBytes(target), "old");
  EXPECT_EQ(FilesIn(dir.path()), 1u);

  std::string error;
  EXPECT_FALSE(SafeSaveFile(dir.file("no/such/folder/x"), "x", &error));
  EXPECT_FALSE(error.empty());

  std::string bytes;
  EXPECT_FALSE(ReadWholeFile(dir.path(), bytes, 100, &error));  // a folder
  EXPECT_FALSE(ReadWholeFile(target, bytes, 2, &error));        // larger than allowed
  // A FIFO nobody writes to is refused at once instead of blocking the reader for good.
  const auto fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(ReadWholeFile(fifo, bytes, 100, &error));
  EXPECT_TRUE(error.ends_with(": not a regular file")) << error;
  ::unlink(fifo.c_str());
  ASSERT_TRUE(ReadWholeFile(target, bytes, 3));
  EXPECT_EQ(bytes, "old");
}

// A set replaces links in place instead of writing through them, refuses a folder in the way
// before changing anything, and removes what it was told to remove.
TEST(SafeSave, FileSetIsAllOrNothing) {
  TempDir dir;
  const auto folder = dir.file("f");
  std::filesystem::create_directory(folder);
  writeFileBytes(dir.file("precious"), "precious");
  std::filesystem::create_symlink("../precious", folder / "a");
  writeFileBytes(folder / "b", "old b");
  writeFileBytes(folder / "gone", "stale");
  std::filesystem::create_directory(folder / "c");

  {
    TSafeFileSet set;
    ASSERT_TRUE(set.Add(folder / "a", "A") && set.Add(folder / "b", "B") && set.Add(folder / "c", "C"));
    set.Remove(folder / "gone");
    EXPECT_FALSE(set.Commit());
    EXPECT_FALSE(set.Error().empty());
  }
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "a"));
  EXPECT_EQ(readFileBytes(folder / "b"), "old b");
  EXPECT_EQ(readFileBytes(folder / "gone"), "stale");
  EXPECT_EQ(FilesIn(folder), 4u);

  std::filesystem::remove(folder / "c");
  chmod((folder / "b").c_str(), 0600);
  const mode_t oldMask = umask(027);
  TSafeFileSet set;
  ASSERT_TRUE(set.Add(folder / "a", "A") && set.Add(folder / "b", "B"));
  set.Remove(folder / "gone");
  set.Remove(folder / "never-was");
  ASSERT_TRUE(set.Commit()) << set.Error();
  umask(oldMask);
  EXPECT_FALSE(std::filesystem::is_symlink(folder / "a"));
  EXPECT_EQ(ModeOf(folder / "a"), 0640u);  // a new file in place of the link
  EXPECT_EQ(ModeOf(folder / "b"), 0600u);
  EXPECT_EQ(readFileBytes(folder / "a"), "A");
  EXPECT_EQ(readFileBytes(folder / "b"), "B");
  EXPECT_EQ(readFileBytes(dir.file("precious")), "precious");
  EXPECT_FALSE(std::filesystem::exists(folder / "gone"));
  EXPECT_EQ(FilesIn(folder), 2u);

  // A file that would get the bytes it holds is left alone; a longer or shorter one is replaced.
  struct stat before {}, after {};
  ASSERT_EQ(stat((folder / "b").c_str(), &before), 0);
  const struct {
    const char *name, *bytes;
  } again[] = {{"a", "AX"}, {"b", "B"}, {"c", ""}};
  TSafeFileSet set2;
  for (const auto &f : again) ASSERT_TRUE(set2.Add(folder / f.name, f.bytes));
  ASSERT_TRUE(set2.Commit()) << set2.Error();
  ASSERT_EQ(stat((folder / "b").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(readFileBytes(folder / "a"), "AX");
  EXPECT_EQ(readFileBytes(folder / "c"), "");
  EXPECT_EQ(FilesIn(folder), 3u);
  TSafeFileSet set3;
  ASSERT_TRUE(set3.Add(folder / "a", "A") && set3.Add(folder / "c", "C") && set3.Commit());
  EXPECT_EQ(readFileBytes(folder / "a"), "A");
  EXPECT_EQ(readFileBytes(folder / "c"), "C");
}
