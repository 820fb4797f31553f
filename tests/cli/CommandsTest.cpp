// kalvort-cli as a whole: the usage of every command and subcommand, bounded program inputs and
// running out of memory.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/RunCli.h"
#include "support/TempDir.h"

using namespace kalvort::test;

namespace {

// The largest memory module's capacity (8192 pages of 1056 bytes): the most convert, edit and
// lda take.
constexpr std::size_t kMaxInput = 8650752;

class CliCommands : public ::testing::Test {
 protected:
  int cli(const std::string &args, const std::string &wrapper = {}) {
    return runCli(dir.path(), args, out, err, env, wrapper);
  }
  bool exists(const std::string &name) const { return std::filesystem::exists(dir.file(name)); }

  TempDir dir;
  // Any device command that did run would create the virtual programmer's module file.
  const std::string env = "KALVORT_VIRTUAL_MODULE='" + dir.file("module.bin").string() +
                          "' KALVORT_CONFIG='" + dir.file("kalvort.ini").string() + "'";
  std::string out, err;
};

}  // namespace

TEST_F(CliCommands, HelpOnEveryCommandAndSubcommand) {
  const struct {
    std::string command;
    std::vector<std::string> invocations;  // what follows the command name
  } table[] = {
      {"convert", {"--help", "--format nc31 --to text in out --help", "-h"}},
      {"edit", {"--help", "--action renumber in out --help"}},
      {"lda", {"--help", "pack --help", "pack --address 832 in out --help", "unpack --help"}},
      {"device",
       {"--help", "--usb status --help", "--usb write-project p.kvt --help",
        "--usb read-project p.kvt --help", "--usb verify p.kvt --help", "--usb erase --full --help",
        "--lan 127.0.0.1 --module wmp test --help", "--usb read-image m.bin --help",
        "--usb write-image m.bin --help", "status --help"}},
      {"project",
       {"--help", "list --help", "unpack p.kvt dir --help", "pack dir p.kvt --help",
        "new p.kvt a.txt --binary b.bin --help"}},
      {"search", {"--help", "127.0.0.1 127.0.0.2 --help"}},
  };
  for (const auto &[command, invocations] : table) {
    for (const auto &rest : invocations) {
      const std::string args = command + " " + rest;
      EXPECT_EQ(cli(args), 0) << args << "\n" << err;
      EXPECT_EQ(out.rfind("Usage:\n  " + command + " ", 0), 0u) << args << "\n" << out;
      EXPECT_EQ(err, "") << args;
    }
    EXPECT_EQ(cli("help " + command), 0);
    EXPECT_EQ(out.rfind("Usage:\n  " + command + " ", 0), 0u) << out;
  }
  // Help runs nothing: no module touched, no file written.
  EXPECT_FALSE(exists("module.bin"));
  EXPECT_FALSE(exists("out"));
  EXPECT_FALSE(exists("p.kvt"));
  // After "--" it is a file name like any other.
  EXPECT_EQ(cli("edit --action renumber -- --help out"), 1);
  EXPECT_NE(err.find("cannot read --help"), std::string::npos) << err;
}

TEST_F(CliCommands, ProgramInputsEndAtTheLargestModule) {
  writeFileBytes(dir.file("max.bin"), std::string(kMaxInput, 'A'));
  ASSERT_EQ(cli("lda pack --address 0 max.bin max.lda"), 0) << err;
  writeFileBytes(dir.file("over.bin"), std::string(kMaxInput + 1, 'A'));
  writeFileBytes(dir.file("keep"), "previous");
  const std::string tooLarge = "larger than " + std::to_string(kMaxInput) + " bytes\n";
  const struct {
    std::string args, wrapper;
  } cases[] = {
      {"lda pack --address 0 over.bin keep", ""},
      {"convert --format 2c42 --to text /dev/zero keep", ""},
      {"lda unpack - keep </dev/zero", ""},
      {"edit --action add-null - keep", "yes |"},  // an endless pipe
      {"convert --format vz --to binary - keep", "yes |"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(cli(c.args, c.wrapper), 1) << c.args;
    EXPECT_TRUE(err.starts_with("kalvort-cli: cannot read ")) << err;
    EXPECT_TRUE(err.ends_with(tooLarge)) << err;
    EXPECT_EQ(readFileBytes(dir.file("keep")), "previous");
  }
}

// An address-space limit breaks the sanitizers' own mappings, so only a plain build runs this.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(CliCommands, RunningOutOfMemoryFailsCleanly) {
  // Every line of a text costs far more in memory than its bytes on disk.
  writeFileBytes(dir.file("lines.txt"), std::string(kMaxInput, '\n'));
  std::filesystem::create_directory(dir.file("folder"));
  writeFileBytes(dir.file("folder/project.ini"),
                 "[project]\nactive_device=2\nprocess=1\nprocessor=1\nhex_view=0\ncount=1\n"
                 "[program 1]\ncat_num=0\nprog_num=1\nname=big\ndate=46367\nneed_p_proc=1\ntext=big.txt\n");
  std::string big;
  for (int i = 0; i < 1999000; ++i) big += "N1 G01 X100\n";
  writeFileBytes(dir.file("folder/big.txt"), big);
  const struct {
    std::string args, limit;
  } cases[] = {
      {"edit --action add-null lines.txt keep", "prlimit --as=200000000"},
      // Reading the folder fits; building the project file does not.
      {"project pack folder keep", "prlimit --as=220000000"},
  };
  for (const auto &c : cases) {
    writeFileBytes(dir.file("keep"), "previous");
    EXPECT_EQ(cli(c.args, c.limit), 1) << c.args;
    EXPECT_EQ(err, "kalvort-cli: Недостаточно памяти.\n") << c.args;
    EXPECT_EQ(readFileBytes(dir.file("keep")), "previous");
    // Without the limit the same command goes through.
    EXPECT_EQ(cli(c.args), 0) << c.args << err;
  }
}
#endif

// A file-size limit fails the write instead of killing the program: the previous file stays,
// no temporary file is left behind.
TEST_F(CliCommands, AFileSizeLimitFailsTheSaveAndLeavesNoTemporaryFile) {
  std::string noise(300000, '\0');
  uint32_t x = 1;
  for (auto &ch : noise) ch = static_cast<char>((x = x * 1103515245u + 12345u) >> 16);
  writeFileBytes(dir.file("noise.bin"), noise);
  writeFileBytes(dir.file("keep"), "previous");
  const auto names = [&] {
    std::vector<std::string> all;
    for (const auto &e : std::filesystem::directory_iterator(dir.path()))
      if (!e.path().filename().string().starts_with(".std")) all.push_back(e.path().filename().string());
    std::sort(all.begin(), all.end());
    return all;
  };
  const std::vector<std::string> before = names();
  EXPECT_EQ(cli("project new keep --binary noise.bin", "prlimit --fsize=100000"), 1);
  EXPECT_TRUE(err.starts_with("kalvort-cli: Ошибка сохранения файла! keep")) << err;
  EXPECT_EQ(readFileBytes(dir.file("keep")), "previous");
  EXPECT_EQ(names(), before);
}
