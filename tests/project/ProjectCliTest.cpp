// kalvort-cli project, run as a user runs it.

#include <gtest/gtest.h>

#include <cstdlib>

#include "project/ProjectFile.h"
#include "support/RunCli.h"
#include "support/TempDir.h"

using namespace kalvort;
using namespace kalvort::test;

namespace {

class ProjectCli : public ::testing::Test {
 protected:
  void put(const std::string &name, const std::string &bytes) { writeFileBytes(dir.file(name), bytes); }
  std::string get(const std::string &name) const { return readFileBytes(dir.file(name)); }

  int cli(const std::string &args) { return runCli(dir.path(), args, out, err); }

  TempDir dir;
  std::string out, err;
};

}  // namespace

TEST_F(ProjectCli, NewListUnpackPack) {
  put("a.txt", "N1 G01\r\nM02\r\n");
  put("Деталь.txt", "\xC4\xE5\xF2\xE0\xEB\xFC\n");  // Windows-1251
  put("b.bin", std::string("\x01\xFF", 2));
  ASSERT_EQ(cli("project new --processor nc31 p.kvt a.txt Деталь.txt --binary b.bin"), 0) << err;
  ASSERT_EQ(cli("project list p.kvt"), 0) << err;
  // Every line but the dates, which are the time of creation.
  std::string stable;
  for (size_t pos = 0; pos < out.size();) {
    size_t end = out.find('\n', pos);
    std::string line = out.substr(pos, end - pos);
    if (line.starts_with("entry")) {
      const size_t dateTab = line.rfind('\t');
      const size_t before = line.rfind('\t', dateTab - 1);
      line.replace(before + 1, dateTab - before - 1, "DATE");
    }
    stable += line + "\n";
    pos = end + 1;
  }
  EXPECT_EQ(stable,
            "option\tversion\t0x01010700\n"
            "option\tdevice\tprog\n"
            "option\tprocessing\t1\n"
            "option\tprocessor\tnc31\n"
            "option\thex_view\t0\n"
            "option\tentries\t3\n"
            "entry\t1\t0\t13\t0\t0x00000000\t-TP\t2\tDATE\ta.txt\n"
            "entry\t2\t1\t14\t0\t0x00000000\t-TP\t1\tDATE\tДеталь.txt\n"
            "entry\t3\t2\t15\t2\t0x00000100\tB--\t-\tDATE\tb.bin\n");

  ASSERT_EQ(cli("project unpack p.kvt folder"), 0) << err;
  EXPECT_EQ(get("folder/002.txt"), "Деталь\n");
  ASSERT_EQ(cli("project pack folder q.kvt"), 0) << err;
  EXPECT_EQ(get("p.kvt"), get("q.kvt"));
}

TEST_F(ProjectCli, DamagedInputFails) {
  put("junk.kvt", "not a project");
  EXPECT_EQ(cli("project list junk.kvt"), 1);
  EXPECT_EQ(err, "kalvort-cli: Ошибка открытия файла. junk.kvt (not a complete zlib stream)\n");
  EXPECT_EQ(cli("project unpack missing.kvt out"), 1);
  EXPECT_NE(err.find("Ошибка открытия файла. missing.kvt"), std::string::npos);
  EXPECT_EQ(cli("project pack nowhere x.kvt"), 1);
  EXPECT_NE(err.find("Ошибка открытия файла. nowhere"), std::string::npos);
  EXPECT_EQ(cli("project new x.kvt nothere.txt"), 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("x.kvt")));
  EXPECT_EQ(cli("project list"), 2);
  EXPECT_EQ(cli("project new --processor z80 x.kvt"), 2);
  EXPECT_EQ(cli("project frobnicate"), 2);
}
