// kalvort-cli search, run as a user runs it, against a simulator in this process.

#include <gtest/gtest.h>

#include <memory>

#include "CliRunner.h"
#include "sim/UrvellSimulator.h"
#include "support/LoopbackSimulator.h"

namespace kalvort::test {
namespace {

TEST(SearchCli, FindsOnlyTheAnsweringController) {
  // 127.0.0.10 to .12 on port 30000 belong to this test alone.
  sim::UrvellConfig config;
  config.address = "127.0.0.11";
  sim::UrvellSimulator controller(config, std::make_shared<sim::ModuleMemory>(3), nullptr);
  ASSERT_TRUE(controller.Start());
  CliRunner cli;
  ASSERT_EQ(cli.run("search 127.0.0.10 127.0.0.12"), 0) << cli.err;
  EXPECT_EQ(cli.out, "127.0.0.11\n");
  EXPECT_NE(cli.err.find("найдено устройств: 1"), std::string::npos) << cli.err;

  // A controller that another station holds still answers, so it is found.
  OtherStation other(controller);
  ASSERT_EQ(other.take(0, 1000), 1);
  ASSERT_EQ(cli.run("search 127.0.0.11 127.0.0.11"), 0) << cli.err;
  EXPECT_EQ(cli.out, "127.0.0.11\n");
}

TEST(SearchCli, RefusesBadRanges) {
  CliRunner cli;
  EXPECT_EQ(cli.run("search 127.0.0.12 127.0.0.10"), 2);
  EXPECT_EQ(cli.err, "kalvort-cli: Неверный диапазон поиска.\n");
  EXPECT_EQ(cli.out, "");
  EXPECT_EQ(cli.run("search 127.0.0.1"), 2);
  EXPECT_EQ(cli.run("search 127.0.0.1 127.0.0.256"), 2);
  EXPECT_NE(cli.err.find("not an IPv4 address: 127.0.0.256"), std::string::npos) << cli.err;
}

}  // namespace
}  // namespace kalvort::test
