#include <gtest/gtest.h>

#include <filesystem>

#include "base/SafeSave.h"
#include "support/TempDir.h"

using namespace kalvort;
using namespace kalvort::test;

TEST(SafeSave, ReplacesThroughLinksAndCancelsCleanly) {
  TempDir dir;
  writeFileBytes(dir.file("real.kvt"), "old");
  std::filesystem::create_symlink("real.kvt", dir.file("link.kvt"));
  ASSERT_TRUE(SafeSaveFile(dir.file("link.kvt"), "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.kvt")));  // the link stays a link
  EXPECT_EQ(readFileBytes(dir.file("real.kvt")), "new");

  {
    TSafeFile f;
    ASSERT_TRUE(f.Open(dir.file("real.kvt")));
    ASSERT_TRUE(f.Write("half"));
  }  // dropped without Commit: nothing changes, nothing is left behind
  EXPECT_EQ(readFileBytes(dir.file("real.kvt")), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 2);

  std::string error;
  EXPECT_FALSE(SafeSaveFile(dir.file("no/such/folder/x"), "x", &error));
  EXPECT_FALSE(error.empty());

  std::string bytes;
  EXPECT_FALSE(ReadWholeFile(dir.path(), bytes, 100, &error));       // a folder
  EXPECT_FALSE(ReadWholeFile(dir.file("real.kvt"), bytes, 2, &error));  // larger than allowed
  ASSERT_TRUE(ReadWholeFile(dir.file("link.kvt"), bytes, 3));
  EXPECT_EQ(bytes, "new");
}
